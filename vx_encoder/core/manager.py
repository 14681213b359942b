import typing as tp

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.variable import GeneratorVariable

MAX_CLAUSES_PER_CONSTRAINT = 1000000


class Manager:
    def __init__(self) -> None:
        self._create_engine_objects()
        self.name2genvar: tp.Dict[str, GeneratorVariable] = {}
        self.name2pb: tp.Dict[str, int] = {}
        self.pb2bx: tp.Dict[int, bx.Variable] = {}
        self.pb2name: tp.Dict[int, str] = {}
        self.cnt_pbvar = 0

    def _create_engine_objects(self) -> None:
        self.bx_context = bx.Context()
        self.pb_config = pb.PBConfig()
        self.pb_config.pb_encoder = pb.PB_Encoder_type.ADDER
        self.pb_config.max_clauses_per_constraint = MAX_CLAUSES_PER_CONSTRAINT
        self.pb_var_manager = pb.AuxVarManager(1)

    def registration_generator_variables(self, name: str) -> None:
        if name not in self.name2genvar:
            self.name2genvar[name] = GeneratorVariable(name, self)

    def add_variable(self, name: str) -> tp.Tuple[bx.Variable, int]:
        pb_var = self.name2pb.get(name)
        if pb_var is not None:
            return self.pb2bx[pb_var], pb_var
        pb_var = self.pb_var_manager.get_variable()
        bx_var = self.bx_context.get_var(name)
        self._register(name, pb_var, bx_var)
        return bx_var, pb_var

    def get_pb_var(self, pb_var: int, prefix: str = "_pbct_aux") -> bx.Variable:
        bx_var = self.pb2bx.get(pb_var)
        if bx_var is not None:
            return bx_var
        name = f"{prefix}_{self.cnt_pbvar}"
        self.cnt_pbvar += 1
        bx_var = self.bx_context.get_var(name)
        self._register(name, pb_var, bx_var)
        return bx_var

    def clauses_to_bx(self, database, prefix: str = "_pbct_aux"):
        """The conjunction of the disjunctions of the database's clauses, every
        number turned into its Boolean variable as `get_pb_var` does, in one
        engine call (`bx.clauses_to_formula`): numbers not registered yet become
        auxiliary variables, named in the order of their first occurrence."""
        formula, numbers, names, variables = bx.clauses_to_formula(
            self.bx_context, database, self.pb2bx, prefix, self.cnt_pbvar)
        self.cnt_pbvar += len(numbers)
        self.name2pb.update(zip(names, numbers))
        self.pb2name.update(zip(numbers, names))
        self.pb2bx.update(zip(numbers, variables))
        return formula

    def reset(self) -> None:
        self.bx_context = None
        self.pb_config = None
        self.pb_var_manager = None
        self.name2pb.clear()
        self.pb2bx.clear()
        self.pb2name.clear()
        self.cnt_pbvar = 0
        self._create_engine_objects()

    def _register(self, name: str, pb_var: int, bx_var: bx.Variable) -> None:
        self.name2pb[name] = pb_var
        self.pb2name[pb_var] = name
        self.pb2bx[pb_var] = bx_var
