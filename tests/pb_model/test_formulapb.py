import itertools
import random

import pytest
from pysat.solvers import Solver

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb
from vx_encoder.core.formula_container import FormulaContainer
from vx_encoder.core.formulapb import FormulaPB
from vx_encoder.core.manager import Manager
from vx_encoder.core.pboperations import Sum
from vx_encoder.encode.variables import Index, Variable

from engine_log_capture import debug_lines  # noqa: F401  (fixture)

LEQ, GEQ, BOTH = pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH
HOLDS = {LEQ: lambda total, bound: total <= bound, GEQ: lambda total, bound: total >= bound,
         BOTH: lambda total, bound: total == bound}


@pytest.fixture(params=["bulk", "per_literal"])
def conversion(request, monkeypatch):
    """Runs a test with the engine's bulk calls (terms as pairs, clauses
    converted at once) and with the calls used for an engine without them
    (a weighted literal per term, a conversion per literal)."""
    if request.param == "per_literal":
        monkeypatch.delattr(bx, "clauses_to_formula")
        monkeypatch.delattr(pb.PBConstraint, "from_numbers")
    return request.param


@pytest.fixture
def manager():
    manager = Manager()
    manager.registration_generator_variables("x")
    return manager


def occurrences(manager, count):
    x = manager.name2genvar["x"]
    return [x(i) for i in range(count)]


def literal_of(formula):
    if isinstance(formula, bx.Variable):
        return str(formula), True
    assert isinstance(formula, bx.Not)
    (variable,) = formula.get_args()
    assert isinstance(variable, bx.Variable)
    return str(variable), False


def clauses_of(formula):
    """The clauses of a formula in clause form, as lists of (name, positive)."""
    if isinstance(formula, bx.One):
        return []
    if isinstance(formula, bx.Zero):
        return [[]]
    if isinstance(formula, bx.Or):
        return [[literal_of(argument) for argument in formula.get_args()]]
    if isinstance(formula, bx.And):
        return [clause for argument in formula.get_args() for clause in clauses_of(argument)]
    return [[literal_of(formula)]]


def extendable_assignments(formula, input_names):
    """The assignments of the inputs that extend to a model of the formula."""
    clauses = clauses_of(formula)
    numbers = {name: k + 1 for k, name in enumerate(input_names)}
    for clause in clauses:
        for name, _ in clause:
            numbers.setdefault(name, len(numbers) + 1)
    numbered = [[numbers[name] if positive else -numbers[name] for name, positive in clause] for clause in clauses]
    with Solver(name="minisat22", bootstrap_with=numbered) as solver:
        return {values for values in itertools.product([False, True], repeat=len(input_names))
                if solver.solve(assumptions=[numbers[name] if value else -numbers[name]
                                             for name, value in zip(input_names, values)])}


def random_comparison(seed, manager):
    """A term over up to 9 variables with positive, negative, zero and repeated
    entries, a comparator and a bound at an edge of the term's range or inside it."""
    rng = random.Random(seed)
    variables = occurrences(manager, rng.randint(1, 9))

    def draw_coefficient():
        return rng.choice([-5, -3, -1, 0, 1, 1, 2, 4, 7]) if rng.random() < 0.5 else rng.randint(-9, 12)

    entries = [(rng.choice(variables), draw_coefficient()) for _ in range(rng.randint(1, 12))]
    pieces = [coefficient * variable.to_pb() for variable, coefficient in entries]
    term = pieces[0]
    for piece in pieces[1:]:
        term = term + piece if rng.random() < 0.5 else term - (-1 * piece)
    if rng.random() < 0.3:
        term = Sum(term, 0 * variables[0].to_pb())
    low = sum(min(0, c) for _, c in entries)
    high = sum(max(0, c) for _, c in entries)
    edges = [low - 1, low, low + 1, high - 1, high, high + 1]
    bound = rng.choice(edges) if rng.random() < 0.3 else rng.randint(low, high)
    return term, rng.choice([LEQ, GEQ, BOTH]), bound, variables, entries


@pytest.mark.parametrize("seed", range(60))
def test_clauses_hold_exactly_when_the_comparison_holds(seed, manager, conversion):
    term, comparator, bound, variables, entries = random_comparison(seed, manager)
    formula = FormulaPB(term, comparator, bound).to_bx(manager)
    names = [variable.name for variable in variables]
    expected = set()
    for values in itertools.product([False, True], repeat=len(names)):
        value_of = dict(zip(names, values))
        total = sum(coefficient for variable, coefficient in entries if value_of[variable.name])
        if HOLDS[comparator](total, bound):
            expected.add(values)
    assert extendable_assignments(formula, names) == expected


