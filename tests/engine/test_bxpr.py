import itertools
import random

import numpy as np
import pytest
from pysat.solvers import Solver

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

PREFIX = "_bxpr_aux"


@pytest.fixture
def ctx():
    return bx.Context()


@pytest.fixture
def xyz(ctx):
    return [ctx.get_var(name) for name in "xyz"]


# --- helpers -----------------------------------------------------------------

def evaluate(formula, values):
    """Truth value of an engine formula, read through its public shape only."""
    if isinstance(formula, bx.One):
        return True
    if isinstance(formula, bx.Zero):
        return False
    if isinstance(formula, bx.Variable):
        return values[formula.name]
    args = [evaluate(arg, values) for arg in formula.get_args()]
    if isinstance(formula, bx.Not):
        return not args[0]
    if isinstance(formula, bx.And):
        return all(args)
    if isinstance(formula, bx.Or):
        return any(args)
    if isinstance(formula, bx.Xor):
        return sum(args) % 2 == 1
    if isinstance(formula, bx.Ite):
        return args[1] if args[0] else args[2]
    raise AssertionError(f"unknown formula type {type(formula)}")


def is_literal(formula):
    return isinstance(formula, bx.Variable) or (
        isinstance(formula, bx.Not) and isinstance(formula.get_args()[0], bx.Variable))


def clauses_of(template):
    """The clauses of a clause template, as lists of (name, positive) pairs; asserts its shape."""
    if isinstance(template, (bx.One, bx.Zero)):
        return template
    parts = template.get_args() if isinstance(template, bx.And) else [template]
    clauses = []
    for part in parts:
        literals = part.get_args() if isinstance(part, bx.Or) else [part]
        assert all(is_literal(literal) for literal in literals), str(template)
        clauses.append([(literal.name, True) if isinstance(literal, bx.Variable)
                        else (literal.get_args()[0].name, False) for literal in literals])
    return clauses


def parsed_template(template):
    """The clause-template parse the model's formula container applies."""
    def parse_clause(clause):
        texts = [str(arg) for arg in clause.get_args()] if isinstance(clause, bx.Or) else [str(clause)]
        return [text.replace("~", "-") if "(" in text else f"'{text}'" for text in texts]

    if isinstance(template, bx.And):
        return [parse_clause(clause) for clause in template.get_args()]
    return [parse_clause(template)]


def new_variable_names(template, own_names):
    return {v.name for v in template.support()} - set(own_names)


def assert_projection_equivalent(template, truth, names):
    """template, extended to its new variables, is satisfiable exactly where truth holds."""
    clauses = clauses_of(template)
    assignments = list(itertools.product([False, True], repeat=len(names)))
    if isinstance(clauses, bx.One) or isinstance(clauses, bx.Zero):
        constant = isinstance(clauses, bx.One)
        for values in assignments:
            assert truth(dict(zip(names, values))) == constant
        return
    numbers = {name: i + 1 for i, name in enumerate(names)}
    for name, _ in itertools.chain.from_iterable(clauses):
        numbers.setdefault(name, len(numbers) + 1)
    with Solver(name="minisat22", bootstrap_with=[
            [numbers[name] if positive else -numbers[name] for name, positive in clause] for clause in clauses]) as solver:
        for values in assignments:
            assumptions = [numbers[n] if v else -numbers[n] for n, v in zip(names, values)]
            assert solver.solve(assumptions=assumptions) == truth(dict(zip(names, values))), values


