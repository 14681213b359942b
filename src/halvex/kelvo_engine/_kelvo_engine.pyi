"""
The engine: logger, clause storage, variable mapping, witness interpreter and manager
"""
from __future__ import annotations
import collections.abc
import numpy
import numpy.typing
import typing
from . import bxpr
from . import _linsolver_files
from . import _linsolver_rows
from . import pbct
__all__: list[str] = ['bxpr', 'canonical_index_text', 'clause_template_cache', 'encode_comparisons', 'formula_encoder', 'get_log_level', 'get_python_version', 'literal_texts', 'log_encoder', 'log_level_type', 'manager', 'pbct', 'read_clause_template', 'read_formula_template', 'read_literal_template', 'set_log_level', 'set_log_sink', 'var_mapping', 'wcnf_storage', 'witness_interpreter']
class log_level_type:
    """
    The levels of the engine's logger, most severe first.
    
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
        """
        Add one hard clause.
        
        Args:
            lits: Signed variable numbers.
        
        Raises:
            TypeError: A literal is not an integer.
            ValueError: A literal is out of the 32-bit range.
        """
    def add_hard_clauses(self, literals: typing.Any, offsets: typing.Any) -> None:
        """
        Add many hard clauses in one call.
        
        Args:
            literals: All literals, an integer array.
            offsets: Clause boundaries, one more than the clauses, from 0 to the
                number of literals: clause c is literals[offsets[c]:offsets[c + 1]].
        
        Raises:
            TypeError: An array does not hold integers.
            ValueError: The offsets are malformed or a literal is out of the 32-bit range.
        """
    def add_soft_clause(self, lits: typing.Any, weight: typing.Any) -> None:
        """
        Add one soft clause with its weight.
        
        Args:
            lits: Signed variable numbers.
            weight: A non-negative integer.
        
        Raises:
            TypeError: A literal or the weight is not an integer.
            ValueError: A literal is out of the 32-bit range or the weight is negative.
        """
    def add_soft_clauses(self, literals: typing.Any, offsets: typing.Any, weights: typing.Any) -> None:
        """
        Add many soft clauses in one call.
        
        Args:
            literals: All literals, as for add_hard_clauses.
            offsets: Clause boundaries, as for add_hard_clauses.
            weights: One non-negative weight per clause.
        
        Raises:
            TypeError: An array does not hold integers.
            ValueError: The offsets or weights are malformed, a weight is negative, or
                a literal is out of the 32-bit range.
        """
    def get_clause_count(self) -> int:
        """
        The header's clause count.
        """
    def get_hard_clause_count(self) -> int:
        """
        The number of hard clauses stored.
        """
    def get_hard_clauses(self) -> list:
        """
        The hard clauses as lists of signed variable numbers.
        """
    def get_model_name(self) -> str:
        """
        The model name.
        """
    def get_prefatory_values(self) -> list[int]:
        """
        The preliminary values, in insertion order.
        """
    def get_soft_clause_count(self) -> int:
        """
        The number of soft clauses stored.
        """
    def get_soft_clauses(self) -> list:
        """
        The soft clauses as (clause, weight) pairs.
        """
    def get_variable_count(self) -> int:
        """
        The header's variable count.
        """
    def get_weight_limit(self) -> int:
        """
        The weight limit of a weighted CNF.
        """
    def insert_prefatory_value(self, literal: typing.Any) -> None:
        """
        Keep a preliminary value of one variable; it is not written to files.
        
        Args:
            literal: A signed variable number.
        
        Raises:
            ValueError: The literal is 0, which names no variable, or out of the 32-bit range.
        """
    def merge(self, other: wcnf_storage) -> None:
        """
        Append another storage's clauses.
        
        Args:
            other: The wcnf_storage whose hard and soft clauses are appended.
        """
    def remove_hard_clauses(self, first: typing.Any, count: typing.Any) -> None:
        """
        Remove count hard clauses from position first on.
        
        Args:
            first: The position of the first clause removed.
            count: How many are removed.
        
        Raises:
            ValueError: An argument is negative.
            IndexError: The range lies beyond the clauses.
        """
    def remove_soft_clauses(self, first: typing.Any, count: typing.Any) -> None:
        """
        Remove count soft clauses (and their weights) from position first on.
        
        Args:
            first: The position of the first clause removed.
            count: How many are removed.
        
        Raises:
            ValueError: An argument is negative.
            IndexError: The range lies beyond the clauses.
        """
    def set_clause_count(self, count: typing.Any) -> None:
        """
        Set the header's clause count.
        
        Args:
            count: The number of clauses.
        """
    def set_model_name(self, name: str) -> None:
        """
        Set the model name, written as a comment line.
        
        Args:
            name: The model's name.
        """
    def set_variable_count(self, count: typing.Any) -> None:
        """
        Set the header's variable count.
        
        Args:
            count: The number of variables.
        """
    def set_weight_limit(self, limit: typing.Any) -> None:
        """
        Set the weight limit; the storage is then a weighted CNF, even without soft clauses.
        
        Args:
            limit: A non-negative integer.
        """
    def to_dimacs(self) -> str:
        """
        The storage as DIMACS text.
        
        Returns:
            "p cnf" DIMACS without soft clauses or weight limit; otherwise the weighted
            format without a top line ("h" before hard clauses, the weight before soft ones). The model
            name is a comment line.
        """
    def write_dimacs(self, path: typing.Any) -> None:
        """
        Write the storage to a file, as to_dimacs gives it.
        
        Args:
            path: The file to write: str, bytes or os.PathLike.
        
        Raises:
            TypeError: The path is not str, bytes or os.PathLike.
            ValueError: The path holds a NUL byte.
            OSError: The file cannot be written.
        """
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
        Append runs of auxiliary entries, each kept as one record.
        
        Args:
            prefixes: The auxiliary prefixes.
            formula: The constraint's number f.
            runs: Rows of five integers (prefix position, instance, first index,
                count, first number): prefix[f,instance,first_index + t] is first + t.
        
        Raises:
            ValueError: The runs are not rows of five integers or name a missing prefix.
        """
    def add_entries(self, mapping: dict) -> None:
        """
        Append entries; a name given again keeps its place and takes the new number.
        
        Args:
            mapping: A dict from names to variable numbers.
        
        Raises:
            TypeError: A name is not text or a number not an integer.
        """
    def add_variable_cells(self, name: str, sizes: collections.abc.Sequence[typing.SupportsInt | typing.SupportsIndex], first: typing.Any) -> None:
        """
        Append one entry per cell of a variable, kept as one block.
        
        Args:
            name: The variable's name.
            sizes: The size of each dimension.
            first: The number of the first cell; name[v1,...] in row-major order.
        """
    def build_inverse_map(self) -> None:
        """
        Prepare the look-up of names by number.
        """
    def get_var_map(self) -> dict:
        """
        All entries as a dict from names to numbers, in order.
        """
    def get_var_name(self, number: typing.Any) -> str:
        """
        The name of a number.
        
        Args:
            number: A variable number.
        
        Returns:
            The name.
        
        Raises:
            KeyError: No entry has that number.
        """
    def get_var_number(self, name: str) -> int:
        """
        The number of a name.
        
        Args:
            name: A name such as x[1,2].
        
        Returns:
            The variable number.
        
        Raises:
            KeyError: No entry has that name.
        """
    def set_var_map(self, mapping: dict) -> None:
        """
        Replace the entries.
        
        Args:
            mapping: A dict from names to variable numbers.
        
        Raises:
            TypeError: A name is not text or a number not an integer.
        """
