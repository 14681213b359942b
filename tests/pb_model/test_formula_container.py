import itertools

import numpy as np
import pytest
from pysat.solvers import Solver

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx
from vx_encoder.core.formula_container import FormulaContainer
from vx_encoder.encode.variables import Variable


@pytest.fixture
def context():
    return bx.Context()


@pytest.fixture
def variables():
    """dummy_var holds 0, x(a, b) is 1 + 4a + b; 13 is the first free number."""
    return {"dummy_var": Variable("dummy_var", {"d": 1}, 0), "x": Variable("x", {"i": 3, "j": 4}, 1)}


@pytest.fixture
def container(variables):
    return FormulaContainer(variables, 13)


def clause(context, *names):
    literals = [~context.get_var(name[1:]) if name.startswith("~") else context.get_var(name) for name in names]
    return bx.or_s(literals) if len(literals) > 1 else literals[0]


def conjunction(context, *clauses):
    return bx.and_([clause(context, *names) for names in clauses])


@pytest.fixture
def constraint_a(context):
    """The first example constraint: i over 0 and 1, P = 1, B = 2, two clauses."""
    return conjunction(context, ["~x(i,1)", "~_bxpr_aux_1", "_pbct_aux_0"], ["_bxpr_aux_0", "x(i,2)"])


@pytest.fixture
def constraint_b(context):
    """The second: i over 0..2, j over 0..3, P = 2, B = 0, three clauses."""
    return conjunction(context, ["x(i,j)", "_pbct_aux_0"], ["~_pbct_aux_1", "x(i,j)"], ["_pbct_aux_1", "_pbct_aux_0"])


def add_a_and_b(container, constraint_a, constraint_b):
    container.add_hard_constraint(constraint_a, {"i": range(0, 2)}, 1, 2)
    container.add_hard_constraint(constraint_b, {"i": range(3), "j": range(4)}, 2, 0)


def auxiliary_entries(mapping, formula):
    return {key: number for key, number in mapping.items() if key.startswith("_") and f"[{formula}," in key}


# --- the worked example -------------------------------------------------------

def test_worked_example_cnf_build(container, constraint_a, constraint_b):
    container.add_hard_constraint(constraint_a, {"i": range(0, 2)}, 1, 2)
    assert (container.first_free_variable, container.num_clauses, len(container.cnf_storage())) == (19, 4, 0)
    container.add_hard_constraint(constraint_b, {"i": range(3), "j": range(4)}, 2, 0)
    assert (container.first_free_variable, container.num_clauses, len(container.cnf_storage())) == (43, 40, 4)
    assert sorted(auxiliary_entries(container.mapping, 0).values()) == list(range(13, 19))
    container.build_cnf_formula("example")
    storage = container.cnf_storage()
    assert sorted(auxiliary_entries(container.mapping, 1).values()) == list(range(19, 43))
    assert storage.get_hard_clauses()[:4] == [[-2, 13, -15], [3, 14], [-6, 16, -18], [7, 17]]
    assert (storage.get_model_name(), storage.get_variable_count(), storage.get_clause_count()) == ("example", 42, 40)
    assert len(storage) == 40


def test_worked_example_with_a_target(container, context, constraint_a, constraint_b):
    add_a_and_b(container, constraint_a, constraint_b)
    target = conjunction(context, ["_pbct_aux_0", "x(0,0)"], ["_pbct_aux_1"], ["_pbct_aux_2", "~x(0,1)"],
                         ["~_pbct_aux_0", "_pbct_aux_2"], ["x(2,3)"])
    container.add_target_constraint(target, {}, 3, 0)
    assert auxiliary_entries(container.mapping, 2) == {"_pbct_aux[2,0,0]": 43, "_pbct_aux[2,0,1]": 44,
                                                       "_pbct_aux[2,0,2]": 45}
    # The target's block (43 to 45) is kept clear of anything added later.
    assert (container.first_free_variable, container.num_clauses) == (46, 40)
    container.build_cnf_formula("example")
    storage = container.cnf_storage()
    hard = storage.get_hard_clauses()
    # Merged in the order A, target, B.
    assert hard[4:9] == [[1, 43], [44], [-2, 45], [-43, 45], [12]]
    assert (storage.get_variable_count(), storage.get_clause_count(), len(storage)) == (45, 45, 45)


