"""
The engine: logger, clause storage, variable mapping, witness interpreter and manager
"""
from __future__ import annotations
import collections.abc
import numpy
import numpy.typing
import typing
from . import bxpr
from . import _linsolver_rows
from . import pbct
__all__: list[str] = ['bxpr', 'formula_encoder', 'get_log_level', 'get_python_version', 'log_encoder', 'log_level_type', 'manager', 'pbct', 'read_clause_template', 'set_log_level', 'set_log_sink', 'var_mapping', 'wcnf_storage', 'witness_interpreter']
class log_level_type:
    """
    Members:
    
      critical
    
      error
    
      warning
    
      info
    
      debug
    
      trace
    """
    __members__: typing.ClassVar[dict[str, log_level_type]]
    critical: typing.ClassVar[log_level_type]
    debug: typing.ClassVar[log_level_type]
    error: typing.ClassVar[log_level_type]
    info: typing.ClassVar[log_level_type]
    trace: typing.ClassVar[log_level_type]
    warning: typing.ClassVar[log_level_type]
    @typing.overload
    def __eq__(self, other: log_level_type) -> bool:
        ...
    @typing.overload
    def __eq__(self, other: typing.Any) -> bool:
        ...
    def __getstate__(self) -> int:
        ...
    def __hash__(self) -> int:
        ...
    def __index__(self) -> int:
        ...
    def __init__(self, value: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __int__(self) -> int:
        ...
    @typing.overload
    def __ne__(self, other: log_level_type) -> bool:
        ...
    @typing.overload
    def __ne__(self, other: typing.Any) -> bool:
        ...
    def __repr__(self) -> str:
        ...
    def __setstate__(self, state: typing.SupportsInt | typing.SupportsIndex) -> None:
        ...
    def __str__(self) -> str:
        ...
    @property
    def name(self) -> str:
        ...
    @property
    def value(self) -> int:
        ...
class wcnf_storage:
    """
    Hard and weighted soft clauses with their header; without soft clauses, a CNF.
    """
    def __init__(self) -> None:
        ...
    def __len__(self) -> int:
        ...
    def add_hard_clause(self, lits: typing.Any) -> None:
        ...
    def add_hard_clauses(self, literals: typing.Any, offsets: typing.Any) -> None:
        """
        Add many hard clauses: all literals in one array and the clause boundaries in another (one more than the clauses, from 0 to the number of literals).
        """
    def add_soft_clause(self, lits: typing.Any, weight: typing.Any) -> None:
        ...
    def add_soft_clauses(self, literals: typing.Any, offsets: typing.Any, weights: typing.Any) -> None:
        """
        Add many soft clauses: literals and boundaries as for add_hard_clauses, one weight per clause.
        """
    def get_clause_count(self) -> int:
        ...
    def get_hard_clause_count(self) -> int:
        ...
    def get_hard_clauses(self) -> list:
        ...
    def get_model_name(self) -> str:
        ...
    def get_prefatory_values(self) -> list[int]:
        ...
    def get_soft_clause_count(self) -> int:
        ...
    def get_soft_clauses(self) -> list:
        ...
    def get_variable_count(self) -> int:
        ...
    def get_weight_limit(self) -> int:
        ...
    def insert_prefatory_value(self, literal: typing.Any) -> None:
        ...
    def merge(self, other: wcnf_storage) -> None:
        ...
    def remove_hard_clauses(self, first: typing.Any, count: typing.Any) -> None:
        """
        Remove count hard clauses from position first on.
        """
    def remove_soft_clauses(self, first: typing.Any, count: typing.Any) -> None:
        """
        Remove count soft clauses (and their weights) from position first on.
        """
    def set_clause_count(self, count: typing.Any) -> None:
        ...
    def set_model_name(self, name: str) -> None:
        ...
    def set_variable_count(self, count: typing.Any) -> None:
        ...
    def set_weight_limit(self, limit: typing.Any) -> None:
        ...
    def to_dimacs(self) -> str:
        ...
    def write_dimacs(self, path: typing.Any) -> None:
        ...
class var_mapping:
    """
    Variable names (x[1,2]) to variable numbers, and back.
    """
    def __init__(self) -> None:
        ...
    def __len__(self) -> int:
        ...
    def add_auxiliary_runs(self, prefixes: collections.abc.Sequence[str], formula: typing.SupportsInt | typing.SupportsIndex, runs: typing.Annotated[numpy.typing.ArrayLike, numpy.int64]) -> None:
        """
        Appends runs of auxiliary entries, one row (prefix position, instance, first index, count, first number) each: prefix[formula,instance,first_index + t] with number first + t.
        """
    def add_entries(self, mapping: dict) -> None:
        """
        Appends the entries; a name given again takes the new number.
        """
    def add_variable_cells(self, name: str, sizes: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex], first: typing.Any) -> None:
        """
        Appends one entry per cell, name[v1,...] in row-major order, numbers running from first.
        """
    def build_inverse_map(self) -> None:
        ...
    def get_var_map(self) -> dict:
        ...
    def get_var_name(self, number: typing.Any) -> str:
        ...
    def get_var_number(self, name: str) -> int:
        ...
    def set_var_map(self, mapping: dict) -> None:
        ...