class witness_interpreter:
    """
    Reads a solver's model back as truth values of the named model variables.
    """
    def __init__(self) -> None:
        ...
    def build_mapping_tables(self, leave_out_auxiliaries: bool) -> bool:
        """
        Build the tables interpret reads, from the mapping as it is now.
        
        Args:
            leave_out_auxiliaries: Give auxiliary variables no entry.
        
        Returns:
            True; False (nothing built) for an empty mapping.
        """
    def get_auxiliary_vars(self) -> list[str]:
        """
        The prefixes of auxiliary variables.
        """
    def get_var_mapping(self) -> var_mapping | None:
        """
        The variable mapping, or None.
        """
    def interpret(self, model: typing.Any) -> dict[str, bool]:
        """
        Read a solver's model as the truth values of the named variables.
        
        Args:
            model: Signed variable numbers, as a SAT solver gives them.
        
        Returns:
            A dict from names (x[1,2]) to truth values, in the mapping's order; a
            number the model lacks is false.
        
        Raises:
            TypeError: The model does not hold integers.
            RuntimeError: The tables are not built.
        """
    def set_auxiliary_vars(self, prefixes: collections.abc.Sequence[str]) -> None:
        """
        Set the prefixes of auxiliary variables.
        
        Args:
            prefixes: Names starting with one of these are auxiliaries.
        """
    def set_var_mapping(self, mapping: var_mapping) -> None:
        """
        Set the variable mapping read from.
        
        Args:
            mapping: The var_mapping of the model.
        """
