"""The engine's linear solver: mixed-integer linear problems with an optional
convex quadratic objective, solved by HiGHS (``highspy``).

One :class:`LinearSolver` holds one model. Columns are appended with
:meth:`~LinearSolver.addVars` and numbered from 0 in the order they are added;
rows are appended with :meth:`~LinearSolver.addRow` or
:meth:`~LinearSolver.addRows`; :meth:`~LinearSolver.run` solves what has been
sent so far.

Conventions a caller relies on:

- Objective. The objective is ``c·x + ½·xᵀHx`` with ``H`` symmetric. A caller
  that wants the term ``xᵀQx`` passes ``H = 2Q``. With
  ``HessianFormat.kTriangular`` either one triangle of ``H`` may be given
  (lower or upper, diagonal included), or the whole symmetric matrix with both
  triangles; a matrix holding both triangles is read as the full matrix ``M``
  and symmetrised, ``H = (M + Mᵀ)/2``, which leaves a symmetric ``M`` as it
  is. ``HessianFormat.kSquare`` always means the full matrix. Duplicate
  entries are summed. :meth:`~LinearSolver.passHessian` replaces the whole
  quadratic part; a matrix without entries removes it.
- Hessian width. ``passHessian`` takes ``dim + 1`` column starts and row
  numbers below ``dim``; ``dim`` may be smaller than the column count, and the
  Hessian is kept and widened to the current column count at every ``run``
  and ``writeModel``, so columns added later have no quadratic term.
- Buffering. Rows from ``addRow`` and ``addRows`` are collected natively and
  sent to HiGHS as one block at ``run`` and ``writeModel``, so sending rows one
  at a time costs little more than sending them together. Each row is checked
  when it arrives (a column outside the model, a column named twice, a value
  that is not finite, a NaN bound), so the call that sent it raises.
- Start values. ``setSolution`` keeps its vector for the next ``run``; a vector
  shorter than the column count is padded, each missing column taking the
  value of its bounds nearest to 0. A started run whose solution does not have
  the objective value HiGHS reports, or leaves the rows or bounds (HiGHS can
  hand back the start itself), is solved again without the start.
- Column order. ``addVars`` may be given the order in which HiGHS holds the
  new block (HiGHS solves faster with its columns in the order the rows read
  them). Every operation still takes and gives columns by their numbers: rows,
  costs, the Hessian, start values, solutions, names, and model files, which
  list the columns by number.
- Counts of 0 are no-ops. Index arrays of any integer dtype and value arrays
  of any integer or float dtype (or sequences of numbers) are accepted and
  converted once.
- Failures. Every operation that fails raises; no status is ever returned:
  ``TypeError`` for arguments of the wrong kind, ``ValueError`` for bad values
  (an unknown option or a value it refuses, arrays of the wrong length, values
  that are not finite, malformed column starts, an unknown model-file
  extension), ``IndexError`` for a column number out of range,
  ``OSError`` when a model file cannot be written, and
  :class:`LinsolverError` when HiGHS refuses a call that passed these checks,
  fails to solve, or is asked to solve what it cannot (a quadratic objective
  with integer columns, or a non-convex quadratic objective: refused at
  ``run``). Outcomes such as infeasible, unbounded or a reached time limit
  are statuses, read with ``getModelStatus``.
- Quadratic objectives. HiGHS's QP method can cycle without end on some
  small convex problems, so unless the caller sets "qp_iteration_limit" a run
  gets a finite one that grows with the model; a run it stops reports
  ``kIterationLimit``, with a solution when it had one.
- Output. Creating a solver prints nothing; the run log reaches standard
  output when "log_to_console" is on, and setting "output_flag" to true turns
  it on too (the last of the two set wins).
- Model files. ``writeModel`` writes MPS for ``.mps`` and the LP format for
  ``.lp``; HiGHS reads both back, the objective's constant (see
  ``changeObjectiveOffset``) and column names (``passColNames``) included.
"""

from __future__ import annotations

import contextlib
import enum
import math
import operator
import os
import re
import sys
from numbers import Integral, Real
from pathlib import Path
from typing import Any, Iterator, Sequence, overload

import highspy
import numpy as np
import scipy.sparse as sparse
from scipy.sparse.csgraph import connected_components

from ._column_order import ColumnOrder, hessian_in_solver_order, model_in_caller_order
from ._kelvo_engine import _linsolver_files, _linsolver_rows

__all__ = [
    "kLinsolverInf",
    "LinsolverVarType",
    "ObjSense",
    "HessianFormat",
    "LinsolverModelStatus",
    "LinsolverError",
    "LinsolverSolution",
    "LinearSolver",
]

kLinsolverInf: float = float(highspy.kHighsInf)


class LinsolverError(RuntimeError):
    """HiGHS refused an operation, failed to solve, or cannot solve the model."""