def auxiliary_names_in_reading_order(formula):
    seen = []
    for clause in clauses_of(formula):
        for name, _ in clause:
            if name.startswith("_pbct_aux") and name not in seen:
                seen.append(name)
    return seen


def test_auxiliaries_are_named_by_first_occurrence_and_counted_across_comparisons(manager, conversion):
    x = occurrences(manager, 8)
    term = Sum(*[(i + 1) * v.to_pb() for i, v in enumerate(x)])
    first = FormulaPB(term, LEQ, 15).to_bx(manager)
    after_first = manager.cnt_pbvar
    second = FormulaPB(term, GEQ, 9).to_bx(manager)
    assert after_first > 0 and manager.cnt_pbvar > after_first
    assert auxiliary_names_in_reading_order(first) == [f"_pbct_aux_{n}" for n in range(after_first)]
    assert auxiliary_names_in_reading_order(second) == [f"_pbct_aux_{n}" for n in range(after_first, manager.cnt_pbvar)]
    both = bx.and_s([first, second])
    assert len([v for v in both.support() if str(v).startswith("_pbct_aux")]) == manager.cnt_pbvar
    for number, name in manager.pb2name.items():
        assert manager.name2pb[name] == number
        assert manager.pb2bx[number] is manager.bx_context.get_var(name)


def manager_state(manager):
    return (manager.name2pb, manager.pb2name, {number: str(v) for number, v in manager.pb2bx.items()},
            list(manager.pb2bx), manager.cnt_pbvar, manager.pb_var_manager.next_variable)


def run_constraint(manager):
    x = occurrences(manager, 12)
    texts = []
    weights = Sum(*[(7919 * i % 13 + 1) * v.to_pb() for i, v in enumerate(x)])
    texts.append(str(FormulaPB(weights, LEQ, 30).to_bx(manager)))
    texts.append(str(FormulaPB(x[0].to_pb() + x[3].to_pb() - x[5].to_pb(), BOTH, 1).to_bx(manager)))
    texts.append(str(FormulaPB(Sum(*[v.to_pb() for v in x]), GEQ, 4).to_bx(manager)))
    texts.append(str(FormulaPB(2 * x[1].to_pb(), LEQ, -1).to_bx(manager)))
    texts.append(str(FormulaPB(Sum(), LEQ, 0).to_bx(manager)))
    return texts


def test_bulk_and_per_literal_conversions_agree(monkeypatch):
    bulk = Manager()
    bulk.registration_generator_variables("x")
    bulk_texts = run_constraint(bulk)
    monkeypatch.delattr(bx, "clauses_to_formula")
    per_literal = Manager()
    per_literal.registration_generator_variables("x")
    assert run_constraint(per_literal) == bulk_texts
    assert manager_state(per_literal) == manager_state(bulk)
    assert bulk.cnt_pbvar > 0


def test_a_comparison_that_always_holds_gives_no_clause(manager, conversion):
    x = occurrences(manager, 3)
    formula = FormulaPB(Sum(*[v.to_pb() for v in x]), LEQ, 3).to_bx(manager)
    assert isinstance(formula, bx.One)
    assert manager.cnt_pbvar == 0


def test_a_comparison_that_never_holds_gives_the_empty_clause(manager, conversion):
    x = occurrences(manager, 3)
    formula = FormulaPB(Sum(*[v.to_pb() for v in x]), GEQ, 4).to_bx(manager)
    assert isinstance(formula, bx.Zero)


def test_to_bx_writes_the_term_and_the_formula(manager, debug_lines):
    a, b = occurrences(manager, 2)
    term = 2 * a.to_pb() - b.to_pb()
    formula = FormulaPB(term, GEQ, 1).to_bx(manager)
    assert debug_lines == [f"FormulaPB before to_bx: {term!r}", f"Bx formula from FormulaPB: {formula}"]


def test_to_bx_passes_failures_on_after_the_first_line(manager, debug_lines, conversion):
    (a,) = occurrences(manager, 1)
    with pytest.raises(TypeError, match="must hold terms only"):
        FormulaPB(a.to_pb() + 1, LEQ, 1).to_bx(manager)
    assert debug_lines == [f"FormulaPB before to_bx: {a.to_pb() + 1!r}",
                           "A pseudo-Boolean sum must hold terms only, not 1 (int)"]
    with pytest.raises(TypeError):
        FormulaPB(a.to_pb(), "<=", 1).to_bx(manager)


