"""Instantiation of clause templates: every combination of index values of a
constraint gives one instance of its template, whose literals are numbered
and written into the constraint's own storage.

A template of literal texts is read by the engine into its structured form
(variable calls over affine index arithmetic, quoted auxiliary names) and
instantiated by the native kernel; a template the engine declines, or whose
index arithmetic passes 64 bits, is evaluated by the host as one list
comprehension and numbered by the same kernel, with identical results.
"""

import typing as tp
from abc import ABC, abstractmethod
from dataclasses import dataclass
from functools import reduce
from operator import index as as_integer
from operator import ior

import numpy as np

import halvex.kelvo_engine as ke
from vx_encoder import _vx_native as native
from vx_encoder.core.engine_assumptions import BXPR_AUXILIARY_PREFIX, PBCT_AUXILIARY_PREFIX
from vx_encoder.core.mapping_parts import MappingPart, entries_of
from vx_encoder.core.structured_clause_template import StructuredClauseTemplate
from vx_encoder.core.vx_logger import *


@dataclass
class DumpArgs:
    """One constraint's record for instantiation: its template, weights, ranges, numbering and storage."""
    template_constraint: tp.Sequence[tp.Sequence[str]]
    weights: tp.Optional[tp.Sequence[int]]
    foralls: tp.Dict[str, tp.Sequence[int]]
    num_formula: int
    init_shift_variable: int
    shift_pb_variable: int
    shift_bx_variable: int
    offset_shift_for_formula: int
    eval_state: tp.Dict[str, tp.Any]
    cnf_stor: ke.wcnf_storage

    def variables(self) -> tp.Mapping[str, tp.Any]:
        """The variables the record's template names, as its state holds them."""
        return self.eval_state


class DeferredStateDumpArgs(DumpArgs):
    """A record whose state, a copy of every variable, is made only when read:
    instantiating reads the variables' shapes, not their copies.

    Args:
        variables: The variables by name; the record keeps them as they are now.
        **fields: Every other field of a DumpArgs.
    """

    def __init__(self, variables: tp.Mapping[str, tp.Any], **fields: tp.Any) -> None:
        self._variables = dict(variables)
        self._state: tp.Optional[tp.Dict[str, tp.Any]] = None
        super().__init__(eval_state=None, **fields)  # type: ignore[arg-type]

    @property  # type: ignore[override]
    def eval_state(self) -> tp.Dict[str, tp.Any]:
        """A copy of every variable, made at the first read."""
        if self._state is None:
            self._state = {name: variable.copy() for name, variable in self._variables.items()}
        return self._state

    @eval_state.setter
    def eval_state(self, state: tp.Optional[tp.Dict[str, tp.Any]]) -> None:
        self._state = state

    def variables(self) -> tp.Mapping[str, tp.Any]:
        """The variables as given, or their copies once the state was read."""
        return self._variables if self._state is None else self._state


def reduce_ex(mappings) -> tp.Dict[str, int]:
    """The union of mappings, later ones winning.

    Args:
        mappings: Dicts from names to numbers.

    Returns:
        One dict.
    """
    return reduce(ior, mappings, {})


def index_values(foralls: tp.Mapping[str, tp.Iterable[int]]) -> tp.Dict[str, tp.List[int]]:
    """Each index's values read once into a list of host integers, so that
    counting and enumerating see the same values."""
    return {_checked_index_name(name): _integer_list(name, values) for name, values in foralls.items()}


def _checked_index_name(name: str) -> str:
    if not isinstance(name, str) or not name.isidentifier():
        raise ValueError(f"Index name {name!r} is not an identifier")
    return name


def _integer_list(name: str, values: tp.Iterable[int]) -> tp.List[int]:
    if isinstance(values, range):
        return list(values)
    if isinstance(values, np.ndarray):
        if values.ndim != 1 or values.dtype.kind not in "iu":
            raise TypeError(f"Values of index {name} must be integers, not an array of {values.dtype} "
                            f"with {values.ndim} dimensions")
        return values.tolist()
    if isinstance(values, (str, bytes)) or not isinstance(values, tp.Iterable):
        raise TypeError(f"Values of index {name} must be a sequence of integers, not {type(values).__name__}")
    values = list(values)  # an iterator is read once, here
    try:
        return [int(as_integer(value)) for value in values]
    except TypeError:
        item = next(value for value in values if not _is_integer(value))
        raise TypeError(f"Values of index {name} must be integers, not {type(item).__name__} {item!r}") from None