class clause_template_cache:
    """
    The clause templates of the texts read so far, by shape: texts that differ only in their constant cells are read once.
    """
    def __init__(self) -> None:
        ...
    def __len__(self) -> int:
        ...
class formula_encoder:
    """
    Reads a pseudo-Boolean model as text and encodes it into a CNF or WCNF storage natively.
    
    Args:
        name: The model's name.
    
    Raises:
        TypeError: The name is not text.
    """
    def __init__(self, name: typing.Any) -> None:
        ...
    def add_constraint(self, text: typing.Any, foralls: typing.Any) -> None:
        """
        Add a hard constraint for every combination of its index values.
        
        Args:
            text: The constraint's expression text.
            foralls: "Foralls: " and the text of the ranges dictionary.
        
        Raises:
            TypeError: An argument is not text.
            ValueError: The text cannot be read, names something unknown, or never holds.
            IndexError: Index values lie outside a variable's sizes.
        """
    def add_soft_constraint(self, text: typing.Any, foralls: typing.Any, weight: typing.Any, minimization: typing.Any) -> None:
        """
        Add a soft constraint: weighted unit literals for every combination of its index values.
        
        Args:
            text: The sum's expression text.
            foralls: "Foralls: " and the text of the ranges dictionary.
            weight: The weight the terms are multiplied by.
            minimization: Weigh the literals that make the sum smaller (True) or larger.
        
        Raises:
            TypeError: An argument has the wrong type.
            ValueError: The text cannot be read or names something unknown.
        """
    def add_target(self, text: typing.Any) -> None:
        """
        Keep a target; a later target replaces it.
        
        Args:
            text: The sum's expression text.
        
        Raises:
            TypeError: The text is not text.
            ValueError: The text cannot be read or names something unknown.
        """
    def check_another_witness(self) -> bool:
        """
        Whether the other witness satisfies every hard clause and agrees with the first on every model variable.
        """
    def create_variables(self, name: typing.Any, sizes: typing.Any) -> None:
        """
        Create a variable over dimensions of the given sizes.
        
        Args:
            name: The variable's name.
            sizes: The size of each dimension.
        
        Raises:
            TypeError: The name is not text or a size not an integer.
            ValueError: The name is in use or one the reader needs, or a size is not positive.
        """
    def generate_cnf(self, border: typing.Any = None, minimization: typing.Any = None) -> None:
        """
        Number the auxiliaries and write the storage and the variable mapping.
        
        Args:
            border: The target's bound; without it the target stays the objective.
            minimization: Bound the target from above (True) or below (False).
        
        Raises:
            ValueError: Only one of border and minimization is given, or the bounded
                target can never hold.
        """
    def get_cnf_storage(self) -> wcnf_storage | None:
        """
        The wcnf_storage of the last generate_cnf, or None.
        """
    def get_model_name(self) -> str:
        """
        The model's name.
        """
    def get_objective(self) -> list[tuple[int, int]] | None:
        """
        The target as (variable number, coefficient) pairs in text order, or None without a target.
        """
    def get_var_mapping(self) -> var_mapping | None:
        """
        The var_mapping of the last generate_cnf, or None.
        """
    def reset(self) -> None:
        """
        Forget every variable, constraint, target and witness.
        """
    def save_metrics_csv(self, filename: typing.Any) -> bool:
        """
        Write per constraint the instances, clauses, auxiliaries and time, and the totals, as CSV.
        
        Args:
            filename: The file to write.
        
        Returns:
            True when written; False (with an error logged) when the file cannot be written.
        
        Raises:
            TypeError: The name is not str, bytes or os.PathLike.
            ValueError: The name holds a NUL byte.
        """
    def save_metrics_json(self, filename: typing.Any) -> bool:
        """
        Write per constraint the instances, clauses, auxiliaries and time, and the totals, as JSON.
        
        Args:
            filename: The file to write.
        
        Returns:
            True when written; False (with an error logged) when the file cannot be written.
        
        Raises:
            TypeError: The name is not str, bytes or os.PathLike.
            ValueError: The name holds a NUL byte.
        """
    def set_another_witness(self, witness: typing.Any) -> None:
        """
        Keep a second solver's model to check against the first.
        
        Args:
            witness: Signed variable numbers.
        """
    def set_witness(self, witness: typing.Any) -> None:
        """
        Keep a solver's model.
        
        Args:
            witness: Signed variable numbers.
        """