class LinsolverVarType(enum.IntEnum):
    """Column kinds, with HiGHS's integrality codes."""

    kContinuous = int(highspy.HighsVarType.kContinuous)
    kInteger = int(highspy.HighsVarType.kInteger)
    kSemiContinuous = int(highspy.HighsVarType.kSemiContinuous)
    kSemiInteger = int(highspy.HighsVarType.kSemiInteger)


class ObjSense(enum.IntEnum):
    """The objective's direction, with HiGHS's codes."""
    kMinimize = int(highspy.ObjSense.kMinimize)
    kMaximize = int(highspy.ObjSense.kMaximize)


class HessianFormat(enum.IntEnum):
    """How passHessian reads its matrix: one triangle or both (``kTriangular``), or the full square (``kSquare``)."""
    kTriangular = int(highspy.HessianFormat.kTriangular)
    kSquare = int(highspy.HessianFormat.kSquare)


# Every model status HiGHS can report, under HiGHS's names and codes, so a new
# HiGHS status never arrives as an unknown value.
LinsolverModelStatus = enum.IntEnum(
    "LinsolverModelStatus",
    {name: int(value) for name, value in highspy.HighsModelStatus.__members__.items()},
    module=__name__,
)
LinsolverModelStatus.__doc__ = "Outcome of the last run, with HiGHS's names and codes."

_INTEGER_KINDS = (int(LinsolverVarType.kInteger), int(LinsolverVarType.kSemiInteger))
_MODEL_FILE_SUFFIXES = (".mps", ".lp")
# Non-convexity below this share of the Hessian's largest eigenvalue is
# rounding noise, not a concave direction.
_CONVEXITY_TOLERANCE = 1e-9
# Blocks of the Hessian larger than this are left to HiGHS's own check: a dense
# eigenvalue decomposition of them would cost more than many solves.
_LARGEST_CHECKED_BLOCK = 2000
# Dense entries factorised at once, to bound the memory of the check.
_LARGEST_BATCH = 4_000_000
# The QP iteration limit a run gets unless the caller sets one: far above what
# a QP that converges needs, yet a cycling one stops within seconds.
_QP_ITERATIONS_AT_LEAST = 20_000
_QP_ITERATIONS_PER_COLUMN_AND_ROW = 50
_QP_ITERATION_LIMIT = "qp_iteration_limit"
# How far a solution's own objective value may lie from the value HiGHS
# reports for it, relative to the size of its terms.
_AGREEMENT_TOLERANCE = 1e-9
# Model files separate names by blanks.
_BLANK = re.compile(r"\s")


class _SolutionArray:
    """One array of a solution, converted from HiGHS's solution when first read:
    most callers read the column values only, and each array of a large model
    costs a conversion of its own."""

    def __set_name__(self, owner: type, name: str) -> None:
        self._name = name

    @overload
    def __get__(self, solution: None, owner: type) -> "_SolutionArray": ...

    @overload
    def __get__(self, solution: "LinsolverSolution", owner: type) -> np.ndarray: ...

    def __get__(self, solution: "LinsolverSolution | None", owner: type) -> "np.ndarray | _SolutionArray":
        if solution is None:
            return self
        arrays = solution._arrays
        if self._name not in arrays:
            found = solution._found
            values = np.zeros(0) if found is None else np.asarray(getattr(found, self._name), dtype=np.float64)
            positions = solution._column_positions
            if self._name.startswith("col_") and positions is not None and len(values) == len(positions):
                values = values[positions]
            arrays[self._name] = values
        return arrays[self._name]

    def __set__(self, solution: "LinsolverSolution", values: np.ndarray) -> None:
        solution._arrays[self._name] = values


class LinsolverSolution:
    """A primal (and dual) solution: arrays in column and row order.

    ``col_value`` is also what :meth:`LinearSolver.setSolution` reads as start
    values; ``value_valid`` is true when ``col_value`` is a usable primal
    solution.
    """

    col_value = _SolutionArray()
    row_value = _SolutionArray()
    col_dual = _SolutionArray()
    row_dual = _SolutionArray()

    def __init__(self, found: Any = None, column_positions: np.ndarray | None = None) -> None:
        # HiGHS's solution, a copy of its own, whose arrays are read on first use;
        # its column arrays are in HiGHS's order, read at column_positions.
        self._found = found
        self._column_positions = column_positions
        self._arrays: dict[str, np.ndarray] = {}
        self.value_valid: bool = False if found is None else bool(found.value_valid)
        self.dual_valid: bool = False if found is None else bool(found.dual_valid)

    def __repr__(self) -> str:
        return (
            f"LinsolverSolution(columns={len(self.col_value)}, rows={len(self.row_value)}, "
            f"value_valid={self.value_valid}, dual_valid={self.dual_valid})"
        )


