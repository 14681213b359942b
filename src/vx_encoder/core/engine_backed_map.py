import typing as tp
from collections.abc import Mapping

_MISSING = object()


class EngineBackedMap(Mapping):
    """A map of the variable registry: entries added one at a time, and blocks
    of entries that the engine's bulk clause conversion made (`bx.NewVariables`).
    A block's keys and values become Python objects only when read, since one
    large comparison makes a hundred thousand of them; an engine registry of
    the blocks (`bx.NewVariableRegistry`) finds a value among all of them at
    once. Entries iterate in the order in which they were added, blocks
    included."""

    __slots__ = ("_entries", "_blocks", "_keys_of_block", "_value_in_blocks", "_registry")

    def __init__(self, keys_of_block: tp.Callable[[tp.Any], tp.Iterable],
                 value_in_blocks: tp.Callable[[tp.Any, tp.Any], tp.Any], registry: tp.Any) -> None:
        self._entries: dict = {}
        self._blocks: tp.List[tp.Tuple[int, tp.Any]] = []  # (entries added before it, block)
        self._keys_of_block = keys_of_block
        self._value_in_blocks = value_in_blocks  # (registry, key): None for a key no block has
        self._registry = registry  # None for an engine without blocks

    def __setitem__(self, key: tp.Hashable, value: tp.Any) -> None:
        self._entries[key] = value

    def add_block(self, block: tp.Any) -> None:
        # Maps that share the registry each add the block; it keeps it once.
        self._registry.add(block)
        self._blocks.append((len(self._entries), block))

    def single_entries(self) -> dict:
        return self._entries

    def block_registry(self) -> tp.Any:
        """The engine registry of the blocks (None for an engine without them)."""
        return self._registry

    def clear(self) -> None:
        """Empties the map and its registry, which other maps may share."""
        self._entries.clear()
        self._blocks.clear()
        if self._registry is not None:
            self._registry.clear()

    def get(self, key: tp.Hashable, default: tp.Any = None) -> tp.Any:
        value = self._entries.get(key, _MISSING)
        if value is not _MISSING:
            return value
        if self._blocks:
            value = self._value_in_blocks(self._registry, key)
            if value is not None:
                return value
        return default

    def __getitem__(self, key: tp.Hashable) -> tp.Any:
        value = self.get(key, _MISSING)
        if value is _MISSING:
            raise KeyError(key)
        return value

    def __contains__(self, key: object) -> bool:
        return self.get(key, _MISSING) is not _MISSING

    def __bool__(self) -> bool:
        # An empty block is an entry to clear all the same.
        return bool(self._entries) or bool(self._blocks)

    def __len__(self) -> int:
        return len(self._entries) + sum(len(block) for _, block in self._blocks)

    def __iter__(self) -> tp.Iterator[tp.Any]:
        entries = iter(self._entries)
        added = 0
        for before, block in self._blocks:
            while added < before:
                yield next(entries)
                added += 1
            yield from self._keys_of_block(block)
        yield from entries

    def __repr__(self) -> str:
        return repr(dict(self.items()))