class manager:
    """
    Holds the storage and the witness interpreter of the model built last.
    """
    def __init__(self) -> None:
        ...
    def create_formula_encoder(self, name: str) -> formula_encoder:
        """
        A new formula encoder for the model of that name.
        
        Args:
            name: The model's name.
        
        Returns:
            The formula_encoder.
        """
    def get_cnf_storage(self) -> wcnf_storage | None:
        """
        The storage held, or None.
        """
    def get_witness_interpreter(self) -> witness_interpreter | None:
        """
        The witness interpreter held, or None.
        """
    def set_cnf_storage(self, storage: wcnf_storage | None) -> None:
        """
        Hold a storage.
        
        Args:
            storage: A wcnf_storage, or None.
        """
    def set_witness_interpreter(self, interpreter: witness_interpreter | None) -> None:
        """
        Hold a witness interpreter.
        
        Args:
            interpreter: A witness_interpreter, or None.
        """
def canonical_index_text(text: str) -> str | None:
    """
    The canonical text of an index value's text, every name in it an index.
    """
def encode_comparisons(formula: bxpr.BaseExpr, comparisons: collections.abc.Sequence[tuple[bxpr.BaseExpr, pbct.PBConstraint]], variables: collections.abc.Sequence[bxpr.BaseExpr], first_auxiliary: typing.SupportsInt | typing.SupportsIndex, pb_config: pbct.PBConfig) -> tuple:
    """
    Encode the comparisons of a formula the host evaluated by their polarity in it, as the
    engine encodes those of every text it reads.
    
    Args:
        formula: The formula, each comparison standing for its placeholder variable.
        comparisons: (placeholder, pbct.PBConstraint) pairs, one bound each; a
            term's variable number n is variables[n - 1].
        variables: The formulas of the variable numbers.
        first_auxiliary: The n of the first _pbct_aux_n to name: placeholders that
            stay and the encoder's auxiliaries, in the engine's order.
        pb_config: The pbct.PBConfig of the encoder.
    
    Returns:
        (the formula with the comparisons encoded, the number of _pbct_aux
        variables named from first_auxiliary on).
    
    Raises:
        ValueError: A placeholder is no variable, a term names no variable given,
            a comparison has two different bounds, or the encoder refuses one.
    """
def get_log_level() -> log_level_type:
    """
    The log_level_type from which messages are shown.
    """
def get_python_version() -> str:
    """
    The version of the running Python, as platform.python_version() gives it.
    """
