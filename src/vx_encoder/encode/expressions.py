from __future__ import annotations

import typing as tp
from itertools import repeat
from operator import attrgetter
from numbers import Integral

from vx_encoder._vx_native import joined_cell_texts, joined_pieces
from vx_encoder.core.range_text import range_text
from vx_encoder.core.vx_logger import *
from vx_encoder.encode.expression_owners import ExpressionOwner, Owners, merged_owners, owners_of_all
from vx_encoder.encode.operand_grouping import Binding, grouped


def _expr2bx(expr: Expression) -> str:
    if isinstance(expr, VariableProxy):
        return f"{expr}.to_bx()"
    return str(expr)


def _expr2pb(expr: Expression) -> str:
    if isinstance(expr, VariableProxy):
        return expr._expr + ".to_pb()"
    return str(expr)


# An operator's text is kept as its pieces, an operand's pieces among them, joined once when it is
# read (cpp/kernels_bindings/text_pieces_bindings.cpp).
_Pieces = tp.Union[str, tp.Tuple["_Pieces", ...]]


def _pb_pieces(expr: Expression) -> _Pieces:
    if isinstance(expr, VariableProxy):
        return expr._expr + ".to_pb()"
    return expr._expr


def _bx_pieces(expr: Expression) -> _Pieces:
    if isinstance(expr, VariableProxy):
        return expr._expr + ".to_bx()"
    return expr._expr


def _of_pieces(pieces: _Pieces, soft: bool, owners: Owners) -> Expression:
    expression = _new_expression(Expression)
    expression._expr = pieces
    expression._soft = soft
    expression._owners = owners
    return expression


def _of_two(pieces: _Pieces, soft: bool, first: Expression, second: Expression) -> Expression:
    """An expression of two operands: their owners merged, without a call while they agree."""
    expression = _new_expression(Expression)
    expression._expr = pieces
    expression._soft = soft
    owners = first._owners
    if second._owners is not owners:
        owners = merged_owners(owners, second._owners)
    expression._owners = owners
    return expression


_new_expression = object.__new__


_Form = tp.Callable[["Expression"], str]


def _refuse(message: str) -> tp.NoReturn:
    log_e(message)
    raise TypeError(message)


def _for_clauses(indexes: dict[str, tp.Any]) -> str:
    return " ".join(f"for {name} in {range_text(values)}" for name, values in indexes.items())


def _range_builder_text(head: str, form: _Form, operand: tp.Any, indexes: dict[str, tp.Any]) -> str:
    if not isinstance(operand, Expression):
        _refuse("Type 'Expression' is expected for variable 'expression'")
    return f"{head}{form(operand)} {_for_clauses(indexes)}])"


def _require_expressions(expressions: tp.Iterable[tp.Any]) -> None:
    if not all(map(isinstance, expressions, repeat(Expression))):
        _refuse_elements()


def _refuse_elements() -> tp.NoReturn:
    _refuse("Variable 'expressions' must contain only objects of type 'Expression'")


def _owners_of(expressions: tp.Iterable[Expression]) -> Owners:
    return owners_of_all(map(attrgetter("_owners"), expressions))


def _sequence_builder_parts(head: str, form: _Form, builder: str, expressions: tp.Any,
                            log_sequence_error: bool) -> tuple[str, Owners]:
    """The builder's text and its owners."""
    if not isinstance(expressions, tp.Sequence):
        message = f"Use an iterable sequence as {builder} input argument"
        if log_sequence_error:
            log_e(message)
        raise TypeError(message)
    if len(expressions) == 0:
        log_w("The input sequence has zero length")
    # A list of cells only, the common case by the million, is joined
    # natively in one pass; a cell's owners are its kind's.
    suffix = _CELL_SUFFIXES.get(form)
    cells = None if suffix is None else joined_cell_texts(expressions, suffix, VariableProxy)
    if cells is not None:
        text, kinds = cells
        return f"{head}{text}])", owners_of_all(kind._owners for kind in kinds)
    if not all(issubclass(kind, Expression) for kind in set(map(type, expressions))):
        _refuse_elements()
    return f"{head}{', '.join(map(form, expressions))}])", _owners_of(expressions)


