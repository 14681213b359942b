"""Variable arrays of the array model and how indexing turns cells into rows."""

from __future__ import annotations

import os
from numbers import Integral
from typing import Any, Sequence, SupportsIndex, Tuple, Union, overload

import numpy as np
from scipy.sparse import csr_array

from vx_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr
from vx_encoder.core.refusal import refuse
from vx_encoder.core.vx_logger import *  # noqa: F401,F403

DEBUG = bool(os.environ.get("DEBUG_SOLVER_MODE", False))

def _is_integer(item) -> bool:
    return isinstance(item, (Integral, np.integer))


def _refuse_invalid_index(item) -> None:
    refuse(IndexError, f"{item} is not a valid index")


class ColumnOwner:
    """The model whose solver columns a variable's cells are. Rows remember the owners
    of their variables, so that a model can refuse another model's rows cheaply: the
    column numbers alone cannot tell, since every model numbers its columns from 0."""

    __slots__ = ("_variables",)

    def __init__(self, variables: dict):
        self._variables = variables  # the model's own dictionary, so names added later show

    def variable_names(self) -> str:
        """The model's variable names, joined by commas ("none" before the first)."""
        return ", ".join(self._variables) or "none"


class VariableArray:
    """Multidimensional array of task variables"""

    # Solver columns created so far by every array model of the process: the
    # width of the rows that indexing builds.
    _total_created_variables: int = 0

    def __init__(
        self,
        name: str,
        shape: Sequence[int],
        lower_bound: float,
        upper_bound: float,
        type_var: type,
        shift: int = 0,
        owner: ColumnOwner | None = None,
    ):
        """A variable of the array interface: solver columns shaped like a NumPy array.

        Indexing works like NumPy's: an integer or a tuple of integers gives one row
        (``LinearExpression``); a slice, a list or integer array of flat positions, a
        boolean mask or a tuple holding slices gives one row per selected cell
        (``LinearExpressionsArr``, row-major order).

        Args:
            name: The variable's name.
            shape: The sizes of its dimensions.
            lower_bound: The lower bound of its columns.
            upper_bound: The upper bound of its columns.
            type_var: The NumPy type of its results.
            shift: The first column.
        """
        self._name = name
        self._shape = shape
        self._count_elems = np.prod(shape, dtype=np.int64)
        self._lower_bound = lower_bound
        self._type = type_var
        self._upper_bound = upper_bound
        self._shift = shift
        self._owners = frozenset() if owner is None else frozenset((owner,))

    @property
    def shape(self) -> Sequence[int]:
        """The sizes of the variable's dimensions."""
        return tuple(self._shape)

    @property
    def lower_bound(self) -> float:
        """The lower bound of the variable's columns."""
        return self._lower_bound

    @property
    def upper_bound(self) -> float:
        """The upper bound of the variable's columns."""
        return self._upper_bound

    @property
    def name(self) -> str:
        """The variable's name."""
        return self._name

    @property
    def type(self) -> type:
        """The NumPy type of the variable's results."""
        return self._type

    def _map(self) -> np.ndarray:
        return np.arange(self._shift, self._shift + self._count_elems, dtype="int32")

    # One cell gives one row; any other selection an array of rows.
    @overload
    def __getitem__(self, item: Union[SupportsIndex, Tuple[SupportsIndex, ...]]) -> LinearExpression: ...

    @overload
    def __getitem__(self, item: Union[slice, list, np.ndarray, Tuple[Any, ...]]) -> LinearExpressionsArr: ...

    def __getitem__(self, item: Any) -> Union[LinearExpression, LinearExpressionsArr]:
        """The rows of the selected cells.

        Args:
            item: An integer or a tuple of integers for one cell; a slice, a list or
                integer array of flat positions, a boolean mask, or a tuple holding
                slices for several.

        Returns:
            A ``LinearExpression`` for one cell, otherwise a ``LinearExpressionsArr``
            (row-major order).

        Raises:
            IndexError: Positions outside the variable, or an index of an unknown kind.
        """
        if _is_integer(item):
            return self._row_of_position(item)
        if isinstance(item, slice):
            return self._rows_of_slice(item)
        if isinstance(item, (list, np.ndarray)):
            return self._rows_of_positions(item)
        if isinstance(item, tuple):
            return self._rows_of_multi_index(item)
        refuse(IndexError, f"Undefined type {type(item)} for indexing")

    # Rows

    def _row_of_columns(self, columns: np.ndarray) -> LinearExpression:
        """One row with the coefficient 1 at every column given."""
        row = csr_array(
            (np.ones(columns.size, dtype=np.float64), columns, np.array([0, columns.size])),
            shape=(VariableArray._total_created_variables,),
        )
        return LinearExpression(linear_coefficients=row, owners=self._owners)

    def _rows_of_flat_positions(self, positions: np.ndarray) -> LinearExpressionsArr:
        """One row per position, each holding the coefficient 1 at that cell's column."""
        count = positions.size
        width = VariableArray._total_created_variables
        index_type = np.int32 if width <= np.iinfo(np.int32).max else np.int64
        # Columns straight in the sparse library's index type: no second conversion pass.
        columns = np.add(positions, self._shift, dtype=index_type, casting="same_kind")
        matrix = csr_array(
            (np.ones(count, dtype=np.float64), columns, np.arange(count + 1, dtype=index_type)),
            shape=(count, width),
        )
        return LinearExpressionsArr(linear_coefficients=matrix, is_init=True, owners=self._owners)

    # Index kinds

    def _refuse_unless_one_dimension(self) -> None:
        if DEBUG and len(self._shape) != 1:
            refuse(IndexError, "Variable can only have one index")

    def _first_dimension(self) -> int:
        return int(self._shape[0]) if len(self._shape) else int(self._count_elems)

    def _row_of_position(self, item) -> LinearExpression:
        self._refuse_unless_one_dimension()
        # Positions are always checked: an unchecked one would name another
        # variable's column. Without DEBUG an integer is a flat position.
        limit = self._first_dimension() if DEBUG else self._count_elems
        if item < 0 or item >= limit:
            _refuse_invalid_index(item)
        return self._row_of_columns(np.array([int(item) + self._shift]))

    def _positions_of_slice(self, item: slice, size: int) -> np.ndarray:
        start, stop, stride = item.indices(size)
        if DEBUG:
            self._validate_slice(item, size)
        return np.arange(start, stop, stride, dtype=np.int32)

    @staticmethod
    def _validate_slice(item: slice, size: int) -> None:
        """Refuses a slice whose start or stop lies outside its dimension (NumPy would clip it)."""
        for end in (item.start, item.stop):
            if end is not None and not -size <= end <= size:
                _refuse_invalid_index(item)

    def _rows_of_slice(self, item: slice) -> LinearExpressionsArr:
        self._refuse_unless_one_dimension()
        positions = self._positions_of_slice(item, self._first_dimension())
        # With a zero-sized later dimension the first dimension outgrows the cells.
        if positions.size and positions.max() >= self._count_elems:
            _refuse_invalid_index(item)
        return self._rows_of_flat_positions(positions)

    def _rows_of_positions(self, item: Union[list, np.ndarray]) -> LinearExpressionsArr:
        if isinstance(item, np.ndarray) and np.issubdtype(item.dtype, "bool") and item.shape == tuple(self._shape):
            return self._rows_of_flat_positions(np.flatnonzero(item))
        if isinstance(item, np.ndarray):
            positions = item
            if DEBUG and (not np.issubdtype(item.dtype, np.integer) or item.ndim != 1):
                _refuse_invalid_index(item)
        else:
            positions = np.asarray(item)
            if positions.size == 0:
                positions = np.zeros(0, dtype=np.int32)
            # Floats or texts would be cut or fail somewhere deep; a nested list is no flat position.
            if positions.dtype.kind not in "biu" or positions.ndim != 1:
                _refuse_invalid_index(item)
        if positions.size and (positions.min() < 0 or positions.max() >= self._count_elems):
            _refuse_invalid_index(item)
        return self._rows_of_flat_positions(positions)

    def _rows_of_multi_index(self, item: tuple) -> Union[LinearExpression, LinearExpressionsArr]:
        """An all-integer tuple selects one cell (one row); slices among the items select a
        block of cells, one row per cell in row-major order."""
        if DEBUG and len(item) != len(self._shape):
            refuse(
                IndexError,
                f"The dimension of the variable is {len(self._shape)}, but {len(item)} dimensions are obtained.",
            )
        if all(_is_integer(part) for part in item):
            for part, size in zip(item, self._shape):
                if part < 0 or part >= size:
                    _refuse_invalid_index(part)
            flat = np.ravel(np.ravel_multi_index(item, dims=self._shape))
            return self._row_of_columns(flat + self._shift)
        axes = [self._positions_on_axis(part, int(size)) for part, size in zip(item, self._shape)]
        block = np.stack(np.broadcast_arrays(*np.ix_(*axes)), axis=0)
        flat = np.ravel(np.ravel_multi_index(block, dims=self._shape))
        return self._rows_of_flat_positions(flat)

    def _positions_on_axis(self, part, size: int) -> np.ndarray:
        if _is_integer(part):
            if part < 0 or part >= size:
                _refuse_invalid_index(part)
            return np.array([int(part)])
        if isinstance(part, slice):
            return self._positions_of_slice(part, size)
        raise ValueError(f"Unsupported index type for multiindex: {type(part)}")
