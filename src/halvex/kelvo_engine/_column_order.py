"""Where HiGHS holds each of the caller's columns.

Columns are added in blocks, and a block may reach HiGHS in another order than
the caller numbers it: HiGHS solves some models markedly faster when its
columns follow the order in which the rows read them. The caller's numbers stay
what every operation of the solver takes and gives; this is the one place that
turns them into HiGHS's positions and back.
"""

from __future__ import annotations

import highspy
import numpy as np
import scipy.sparse as sparse


class ColumnOrder:
    """The HiGHS position of every column, by the caller's column number."""

    def __init__(self) -> None:
        self._count = 0
        # None while every block lies in the caller's order; then a buffer whose
        # first _count entries are the positions, grown by doubling.
        self._positions: np.ndarray | None = None

    @property
    def is_identity(self) -> bool:
        """Whether every column lies at its own number."""
        return self._positions is None

    def add_block(self, count: int, order: np.ndarray | None) -> None:
        """Columns count more, the new block's `order[k]` (counted from its first
        column) at the block's k-th position; None keeps the caller's order."""
        first = self._count
        if order is not None and (order != np.arange(count)).any():
            self._reserve(first + count)
            assert self._positions is not None
            self._positions[first + order] = np.arange(first, first + count, dtype=np.int32)
        elif self._positions is not None:
            self._reserve(first + count)
            self._positions[first : first + count] = np.arange(first, first + count, dtype=np.int32)
        self._count = first + count

    def positions(self, columns: np.ndarray) -> np.ndarray:
        """The HiGHS positions of caller columns (all of them in range)."""
        if self._positions is None:
            return columns
        return self._positions[columns]

    def all_positions(self) -> np.ndarray | None:
        """The position of each column in caller order, or None for the caller's own
        order; entries are never rewritten, so the array stays true for its columns."""
        if self._positions is None:
            return None
        return self._positions[: self._count]

    def in_caller_order(self, values: np.ndarray) -> np.ndarray:
        """Per-column values given in HiGHS's order, rearranged into caller order."""
        if self._positions is None:
            return values
        return values[self._positions[: self._count]]

    def in_solver_order(self, values: np.ndarray) -> np.ndarray:
        """Per-column values given in caller order, rearranged into HiGHS's order."""
        if self._positions is None:
            return values
        arranged = np.empty_like(values)
        arranged[self._positions[: self._count]] = values
        return arranged

    def _reserve(self, count: int) -> None:
        if self._positions is None:
            self._positions = np.arange(max(count, 16), dtype=np.int32)
        elif len(self._positions) < count:
            grown = np.empty(max(count, 2 * len(self._positions)), dtype=np.int32)
            grown[: self._count] = self._positions[: self._count]
            self._positions = grown


def hessian_in_solver_order(lower: sparse.csc_array, order: ColumnOrder) -> sparse.csc_array:
    """The lower triangle of a Hessian over caller columns, over HiGHS's positions."""
    if order.is_identity or lower.shape[0] == 0:
        return lower
    positions = order.positions(np.arange(lower.shape[0]))
    return _lower_triangle_moved(lower, positions, int(positions.max()) + 1)


def model_in_caller_order(model: highspy.HighsModel, order: ColumnOrder) -> highspy.HighsModel:
    """HiGHS's model with its columns rearranged into caller order: what a model file shows."""
    positions = order.all_positions()
    assert positions is not None
    lp = model.lp_
    for field in ("col_cost_", "col_lower_", "col_upper_"):
        setattr(lp, field, np.asarray(getattr(lp, field), dtype=np.float64)[positions])
    if len(lp.integrality_):
        kinds = {int(kind): kind for kind in highspy.HighsVarType.__members__.values()}
        held = np.array([int(kind) for kind in lp.integrality_], dtype=np.int64)[positions]
        lp.integrality_ = [kinds[kind] for kind in held.tolist()]
    if len(lp.col_names_):
        names = list(lp.col_names_)
        lp.col_names_ = [names[position] for position in positions.tolist()]
    lp.a_matrix_ = _matrix_columns_at(lp.a_matrix_, lp.num_row_, positions)
    hessian = model.hessian_
    if hessian.dim_ > 0:
        held = sparse.csc_array(
            (np.asarray(hessian.value_), np.asarray(hessian.index_), np.asarray(hessian.start_)),
            shape=(hessian.dim_, hessian.dim_),
        )
        # The caller column at each position, over the Hessian's side.
        caller = np.empty(len(positions), dtype=np.int32)
        caller[positions] = np.arange(len(positions), dtype=np.int32)
        moved = _lower_triangle_moved(held, caller[: hessian.dim_], hessian.dim_)
        hessian.start_, hessian.index_, hessian.value_ = moved.indptr, moved.indices, moved.data
        model.hessian_ = hessian
    model.lp_ = lp
    return model


def _lower_triangle_moved(lower: sparse.csc_array, destination: np.ndarray, side: int) -> sparse.csc_array:
    """A symmetric matrix's lower triangle with row and column k moved to destination[k]."""
    entries = lower.tocoo()
    rows, columns = destination[entries.row], destination[entries.col]
    moved = sparse.csc_array(
        (entries.data, (np.maximum(rows, columns), np.minimum(rows, columns))), shape=(side, side)
    )
    moved.sort_indices()
    return moved


def _matrix_columns_at(matrix: highspy.HighsSparseMatrix, num_row: int, positions: np.ndarray):
    """HiGHS's constraint matrix, stored by column, with column k taken from positions[k]."""
    stored = (np.asarray(matrix.value_), np.asarray(matrix.index_), np.asarray(matrix.start_))
    shape = (num_row, len(positions))
    held = sparse.csr_array(stored, shape=shape) if matrix.format_ == highspy.MatrixFormat.kRowwise else \
        sparse.csc_array(stored, shape=shape)
    rearranged = sparse.csc_array(held)[:, positions]
    rearranged.sort_indices()
    matrix.format_ = highspy.MatrixFormat.kColwise
    matrix.start_ = rearranged.indptr
    matrix.index_ = rearranged.indices
    matrix.value_ = rearranged.data
    return matrix
