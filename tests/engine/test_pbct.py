"""The engine's pseudo-Boolean encoder, checked against the constraint itself.

The oracle: an assignment of the input variables must extend to a model of the
clauses exactly when it satisfies the comparison. Small constraints are checked
over every assignment, larger ones on random assignments near the bound.
"""

from __future__ import annotations

import itertools
import random

import numpy as np
import pytest
from pysat.solvers import Solver

import halvex.kelvo_engine.pbct as pb

LEQ, GEQ, BOTH = pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH


def make_config(cardinality_encodings: bool = True, limit: int = 1_000_000) -> pb.PBConfig:
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    config.max_clauses_per_constraint = limit
    config.cardinality_encodings = cardinality_encodings
    return config


class Encoding:
    """One constraint over fresh input variables 1..variable_count, encoded."""

    def __init__(self, terms, comparator, *bounds, variable_count=None, config=None):
        self.variable_count = variable_count or max((v for v, _ in terms), default=0)
        self.manager = pb.AuxVarManager(1)
        self.inputs = [self.manager.get_variable() for _ in range(self.variable_count)]
        self.first_auxiliary = self.manager.next_variable
        config = config or make_config()
        self.database = pb.VectorClauseDatabase(config)
        constraint = pb.PBConstraint([pb.WeightedLit(v, c) for v, c in terms], comparator, *bounds)
        pb.pb2cnf(config).encode2(constraint, self.database, self.manager)
        self.clauses = self.database.get_clauses()

    @property
    def auxiliaries(self) -> set[int]:
        return {abs(lit) for clause in self.clauses for lit in clause if abs(lit) >= self.first_auxiliary}

    def extends(self, solver, assignment) -> bool:
        assumptions = [v if value else -v for v, value in zip(self.inputs, assignment)]
        return solver.solve(assumptions=assumptions)


def holds(terms, comparator, bounds, assignment) -> bool:
    total = sum(c for v, c in terms if assignment[v - 1])
    if comparator == LEQ:
        return total <= bounds[0]
    if comparator == GEQ:
        return total >= bounds[0]
    if len(bounds) == 1:
        return total == bounds[0]
    upper, lower = bounds
    return lower <= total <= upper


def check_exhaustively(terms, comparator, *bounds, variable_count=None, config=None) -> Encoding:
    encoding = Encoding(terms, comparator, *bounds, variable_count=variable_count, config=config)
    assert all(lit != 0 for clause in encoding.clauses for lit in clause)
    assert all(encoding.first_auxiliary <= v < encoding.manager.next_variable for v in encoding.auxiliaries)
    with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
        for assignment in itertools.product((False, True), repeat=encoding.variable_count):
            expected = holds(terms, comparator, bounds, assignment)
            assert encoding.extends(solver, assignment) == expected, (terms, comparator, bounds, assignment)
    return encoding