class LinearSolver:
    """One model and its HiGHS instance; see the module docstring for the rules."""

    def __init__(self) -> None:
        with _standard_output_discarded():
            # HiGHS prints its banner when created, before any option can say otherwise.
            self._highs = highspy.Highs()
        self._qp_iteration_limit_given = False
        self._num_col = 0
        self._columns = ColumnOrder()
        self._rows = _linsolver_rows.RowCollector()
        # One native call per row, with no Python frame in between: see addRow.
        self.addRow = _linsolver_rows.row_adder(self._rows)
        self._refused_rows: str | None = None
        self._hessian: sparse.csc_array | None = None  # lower triangle of H
        self._hessian_sent_width: int | None = None
        self._hessian_convex: dict[ObjSense, bool] = {}
        self._sense = ObjSense.kMinimize
        self._start: np.ndarray | None = None

    # ----------------------------------------------------------- options

    def setOptionValue(self, name: str, value: Any) -> None:
        """Set one HiGHS option; "log_to_console" takes a truth value.

        Args:
            name: The option's name.
            value: Its value, converted to the option's type.

        Raises:
            TypeError: The name is not text.
            ValueError: The option is unknown or refuses the value.
        """
        if not isinstance(name, str):
            raise TypeError(f"option name must be a str, not {type(name).__name__}")
        status, option_type = self._highs.getOptionType(name)
        if status == highspy.HighsStatus.kError:
            raise ValueError(f"unknown solver option {name!r}")
        converted = _option_value(name, value, option_type)
        if self._highs.setOptionValue(name, converted) == highspy.HighsStatus.kError:
            raise ValueError(f"solver option {name!r} refuses the value {value!r}")
        if name == _QP_ITERATION_LIMIT:
            self._qp_iteration_limit_given = True
        if name == "output_flag" and converted:
            # Asking for output is asking to see the log.
            self._highs.setOptionValue("log_to_console", True)

    # ----------------------------------------------------------- columns

    def addVars(self, n: int, lower: Any, upper: Any, solver_order: Any = None) -> None:
        """Append columns with the given bounds.

        Args:
            n: The number of columns.
            lower: Lower bounds, an array of ``n`` or one number.
            upper: Upper bounds, an array of ``n`` or one number.
            solver_order: The order in which HiGHS holds the new columns, a permutation
                of 0 to ``n - 1`` counted from the first new column (HiGHS solves faster
                with its columns in the order the rows read them). Every operation still
                takes and gives columns by their numbers, model files list them by number.

        Raises:
            ValueError: Arrays of the wrong length, a lower bound of +infinity or an
                upper bound of -infinity, or a ``solver_order`` that is no permutation.
            LinsolverError: HiGHS refuses the columns.
        """
        n = _count(n, "n")
        if n == 0:
            return
        lower = _bound_vector(lower, n, "lower")
        upper = _bound_vector(upper, n, "upper")
        if (lower == math.inf).any() or (upper == -math.inf).any():
            raise ValueError("a column's lower bound cannot be +infinity nor its upper bound -infinity")
        order = None if solver_order is None else _permutation(solver_order, n)
        if order is not None:
            lower, upper = lower[order], upper[order]
        self._check(self._highs.addVars(n, lower, upper), "addVars")
        self._columns.add_block(n, order)
        self._num_col += n
        self._rows.set_column_count(self._num_col)

    def changeColsIntegrality(self, n: int, columns: Any, types: Any) -> None:
        """Set the kind of each listed column.

        Args:
            n: The number of columns listed.
            columns: The column numbers.
            types: One ``LinsolverVarType`` per column.

        Raises:
            IndexError: A column outside the model.
            ValueError: An unknown kind or arrays of the wrong length.
        """
        n = _count(n, "n")
        if n == 0:
            return
        columns = self._column_vector(columns, n, "columns")
        kinds = _integer_vector(types, n, "types")
        known = np.isin(kinds, [int(kind) for kind in LinsolverVarType])
        if not known.all():
            raise ValueError(f"unknown column type {kinds[~known][0]} in types")
        self._check(
            self._highs.changeColsIntegrality(n, self._columns.positions(columns), kinds.astype(np.uint8)),
            "changeColsIntegrality",
        )

    # -------------------------------------------------------------- rows

    def addRow(self, lower: float, upper: float, nnz: int, indices: Any, values: Any) -> None:
        """Append the row ``lower ≤ Σ values[k]·x[indices[k]] ≤ upper`` over the first ``nnz`` entries (buffered).

        Each solver replaces this method by a native function bound to its own row
        collector, so that a row costs one C call.

        Args:
            lower: The lower bound.
            upper: The upper bound.
            nnz: The number of entries.
            indices: The entries' columns.
            values: The entries' coefficients.

        Raises:
            IndexError: A column outside the model.
            ValueError: A repeated column, a value that is not finite, a NaN bound or
                arrays shorter than ``nnz``.
            TypeError: Input that is not numeric.
        """
        _linsolver_rows.row_adder(self._rows)(lower, upper, nnz, indices, values)

    def addRows(
        self, m: int, lower: Any, upper: Any, nnz: int, starts: Any, indices: Any, values: Any
    ) -> None:
        """Append rows in compressed-row form; a refused block adds nothing.

        Args:
            m: The number of rows.
            lower: Lower bounds, an array of ``m`` or one number.
            upper: Upper bounds, an array of ``m`` or one number.
            nnz: The number of entries.
            starts: ``m + 1`` row starts (or ``m``, the last implied by ``nnz``).
            indices: The entries' columns.
            values: The entries' coefficients.

        Raises:
            IndexError: A column outside the model.
            ValueError: A row ``addRow`` would refuse, or malformed starts.
            TypeError: Input that is not numeric.
        """
        self._rows.addRows(m, lower, upper, nnz, starts, indices, values)

    # --------------------------------------------------------- objective

    def changeObjectiveSense(self, sense: ObjSense) -> None:
        """Set whether the objective is minimised or maximised.

        Args:
            sense: An ``ObjSense``.

        Raises:
            ValueError: An unknown sense.
        """
        try:
            sense = ObjSense(int(sense))
        except (TypeError, ValueError):
            raise ValueError(f"unknown objective sense {sense!r}") from None
        self._check(
            self._highs.changeObjectiveSense(highspy.ObjSense(int(sense))), "changeObjectiveSense"
        )
        self._sense = sense

    def changeObjectiveOffset(self, offset: float) -> None:
        """Set the objective's constant, part of the reported objective value and of model files.

        Args:
            offset: A finite number.

        Raises:
            ValueError: An offset that is not finite.
        """
        offset = _finite_number(offset, "offset")
        self._check(self._highs.changeObjectiveOffset(offset), "changeObjectiveOffset")

    def changeColCost(self, column: int, cost: float) -> None:
        """Set the cost of one column.

        Args:
            column: The column number.
            cost: A finite number.

        Raises:
            IndexError: A column outside the model.
            ValueError: A cost that is not finite.
        """
        column = self._column_number(column)
        cost = _finite_number(cost, "cost")
        position = int(self._columns.positions(np.array([column]))[0])
        self._check(self._highs.changeColCost(position, cost), "changeColCost")

    def changeColsCost(self, nnz: int, indices: Any, values: Any) -> None:
        """Set the cost of each listed column; other columns keep theirs.

        Args:
            nnz: The number of columns listed.
            indices: The column numbers.
            values: One finite cost per column.

        Raises:
            IndexError: A column outside the model.
            ValueError: A cost that is not finite or arrays of the wrong length.
        """
        nnz = _count(nnz, "nnz")
        if nnz == 0:
            return
        indices = self._column_vector(indices, nnz, "indices")
        values = _finite_vector(values, nnz, "values")
        self._check(self._highs.changeColsCost(nnz, self._columns.positions(indices), values), "changeColsCost")

    def passHessian(
        self, dim: int, nnz: int, format: HessianFormat, starts: Any, indices: Any, values: Any
    ) -> None:
        """Replace the quadratic part by ``H``, compressed by column; see the module docstring.

        Args:
            dim: The side of ``H``, at most the column count.
            nnz: The number of entries.
            format: A ``HessianFormat``.
            starts: ``dim + 1`` column starts.
            indices: The entries' row numbers, below ``dim``.
            values: The entries' finite values.

        Raises:
            IndexError: ``dim`` beyond the columns or a row number out of range.
            ValueError: An unknown format, malformed starts or a value that is not finite.
        """
        dim = _count(dim, "dim")
        nnz = _count(nnz, "nnz")
        try:
            format = HessianFormat(int(format))
        except (TypeError, ValueError):
            raise ValueError(f"unknown Hessian format {format!r}") from None
        if dim > self._num_col:
            raise IndexError(f"the Hessian has side {dim} but the model has {self._num_col} columns")
        starts = _integer_vector(starts, None, "starts")
        if len(starts) != dim + 1:
            raise ValueError(f"starts must hold dim + 1 = {dim + 1} entries, not {len(starts)}")
        _check_starts(starts, nnz, "starts")
        rows = _integer_vector(indices, nnz, "indices")
        if nnz and (rows.min() < 0 or rows.max() >= dim):
            bad = rows[(rows < 0) | (rows >= dim)][0]
            raise IndexError(f"Hessian row {bad} is out of range for side {dim}")
        data = _finite_vector(values, nnz, "values")
        matrix = sparse.csc_array((data, rows, starts), shape=(dim, dim))
        self._hessian = hessian_in_solver_order(_lower_triangle_of_hessian(matrix, format), self._columns)
        self._hessian_sent_width = None
        self._hessian_convex = {}

    # ------------------------------------------------------------- solve

    def setSolution(self, solution: LinsolverSolution) -> None:
        """Use ``solution.col_value`` as start values at the next ``run``.

        Args:
            solution: A ``LinsolverSolution``, or the column values themselves.

        Raises:
            ValueError: More values than columns, or a value that is not finite.
        """
        values = _finite_vector(getattr(solution, "col_value", solution), None, "col_value")
        if len(values) > self._num_col:
            raise ValueError(
                f"the start vector has {len(values)} values but the model has {self._num_col} columns"
            )
        self._start = values.copy()

    def run(self) -> None:
        """Solve the model sent so far; the outcome is ``getModelStatus()``.

        Raises:
            LinsolverError: A quadratic objective with integer columns, a non-convex
                one, or a run HiGHS fails.
        """
        self._synchronise()
        self._refuse_unsolvable_quadratic()
        self._limit_qp_iterations()
        started = self._start is not None
        if started:
            self._send_start(self._start)
            self._start = None
        self._run_highs()
        if started and not self._solution_matches_its_objective():
            # When the start stays the incumbent of a presolved MIP, HiGHS reports
            # the presolved model's objective but returns the start itself, with
            # its values of the columns presolve removed. A run without the start
            # returns the solution its objective belongs to.
            self._highs.clearSolver()
            self._run_highs()

    def _run_highs(self) -> None:
        if self._highs.run() == highspy.HighsStatus.kError:
            status = self.getModelStatus()
            raise LinsolverError(f"HiGHS failed to solve the model (model status {status.name})")

    def _solution_matches_its_objective(self) -> bool:
        """Whether the run's solution has the objective value HiGHS reports and lies
        within the rows and bounds (a run without a solution has nothing to disagree)."""
        solution = self._highs.getSolution()
        if not solution.value_valid:
            return True
        values = np.asarray(solution.col_value, dtype=np.float64)
        lp = self._highs.getLp()
        terms = np.asarray(lp.col_cost_, dtype=np.float64) * values
        objective = float(lp.offset_) + float(terms.sum())
        scale = 1.0 + abs(float(lp.offset_)) + float(np.abs(terms).sum())
        if self._hessian is not None and self._hessian.nnz:
            # ½·xᵀHx = xᵀLx - ½·Σ d·x² for the lower triangle L of H, diagonal d,
            # over the columns the Hessian was given for.
            lower = self._hessian
            covered = values[: lower.shape[0]]
            quadratic = float(covered @ (lower @ covered)) - 0.5 * float(lower.diagonal() @ (covered * covered))
            objective += quadratic
            scale += abs(quadratic)
        if abs(objective - self._highs.getInfo().objective_function_value) > _AGREEMENT_TOLERANCE * scale:
            return False
        _, tolerance = self._highs.getOptionValue("primal_feasibility_tolerance")
        activity = _row_activity(lp.a_matrix_, values, lp.num_row_)
        return bool(
            _within(activity, lp.row_lower_, lp.row_upper_, tolerance)
            and _within(values, lp.col_lower_, lp.col_upper_, tolerance)
        )

    def getSolution(self) -> LinsolverSolution:
        """The solution of the last run.

        Returns:
            A ``LinsolverSolution`` with column and row values and duals.
        """
        return LinsolverSolution(self._highs.getSolution(), self._columns.all_positions())

    def getInfo(self) -> highspy.HighsInfo:
        """HiGHS's information on the last run.

        Returns:
            HiGHS's info: ``objective_function_value``, ``mip_gap``,
            ``mip_dual_bound``, iteration counts and more.
        """
        return self._highs.getInfo()

    def getModelStatus(self) -> LinsolverModelStatus:
        """The outcome of the last run.

        Returns:
            A ``LinsolverModelStatus``.
        """
        return LinsolverModelStatus(int(self._highs.getModelStatus()))

    # -------------------------------------------------------------- files

    def passColNames(self, columns: Any, names: Sequence[str]) -> None:
        """Name the listed columns in model files.

        Args:
            columns: The column numbers.
            names: One name per column, without blanks; names should be unique for
                another solver to read the file back.

        Raises:
            IndexError: A column outside the model.
            ValueError: An empty name or one with a blank.
        """
        columns = self._column_vector(columns, len(names), "columns")
        for column, name in zip(self._columns.positions(columns).tolist(), names):
            if not isinstance(name, str) or not name or _BLANK.search(name):
                raise ValueError(f"a column name must be a non-empty text without blanks, not {name!r}")
            self._check(self._highs.passColName(column, name), "passColName")

    def writeModel(self, path: str) -> None:
        """Write the model as MPS (``.mps``) or LP (``.lp``) by the file's extension.

        Args:
            path: The file to write.

        Raises:
            ValueError: The name ends in neither ``.mps`` nor ``.lp``.
            OSError: The file cannot be written.
        """
        path = str(Path(path))
        suffix = Path(path).suffix.lower()
        if suffix not in _MODEL_FILE_SUFFIXES:
            raise ValueError(
                f"cannot tell the model-file format from {path!r}: use a name ending in .mps or .lp"
            )
        self._synchronise()
        writer = self._highs if self._columns.is_identity else self._highs_in_caller_order()
        if writer.writeModel(path) == highspy.HighsStatus.kError:
            raise OSError(f"could not write the model to {path!r}")
        if suffix == ".mps":
            self._declare_each_columns_integrality(path, writer)

    def _highs_in_caller_order(self) -> highspy.Highs:
        """A copy of the model whose columns lie in the caller's order, for files."""
        with _standard_output_discarded():
            writer = highspy.Highs()
        writer.setOptionValue("output_flag", False)
        self._check(writer.passModel(model_in_caller_order(self._highs.getModel(), self._columns)), "passModel")
        return writer

    def _declare_each_columns_integrality(self, path: str, writer: highspy.Highs) -> None:
        """HiGHS leaves a column without entries wherever it stands between the
        integer markers; the markers are set anew by every column's own kind."""
        # A semi-integer column is declared by its bound, outside the markers.
        # HiGHS keeps no integrality at all for a model without integer columns.
        integrality = np.asarray(writer.getLp().integrality_, dtype=np.int64)
        integer = np.zeros(self._num_col, dtype=bool)
        integer[: len(integrality)] = integrality == int(LinsolverVarType.kInteger)
        written = Path(path).read_bytes()
        Path(path).write_bytes(_linsolver_files.with_exact_integer_markers(written, integer))

    # ------------------------------------------------------------ helpers

    @property
    def num_columns(self) -> int:
        """The number of columns."""
        return self._num_col

    @property
    def num_rows(self) -> int:
        """Rows sent so far, buffered ones included."""
        return self._highs.getNumRow() + self._rows.pending_rows

    def _check(self, status: highspy.HighsStatus, operation: str) -> None:
        if status == highspy.HighsStatus.kError:
            raise LinsolverError(f"HiGHS refused {operation}")

    def _synchronise(self) -> None:
        """Send buffered rows and the Hessian at the current width."""
        self._send_pending_rows()
        self._send_hessian()

    def _send_pending_rows(self) -> None:
        if self._refused_rows is not None:
            raise LinsolverError(self._refused_rows)
        if not self._rows.pending_rows:
            return
        first_row = self._rows.rows_taken
        for lower, upper, starts, indices, values in self._rows.take_rows():
            status = self._highs.addRows(
                len(lower), lower, upper, len(indices), starts[:-1], self._columns.positions(indices), values
            )
            if status == highspy.HighsStatus.kError:
                # The rows are out of the collector and not in HiGHS: solving on
                # without them would answer another model.
                self._refused_rows = (
                    f"HiGHS refused rows {first_row} to {first_row + len(lower) - 1} "
                    "(a coefficient beyond its large_matrix_value option?); the model is incomplete"
                )
                raise LinsolverError(self._refused_rows)
            first_row += len(lower)

    def _send_hessian(self) -> None:
        if self._hessian is None or self._hessian_sent_width == self._num_col:
            return
        width = self._num_col
        lower = self._hessian
        starts = np.empty(width + 1, dtype=np.int32)
        starts[: lower.shape[1] + 1] = lower.indptr
        starts[lower.shape[1] + 1 :] = lower.indptr[-1]
        status = self._highs.passHessian(
            width,
            lower.nnz,
            highspy.HessianFormat.kTriangular,
            starts,
            lower.indices.astype(np.int32, copy=False),
            lower.data,
        )
        self._check(status, "passHessian")
        self._hessian_sent_width = width

    def _refuse_unsolvable_quadratic(self) -> None:
        if self._hessian is None or self._hessian.nnz == 0:
            return
        integrality = np.asarray(self._highs.getLp().integrality_, dtype=np.int64)
        if len(integrality) == self._num_col:
            integrality = self._columns.in_caller_order(integrality)
        integer = np.flatnonzero(np.isin(integrality, _INTEGER_KINDS))
        if len(integer):
            raise LinsolverError(
                "cannot solve a quadratic objective with integer columns (mixed-integer QP); "
                f"integer columns: {_few(integer)}"
            )
        if self._sense not in self._hessian_convex:
            # Maximising c·x + ½·xᵀHx is convex when -H is positive semidefinite.
            oriented = self._hessian if self._sense == ObjSense.kMinimize else -self._hessian
            self._hessian_convex[self._sense] = _is_positive_semidefinite(oriented)
        if not self._hessian_convex[self._sense]:
            required = "positive" if self._sense == ObjSense.kMinimize else "negative"
            raise LinsolverError(
                "cannot solve a non-convex quadratic objective: "
                f"{'minimising' if self._sense == ObjSense.kMinimize else 'maximising'} needs a "
                f"{required} semidefinite Hessian"
            )

    def _limit_qp_iterations(self) -> None:
        if self._qp_iteration_limit_given or self._hessian is None or self._hessian.nnz == 0:
            return
        size = self._num_col + self.num_rows
        limit = max(_QP_ITERATIONS_AT_LEAST, _QP_ITERATIONS_PER_COLUMN_AND_ROW * size)
        self._check(
            self._highs.setOptionValue(_QP_ITERATION_LIMIT, min(limit, np.iinfo(np.int32).max)),
            "setOptionValue",
        )

    def _send_start(self, values: np.ndarray) -> None:
        if len(values) < self._num_col:
            lp = self._highs.getLp()
            missing = self._columns.positions(np.arange(len(values), self._num_col))
            lower = np.asarray(lp.col_lower_, dtype=np.float64)[missing]
            upper = np.asarray(lp.col_upper_, dtype=np.float64)[missing]
            values = np.concatenate([values, np.clip(0.0, lower, upper)])
        start = highspy.HighsSolution()
        start.col_value = self._columns.in_solver_order(values)
        start.value_valid = True
        self._check(self._highs.setSolution(start), "setSolution")

    def _column_number(self, column: Any) -> int:
        try:
            column = operator.index(column)
        except TypeError:
            raise TypeError(f"a column number must be an integer, not {column!r}") from None
        if not 0 <= column < self._num_col:
            raise IndexError(f"column {column} is out of range: the model has {self._num_col} columns")
        return column

    def _column_vector(self, columns: Any, n: int, what: str) -> np.ndarray:
        columns = _integer_vector(columns, n, what)
        _check_columns_in_range(columns, self._num_col, what)
        return columns.astype(np.int32, copy=False)


