import keyword
import re
import sys
import traceback
import typing
from datetime import datetime
from functools import reduce
from numbers import Integral
from operator import mul

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb
import numpy as np

from vx_encoder import _vx_native as native
from vx_encoder.encode.variables import Variable, Index
from vx_encoder.encode.expressions import Expression, occurrence_type_of
from vx_encoder.encode.expression_owners import ExpressionOwner, owner_set
from vx_encoder.core.engine_assumptions import (BXPR_AUXILIARY_PREFIX, PBCT_AUXILIARY_PREFIX, PLACEHOLDER_VARIABLE,
                                                clause_template_reader, debug_shown)
from vx_encoder.core.formula_container import FormulaContainer
from vx_encoder.core.dumper import LARGEST_WEIGHT, index_values
from vx_encoder.core import pboperations, formulapb, manager, variable
from vx_encoder.core.expression_evaluator import evaluate_expression_text
from vx_encoder.encode.host_comparisons import HostComparisons
from vx_encoder._exceptions import VariableError, FormulaError, TargetError, BuildError
from vx_encoder.core.refusal import refuse, refuse_reserved_name
from vx_encoder.core.vx_logger import *  # noqa: F401,F403

# Names the expression text relies on: a variable or index of such a name
# would shadow them in every later evaluation on the host. The text uses no
# other built-in than range, so `sum`, `id` or `map` stay free.
_NAMESPACE_NAMES = frozenset(("Sum", "FormulaPB", "bx", "pb", "manager"))
_BUILTINS_IN_TEXT = frozenset(("range",))
# A float is written into the text as the host prints it; these two are no
# literals, so the evaluation names them, to refuse them as any float is.
_FLOATS_IN_TEXT = {"nan": float("nan"), "inf": float("inf")}

# Variable numbers are DIMACS literals here: 32-bit signed.
_LARGEST_LITERAL = 2 ** 31 - 1
_TARGET_CONTRADICTION = "Contradiction was detected in target"
# How the formula encoder ends its refusal of a hard constraint that can never hold.
_ENCODER_CONTRADICTION = ": Contradiction was detected: the constraint cannot hold"
# How it ends its refusal of a hard constraint that is a sum without a bound.
_ENCODER_SUM_WITHOUT_BOUND = ": a hard constraint must be a comparison or a Boolean formula, not a pseudo-Boolean sum"


def _refuse_sum_without_bound(text: str) -> typing.NoReturn:
    refuse(FormulaError, "A hard constraint needs a comparison or a Boolean formula, "
                         "not a pseudo-Boolean sum without a bound: " + text)


def _shadows_evaluation(name: str) -> bool:
    return name in _NAMESPACE_NAMES or name in _BUILTINS_IN_TEXT or keyword.iskeyword(name)


def _foralls_text(foralls: typing.Mapping[str, typing.Iterable[int]]) -> str:
    """The ranges as the formula encoder reads them: a range as written, any
    other iterable of integers (a NumPy array of any integer type, an
    iterator) as the list of its values, read once."""
    values = {name: sequence if isinstance(sequence, range) else index_values({name: sequence})[name]
              for name, sequence in foralls.items()}
    return "Foralls: " + str(values)


def _taken_reading(reading: typing.Any, declined: str) -> typing.Optional[native.ReadConstraint]:
    """The engine's reading, or None when the engine declines the text (its
    reason, a text, is written at debug level after `declined`)."""
    if isinstance(reading, str):
        log_d(declined + reading)
        return None
    return reading


def _never_and_always_holds(template) -> typing.Tuple[bool, bool]:
    """Whether the clause template never holds, and whether it always holds."""
    if isinstance(template, native.ReadConstraint):
        return template.never_holds, template.always_holds
    return isinstance(template, bx.Zero), isinstance(template, bx.One)