def literal_texts(formula: bxpr.BaseExpr) -> list[list[str]]:
    """
    The literal texts of a formula in clause form, as read_literal_template reads them.
    
    Args:
        formula: A conjunction of clauses, one clause, one literal, or a constant
            (bx.one(): no clause; bx.zero(): one empty clause).
    
    Raises:
        ValueError: The formula is not in clause form.
    """
def log_encoder(message: typing.Any, level: log_level_type) -> None:
    """
    Log a message at a level; messages at or above the threshold reach the sink.
    
    Args:
        message: The message; any other object is logged as its str().
        level: A log_level_type.
    """
def read_clause_template(text: typing.Any, index_names: collections.abc.Sequence[str], variables: typing.Any, pb_config: pbct.PBConfig, cache: clause_template_cache = None) -> typing.Any:
    """
    Read a hard constraint's text natively into its clause template, the index names symbolic.
    
    Args:
        text: The constraint's expression text.
        index_names: The names of its foralls indexes.
        variables: (name, sizes) pairs of the model's variables, or (name, sizes,
            first number) triples: the model's number of each variable's first cell.
        pb_config: The pbct.PBConfig of the encoder.
        cache: A clause_template_cache to read through, or None.
    
    Returns:
        (kinds, values, forms, form_ends, literals, ends, pbct_count, bxpr_count,
        never_holds): each distinct literal once, positive, with its kind (0 a
        cell, 1 an occurrence, 2 a _pbct_aux, 3 a _bxpr_aux auxiliary) and value
        (the cell's number, as the model numbers it when the first numbers are
        given, otherwise counting from 1 in the variables' order; the occurrence's
        variable position; the auxiliary's n); an occurrence's index values at
        forms[form_ends[l - 1]:form_ends[l]], per dimension a constant and one
        coefficient per index name; clause literals +-(1 + position), ends the end
        of each clause. Or, as text, why the host reads it instead: the text lies
        outside the grammar the engine reads for all instances at once. Any other
        failure raises.

    Raises:
        TypeError: An operand has the wrong kind (a Boolean formula in a sum or a
            product, a sum in a connective, a cell called with too few or too many
            index values), which the host cannot read either.
    """
def read_formula_template(formula: bxpr.BaseExpr, index_names: collections.abc.Sequence[str], variables: typing.Any) -> typing.Any:
    """
    Read a formula in clause form (the host's Tseytin result) natively, as read_literal_template
    reads its literal texts, without handing the texts to the host.
    
    Args:
        formula: A conjunction of clauses, one clause, one literal, or a constant.
        index_names: The names of the foralls indexes.
        variables: As for read_clause_template.
    
    Returns:
        What read_literal_template returns for the formula's literal texts.
    
    Raises:
        ValueError: The formula is not in clause form.
    """
def read_literal_template(clauses: collections.abc.Sequence[collections.abc.Sequence[str]], index_names: collections.abc.Sequence[str], variables: typing.Any) -> typing.Any:
    """
    Read a clause template given as literal texts natively, the index names symbolic.
    
    Args:
        clauses: Each clause as its literal texts: a variable call over integer
            index arithmetic ("x(i + 1,j)"), "-" before it when negated, or an
            auxiliary name between quotes ("'_pbct_aux_0'", "'~_bxpr_aux_1'").
        index_names: The names of the foralls indexes.
        variables: As for read_clause_template.
    
    Returns:
        The tuple read_clause_template returns (the auxiliary counts one past the
        largest n of each kind, never_holds False), or, as text, why the host
        evaluates the texts instead: a literal lies outside what is read for all
        instances at once.
    """
def set_log_level(level: log_level_type) -> None:
    """
    Show messages at this level and the more severe ones (default: warning).
    
    Args:
        level: A log_level_type.
    """
def set_log_sink(sink: typing.Any) -> None:
    """
    Send each shown message as sink(message, level) instead of to standard error.
    
    Args:
        sink: A callable, or None to restore standard error.
    
    Raises:
        TypeError: sink is neither callable nor None.
    """