def edge_bounds(terms, variable_count):
    sums = sorted({sum(c for v, c in terms if assignment[v - 1])
                   for assignment in itertools.product((False, True), repeat=variable_count)})
    low, high = sums[0], sums[-1]
    middle = sums[len(sums) // 2]
    return sorted({low - 1, low, low + 1, middle, high - 1, high, high + 1})


def random_terms(rng: random.Random, variable_count: int, term_count: int, largest: int):
    """Weights of both signs and zeros; some variables repeat."""
    return [(rng.randint(1, variable_count), rng.choice([0, rng.randint(-largest, largest)]))
            for _ in range(term_count)]


@pytest.mark.parametrize("seed", range(12))
@pytest.mark.parametrize("comparator", [LEQ, GEQ, BOTH])
def test_random_weights_every_bound(seed, comparator):
    rng = random.Random(seed)
    variable_count = rng.randint(1, 8 if seed % 3 else 10)
    terms = random_terms(rng, variable_count, rng.randint(1, variable_count + 3), rng.choice([3, 20, 1000]))
    for bound in edge_bounds(terms, variable_count):
        check_exhaustively(terms, comparator, bound, variable_count=variable_count)


@pytest.mark.parametrize("seed", range(6))
def test_range_between_two_bounds(seed):
    rng = random.Random(100 + seed)
    variable_count = rng.randint(2, 9)
    terms = random_terms(rng, variable_count, variable_count + 1, 50)
    bounds = edge_bounds(terms, variable_count)
    for lower, upper in itertools.combinations_with_replacement(bounds[::2], 2):
        check_exhaustively(terms, BOTH, upper, lower, variable_count=variable_count)
    check_exhaustively(terms, BOTH, bounds[1], bounds[-2], variable_count=variable_count)  # empty range


@pytest.mark.parametrize("cardinality_encodings", [True, False])
@pytest.mark.parametrize("comparator", [LEQ, GEQ, BOTH])
@pytest.mark.parametrize("n", [1, 2, 5, 6, 10])
def test_cardinality_every_k(n, comparator, cardinality_encodings):
    config = make_config(cardinality_encodings)
    for weight in (1, 3):
        terms = [(v, weight) for v in range(1, n + 1)]
        for k in range(-1, n + 2):
            check_exhaustively(terms, comparator, weight * k, config=config)


@pytest.mark.parametrize("n, k", [(12, 1), (30, 1), (13, 2), (40, 2), (15, 3), (20, 7), (9, 4)])
def test_at_most_k_propagates_fully(n, k):
    """With k inputs true, unit propagation alone sets every other input false,
    and with k + 1 true it finds the conflict."""
    encoding = Encoding([(v, 1) for v in range(1, n + 1)], LEQ, k)
    rng = random.Random(n * 100 + k)
    with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
        for _ in range(10):
            chosen = rng.sample(encoding.inputs, k + 1)
            status, implied = solver.propagate(assumptions=chosen[:k])
            assert status
            assert {-v for v in encoding.inputs if v not in chosen[:k]} <= set(implied)
            status, _ = solver.propagate(assumptions=chosen)
            assert not status


@pytest.mark.parametrize("n", [4, 7, 9])
def test_cardinality_between_two_bounds_every_assignment(n):
    """Both bounds are read from one counter or totalizer, whichever the sizes
    choose; every range, empty ones and single counts included."""
    terms = [(v, 1) for v in range(1, n + 1)]
    for lower in range(-1, n + 2):
        for upper in range(lower - 1, n + 2):
            check_exhaustively(terms, BOTH, upper, lower)


@pytest.mark.parametrize("n, k", [
    (12, 1), (40, 1), (300, 1),   # at most one (chain, product) and one clause
    (20, 2), (19, 3), (30, 8),     # sequential counter read at both bounds
    (80, 25), (100, 30),           # totalizer read at both bounds
    (19, 17),                      # counted on the negations
])
def test_exactly_k_propagates_fully(n, k):
    """With k inputs true unit propagation sets every other input false, with
    n - k false it sets every other one true, and one more of either is a
    conflict."""
    encoding = Encoding([(v, 1) for v in range(1, n + 1)], BOTH, k)
    rng = random.Random(n * 100 + k)
    with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
        for _ in range(10):
            order = rng.sample(encoding.inputs, n)
            true, false = order[:k + 1], [-v for v in order[k - 1:]]
            for fixed, others in ((true[:k], [-v for v in order[k:]]), (false[1:], order[:k - 1])):
                status, implied = solver.propagate(assumptions=fixed)
                assert status
                assert set(others) <= set(implied)
            assert not solver.propagate(assumptions=true)[0]
            assert not solver.propagate(assumptions=false)[0]


def propagated_by_counting(n, at_most, at_least, fixed):
    """What unit propagation must find on a fully propagating cardinality
    encoding: None for a conflict, else the inputs it sets."""
    true = sum(1 for literal in fixed if literal > 0)
    false = len(fixed) - true
    if true > at_most or false > n - at_least:
        return None
    free = set(range(1, n + 1)) - {abs(literal) for literal in fixed}
    if true == at_most:
        return {-v for v in free}
    if false == n - at_least:
        return set(free)
    return set()


@pytest.mark.parametrize("n, k, comparator", [
    (19, 3, LEQ), (21, 4, LEQ), (20, 7, LEQ), (30, 1, LEQ), (19, 16, GEQ),
    (120, 50, LEQ), (20, 2, BOTH), (20, 5, BOTH), (80, 25, BOTH), (19, 17, BOTH), (40, 1, BOTH),
])
def test_propagation_on_partial_assignments(n, k, comparator):
    """Any inputs fixed either way: unit propagation finds exactly what the
    counts of true and false inputs decide."""
    encoding = Encoding([(v, 1) for v in range(1, n + 1)], comparator, k)
    at_most = n if comparator == GEQ else k
    at_least = 0 if comparator == LEQ else k
    rng = random.Random(n * 7 + k)
    with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
        for _ in range(300):
            fixed = [v if rng.random() < 0.5 else -v for v in rng.sample(encoding.inputs, rng.randint(1, n))]
            status, implied = solver.propagate(assumptions=fixed)
            expected = propagated_by_counting(n, at_most, at_least, fixed)
            assert status == (expected is not None), fixed
            if status:
                assert {literal for literal in implied if abs(literal) <= n} - set(fixed) == expected, fixed


@pytest.mark.parametrize("n", [30, 64, 1000])
def test_at_most_one_of_many(n):
    """Large sets get the product grid: every single input extends, every pair
    of inputs is refused by unit propagation alone."""
    encoding = Encoding([(v, 1) for v in range(1, n + 1)], LEQ, 1)
    rng = random.Random(n)
    pairs = list(itertools.combinations(encoding.inputs, 2))
    with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
        assert solver.solve(assumptions=[-v for v in encoding.inputs])
        for v in encoding.inputs:
            status, implied = solver.propagate(assumptions=[v])
            assert status and {-w for w in encoding.inputs if w != v} <= set(implied)
            assert solver.solve(assumptions=[v])
        for pair in rng.sample(pairs, min(len(pairs), 2000)):
            assert not solver.propagate(assumptions=list(pair))[0]


@pytest.mark.parametrize("n, k", [(60, 20), (60, 45), (100, 50), (150, 100), (300, 140)])
@pytest.mark.parametrize("comparator", [LEQ, GEQ, BOTH])
def test_cardinality_for_every_count_of_true_inputs(n, k, comparator):
    """Large k gets a totalizer or, for the two bounds at once, the adders;
    whether an assignment may extend depends only on how many inputs it sets,
    so every count is tried."""
    terms = [(v, 1) for v in range(1, n + 1)]
    encoding = Encoding(terms, comparator, k)
    rng = random.Random(n + k)
    with Solver(name="cadical195", bootstrap_with=encoding.clauses) as solver:
        for count in range(n + 1):
            for _ in range(2):
                chosen = set(rng.sample(range(n), count))
                assignment = [index in chosen for index in range(n)]
                assert encoding.extends(solver, assignment) == holds(terms, comparator, (k,), assignment), count


def test_cardinality_encodings_are_compact():
    encoding = Encoding([(v, 1) for v in range(1, 1001)], LEQ, 1)
    assert len(encoding.clauses) <= 2.2 * 1000
    assert len(encoding.auxiliaries) <= 1000
    # A plain k-bounded totalizer needs about 260,000 clauses here.
    assert len(Encoding([(v, 1) for v in range(1, 1001)], LEQ, 500).clauses) <= 35_000


@pytest.mark.parametrize("n, k", [(19, 3), (30, 2), (60, 20), (1000, 1), (1000, 100), (1000, 990)])
def test_exactly_k_is_one_structure(n, k):
    """Equality reads one structure from both sides: never more than the two
    one-sided constraints together, and with the adders hardly more than one."""
    terms = [(v, 1) for v in range(1, n + 1)]
    exactly, at_most, at_least = (len(Encoding(terms, comparator, k).clauses) for comparator in (BOTH, LEQ, GEQ))
    assert exactly <= at_most + at_least
    adders = make_config(cardinality_encodings=False)
    assert len(Encoding(terms, BOTH, k, config=adders).clauses) <= 1.01 * len(Encoding(terms, LEQ, k, config=adders).clauses)


@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("comparator", [LEQ, GEQ, BOTH])
@pytest.mark.parametrize("cardinality", [False, True])
def test_large_constraints_on_assignments_near_the_bound(seed, comparator, cardinality):
    """The bound is the sum of a random assignment; that assignment and its
    neighbours (one to three inputs flipped) fall on both sides of it."""
    rng = random.Random(seed)
    n = [40, 150, 400][seed]
    weights = [1] * n if cardinality else [rng.randint(-500, 1000) for _ in range(n)]
    terms = list(zip(range(1, n + 1), weights))
    base = [rng.random() < 0.5 for _ in range(n)]
    bound = sum(w for w, value in zip(weights, base) if value)
    encoding = Encoding(terms, comparator, bound)
    outcomes = set()
    with Solver(name="cadical195", bootstrap_with=encoding.clauses) as solver:
        for trial in range(40):
            assignment = list(base)
            for index in rng.sample(range(n), rng.randint(1, 3) if trial else 0):
                assignment[index] = not assignment[index]
            expected = holds(terms, comparator, (bound,), assignment)
            outcomes.add(expected)
            assert encoding.extends(solver, assignment) == expected
    assert outcomes == {True, False}


class TextbookAdder:
    """A ripple-carry adder tree over the terms in binary (full and half adders
    in both directions) with the lexicographic comparison against the bound:
    the yardstick for how much unit propagation an adder should find."""

    def __init__(self, weights, bound):
        self.next_variable = len(weights) + 1
        self.clauses = []
        numbers = [[v if (w >> p) & 1 else 0 for p in range(w.bit_length())] for v, w in enumerate(weights, 1)]
        self.at_most(self.add_up(numbers), bound)

    def new_variable(self) -> int:
        self.next_variable += 1
        return self.next_variable - 1

    def add_up(self, numbers):
        if len(numbers) == 1:
            return numbers[0]
        half = len(numbers) // 2
        return self.add_two(self.add_up(numbers[:half]), self.add_up(numbers[half:]))

    def add_two(self, a, b):
        out, carry = [], 0
        for position in range(max(len(a), len(b))):
            bits = [x for x in (a[position] if position < len(a) else 0,
                                b[position] if position < len(b) else 0, carry) if x]
            if len(bits) < 2:
                out.append(bits[0] if bits else 0)
                carry = 0
                continue
            total, carry = self.new_variable(), self.new_variable()
            # Every input pattern fixes both outputs: sum is the parity, carry the majority.
            for pattern in itertools.product((False, True), repeat=len(bits)):
                inputs = [-x if value else x for x, value in zip(bits, pattern)]
                self.clauses.append(inputs + [total if sum(pattern) % 2 else -total])
            for pair in itertools.combinations(bits, 2):
                self.clauses.append([-pair[0], -pair[1], carry])
                self.clauses.append([pair[0], pair[1], -carry] if len(bits) == 3 else [pair[0], -carry])
            if len(bits) == 2:
                self.clauses.append([bits[1], -carry])
            out.append(total)
        if carry:
            out.append(carry)
        return out

    def at_most(self, outputs, bound):
        for position, output in enumerate(outputs):
            if not output or (bound >> position) & 1:
                continue
            higher = [outputs[q] for q in range(position + 1, len(outputs)) if (bound >> q) & 1]
            if all(higher):
                self.clauses.append([-output] + [-x for x in higher])


def violations_caught(clauses, weights, bound, free_inputs, rng, trials):
    """Of `trials` assignments fixing every input but `free_inputs` and already
    over the bound, how many unit propagation refutes."""
    caught = 0
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        for _ in range(trials):
            while True:
                values = [rng.random() < 0.35 for _ in weights]
                free = set(rng.sample(range(len(weights)), free_inputs))
                if sum(w for i, (w, value) in enumerate(zip(weights, values)) if value and i not in free) > bound:
                    break
            assumptions = [i + 1 if values[i] else -(i + 1) for i in range(len(weights)) if i not in free]
            caught += not solver.propagate(assumptions=assumptions)[0]
    return caught


def test_adder_refutes_nearly_fixed_violations_as_often_as_a_textbook_adder():
    """With all but one or two inputs fixed and the fixed ones already over a
    bound of a quarter or a third of the total (a minimised target's range),
    unit propagation must refute at least as often as on a ripple-carry adder
    tree. Pooling the bits of every term per position refutes less than a
    third as often: its sum bits stay open while any input of the pool is."""
    ours = textbook = 0
    for seed, share, free_inputs in itertools.product(range(3), (4, 3), (1, 2)):
        rng = random.Random(seed)
        weights = sorted(rng.randint(1, 20) for _ in range(50))  # the order the encoder adds them in
        bound = sum(weights) // share
        encoding = Encoding(list(enumerate(weights, 1)), LEQ, bound)
        ours += violations_caught(encoding.clauses, weights, bound, free_inputs, random.Random(seed), 150)
        textbook += violations_caught(TextbookAdder(weights, bound).clauses, weights, bound, free_inputs,
                                      random.Random(seed), 150)
    assert ours >= textbook > 0


def variables_fixed_without_assumptions(clauses) -> set[int]:
    """What unit propagation fixes from the clauses alone; a solver's
    propagate() reports only what the assumptions add."""
    values: dict[int, bool] = {}
    changed = True
    while changed:
        changed = False
        for clause in clauses:
            if any(values.get(abs(literal)) == (literal > 0) for literal in clause):
                continue
            open_literals = [literal for literal in clause if abs(literal) not in values]
            assert open_literals, "the clauses alone are contradictory"
            if len(open_literals) == 1:
                values[abs(open_literals[0])] = open_literals[0] > 0
                changed = True
    return set(values)


@pytest.mark.parametrize("seed", range(4))
def test_fixed_inputs_settle_every_adder_variable(seed):
    """Full and half adders are encoded in both directions: once the inputs are
    fixed, unit propagation fixes every auxiliary and refutes a violation."""
    rng = random.Random(seed)
    n = 7
    terms = [(v, rng.randint(1, 30)) for v in range(1, n + 1)]
    for comparator in (LEQ, GEQ, BOTH):
        bound = sum(c for _, c in terms) // 2
        encoding = Encoding(terms, comparator, bound, config=make_config(cardinality_encodings=False))
        fixed = variables_fixed_without_assumptions(encoding.clauses)
        with Solver(name="minisat22", bootstrap_with=encoding.clauses) as solver:
            for assignment in itertools.product((False, True), repeat=n):
                assumptions = [v if value else -v for v, value in zip(encoding.inputs, assignment)]
                status, implied = solver.propagate(assumptions=assumptions)
                assert status == holds(terms, comparator, (bound,), assignment)
                if status:
                    assert encoding.auxiliaries <= fixed | {abs(literal) for literal in implied}


class TestNormalisation:
    def test_constraint_that_always_holds_writes_nothing(self):
        for terms, comparator, bound in [([(1, 2), (2, 3)], LEQ, 5), ([(1, -2), (2, 3)], GEQ, -2),
                                         ([(1, 0)], BOTH, 0), ([], LEQ, 0), ([(1, 1), (1, -1)], LEQ, 0)]:
            encoding = Encoding(terms, comparator, bound, variable_count=2)
            assert encoding.clauses == []
            assert encoding.manager.next_variable == encoding.first_auxiliary

    def test_constraint_that_never_holds_writes_the_empty_clause(self):
        for terms, comparator, bound in [([(1, 2), (2, 3)], GEQ, 6), ([(1, -2)], LEQ, -3), ([], BOTH, 1),
                                         ([(1, 2), (2, 4)], BOTH, 3)]:
            assert Encoding(terms, comparator, bound, variable_count=2).clauses == [[]]

    def test_heavy_terms_become_units(self):
        encoding = Encoding([(1, 10), (2, 1), (3, 1)], LEQ, 2)
        assert encoding.clauses == [[-1]]
        # x1 must hold, and then x2 + x3 >= 1 is one clause.
        assert Encoding([(1, 10), (2, 1), (3, 1)], GEQ, 11).clauses == [[1], [2, 3]]

    def test_repeated_variable_cancels_and_merges(self):
        # x1 - x1 + 2 x2 + x2 <= 2 is 3 x2 <= 2: x2 false.
        assert Encoding([(1, 1), (1, -1), (2, 2), (2, 1)], LEQ, 2).clauses == [[-2]]


class TestClauseLimit:
    terms = [(v, v) for v in range(1, 31)]

    def test_limit_exceeded_leaves_database_and_numberer_untouched(self):
        manager = pb.AuxVarManager(1)
        inputs = [manager.get_variable() for _ in range(30)]
        config = make_config(limit=50)
        database = pb.VectorClauseDatabase(config)
        encoder = pb.pb2cnf(config)
        encoder.encode2(pb.PBConstraint([pb.WeightedLit(1, 1), pb.WeightedLit(2, 1)], LEQ, 1), database, manager)
        before = (database.get_clauses(), manager.next_variable)
        constraint = pb.PBConstraint([pb.WeightedLit(v, c) for v, c in self.terms], LEQ, 200)
        with pytest.raises(ValueError, match="max_clauses_per_constraint = 50"):
            encoder.encode2(constraint, database, manager)
        assert (database.get_clauses(), manager.next_variable) == before
        assert inputs

    @pytest.mark.parametrize("terms, comparator, bound", [
        (terms, LEQ, 200),                            # adders
        ([(v, 1) for v in range(1, 31)], BOTH, 1),    # at most one and a clause
        ([(v, 1) for v in range(1, 31)], LEQ, 2),     # sequential counter
        ([(v, 1) for v in range(1, 121)], LEQ, 50),   # totalizer
        ([(v, 1) for v in range(1, 31)], BOTH, 2),    # sequential counter, both bounds
        ([(v, 1) for v in range(1, 81)], BOTH, 25),   # totalizer, both bounds
        ([(v, 1) for v in range(1, 301)], LEQ, 1),    # product at most one
        ([(v, 1) for v in range(1, 301)], GEQ, 120),  # large k
        ([(v, 1) for v in range(1, 1001)], BOTH, 100),  # adders for a cardinality
    ])
    def test_limit_equal_to_the_need_is_enough(self, terms, comparator, bound):
        """The encoder's own size estimates must not refuse what fits, nor pick
        another encoding."""
        encoding = Encoding(terms, comparator, bound)
        needed = len(encoding.clauses)
        assert Encoding(terms, comparator, bound, config=make_config(limit=needed)).clauses == encoding.clauses

    def test_one_clause_short_of_the_need_is_refused(self):
        needed = len(Encoding(self.terms, LEQ, 200).clauses)
        with pytest.raises(ValueError, match=str(needed - 1)):
            Encoding(self.terms, LEQ, 200, config=make_config(limit=needed - 1))

    @pytest.mark.parametrize("k", [30, 500])
    def test_cardinality_constraint_over_the_limit_falls_back_to_adders(self, k):
        # The counting encodings need 36,000 and 260,000 clauses here, adders 14,000.
        n = 1000
        terms = [(v, 1) for v in range(1, n + 1)]
        encoding = Encoding(terms, LEQ, k, config=make_config(limit=20_000))
        rng = random.Random(5)
        with Solver(name="cadical195", bootstrap_with=encoding.clauses) as solver:
            for count in [0, k - 1, k, k + 1, k + 2, n]:
                chosen = set(rng.sample(range(n), count))
                assert encoding.extends(solver, [i in chosen for i in range(n)]) == (count <= k)

    def test_large_cardinality_constraint_is_refused_early(self):
        with pytest.raises(ValueError, match="max_clauses_per_constraint = 1000"):
            Encoding([(v, 1) for v in range(1, 2001)], LEQ, 1000, config=make_config(limit=1000))


class TestInterface:
    def test_defaults(self):
        config = pb.PBConfig()
        assert config.pb_encoder == pb.PB_Encoder_type.ADDER
        assert config.max_clauses_per_constraint == 1_000_000
        assert config.cardinality_encodings is True

    def test_numberer_counts_from_first(self):
        manager = pb.AuxVarManager(7)
        assert [manager.get_variable() for _ in range(3)] == [7, 8, 9]

    def test_clause_arrays_match_clauses(self):
        encoding = Encoding([(v, v) for v in range(1, 9)], BOTH, 17)
        literals, offsets = encoding.database.get_clause_arrays()
        assert literals.dtype == np.int32 and offsets.dtype == np.int64
        assert offsets[0] == 0 and offsets[-1] == len(literals) and len(offsets) == len(encoding.clauses) + 1
        rebuilt = [literals[offsets[c]:offsets[c + 1]].tolist() for c in range(len(offsets) - 1)]
        assert rebuilt == encoding.clauses
        assert len(encoding.database) == len(encoding.clauses)

    def test_database_collects_several_constraints(self):
        manager = pb.AuxVarManager(1)
        a, b, c = (manager.get_variable() for _ in range(3))
        config = pb.PBConfig()
        database = pb.VectorClauseDatabase(config)
        encoder = pb.pb2cnf(config)
        lits = [pb.WeightedLit(a, 1), pb.WeightedLit(b, 1), pb.WeightedLit(c, 1)]
        encoder.encode2(pb.PBConstraint(lits, GEQ, 1), database, manager)
        encoder.encode2(pb.PBConstraint(lits, LEQ, 0), database, manager)
        clauses = database.get_clauses()
        assert clauses[0] == [a, b, c]
        assert sorted(clauses[1:]) == [[-c], [-b], [-a]]

    def test_weighted_literal_text(self):
        assert repr(pb.WeightedLit(3, -2)) == "WeightedLit(3, -2)"
        assert (pb.WeightedLit(3, -2).number, pb.WeightedLit(3, -2).coefficient) == (3, -2)

    @pytest.mark.parametrize("make, error, message", [
        (lambda: pb.WeightedLit(0, 1), ValueError, "variable number 0"),
        (lambda: pb.WeightedLit(-3, 1), ValueError, "variable number -3"),
        (lambda: pb.WeightedLit(1, 2.5), TypeError, "coefficient must be an integer"),
        (lambda: pb.WeightedLit(1.0, 2), TypeError, "variable number must be an integer"),
        (lambda: pb.WeightedLit(1, 2**70), ValueError, "out of range"),
        (lambda: pb.PBConstraint([pb.WeightedLit(1, 1)], LEQ, 1.5), TypeError, "bound must be an integer"),
        (lambda: pb.PBConstraint([pb.WeightedLit(1, 1)], 0, 1), TypeError, "comparator must be"),
        (lambda: pb.PBConstraint([pb.WeightedLit(1, 1)], None, 1), TypeError, "comparator must be"),
        (lambda: pb.PBConstraint([(1, 1)], LEQ, 1), TypeError, "only WeightedLit"),
        (lambda: pb.PBConstraint([pb.WeightedLit(1, 1)], LEQ, 3, 1), ValueError, "need Comparator_type.BOTH"),
        (lambda: pb.AuxVarManager(0), ValueError, "first variable number"),
        (lambda: setattr(pb.PBConfig(), "max_clauses_per_constraint", -1), ValueError, "must not be negative"),
    ])
    def test_bad_input(self, make, error, message):
        with pytest.raises(error, match=message):
            make()

    @pytest.mark.parametrize("numbers, coefficients, error, message", [
        ([0], [1], ValueError, "variable number 0"),
        ([1], [2.5], TypeError, "coefficient must be an integer"),
        ([1], [2**70], ValueError, "out of range"),
        ([1.0], [1], TypeError, "variable number must be an integer"),
        ([1, 2], [1], ValueError, "of one length, not 2 and 1"),
        ("ab", [1, 1], TypeError, "numbers must be a sequence"),
        ([1], {1}, TypeError, "coefficients must be a sequence"),
    ])
    def test_numbers_are_checked_as_weighted_literals(self, numbers, coefficients, error, message):
        with pytest.raises(error, match=message):
            pb.PBConstraint.from_numbers(numbers, coefficients, LEQ, 1)

    @pytest.mark.parametrize("comparator, bounds", [(LEQ, (4,)), (GEQ, (3,)), (BOTH, (5, 2))])
    def test_numbers_make_the_constraint_of_their_weighted_literals(self, comparator, bounds):
        numbers, coefficients = [1, 2, 3, 4], [3, -2, 4, 1]

        def clauses(constraint):
            database = pb.VectorClauseDatabase(pb.PBConfig())
            pb.pb2cnf(pb.PBConfig()).encode2(constraint, database, pb.AuxVarManager(5))
            return database.get_clauses()

        weighted = [pb.WeightedLit(n, c) for n, c in zip(numbers, coefficients)]
        expected = clauses(pb.PBConstraint(weighted, comparator, *bounds))
        assert clauses(pb.PBConstraint.from_numbers(numbers, coefficients, comparator, *bounds)) == expected
        assert clauses(pb.PBConstraint.from_numbers(np.array(numbers), tuple(coefficients), comparator,
                                                    *bounds)) == expected

    def test_input_not_from_numberer_is_refused(self):
        manager = pb.AuxVarManager(1)
        manager.get_variable()
        constraint = pb.PBConstraint([pb.WeightedLit(1, 1), pb.WeightedLit(5, 1)], LEQ, 1)
        config = pb.PBConfig()
        with pytest.raises(ValueError, match="variable 5 was not handed out by the numberer"):
            pb.pb2cnf(config).encode2(constraint, pb.VectorClauseDatabase(config), manager)

    def test_huge_total_weight_is_refused(self):
        with pytest.raises(ValueError, match="too large"):
            Encoding([(1, 2**62), (2, 2**62)], LEQ, 3)