# ---------------------------------------------------------------- helpers


@contextlib.contextmanager
def _standard_output_discarded() -> Iterator[None]:
    """Standard output goes nowhere meanwhile, at the level of the file descriptor,
    so that what native code prints is discarded too."""
    if sys.stdout is not None:
        sys.stdout.flush()
    try:
        saved = os.dup(1)
    except OSError:  # no standard output to begin with
        yield
        return
    try:
        with open(os.devnull, "wb") as nowhere:
            os.dup2(nowhere.fileno(), 1)
        yield
    finally:
        os.dup2(saved, 1)
        os.close(saved)


def _count(value: Any, what: str) -> int:
    try:
        count = operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be an integer, not {value!r}") from None
    if count < 0:
        raise ValueError(f"{what} must not be negative, got {count}")
    return count


def _numeric_vector(values: Any, n: int | None, what: str) -> np.ndarray:
    array = np.asarray(values)
    if array.ndim == 0 and n is not None:
        array = np.broadcast_to(array, (n,))
    if array.ndim != 1:
        raise ValueError(f"{what} must be one-dimensional, got shape {array.shape}")
    if n is not None and len(array) < n:
        raise ValueError(f"{what} must hold {n} entries, not {len(array)}")
    if array.dtype.kind not in "biuf":
        raise TypeError(f"{what} must hold numbers, not {array.dtype}")
    return array if n is None else array[:n]