def _is_integer(value) -> bool:
    try:
        as_integer(value)
    except TypeError:
        return False
    return True


LARGEST_WEIGHT = 2 ** 63 - 1


def checked_weights(weights: tp.Optional[tp.Sequence[int]], clause_count: int) -> tp.Optional[tp.List[int]]:
    """The weights of a soft constraint's clauses, one per template clause."""
    if weights is None:
        return None
    weights = list(weights)
    if not all(_is_integer(weight) for weight in weights):
        raise TypeError(f"Weights must be integers, got {weights!r}")
    weights = [int(as_integer(weight)) for weight in weights[:clause_count]]
    if len(weights) < clause_count:
        raise IndexError(f"The soft constraint has {clause_count} clauses but only {len(weights)} weights")
    if any(weight < 0 for weight in weights):
        raise ValueError(f"Weights must not be negative, got {weights!r}")
    too_heavy = [weight for weight in weights if weight > LARGEST_WEIGHT]
    if too_heavy:
        # The storage holds signed 64-bit weights.
        raise ValueError(f"the weight times a coefficient overflows: {too_heavy[0]} passes 2^63 - 1")
    return weights


def instance_count(values: tp.Mapping[str, tp.Sequence[int]]) -> int:
    """The number of combinations of index values.

    Args:
        values: Each index's name with its values.

    Returns:
        The product of the lengths.
    """
    count = 1
    for sequence in values.values():
        count *= len(sequence)
    return count


class Dumper(ABC):
    """Instantiates records of constraints into their storages."""

    __BXPR_AUX = BXPR_AUXILIARY_PREFIX
    __PBCT_AUX = PBCT_AUXILIARY_PREFIX

    @classmethod
    @abstractmethod
    def dump(cls, dump_args: tp.Sequence[DumpArgs]):
        """Instantiate the records into their storages.

        Args:
            dump_args: The records.

        Returns:
            The auxiliary mapping of all records.
        """
        pass

    @staticmethod
    def _dump_cnf(a: DumpArgs) -> tp.Dict[str, int]:
        return entries_of(Dumper._dump_cnf_part(a))

    @staticmethod
    def _dump_cnf_part(a: DumpArgs) -> MappingPart:
        """Instantiates the record into its storage; returns its auxiliary
        mapping as a part, its keys spelled only when asked for."""
        if a.cnf_stor is None:
            return {}
        clauses, mapping = numbered_clauses(a)
        clauses.write_into(a.cnf_stor)
        return mapping


class One2OneDumper(Dumper):
    """Instantiates records one after another."""

    @classmethod
    def dump(cls, list_dump_args: tp.Sequence[DumpArgs]) -> tp.Dict[str, int]:
        """Instantiate the records one after another into their storages.

        Args:
            list_dump_args: The records.

        Returns:
            The auxiliary mapping of all records.
        """
        return reduce_ex([cls._dump_cnf(record) for record in list_dump_args])


@dataclass
class NumberedClauses:
    """One constraint's instances, numbered and not yet written into a storage."""
    instances: tp.Any
    soft: bool
    # The sum of a soft constraint's weights over its instances, where its record does not give it.
    written_weight: int = 0

    def __len__(self) -> int:
        return self.instances.clause_count

    def write_into(self, cnf_stor: ke.wcnf_storage) -> None:
        """Append the clauses to the storage, soft ones with their weights.

        Args:
            cnf_stor: The storage written into.
        """
        if self.instances.clause_count == 0:
            return
        if self.soft:
            cnf_stor.add_soft_clauses(self.instances.literals, self.instances.offsets, self.instances.weights)
        else:
            cnf_stor.add_hard_clauses(self.instances.literals, self.instances.offsets)


def numbered_clauses(a: DumpArgs) -> tp.Tuple[NumberedClauses, MappingPart]:
    """The record's instances numbered, natively where the template allows, and
    its auxiliary mapping as a part, its keys spelled only when asked for. The
    record's storage is not touched: the caller writes the clauses where they belong."""
    # The clauses themselves are only read: no copy of each.
    template = a.template_constraint
    if not isinstance(template, StructuredClauseTemplate):
        template = list(template)
    elif a.weights is not None:
        raise ValueError("A structured clause template is a hard constraint's: it takes no weights")
    weights = checked_weights(a.weights, len(template))
    values = index_values(a.foralls)
    block = (a.init_shift_variable, a.shift_pb_variable, a.shift_bx_variable)
    if weights is not None:
        # A clause of weight 0 costs nothing whether it holds or not; its cells
        # must lie inside their variables all the same.
        weightless = [clause for clause, weight in zip(template, weights) if weight == 0]
        if weightless:
            _number_for_checks_only(a, weightless, values, block)
        template = [clause for clause, weight in zip(template, weights) if weight != 0]
        weights = [weight for weight in weights if weight != 0]
    instances = _instantiate_natively(a, template, values, weights, block)
    if instances is None:
        temp_cnf = _evaluate_on_host(a, _clause_texts(a, template, values), values)
        instances = native.number_evaluated_instances(temp_cnf, *block, weights or [])
    return NumberedClauses(instances, weights is not None), instances.auxiliary_names(a.num_formula)


