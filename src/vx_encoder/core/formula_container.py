"""The clauses of one pseudo-Boolean model, collected into one engine storage,
and the variable mapping of its model variables and auxiliary variables.

Every constraint is instantiated as soon as it arrives, so that a bad
constraint is refused by the call that adds it. Its numbered clauses are
flushed when the next constraint of its kind arrives or a build starts. The
flushed clauses go into the storage in batches, in flush order, before
anything reads the storage (a build, the target, `cnf_storage`): a model of
many small constraints pays one write per batch, not one per constraint. A
write either writes every clause of its batch or leaves the storage as it was.
"""

import typing as tp
from dataclasses import dataclass, field
from functools import reduce
from operator import index as as_integer
from operator import mul

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx
from vx_encoder import _vx_native as native
from vx_encoder.core.mapping_parts import MappingPart, add_part, entries_of, largest_number_of
from vx_encoder.core.structured_clause_template import StructuredClauseTemplate
from vx_encoder.core.dumper import (LARGEST_WEIGHT, DeferredStateDumpArgs, DumpArgs, NumberedClauses, checked_weights,
                                    index_values, instance_count, numbered_clauses, out_of_range_error, reduce_ex)

# Flushed clauses wait for their write until a batch holds this many clauses
# or constraints: the storage takes them in one call, and a batch of big
# constraints is written before it costs much memory.
_BATCH_CLAUSES = 1 << 16
_BATCH_CONSTRAINTS = 1 << 12

if tp.TYPE_CHECKING:
    from vx_encoder.encode.variables import Variable


@dataclass
class _PendingConstraints:
    """The constraints of one kind not yet written into the storage: the
    flushed ones (records before `pending_from`), then the pending ones with
    their auxiliary mappings."""
    soft: bool
    records: tp.List[native.InstantiatedClauses] = field(default_factory=list)
    pending_from: int = 0
    mappings: tp.List[MappingPart] = field(default_factory=list)
    count_clauses: int = 0  # of the pending ones
    flushed_clauses: int = 0  # of the flushed ones
    flushes: int = 0


@dataclass
class _Target:
    """Where the target's clauses, mapping part and auxiliary block sit, so
    that a new target can replace them and nothing added after it shares its
    numbers."""
    first_clause: int
    count_clauses: int
    mapping: MappingPart
    block_end: int
    withdrawn: bool = False