def test_worked_example_with_a_soft_constraint_counts_every_written_weight(container, context,
                                                                           constraint_a, constraint_b):
    add_a_and_b(container, constraint_a, constraint_b)
    soft = bx.and_([context.get_var("x(i,0)"), context.get_var("x(i,1)")])
    container.add_soft_formula(soft, [3, 4], {"i": range(3)}, 0, 0)
    assert (container.first_free_variable, container.num_clauses) == (43, 46)
    # Three instances of the weights 3 and 4: 21, so breaking a hard clause
    # (weight limit 22) costs more than all soft clauses together.
    assert container.hard_weight == 22
    container.build_wcnf_formula("example")
    storage = container.cnf_storage()
    assert [weight for _, weight in storage.get_soft_clauses()] == [3, 4, 3, 4, 3, 4]
    assert (storage.get_variable_count(), storage.get_clause_count(), storage.get_weight_limit()) == (42, 46, 22)
    assert len(storage) == 46


def test_soft_clauses_of_weight_zero_are_dropped_and_not_counted(container, context):
    soft = bx.and_([context.get_var("x(i,0)"), context.get_var("x(i,1)")])
    container.add_soft_formula(soft, [0, 5], {"i": range(2)}, 0, 0)
    container.build_wcnf_formula("m")
    storage = container.cnf_storage()
    assert storage.get_soft_clauses() == [([2], 5), ([6], 5)] and storage.get_hard_clauses() == []
    assert (container.num_clauses, storage.get_clause_count(), container.hard_weight) == (2, 2, 11)


# --- pending constraints and numbering --------------------------------------------

def test_constraint_without_instances_uses_up_its_formula_number(container, context):
    container.add_hard_constraint(conjunction(context, ["x(i,0)", "_pbct_aux_0"]), {"i": []}, 1, 0)
    container.add_hard_constraint(conjunction(context, ["x(0,0)", "_pbct_aux_0"]), {}, 1, 0)
    container.build_cnf_formula("m")
    assert container.mapping["_pbct_aux[1,0,0]"] == 13
    assert container.cnf_storage().get_hard_clauses() == [[1, 13]]


def test_variable_count_is_the_largest_number_used(container, context):
    # Two pseudo-Boolean auxiliaries reserved, only the first used.
    container.add_hard_constraint(conjunction(context, ["x(0,0)", "_pbct_aux_0"]), {}, 2, 0)
    container.build_cnf_formula("m")
    assert (container.first_free_variable, container.cnf_storage().get_variable_count()) == (15, 13)


def test_mapping_is_new_at_every_read_and_the_storage_is_always_the_same(container, constraint_a):
    storage = container.cnf_storage()
    first = container.mapping
    first["extra"] = 1
    assert container.mapping == {key: value for key, value in first.items() if key != "extra"}
    container.add_hard_constraint(constraint_a, {"i": [0]}, 1, 2)
    container.build_cnf_formula("m")
    container.build_cnf_formula("m")
    assert container.cnf_storage() is storage and len(storage) == 2


def test_foralls_are_read_when_the_constraint_arrives(container, context):
    values = [0, 1]
    container.add_hard_constraint(conjunction(context, ["x(i,0)"]), {"i": values}, 0, 0)
    values.append(2)
    container.build_cnf_formula("m")
    assert container.cnf_storage().get_hard_clauses() == [[1], [5]]


def test_template_parse(context):
    parse = FormulaContainer._FormulaContainer__bx2list_clauses
    template = bx.and_([bx.or_s([context.get_var("x(i)"), ~context.get_var("_pbct_aux_1")]),
                        context.get_var("_bxpr_aux_0"), ~context.get_var("x(i + 1,j)")])
    assert parse(template) == [["x(i)", "'~_pbct_aux_1'"], ["'_bxpr_aux_0'"], ["-x(i + 1,j)"]]
    assert parse(clause(context, "x(0)", "~_bxpr_aux_3")) == [["x(0)", "'~_bxpr_aux_3'"]]
    assert parse(~context.get_var("x(2)")) == [["-x(2)"]]
    units = bx.and_([context.get_var(f"x({n})") for n in (2, 0, 1)])
    assert parse(units) == [["x(2)"], ["x(0)"], ["x(1)"]]


def test_each_constraint_gets_its_own_empty_storage(container):
    create = container._FormulaContainer__create_cnf_storage
    first, second = create(), create()
    assert first is not second and len(first) == len(second) == 0


