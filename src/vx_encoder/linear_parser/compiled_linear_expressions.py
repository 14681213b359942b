from numbers import Integral
import typing as tp

import numpy as np
from scipy.sparse import coo_array, csc_array

from vx_encoder._vx_native import SparseRowAccumulator
from vx_encoder.linear_parser.linear_expression import _is_number
from vx_encoder.core.vx_logger import *

# Any real number: int, float, bool and NumPy's numbers alike.
_Number = tp.SupportsFloat

_INT64_LIMIT = 2.0**63

_SUM_OPERAND_TYPE = "Type 'LinearExpression' is expected for left side of expression"
_PRODUCT_OPERAND_TYPE = "Type 'LinearExpression' or 'int' is expected for expression"


def _is_integer(value) -> bool:
    return type(value) is int or isinstance(value, Integral)


def _has_integer_values(array) -> bool:
    return array.dtype.kind in "iub"


class CompiledLinearExpression:
    """A constant, linear coefficients over solver columns and an optional quadratic part.

    The coefficients live in a native accumulator as unmerged terms, so that
    the operators of a long row only append; equal columns are merged when the
    expression is read. The sparse arrays of the read-only views are built on
    first use.
    """

    # _views caches what the read-only views built: the merged linear part and
    # the coo arrays ("merged", "linear", "quadratic").
    __slots__ = ("_constant", "_terms", "_integral", "_views")

    def __init__(
        self,
        linear_coefficients: coo_array,
        constant: _Number = 0,
        quadratic_coefficients: tp.Optional[coo_array] = None,
    ):
        self._constant = constant
        if type(linear_coefficients) is not coo_array:
            linear_coefficients = linear_coefficients.tocoo()
        length, width = linear_coefficients.shape
        if width != 1:
            message = f"Linear coefficients must be a column vector of shape (n, 1), not {linear_coefficients.shape}"
            log_e(message)
            raise ValueError(message)
        terms = SparseRowAccumulator.from_terms(
            linear_coefficients.row, linear_coefficients.data.astype(np.float64), length
        )
        if quadratic_coefficients is not None:
            quadratic = quadratic_coefficients.tocoo()
            terms = terms.with_quadratic_part(
                quadratic.row, quadratic.col, quadratic.data.astype(np.float64), max(quadratic.shape)
            )
        self._terms = terms
        self._integral = _has_integer_values(linear_coefficients.data)
        self._views = {"linear": linear_coefficients, "quadratic": quadratic_coefficients}

    @property
    def constant(self) -> _Number:
        """The constant term."""
        return self._constant

    @property
    def linear_coefficients_indexes(self) -> np.ndarray:
        """The columns of the linear part, each once."""
        return self.__merged_linear_part()[0].copy()

    @property
    def quadratic_coefficients(self) -> tp.Optional[csc_array]:
        """Two times the quadratic part, by column: the Hessian of the expression."""
        if not self._terms.has_quadratic_part:
            return None
        size = self._terms.quadratic_size
        starts, indices, values = self._terms.quadratic_part_by_column(2.0, size)
        return csc_array((values, indices, starts), shape=(size, size))

    @property
    def linear_coefficients(self) -> np.ndarray:
        """The coefficients of the linear part, in the order of ``linear_coefficients_indexes``."""
        return self.__merged_linear_part()[1].copy()

    @property
    def _linear_coefficients(self) -> coo_array:
        views = self.__views()
        if views.get("linear") is None:
            indexes, coefficients = self.__merged_linear_part()
            views["linear"] = coo_array(
                (coefficients, (indexes, np.zeros_like(indexes))), shape=(self._terms.length, 1)
            )
        return views["linear"]

    @property
    def _quadratic_coefficients(self) -> tp.Optional[coo_array]:
        if not self._terms.has_quadratic_part:
            return None
        views = self.__views()
        if views.get("quadratic") is None:
            size = self._terms.quadratic_size
            rows, columns, values = self._terms.merged_quadratic_part()
            views["quadratic"] = coo_array((values, (rows, columns)), shape=(size, size))
        return views["quadratic"]

    @property
    def _has_quadratic_part(self) -> bool:
        return self._terms.has_quadratic_part

    def _hessian_by_column(self, dimension: int) -> tp.Tuple[np.ndarray, np.ndarray, np.ndarray]:
        """Two times the quadratic part as a dimension x dimension matrix compressed by column:
        (column starts, row numbers, values), the arrays of quadratic_coefficients resized to that side."""
        return self._terms.quadratic_part_by_column(2.0, dimension)

    def __pos__(self) -> "CompiledLinearExpression":
        return of_terms(+self._constant, self._terms, self._integral)

    def __neg__(self) -> "CompiledLinearExpression":
        return of_terms(-self._constant, self._terms.scaled(-1.0), self._integral)

    def __radd__(self, other: tp.Union["CompiledLinearExpression", _Number]) -> "CompiledLinearExpression":
        return self.__add__(other)

    def __add__(self, other: tp.Union["CompiledLinearExpression", _Number]) -> "CompiledLinearExpression":
        if isinstance(other, CompiledLinearExpression):
            return of_terms(
                self._constant + other._constant,
                self._terms.plus(other._terms, 1.0),
                self._integral and other._integral,
            )
        if _is_number(other):
            return of_terms(self._constant + other, self._terms, self._integral)
        log_e(_SUM_OPERAND_TYPE)
        raise TypeError(_SUM_OPERAND_TYPE)

    def __sub__(self, other: tp.Union["CompiledLinearExpression", _Number]) -> "CompiledLinearExpression":
        if isinstance(other, CompiledLinearExpression):
            return of_terms(
                self._constant - other._constant,
                self._terms.plus(other._terms, -1.0),
                self._integral and other._integral,
            )
        if _is_number(other):
            return of_terms(self._constant - other, self._terms, self._integral)
        log_e(_SUM_OPERAND_TYPE)
        raise TypeError(_SUM_OPERAND_TYPE)

    def __mul__(self, other: tp.Union["CompiledLinearExpression", _Number]) -> "CompiledLinearExpression":
        if _is_number(other):
            return of_terms(
                other * self._constant, self._terms.scaled(float(other)), self._integral and _is_integer(other)
            )
        if isinstance(other, CompiledLinearExpression):
            if self._terms.has_quadratic_part or other._terms.has_quadratic_part:
                log_e(_PRODUCT_OPERAND_TYPE)
                raise TypeError(_PRODUCT_OPERAND_TYPE)
            own_constant, other_constant = self._constant, other._constant
            return of_terms(
                other_constant * own_constant,
                self._terms.times(other._terms, float(own_constant), float(other_constant)),
                self._integral
                and other._integral
                and _is_integer(own_constant)
                and _is_integer(other_constant),
            )
        log_e(_PRODUCT_OPERAND_TYPE)
        raise TypeError(_PRODUCT_OPERAND_TYPE)

    # n * e is e * n; the text writes every number factor first, so the
    # alias spares a call on that hot path.
    __rmul__ = __mul__

    def __views(self) -> dict:
        if self._views is None:
            self._views = {}
        return self._views

    def __merged_linear_part(self) -> tp.Tuple[np.ndarray, np.ndarray]:
        views = self.__views()
        if "merged" not in views:
            indexes, coefficients = self._terms.merged_linear_part()
            # Integer coefficients come back as integers unless one reaches
            # past 64 bits, where the cast would wrap: those stay floats.
            if self._integral and np.all(np.abs(coefficients) < _INT64_LIMIT):
                coefficients = coefficients.astype(np.int64)
            views["merged"] = (indexes, coefficients)
        return views["merged"]