def _integer_vector(values: Any, n: int | None, what: str) -> np.ndarray:
    array = np.asarray(values)
    if array.size == 0 and array.dtype.kind == "f":
        array = array.astype(np.int64)
    array = _numeric_vector(array, n, what)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{what} must hold integers, not {array.dtype}")
    return array.astype(np.int64, copy=False)


def _finite_vector(values: Any, n: int | None, what: str) -> np.ndarray:
    array = _numeric_vector(values, n, what).astype(np.float64, copy=False)
    if not np.isfinite(array).all():
        raise ValueError(f"{what} must be finite")
    return np.ascontiguousarray(array)


def _permutation(values: Any, n: int) -> np.ndarray:
    order = _integer_vector(values, None, "solver_order")
    if len(order) != n:
        raise ValueError(f"solver_order must hold n = {n} entries, not {len(order)}")
    seen = np.zeros(n, dtype=bool)
    inside = (order >= 0) & (order < n)
    seen[order[inside]] = True
    if not (inside.all() and seen.all()):
        raise ValueError(f"solver_order must be a permutation of 0 to {n - 1}")
    return order


def _bound_vector(values: Any, n: int, what: str) -> np.ndarray:
    array = _numeric_vector(values, n, what).astype(np.float64, copy=False)
    if np.isnan(array).any():
        raise ValueError(f"{what} bounds must not be NaN")
    if len(array) != n:
        raise ValueError(f"{what} must hold {n} entries, not {len(array)}")
    return np.ascontiguousarray(array)


