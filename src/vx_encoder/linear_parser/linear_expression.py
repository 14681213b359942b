from numbers import Integral, Real
import typing as tp

from vx_encoder._exceptions import FormulaError
from vx_encoder.core.vx_logger import *

# Any real number: int, float, bool and NumPy's numbers alike.
_Number = tp.SupportsFloat

_BOUNDS_ARE_FINAL = "It is forbidden to change the formula after setting the boundaries"
_OPERAND_TYPE = "Type 'LinearExpression' is expected for left side of expression"
_NO_TRUTH_VALUE = (
    "A LinearExpression has no truth value: a chained comparison such as 1 <= e <= 5 would keep only one bound. "
    "Give both bounds to one constraint, as in add_constraint(e <= 5, lo=1)"
)

_NOT_A_NUMBER = "A NaN cannot be a coefficient or constant of a linear expression"

_PLAIN_NUMBER_TYPES = frozenset((int, float, bool))


def _is_number(value) -> bool:
    """Whether a value is a number operand: an integral or real number, booleans included."""
    # The exact-type test spares the abstract-class check in the common case.
    return type(value) in _PLAIN_NUMBER_TYPES or isinstance(value, (Integral, Real))


class LinearExpression:
    """Text of a linear or quadratic expression over linear variables, with optional bounds.

    ``+``, ``-`` and ``*`` (with numbers or expressions) write new text; ``<=``,
    ``>=`` and ``==`` with a number give a bounded copy. A chained comparison
    raises ``TypeError``; operating on a bounded expression raises ``FormulaError``.

    Args:
        expression: The expression text.
    """

    # Models hold one expression per term of their long sums: slots keep each small.
    __slots__ = ("_expression", "_lo", "_hi")

    def __init__(self, expression: str = ""):
        self._expression = expression
        self._lo = None
        self._hi = None

    @property
    def lo(self) -> tp.Optional[_Number]:
        """The lower bound, or None."""
        return self._lo

    @property
    def hi(self) -> tp.Optional[_Number]:
        """The upper bound, or None."""
        return self._hi

    def __pos__(self) -> "LinearExpression":
        return LinearExpression(f"+({self})")

    def __neg__(self) -> "LinearExpression":
        return LinearExpression(f"-({self})")

    def __add__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return LinearExpression(f"{self} + {self.__operand_text(other)}")

    def __radd__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return self.__add__(other)

    def __sub__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        if _is_number(other):
            return LinearExpression(f"{self} - {self.__operand_text(other)}")
        return LinearExpression(f"{self} - ({self.__operand_text(other)})")

    def __rsub__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return -self + other

    def __mul__(self, other: tp.Union[_Number, "LinearExpression"]) -> "LinearExpression":
        if type(other) in _PLAIN_NUMBER_TYPES and other == other and self._lo is None and self._hi is None:
            # A number times an unbounded expression, the term of every weighted
            # sum, without the general tests below.
            return LinearExpression(f"{other} * ({self._expression})")
        if _is_number(other):
            return LinearExpression(f"{self.__operand_text(other)} * ({self})")
        return LinearExpression(f"({self}) * ({self.__operand_text(other)})")

    # other * self is self * other; the alias spares a call on the path of every weighted term.
    __rmul__ = __mul__

    # A comparison writes a bounded expression, not a truth value.
    def __eq__(self, other: _Number) -> "LinearExpression":  # type: ignore[override]
        bounded = self.__bounded_copy()
        bounded._lo = other
        bounded._hi = other
        return bounded

    def __le__(self, other: _Number) -> "LinearExpression":
        bounded = self.__bounded_copy()
        bounded._hi = other
        return bounded

    def __ge__(self, other: _Number) -> "LinearExpression":
        bounded = self.__bounded_copy()
        bounded._lo = other
        return bounded

    def __bool__(self):
        # The host truth-tests the first result of a chained comparison and
        # drops it; refusing makes that loss impossible.
        log_e(_NO_TRUTH_VALUE)
        raise TypeError(_NO_TRUTH_VALUE)

    def __str__(self) -> str:
        return self._expression

    def _check_borders(self):
        if self._lo is None and self._hi is None:
            return True
        log_e(_BOUNDS_ARE_FINAL)
        raise FormulaError(_BOUNDS_ARE_FINAL)

    def __operand_text(self, other) -> str:
        """The text of the right operand of a binary operator, after the bound tests."""
        self._check_borders()
        if _is_number(other):
            # NaN != NaN; its text "nan" would otherwise fail later as an unknown name.
            if other != other:
                log_e(_NOT_A_NUMBER)
                raise ValueError(_NOT_A_NUMBER)
            return format(other)
        if isinstance(other, LinearExpression):
            other._check_borders()
            return format(other)
        log_e(_OPERAND_TYPE)
        raise TypeError(_OPERAND_TYPE)

    def __bounded_copy(self) -> "LinearExpression":
        self._check_borders()
        return LinearExpression(self._expression)


class LinearVariableProxy(LinearExpression):
    """The text of one element of a linear variable, such as x(i,j).

    Args:
        name: The element text.
    """

    __slots__ = ("_name",)

    def __init__(self, name: str):
        super().__init__(name)
        self._name = name

    def __repr__(self):
        return self._name


class Sum(LinearExpression):
    """The sum of an expression over ranges of index values given as keyword arguments.

    Args:
        expression: The expression summed, without bounds.
        **indexes: Each index's name with its values; the first is outermost.

    Raises:
        TypeError: ``expression`` is not a linear expression.
        FormulaError: ``expression`` has bounds.
    """

    __slots__ = ()

    def __init__(self, expression: LinearExpression, **indexes) -> None:
        super().__init__()
        if not isinstance(expression, LinearExpression):
            message = "Type 'LinearExpression' is expected for variable 'expression'"
            log_e(message)
            raise TypeError(message)
        expression._check_borders()
        fors = " ".join(f"for {name} in {values}" for name, values in indexes.items())
        self._expression = f"CompiledSum([{expression} {fors}])"


class SumIt(LinearExpression):
    """The sum of the listed expressions.

    Args:
        expressions: A sequence of linear expressions without bounds; an empty one
            is accepted with a warning.

    Raises:
        TypeError: ``expressions`` is not a sequence or holds a non-expression.
        FormulaError: An expression has bounds.
    """

    __slots__ = ()

    def __init__(self, expressions: tp.Sequence[LinearExpression]) -> None:
        super().__init__()
        if not isinstance(expressions, tp.Sequence):
            message = "Use an iterable sequence as SumIt input argument"
            log_e(message)
            raise TypeError(message)
        if len(expressions) == 0:
            log_w("The input sequence has zero length")
        for expression in expressions:
            if not isinstance(expression, LinearExpression):
                message = "Variable 'expressions' must contain only objects of type 'LinearExpression'"
                log_e(message)
                raise TypeError(message)
            expression._check_borders()
        self._expression = "CompiledSum([" + ", ".join(str(expression) for expression in expressions) + "])"
