"""Sparse linear expressions of the array interface: one row, or a block of rows."""

from __future__ import annotations

import os
from numbers import Integral, Real
from typing import Optional, Union

import numpy as np
from scipy.sparse import csc_array, csr_array

from vx_encoder._exceptions import FormulaError
from vx_encoder.linear_parser2._pending_sum import PendingSum
from vx_encoder.core.refusal import refuse
from vx_encoder.core.vx_logger import *  # noqa: F401,F403
from vx_encoder.linear_parser2._sparse_width import rows_of_common_width, squares_of_common_side

DEBUG = os.environ.get("DEBUG_SOLVER_MODE", False)

_CoefType = Union[Integral, Real, np.integer, np.floating]

_BOUNDED_OPERATION = "Operations with expressions with defined boundaries are not allowed."
_BOUND_ALREADY_SET = "The expression already has one of the boundaries set."
_BOUNDED_TRUTH_VALUE = (
    "A bounded expression has no truth value: write (expression <= upper) >= lower "
    "instead of a chained comparison"
)


def _as_float64(sparse):
    """Coefficients are kept as 64-bit floats so that scaling can neither overflow nor truncate."""
    if isinstance(sparse, (csr_array, csc_array)) and sparse.dtype != np.float64:
        return sparse.astype(np.float64)
    return sparse


def _joined(owners: frozenset, other_owners: frozenset) -> frozenset:
    """The owners of both operands; as a rule both have the same one, and no new set is made."""
    if other_owners <= owners:
        return owners
    return other_owners if owners <= other_owners else owners | other_owners


def _one_entry_per_row(matrix: csr_array) -> bool:
    """True for blocks made by indexing (one cell a row), checked without trusting flags."""
    return matrix.nnz == matrix.shape[0] and np.array_equal(
        matrix.indptr, np.arange(matrix.shape[0] + 1, dtype=matrix.indptr.dtype)
    )


