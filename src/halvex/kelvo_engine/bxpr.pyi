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
        
        Args:
            name: The variable's name, non-empty text.
        
        Returns:
            The Variable.
        
        Raises:
            TypeError: The name is not text.
            ValueError: The name is empty.
        """
    def fresh_variable_count(self, prefix: str) -> int:
        """
        How many new variables the context has named with the prefix (prefix_0, prefix_1, ...).
        
        After a tseytin conversion in a fresh context: the number of its new variables.
        
        Args:
            prefix: The prefix given to tseytin.
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
        
        Returns:
            A tuple of formulas.
        """
    def support(self) -> set:
        """
        The variables of the formula.
        
        Returns:
            A set of Variable.
        """
    def tseytin(self, context: typing.Any, prefix: typing.Any) -> typing.Any:
        """
        The polarity-aware definitional conversion into clause form.
        
        Projection-equivalent: a formula already in clause form gets no new variable.
        
        Args:
            context: The context of the new variables; a reused one continues after
                the names it holds.
            prefix: The new variables are prefix_0, prefix_1, ...
        
        Returns:
            An And of Or clauses (or a constant) over the formula's variables and the
            new ones.
        """
class Variable(BaseExpr):
    """
    A variable of a context.
    """
    @property
    def name(self) -> str:
        """
        The variable's name.
        """
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
        The name of the variable made for a number.
        
        Args:
            number: A variable number.
        
        Returns:
            The name, or None when no variable was made for it.
        """
    def names(self) -> list:
        """
        The names of the variables, in order.
        """
    def number(self, name: typing.Any) -> typing.Any:
        """
        The number whose variable has a name.
        
        Args:
            name: A variable name.
        
        Returns:
            The number, or None when no variable has that name.
        """
    def numbers(self) -> list:
        """
        The numbers, in order.
        """
    def variable(self, number: typing.Any) -> typing.Any:
        """
        The variable made for a number.
        
        Args:
            number: A variable number.
        
        Returns:
            The bx.Variable, or None when none was made for it.
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
        Add the new variables of a conversion.
        
        Args:
            new_variables: The bx.NewVariables a conversion returned.
        """
    def clear(self) -> None:
        """
        Forget every block added.
        """
    def name(self, number: typing.Any) -> typing.Any:
        """
        The name of the variable made for a number.
        
        Args:
            number: A variable number.
        
        Returns:
            The name, or None when no variable was made for it.
        """
    def number(self, name: typing.Any) -> typing.Any:
        """
        The number whose variable has a name.
        
        Args:
            name: A variable name.
        
        Returns:
            The number, or None when no variable has that name.
        """
    def variable(self, number: typing.Any) -> typing.Any:
        """
        The variable made for a number.
        
        Args:
            number: A variable number.
        
        Returns:
            The bx.Variable, or None when none was made for it.
        """
def and_(formulas: typing.Any) -> typing.Any:
    """
    Conjunction keeping its arguments exactly, in order and count.
    
    Args:
        formulas: A list of formulas of one context.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def and_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified conjunction of one list of formulas.
    
    Args:
        formulas: A list of formulas of one context.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def clauses_to_formula(context: typing.Any, database: typing.Any, known: typing.Any, prefix: typing.Any, first_index: typing.Any) -> tuple:
    """
    and_s of one or_s per clause of a pbct.VectorClauseDatabase, in one call.
    
    Args:
        context: The bx.Context of the formula.
        database: The clauses.
        known: A dict from variable numbers to their formulas.
        prefix: Every number `known` lacks becomes the variable prefix_n.
        first_index: The first n; n counts in the order the numbers first occur.
    
    Returns:
        (formula, new numbers, their names, their variables).
    
    Raises:
        TypeError: An argument has the wrong type.
        ValueError: A formula belongs to another context.
    """
def clauses_to_formula_and_variables(context: typing.Any, database: typing.Any, known: typing.Any, known_new_variables: NewVariableRegistry, prefix: typing.Any, first_index: typing.Any) -> tuple[typing.Any, NewVariables]:
    """
    As clauses_to_formula, where the new variables of earlier conversions are known too.
    
    Args:
        context: The bx.Context of the formula.
        database: The clauses.
        known: A dict from variable numbers to their formulas.
        known_new_variables: The bx.NewVariableRegistry of earlier conversions.
        prefix: Every number still unknown becomes the variable prefix_n.
        first_index: The first n; n counts in the order the numbers first occur.
    
    Returns:
        (formula, bx.NewVariables).
    
    Raises:
        TypeError: An argument has the wrong type.
        ValueError: A formula belongs to another context.
    """
def eq_s(formulas: typing.Any) -> typing.Any:
    """
    True when all formulas of the list are equal, simplified.
    
    Args:
        formulas: A list of formulas of one context.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def from_clauses(literals: typing.Any, offsets: typing.Any, variables: typing.Any) -> typing.Any:
    """
    and_s of one or_s per clause of a flat clause buffer, in one call.
    
    Args:
        literals: All literals, an integer array.
        offsets: Clause boundaries: clause c is literals[offsets[c]:offsets[c + 1]].
        variables: The formulas of the numbers: literal n > 0 is variables[n - 1],
            -n its negation.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument has the wrong type.
        ValueError: Offsets are malformed or a literal has no variable.
    """
def impl_s(a: typing.Any, b: typing.Any) -> typing.Any:
    """
    Simplified implication a -> b.
    
    Args:
        a: The premise.
        b: The conclusion.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def ite_s(a: typing.Any, b: typing.Any, c: typing.Any) -> typing.Any:
    """
    Simplified if a then b else c.
    
    Args:
        a: The condition.
        b: The formula where a holds.
        c: The formula where a does not hold.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def one() -> typing.Any:
    """
    The constant true; it joins the context of whatever it is combined with.
    """
def or_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified disjunction of one list of formulas.
    
    Args:
        formulas: A list of formulas of one context.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def xor_s(formulas: typing.Any) -> typing.Any:
    """
    Simplified exclusive disjunction of one list of formulas.
    
    Args:
        formulas: A list of formulas of one context.
    
    Returns:
        The formula.
    
    Raises:
        TypeError: An argument is not a formula.
        ValueError: The formulas belong to two contexts.
    """
def zero() -> typing.Any:
    """
    The constant false; it joins the context of whatever it is combined with.
    """