_TRUTH_TEST_MESSAGE = (
    "An expression has no truth value: write a chained comparison as two constraints, "
    "and combine expressions with the builders or with &, |, ^ and ~ instead of and, or, not and !="
)


class Expression:
    # Slots: a model makes expressions by the million.
    __slots__ = ("_expr", "_soft", "_owners")
    _expr: _Pieces  # the text, or its pieces until it is read
    _owners: Owners  # the owners of the models whose variables it holds

    def __init__(self, expr: str = '', soft: bool = True):
        """Expression text of the modelling language; nothing is computed until a model evaluates it.

        Operators write new expressions: ``+``, ``-`` and ``*`` (by an integer or an
        expression) give pseudo-Boolean sums; ``<=``, ``>=`` and ``==`` with an integer
        bound give comparisons; ``&``, ``|``, ``^`` and ``~`` give Boolean formulas.
        Truth tests (``and``, ``or``, ``not``, chained comparisons, ``!=``) raise
        ``TypeError``.

        Args:
            expr: The expression text.
            soft: Whether it is a pseudo-Boolean function, usable as a target or a soft
                constraint.
        """
        self._expr = expr
        self._soft = soft
        self._owners = None

    def __add__(self, other: Expression) -> Expression:
        self.__require_expression(other)
        return _of_two((_pb_pieces(self), " + ", _pb_pieces(other)), True, self, other)

    def __sub__(self, other: Expression) -> Expression:
        self.__require_expression(other)
        return _of_two((_pb_pieces(self), " - (", _pb_pieces(other), ")"), True, self, other)

    def __mul__(self, other: tp.Union[tp.SupportsIndex, Expression]) -> Expression:
        if isinstance(other, Integral):
            return _of_pieces((f"{other} * (", _pb_pieces(self), ")"), True, self._owners)
        if isinstance(other, Expression):
            return _of_two((self._expr, " * (", _pb_pieces(other), ")"), True, self, other)
        _refuse("Type 'Expression' or 'int' is expected for expression")

    def __rmul__(self, other: tp.SupportsIndex) -> Expression:
        return self.__mul__(other)

    def __le__(self, other: tp.SupportsIndex) -> Expression:
        return self.__compare("LEQ", other)

    def __ge__(self, other: tp.SupportsIndex) -> Expression:
        return self.__compare("GEQ", other)

    # A comparison writes a constraint, not a truth value.
    def __eq__(self, other: tp.SupportsIndex) -> Expression:  # type: ignore[override]
        return self.__compare("BOTH", other)

    def __and__(self, other: Expression) -> Expression:
        return self.__connect("bx.and_s", other)

    def __or__(self, other: Expression) -> Expression:
        return self.__connect("bx.or_s", other)

    def __xor__(self, other: Expression) -> Expression:
        return self.__connect("bx.xor_s", other)

    def __invert__(self) -> Expression:
        return _of_pieces(("~(", _bx_pieces(self), ")"), False, self._owners)

    def maxsat(self, minimization: bool) -> Expression:
        """The expression as weighted soft literals.

        Args:
            minimization: Weigh the literals that make the sum smaller (True) or
                larger (False).

        Returns:
            A new expression.
        """
        return _of_pieces(("FormulaPB(", _pb_pieces(self), f", None, None).to_maxsat(manager, {minimization})"), True,
                          self._owners)

    def __bool__(self) -> bool:
        # The host joins chained comparisons, `and`, `or`, `not` and `!=` by
        # truth values, which would silently drop part of a constraint.
        _refuse(_TRUTH_TEST_MESSAGE)

    @property
    def soft(self) -> bool:
        """Whether the expression is a pseudo-Boolean function (a target or soft constraint may be one)."""
        return self._soft

    def __str__(self) -> str:
        text = self._expr
        if type(text) is not str:
            text = self._expr = joined_pieces(text, "_expr")
        return text

    def __compare(self, comparator: str, other: tp.SupportsIndex) -> Expression:
        if not isinstance(other, Integral):
            _refuse("Type 'int' is expected for left side of expression")
        return _of_pieces(
            ("FormulaPB(", _pb_pieces(self), f", pb.Comparator_type.{comparator}, {other}).to_bx(manager)"), False,
            self._owners)

    def __connect(self, connective: str, other: Expression) -> Expression:
        self.__require_expression(other)
        return _of_two((f"{connective}([", _bx_pieces(self), ", ", _bx_pieces(other), "])"), False, self, other)

    @staticmethod
    def __require_expression(other: tp.Any) -> None:
        if not isinstance(other, Expression):
            _refuse("Type 'Expression' is expected for left side of expression")


