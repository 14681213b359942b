import typing as tp

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.engine_assumptions import PBCT_AUXILIARY_PREFIX, new_variable_registry
from vx_encoder.core.engine_backed_map import EngineBackedMap
from vx_encoder.core.variable import GeneratorVariable

MAX_CLAUSES_PER_CONSTRAINT = 1000000


class Manager:
    """Numbers the variables of one constraint for the engine's Boolean context and pseudo-Boolean encoder.

    ``reset()`` after each constraint starts the numbers, the Boolean variables and
    the auxiliary names ``_pbct_aux_0, _pbct_aux_1, ...`` afresh; generator
    variables stay.
    """

    def __init__(self) -> None:
        # The three engine objects are made at their first use: a constraint
        # the engine reads itself never asks for them, and its reset is free.
        self.bx_context = None
        self.pb_config = None
        self.pb_var_manager = None
        self.name2genvar: tp.Dict[str, GeneratorVariable] = {}
        # The bulk conversion's auxiliaries stay in the engine until read, in
        # one registry that the three maps share.
        new_variables = new_variable_registry()
        self.name2pb: tp.Mapping[str, int] = EngineBackedMap(_names_of, _number_in, new_variables)
        self.pb2bx: tp.Mapping[int, bx.Variable] = EngineBackedMap(_numbers_of, _variable_in, new_variables)
        self.pb2name: tp.Mapping[int, str] = EngineBackedMap(_numbers_of, _name_in, new_variables)
        self.cnt_pbvar = 0

    @property  # type: ignore[no-redef]
    def bx_context(self) -> bx.Context:
        """The Boolean-expression context of the current constraint."""
        context = self.__dict__["bx_context"]
        if context is None:
            context = self.__dict__["bx_context"] = bx.Context()
        return context

    @bx_context.setter
    def bx_context(self, context: tp.Optional[bx.Context]) -> None:
        self.__dict__["bx_context"] = context

    @property  # type: ignore[no-redef]
    def pb_config(self) -> pb.PBConfig:
        """The encoder's configuration: the adder encoding, at most MAX_CLAUSES_PER_CONSTRAINT clauses."""
        config = self.__dict__["pb_config"]
        if config is None:
            config = pb.PBConfig()
            config.pb_encoder = pb.PB_Encoder_type.ADDER
            config.max_clauses_per_constraint = MAX_CLAUSES_PER_CONSTRAINT
            self.__dict__["pb_config"] = config
        return config

    @pb_config.setter
    def pb_config(self, config: tp.Optional[pb.PBConfig]) -> None:
        self.__dict__["pb_config"] = config

    def pb_config_if_made(self) -> tp.Optional[pb.PBConfig]:
        """The encoder's configuration when one was made since the last reset
        (a caller may have changed it); None when the first use would make a new one."""
        return self.__dict__["pb_config"]

    @property  # type: ignore[no-redef]
    def pb_var_manager(self) -> pb.AuxVarManager:
        """The numberer of the current constraint's variables, from 1."""
        numberer = self.__dict__["pb_var_manager"]
        if numberer is None:
            numberer = self.__dict__["pb_var_manager"] = pb.AuxVarManager(1)
        return numberer

    @pb_var_manager.setter
    def pb_var_manager(self, numberer: tp.Optional[pb.AuxVarManager]) -> None:
        self.__dict__["pb_var_manager"] = numberer

    def registration_generator_variables(self, name: str) -> None:
        """Register a model variable by name, once.

        Args:
            name: The variable's name; its generator variable turns ``x(i,j)`` into
                engine variables.
        """
        if name not in self.name2genvar:
            self.name2genvar[name] = GeneratorVariable(name, self)

    def add_variable(self, name: str) -> tp.Tuple[bx.Variable, int]:
        """The Boolean variable and number of a name, made at its first use.

        Args:
            name: The variable's name, such as ``x(i,j)``.

        Returns:
            (Boolean variable, variable number).
        """
        pb_var = self.name2pb.get(name)
        if pb_var is not None:
            return self.pb2bx[pb_var], pb_var
        pb_var = self.pb_var_manager.get_variable()
        bx_var = self.bx_context.get_var(name)
        self._register(name, pb_var, bx_var)
        return bx_var, pb_var

    def get_pb_var(self, pb_var: int, prefix: str = PBCT_AUXILIARY_PREFIX) -> bx.Variable:
        """The Boolean variable of a number, an auxiliary ``prefix_n`` when the number is new.

        Args:
            pb_var: A variable number.
            prefix: The prefix of a new auxiliary's name.

        Returns:
            The Boolean variable.
        """
        bx_var = self.pb2bx.get(pb_var)
        if bx_var is not None:
            return bx_var
        name = f"{prefix}_{self.cnt_pbvar}"
        self.cnt_pbvar += 1
        bx_var = self.bx_context.get_var(name)
        self._register(name, pb_var, bx_var)
        return bx_var

    def clauses_to_bx(self, database: pb.VectorClauseDatabase, prefix: str = PBCT_AUXILIARY_PREFIX) -> bx.BaseExpr:
        """The conjunction of the disjunctions of the database's clauses, every
        number turned into its Boolean variable as `get_pb_var` does, in one
        engine call (`bx.clauses_to_formula_and_variables`): numbers not
        registered yet become auxiliary variables, named in the order of their
        first occurrence."""
        formula, made = bx.clauses_to_formula_and_variables(
            self.bx_context, database, self.pb2bx.single_entries(), self.pb2bx.block_registry(), prefix,
            self.cnt_pbvar)
        if len(made) > 0:
            self.cnt_pbvar += len(made)
            self.name2pb.add_block(made)
            self.pb2name.add_block(made)
            self.pb2bx.add_block(made)
        return formula

    def reset(self) -> None:
        """Forget the numbers, the Boolean context and the encoder's state; generator variables stay.
        The new engine objects are made at their first use, so a reset after nothing was made costs nothing."""
        if self.cnt_pbvar == 0 and not self.__made_anything():
            return
        self.bx_context = None
        self.pb_config = None
        self.pb_var_manager = None
        self.name2pb.clear()
        self.pb2bx.clear()
        self.pb2name.clear()
        self.cnt_pbvar = 0

    def __made_anything(self) -> bool:
        made = self.__dict__
        return (made["bx_context"] is not None or made["pb_config"] is not None or made["pb_var_manager"] is not None
                or bool(self.name2pb) or bool(self.pb2bx) or bool(self.pb2name))

    def _register(self, name: str, pb_var: int, bx_var: bx.Variable) -> None:
        self.name2pb[name] = pb_var
        self.pb2name[pb_var] = name
        self.pb2bx[pb_var] = bx_var


# How the registry's maps read the engine's new variables: the keys of one
# block, and a value by key among all blocks.
def _names_of(block):
    return block.names()


def _numbers_of(block):
    return block.numbers()


def _number_in(blocks, name):
    return blocks.number(name)


def _variable_in(blocks, number):
    return blocks.variable(number)


def _name_in(blocks, number):
    return blocks.name(number)
