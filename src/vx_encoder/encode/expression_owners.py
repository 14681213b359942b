"""Which models' variables an expression holds.

Expression text names a variable only by its name, and two models may both
have a variable of that name: a model reading another model's occurrence
would take it for its own cell. So every expression carries its owners: the
owner of each model whose variables it holds. A model's occurrences are of
the model's own subclass of `VariableProxy`, whose class attribute is the
owner, so making a cell costs nothing more; operators and builders merge
their operands' owners, which is one comparison while they agree.
"""

from __future__ import annotations

import re
import typing as tp


class ExpressionOwner:
    """The owner of one model's variables.

    Args:
        model_name: The model's name, for messages.
        variable_names: The model's variable names, read when a message is written.
    """

    __slots__ = ("model_name", "variable_names")

    def __init__(self, model_name: str, variable_names: tp.Collection[str]) -> None:
        self.model_name = model_name
        self.variable_names = variable_names

    def names_in(self, text: str) -> list[str]:
        """This model's variable names that occur in an expression text, sorted."""
        return sorted(name for name in self.variable_names if re.search(rf"(?<![\w.]){re.escape(name)}\(", text))


# None: no model's variables; one ExpressionOwner; or a frozenset of them.
Owners = tp.Union[None, ExpressionOwner, tp.FrozenSet[ExpressionOwner]]


def merged_owners(first: Owners, second: Owners) -> Owners:
    """The owners of an expression made of two others."""
    if second is first or second is None:
        return first
    if first is None:
        return second
    return frozenset(owner_set(first) | owner_set(second))


def owners_of_all(all_owners: tp.Iterable[Owners]) -> Owners:
    """The owners of an expression made of several others, given their owners."""
    found = set()
    for owners in set(all_owners):
        found |= owner_set(owners)
    if not found:
        return None
    return next(iter(found)) if len(found) == 1 else frozenset(found)


def owner_set(owners: Owners) -> tp.AbstractSet[ExpressionOwner]:
    """The owners as a set."""
    if owners is None:
        return frozenset()
    if type(owners) is frozenset:
        return owners
    return {tp.cast(ExpressionOwner, owners)}