class FormulaContainer:
    """The clauses of one pseudo-Boolean model, collected into one engine storage with the variable mapping.

    Args:
        target_variables: The model's variables by name, kept as the same dict.
        shift_target_variable: The first number of the auxiliary blocks.
    """

    def __init__(self, target_variables, shift_target_variable: int):
        self._target_variables = target_variables
        self._variable_shapes: tp.List[tp.Tuple[str, tp.List[int], int]] = []
        self._cur_init_shift_variable = shift_target_variable
        self._num_formula = 0
        self._num_clauses = 0
        self._target_num_clauses = 0
        self._hard = _PendingConstraints(soft=False)
        self._soft = _PendingConstraints(soft=True)
        self._cnf_stor = self.__create_cnf_storage()
        # A model variable's part is the variable itself: its cells are
        # spelled out only when the whole mapping is asked for.
        self._mappings: tp.List[MappingPart] = list(target_variables.values())
        self._target: tp.Optional[_Target] = None
        self.hard_weight = 1

    @property
    def mapping(self) -> tp.Dict[str, int]:
        """The variable mapping: names (``x[1,2]``, auxiliaries) to numbers."""
        return reduce_ex(entries_of(part) for part in self._mappings)

    def var_mapping(self) -> ke.var_mapping:
        """The engine's mapping of the same entries, in the same order, filled
        in bulk: a model variable's cells, or a constraint's auxiliaries, go in with one call."""
        var_mapping = ke.var_mapping()
        for part in self._mappings:
            add_part(var_mapping, part)
        return var_mapping

    @property
    def largest_variable(self) -> int:
        """The largest number of the mapping, 0 when it is empty."""
        return max((largest_number_of(part) for part in self._mappings), default=0)

    @property
    def num_clauses(self) -> int:
        """The number of clauses of the constraints added."""
        return self._num_clauses

    @property
    def first_free_variable(self) -> int:
        """Where the next constraint's auxiliary block, or an adopted
        variable's cells, begin: after every block, the target's included."""
        if self._target is None:
            return self._cur_init_shift_variable
        return max(self._cur_init_shift_variable, self._target.block_end)

    def cnf_storage(self) -> tp.Optional[ke.wcnf_storage]:
        """The container's storage, the same object at every call, holding every flushed clause.

        Returns:
            The ``wcnf_storage``.
        """
        self.__write_flushed()
        return self._cnf_stor

    def add_hard_constraint(self, template_constraint: bx.BaseExpr, foralls: tp.Dict[str, tp.Sequence[int]],
                            shift_pb_variable: int, shift_bx_variable: int) -> None:
        """Instantiate a hard constraint for every combination of its ``foralls`` values.

        Its clauses join the storage at the next hard constraint or at a build.

        Args:
            template_constraint: The clause template.
            foralls: Each index's name with its integer values.
            shift_pb_variable: The encoder's auxiliaries per instance (the engine's
                reading: its ``pbct_count``).
            shift_bx_variable: The Tseytin auxiliaries per instance (the engine's
                reading: its ``bxpr_count``).

        Raises:
            ValueError: A literal is neither a variable call nor an auxiliary name, or
                an auxiliary lies outside its instance's block.
            IndexError: Index values lie outside a variable's dimensions.
            TypeError: A ``foralls`` value is not an integer.
        """
        if isinstance(template_constraint, native.ReadConstraint):
            # The counts are the reading's own, as the model read them.
            instances, _, mapping, block_end = self.__read_constraint_instances(
                template_constraint, None, foralls, self.first_free_variable, shift_pb_variable + shift_bx_variable)
        else:
            _, clauses, mapping, block_end = self.__inner_add_constraint(
                template_constraint, None, foralls, shift_pb_variable, shift_bx_variable, self.first_free_variable)
            instances = clauses.instances
        self.__flush_and_enqueue(self._hard, instances, mapping, block_end)

    def add_target_constraint(self, template_constraint: bx.BaseExpr, foralls: tp.Dict[str, tp.Sequence[int]],
                              shift_pb_variable: int, shift_bx_variable: int) -> None:
        """Instantiates the target at once, replacing an earlier target: its
        block starts after the blocks of the hard and soft constraints."""
        _, clauses, mapping, block_end = self.__inner_add_constraint(
            template_constraint, None, foralls, shift_pb_variable, shift_bx_variable,
            self._cur_init_shift_variable)
        self.__write_flushed()
        first_clause = self._cnf_stor.get_hard_clause_count()
        self.__write_all([clauses])
        if self._target is not None:
            # The earlier target's clauses stand before the new ones.
            first_clause -= self._target.count_clauses
            self.__drop_target()
        target = _Target(first_clause, len(clauses), mapping, block_end)
        self._mappings.append(target.mapping)
        self._target = target
        self._target_num_clauses = target.count_clauses

    def reset_target(self) -> None:
        """Withdraws the target. Its clauses and mapping part stay in place for
        the build that has just been made; the next target or build removes
        them first."""
        if self._target is not None:
            self._target.withdrawn = True

    def add_soft_formula(self, template_constraint: bx.BaseExpr, weights: tp.Sequence[int],
                         foralls: tp.Dict[str, tp.Sequence[int]], shift_pb_variable: int,
                         shift_bx_variable: int) -> None:
        """Instantiate a soft constraint for every combination of its ``foralls`` values.

        Args:
            template_constraint: The clause template.
            weights: One weight per template clause (the engine's reading: its ``weights``).
            foralls: Each index's name with its integer values.
            shift_pb_variable: The encoder's auxiliaries per instance.
            shift_bx_variable: The Tseytin auxiliaries per instance.

        Raises:
            ValueError: A literal cannot be numbered, the weights do not fit, a
                clause's weight or the weight limit would pass 2^63 - 1.
            IndexError: Index values lie outside a variable's dimensions.
            TypeError: A ``foralls`` value is not an integer.
        """
        if isinstance(template_constraint, native.ReadConstraint):
            # The engine's reading: weighted unit clauses of cells, without
            # auxiliaries, its weights (the caller's `weights`) its own.
            instances, written_weight, mapping, block_end = self.__read_constraint_instances(
                template_constraint, weights, foralls, self.first_free_variable, 0)
        else:
            dump_args, clauses, mapping, block_end = self.__inner_add_constraint(
                template_constraint, weights, foralls, shift_pb_variable, shift_bx_variable, self.first_free_variable)
            instances, written_weight = clauses.instances, self.__written_weight(dump_args)
        if self.hard_weight + written_weight > LARGEST_WEIGHT:
            raise ValueError("the weight limit, 1 plus every soft weight, is out of range: it passes 2^63 - 1")
        self.__flush_and_enqueue(self._soft, instances, mapping, block_end)
        self.hard_weight += written_weight

    def refuse_cells_out_of_range(self, template_constraint, foralls: tp.Dict[str, tp.Sequence[int]]) -> None:
        """Numbers the template's cells in every instance and keeps nothing: a
        cell outside its variable is refused as in the constraint's own clauses.

        Raises:
            IndexError: Index values lie outside a variable's dimensions.
        """
        self.__inner_add_constraint(template_constraint, None, foralls, 0, 0, self.first_free_variable)

    def adopt_variable(self, variable: "Variable") -> None:
        """Takes in a model variable created after the container: its cells
        must begin at the first free number, which moves past them, and its
        map joins the mapping."""
        first_free = self.first_free_variable
        if variable.st_shift != first_free:
            raise ValueError(f"Variable {variable.name} starts at number {variable.st_shift}, but the container's "
                             f"first free number is {first_free}")
        self._mappings.append(variable)
        self._cur_init_shift_variable = first_free + reduce(mul, variable.indexes.values(), 1)

    def build_cnf_formula(self, name_formula: str) -> None:
        """Write the pending hard constraints and the header (name, variable and clause counts).

        Args:
            name_formula: The model's name.
        """
        self.__drop_withdrawn_target()
        self.__flush(self._hard, write=True)
        self.__write_header(name_formula)

    def build_wcnf_formula(self, name_formula: str) -> None:
        """Write the pending hard and soft constraints, the header and the weight limit.

        Args:
            name_formula: The model's name.
        """
        self.__drop_withdrawn_target()
        self.__flush(self._hard, write=True)
        self.__flush(self._soft, write=True)
        self.__write_header(name_formula)
        self._cnf_stor.set_weight_limit(self.hard_weight)

    def __write_header(self, name_formula: str) -> None:
        # The count of what is stored: pending soft constraints at a CNF
        # build are not, a withdrawn target no longer is.
        self._cnf_stor.set_model_name(name_formula)
        self._cnf_stor.set_variable_count(self.largest_variable)
        self._cnf_stor.set_clause_count(len(self._cnf_stor))

    def __inner_add_constraint(self, template_constraint, weights, foralls, shift_pb_variable, shift_bx_variable,
                               init_shift_variable):
        """Builds and instantiates one constraint's record, its auxiliary
        block from init_shift_variable on; returns it (None for the engine's
        reading, which needs none) with its numbered clauses, its auxiliary
        mapping and the end of its block. Changes nothing of the container."""
        if isinstance(template_constraint, native.ReadConstraint):
            # Its auxiliary counts and weights are the reading's own.
            instances, written_weight, mapping, block_end = self.__read_constraint_instances(
                template_constraint, weights, foralls, init_shift_variable,
                template_constraint.pbct_count + template_constraint.bxpr_count)
            return None, NumberedClauses(instances, weights is not None, written_weight), mapping, block_end
        shift_pb_variable = _auxiliary_count(shift_pb_variable)
        shift_bx_variable = _auxiliary_count(shift_bx_variable)
        template = self.__read_formula(template_constraint, foralls) if weights is None else None
        if template is None:
            template = self.__bx2list_clauses(template_constraint)
        dump_args = DeferredStateDumpArgs(
            self._target_variables,
            template_constraint=template,
            weights=weights,
            foralls=dict(foralls),
            num_formula=self._num_formula,
            init_shift_variable=init_shift_variable,
            shift_pb_variable=shift_pb_variable,
            shift_bx_variable=shift_bx_variable,
            offset_shift_for_formula=0,
            cnf_stor=None,  # the numbered clauses go straight into the container's storage
        )
        # Read each range of values once; the record keeps what was read.
        dump_args.foralls = index_values(dump_args.foralls)
        clauses, mapping = numbered_clauses(dump_args)
        block_end = init_shift_variable + instance_count(dump_args.foralls) * (shift_pb_variable + shift_bx_variable)
        return dump_args, clauses, mapping, block_end

    def __read_constraint_instances(self, read: native.ReadConstraint, weights: tp.Optional[tp.Sequence[int]], foralls,
                                    init_shift_variable: int, block_size: int):
        """The engine's reading numbered natively, or, where its index
        arithmetic passes 64 bits, its literal texts evaluated by the host:
        its instances, their soft weight in all, its auxiliary mapping and the
        end of its block (block_size auxiliaries per instance). weights: a
        soft reading's own, None for a hard one."""
        # Most soft constraints have no foralls: one instance, no values to read.
        values = index_values(foralls) if foralls else {}
        try:
            instances = read.instantiate(list(values.values()), init_shift_variable)
        except native.CellOutOfRange as error:
            raise out_of_range_error(self._target_variables, self._num_formula, *error.args) from None
        count = instance_count(values) if values else 1
        block_end = init_shift_variable + count * block_size
        if instances is None:
            dump_args = DeferredStateDumpArgs(
                self._target_variables, template_constraint=read.clause_texts(list(values)),
                weights=weights, foralls=values, num_formula=self._num_formula,
                init_shift_variable=init_shift_variable, shift_pb_variable=read.pbct_count,
                shift_bx_variable=read.bxpr_count, offset_shift_for_formula=0, cnf_stor=None)
            clauses, mapping = numbered_clauses(dump_args)
            instances = clauses.instances
        else:
            # A constraint without auxiliaries has no names to keep.
            mapping = instances.auxiliary_names(self._num_formula) if block_end > init_shift_variable else {}
        return instances, 0 if weights is None else count * sum(weights), mapping, block_end

    def __flush_and_enqueue(self, pending: _PendingConstraints, instances: native.InstantiatedClauses,
                            mapping: MappingPart, block_end: int) -> None:
        """Flushes the pending constraints of the kind, and the new one becomes pending."""
        self.__flush(pending)
        count_clauses = instances.clause_count
        pending.records.append(instances)
        if mapping:  # a constraint without auxiliaries adds nothing to the mapping
            pending.mappings.append(mapping)
        pending.count_clauses += count_clauses
        self._cur_init_shift_variable = block_end
        self._num_clauses += count_clauses
        self._num_formula += 1

    @staticmethod
    def __written_weight(dump_args: DumpArgs) -> int:
        # Every instance writes each clause of non-zero weight once.
        weights = checked_weights(dump_args.weights, len(dump_args.template_constraint))
        return instance_count(dump_args.foralls) * sum(weights)

    def __flush(self, pending: _PendingConstraints, write: bool = False) -> None:
        """Flushes the pending constraints of a kind; with write, or once the
        batch is full, writes every flushed clause. A failed write changes nothing."""
        if pending.count_clauses > 0:
            flushed_clauses = pending.flushed_clauses + pending.count_clauses
            if write or flushed_clauses >= _BATCH_CLAUSES or len(pending.records) >= _BATCH_CONSTRAINTS:
                self.__write_flushed(flushing=pending)
            else:
                pending.pending_from = len(pending.records)
                pending.flushed_clauses = flushed_clauses
            if pending.mappings:
                self._mappings.extend(pending.mappings)
                pending.mappings.clear()
            pending.count_clauses = 0
            pending.flushes += 1
        elif write:
            self.__write_flushed()

    def __write_flushed(self, flushing: tp.Optional[_PendingConstraints] = None) -> None:
        """Writes the flushed clauses, and the pending ones of flushing, into
        the storage: each kind in flush order, all or none."""
        written = [(pending, len(pending.records) if pending is flushing else pending.pending_from)
                   for pending in (self._hard, self._soft)]
        batches = [NumberedClauses(_joined(pending.records[:count]), pending.soft)
                   for pending, count in written if count]
        if batches:
            self.__write_all(batches)
        for pending, count in written:
            del pending.records[:count]
            pending.pending_from = 0
            pending.flushed_clauses = 0

    def __write_all(self, records: tp.Sequence[NumberedClauses]) -> None:
        """Writes the records' clauses into the storage, all or none."""
        hard_before = self._cnf_stor.get_hard_clause_count()
        soft_before = self._cnf_stor.get_soft_clause_count()
        try:
            for clauses in records:
                clauses.write_into(self._cnf_stor)
        except BaseException:
            self._cnf_stor.remove_hard_clauses(hard_before, self._cnf_stor.get_hard_clause_count() - hard_before)
            self._cnf_stor.remove_soft_clauses(soft_before, self._cnf_stor.get_soft_clause_count() - soft_before)
            raise

    def __drop_withdrawn_target(self) -> None:
        if self._target is not None and self._target.withdrawn:
            self.__drop_target()

    def __drop_target(self) -> None:
        target = self._target
        if target is None:
            return
        self.__write_flushed()
        self._cnf_stor.remove_hard_clauses(target.first_clause, target.count_clauses)
        self._mappings = [part for part in self._mappings if part is not target.mapping]
        self._target = None
        self._target_num_clauses = 0

    def __read_formula(self, formula, foralls) -> tp.Optional[StructuredClauseTemplate]:
        """A hard constraint's formula in clause form (the host road's) as the
        engine reads it, its literal texts kept there; None when the engine
        leaves them to the host, or for a template of another kind."""
        if isinstance(formula, StructuredClauseTemplate) or not isinstance(formula, bx.BaseExpr):
            return None
        read = ke.read_formula_template(formula, list(foralls), self.__variable_shapes())
        return None if isinstance(read, str) else StructuredClauseTemplate(*read)

    def __variable_shapes(self) -> tp.List[tp.Tuple[str, tp.List[int], int]]:
        """The model's variables as the engine's readers take them, made again
        only when the model has added a variable: the model only adds them."""
        if len(self._variable_shapes) != len(self._target_variables):
            self._variable_shapes = [(name, list(variable.indexes.values()), variable.st_shift)
                                     for name, variable in self._target_variables.items()]
        return self._variable_shapes

    @staticmethod
    def __bx2list_clauses(bx_clauses) -> tp.Sequence[tp.Sequence[str]]:
        if isinstance(bx_clauses, StructuredClauseTemplate):
            return bx_clauses
        # Walked natively: the formula's clauses as their literal texts.
        return ke.literal_texts(bx_clauses)

    def __create_cnf_storage(self) -> ke.wcnf_storage:
        return ke.wcnf_storage()


def _joined(instances: tp.List[native.InstantiatedClauses]) -> native.InstantiatedClauses:
    return instances[0] if len(instances) == 1 else native.joined_instances(instances)


def _auxiliary_count(count: int) -> int:
    count = int(as_integer(count))
    if count < 0:
        raise ValueError(f"Auxiliary variable counts must not be negative, got {count}")
    return count