def _storage_after_each_step(monkeypatch, batch_constraints, batch_clauses):
    """A weighted model's storage as the container shows it after each step,
    its flushed clauses written in batches of the given limits."""
    from vx_encoder import Model
    from vx_encoder.core import formula_container
    monkeypatch.setattr(formula_container, "_BATCH_CONSTRAINTS", batch_constraints)
    monkeypatch.setattr(formula_container, "_BATCH_CLAUSES", batch_clauses)
    model = Model(ke.manager(), "batches")
    x = model.create_variables("x", a=12, b=3)
    i, j = model.get_indexes(["i", "j"])
    seen = []

    def step(add):
        add()
        storage = model.get_cnf_storage()
        seen.append((storage.get_hard_clauses(), storage.get_soft_clauses(),
                     list(model._formula_container.mapping.items())))

    for a in range(10):
        step(lambda: model.add_constraint(~x[a, j] | x[a + 1, j], j=range(3)))
        if a % 3 == 0:
            step(lambda: model.add_constraint(x[i, 0] + x[i, 1] + x[i, 2] <= 1, i=range(a, 12)))
    for a in range(10):
        step(lambda: model.add_soft_constraint(x[a, 0] + 2 * x[a, 1], 1 + a, a % 2 == 0))
    step(model.build_wcnf)
    return seen


@pytest.mark.parametrize("batch_constraints, batch_clauses", [(3, 1 << 16), (1 << 12, 7), (1 << 12, 1 << 16)])
def test_batched_writes_show_what_one_write_per_flush_shows_after_every_step(monkeypatch, batch_constraints,
                                                                              batch_clauses):
    # The storage and mapping after each step are those of a container that
    # writes every constraint when it is flushed: the one before last of each kind.
    one_by_one = _storage_after_each_step(monkeypatch, 1, 1)
    assert _storage_after_each_step(monkeypatch, batch_constraints, batch_clauses) == one_by_one
    assert one_by_one[0][0] == [] and one_by_one[-1][1] != one_by_one[-2][1]


# --- errors surface in their own call; nothing half-done -----------------------

def snapshot(container):
    storage = container.cnf_storage()
    return (container.first_free_variable, container.num_clauses, container.hard_weight, container.mapping,
            storage.get_hard_clauses(), storage.get_soft_clauses())


@pytest.mark.parametrize("literal, foralls, error", [
    ("x(i + 1,0)", {"i": range(3)}, IndexError),
    ("x(i,k)", {"i": range(3)}, NameError),
    ("y(i)", {"i": range(3)}, NameError),
    ("_bxpr_aux_5", {}, ValueError),
    ("stray", {}, ValueError),
    ("x(i,0)", {"i": [0, 0.5]}, TypeError),
])
def test_bad_constraint_is_refused_by_its_own_call_and_changes_nothing(container, context, constraint_a,
                                                                       literal, foralls, error):
    container.add_hard_constraint(constraint_a, {"i": range(0, 2)}, 1, 2)
    before = snapshot(container)
    with pytest.raises(error):
        container.add_hard_constraint(conjunction(context, [literal, "x(0,0)"]), foralls, 0, 1)
    assert snapshot(container) == before
    container.build_cnf_formula("m")
    assert container.cnf_storage().get_hard_clauses() == [[-2, 13, -15], [3, 14], [-6, 16, -18], [7, 17]]


def test_bad_soft_weights_are_refused_and_leave_the_weight_limit(container, context):
    soft = bx.and_([context.get_var("x(i,0)"), context.get_var("x(i,1)")])
    with pytest.raises(IndexError):
        container.add_soft_formula(soft, [3], {"i": range(2)}, 0, 0)
    assert (container.hard_weight, container.num_clauses) == (1, 0)


class FailingWriteStorage:
    """A storage whose writes of clauses write and then fail, as an
    allocation failure halfway would."""

    def __init__(self, storage):
        self._storage = storage
        self.fail = True

    def add_hard_clauses(self, literals, offsets):
        self._storage.add_hard_clauses(literals, offsets)
        self.__maybe_fail()

    def add_soft_clauses(self, literals, offsets, weights):
        self._storage.add_soft_clauses(literals, offsets, weights)
        self.__maybe_fail()

    def __maybe_fail(self):
        if self.fail:
            raise MemoryError

    def __len__(self):
        return len(self._storage)

    def __getattr__(self, name):
        return getattr(self._storage, name)


def test_failed_flush_leaves_the_container_unchanged_and_a_retry_writes_once(container, constraint_a):
    container.add_hard_constraint(constraint_a, {"i": range(0, 2)}, 1, 2)
    failing = FailingWriteStorage(container.cnf_storage())
    container._cnf_stor = failing
    before = snapshot(container)
    with pytest.raises(MemoryError):
        container.build_cnf_formula("m")
    assert snapshot(container) == before and len(failing) == 0
    failing.fail = False
    container.build_cnf_formula("m")
    assert len(failing) == 4 and failing.get_clause_count() == 4