def _finite_number(value: Any, what: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (Real, np.number)):
        raise TypeError(f"{what} must be a number, not {value!r}")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{what} must be finite, got {number}")
    return number


def _row_activity(matrix: Any, values: np.ndarray, num_row: int) -> np.ndarray:
    """A·x of HiGHS's constraint matrix, stored by column or by row."""
    starts = np.asarray(matrix.start_, dtype=np.int64)
    indices = np.asarray(matrix.index_, dtype=np.int64)
    entries = np.asarray(matrix.value_, dtype=np.float64)
    if matrix.format_ == highspy.MatrixFormat.kRowwise:
        stored = sparse.csr_array((entries, indices, starts), shape=(num_row, len(values)))
    else:
        stored = sparse.csc_array((entries, indices, starts), shape=(num_row, len(values)))
    return stored @ values


def _within(values: np.ndarray, lower: Any, upper: Any, tolerance: float) -> bool:
    lower = np.asarray(lower, dtype=np.float64)
    upper = np.asarray(upper, dtype=np.float64)
    slack = tolerance * (1.0 + np.abs(values))
    return bool(((values >= lower - slack) & (values <= upper + slack)).all())


def _check_starts(starts: np.ndarray, nnz: int, what: str) -> None:
    if starts[0] != 0 or starts[-1] != nnz or (np.diff(starts) < 0).any():
        raise ValueError(f"{what} must rise from 0 to nnz = {nnz}")


