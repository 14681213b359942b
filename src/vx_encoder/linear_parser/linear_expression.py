from numbers import Integral, Real
import typing as tp

from vx_encoder._exceptions import FormulaError
from vx_encoder._vx_native import LinearTerms, joined_pieces, untracked_instance
from vx_encoder.core.range_text import range_text
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
_NOT_FINITE = "An infinite number cannot be a coefficient or constant of a linear expression"

_PLAIN_NUMBER_TYPES = frozenset((int, float, bool))
_INFINITY = float("inf")

# Texts up to this length are joined when an operator writes them, longer ones
# kept as pieces: the copy of a short text costs less than a tuple of pieces.
_JOINED_AT_ONCE = 256


def _is_number(value) -> bool:
    """Whether a value is a number operand: an integral or real number, booleans included."""
    # The exact-type tests spare the abstract-class check, slow for a type that
    # is no number, in the common cases: a plain number or an expression.
    if type(value) in _PLAIN_NUMBER_TYPES:
        return True
    return not isinstance(value, LinearExpression) and isinstance(value, (Integral, Real))


def _is_finite(number) -> bool:
    """Whether a number is neither NaN nor infinite, compared rather than converted:
    an integer past every float is finite."""
    return -_INFINITY < number < _INFINITY


def refuse_index_values_not_iterable(name: str, values) -> None:
    """The values of an index, given by keyword, are text or an iterable; anything else
    would fail only when the text is evaluated, without naming the keyword."""
    if isinstance(values, str):
        return
    try:
        iter(values)
    except TypeError:
        message = (
            f"The values of index {name} must be an iterable (a range, a list, an array) "
            f"or a text such as \"range(3)\", not {values!r}"
        )
        log_e(message)
        raise TypeError(message) from None


class LinearExpression(LinearTerms):
    """Text of a linear or quadratic expression over linear variables, with optional bounds.

    ``+``, ``-`` and ``*`` (with numbers or expressions) write new text; ``<=``,
    ``>=`` and ``==`` with a number give a bounded copy. A chained comparison
    raises ``TypeError``; operating on a bounded expression raises ``FormulaError``.

    Args:
        expression: The expression text.
    """

    # The native base holds _text, _lo and _hi. _text is the text, or until it
    # is first read the tuple of its pieces (texts and operand expressions): an
    # operator then costs the same however long its operands are, and a sum
    # built by + in a loop is joined once, in linear time. A cell, a number
    # times a cell and a SumIt of those are held as numbered terms instead,
    # their text formed when first read; the native base's * makes the scaled
    # cells and hands every other product to _product.
    __slots__ = ()

    if tp.TYPE_CHECKING:
        _text: tp.Union[str, tp.Tuple[tp.Union[str, "LinearExpression"], ...]]
        _lo: tp.Any
        _hi: tp.Any

        def _sum_of_terms(self, expressions: tp.Sequence["LinearExpression"]) -> bool: ...

        def _take_content(self, other: "LinearExpression") -> None: ...

    def __init__(self, expression: str = ""):
        self._text = expression
        self._lo = None
        self._hi = None

    @staticmethod
    def _of_pieces(*pieces: tp.Union[str, "LinearExpression"]) -> "LinearExpression":
        """An unbounded expression of its pieces: joined at once while short, which is
        cheaper than keeping them, kept as pieces once an operand's text is long."""
        texts = [piece if type(piece) is str else piece._text for piece in pieces]
        expression = _new_expression(LinearExpression)
        if all(type(text) is str for text in texts) and sum(map(len, texts)) <= _JOINED_AT_ONCE:
            expression._text = "".join(texts)
        else:
            expression._text = pieces
        expression._lo = None
        expression._hi = None
        return expression

    @property
    def _expression(self) -> str:
        """The text, its pieces joined on first reading."""
        text = self._text
        if type(text) is str:
            return text
        joined = joined_pieces(text, "_text")
        self._text = joined
        return joined

    @_expression.setter
    def _expression(self, text: str) -> None:
        self._text = text

    @property
    def lo(self) -> tp.Optional[_Number]:
        """The lower bound, or None."""
        return self._lo

    @property
    def hi(self) -> tp.Optional[_Number]:
        """The upper bound, or None."""
        return self._hi

    def __pos__(self) -> "LinearExpression":
        return LinearExpression._of_pieces("+(", self, ")")

    def __neg__(self) -> "LinearExpression":
        return LinearExpression._of_pieces("-(", self, ")")

    def __add__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return LinearExpression._of_pieces(self, " + ", self.__operand(other))

    def __radd__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return self.__add__(other)

    def __sub__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        if _is_number(other):
            return LinearExpression._of_pieces(self, " - ", self.__operand(other))
        return LinearExpression._of_pieces(self, " - (", self.__operand(other), ")")

    def __rsub__(self, other: tp.Union["LinearExpression", _Number]) -> "LinearExpression":
        return -self + other

    if tp.TYPE_CHECKING:  # the native base's
        def __mul__(self, other: tp.Union[_Number, "LinearExpression"]) -> "LinearExpression": ...

        def __rmul__(self, other: tp.Union[_Number, "LinearExpression"]) -> "LinearExpression": ...

    def _product(self, other: tp.Union[_Number, "LinearExpression"]) -> "LinearExpression":
        """self * other and other * self, which write the same text."""
        if type(other) in _PLAIN_NUMBER_TYPES and _is_finite(other) and self._lo is None and self._hi is None:
            # A finite number times an unbounded expression, the term of every
            # weighted sum, without the general tests below.
            text = self._text
            if type(text) is str and len(text) <= _JOINED_AT_ONCE:
                expression = _new_expression(LinearExpression)
                expression._text = f"{other} * ({text})"
                expression._lo = None
                expression._hi = None
                return expression
            return LinearExpression._of_pieces(f"{other} * (", self, ")")
        if _is_number(other):
            return LinearExpression._of_pieces(self.__operand(other), " * (", self, ")")
        return LinearExpression._of_pieces("(", self, ") * (", self.__operand(other), ")")

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

    def __reduce__(self):
        # The native base has no state the host can copy: an expression is
        # copied and pickled as its text and bounds.
        return _restored_expression, (type(self), self._expression, self._lo, self._hi)

    def _check_borders(self):
        if self._lo is None and self._hi is None:
            return True
        log_e(_BOUNDS_ARE_FINAL)
        raise FormulaError(_BOUNDS_ARE_FINAL)

    def __operand(self, other) -> tp.Union[str, "LinearExpression"]:
        """The right operand of a binary operator as a piece of text, after the bound tests:
        a number's text, or the expression itself."""
        self._check_borders()
        if _is_number(other):
            # NaN != NaN; its text "nan", like "inf", would otherwise fail later as an unknown name.
            if other != other:
                log_e(_NOT_A_NUMBER)
                raise ValueError(_NOT_A_NUMBER)
            if not _is_finite(other):
                log_e(_NOT_FINITE)
                raise ValueError(_NOT_FINITE)
            return format(other)
        if isinstance(other, LinearExpression):
            other._check_borders()
            return other
        log_e(_OPERAND_TYPE)
        raise TypeError(_OPERAND_TYPE)

    def __bounded_copy(self) -> "LinearExpression":
        self._check_borders()
        bounded = LinearExpression()
        bounded._take_content(self)
        return bounded