# --- the target ---------------------------------------------------------------

def build_with_target(container, target, pb=0, bx_count=0):
    container.add_target_constraint(target, {}, pb, bx_count)
    container.build_cnf_formula("m")
    container.reset_target()
    return container.cnf_storage()


def test_a_new_target_replaces_the_previous_one(container, context, constraint_a):
    container.add_hard_constraint(constraint_a, {"i": range(0, 2)}, 1, 2)
    storage = build_with_target(container, conjunction(context, ["x(0,0)", "_pbct_aux_0"], ["_pbct_aux_1"]), pb=2)
    # Right after the build the storage and mapping still hold the target.
    assert storage.get_hard_clauses()[:2] == [[1, 19], [20]]
    assert "_pbct_aux[1,0,1]" in container.mapping
    storage = build_with_target(container, conjunction(context, ["~x(2,3)", "_pbct_aux_0"]), pb=1)
    assert storage.get_hard_clauses() == [[-2, 13, -15], [3, 14], [-6, 16, -18], [7, 17], [-12, 19]]
    assert "_pbct_aux[1,0,1]" not in container.mapping
    assert (storage.get_clause_count(), storage.get_variable_count()) == (5, 19)


def test_target_added_twice_without_reset_is_replaced_too(container, context):
    container.add_target_constraint(conjunction(context, ["x(0,0)"], ["x(0,1)"]), {}, 0, 0)
    container.add_target_constraint(conjunction(context, ["x(0,2)"]), {}, 0, 0)
    container.build_cnf_formula("m")
    assert container.cnf_storage().get_hard_clauses() == [[3]]
    assert container.cnf_storage().get_clause_count() == 1


def test_constraints_and_variables_after_a_target_keep_clear_of_its_block(container, variables, context,
                                                                          constraint_a):
    container.add_target_constraint(conjunction(context, ["x(0,0)", "_pbct_aux_0"]), {}, 1, 0)
    assert container.first_free_variable == 14
    container.add_hard_constraint(constraint_a, {"i": [0]}, 1, 2)
    late = Variable("z", {"k": 2}, container.first_free_variable)
    variables["z"] = late
    container.adopt_variable(late)
    container.build_cnf_formula("m")
    storage = container.cnf_storage()
    assert storage.get_hard_clauses() == [[1, 13], [-2, 14, -16], [3, 15]]
    numbers = list(container.mapping.values())
    assert len(numbers) == len(set(numbers)) and max(numbers) == 18 == storage.get_variable_count()
    assert storage.get_clause_count() == 3
    # The engine's mapping, filled part by part, holds the same entries in the same order.
    assert container.var_mapping().get_var_map() == container.mapping
    assert list(container.var_mapping().get_var_map()) == list(container.mapping)


# --- variables created after the container -------------------------------------

def test_adopted_variable_joins_the_mapping_and_keeps_clear_of_auxiliaries(container, variables, context):
    container.add_hard_constraint(conjunction(context, ["x(0,0)", "_pbct_aux_0"]), {}, 1, 0)
    late = Variable("z", {"k": 2}, container.first_free_variable)
    variables["z"] = late
    container.adopt_variable(late)
    assert container.first_free_variable == 16
    container.add_hard_constraint(conjunction(context, ["z(k)", "_pbct_aux_0"]), {"k": range(2)}, 1, 0)
    container.build_cnf_formula("m")
    mapping = container.mapping
    assert (mapping["z[0]"], mapping["z[1]"], mapping["_pbct_aux[1,0,0]"], mapping["_pbct_aux[1,1,0]"]) == (14, 15, 16, 17)
    assert container.cnf_storage().get_hard_clauses() == [[1, 13], [14, 16], [15, 17]]


def test_adopted_variable_must_start_at_the_first_free_number(container):
    with pytest.raises(ValueError, match="first free number is 13"):
        container.adopt_variable(Variable("z", {"k": 2}, 12))


# --- end to end against a solver -------------------------------------------------