class RandomFormulas:
    """Random formulas over a few variables, each with an independent evaluator,
    drawing operands from a pool so that sub-formulas are shared."""

    def __init__(self, ctx, names, seed):
        self.rng = random.Random(seed)
        self.pool = [(ctx.get_var(n), (lambda n: lambda v: v[n])(n)) for n in names]
        self.pool += [(bx.one(), lambda v: True), (bx.zero(), lambda v: False)]

    def operands(self, count):
        return [self.rng.choice(self.pool) for _ in range(count)]

    def step(self):
        rng = self.rng
        kind = rng.choice(["and_s", "or_s", "xor_s", "eq_s", "impl_s", "ite_s", "not", "and_"])
        ops = self.operands(rng.randint(0, 4) if kind.endswith("_s") and kind not in ("impl_s", "ite_s")
                            else {"impl_s": 2, "ite_s": 3, "not": 1, "and_": rng.randint(1, 3)}[kind])
        fs = [f for f, _ in ops]
        es = [e for _, e in ops]
        if kind == "and_s":
            made = (bx.and_s(fs), lambda v: all(e(v) for e in es))
        elif kind == "or_s":
            made = (bx.or_s(fs), lambda v: any(e(v) for e in es))
        elif kind == "xor_s":
            made = (bx.xor_s(fs), lambda v: sum(e(v) for e in es) % 2 == 1)
        elif kind == "eq_s":
            made = (bx.eq_s(fs), lambda v: len({e(v) for e in es}) <= 1)
        elif kind == "impl_s":
            made = (bx.impl_s(*fs), lambda v: not es[0](v) or es[1](v))
        elif kind == "ite_s":
            made = (bx.ite_s(*fs), lambda v: es[1](v) if es[0](v) else es[2](v))
        elif kind == "not":
            made = (~fs[0], lambda v: not es[0](v))
        else:
            made = (bx.and_(fs), lambda v: all(e(v) for e in es))
        self.pool.append(made)
        return made

    def formula(self, steps):
        for _ in range(steps):
            made = self.step()
        return made


# --- Tseytin conversion -----------------------------------------------------

@pytest.mark.parametrize("seed", range(200))
def test_tseytin_is_projection_equivalent_on_random_formulas(seed):
    ctx = bx.Context()
    names = [f"v{i}" for i in range(1 + seed % 8)]
    formula, truth = RandomFormulas(ctx, names, seed).formula(steps=4 + seed % 20)
    for values in itertools.product([False, True], repeat=len(names)):
        assignment = dict(zip(names, values))
        assert evaluate(formula, assignment) == truth(assignment), str(formula)
    template = formula.tseytin(ctx, PREFIX)
    assert_projection_equivalent(template, truth, names)
    fresh = new_variable_names(template, names)
    assert fresh == {f"{PREFIX}_{n}" for n in range(len(fresh))}
    # The context counts them, as the clause assembly sizes a constraint's block.
    assert ctx.fresh_variable_count(PREFIX) == len(fresh) and ctx.fresh_variable_count("other") == 0


@pytest.mark.parametrize("build", [
    lambda x, y, z: bx.and_s([bx.or_s([x, ~y]), bx.or_s([y, z]), ~z]),
    lambda x, y, z: bx.or_s([x, ~y, z]),
    lambda x, y, z: ~x,
    lambda x, y, z: x,
    lambda x, y, z: bx.and_s([x, y]),
])
def test_formula_in_clause_form_is_returned_unchanged(ctx, xyz, build):
    formula = build(*xyz)
    template = formula.tseytin(ctx, PREFIX)
    assert template == formula
    assert not new_variable_names(template, "xyz") and ctx.fresh_variable_count(PREFIX) == 0


@pytest.mark.parametrize("build, shape", [
    (lambda x, y, z: ~bx.or_s([x, y]), [[("x", False)], [("y", False)]]),
    (lambda x, y, z: bx.or_s([x, ~bx.and_s([y, z])]), [[("x", True), ("y", False), ("z", False)]]),
    (lambda x, y, z: bx.and_s([bx.or_s([x, y]), ~bx.or_s([y, z])]),
     [[("x", True), ("y", True)], [("y", False)], [("z", False)]]),
    (lambda x, y, z: bx.xor_s([x, y]), [[("x", True), ("y", True)], [("x", False), ("y", False)]]),
])
def test_conjunctions_and_disjunctions_in_disguise_need_no_new_variable(ctx, xyz, build, shape):
    template = build(*xyz).tseytin(ctx, PREFIX)
    assert sorted(map(sorted, clauses_of(template))) == sorted(map(sorted, shape))