class LinearExpression:
    """An expression specifying a single row of the constraint matrix"""

    # NumPy scalars and arrays on the left defer to the reflected operators below
    # instead of broadcasting over the expression.
    __array_ufunc__ = None

    def __init__(
        self,
        linear_coefficients: csr_array,
        constant: _CoefType = 0.0,
        quadratic_coefficients: Optional[csc_array] = None,
        lower_bound: Optional[_CoefType] = None,
        upper_bound: Optional[_CoefType] = None,
        owners: frozenset = frozenset(),
    ):
        """One row: linear coefficients, a constant, an optional quadratic part and bounds.

        ``+``, ``-`` and ``*`` with numbers or rows give new rows (a product of two rows
        a quadratic part); ``<=``, ``>=`` and ``==`` with a number or a row give a
        bounded row, ``(e <= 5) >= 1`` both bounds. A chained comparison raises
        ``TypeError``; operating on a bounded row raises ``FormulaError``.

        Args:
            linear_coefficients: A one-row sparse array over the columns.
            constant: The constant term.
            quadratic_coefficients: The quadratic part as a square sparse matrix, or None.
            lower_bound: The lower bound, or None.
            upper_bound: The upper bound, or None.
        """
        if DEBUG:
            if not isinstance(linear_coefficients, csr_array):
                refuse(TypeError, "Linear coefficients must be a csr array")
            if not isinstance(constant, _CoefType):
                refuse(TypeError, "Constant must be a float or int number")
            if quadratic_coefficients is not None and not isinstance(quadratic_coefficients, csc_array):
                refuse(TypeError, "Quadratic coefficients must be a csc array")
        self._constant = constant
        self._linear_coefficients = _as_float64(linear_coefficients)
        self._quadratic_coefficients = _as_float64(quadratic_coefficients)
        self._lower_bound = lower_bound
        self._upper_bound = upper_bound
        # The models whose variables the row holds (see VariableArray): a model
        # refuses a row of another model's columns, which would name its own.
        self._owners = owners

    @property
    def constant(self) -> _CoefType:
        """The constant term."""
        return self._constant

    @property
    def linear_coefficients(self) -> csr_array:
        """The linear coefficients, a one-row sparse array over the columns."""
        return self._linear_coefficients

    @property
    def quadratic_coefficients(self) -> Optional[csc_array]:
        """The quadratic part as a square sparse matrix, or None."""
        return self._quadratic_coefficients

    @property
    def lower_bound(self) -> Optional[_CoefType]:
        """The lower bound, or None."""
        return self._lower_bound

    @property
    def upper_bound(self) -> Optional[_CoefType]:
        """The upper bound, or None."""
        return self._upper_bound

    def _has_bound(self) -> bool:
        return self._lower_bound is not None or self._upper_bound is not None

    def _operand_is_number(self, other) -> bool:
        """The common prologue of +, - and *: True for a number, False for an unbounded expression."""
        if self._has_bound():
            refuse(FormulaError, _BOUNDED_OPERATION)
        if isinstance(other, _CoefType):
            return True
        if isinstance(other, LinearExpression):
            if other._has_bound():
                refuse(FormulaError, _BOUNDED_OPERATION)
            return False
        refuse(TypeError, "Type 'float', 'int' or 'LinearExpression' is expected for left side of expression")

    def _with_constant(self, constant: _CoefType) -> LinearExpression:
        return LinearExpression(
            linear_coefficients=self._linear_coefficients,
            constant=constant,
            quadratic_coefficients=self._quadratic_coefficients,
            owners=self._owners,
        )

    def _combined_with(self, other: LinearExpression, subtract: bool) -> LinearExpression:
        own_row, other_row = rows_of_common_width(self._linear_coefficients, other._linear_coefficients)
        own_square, other_square = self._quadratic_coefficients, other._quadratic_coefficients
        if own_square is not None and other_square is not None:
            own_square, other_square = squares_of_common_side(own_square, other_square)
            square = (own_square - other_square if subtract else own_square + other_square).tocsc()
        elif other_square is not None:
            square = (-other_square).tocsc() if subtract else other_square
        else:
            square = own_square
        return LinearExpression(
            linear_coefficients=own_row - other_row if subtract else own_row + other_row,
            constant=self._constant - other._constant if subtract else self._constant + other._constant,
            quadratic_coefficients=square,
            owners=_joined(self._owners, other._owners),
        )

    def __add__(self, other) -> LinearExpression:
        if self._operand_is_number(other):
            return self._with_constant(self._constant + other)
        return self._combined_with(other, subtract=False)

    __radd__ = __add__

    def __sub__(self, other) -> LinearExpression:
        if self._operand_is_number(other):
            return self._with_constant(self._constant - other)
        return self._combined_with(other, subtract=True)

    def __rsub__(self, other) -> LinearExpression:
        if not self._operand_is_number(other):
            return other._combined_with(self, subtract=True)
        square = self._quadratic_coefficients
        return LinearExpression(
            linear_coefficients=-self._linear_coefficients,
            constant=other - self._constant,
            quadratic_coefficients=None if square is None else (-square).tocsc(),
            owners=self._owners,
        )

    def __mul__(self, other) -> LinearExpression:
        if self._operand_is_number(other):
            square = self._quadratic_coefficients
            return LinearExpression(
                linear_coefficients=self._linear_coefficients * other,
                constant=self._constant * other,
                quadratic_coefficients=None if square is None else (square * other).tocsc(),
                owners=self._owners,
            )
        return self._product_with(other)

    __rmul__ = __mul__

    def _product_with(self, other: LinearExpression) -> LinearExpression:
        if self._quadratic_coefficients is not None or other._quadratic_coefficients is not None:
            refuse(ValueError, "Creating a quadratic expression is only available for linear expressions")
        own_row, other_row = rows_of_common_width(self._linear_coefficients, other._linear_coefficients)
        outer = own_row.reshape(-1, 1) @ other_row.reshape(1, -1)
        return LinearExpression(
            linear_coefficients=own_row * other._constant + other_row * self._constant,
            constant=self._constant * other._constant,
            quadratic_coefficients=(0.5 * (outer + outer.T)).tocsc(),
            owners=_joined(self._owners, other._owners),
        )

    def _bound_from(self, other) -> float:
        if isinstance(other, _CoefType):
            return float(other)
        refuse(TypeError, "Type 'float', 'int' or 'LinearExpression' is expected for a bound")

    def _with_bounds(self, lower_bound, upper_bound) -> LinearExpression:
        return LinearExpression(
            linear_coefficients=self._linear_coefficients,
            constant=self._constant,
            quadratic_coefficients=self._quadratic_coefficients,
            lower_bound=lower_bound,
            upper_bound=upper_bound,
            owners=self._owners,
        )

    # A comparison with another expression f states (e - f) compared with 0,
    # so that both sides may hold variables.

    def __eq__(self, other) -> LinearExpression:
        if self._has_bound():
            refuse(FormulaError, _BOUND_ALREADY_SET)
        if isinstance(other, LinearExpression):
            return (self - other) == 0
        bound = self._bound_from(other)
        return self._with_bounds(bound, bound)

    def __ge__(self, other) -> LinearExpression:
        if self._lower_bound is not None:
            refuse(FormulaError, "The expression already has a lower bound set.")
        if isinstance(other, LinearExpression):
            return (self - other) >= 0
        return self._with_bounds(self._bound_from(other), self._upper_bound)

    def __le__(self, other) -> LinearExpression:
        if self._upper_bound is not None:
            refuse(FormulaError, "The expression already has a upper bound set.")
        if isinstance(other, LinearExpression):
            return (self - other) <= 0
        return self._with_bounds(self._lower_bound, self._bound_from(other))

    def __bool__(self) -> bool:
        # A chained comparison 1 <= e <= 5 tests the truth of (e >= 1) and would
        # silently keep only its second half.
        if self._has_bound():
            refuse(TypeError, _BOUNDED_TRUTH_VALUE)
        return True

    __hash__ = None


