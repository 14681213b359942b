from __future__ import annotations

import copy
import typing as tp

from vx_encoder._vx_native import cell_occurrence, untracked_instance, variable_map
from vx_encoder.core.refusal import refuse
from vx_encoder.core.vx_logger import *
from vx_encoder.encode.expressions import VariableProxy
from vx_encoder.encode.operand_grouping import Binding, grouped

# An index operand: an integer or another index (`i - (j + 1)`).
_Operand = tp.Union[tp.SupportsIndex, "Index"]


def _is_operand(value: tp.Any) -> bool:
    """An integer, an index or an index text; anything else (a term, a float)
    leaves the operation to the other operand or to the host's refusal."""
    return type(value) is int or isinstance(value, (Index, str)) or hasattr(type(value), "__index__")


class Index:
    """An index of a pseudo-Boolean model, written into occurrences such as ``x[i + 1, 2 * j]``.

    Adding, subtracting or multiplying by an integer gives a new index whose text
    keeps every term as written.

    Args:
        name: The index name.
        expression: The index text; the name when not given.
    """
    # Each operator writes its operands' current texts, grouped where the
    # host's precedence would otherwise regroup them, so that an index text
    # means the arithmetic the user wrote both when it is evaluated over
    # integers and when it is evaluated over the model's indexes (which gives
    # the same text again). Every integer operation the engine reads in an
    # index text is defined, on either side, so that the host reads the same
    # texts (`k + i` with k an integer of a builder's range, `2 - i`, `-i`).

    def __init__(self, name: str, expression: tp.Optional[str] = None):
        self.name = name
        self.expression = name if expression is None else expression

    def __add__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        # Addition is associative with + and -, so a sum on the right needs no group.
        return self.__binary(self.expression, "+", f"{shift}", Binding.SUM, Binding.SUM)

    def __radd__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        return self.__binary(f"{shift}", "+", self.expression, Binding.SUM, Binding.SUM)

    def __sub__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        return self.__binary(self.expression, "-", f"{shift}", Binding.SUM, Binding.PRODUCT)

    def __rsub__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        return self.__binary(f"{shift}", "-", self.expression, Binding.SUM, Binding.PRODUCT)

    def __mul__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        return self.__binary(self.expression, "*", f"{shift}", Binding.PRODUCT, Binding.UNARY)

    def __rmul__(self, shift: _Operand) -> Index:
        if not _is_operand(shift):
            return NotImplemented
        return self.__binary(f"{shift}", "*", self.expression, Binding.PRODUCT, Binding.UNARY)

    def __pow__(self, exponent: _Operand) -> Index:
        if not _is_operand(exponent):
            return NotImplemented
        return self.__binary(self.expression, "**", f"{exponent}", Binding.ATOM, Binding.ATOM)

    def __rpow__(self, base: _Operand) -> Index:
        if not _is_operand(base):
            return NotImplemented
        return self.__binary(f"{base}", "**", self.expression, Binding.ATOM, Binding.ATOM)

    def __and__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(self.expression, "&", f"{other}", Binding.SUM, Binding.SUM)

    def __rand__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(f"{other}", "&", self.expression, Binding.SUM, Binding.SUM)

    def __or__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(self.expression, "|", f"{other}", Binding.SUM, Binding.SUM)

    def __ror__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(f"{other}", "|", self.expression, Binding.SUM, Binding.SUM)

    def __xor__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(self.expression, "^", f"{other}", Binding.SUM, Binding.SUM)

    def __rxor__(self, other: _Operand) -> Index:
        if not _is_operand(other):
            return NotImplemented
        return self.__binary(f"{other}", "^", self.expression, Binding.SUM, Binding.SUM)

    def __neg__(self) -> Index:
        # A unary operand is grouped unless it is an atom or a power, so that
        # `-(-i)` never reads as a decrement.
        return Index(self.name, f"-{grouped(self.expression, Binding.POWER)}")

    def __pos__(self) -> Index:
        return Index(self.name, f"+{grouped(self.expression, Binding.POWER)}")

    def __invert__(self) -> Index:
        return Index(self.name, f"~{grouped(self.expression, Binding.POWER)}")

    def __str__(self) -> str:
        # Variable's __getitem__ reads an Index's expression for its text natively.
        return self.expression

    def __index__(self) -> int:
        # Asked for one integer (a coefficient, a bound, a range of values):
        # a clause template is written once for all the index's values.
        refuse(TypeError, f"The index {self.name} is used as a number in {self.expression}: a constraint's clauses "
                          f"are written once for every value of its indexes, so a coefficient, a bound or a range "
                          f"of values cannot depend on an index; write one constraint per value, or build the "
                          f"model with use_formula_encoder=True")

    def __binary(self, left: str, operator: str, right: str, left_binding: Binding, right_binding: Binding) -> Index:
        return Index(self.name, f"{grouped(left, left_binding)} {operator} {grouped(right, right_binding)}")