def test_constant_results_are_one_and_zero(ctx, xyz):
    x, y, _ = xyz
    assert isinstance(bx.zero().tseytin(ctx, PREFIX), bx.Zero)
    assert isinstance(bx.one().tseytin(ctx, PREFIX), bx.One)
    assert isinstance(bx.and_s([bx.or_s([x, y]), bx.zero()]).tseytin(ctx, PREFIX), bx.Zero)
    # An empty conjunction of the exact kind is true, not an empty template.
    assert isinstance(bx.and_([]).tseytin(ctx, PREFIX), bx.One)
    assert isinstance(bx.and_([bx.one(), bx.one()]).tseytin(ctx, PREFIX), bx.One)
    assert isinstance(bx.and_([x, bx.zero()]).tseytin(ctx, PREFIX), bx.Zero)


def test_new_variables_never_alias_existing_ones():
    ctx = bx.Context()
    x, y, z, w = (ctx.get_var(n) for n in "xyzw")
    taken = ctx.get_var(f"{PREFIX}_0")
    first = bx.or_s([bx.and_s([x, y]), bx.and_s([z, w])]).tseytin(ctx, PREFIX)
    second = bx.or_s([bx.and_s([x, z]), bx.and_s([y, w])]).tseytin(ctx, PREFIX)
    first_new = new_variable_names(first, "xyzw")
    second_new = new_variable_names(second, "xyzw")
    assert taken.name not in first_new | second_new
    assert len(first_new) == len(second_new) == 2 and not first_new & second_new
    # Both templates together still mean both formulas.
    both = bx.and_s([first, second])
    names = list("xyzw")
    assert_projection_equivalent(
        both, lambda v: ((v["x"] and v["y"]) or (v["z"] and v["w"])) and ((v["x"] and v["z"]) or (v["y"] and v["w"])),
        names + [taken.name])


def test_shared_sub_formula_is_defined_once(ctx):
    xs = [ctx.get_var(f"x{i}") for i in range(6)]
    shared = bx.and_s(xs[:3])
    formula = bx.and_s([bx.or_s([shared, xs[3]]), bx.or_s([shared, xs[4]]), bx.or_s([~shared, xs[5]])])
    template = formula.tseytin(ctx, PREFIX)
    assert new_variable_names(template, [x.name for x in xs]) == {f"{PREFIX}_0"}
    assert_projection_equivalent(
        template, lambda v: all((v["x0"] and v["x1"] and v["x2"]) or v[f"x{k}"] for k in (3, 4))
        and (not (v["x0"] and v["x1"] and v["x2"]) or v["x5"]), [x.name for x in xs])


def test_long_exclusive_disjunction(ctx):
    names = [f"x{i}" for i in range(8)]
    formula = bx.xor_s([ctx.get_var(n) for n in names])
    for template, odd in ((formula.tseytin(ctx, "p"), 1), ((~formula).tseytin(ctx, "q"), 0)):
        assert_projection_equivalent(template, lambda v: sum(v.values()) % 2 == odd, names)


DEPTH = 100_000


