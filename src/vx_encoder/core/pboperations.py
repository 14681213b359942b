import operator
from abc import ABC, abstractmethod

import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.engine_assumptions import debug_shown
from vx_encoder.core.vx_logger import *

# A sum written with + in a loop is a chain of AddOps as deep as the sum is
# long, so every walk over a term tree below keeps its own stack instead of
# recursing: the host's stack would overflow long before memory runs out.


class PBBaseOp(ABC):
    def __add__(self, other):
        return AddOp(self, other)

    def __sub__(self, other):
        return AddOp(self, -other)

    @abstractmethod
    def __neg__(self):
        pass

    @abstractmethod
    def __rmul__(self, other):
        pass

    @abstractmethod
    def to_pb(self):
        """The sum's weighted literals.

        Returns:
            A list of ``pbct.WeightedLit``, in order.
        """
        pass

    @abstractmethod
    def to_maxsat(self):
        """The sum's terms for soft constraints.

        Returns:
            A list of (variable number, coefficient) pairs, in order.
        """
        pass


class PBVariable(PBBaseOp):
    def __init__(self, pb_var, name, coefficient=1):
        """One weighted variable of a sum.

        Args:
            pb_var: The variable number.
            name: The variable's name.
            coefficient: Its integer coefficient.
        """
        self.pb_var = pb_var
        self.name = name
        self.coefficient = coefficient

    def __neg__(self):
        return PBVariable(self.pb_var, self.name, -self.coefficient)

    def __rmul__(self, other):
        other = _integer_factor(other)
        try:
            coefficient = other * self.coefficient
        except TypeError:
            # A product of two cells (x[0] * x[1]) is no pseudo-Boolean term.
            _refuse_product(other, self.name)
        return PBVariable(self.pb_var, self.name, coefficient)

    def __repr__(self):
        return f"Var(coeff: {self.coefficient}; pb num: {self.pb_var}; bx var: {self.name})"

    def to_pb(self):
        return [_weighted_literal(self)]

    def to_maxsat(self):
        return [_number_and_coefficient(self)]


def _integer_factor(factor):
    """A factor that stands for an integer as the integer: a model's index,
    which stands for all its values at once, refuses it (a coefficient that
    depends on an index has no one value in a clause template)."""
    if type(factor) is int or not hasattr(type(factor), "__index__"):
        return factor
    return operator.index(factor)


def _refuse_product(factor, name) -> None:
    factor_text = getattr(factor, "name", None) or repr(factor)
    message = f"A term is multiplied by an integer only: {factor_text} * {name} is not a pseudo-Boolean term"
    log_e(message)
    raise TypeError(message)


def _refuse_member(member) -> None:
    kind = "a Boolean formula" if type(member).__module__.endswith("bxpr") else f"{member!r} ({type(member).__name__})"
    message = f"A pseudo-Boolean sum must hold terms only, not {kind}"
    log_e(message)
    raise TypeError(message)


def _weighted_literal(leaf):
    return pb.WeightedLit(leaf.pb_var, leaf.coefficient)


def _number_and_coefficient(leaf):
    return (leaf.pb_var, leaf.coefficient)


class _SumListed:
    """Stack mark: every member of a term Sum has been listed from `start` on."""

    __slots__ = ("start",)

    def __init__(self, start):
        self.start = start


def _list_leaves(root, entry_of_leaf, listing, log_sums):
    """The entries of the leaves of a term tree, depth first and left to right;
    without `entry_of_leaf`, the leaves themselves.

    Operands that are not terms are asked for their own listing (the method
    named `listing`), so they fail there as they would in a recursive walk;
    without `listing`, they raise NotATerm. With `log_sums`, every term Sum
    writes its own list once its members are listed, inner sums before outer
    ones."""
    entries = []
    stack = [root]
    while stack:
        node = stack.pop()
        if isinstance(node, PBVariable):
            entries.append(entry_of_leaf(node) if entry_of_leaf else node)
        elif isinstance(node, AddOp):
            stack.append(node.second_variable)
            stack.append(node.first_variable)
        elif isinstance(node, Sum):
            if log_sums:
                stack.append(_SumListed(len(entries)))
            stack.extend(reversed(node.variables))
        elif type(node) is _SumListed:
            log_d(f"Sum to_pb result {entries[node.start:]}")
        elif listing is None:
            raise NotATerm(f"{type(node).__name__} is not a term")
        else:
            list_of = getattr(node, listing, None)
            if list_of is None:
                _refuse_member(node)
            entries.extend(list_of())
    return entries