class LinearExpressionsArr:
    """An expression defining several rows of the constraint matrix"""

    __array_ufunc__ = None

    def __init__(
        self,
        linear_coefficients: csr_array,
        constants: Optional[np.ndarray] = None,
        lower_bounds: Optional[np.ndarray] = None,
        upper_bounds: Optional[np.ndarray] = None,
        is_init: bool = False,
        owners: frozenset = frozenset(),
    ):
        """Several rows: a sparse matrix with one constant and optional bounds per row.

        Operators work row by row with numbers, arrays (one value per row) and row
        arrays; comparisons with a number or one bound per row give bounded rows.

        Args:
            linear_coefficients: The rows' coefficients, a two-dimensional sparse array.
            constants: One constant per row; zeros when not given.
            lower_bounds: The rows' lower bounds, or None.
            upper_bounds: The rows' upper bounds, or None.
            is_init: Whether the rows were made by operations rather than indexing.
        """
        if DEBUG:
            if constants is not None:
                constants_shape = np.shape(constants)
                if not constants_shape or constants_shape[0] != np.shape(linear_coefficients)[0]:
                    refuse(FormulaError, "constants and linear_coeffients must have the same number of elements.")
            is_matrix = isinstance(linear_coefficients, PendingSum) or (
                isinstance(linear_coefficients, csr_array) and linear_coefficients.ndim == 2
            )
            if not is_matrix:
                refuse(TypeError, "Linear coefficients must be a csr array with 2 dimensions.")
            if constants is not None and (not isinstance(constants, np.ndarray) or constants.ndim != 1):
                refuse(TypeError, "Constant must be a float or int number")
        linear_coefficients = _as_float64(linear_coefficients)
        if constants is None:
            constants = np.zeros(linear_coefficients.shape[0], dtype=linear_coefficients.dtype)
        self._constants = constants
        self._linear_coefficients = linear_coefficients
        self._lower_bounds = lower_bounds
        self._upper_bounds = upper_bounds
        self._is_init = is_init
        self._owners = owners  # as for LinearExpression

    @property
    def num_constraints(self) -> int:
        """The number of rows."""
        return int(self._constants.size)

    @property
    def constants(self) -> np.ndarray:
        """The constant of every row."""
        return self._constants

    @property
    def linear_coefficients(self) -> csr_array:
        """The rows' coefficients as a sparse matrix (one row per constraint)."""
        if isinstance(self._linear_coefficients, PendingSum):
            self._linear_coefficients = self._linear_coefficients.total()
        return self._linear_coefficients.tocsr()

    @property
    def lower_bounds(self) -> Optional[np.ndarray]:
        """The rows' lower bounds, or None."""
        return self._lower_bounds

    @property
    def upper_bounds(self) -> Optional[np.ndarray]:
        """The rows' upper bounds, or None."""
        return self._upper_bounds

    def _has_bounds(self) -> bool:
        return self._lower_bounds is not None or self._upper_bounds is not None

    def _refuse_if_bounded(self) -> None:
        if self._has_bounds():
            refuse(FormulaError, _BOUND_ALREADY_SET)

    def _with_constants(self, constants: np.ndarray, linear_coefficients: csr_array) -> LinearExpressionsArr:
        return LinearExpressionsArr(
            linear_coefficients=linear_coefficients, constants=constants, is_init=True, owners=self._owners
        )

    def _combined_with(self, other, subtract: bool) -> LinearExpressionsArr:
        if not isinstance(other, LinearExpressionsArr):
            refuse(TypeError, "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression")
        # The bounds of the right operand would otherwise be dropped without a word.
        other._refuse_if_bounded()
        if self._constants.shape != other._constants.shape:
            refuse(FormulaError, "Expression smust have the same number of elements.")
        return LinearExpressionsArr(
            linear_coefficients=PendingSum.of(self._linear_coefficients, other._linear_coefficients, subtract),
            constants=self._constants - other._constants if subtract else self._constants + other._constants,
            owners=_joined(self._owners, other._owners),
        )

    def __add__(self, other) -> LinearExpressionsArr:
        self._refuse_if_bounded()
        if isinstance(other, _CoefType):
            return self._with_constants(self._constants + other, self._linear_coefficients)
        return self._combined_with(other, subtract=False)

    __radd__ = __add__

    def __sub__(self, other) -> LinearExpressionsArr:
        self._refuse_if_bounded()
        if isinstance(other, _CoefType):
            return self._with_constants(self._constants - other, self._linear_coefficients)
        return self._combined_with(other, subtract=True)

    def __rsub__(self, other) -> LinearExpressionsArr:
        self._refuse_if_bounded()
        if not isinstance(other, _CoefType):
            refuse(TypeError, "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression")
        return self._with_constants(other - self._constants, -self.linear_coefficients)

    def __mul__(self, other) -> LinearExpressionsArr:
        self._refuse_if_bounded()
        if isinstance(other, _CoefType):
            return self._with_constants(self._constants * other, self.linear_coefficients * other)
        if isinstance(other, np.ndarray):
            return self._rows_scaled_by(other)
        refuse(TypeError, "Type 'float' or 'int' is expected for left side of expression")

    __rmul__ = __mul__

    def _rows_scaled_by(self, weights: np.ndarray) -> LinearExpressionsArr:
        if DEBUG and (weights.ndim != 1 or weights.size != self._constants.size):
            refuse(FormulaError, "Expression smust have the same number of elements.")
        row_weights = np.broadcast_to(weights, self._constants.shape)
        matrix = self.linear_coefficients
        # Scale the stored values in place of a sparse product: the structure stays as it is.
        if _one_entry_per_row(matrix):
            values = matrix.data * row_weights
        else:
            values = matrix.data * np.repeat(row_weights, np.diff(matrix.indptr))
        return LinearExpressionsArr(
            linear_coefficients=csr_array((values, matrix.indices, matrix.indptr), shape=matrix.shape),
            constants=self._constants * row_weights,
            owners=self._owners,
        )

    def _bound_vector_from(self, other) -> np.ndarray:
        # Bounds are kept as 64-bit floats whatever the type of the constants.
        if isinstance(other, _CoefType):
            return np.full(self._constants.shape, other, dtype=np.float64)
        try:
            bound = np.asarray(other, dtype=np.float64)
        except (TypeError, ValueError):
            refuse(TypeError, "Type 'float', 'int', 'np.ndarray' or 'LinearExpressionsArr' is expected for a bound")
        if bound.shape != self._constants.shape:
            refuse(FormulaError, "The size of the border must match the number of constraints.")
        return bound

    def _with_bounds(self, lower_bounds, upper_bounds) -> LinearExpressionsArr:
        return LinearExpressionsArr(
            linear_coefficients=self._linear_coefficients,
            constants=self._constants,
            lower_bounds=lower_bounds,
            upper_bounds=upper_bounds,
            owners=self._owners,
        )

    def __eq__(self, other) -> LinearExpressionsArr:
        if self._has_bounds():
            refuse(FormulaError, _BOUND_ALREADY_SET)
        if isinstance(other, LinearExpressionsArr):
            return (self - other) == 0
        bound = self._bound_vector_from(other)
        return self._with_bounds(bound, bound)

    def __ge__(self, other) -> LinearExpressionsArr:
        if self._lower_bounds is not None:
            refuse(FormulaError, "The expression already has a lower bounds set.")
        if isinstance(other, LinearExpressionsArr):
            return (self - other) >= 0
        return self._with_bounds(self._bound_vector_from(other), self._upper_bounds)

    def __le__(self, other) -> LinearExpressionsArr:
        if self._upper_bounds is not None:
            refuse(FormulaError, "The expression already has a upper bounds set.")
        if isinstance(other, LinearExpressionsArr):
            return (self - other) <= 0
        return self._with_bounds(self._lower_bounds, self._bound_vector_from(other))

    def __bool__(self) -> bool:
        if self._has_bounds():
            refuse(TypeError, _BOUNDED_TRUTH_VALUE)
        return True

    __hash__ = None

    def sum(self) -> LinearExpression:
        """The sum of all rows.

        Returns:
            One row.

        Raises:
            FormulaError: The rows have bounds.
        """
        self._refuse_if_bounded()
        matrix = self.linear_coefficients
        # Stored values placed at their columns, duplicates added: one pass over
        # the entries, never a dense row as wide as the model.
        row = csr_array((matrix.data, (matrix.indices,)), shape=(matrix.shape[1],))
        return LinearExpression(constant=self._constants.sum(), linear_coefficients=row, owners=self._owners)

    def dot(self, other: np.ndarray) -> LinearExpression:
        """The rows weighted by a vector and added.

        Args:
            other: One weight per row.

        Returns:
            One row.

        Raises:
            FormulaError: The rows have bounds.
        """
        if DEBUG and not isinstance(other, np.ndarray):
            refuse(TypeError, f"Undefined type {type(other)}")
        self._refuse_if_bounded()
        constant = self._constants.dot(other)
        row = (csr_array(other) @ self.linear_coefficients).tocsr()
        return LinearExpression(constant=constant, linear_coefficients=row, owners=self._owners)


def sumexp(expr: LinearExpressionsArr) -> LinearExpression:
    """The sum of all rows of an expression array.

    Args:
        expr: The rows, without bounds.

    Returns:
        One row.

    Raises:
        FormulaError: The rows have bounds.
    """
    return expr.sum()


def dot(first_expr, second_expr) -> LinearExpression:
    """The rows of an expression array weighted by a vector and added.

    Args:
        first_expr: The rows, or the weights.
        second_expr: The weights, or the rows.

    Returns:
        One row.

    Raises:
        FormulaError: The rows have bounds.
    """
    if DEBUG and not (
        (isinstance(first_expr, LinearExpressionsArr) and isinstance(second_expr, np.ndarray))
        or (isinstance(first_expr, np.ndarray) and isinstance(second_expr, LinearExpressionsArr))
    ):
        refuse(FormulaError, "One of the arguments must be of type 'LinearExpressionsArr', the other 'np.ndarray'")
    if isinstance(first_expr, LinearExpressionsArr):
        return first_expr.dot(second_expr)
    return second_expr.dot(first_expr)