def _check_columns_in_range(columns: np.ndarray, num_col: int, what: str) -> None:
    if len(columns) and (columns.min() < 0 or columns.max() >= num_col):
        bad = columns[(columns < 0) | (columns >= num_col)][0]
        raise IndexError(f"{what} names column {bad}, but the model has {num_col} columns")


def _option_value(name: str, value: Any, option_type: Any) -> Any:
    kind = int(option_type)
    if kind == int(highspy.HighsOptionType.kBool):
        if isinstance(value, (bool, np.bool_)) or (isinstance(value, Integral) and value in (0, 1)):
            return bool(value)
        raise TypeError(f"solver option {name!r} takes a truth value, not {value!r}")
    if kind == int(highspy.HighsOptionType.kInt):
        if isinstance(value, (Integral, np.integer)) and not isinstance(value, (bool, np.bool_)):
            return int(value)
        raise TypeError(f"solver option {name!r} takes an integer, not {value!r}")
    if kind == int(highspy.HighsOptionType.kDouble):
        if isinstance(value, (Real, np.number)) and not isinstance(value, (bool, np.bool_)):
            return float(value)
        raise TypeError(f"solver option {name!r} takes a number, not {value!r}")
    if isinstance(value, str):
        return value
    raise TypeError(f"solver option {name!r} takes a string, not {value!r}")