class Model:
    """
    Main class of pseudo-boolean model
    """

    __EXPRESSION_FORMULA_RE = re.compile("(.*),\\sline\\s(\\d+),(.*)\n(.*)")
    __BXPR_AUX: str = BXPR_AUXILIARY_PREFIX
    __PBCT_AUX: str = PBCT_AUXILIARY_PREFIX
    __DUMMY_VAR: str = PLACEHOLDER_VARIABLE

    def __init__(self, kmanager: ke.manager, name: str, use_formula_encoder: bool = False) -> None:
        """Create a pseudo-Boolean model, to be encoded into CNF or weighted CNF clauses.

        Boolean variables over named dimensions carry hard constraints, then either
        soft constraints or a target. A build hands the clause storage and a witness
        interpreter to the engine manager.

        Args:
            kmanager: The engine manager that receives what each build makes.
            name: The model's name, written into the storage.
            use_formula_encoder: Hand the description to the engine's formula encoder
                instead of assembling the clauses here.

        Raises:
            TypeError: The name is not text; every build writes it into the storage.
        """
        if not isinstance(name, str):
            refuse(TypeError, f"The model name must be text, not {name!r}")
        self._kelvo_manager = kmanager
        self._model_name = name
        self._use_formula_encoder = use_formula_encoder
        log_i(" python version : " + ke.get_python_version())
        log_i("     model name : " + str(self._model_name))
        log_i("           ksfe : " + str(self._use_formula_encoder))
        self._formula_encoder = None
        self._formula_container = None
        self._used_vars = set()
        # The model's cells are of its own kind, so that an expression tells
        # whose variables it holds.
        self._owner = ExpressionOwner(name, self._used_vars)
        self._occurrence_type = occurrence_type_of(self._owner)
        self._manager = manager.Manager()
        self._variables = {}
        self._indexes = {}
        self._formulas_dir = {
            "Sum": pboperations.Sum,
            "FormulaPB": formulapb.FormulaPB,
            "bx": bx,
            "pb": pb,
            "manager": self._manager,
        }
        self._shift_target_variable = 0
        self._is_wcnf = None
        self._template_target = None
        # The model's variables held natively, and the shapes of its constraints read so far.
        self._constraint_assembler = native.ConstraintAssembler()
        self._start_time = datetime.now()
        if not self._use_formula_encoder:
            self.create_variables(self.__DUMMY_VAR, d=1)

    def get_name(self) -> str:
        """The model's name.

        Returns:
            The name given at construction.
        """
        return self._model_name

    def create_variables(self, name: str, **dims: int) -> Variable:
        """Create a Boolean variable indexed over named dimensions.

        Args:
            name: The variable's name, letters only.
            **dims: Each dimension's name with its positive integer size; without
                dimensions the variable is one cell.

        Returns:
            The model-side variable: ``x[i, j]`` writes an occurrence, ``x(a, b)`` gives
            a cell's variable number.

        Raises:
            ValueError: The name is empty, not letters only, or shadows a name of the
                expression language; a size is not a positive integer; or the
                variable's numbers would pass 2^31 - 1, the largest literal.
            VariableError: The name is already in use.
        """
        if not name or not (name.isalpha() or name == self.__DUMMY_VAR):
            refuse(ValueError, "Variable must have a non-empty name containing only letters")
        if name in self._used_vars:
            refuse(VariableError, "Variable named " + name + " is already in use")
        if not self._use_formula_encoder:
            # The formula encoder refuses the names its own reader needs.
            self.__check_name_keeps_evaluation_working("Variable", name)
        self.__check_dimensions(name, dims)
        count = reduce(mul, dims.values(), 1)
        first_number = self.__first_number_of_a_new_variable()
        if first_number + count - 1 > _LARGEST_LITERAL:
            refuse(ValueError, "Variable " + name + " would take the numbers " + str(first_number) + " to "
                   + str(first_number + count - 1) + ", past " + str(_LARGEST_LITERAL) + ", the largest literal")
        if self._use_formula_encoder:
            self.__init_formula_encoder()
            try:
                self._formula_encoder.create_variables(name, list(dims.values()))
            except ValueError as error:
                refuse(ValueError, str(error))
            self._used_vars.add(name)
            new_variable = Variable(name, dims, first_number)
            new_variable._occurrence_type = self._occurrence_type
        else:
            self._used_vars.add(name)
            self._manager.registration_generator_variables(name)
            new_variable = Variable(name, dims, first_number)
            new_variable._occurrence_type = self._occurrence_type
            self._variables[name] = new_variable
            self._constraint_assembler.add_variable(name, list(dims.values()), first_number)
            if self._formula_container is not None:
                self._formula_container.adopt_variable(new_variable)
        self._shift_target_variable += count
        log_i("    add new var : " + name + str(dims) + " = [" + str(count) + "]")
        self._start_time = datetime.now()
        return new_variable

    def __first_number_of_a_new_variable(self) -> int:
        if self._use_formula_encoder:
            # The engine numbers the cells from 1 in creation order.
            return self._shift_target_variable + 1
        # Once the container exists it owns the numbering: a later variable
        # starts after every auxiliary block and joins the mapping.
        return (self._shift_target_variable if self._formula_container is None
                else self._formula_container.first_free_variable)

    # One name gives its index, more give a list: a checker cannot count a
    # list's names, so the general case is left to the caller.
    @typing.overload
    def get_indexes(self, indexes: typing.Tuple[str]) -> Index: ...

    @typing.overload
    def get_indexes(self, indexes: typing.Sequence[str]) -> typing.Any: ...

    def get_indexes(self, indexes: typing.Sequence[str]) -> typing.Union[Index, typing.List[Index]]:
        """Create indexes for writing occurrences such as ``x[i, j + 1]``.

        Args:
            indexes: The index names, identifiers.

        Returns:
            The one index for one name, otherwise a list of indexes in the given order.

        Raises:
            ValueError: No name is given, a name is not an identifier, or it shadows a
                name of the expression language.
            VariableError: A name is reserved for auxiliaries or used by a variable.
        """
        if len(indexes) == 0:
            refuse(ValueError, "The indexes parameter must contain a non-empty sequence of index names")
        created = []
        for name in indexes:
            if name == self.__BXPR_AUX or name == self.__PBCT_AUX:
                refuse(VariableError, "Names '" + self.__BXPR_AUX + "' and '" + self.__PBCT_AUX
                              + "' are reserved. Change the name to a valid one")
            if name in self._used_vars:
                refuse(VariableError, "Index named " + name + " is already in use")
            if not isinstance(name, str) or not name.isidentifier():
                refuse(ValueError, "Index name " + str(name) + " must be a valid identifier")
            self.__check_name_keeps_evaluation_working("Index", name)
            index = Index(name)
            self._indexes[name] = index
            created.append(index)
        return created if len(created) > 1 else created[0]

    def add_constraint(self, constraint: Expression, **foralls: typing.Iterable[typing.SupportsIndex]) -> None:
        """Add a hard constraint for every combination of the ``foralls`` values.

        Args:
            constraint: A comparison (``<=``, ``>=``, ``==`` with an integer) or a
                Boolean formula.
            **foralls: Each index's name with the integer values it takes; the first
                index is the outermost.

        Raises:
            TypeError: ``constraint`` is not an expression, a ``foralls`` value is not
                an integer, or an operand has the wrong kind (a Boolean formula in a sum
                or a product, a sum in a connective, too few or too many index values).
            TargetError: A soft constraint or a target was added before.
            FormulaError: The constraint is a sum without a bound, or it never holds.
            ValueError: The text cannot be read or names an unknown literal.
            IndexError: Index values lie outside a variable's dimensions.
        """
        if not isinstance(constraint, Expression):
            refuse(TypeError, "Variable 'constraint' must contain only objects of type 'Expression'")
        self.__refuse_other_models(constraint, "constraint")
        if self._is_wcnf is not None:
            refuse(TargetError, "Soft constraint has already been defined" if self._is_wcnf
                          else "Target has already been defined")
        shown = debug_shown()
        if shown:
            log_d("     constraint : " + str(constraint) + "___" + str(foralls))
        if self._use_formula_encoder:
            self.__init_formula_encoder()
            try:
                self._formula_encoder.add_constraint(str(constraint), _foralls_text(foralls))
            except ValueError as error:
                if str(error).endswith(_ENCODER_CONTRADICTION):
                    self.__refuse_contradiction()
                if str(error).endswith(_ENCODER_SUM_WITHOUT_BOUND):
                    _refuse_sum_without_bound(str(constraint))
                raise
        else:
            self.__fill_hard_constraint(constraint, foralls, shown)

    def add_soft_constraint(self, constraint: Expression, weight: typing.SupportsIndex = 1, minimization: bool = False,
                            **foralls: typing.Iterable[typing.SupportsIndex]) -> None:
        """Add a weighted soft constraint for every combination of the ``foralls`` values.

        Each term c·x becomes a soft literal of weight ``|weight·c|``, on the side that
        makes the sum smaller (minimisation) or larger.

        Args:
            constraint: A pseudo-Boolean sum or a variable occurrence.
            weight: The weight the terms are multiplied by.
            minimization: Prefer the sum small rather than large.
            **foralls: Each index's name with the integer values it takes.

        Raises:
            TypeError: ``constraint`` is not an expression, ``weight`` not an
                integer or ``minimization`` not a bool.
            ValueError: ``weight``, ``weight`` times a coefficient, or the weight
                limit (1 plus every soft weight written) would pass 2^63 - 1.
            FormulaError: The model has a target, or ``constraint`` is a Boolean
                formula or a comparison.
        """
        if not isinstance(constraint, Expression):
            refuse(TypeError, "Variable 'constraint' must contain only objects of type 'Expression'")
        self.__refuse_other_models(constraint, "constraint")
        # Both are written into evaluated text: only as literals of their type.
        # A plain int and bool are taken without the abstract-class test, a
        # frame of the host's per call on a road of millions of calls.
        if type(weight) is not int:
            if isinstance(weight, bool) or not isinstance(weight, Integral):
                refuse(TypeError, "The weight of a soft constraint must be an integer, not " + type(weight).__name__)
            weight = int(weight)
        if type(minimization) is not bool:
            if not isinstance(minimization, (np.bool_, Integral)):
                refuse(TypeError, "The minimization flag of a soft constraint must be a bool, not "
                       + type(minimization).__name__)
            minimization = bool(minimization)
        # A soft literal weighs |weight·coefficient|, a signed 64-bit number on both paths.
        if abs(weight) > LARGEST_WEIGHT:
            refuse(ValueError, "The weight of a soft constraint must lie between -(2^63 - 1) and 2^63 - 1, not "
                   + str(weight))
        if self._is_wcnf is not None and not self._is_wcnf:
            refuse(FormulaError, "Current model already works with CNF")
        if not constraint._soft:
            refuse(FormulaError, "Input constraint cannot be converted to a soft constraints")
        if self._use_formula_encoder:
            self.__init_formula_encoder()
            self._formula_encoder.add_soft_constraint(str(constraint), _foralls_text(foralls), weight,
                                                      minimization)
            # Only a soft constraint the encoder took makes the model weighted.
            self._is_wcnf = True
        else:
            self.__fill_soft_constraint(constraint, weight, minimization, foralls)

    @property
    def use_target(self) -> bool:
        """Is the target set in the model"""
        return self._is_wcnf is not None and not self._is_wcnf

    def add_target(self, target) -> None:
        """Keep a pseudo-Boolean sum without a bound as the model's target.

        ``build_cnf(border, minimization)`` adds it as "target at most ``border``" when
        minimising, "at least ``border``" otherwise. A new target replaces the old one.

        Args:
            target: A pseudo-Boolean sum or a variable occurrence.

        Raises:
            TypeError: ``target`` is not an expression.
            FormulaError: The model has soft constraints.
            TargetError: ``target`` is a Boolean formula or a comparison.
        """
        if not isinstance(target, Expression):
            refuse(TypeError, "Variable 'target' must contain only objects of type 'Expression'")
        self.__refuse_other_models(target, "target")
        if self._is_wcnf is not None and self._is_wcnf:
            refuse(FormulaError, "Current model already works with WCNF")
        if self._use_formula_encoder:
            self.__init_formula_encoder()
            self._formula_encoder.add_target(str(target))
        else:
            self.__fill_target(target)

    def __reset_target(self) -> None:
        if self.use_target:
            self._template_target = None

    def __fill_target(self, target) -> None:
        self.__init_formula_container()
        if not target.soft:
            refuse(TargetError, "Target is not a pseudo-boolean function without border")
        if self.use_target:
            log_w("Target already used")
        self.__reset_target()
        self._template_target = target
        self._is_wcnf = False

    # --- evaluation of constraints into clause templates ---

    def __init_formula_container(self) -> None:
        if self._formula_container is None:
            self._formula_container = FormulaContainer(self._variables, self._shift_target_variable)

    def __evaluation_namespace(self) -> dict:
        return {**_FLOATS_IN_TEXT, **self._formulas_dir, **self._indexes, **self._manager.name2genvar}

    def __evaluate(self, text: str, **overrides):
        return evaluate_expression_text(text, {**self.__evaluation_namespace(), **overrides})

    def __clause_template(self, text: str, foralls: typing.Mapping[str, typing.Sequence[int]],
                          debug_lines_shown: bool):
        """The clause template of a hard constraint or a bounded target: read by
        the engine where the text lies in its grammar, its Tseytin form
        evaluated by the host otherwise. The log level never chooses: with
        debug lines shown the host's encoding of the text only writes them."""
        template = self.__natively_read_template(text, foralls)
        if debug_lines_shown:
            self.__boolean_formula(text)
            self._manager.reset()
        if template is None:
            return self.__host_clause_template(text)
        return template

    def __host_clause_template(self, text: str):
        # The engine encodes the comparisons by their polarity, as in every text it reads.
        comparisons = HostComparisons(self._manager)
        formula = comparisons.encoded(self.__boolean_formula(text, FormulaPB=comparisons))
        return formula.tseytin(self._manager.bx_context, self.__BXPR_AUX)

    def __natively_read_template(self, text: str, foralls) -> typing.Optional[native.ReadConstraint]:
        """The engine's reading of the text, compiled for instantiation, or None
        when the engine declines it (the reason is written at debug level) or
        cannot read templates. Constraints of one shape (the diagonals of a
        board, the edges of a graph) are read once."""
        if clause_template_reader() is None:
            return None
        reading = self._constraint_assembler.read_hard(text, list(foralls), self._manager.pb_config_if_made())
        return _taken_reading(reading, "Constraint read by the host: ")

    def __boolean_formula(self, text: str, **overrides):
        formula = self.__evaluate(text, **overrides)
        if isinstance(formula, variable.Variable):
            formula = formula.to_bx()
        if isinstance(formula, pboperations.PBBaseOp):
            _refuse_sum_without_bound(text)
        if not isinstance(formula, bx.BaseExpr):
            refuse(FormulaError, "A hard constraint needs a comparison or a Boolean formula, not "
                          + type(formula).__name__ + ": " + text)
        return formula

    def __auxiliary_counts(self, template) -> typing.Tuple[int, int]:
        if isinstance(template, native.ReadConstraint):
            return template.pbct_count, template.bxpr_count
        # The constraint's own context: the Tseytin conversion named its new variables from 0.
        return self._manager.cnt_pbvar, self._manager.bx_context.fresh_variable_count(self.__BXPR_AUX)

    def __refuse_cells_out_of_range(self, template, foralls, always_holds: bool) -> None:
        """A cell the text names lies inside its variable in every instance,
        whether a clause keeps it or the encoding folds it away (a zero
        coefficient, a tautology): the caller's mistake is refused whatever
        became of the cell, as the formula encoder refuses it."""
        if isinstance(template, native.ReadConstraint):
            # The engine's reader keeps every occurrence the text calls, so
            # the instances check them all; a template without clauses has none.
            if always_holds:
                self._formula_container.refuse_cells_out_of_range(template, foralls)
            return
        kept = {str(kept_variable) for kept_variable in template.support()}
        # The cells the evaluation named are the registry's own entries with a
        # call's "(" (the encoder's auxiliaries come in blocks or without one).
        left_out = [name for name in self._manager.name2pb.single_entries() if "(" in name and name not in kept]
        if left_out:
            cells = [self._manager.add_variable(name)[0] for name in left_out]
            self._formula_container.refuse_cells_out_of_range(bx.and_s(cells), foralls)

    def __fill_hard_constraint(self, constraint, foralls: typing.Dict[str, typing.Sequence[int]],
                               debug_lines_shown: bool) -> None:
        self.__init_formula_container()
        try:
            template_constraint = self.__clause_template(str(constraint), foralls, debug_lines_shown)
            log_t("Enumerating hard utility variables")
            self.__add_hard_template(template_constraint, foralls)
        except BaseException:
            self._manager.reset()
            raise
        if not isinstance(template_constraint, native.ReadConstraint):
            # The host's evaluation filled the manager; the engine's reading left it as it was.
            self._manager.reset()

    def __add_hard_template(self, template_constraint, foralls: typing.Dict[str, typing.Sequence[int]]) -> None:
        shift_pb_variable, shift_bx_variable = self.__auxiliary_counts(template_constraint)
        never_holds, always_holds = _never_and_always_holds(template_constraint)
        if never_holds:
            self.__refuse_contradiction()
        self.__refuse_cells_out_of_range(template_constraint, foralls, always_holds)
        if always_holds:
            source, line = self.__caller_source_line()
            log_w("Redundant constraint was detected in formula " + source + ", line " + line)
        else:
            self._formula_container.add_hard_constraint(template_constraint, foralls, shift_pb_variable,
                                                        shift_bx_variable)

    def __fill_soft_constraint(self, constraint, weight: int, minimization: bool,
                               foralls: typing.Dict[str, typing.Sequence[int]]) -> None:
        self.__init_formula_container()
        evaluated = False
        try:
            text = str(constraint)
            shown = debug_shown()
            if shown:
                log_d("Building soft constraint: " + text)
            read = self.__natively_read_soft(text, foralls, weight, minimization)
            if read is None or shown:
                # With debug lines shown the host's evaluation only writes them.
                evaluated = True
                template_constraint, weights = self.__evaluate(str((weight * constraint).maxsat(minimization)))
            if read is None:
                self._formula_container.add_soft_formula(template_constraint, weights, foralls, 0, 0)
            else:
                self._formula_container.add_soft_formula(read, read.weights, foralls, 0, 0)
            self._is_wcnf = True
        finally:
            if evaluated:
                # The host's evaluation filled the manager; the engine's reading leaves it as it was.
                self._manager.reset()

    def __natively_read_soft(self, text: str, foralls, weight: int,
                             minimization: bool) -> typing.Optional[native.ReadConstraint]:
        """The engine's reading of a soft constraint's term as weighted unit
        clauses, or None when the host evaluates it (the reason is written at
        debug level) or the engine cannot read templates."""
        if clause_template_reader() is None:
            return None
        return _taken_reading(self._constraint_assembler.read_soft(text, list(foralls), weight, minimization),
                              "Soft constraint read by the host: ")

    def __build_target(self, border: int, minimization: bool) -> None:
        self.__init_formula_container()
        try:
            if isinstance(border, Integral):
                border = int(border)  # written into the text as a literal
            bounded = self._template_target <= border if minimization else self._template_target >= border
            log_i("Building target")
            template_constraint = self.__clause_template(str(bounded), {}, debug_shown())
            log_d("Enumerating target utility variables")
            shift_pb_variable, shift_bx_variable = self.__auxiliary_counts(template_constraint)
            never_holds, always_holds = _never_and_always_holds(template_constraint)
            if never_holds:
                refuse(FormulaError, _TARGET_CONTRADICTION)
            self.__refuse_cells_out_of_range(template_constraint, {}, always_holds)
            if always_holds:
                log_w("Redundant constraint was detected in target")
            else:
                self._formula_container.add_target_constraint(template_constraint, {}, shift_pb_variable,
                                                              shift_bx_variable)
        finally:
            self._manager.reset()

    def __refuse_other_models(self, expression: Expression, what: str) -> None:
        # Its text names variables by name only: another model's cell would
        # be read as this model's cell of that name.
        owners = expression._owners
        if owners is None or owners is self._owner:
            return
        text = str(expression)
        found = [(name, owner.model_name) for owner in owner_set(owners) if owner is not self._owner
                 for name in owner.names_in(text)]
        # A name this model lacks is surely foreign; a shared name is named when no other is.
        surely_foreign = [(name, model) for name, model in found if name not in self._used_vars]
        names = ", ".join(f"{name} of model {model}" for name, model in surely_foreign or found)
        refuse(VariableError, f"The {what} holds variables of another model: {names}; "
                              f"a model's constraints and target name only its own variables")

    def __refuse_contradiction(self) -> typing.NoReturn:
        source, line = self.__caller_source_line()
        refuse(FormulaError, "Contradiction was detected in formula " + source + ", line " + line)

    def __caller_source_line(self) -> typing.Tuple[str, str]:
        """Source text and line number of the statement outside this module that called the model."""
        frame = sys._getframe(1)
        while frame is not None and frame.f_code.co_filename == __file__:
            frame = frame.f_back
        if frame is None:
            return "", ""
        entry = traceback.format_stack(frame, limit=1)[0]
        if not entry.endswith("\n"):
            entry += "\n"
        if entry.count("\n") < 2:
            entry += "\n"
        match = self.__EXPRESSION_FORMULA_RE.match(entry)
        if match is None:
            return "", ""
        return match.group(4).strip(), match.group(2).strip()

    # --- builds ---

    def __init_formula_encoder(self) -> None:
        if self._formula_encoder is None:
            if self._kelvo_manager is None:
                refuse(BuildError, "Kelvo manager is not set or empty")
            self._formula_encoder = self._kelvo_manager.create_formula_encoder(self._model_name)

    def build_cnf(self, border: typing.Optional[int] = None, minimization: typing.Optional[bool] = None) -> bool:
        """Build the CNF and register it and its witness interpreter with the engine manager.

        Args:
            border: The target's bound; required with a target on the
                clause-assembly path (with the formula encoder, a target without
                it stays the encoder's objective).
            minimization: Bound the target from above (True) or below (False);
                given together with ``border``.

        Returns:
            True when the witness interpreter's tables were built, False for an empty
            variable mapping.

        Raises:
            BuildError: The model has soft constraints, a target lacks its border or
                direction, or nothing was added to build.
            FormulaError: The bounded target never holds.
        """
        if self._is_wcnf:
            refuse(BuildError, "This expression is defined for WCNF format")
        if self.use_target:
            if border is None or minimization is None:
                refuse(BuildError, "Border or minimization arguments are not defined, but target is set")
            self.__build_target(border, minimization)
        log_i("      CNF build : started. Model <" + str(self._model_name) + ">; Target variables = "
              + str(self._shift_target_variable - 1))
        bound = () if border is None or minimization is None else (border, minimization)
        storage = self.__generated_storage("build_cnf_formula", bound)
        result = self.__register_build(storage, "CNF storage is empty")
        if result is None:
            return False
        suffix = " (formula encoder)." if self._use_formula_encoder else "."
        log_i("         action : CNF build finished" + suffix + " Duration = " + self.__duration())
        return result

    def build_wcnf(self) -> bool:
        """Build the weighted CNF and register it and its witness interpreter with the engine manager.

        With the formula encoder, a target stays the encoder's objective and is not
        written; a warning says so.

        Returns:
            True when the witness interpreter's tables were built, False for an empty
            variable mapping.

        Raises:
            BuildError: The model has no soft constraint.
        """
        if not self._is_wcnf:
            refuse(BuildError, "This expression is defined for CNF format")
        log_i("     WCNF build : started. Model <" + str(self._model_name) + ">; Target variables = "
              + str(self._shift_target_variable - 1))
        storage = self.__generated_storage("build_wcnf_formula")
        result = self.__register_build(storage, "WCNF storage is empty")
        if result is None:
            return False
        log_i("         action : WCNF build finished" + ("(formula encoder)." if self._use_formula_encoder else "."))
        return result

    def __generated_storage(self, container_build: str, bound: tuple = ()):
        """The storage of the path: generated by the formula encoder, or completed by the container.

        The formula encoder bounds its target by the border and direction of
        `bound` when one is given, as the container does."""
        if self._use_formula_encoder:
            self.__init_formula_encoder()
            if bound:
                border, minimization = bound
                bound = (int(border) if isinstance(border, Integral) else border, bool(minimization))
            try:
                self._formula_encoder.generate_cnf(*bound)
            except ValueError as error:
                if str(error) == _TARGET_CONTRADICTION:
                    refuse(FormulaError, _TARGET_CONTRADICTION)
                raise
            if not bound and self._formula_encoder.get_objective() is not None:
                # A target is no clause without its bound; the build must not lose it unsaid.
                log_w("The target is not written into the " + ("WCNF" if self._is_wcnf else "CNF")
                      + ": the formula encoder keeps it as its objective")
            return self._formula_encoder.get_cnf_storage()
        self.__check_formula_container()
        getattr(self._formula_container, container_build)(self._model_name)
        if self.use_target:
            # This build's target stays in the storage; the next build replaces it.
            self._formula_container.reset_target()
        return self._formula_container.cnf_storage()

    def __check_formula_container(self) -> None:
        if self._formula_container is None:
            refuse(BuildError, "The model doesn't contain any formula container")

    def __register_build(self, storage, empty_storage_message: str):
        """Hands the storage and a witness interpreter to the engine manager.

        Returns the result of building the interpreter's tables, or None when the
        model has no variable mapping."""
        if storage is None:
            refuse(BuildError, empty_storage_message)
        if self._kelvo_manager is None:
            refuse(BuildError, "Kelvo manager is not set or empty")
        self._kelvo_manager.set_cnf_storage(storage)
        var_mapping = self.get_var_mapping()
        if var_mapping is None:
            log_e("Variable mapping is empty")
            return None
        interpreter = ke.witness_interpreter()
        interpreter.set_var_mapping(var_mapping)
        interpreter.set_auxiliary_vars([self.__BXPR_AUX, self.__PBCT_AUX])
        result = interpreter.build_mapping_tables(True)
        if result:
            self._kelvo_manager.set_witness_interpreter(interpreter)
        return result

    def __duration(self) -> str:
        elapsed = datetime.now() - self._start_time
        try:
            return (datetime.min + elapsed).strftime("%H:%M:%S.%f")[:-3]
        except OverflowError:  # the clock was set back
            return "-" + (datetime.min - elapsed).strftime("%H:%M:%S.%f")[:-3]

    def get_cnf_storage(self) -> typing.Optional[ke.wcnf_storage]:
        """The model's clause storage.

        Returns:
            The storage the builds fill, or None before the first constraint.
        """
        if self._use_formula_encoder:
            return None if self._formula_encoder is None else self._formula_encoder.get_cnf_storage()
        return None if self._formula_container is None else self._formula_container.cnf_storage()

    def get_var_mapping(self) -> typing.Optional[ke.var_mapping]:
        """The mapping of variable names (``x[1,2]``, auxiliaries) to variable numbers.

        Returns:
            A new engine mapping with its inverse built, or None while the model has no
            constraint.
        """
        if self._use_formula_encoder:
            return None if self._formula_encoder is None else self._formula_encoder.get_var_mapping()
        if self._formula_container is None:
            return None
        var_mapping = self._formula_container.var_mapping()
        if len(var_mapping) == 0:
            return None
        var_mapping.build_inverse_map()
        return var_mapping

    # --- witnesses, metrics and preliminary values ---

    def __has_formula_encoder(self) -> bool:
        return bool(self._use_formula_encoder) and self._formula_encoder is not None

    def save_metrics_json(self, filename: str):
        """Write the formula encoder's metrics as JSON.

        Args:
            filename: The file to write.

        Returns:
            The encoder's result; False without a formula encoder.
        """
        return self._formula_encoder.save_metrics_json(filename) if self.__has_formula_encoder() else False

    def save_metrics_csv(self, filename: str):
        """Write the formula encoder's metrics as CSV.

        Args:
            filename: The file to write.

        Returns:
            The encoder's result; False without a formula encoder.
        """
        return self._formula_encoder.save_metrics_csv(filename) if self.__has_formula_encoder() else False

    def reset(self) -> None:
        """Make the formula encoder forget everything; nothing happens without one.

        The forgotten variables' names and numbers are free again.
        """
        if self.__has_formula_encoder():
            self._formula_encoder.reset()
            # The encoder forgot its variables: their names and numbers are free again.
            self._used_vars.clear()
            self._shift_target_variable = 0

    def set_witness(self, witness) -> None:
        """Hand a solver's witness to the formula encoder; nothing happens without one.

        Args:
            witness: The witness, passed on unchanged.
        """
        if self.__has_formula_encoder():
            self._formula_encoder.set_witness(witness)

    def set_another_witness(self, witness) -> None:
        """Hand a second witness to the formula encoder; nothing happens without one.

        Args:
            witness: The witness, passed on unchanged.
        """
        if self.__has_formula_encoder():
            self._formula_encoder.set_another_witness(witness)

    def check_another_witness(self) -> bool:
        """Ask the formula encoder whether the other witness agrees with the first.

        Returns:
            The encoder's answer; False without a formula encoder.
        """
        return self._formula_encoder.check_another_witness() if self.__has_formula_encoder() else False

    def get_var_index(self, var: int) -> int:
        """The index of a variable number, which is the number itself.

        Args:
            var: A variable number.

        Returns:
            ``var`` unchanged.
        """
        return var

    def add_preliminary_var_value(self, var: int, negative=False):
        """Insert a preliminary value of one variable into the engine manager's storage.

        The value is logged at debug level whatever follows. While the engine
        manager holds no storage (before a build) nothing is inserted and nothing
        is checked; a storage checks what it takes.

        Args:
            var: The variable number.
            negative: Insert the negated number.

        Raises:
            ValueError: The engine manager holds a storage and the value is 0, which
                names no literal, or lies outside the 32-bit literals.
        """
        value = -var if negative else var
        log_d("Preliminary variable value was added: " + str(value))
        if self._kelvo_manager is None:
            return None
        storage = self._kelvo_manager.get_cnf_storage()
        if storage is not None:
            storage.insert_prefatory_value(value)
        return None

    # --- checks ---

    def __check_name_keeps_evaluation_working(self, kind: str, name: str) -> None:
        if name != self.__DUMMY_VAR and _shadows_evaluation(name):
            refuse_reserved_name(kind, name)

    def __check_dimensions(self, name: str, dims: typing.Dict[str, int]) -> None:
        for dimension, size in dims.items():
            if isinstance(size, bool) or not isinstance(size, Integral) or size <= 0:
                refuse(ValueError, "Dimension " + dimension + " of variable " + name
                              + " must have a positive integer size, not " + repr(size))
