"""Which models' variables an expression holds.

Expression text names a variable only by its name, and two models may both
have a variable of that name: a model reading another model's occurrence
would take it for its own cell. So every expression carries its owners: the
owner of each model whose variables it holds. A model's occurrences are of
the model's own subclass of `VariableProxy`, whose class attribute is the
owner, so making a cell costs nothing more; operators and builders merge
their operands' owners, which is one comparison while they agree.

An owner is its model's for the life of the process: a copy of an expression
keeps the very owner, and a pickle names it by a key that finds it again in
this process. A pickle read where its model does not live gives a stand-in
owner, which is no model's here.
"""

from __future__ import annotations

import itertools
import re
import typing as tp
import uuid
import weakref


class ExpressionOwner:
    """The owner of one model's variables.

    Args:
        model_name: The model's name, for messages.
        variable_names: The model's variable names, read when a message is written.
    """

    __slots__ = ("model_name", "variable_names", "occurrence_type", "_key", "__weakref__")

    def __init__(self, model_name: str, variable_names: tp.Collection[str]) -> None:
        self.model_name = model_name
        self.variable_names = variable_names
        # The kind of the model's cells, made once by expressions.occurrence_type_of.
        self.occurrence_type: tp.Optional[type] = None
        self._key = f"{_PROCESS}:{next(_KEYS)}"
        _LIVE_OWNERS[self._key] = self

    def __copy__(self) -> ExpressionOwner:
        return self

    def __deepcopy__(self, memo: dict) -> ExpressionOwner:
        return self

    def __reduce__(self):
        return _owner_of, (self._key, self.model_name, sorted(self.variable_names))

    def names_in(self, text: str) -> list[str]:
        """This model's variable names that occur in an expression text, sorted."""
        return sorted(name for name in self.variable_names if re.search(rf"(?<![\w.]){re.escape(name)}\(", text))


_PROCESS = uuid.uuid4().hex
_KEYS = itertools.count()
_LIVE_OWNERS: weakref.WeakValueDictionary[str, ExpressionOwner] = weakref.WeakValueDictionary()


def _owner_of(key: str, model_name: str, variable_names: tp.List[str]) -> ExpressionOwner:
    """The owner a pickle names: the live one of this process, or a stand-in."""
    owner = _LIVE_OWNERS.get(key)
    return owner if owner is not None else ExpressionOwner(model_name, frozenset(variable_names))


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