def test_tseytin_templates_over_instances_encode_exactly_their_constraints():
    """Two constraints with Tseytin auxiliaries over several instances: an
    assignment of x extends to a model exactly when every instance holds, so
    no two instances or constraints share an auxiliary number."""
    x = {"dummy_var": Variable("dummy_var", {"d": 1}, 0), "x": Variable("x", {"i": 3, "j": 4}, 1)}
    container = FormulaContainer(x, 13)
    # The model converts each constraint in a fresh context, so each
    # numbers its Tseytin auxiliaries from 0.
    first_context, second_context = bx.Context(), bx.Context()
    v = {name: first_context.get_var(name) for name in ["x(i,0)", "x(i,1)", "x(i,2)", "x(i,3)"]}
    first = bx.or_s([bx.and_s([v["x(i,0)"], v["x(i,1)"]]), bx.and_s([v["x(i,2)"], v["x(i,3)"]]),
                     bx.and_s([v["x(i,0)"], ~v["x(i,3)"]])]).tseytin(first_context, "_bxpr_aux")
    w = {name: second_context.get_var(name) for name in ["x(i,0)", "x(i,2)", "x(i + 1,1)"]}
    second = bx.or_s([bx.and_s([w["x(i,2)"], w["x(i + 1,1)"]]), ~w["x(i,0)"]]).tseytin(second_context, "_bxpr_aux")
    container.add_hard_constraint(first, {"i": range(3)}, 0, 3)
    container.add_hard_constraint(second, {"i": range(2)}, 0, 1)
    container.build_cnf_formula("m")
    storage = container.cnf_storage()
    assert storage.get_variable_count() == 12 + 3 * 3 + 2 * 1

    def holds(cells):
        def cell(i, j):
            return cells[4 * i + j]
        return (all((cell(i, 0) and cell(i, 1)) or (cell(i, 2) and cell(i, 3)) or (cell(i, 0) and not cell(i, 3))
                    for i in range(3))
                and all((cell(i, 2) and cell(i + 1, 1)) or not cell(i, 0) for i in range(2)))

    with Solver(bootstrap_with=storage.get_hard_clauses()) as solver:
        for cells in itertools.product([False, True], repeat=12):
            assumptions = [n + 1 if value else -(n + 1) for n, value in enumerate(cells)]
            assert solver.solve(assumptions=assumptions) == holds(cells)


@pytest.mark.parametrize("names, expected", [
    ([["~x((2 * i) + 1,j)", "_pbct_aux_0"], ["~_bxpr_aux_1"], ["x(0,1)", "~y(i - 1)", "z(k)"]],
     [["-x((2 * i) + 1,j)", "'_pbct_aux_0'"], ["'~_bxpr_aux_1'"], ["x(0,1)", "-y(i - 1)", "z(k)"]]),
    ([["~x((2 * i) + 1,j)", "_bxpr_aux_3"]], [["-x((2 * i) + 1,j)", "'_bxpr_aux_3'"]]),
    ([["~_pbct_aux_2"]], [["'~_pbct_aux_2'"]]),
    # The host's bitwise operators inside an index: not a negation, not a connective.
    ([["~x(~i + 6)", "x(i & 1)"], ["y(i | 2,~j)"]], [["-x(~i + 6)", "x(i & 1)"], ["y(i | 2,~j)"]]),
    ([["x((i | 2) + 1)", "~x(i & 1)"]], [["x((i | 2) + 1)", "-x(i & 1)"]]),
])
def test_clause_template_is_the_formulas_literal_texts(container, context, names, expected):
    # Index arithmetic holding & | ~ is part of a name, never a connective or a negation.
    assert container._FormulaContainer__bx2list_clauses(conjunction(context, *names)) == expected


def test_literal_texts_of_constants_and_of_a_bulk_conjunction(context):
    assert ke.literal_texts(bx.one()) == [] and ke.literal_texts(bx.zero()) == [[]]
    variables = [context.get_var(name) for name in ("x(0,0)", "x(i,1)", "_bxpr_aux_0")]
    formula = bx.from_clauses(np.array([1, -2, 2, 3, -1, -3]), np.array([0, 2, 4, 6]), variables)
    assert ke.literal_texts(formula) == [["x(0,0)", "-x(i,1)"], ["x(i,1)", "'_bxpr_aux_0'"],
                                         ["-x(0,0)", "'~_bxpr_aux_0'"]]


@pytest.mark.parametrize("formula", [
    lambda a, b: ~bx.and_s([a, b]), lambda a, b: bx.xor_s([a, b]), lambda a, b: bx.and_([a, bx.and_s([a, b])]),
    lambda a, b: bx.or_s([a, bx.and_s([a, b])]), lambda a, b: bx.and_([a, bx.one()]),
], ids=["negated-and", "xor", "nested-and", "or-of-and", "constant-clause"])
def test_a_formula_out_of_clause_form_is_refused(context, formula):
    with pytest.raises(ValueError, match="clause"):
        ke.literal_texts(formula(context.get_var("x(0,0)"), context.get_var("x(0,1)")))