def _number_for_checks_only(a: DumpArgs, template, values, block) -> None:
    """Numbers the clauses in every instance, as hard ones, and drops them."""
    if _instantiate_natively(a, template, values, None, block) is None:
        _evaluate_on_host(a, _clause_texts(a, template, values), values)


def _variable_shapes(a: DumpArgs) -> tp.List[tp.Tuple[str, int, tp.List[int]]]:
    """Name, first number and dimension sizes of every model-side variable of
    the record's state; other entries are left to the host."""
    shapes = []
    for name, variable in a.variables().items():
        try:
            first = int(as_integer(variable.st_shift))
            sizes = [int(as_integer(size)) for size in variable.indexes.values()]
        except (AttributeError, TypeError):
            continue
        shapes.append((name, first, sizes))
    return shapes


def _structured_template(a: DumpArgs, template, values, block) -> tp.Optional[StructuredClauseTemplate]:
    """The template as the engine reads it, or None when the engine leaves
    its literal texts to the host."""
    if isinstance(template, StructuredClauseTemplate):
        return template
    # A refused auxiliary is refused however many instances there are.
    native.check_auxiliary_literals(template, *block)
    shapes = [(name, sizes, first) for name, first, sizes in _variable_shapes(a)]
    read = ke.read_literal_template(template, list(values), shapes)
    return None if isinstance(read, str) else StructuredClauseTemplate(*read)


def _instantiate_natively(a: DumpArgs, template, values, weights, block):
    """The numbered instances, or None when the engine declines the template
    or its index arithmetic needs the host's integers."""
    structured = _structured_template(a, template, values, block)
    if structured is None:
        return None
    compiled = native.compile_structured_template(*structured.arrays(), len(values),
                                                  _variable_shapes(a), *block)
    if compiled is None:
        return None
    try:
        return compiled.instantiate(list(values.values()), weights or [], *block)
    except native.CellOutOfRange as error:
        raise out_of_range_error(a.eval_state, a.num_formula, *error.args) from None


def _clause_texts(a: DumpArgs, template, values: tp.Dict[str, tp.List[int]]) -> tp.List[tp.List[str]]:
    if isinstance(template, StructuredClauseTemplate):
        return template.clause_texts(list(values), _variable_shapes(a))
    return list(template)


def _evaluate_on_host(a: DumpArgs, template: tp.List[tp.List[str]], values: tp.Dict[str, tp.List[int]]) -> list:
    """All instances as one comprehension, the first index outermost. The
    values are bound as names, never written as text."""
    namespace = dict(a.eval_state)
    fors = []
    for position, (name, sequence) in enumerate(values.items()):
        # Variable names hold letters only, so these names cannot collide.
        value_name = f"_vx_values_{position}"
        namespace[value_name] = sequence
        fors.append(f"for {name} in {value_name}")
    clauses = ",".join("[" + ",".join(clause) + "]" for clause in template)
    cnf_str = "[[" + clauses + "] " + " ".join(fors) + "]"
    try:
        return eval(cnf_str, namespace)
    except IndexError as error:
        raise IndexError(f"{error} in constraint {a.num_formula}") from error
    except NameError as error:
        # Most often an index without a range in foralls.
        raise NameError(f"{error} in constraint {a.num_formula}") from error


def out_of_range_error(variables: tp.Mapping[str, tp.Any], num_formula: int, variable_name: str,
                       values: tp.Tuple[int, ...]) -> IndexError:
    """The variable's own refusal of the values, naming the constraint."""
    try:
        variables[variable_name](*values)
    except IndexError as error:
        return IndexError(f"{error} in constraint {num_formula}")
    return IndexError(f"Index values ({','.join(map(str, values))}) are out of range for variable "
                      f"{variable_name} in constraint {num_formula}")