class Variable:
    """A Boolean variable of a pseudo-Boolean model over named dimensions.

    ``x[i, j]`` writes an occurrence for expressions; ``x(a, b)`` gives the variable
    number of one cell (row-major, from the variable's first number).

    Args:
        name: The variable's name.
        indexes: Each dimension's name with its size.
        st_shift: The variable number of the first cell.
    """

    # The kind of the occurrences: a model gives its variables its own
    # subclass, which names the model as their owner.
    _occurrence_type: tp.Type[VariableProxy] = VariableProxy
    # The indexes whose text __getitem__ reads natively, exactly of this class:
    # their str() is their expression.
    _index_type: tp.Type[Index] = Index

    def __init__(self, name: str, indexes: tp.Dict[str, int], st_shift: int):
        self.name = name
        self.indexes = indexes
        self.st_shift = st_shift
        self.shifts = _row_major_strides(list(indexes.values()))

    if tp.TYPE_CHECKING:
        def __getitem__(self, items: tp.Any) -> VariableProxy: ...
    else:
        # A model names its cells by the million, most often by integers and
        # indexes: those are made natively, anything else by _occurrence_of.
        __getitem__ = cell_occurrence

    def _occurrence_of(self, items: tp.Any) -> VariableProxy:
        """The occurrence of a key that __getitem__ leaves to the host, such as ``x[True]``, ``x[2**64, i]``
        or ``x["ij"]`` (the values ``i`` and ``j``)."""
        if type(items) is tuple or isinstance(items, tp.Sequence):
            values = ','.join(map(str, items))
        else:
            values = f"{items}"
        # Untracked, as the native ones: its one field is a text.
        occurrence = untracked_instance(self._occurrence_type)
        occurrence._expr = f"{self.name}({values})"
        return occurrence

    def __call__(self, *items: int) -> int:
        if len(items) != len(self.shifts):
            raise TypeError(f"variable {self.name} has {len(self.shifts)} dimension(s), "
                            f"but {len(items)} index value(s) are given")
        for value in items:
            if not isinstance(value, int):
                raise TypeError(f"index value {value!r} of variable {self.name} must be an int, "
                                f"not {type(value).__name__}")
        number = self.st_shift
        for value, size, stride in zip(items, self.indexes.values(), self.shifts):
            if not 0 <= value < size:
                self.__refuse_out_of_range(items)
            number += value * stride
        return number

    @property
    def map(self) -> tp.Dict[str, int]:
        """The variable's cells by name (``x[a,b]``) with their variable numbers, in row-major order."""
        return variable_map(str(self.name), list(self.indexes.values()), self.st_shift)

    def copy(self) -> Variable:
        """A copy of the variable with its own dimensions.

        Returns:
            A new variable of the same name, sizes and first number.
        """
        copied = Variable(self.name, copy.deepcopy(self.indexes), self.st_shift)
        copied._occurrence_type = self._occurrence_type
        return copied

    def __refuse_out_of_range(self, items: tp.Tuple[int, ...]) -> tp.NoReturn:
        # A value past its dimension would silently name another cell, another
        # variable or an auxiliary variable.
        message = (f"Index values ({','.join(map(str, items))}) are out of range for variable "
                   f"{self.name} with sizes ({','.join(map(str, self.indexes.values()))})")
        log_e(message)
        raise IndexError(message)


def _row_major_strides(sizes: tp.List[int]) -> tp.List[int]:
    strides = []
    stride = 1
    for size in reversed(sizes):
        strides.append(stride)
        stride *= size
    strides.reverse()
    return strides