@pytest.mark.parametrize("term_of", [
    lambda a: a + 1,                          # an operand that is no term
    lambda a: 2.5 * a,                        # a coefficient the engine refuses
    lambda a: Sum(a, 2.5 * a, 1),             # both: the first fault is reported
])
def test_terms_read_as_numbers_fail_as_weighted_literals_do(manager, monkeypatch, term_of):
    (a,) = occurrences(manager, 1)
    term = term_of(a.to_pb())
    with pytest.raises(Exception) as from_numbers:
        FormulaPB(term, LEQ, 1).to_bx(manager)
    monkeypatch.delattr(pb.PBConstraint, "from_numbers")
    with pytest.raises(Exception) as from_weighted_literals:
        FormulaPB(term, LEQ, 1).to_bx(manager)
    assert type(from_numbers.value) is type(from_weighted_literals.value)
    assert str(from_numbers.value) == str(from_weighted_literals.value)


class CountedText:
    """A term that counts how often its text is asked for."""

    def __init__(self, term):
        self.term = term
        self.texts = 0

    def __repr__(self):
        self.texts += 1
        return repr(self.term)

    def to_pb(self):
        return self.term.to_pb()

    def to_maxsat(self):
        return self.term.to_maxsat()


def test_debug_texts_are_formed_only_when_shown(manager):
    (a,) = occurrences(manager, 1)
    term = CountedText(a.to_pb())
    FormulaPB(term, LEQ, 0).to_bx(manager)
    FormulaPB(term, None, None).to_maxsat(manager, True)
    assert term.texts == 0


def test_fields():
    term = Sum()
    formula = FormulaPB(term, LEQ, 3)
    assert list(vars(formula)) == ["expression", "comparator", "border"]
    assert formula.expression is term and formula.comparator is LEQ and formula.border == (3,)
    assert FormulaPB(term, None, None).border == (None,)
    assert FormulaPB(term, None).border == ()


@pytest.mark.parametrize("minimization, expected_negated", [
    (True, [True, False]),
    (False, [False, True]),
    (None, [False, True]),
    (0, [False, True]),
    (1, [True, False]),
])
def test_soft_literals_follow_the_sign_and_the_direction(manager, minimization, expected_negated):
    x, y = occurrences(manager, 2)
    conjunction, weights = FormulaPB(3 * x.to_pb() - 2 * y.to_pb(), None, None).to_maxsat(manager, minimization)
    assert weights == [3, 2]
    expected = [~v.bx_var if negated else v.bx_var for v, negated in zip([x, y], expected_negated)]
    assert conjunction.get_args() == expected


def test_soft_entries_are_neither_merged_nor_dropped(manager):
    x, y = occurrences(manager, 2)
    term = Sum(x.to_pb() + x.to_pb(), 0 * y.to_pb(), -4 * x.to_pb())
    conjunction, weights = FormulaPB(term, LEQ).to_maxsat(manager, True)
    # A zero coefficient keeps its place, with weight 0: the clause assembly
    # drops soft clauses of weight 0 instead of writing them as hard clauses.
    assert weights == [1, 1, 0, 4]
    assert conjunction.get_args() == [~x.bx_var, ~x.bx_var, y.bx_var, x.bx_var]
    assert isinstance(conjunction, bx.And)
    assert manager.cnt_pbvar == 0


def test_a_zero_soft_coefficient_never_becomes_a_hard_clause():
    x = Variable("x", {"i": 3}, 1)
    container = FormulaContainer({"dummy_var": Variable("dummy_var", {"d": 1}, 0), "x": x}, 4)
    manager = Manager()
    manager.registration_generator_variables("x")
    generator, i = manager.name2genvar["x"], Index("i")
    term = 2 * generator(i).to_pb() + 0 * generator(i + 1).to_pb()
    template, weights = FormulaPB(term, None, None).to_maxsat(manager, True)
    container.add_soft_formula(template, weights, {"i": range(2)}, 0, 0)
    container.build_wcnf_formula("zero weights")
    storage = container.cnf_storage()
    assert storage.get_hard_clauses() == []
    assert storage.get_soft_clauses() == [([-x(0)], 2), ([-x(1)], 2)]


def test_an_empty_soft_term(manager):
    conjunction, weights = FormulaPB(Sum(), None, None).to_maxsat(manager, False)
    assert weights == [] and conjunction.get_args() == []


def test_to_maxsat_writes_the_term(manager, debug_lines):
    (x,) = occurrences(manager, 1)
    term = 5 * x.to_pb()
    FormulaPB(term, None, None).to_maxsat(manager, True)
    assert debug_lines == [f"FormulaPB before to_maxsat: {term!r}"]


