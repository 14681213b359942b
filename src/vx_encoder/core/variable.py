import typing as tp

import halvex.kelvo_engine.bxpr as bx

from vx_encoder.core.pboperations import PBVariable


class Index:
    def __init__(self, name, range_start, range_end, range_step=1):
        self.name = name
        self.range_start = range_start
        self.range_end = range_end
        self.range_step = range_step


class GeneratorVariable:
    def __init__(self, name: str, manager) -> None:
        self.name = name
        self.manager = manager

    def __call__(self, *items):
        name = f"{self.name}({','.join(map(str, items))})"
        bx_var, pb_var = self.manager.add_variable(name)
        return Variable(bx_var, pb_var, name)


class Variable:
    def __init__(self, bx_var: bx.Variable, pb_var: int, name: str) -> None:
        self.bx_var = bx_var
        self.pb_var = pb_var
        self.name = name

    def to_bx(self):
        return self.bx_var

    def to_pb(self):
        return PBVariable(self.pb_var, self.name)