class VariableProxy(Expression):
    """An occurrence of a model variable, such as ``x[i, j]`` written ``x(i,j)``.

    Args:
        name: The occurrence text.
    """

    # Every occurrence is a pseudo-Boolean function; its name is its text.
    # A model makes one proxy per cell it names, by the million: one
    # attribute each, set without the initializer by `Variable`.
    __slots__ = ()
    _soft = True
    _expr: str
    # A model's cells are of its own subclass, which names the model's owner.
    _owners: Owners = None

    def __init__(self, name: str):
        self._expr = name

    @property
    def name(self) -> str:
        """The occurrence text, such as ``x(i,j)``."""
        return self._expr

    def __repr__(self) -> str:
        return self._expr

    def __reduce__(self):
        # A copy or a pickle is a cell of the same kind, so of the same model.
        return _occurrence_of_kind, (self._owners, self._expr)


def occurrence_type_of(owner: ExpressionOwner) -> tp.Type[VariableProxy]:
    """The kind of a model's cells: a subclass of `VariableProxy` whose owner is the model's."""
    if owner.occurrence_type is None:
        owner.occurrence_type = type("VariableProxy", (VariableProxy,), {"__slots__": (), "_owners": owner})
    return owner.occurrence_type


def _occurrence_of_kind(owners: Owners, text: str) -> VariableProxy:
    kind = VariableProxy if owners is None else occurrence_type_of(tp.cast(ExpressionOwner, owners))
    return kind(text)


class Sum(Expression):
    """The pseudo-Boolean sum of an expression over every combination of index values.

    Args:
        expr: The expression summed, usually an occurrence such as ``x[i, j]``.
        **indexes: Each index's name with its values (a range, a list, or a text
            evaluated in the loops of the earlier indexes); the first is outermost.

    Raises:
        TypeError: ``expr`` is not an expression.
    """

    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=True)
        self._expr = _range_builder_text("Sum(*[", _expr2pb, expr, indexes)
        self._owners = expr._owners


class And(Expression):
    """The conjunction of an expression over every combination of index values.

    Args:
        expr: The expression joined.
        **indexes: Each index's name with its values; the first is outermost.

    Raises:
        TypeError: ``expr`` is not an expression.
    """

    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _range_builder_text("bx.and_s([", _expr2bx, expr, indexes)
        self._owners = expr._owners


class Or(Expression):
    """The disjunction of an expression over every combination of index values.

    Args:
        expr: The expression joined.
        **indexes: Each index's name with its values; the first is outermost.

    Raises:
        TypeError: ``expr`` is not an expression.
    """

    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _range_builder_text("bx.or_s([", _expr2bx, expr, indexes)
        self._owners = expr._owners


class Xor(Expression):
    """The exclusive or of an expression over every combination of index values.

    Args:
        expr: The expression joined.
        **indexes: Each index's name with its values; the first is outermost.

    Raises:
        TypeError: ``expr`` is not an expression.
    """

    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _range_builder_text("bx.xor_s([", _expr2bx, expr, indexes)
        self._owners = expr._owners


class Equiv(Expression):
    """The equivalence of the given expressions: all true or all false.

    Args:
        *expressions: The expressions, as separate arguments.

    Raises:
        TypeError: An argument is not an expression.
    """

    def __init__(self, *expressions: Expression) -> None:
        super().__init__(soft=False)
        _require_expressions(expressions)
        self._expr = f"bx.eq_s([{', '.join(_expr2bx(expr) for expr in expressions)}])"
        self._owners = _owners_of(expressions)