class witness_interpreter:
    """
    Reads a solver's model back as truth values of the named model variables.
    """
    def __init__(self) -> None:
        ...
    def build_mapping_tables(self, leave_out_auxiliaries: bool) -> bool:
        """
        Build the tables; false (nothing built) for an empty mapping.
        """
    def get_auxiliary_vars(self) -> list[str]:
        ...
    def get_var_mapping(self) -> var_mapping:
        ...
    def interpret(self, model: typing.Any) -> dict:
        """
        The truth value of every named model variable; a number the model lacks is false.
        """
    def set_auxiliary_vars(self, prefixes: collections.abc.Sequence[str]) -> None:
        ...
    def set_var_mapping(self, mapping: var_mapping) -> None:
        ...
class formula_encoder:
    """
    Reads a pseudo-Boolean model as text and encodes it into a CNF or WCNF storage natively.
    """
    def __init__(self, name: typing.Any) -> None:
        ...
    def add_constraint(self, text: typing.Any, foralls: typing.Any) -> None:
        ...
    def add_soft_constraint(self, text: typing.Any, foralls: typing.Any, weight: typing.Any, minimization: typing.Any) -> None:
        ...
    def add_target(self, text: typing.Any) -> None:
        ...
    def check_another_witness(self) -> bool:
        ...
    def create_variables(self, name: typing.Any, sizes: typing.Any) -> None:
        ...
    def generate_cnf(self) -> None:
        ...
    def get_cnf_storage(self) -> wcnf_storage:
        ...
    def get_model_name(self) -> str:
        ...
    def get_objective(self) -> typing.Any:
        """
        The target as (variable number, coefficient) pairs in text order, or None without a target
        """
    def get_var_mapping(self) -> var_mapping:
        ...
    def reset(self) -> None:
        ...
    def save_metrics_csv(self, filename: typing.Any) -> bool:
        ...
    def save_metrics_json(self, filename: typing.Any) -> bool:
        ...
    def set_another_witness(self, witness: typing.Any) -> None:
        ...
    def set_witness(self, witness: typing.Any) -> None:
        ...
class manager:
    """
    Holds the storage and the witness interpreter of the model built last.
    """
    def __init__(self) -> None:
        ...
    def create_formula_encoder(self, name: str) -> formula_encoder:
        """
        A new formula encoder for the model of that name.
        """
    def get_cnf_storage(self) -> wcnf_storage:
        ...
    def get_witness_interpreter(self) -> witness_interpreter:
        ...
    def set_cnf_storage(self, storage: wcnf_storage) -> None:
        ...
    def set_witness_interpreter(self, interpreter: witness_interpreter) -> None:
        ...
def get_log_level() -> log_level_type:
    ...
def get_python_version() -> typing.Any:
    ...
def log_encoder(message: typing.Any, level: log_level_type) -> None:
    """
    Log a message at a level; messages at or above the threshold reach the sink.
    """
def read_clause_template(text: typing.Any, index_names: collections.abc.Sequence[str], variables: typing.Any, pb_config: pbct.PBConfig) -> typing.Any:
    """
    A hard constraint's text read natively into its clause template, the index names symbolic: (names, literals, ends, pbct_count, bxpr_count, never_holds), literals +-(1 + position in names) and ends the end of each clause; None when the host must read the text. variables: (name, sizes) pairs.
    """
def set_log_level(level: log_level_type) -> None:
    """
    Show messages at this level and the more severe ones (default: warning).
    """
def set_log_sink(sink: typing.Any) -> None:
    """
    Send each shown message as sink(message, level); None restores standard error.
    """