@pytest.fixture(scope="module")
def deep():
    ctx = bx.Context()
    xs = [ctx.get_var(f"x{i}") for i in range(DEPTH // 2 + 1)]
    formula = xs[0]
    for i in range(1, len(xs)):
        formula = bx.or_s([bx.and_s([formula, xs[i]]), ~xs[i - 1]]) if i % 2 else bx.xor_s([formula, xs[i]])
    return ctx, formula, len(xs)


def test_deep_formula_text_support_and_tseytin_do_not_overflow(deep):
    ctx, formula, count = deep
    text = str(formula)
    assert text.count("(") == text.count(")") >= DEPTH // 2
    assert len(formula.support()) == count
    template = formula.tseytin(ctx, PREFIX)
    clauses = str(template).split(" & ")
    assert len(clauses) > DEPTH // 2
    fresh = new_variable_names(template, [f"x{i}" for i in range(count)])
    assert fresh == {f"{PREFIX}_{n}" for n in range(len(fresh))}


# --- clause templates as the model reads them ------------------------------

def test_template_parse_of_mixed_literals(ctx):
    x_i, pb1, bx0, x_i1j = (ctx.get_var(n) for n in ("x(i)", "_pbct_aux_1", "_bxpr_aux_0", "x(i + 1,j)"))
    template = bx.and_s([bx.or_s([x_i, ~pb1]), bx0, ~x_i1j]).tseytin(ctx, PREFIX)
    assert parsed_template(template) == [["x(i)", "'~_pbct_aux_1'"], ["'_bxpr_aux_0'"], ["-x(i + 1,j)"]]


def test_template_parse_of_single_clause_and_literal(ctx):
    a, b = ctx.get_var("x(1)"), ctx.get_var("_bxpr_aux_3")
    assert parsed_template(bx.or_s([a, ~b]).tseytin(ctx, PREFIX)) == [["x(1)", "'~_bxpr_aux_3'"]]
    assert parsed_template((~a).tseytin(ctx, PREFIX)) == [["-x(1)"]]


def test_soft_template_keeps_literals_by_position(ctx):
    a, b = ctx.get_var("x(0)"), ctx.get_var("x(1)")
    soft = bx.and_([a, ~b, a])
    assert isinstance(soft, bx.And)
    assert parsed_template(soft) == [["x(0)"], ["-x(1)"], ["x(0)"]]
    assert parsed_template(bx.and_([b])) == [["x(1)"]]
    assert parsed_template(bx.and_([])) == []


# --- texts, identity and structure -----------------------------------------

def test_literal_texts_and_double_negation(ctx):
    x = ctx.get_var("x(i + 1,j)")
    assert str(x) == "x(i + 1,j)" and x.name == "x(i + 1,j)"
    assert str(~x) == "~x(i + 1,j)"
    assert ~~x is x
    assert ctx.get_var("x(i + 1,j)") is x
    assert isinstance(x, bx.Variable) and isinstance(~x, bx.Not) and isinstance(x, bx.BaseExpr)


def test_readable_text(ctx, xyz):
    x, y, z = xyz
    assert str(bx.and_s([bx.or_s([x, ~y]), bx.xor_s([y, z])])) == "((x | ~y) & (y ^ z))"
    assert str(bx.ite_s(x, y, z)) == "ite(x, y, z)"
    assert str(~bx.and_s([x, y])) == "~(x & y)"
    assert str(bx.one()) == "1" and str(bx.zero()) == "0"


def test_equal_sub_formulas_are_one_node(ctx, xyz):
    x, y, z = xyz
    first = bx.and_s([x, bx.or_s([y, z])])
    second = bx.and_s([x, bx.or_s([y, z])])
    assert first == second and hash(first) == hash(second)
    assert len({first, second, bx.and_s([bx.or_s([y, z]), x])}) == 2
    assert bx.Context().get_var("x") != x


def test_get_args_of_every_shape(ctx, xyz):
    x, y, z = xyz
    assert bx.and_s([x, ~y, z]).get_args() == [x, ~y, z]
    assert bx.or_s([z, x]).get_args() == [z, x]
    assert bx.ite_s(x, y, z).get_args() == [x, y, z]
    assert bx.xor_s([x, y]).get_args() == [x, y]
    assert (~bx.and_s([x, y])).get_args() == [bx.and_s([x, y])]
    assert x.get_args() == [] and bx.one().get_args() == []


def test_support_is_the_set_of_variables(ctx, xyz):
    x, y, z = xyz
    support = bx.and_s([bx.or_s([x, ~y]), bx.ite_s(y, x, ~x)]).support()
    assert support == {x, y} and all(any(v is w for w in (x, y)) for v in support)
    assert bx.one().support() == set()


# --- simplification -----------------------------------------------------------

@pytest.mark.parametrize("build, text", [
    (lambda x, y, z: bx.and_s([]), "1"),
    (lambda x, y, z: bx.or_s([]), "0"),
    (lambda x, y, z: bx.xor_s([]), "0"),
    (lambda x, y, z: bx.eq_s([]), "1"),
    (lambda x, y, z: bx.eq_s([x]), "1"),
    (lambda x, y, z: bx.and_s([x, bx.one(), y]), "(x & y)"),
    (lambda x, y, z: bx.and_s([x, bx.zero()]), "0"),
    (lambda x, y, z: bx.or_s([x, bx.one()]), "1"),
    (lambda x, y, z: bx.or_s([bx.zero(), x]), "x"),
    (lambda x, y, z: bx.and_s([x, bx.and_s([y, z]), x]), "(x & y & z)"),
    (lambda x, y, z: bx.or_s([bx.or_s([x, y]), bx.or_s([z, x])]), "(x | y | z)"),
    (lambda x, y, z: bx.and_s([bx.and_([x, x, bx.one()]), y]), "(x & y)"),
    (lambda x, y, z: bx.and_s([x, y, ~x]), "0"),
    (lambda x, y, z: bx.or_s([x, bx.or_s([y, ~x])]), "1"),
    (lambda x, y, z: bx.xor_s([x, y, x]), "y"),
    (lambda x, y, z: bx.xor_s([x, ~x]), "1"),
    (lambda x, y, z: bx.xor_s([x, bx.one(), y]), "~(x ^ y)"),
    (lambda x, y, z: bx.xor_s([bx.xor_s([x, y]), z]), "(x ^ y ^ z)"),
    (lambda x, y, z: bx.eq_s([x, bx.one(), y]), "(x & y)"),
    (lambda x, y, z: bx.eq_s([x, bx.zero(), y]), "(~x & ~y)"),
    (lambda x, y, z: bx.eq_s([x, ~x]), "0"),
    (lambda x, y, z: bx.eq_s([x, x]), "1"),
    (lambda x, y, z: bx.impl_s(bx.one(), x), "x"),
    (lambda x, y, z: bx.impl_s(x, x), "1"),
    (lambda x, y, z: bx.ite_s(bx.one(), x, y), "x"),
    (lambda x, y, z: bx.ite_s(x, y, y), "y"),
    (lambda x, y, z: bx.ite_s(x, bx.one(), y), "(x | y)"),
    (lambda x, y, z: bx.ite_s(x, y, bx.zero()), "(x & y)"),
    (lambda x, y, z: bx.ite_s(~x, y, z), "ite(x, z, y)"),
    (lambda x, y, z: ~~bx.and_s([x, y]), "(x & y)"),
])
def test_simplification_rules(xyz, build, text):
    assert str(build(*xyz)) == text


def test_constant_results_are_instances_of_one_and_zero(xyz):
    x, y, _ = xyz
    assert isinstance(bx.and_s([x, ~x]), bx.Zero) and isinstance(bx.or_s([x, ~x]), bx.One)
    assert isinstance(~bx.one(), bx.Zero) and isinstance(bx.and_s([]), bx.One)
    assert bx.zero() == bx.and_s([x, ~x])


def test_any_iterable_serves_as_the_list(xyz):
    x, y, z = xyz
    assert bx.or_s(f for f in (x, y, z)) == bx.or_s([x, y, z])
    assert bx.and_s((x, ~y)) == bx.and_s([x, ~y])


def test_and_exact_keeps_arguments(xyz):
    x, y, _ = xyz
    formula = bx.and_([y, x, y, bx.one(), ~x])
    assert isinstance(formula, bx.And)
    assert formula.get_args() == [y, x, y, bx.one(), ~x]
    assert bx.and_([x]).get_args() == [x]


def test_formulas_without_variables_join_any_context(ctx, xyz):
    x, _, _ = xyz
    empty = bx.and_([])
    assert isinstance(empty, bx.And) and empty.get_args() == []
    assert bx.and_s([empty, x]) is x
    joined = bx.and_([bx.one(), x])
    assert joined.get_args() == [bx.one(), x]
    assert_projection_equivalent(bx.or_s([bx.and_([bx.zero()]), x]).tseytin(ctx, PREFIX), lambda v: v["x"], ["x"])


# --- bulk construction --------------------------------------------------------

def test_from_clauses_equals_and_s_of_or_s(ctx, xyz):
    x, y, z = xyz
    literals = np.array([1, -2, 2, 3, -3, 3, -1], dtype=np.int32)
    offsets = np.array([0, 2, 4, 6, 7])
    made = bx.from_clauses(literals, offsets, [x, y, z])
    assert made == bx.and_s([bx.or_s([x, ~y]), bx.or_s([y, z]), bx.or_s([~z, z]), ~x])
    assert isinstance(bx.from_clauses([], [0], []), bx.One)
    assert isinstance(bx.from_clauses([], [0, 0], [x]), bx.Zero)


# Clauses of distinct variables take a direct path; every other shape, and
# nodes made before, must give the formula the general builders give.
@pytest.mark.parametrize("clauses", [
    [[1, -2, 3], [-1, 2], [2, 3, -4]],
    [[1, 2], [1, 2], [2, 1]],
    [[1], [-2], [1], [3, 4]],
    [[1], [2, 3], [-1]],
    [[1, -1], [2, 3]],
    [[1, 2, 1], [3, -4]],
    [[2, 3], []],
    [[1, 2, 3, 4, 5, 6, 7, 8, 9, -10], [10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 4]],
    [[5, 1], [6, -2], [5], [6]],
    [[7, 1], [-7, 2]],
])
def test_from_clauses_of_any_shape_equals_and_s_of_or_s(ctx, clauses):
    plain = [ctx.get_var(f"v{k}") for k in range(1, 11)]
    # Positions 5 to 7 hold formulas that are no variable: a disjunction, a
    # negated conjunction, a constant.
    variables = plain[:4] + [bx.or_s(plain[8:10]), ~bx.and_s(plain[4:6]), bx.one()] + plain[7:]
    existing = bx.or_s([variables[1], variables[2]])  # made before: found, not made
    literals = [literal for clause in clauses for literal in clause]
    offsets = np.cumsum([0] + [len(clause) for clause in clauses])
    expected = bx.and_s([bx.or_s([variables[l - 1] if l > 0 else ~variables[-l - 1] for l in clause])
                         for clause in clauses])
    assert bx.from_clauses(literals, offsets, variables) == expected
    assert existing == bx.or_s([variables[1], variables[2]])


# --- clause blocks ------------------------------------------------------------
# A converted clause database whose numbers all stand for variable literals
# is one clause-block node; it must read, simplify into and convert like the
# conjunction of disjunctions it stands for.

def encoded_database(weights, comparator, bound):
    database = pb.VectorClauseDatabase(pb.PBConfig())
    literals = [pb.WeightedLit(k + 1, weight) for k, weight in enumerate(weights)]
    pb.pb2cnf(pb.PBConfig()).encode2(pb.PBConstraint(literals, comparator, bound), database,
                                     pb.AuxVarManager(len(weights) + 1))
    return database


def block_and_its_conjunction(ctx, database, known):
    block, numbers, _, variables = bx.clauses_to_formula(ctx, database, known, "p", 0)
    formulas = {**known, **dict(zip(numbers, variables))}
    conjunction = bx.and_s([bx.or_s([formulas[l] if l > 0 else ~formulas[-l] for l in clause])
                            for clause in database.get_clauses()])
    return block, conjunction


@pytest.fixture
def comparison_block(ctx, xyz):
    x, y, z = xyz
    database = encoded_database([2, 1, 3], pb.Comparator_type.BOTH, 3)
    return block_and_its_conjunction(ctx, database, {1: x, 2: ~y, 3: z})


def test_a_clause_block_reads_as_its_conjunction(ctx, comparison_block):
    block, conjunction = comparison_block
    assert isinstance(block, bx.And) and block != conjunction
    assert str(block) == str(conjunction)
    assert block.get_args() == conjunction.get_args()
    assert block.support() == conjunction.support()
    assert block.tseytin(ctx, PREFIX) == block  # already clauses


@pytest.mark.parametrize("place", [
    lambda f, x, y: f,
    lambda f, x, y: ~f,
    lambda f, x, y: bx.or_s([f, x]),
    lambda f, x, y: bx.or_s([~f, ~x]),
    lambda f, x, y: bx.and_s([f, ~y]),
    lambda f, x, y: bx.xor_s([f, x]),
    lambda f, x, y: bx.eq_s([f, y]),
    lambda f, x, y: bx.ite_s(f, x, y),
    lambda f, x, y: bx.ite_s(x, ~f, f),
    lambda f, x, y: bx.impl_s(f, bx.and_s([x, y])),
])
def test_a_clause_block_converts_like_its_conjunction_anywhere(ctx, xyz, comparison_block, place):
    """Enumerated over the block's variables, its auxiliaries included."""
    block, conjunction = comparison_block
    x, y, _ = xyz
    formula, expected = place(block, x, y), place(conjunction, x, y)
    names = sorted(v.name for v in expected.support())
    assert len(names) <= 14
    truth = lambda values: evaluate(expected, values)  # noqa: E731
    assert_projection_equivalent(formula.tseytin(ctx, PREFIX), truth, names)
    for values in itertools.product([False, True], repeat=len(names)):
        assignment = dict(zip(names, values))
        assert evaluate(formula, assignment) == truth(assignment)


def test_a_clause_block_drops_repeated_literals_and_tautologies(ctx, xyz):
    """Two numbers known as one variable, or as a variable and its negation."""
    x, y, z = xyz
    database = encoded_database([1, 1, 1, 1], pb.Comparator_type.LEQ, 2)
    block, conjunction = block_and_its_conjunction(ctx, database, {1: x, 2: x, 3: ~y, 4: y})
    for clause in block.get_args():
        literals = clause.get_args() if isinstance(clause, bx.Or) else [clause]
        names = [str(literal).lstrip("~") for literal in literals]
        assert len(set(names)) == len(names), str(clause)
    names = sorted(v.name for v in conjunction.support() | block.support())
    for values in itertools.product([False, True], repeat=len(names)):
        assignment = dict(zip(names, values))
        assert evaluate(block, assignment) == evaluate(conjunction, assignment)


def test_a_clause_block_holding_a_unit_and_its_negation_is_false_as_its_conjunction(ctx, xyz):
    """4x - 5y - 4z == -2 never holds: the encoder writes an auxiliary and its negation as unit clauses."""
    x, y, z = xyz
    database = encoded_database([4, -5, -4], pb.Comparator_type.BOTH, -2)
    assert [5] in database.get_clauses() and [-5] in database.get_clauses()
    block, conjunction = block_and_its_conjunction(ctx, database, {1: x, 2: y, 3: z})
    assert conjunction == bx.zero() and block == bx.zero()


@pytest.mark.parametrize("existing, known_by_name", [
    (["p_1"], {}),             # a new number's name exists: later new numbers shift
    (["p_0"], {2: "p_0"}),     # and it is a known number's variable: [-2, 5] says nothing
    (["p_0", "p_2"], {3: "p_2"}),
])
def test_new_variable_names_that_exist_give_their_variables(ctx, xyz, existing, known_by_name):
    x, _, _ = xyz
    taken = [ctx.get_var(name) for name in existing]
    known = {1: x, **{number: ctx.get_var(name) for number, name in known_by_name.items()}}
    database = encoded_database([1, 1, 1, 1], pb.Comparator_type.LEQ, 2)
    block, numbers, names, variables = bx.clauses_to_formula(ctx, database, known, "p", 0)
    assert names == [f"p_{k}" for k in range(len(numbers))]
    assert all(variable is ctx.get_var(name) for variable, name in zip(variables, names))
    assert all(variable in variables for variable in taken)
    for clause in block.get_args():
        literals = clause.get_args() if isinstance(clause, bx.Or) else [clause]
        assert len({str(literal).lstrip("~") for literal in literals}) == len(literals), str(clause)
    formulas = {**known, **dict(zip(numbers, variables))}
    conjunction = bx.and_s([bx.or_s([formulas[l] if l > 0 else ~formulas[-l] for l in clause])
                            for clause in database.get_clauses()])
    support = sorted(v.name for v in conjunction.support() | block.support())
    for values in itertools.product([False, True], repeat=len(support)):
        assignment = dict(zip(support, values))
        assert evaluate(block, assignment) == evaluate(conjunction, assignment)


def test_equal_clause_blocks_are_one_node(ctx):
    database = encoded_database([2, 1, 3], pb.Comparator_type.GEQ, 2)
    first, made = bx.clauses_to_formula_and_variables(ctx, database, {}, bx.NewVariableRegistry(), "p", 0)
    registry = bx.NewVariableRegistry()
    registry.add(made)
    again, _ = bx.clauses_to_formula_and_variables(ctx, database, {}, registry, "p", len(made))
    assert again == first and hash(again) == hash(first)
    assert bx.and_s([first, again]) == first


@pytest.mark.parametrize("literals, offsets, error", [
    ([1, 0], [0, 2], ValueError),
    ([1, 4], [0, 2], IndexError),
    ([1, -4], [0, 2], IndexError),
    ([1, 2], [0, 1], ValueError),
    ([1, 2], [1, 2], ValueError),
    ([1, 2], [0, 2, 1, 2], ValueError),
    ([1.5], [0, 1], TypeError),
])
def test_from_clauses_refuses_bad_buffers(xyz, literals, offsets, error):
    with pytest.raises(error):
        bx.from_clauses(literals, offsets, xyz)


# --- bad arguments ------------------------------------------------------------

@pytest.mark.parametrize("call", [
    lambda x: bx.and_s([x, 1]),
    lambda x: bx.or_s([None]),
    lambda x: bx.xor_s(x),
    lambda x: bx.eq_s("xy"),
    lambda x: bx.and_(5),
    lambda x: bx.impl_s(x, True),
    lambda x: bx.ite_s(x, x, "y"),
    lambda x: x.tseytin("not a context", PREFIX),
    lambda x: x.tseytin(bx.Context(), 3),
    lambda x: bx.Context().get_var(7),
])
def test_non_formulas_are_refused_with_type_error(xyz, call):
    with pytest.raises(TypeError):
        call(xyz[0])


def test_type_error_names_the_culprit(xyz):
    with pytest.raises(TypeError, match=r"and_s takes formulas \(bx.BaseExpr\), but item 1 is int 1"):
        bx.and_s([xyz[0], 1])


@pytest.mark.parametrize("call", [
    lambda x, other: bx.and_s([x, other]),
    lambda x, other: bx.or_s([bx.one(), x, ~other]),
    lambda x, other: bx.impl_s(x, other),
    lambda x, other: bx.ite_s(other, x, x),
    lambda x, other: bx.from_clauses([1, 2], [0, 2], [x, other]),
    lambda x, other: x.tseytin(bx.Context(), PREFIX),
])
def test_formulas_of_two_contexts_are_refused_with_value_error(xyz, call):
    other = bx.Context().get_var("x")
    with pytest.raises(ValueError, match="context"):
        call(xyz[0], other)


def test_empty_variable_name_is_refused(ctx):
    with pytest.raises(ValueError):
        ctx.get_var("")
