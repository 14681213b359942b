from __future__ import annotations

import copy
import typing as tp

from vx_encoder._vx_native import variable_map
from vx_encoder.core.vx_logger import *
from vx_encoder.encode.expressions import VariableProxy
from vx_encoder.encode.operand_grouping import Binding, grouped


class Index:
    # Each operator writes its operands' current texts, grouped where the
    # host's precedence would otherwise regroup them, so that an index text
    # means the arithmetic the user wrote both when it is evaluated over
    # integers and when it is evaluated over the model's indexes (which gives
    # the same text again).

    def __init__(self, name: str, expression: tp.Optional[str] = None):
        self.name = name
        self.expression = name if expression is None else expression

    def __add__(self, shift: int) -> Index:
        # Addition is associative with + and -, so a sum on the right needs no group.
        return Index(self.name, f"{grouped(self.expression, Binding.SUM)} + {grouped(f'{shift}', Binding.SUM)}")

    def __sub__(self, shift: int) -> Index:
        return Index(self.name, f"{grouped(self.expression, Binding.SUM)} - {grouped(f'{shift}', Binding.PRODUCT)}")

    def __rmul__(self, shift: int) -> Index:
        return Index(self.name, f"{grouped(f'{shift}', Binding.PRODUCT)} * {grouped(self.expression, Binding.UNARY)}")

    def __str__(self) -> str:
        return self.expression


class Variable:
    def __init__(self, name: str, indexes: tp.Dict[str, int], st_shift: int):
        self.name = name
        self.indexes = indexes
        self.st_shift = st_shift
        self.shifts = _row_major_strides(list(indexes.values()))

    def __getitem__(self, items) -> VariableProxy:
        # A tuple first: the abstract Sequence check costs more than the rest.
        if type(items) is tuple or isinstance(items, tp.Sequence):
            return VariableProxy(f"{self.name}({','.join(map(str, items))})")
        return VariableProxy(f"{self.name}({items})")

    def __call__(self, *items: int) -> int:
        if len(items) != len(self.shifts):
            raise TypeError
        for value in items:
            if not isinstance(value, int):
                raise TypeError
        number = self.st_shift
        for value, size, stride in zip(items, self.indexes.values(), self.shifts):
            if not 0 <= value < size:
                self.__refuse_out_of_range(items)
            number += value * stride
        return number

    @property
    def map(self) -> tp.Dict[str, int]:
        return variable_map(str(self.name), list(self.indexes.values()), self.st_shift)

    def copy(self) -> Variable:
        return Variable(self.name, copy.deepcopy(self.indexes), self.st_shift)

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