class Implication(Expression):
    """The implication from ``if_expr`` to ``then_expr``.

    Args:
        if_expr: The premise.
        then_expr: The conclusion.

    Raises:
        TypeError: An argument is not an expression.
    """

    def __init__(self, if_expr: Expression, then_expr: Expression) -> None:
        super().__init__(soft=False)
        if not (isinstance(if_expr, Expression) and isinstance(then_expr, Expression)):
            _refuse("Type 'Expression' is expected for variables 'if_expr' and 'then_expr'")
        self._expr = f"bx.impl_s({_expr2bx(if_expr)}, {_expr2bx(then_expr)})"
        self._owners = merged_owners(if_expr._owners, then_expr._owners)


class IfThenElse(Expression):
    """``then_expr`` where ``if_expr`` holds, ``else_expr`` otherwise.

    Args:
        if_expr: The condition.
        then_expr: The formula where the condition holds.
        else_expr: The formula where it does not.

    Raises:
        TypeError: An argument is not an expression.
    """

    def __init__(self, if_expr: Expression, then_expr: Expression, else_expr: Expression) -> None:
        super().__init__(soft=False)
        if not all(isinstance(expr, Expression) for expr in (if_expr, then_expr, else_expr)):
            _refuse("Type 'Expression' is expected for variables 'if_expr', 'then_expr' and 'else_expr'")
        self._expr = f"bx.ite_s({_expr2bx(if_expr)}, {_expr2bx(then_expr)}, {_expr2bx(else_expr)})"
        self._owners = _owners_of((if_expr, then_expr, else_expr))


class SumIt(Expression):
    """The pseudo-Boolean sum of the listed expressions.

    Args:
        expressions: A sequence (list, tuple) of expressions; an empty one is
            accepted with a warning.

    Raises:
        TypeError: ``expressions`` is not a sequence or holds a non-expression.
    """

    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=True)
        self._expr, self._owners = _sequence_builder_parts("Sum(*[", _expr2pb, "SumIt", expressions, log_sequence_error=True)


class AndIt(Expression):
    """The conjunction of the listed expressions.

    Args:
        expressions: A sequence of expressions.

    Raises:
        TypeError: ``expressions`` is not a sequence or holds a non-expression.
    """

    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        self._expr, self._owners = _sequence_builder_parts("bx.and_s([", _expr2bx, "AndIt", expressions, log_sequence_error=False)


class OrIt(Expression):
    """The disjunction of the listed expressions.

    Args:
        expressions: A sequence of expressions.

    Raises:
        TypeError: ``expressions`` is not a sequence or holds a non-expression.
    """

    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        self._expr, self._owners = _sequence_builder_parts("bx.or_s([", _expr2bx, "OrIt", expressions, log_sequence_error=False)


class XorIt(Expression):
    """The exclusive or of the listed expressions.

    Args:
        expressions: A sequence of expressions.

    Raises:
        TypeError: ``expressions`` is not a sequence or holds a non-expression.
    """

    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        self._expr, self._owners = _sequence_builder_parts("bx.xor_s([", _expr2bx, "XorIt", expressions, log_sequence_error=False)


# The text a cell's form adds after its name.
_CELL_SUFFIXES: dict[_Form, str] = {_expr2pb: ".to_pb()", _expr2bx: ".to_bx()"}

One = Expression("bx.one()")
Zero = Expression("bx.zero()")


def pow_expression(base: int, exp) -> Expression:
    """The power ``base ** exp``, a coefficient of a pseudo-Boolean term.

    ``Sum(pow_expression(2, i) * x[i], i=range(4))`` weighs the terms 1, 2, 4, 8.

    Args:
        base: The base, usually an integer.
        exp: The exponent: an integer or an index expression.

    Returns:
        A pseudo-Boolean expression.
    """
    # Both operands are grouped unless they are atoms, so `2 ** (i + 1)` keeps
    # the power the caller asked for under the host's precedence.
    return Expression(f"{grouped(f'{base}', Binding.ATOM)} ** {grouped(f'{exp}', Binding.ATOM)}", True)