def _negated(value):
    return -value


def _scaled_by(multiplier):
    def scale(value):
        return multiplier * value

    return scale


def _rebuild(root, operation):
    """A new term tree of the shape of `root` with `operation` applied to each
    leaf (on its coefficient) and to each operand that is not a term, first
    operands before second ones and members in order."""
    built = []
    composites = []  # composite terms whose operands are being rebuilt
    stack = [root]
    while stack:
        node = stack.pop()
        if node is _OPERANDS_BUILT:
            composite = composites.pop()
            if isinstance(composite, AddOp):
                second = built.pop()
                built[-1] = AddOp(built[-1], second)
            else:
                first = len(built) - len(composite.variables)
                members = built[first:]
                del built[first:]
                built.append(Sum(*members))
        elif isinstance(node, PBVariable):
            built.append(PBVariable(node.pb_var, node.name, operation(node.coefficient)))
        elif isinstance(node, AddOp):
            composites.append(node)
            stack.append(_OPERANDS_BUILT)
            stack.append(node.second_variable)
            stack.append(node.first_variable)
        elif isinstance(node, Sum):
            composites.append(node)
            stack.append(_OPERANDS_BUILT)
            stack.extend(reversed(node.variables))
        else:
            built.append(operation(node))
    return built[0]


_OPERANDS_BUILT = object()


class _Text(str):
    """Stack mark: a piece of text to write as it is."""


def _text_of(root):
    """The text of a term tree; operands that are not terms give their host text."""
    pieces = []
    stack = [root]
    while stack:
        node = stack.pop()
        if type(node) is _Text:
            pieces.append(node)
        elif isinstance(node, AddOp):
            pieces.append("AddOp(")
            stack.extend((_CLOSE, node.second_variable, _SEPARATOR, node.first_variable))
        elif isinstance(node, Sum):
            pieces.append("Sum(")
            stack.append(_CLOSE)
            members = node.variables
            for position in range(len(members) - 1, -1, -1):
                stack.append(members[position])
                if position:
                    stack.append(_SEPARATOR)
        else:
            pieces.append(str(node))
    return "".join(pieces)


_CLOSE = _Text(")")
_SEPARATOR = _Text(", ")


# AddOp and Sum share every operation: each walks the whole tree below it.


def _negation_of(term):
    return _rebuild(term, _negated)


def _product_of(term, other):
    return _rebuild(term, _scaled_by(_integer_factor(other)))


def _weighted_literals_of(term):
    """The sum's weighted literals.

    Returns:
        A list of ``pbct.WeightedLit``, in order.
    """
    return _list_leaves(term, _weighted_literal, "to_pb", log_sums=debug_shown())


def _soft_pairs_of(term):
    """The sum's terms for soft constraints.

    Returns:
        A list of (variable number, coefficient) pairs, in order.
    """
    return _list_leaves(term, _number_and_coefficient, "to_maxsat", log_sums=False)


class NotATerm(TypeError):
    """An operand that is not a term, met by `term_leaves`."""


def term_leaves(term: object) -> list:
    """The `PBVariable` leaves of a term tree, in the order in which `to_pb`
    lists them, without making anything per leaf and without debug lines.
    Raises `NotATerm` at an operand that is not a term, which only `to_pb`
    can list (or refuse) as the host does."""
    return _list_leaves(term, None, None, log_sums=False)


class AddOp(PBBaseOp):
    def __init__(self, first_variable, second_variable):
        """The sum of two terms.

        Args:
            first_variable: The first term.
            second_variable: The second term.
        """
        self.first_variable = first_variable
        self.second_variable = second_variable

    __neg__ = _negation_of
    __rmul__ = _product_of
    __repr__ = _text_of
    to_pb = _weighted_literals_of
    to_maxsat = _soft_pairs_of


class Sum(PBBaseOp):
    def __init__(self, *variables):
        """The sum of any number of terms.

        Args:
            *variables: The terms.
        """
        self.variables = variables

    __neg__ = _negation_of
    __rmul__ = _product_of
    __repr__ = _text_of
    to_pb = _weighted_literals_of
    to_maxsat = _soft_pairs_of