def _lower_triangle_of_hessian(matrix: sparse.csc_array, format: HessianFormat) -> sparse.csc_array:
    """The lower triangle of H from what the caller passed (see the module docstring)."""
    matrix = matrix.tocoo()
    matrix.sum_duplicates()
    above = matrix.row < matrix.col
    below = matrix.row > matrix.col
    if format == HessianFormat.kTriangular and not below.any():
        full = matrix + sparse.triu(matrix, k=1, format="coo").T
    elif format == HessianFormat.kTriangular and not above.any():
        full = matrix + sparse.tril(matrix, k=-1, format="coo").T
    else:
        full = (matrix + matrix.T) * 0.5
    lower = sparse.csc_array(sparse.tril(full, format="csc"))
    lower.eliminate_zeros()
    lower.sort_indices()
    return lower


def _is_positive_semidefinite(lower: sparse.csc_array) -> bool:
    """Whether H (given by its lower triangle) has no negative eigenvalue, up
    to rounding. Rows settled by diagonal dominance need no decomposition;
    the connected blocks of the others are factorised, blocks of one size
    together; blocks too large to factorise are left to HiGHS."""
    full = sparse.csr_array(lower + sparse.tril(lower, k=-1).T)
    diagonal = full.diagonal()
    tolerance = _CONVEXITY_TOLERANCE * max(1.0, float(np.abs(full.data).max(initial=0.0)))
    if (diagonal < -tolerance).any():
        return False
    off_diagonal = np.asarray(abs(full).sum(axis=1)).ravel() - np.abs(diagonal)
    unsure = diagonal + tolerance < off_diagonal
    if not unsure.any():
        return True
    block_count, block_of = connected_components(full, directed=False)
    sizes = np.bincount(block_of, minlength=block_count)
    # Position of each column inside its block.
    by_block = np.argsort(block_of, kind="stable")
    first_of_block = np.concatenate([[0], np.cumsum(sizes)[:-1]])
    place = np.empty_like(block_of)
    place[by_block] = np.arange(len(block_of)) - first_of_block[block_of[by_block]]
    entries = full.tocoo()
    unsure_blocks = np.unique(block_of[unsure])
    for size in np.unique(sizes[unsure_blocks]):
        if size > _LARGEST_CHECKED_BLOCK:
            continue
        blocks = unsure_blocks[sizes[unsure_blocks] == size]
        for batch in np.array_split(blocks, -(-len(blocks) * size * size // _LARGEST_BATCH)):
            if not _blocks_are_positive_semidefinite(entries, block_of, place, batch, size, tolerance):
                return False
    return True


def _blocks_are_positive_semidefinite(entries, block_of, place, blocks, size, tolerance) -> bool:
    slot = np.full(int(block_of.max()) + 1, -1)
    slot[blocks] = np.arange(len(blocks))
    inside = slot[block_of[entries.row]] >= 0
    rows, columns = entries.row[inside], entries.col[inside]
    dense = np.zeros((len(blocks), size, size))
    dense[slot[block_of[rows]], place[rows], place[columns]] = entries.data[inside]
    # A Cholesky factor of H + tolerance·I exists exactly when H has no
    # eigenvalue below -tolerance (up to rounding far below the tolerance).
    dense[:, np.arange(size), np.arange(size)] += tolerance
    try:
        np.linalg.cholesky(dense)
    except np.linalg.LinAlgError:
        return False
    return True


def _few(columns: Sequence[int], shown: int = 10) -> str:
    text = ", ".join(str(int(column)) for column in columns[:shown])
    return text + (f" and {len(columns) - shown} more" if len(columns) > shown else "")