class TestEngineClauseConversion:
    """bx.clauses_to_formula, which to_bx uses when the engine offers it."""

    @staticmethod
    def encoded(weights, comparator, bound, first=1):
        database = pb.VectorClauseDatabase(pb.PBConfig())
        lits = [pb.WeightedLit(first + k, w) for k, w in enumerate(weights)]
        pb.pb2cnf(pb.PBConfig()).encode2(pb.PBConstraint(lits, comparator, bound), database,
                                         pb.AuxVarManager(first + len(weights)))
        return database

    # Numbers somewhat above the number of literals grow the engine's table;
    # numbers far above it are kept in a map.
    @pytest.mark.parametrize("first", [1, 1400, 10**8])
    def test_numbers_map_to_known_formulas_or_to_new_variables_in_reading_order(self, first):
        database = self.encoded([3, 1, 2, 2, 5], LEQ, 6, first)
        context = bx.Context()
        a, b = context.get_var("a"), context.get_var("b")
        known = {first: a, first + 1: ~b, first + 2: bx.and_s([a, b])}
        formula, numbers, names, variables = bx.clauses_to_formula(context, database, known, "p", 4)

        expected_variables = dict(known)
        for clause in database.get_clauses():
            for literal in clause:
                if abs(literal) not in expected_variables:
                    expected_variables[abs(literal)] = context.get_var(f"p_{4 + len(expected_variables) - 3}")
        new = [number for number in expected_variables if number not in known]
        assert numbers == new and len(new) > 0
        assert names == [f"p_{4 + k}" for k in range(len(new))]
        assert variables == [expected_variables[number] for number in new]
        assert all(v is context.get_var(name) for v, name in zip(variables, names))
        assert formula == bx.and_s([
            bx.or_s([expected_variables[l] if l > 0 else ~expected_variables[-l] for l in clause])
            for clause in database.get_clauses()])

    def test_an_empty_database(self):
        context = bx.Context()
        formula, numbers, names, variables = bx.clauses_to_formula(
            context, pb.VectorClauseDatabase(pb.PBConfig()), {}, "p", 0)
        assert isinstance(formula, bx.One) and numbers == names == variables == []

    @pytest.mark.parametrize("arguments", [
        lambda context, database: (None, database, {}, "p", 0),
        lambda context, database: (context, [[1, 2]], {}, "p", 0),
        lambda context, database: (context, database, [], "p", 0),
        lambda context, database: (context, database, {}, 5, 0),
        lambda context, database: (context, database, {}, "p", 1.5),
    ])
    def test_wrong_argument_types(self, arguments):
        database = self.encoded([1, 1, 1], LEQ, 1)
        with pytest.raises(TypeError):
            bx.clauses_to_formula(*arguments(bx.Context(), database))

    def test_a_negative_first_index(self):
        with pytest.raises(ValueError):
            bx.clauses_to_formula(bx.Context(), self.encoded([1, 1, 1], LEQ, 1), {}, "p", -1)

    def test_a_known_formula_of_another_context(self):
        database = self.encoded([1, 1, 1], LEQ, 1)
        with pytest.raises(ValueError):
            bx.clauses_to_formula(bx.Context(), database, {1: bx.Context().get_var("a")}, "p", 0)


