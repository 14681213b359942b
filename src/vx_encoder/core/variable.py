import functools
import typing as tp

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx

from vx_encoder.core.pboperations import PBVariable


class Index:
    """A named range of index values.

    Args:
        name: The index name.
        range_start: The first value.
        range_end: The end of the range (not included).
        range_step: The step.
    """

    def __init__(self, name, range_start, range_end, range_step=1):
        self.name = name
        self.range_start = range_start
        self.range_end = range_end
        self.range_step = range_step


class GeneratorVariable:
    """A model variable during evaluation: calling it with index values gives the cell's variable.

    Args:
        name: The variable's name.
        manager: The ``Manager`` that numbers the cells.
    """

    def __init__(self, name: str, manager) -> None:
        self.name = name
        self.manager = manager

    def __call__(self, *items):
        for value in items:
            if isinstance(value, float):
                # Its text (nan, inf) would name no cell the instances can read back.
                raise TypeError(f"index value {value!r} of variable {self.name} must be an int, not "
                                f"{type(value).__name__}")
        # One cell, one name, however its index values are written (x(i - i), x(0)).
        name = f"{self.name}({','.join(map(_cell_index_text, items))})"
        bx_var, pb_var = self.manager.add_variable(name)
        return Variable(bx_var, pb_var, name)


def _cell_index_text(value: tp.Any) -> str:
    """An index value as a cell's name holds it: the text by which the
    engine's reader keys its affine form, or as written when it is none."""
    if type(value) is int:
        return str(value)
    return _canonical_text(str(value))


# A model spells its cells with few index texts, met again in every constraint alike.
@functools.lru_cache(maxsize=1 << 14)
def _canonical_text(text: str) -> str:
    canonical = ke.canonical_index_text(text)
    return text if canonical is None else canonical


class Variable:
    """One cell of a model variable during evaluation: its Boolean variable and its number.

    Args:
        bx_var: The Boolean variable.
        pb_var: The variable number.
        name: The cell's name, such as ``x(1,2)``.
    """

    def __init__(self, bx_var: bx.Variable, pb_var: int, name: str) -> None:
        self.bx_var = bx_var
        self.pb_var = pb_var
        self.name = name

    def to_bx(self):
        """The cell's Boolean variable."""
        return self.bx_var

    def to_pb(self):
        """The cell as a weighted-sum term of coefficient 1."""
        return PBVariable(self.pb_var, self.name)