class CompiledSum(CompiledLinearExpression):
    """The sum of a sequence of compiled expressions (and numbers); an empty sequence is the constant 0.

    Args:
        expressions: Compiled expressions and numbers.

    Raises:
        TypeError: An item is neither a compiled expression nor a number.
    """

    __slots__ = ()

    def __init__(self, expressions: tp.Sequence[CompiledLinearExpression]):
        constant = 0
        parts = []
        integral = True
        for expression in expressions:
            if isinstance(expression, CompiledLinearExpression):
                constant = constant + expression._constant
                parts.append(expression._terms)
                integral = integral and expression._integral
            elif _is_number(expression):
                constant = constant + expression
            else:
                log_e(_SUM_OPERAND_TYPE)
                raise TypeError(_SUM_OPERAND_TYPE)
        self._constant = constant
        self._terms = SparseRowAccumulator.sum(parts)
        self._integral = integral
        self._views = None


_new_expression = object.__new__


def of_terms(constant: _Number, terms: SparseRowAccumulator, integral: bool) -> CompiledLinearExpression:
    """The compiled expression of a constant and terms; integral says every coefficient is an integer."""
    expression = _new_expression(CompiledLinearExpression)
    expression._constant = constant
    expression._terms = terms
    expression._integral = integral
    expression._views = None
    return expression


def element_expression(terms: SparseRowAccumulator) -> CompiledLinearExpression:
    """What a variable element evaluates to: its terms (the coefficient 1 at its column), constant 0."""
    expression = _new_expression(CompiledLinearExpression)
    expression._constant = 0
    expression._terms = terms
    expression._integral = True
    expression._views = None
    return expression


def rows_by_row(rows: tp.Sequence[CompiledLinearExpression]) -> tp.Tuple[np.ndarray, np.ndarray, np.ndarray]:
    """The merged linear parts of rows in compressed-row form: (starts, column indexes, coefficients)."""
    return SparseRowAccumulator.rows_by_row([row._terms for row in rows])