class TestNewVariables:
    """bx.clauses_to_formula_and_variables keeps its new variables in the
    engine; the Manager reads them through bx.NewVariables."""

    def test_lists_and_lookups_agree_with_the_eager_conversion(self):
        database = TestEngineClauseConversion.encoded([3, 1, 2, 2, 5], LEQ, 6)
        eager_context, lazy_context = bx.Context(), bx.Context()
        _, numbers, names, variables = bx.clauses_to_formula(eager_context, database, {}, "p", 4)
        formula, made = bx.clauses_to_formula_and_variables(lazy_context, database, {}, bx.NewVariableRegistry(),
                                                            "p", 4)
        assert len(made) == len(numbers) > 0
        assert made.numbers() == numbers and made.names() == names
        assert [str(v) for v in made.variables()] == [str(v) for v in variables]
        for number, name in zip(numbers, names):
            assert made.variable(number) is lazy_context.get_var(name)
            assert made.name(number) == name and made.number(name) == number
        assert str(formula) == str(bx.clauses_to_formula(bx.Context(), database, {}, "p", 4)[0])

    @pytest.mark.parametrize("key", [0, -1, 10**30, "p_3", "p_04", "p_4x", "q_4", "p_", 4.0, None])
    def test_keys_it_did_not_make_are_missing(self, key):
        database = TestEngineClauseConversion.encoded([1, 1, 1], LEQ, 1)
        _, made = bx.clauses_to_formula_and_variables(bx.Context(), database, {}, bx.NewVariableRegistry(), "p", 4)
        assert made.variable(key) is None and made.name(key) is None and made.number(key) is None

    @staticmethod
    def registry_of(*blocks):
        registry = bx.NewVariableRegistry()
        for block in blocks:
            registry.add(block)
        return registry

    def test_a_later_conversion_knows_the_variables_of_an_earlier_one(self):
        database = TestEngineClauseConversion.encoded([2, 1, 3], GEQ, 2)
        context = bx.Context()
        first, made = bx.clauses_to_formula_and_variables(context, database, {}, self.registry_of(), "p", 0)
        again, nothing = bx.clauses_to_formula_and_variables(context, database, {}, self.registry_of(made), "p",
                                                             len(made))
        assert again == first and len(nothing) == 0
        with pytest.raises(ValueError, match="context"):
            bx.clauses_to_formula_and_variables(bx.Context(), database, {}, self.registry_of(made), "p", 0)
        with pytest.raises(ValueError, match="context"):
            self.registry_of(made, bx.clauses_to_formula_and_variables(
                bx.Context(), database, {}, self.registry_of(), "p", 0)[1])

    # Blocks named p_0.., p_5.. and q_0..; a block that reuses p_1.. breaks
    # the rising order of p's blocks, so its names are searched in turn.
    @pytest.mark.parametrize("starts", [[("p", 0), ("p", 5), ("q", 0)], [("p", 5), ("p", 0), ("p", 1)]])
    def test_a_registry_finds_every_block_of_many(self, starts):
        context = bx.Context()
        blocks = []
        for k, (prefix, first) in enumerate(starts):
            database = TestEngineClauseConversion.encoded([2, 1, 3], GEQ, 2, first=1 + 100 * k)
            known = {1 + 100 * k + i: context.get_var(f"x{k}_{i}") for i in range(3)}
            blocks.append(bx.clauses_to_formula_and_variables(context, database, known, self.registry_of(),
                                                              prefix, first)[1])
        registry = self.registry_of(*blocks)
        registry.add(blocks[-1])  # the maps that share a registry each add a block
        assert len(registry) == len(blocks) and all(len(block) > 0 for block in blocks)
        expected_number_of_name = {}
        for block in blocks:
            for name, number in zip(block.names(), block.numbers()):
                expected_number_of_name.setdefault(name, number)  # the first block's name wins
                assert registry.variable(number) is block.variable(number)
                assert registry.name(number) == name
        for name, number in expected_number_of_name.items():
            assert registry.number(name) == number
        for key in [0, 10**30, "p_99", "p_01", "r_0", "p", None]:
            assert registry.variable(key) is None and registry.name(key) is None and registry.number(key) is None
        registry.clear()
        assert len(registry) == 0 and registry.variable(blocks[0].numbers()[0]) is None


def test_registry_maps_keep_the_order_of_registration(manager, conversion):
    """Registrations one at a time and bulk conversions interleave; the maps
    list them in that order and look both kinds up, whichever path ran."""
    x = occurrences(manager, 4)
    FormulaPB(Sum(*[(i + 2) * v.to_pb() for i, v in enumerate(x)]), LEQ, 6).to_bx(manager)
    late = manager.name2genvar["x"](9)
    manager.get_pb_var(1000)
    FormulaPB(Sum(x[0].to_pb(), late.to_pb(), 3 * x[2].to_pb()), GEQ, 2).to_bx(manager)
    numbers = list(manager.pb2bx)
    assert numbers.index(late.pb_var) < numbers.index(1000) < len(numbers) - 1
    assert numbers == list(manager.pb2name) == list(manager.name2pb.values())
    assert len(manager.pb2bx) == len(numbers) == len(set(numbers))
    auxiliaries = [manager.pb2name[n] for n in numbers if manager.pb2name[n].startswith("_pbct_aux")]
    assert auxiliaries == [f"_pbct_aux_{k}" for k in range(manager.cnt_pbvar)]
    for number in numbers:
        name = manager.pb2name[number]
        assert manager.name2pb[name] == number and number in manager.pb2bx and name in manager.name2pb
        assert manager.get_pb_var(number) is manager.pb2bx[number] is manager.bx_context.get_var(name)
    assert 10**6 not in manager.pb2bx and "_pbct_aux_x" not in manager.name2pb
    with pytest.raises(KeyError):
        manager.pb2name[10**6]
    manager.reset()
    assert len(manager.pb2bx) == 0 and manager.name2pb == {} and list(manager.pb2name) == []
