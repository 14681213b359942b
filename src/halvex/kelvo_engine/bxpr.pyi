"""
Boolean formulas with structural sharing, simplifying builders and Tseytin conversion
"""
from __future__ import annotations
import typing
__all__: list[str] = ['And', 'BaseExpr', 'Context', 'Ite', 'NewVariableRegistry', 'NewVariables', 'Not', 'One', 'Or', 'Variable', 'Xor', 'Zero', 'and_', 'and_s', 'clauses_to_formula', 'clauses_to_formula_and_variables', 'eq_s', 'from_clauses', 'impl_s', 'ite_s', 'one', 'or_s', 'xor_s', 'zero']
class Context:
    """
    Owns formulas and their variables.
    """
    def __init__(self) -> None:
        ...
    def get_var(self, name: typing.Any) -> typing.Any:
        """
        The variable of that name in this context, the same object for the same name.
        """
class BaseExpr:
    """
    A formula: immutable, shared by structure within its context.
    """
    def __eq__(self, arg0: typing.Any) -> bool:
        ...
    def __hash__(self) -> int:
        ...
    def __invert__(self) -> typing.Any:
        ...
    def __repr__(self) -> str:
        ...
    def __str__(self) -> str:
        ...
    def get_args(self) -> list:
        """
        The operands, in order (none for a variable or a constant).
        """
    def support(self) -> set:
        """
        The set of variables of the formula.
        """
    def tseytin(self, context: typing.Any, prefix: typing.Any) -> typing.Any:
        """
        An equisatisfiable formula in clause form whose new variables are prefix_0, prefix_1, ...
        """
class Variable(BaseExpr):
    """
    A variable of a context.
    """
    @property
    def name(self) -> str:
        ...
class Not(BaseExpr):
    """
    The negation of a formula; ~x of a variable x is a negated literal.
    """
class And(BaseExpr):
    """
    A conjunction.
    """
class Or(BaseExpr):
    """
    A disjunction.
    """
class Xor(BaseExpr):
    """
    An exclusive disjunction (odd parity).
    """
class Ite(BaseExpr):
    """
    If-then-else: get_args() gives condition, then, else.
    """
class One(BaseExpr):
    """
    The constant true.
    """
class Zero(BaseExpr):
    """
    The constant false.
    """
class NewVariables:
    """
    The variables one clause conversion made for the numbers it did not know, in order of first occurrence; their Python objects are made when asked for.
    """
    def __len__(self) -> int:
        ...
    def name(self, number: typing.Any) -> typing.Any:
        """
        The name of the variable made for the number, or None.
        """
    def names(self) -> list:
        """
        The names of the variables, in order.
        """
    def number(self, name: typing.Any) -> typing.Any:
        """
        The number whose variable has that name, or None.
        """
    def numbers(self) -> list:
        """
        The numbers, in order.
        """
    def variable(self, number: typing.Any) -> typing.Any:
        """
        The variable made for the number, or None.
        """
    def variables(self) -> list:
        """
        The variables, in order.
        """
class NewVariableRegistry:
    """
    The bx.NewVariables of every conversion of a model, found by number or by name at a cost that does not grow with the number of conversions; where two blocks share a number or a name, the one added first is found.
    """
    def __init__(self) -> None:
        ...
    def __len__(self) -> int:
        """
        The number of blocks added.
        """
    def add(self, new_variables: typing.Any) -> None:
        """
        Adds the bx.NewVariables of a conversion.
        """
    def clear(self) -> None:
        ...
    def name(self, number: typing.Any) -> typing.Any:
        """
        The name of the variable made for the number, or None.
        """
    def number(self, name: typing.Any) -> typing.Any:
        """
        The number whose variable has that name, or None.
        """
    def variable(self, number: typing.Any) -> typing.Any:
        """
        The variable made for the number, or None.
        """
def and_(formulas: typing.Any) -> typing.Any:
    """
    Conjunction keeping its arguments exactly, in order and count.
    """
def and_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified conjunction of one list of formulas.
    """
def clauses_to_formula(context: typing.Any, database: typing.Any, known: typing.Any, prefix: typing.Any, first_index: typing.Any) -> tuple:
    """
    and_s of one or_s per clause of a pbct.VectorClauseDatabase, in one call. A variable number that `known` maps gives that formula; every other number becomes the context's variable prefix_n, n counting from first_index in the order in which the numbers first occur. Returns (formula, new numbers, their names, their variables), the last three in that order.
    """
def clauses_to_formula_and_variables(context: typing.Any, database: typing.Any, known: typing.Any, known_new_variables: NewVariableRegistry, prefix: typing.Any, first_index: typing.Any) -> tuple[typing.Any, NewVariables]:
    """
    As clauses_to_formula, where the numbers of the new variables of earlier conversions, kept in a bx.NewVariableRegistry, are known too; returns (formula, bx.NewVariables).
    """
def eq_s(formulas: typing.Any) -> typing.Any:
    """
    True when all formulas of the list are equal, simplified.
    """
def from_clauses(literals: typing.Any, offsets: typing.Any, variables: typing.Any) -> typing.Any:
    """
    and_s of one or_s per clause in one call: clause c holds literals[offsets[c]:offsets[c + 1]], literal n > 0 is variables[n - 1] and -n its negation.
    """
def impl_s(a: typing.Any, b: typing.Any) -> typing.Any:
    """
    Simplified implication a -> b.
    """
def ite_s(a: typing.Any, b: typing.Any, c: typing.Any) -> typing.Any:
    """
    Simplified if a then b else c.
    """
def one() -> typing.Any:
    ...
def or_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified disjunction of one list of formulas.
    """
def xor_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified exclusive disjunction of one list of formulas.
    """
def zero() -> typing.Any:
    ...