def _restored_expression(kind: type, text: str, lo, hi) -> LinearExpression:
    """An expression of the given class, text and bounds, as __reduce__ gave them."""
    expression = kind.__new__(kind)
    expression._text = text
    expression._lo = lo
    expression._hi = hi
    return expression


# The instances the operators make hold texts, None and pieces of earlier
# expressions, never a cycle: untracked by the cyclic collector, the many terms
# of a long sum cost it nothing. A bounded expression, whose bounds are whatever
# the caller gave, is made by the constructor and stays tracked.
_new_expression = untracked_instance


class LinearVariableProxy(LinearExpression):
    """The text of one element of a linear variable, such as x(i,j).

    Args:
        name: The element text.
    """

    __slots__ = ()

    def __init__(self, name: str):
        super().__init__(name)

    def __repr__(self):
        return self._expression


def _cell_proxy(name: str) -> LinearVariableProxy:
    """LinearVariableProxy(name) without its initializers: a cell written as text."""
    proxy = _new_expression(LinearVariableProxy)
    proxy._text = name
    proxy._lo = None
    proxy._hi = None
    return proxy


class Sum(LinearExpression):
    """The sum of an expression over ranges of index values given as keyword arguments.

    Args:
        expression: The expression summed, without bounds.
        **indexes: Each index's name with its values; the first is outermost.

    Raises:
        TypeError: ``expression`` is not a linear expression, or index values are neither
            text nor iterable.
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
        for name, values in indexes.items():
            refuse_index_values_not_iterable(name, values)
        fors = " ".join(f"for {name} in {range_text(values)}" for name, values in indexes.items())
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
        # Numbered cells, scaled or not, are summed as numbers; any other
        # expression makes the sum text.
        if self._sum_of_terms(expressions):
            return
        texts = []
        for expression in expressions:
            if not isinstance(expression, LinearExpression):
                message = "Variable 'expressions' must contain only objects of type 'LinearExpression'"
                log_e(message)
                raise TypeError(message)
            if expression._lo is not None or expression._hi is not None:
                expression._check_borders()
            # A term's text is read in place; only a text still in pieces is joined.
            text = expression._text
            texts.append(text if type(text) is str else expression._expression)
        self._expression = "CompiledSum([" + ", ".join(texts) + "])"
