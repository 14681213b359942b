import inspect
import itertools

import pytest
from pysat.examples.rc2 import RC2
from pysat.formula import WCNF
from pysat.solvers import Solver

import halvex.kelvo_engine as ke
from vx_encoder import _exceptions
from vx_encoder.encode.expressions import (And, Equiv, Expression, IfThenElse, Implication, One, Or, Sum,
                                           SumIt, Xor, Zero)
from vx_encoder.encode.model import Model


@pytest.fixture
def kmanager():
    return ke.manager()


@pytest.fixture
def model(kmanager, text_reading):
    return Model(kmanager, "test")


def model_assignments(model, storage):
    """Assignments of the model's named variables that extend to a model of the storage's hard clauses."""
    names = [key for key in model._formula_container.mapping if not key.startswith(("_", "dummy_var"))]
    numbers = [model._formula_container.mapping[name] for name in names]
    allowed = set()
    with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
        for values in itertools.product([False, True], repeat=len(numbers)):
            assumptions = [number if value else -number for number, value in zip(numbers, values)]
            if solver.solve(assumptions=assumptions):
                allowed.add(dict(zip(names, values)).__repr__())
    return allowed, names


def brute_force(names, holds):
    allowed = set()
    for values in itertools.product([False, True], repeat=len(names)):
        assignment = dict(zip(names, values))
        if holds(assignment):
            allowed.add(repr(assignment))
    return allowed


# --- construction, variables and indexes ---

def test_new_model_holds_the_placeholder_variable(model, kmanager, log):
    fresh = Model(kmanager, "fresh")
    assert fresh.get_name() == "fresh"
    assert fresh._used_vars == {"dummy_var"}
    assert list(fresh._variables) == ["dummy_var"]
    assert fresh._variables["dummy_var"].st_shift == 0
    assert fresh._shift_target_variable == 1
    assert "dummy_var" in fresh._manager.name2genvar
    assert [message for level, message in log if level == "info"] == [
        " python version : " + ke.get_python_version(),
        "     model name : fresh",
        "           ksfe : False",
        "    add new var : dummy_var{'d': 1} = [1]",
    ]


def test_variables_are_numbered_in_blocks(model, log):
    x = model.create_variables("x", i=3, j=4)
    y = model.create_variables("y")
    assert (x.st_shift, y.st_shift, model._shift_target_variable) == (1, 13, 14)
    assert x(1, 2) == 1 + 4 + 2
    assert ("info", "    add new var : x{'i': 3, 'j': 4} = [12]") in log


@pytest.mark.parametrize("name, error, message", [
    ("", ValueError, "Variable must have a non-empty name containing only letters"),
    ("x1", ValueError, "Variable must have a non-empty name containing only letters"),
    ("_bxpr_aux", ValueError, "Variable must have a non-empty name containing only letters"),
    ("dummy_var", _exceptions.VariableError, "Variable named dummy_var is already in use"),
    ("bx", ValueError, "Variable name bx is reserved"),
    ("manager", ValueError, "Variable name manager is reserved"),
    ("FormulaPB", ValueError, "Variable name FormulaPB is reserved"),
    ("range", ValueError, "Variable name range is reserved"),
    ("None", ValueError, "Variable name None is reserved"),
    ("for", ValueError, "Variable name for is reserved"),
])
def test_bad_variable_names_are_refused_and_nothing_changes(model, log, name, error, message):
    with pytest.raises(error, match=message):
        model.create_variables(name, i=2)
    assert model._shift_target_variable == 1
    assert list(model._variables) == ["dummy_var"]
    assert ("error", message) in log or any(m.startswith(message) for _, m in log)


@pytest.mark.parametrize("size", [0, -2, 2.5, "3", True, None])
def test_bad_dimension_sizes_are_refused_before_anything_is_created(model, size):
    with pytest.raises(ValueError, match="must have a positive integer size"):
        model.create_variables("x", i=2, j=size)
    assert model._shift_target_variable == 1
    assert "x" not in model._used_vars and "x" not in model._manager.name2genvar


def test_duplicate_variable_is_refused(model):
    model.create_variables("x", i=2)
    with pytest.raises(_exceptions.VariableError, match="^Variable named x is already in use$"):
        model.create_variables("x", i=3)


def test_get_indexes_returns_one_index_or_a_list(model):
    i = model.get_indexes(["i"])
    assert str(i) == "i"
    j, k = model.get_indexes("jk")
    assert (str(j), str(k)) == ("j", "k")
    first, second = model.get_indexes(["m", "m"])
    assert first is not second and model._indexes["m"] is second


@pytest.mark.parametrize("names, error, message", [
    ([], ValueError, "The indexes parameter must contain a non-empty sequence of index names"),
    (["k", "_pbct_aux"], _exceptions.VariableError,
     "Names '_bxpr_aux' and '_pbct_aux' are reserved. Change the name to a valid one"),
    (["k", "x"], _exceptions.VariableError, "Index named x is already in use"),
    (["k", "pb"], ValueError, "Index name pb is reserved"),
    (["k", "range"], ValueError, "Index name range is reserved"),
    (["k", "in"], ValueError, "Index name in is reserved"),
    (["k", "a b"], ValueError, "Index name a b must be a valid identifier"),
])
def test_bad_index_names_are_refused(model, names, error, message):
    model.create_variables("x", i=2)
    with pytest.raises(error, match=message):
        model.get_indexes(names)
    if names:
        assert "k" in model._indexes


# --- modes ---

def soft_model(model):
    x = model.create_variables("x", i=2)
    model.add_soft_constraint(x[0])
    return x


def target_model(model):
    x = model.create_variables("x", i=2)
    model.add_target(x[0] + x[1])
    return x


@pytest.mark.parametrize("prepare, operation, error, message", [
    (soft_model, lambda m, x: m.add_constraint(x[0] <= 1), _exceptions.TargetError,
     "Soft constraint has already been defined"),
    (target_model, lambda m, x: m.add_constraint(x[0] <= 1), _exceptions.TargetError,
     "Target has already been defined"),
    (target_model, lambda m, x: m.add_soft_constraint(x[0]), _exceptions.FormulaError,
     "Current model already works with CNF"),
    (target_model, lambda m, x: m.add_soft_constraint(x[0] <= 1), _exceptions.FormulaError,
     "Current model already works with CNF"),
    (soft_model, lambda m, x: m.add_target(x[0]), _exceptions.FormulaError,
     "Current model already works with WCNF"),
    (soft_model, lambda m, x: m.build_cnf(), _exceptions.BuildError, "This expression is defined for WCNF format"),
    (target_model, lambda m, x: m.build_wcnf(), _exceptions.BuildError, "This expression is defined for CNF format"),
    (target_model, lambda m, x: m.build_cnf(), _exceptions.BuildError,
     "Border or minimization arguments are not defined, but target is set"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.add_soft_constraint(x[0] <= 1),
     _exceptions.FormulaError, "Input constraint cannot be converted to a soft constraints"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.add_target(x[0] <= 1),
     _exceptions.TargetError, "Target is not a pseudo-boolean function without border"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.add_constraint(1 <= 2), TypeError,
     "Variable 'constraint' must contain only objects of type 'Expression'"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.add_soft_constraint("x(0)"), TypeError,
     "Variable 'constraint' must contain only objects of type 'Expression'"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.add_target(3), TypeError,
     "Variable 'target' must contain only objects of type 'Expression'"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.build_wcnf(), _exceptions.BuildError,
     "This expression is defined for CNF format"),
    (lambda m: m.create_variables("x", i=2), lambda m, x: m.build_cnf(), _exceptions.BuildError,
     "The model doesn't contain any formula container"),
])
def test_mode_rules(model, log, prepare, operation, error, message):
    x = prepare(model)
    mode = model._is_wcnf
    with pytest.raises(error) as raised:
        operation(model, x)
    assert str(raised.value) == message
    assert ("error", message) in log
    assert model._is_wcnf is mode


def test_second_target_replaces_the_first_with_a_warning(model, log):
    x = target_model(model)
    assert model.use_target
    second = x[0] - x[1]
    model.add_target(second)
    assert ("warning", "Target already used") in log
    assert model._template_target is second and model._is_wcnf is False


# --- hard constraints into clauses ---

def queens(n):
    def holds(assignment):
        board = [[assignment[f"x[{r},{c}]"] for c in range(n)] for r in range(n)]
        if any(sum(row) != 1 for row in board):
            return False
        if any(sum(board[r][c] for r in range(n)) > 1 for c in range(n)):
            return False
        for d in range(-n + 1, n):
            if sum(board[r][r - d] for r in range(n) if 0 <= r - d < n) > 1:
                return False
            if sum(board[r][d + n - 1 - r] for r in range(n) if 0 <= d + n - 1 - r < n) > 1:
                return False
        return True
    return holds


def test_queens_model_has_exactly_the_queens_solutions(model):
    n = 4
    x = model.create_variables("x", i=n, j=n)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(n)) == 1, i=range(n))
    model.add_constraint(Sum(x[i, j], i=range(n)) <= 1, j=range(n))
    for d in range(-n + 1, n):
        main = [x[r, r - d] for r in range(n) if 0 <= r - d < n]
        anti = [x[r, d + n - 1 - r] for r in range(n) if 0 <= d + n - 1 - r < n]
        for diagonal in (main, anti):
            if len(diagonal) > 1:
                model.add_constraint(SumIt(diagonal) <= 1)
    assert model.build_cnf() is True
    storage = model.get_cnf_storage()
    allowed, names = model_assignments(model, storage)
    assert allowed == brute_force(names, queens(n))
    assert len(allowed) == 2


CONNECTIVE_CASES = [
    ("and", lambda x, k: x[0] & x[1], lambda a: a[0] and a[1]),
    ("or", lambda x, k: x[0] | ~x[1], lambda a: a[0] or not a[1]),
    ("xor", lambda x, k: Xor(x[k], k=range(3)), lambda a: (a[0] + a[1] + a[2]) % 2 == 1),
    ("equiv", lambda x, k: Equiv(x[0], x[1], x[2]), lambda a: a[0] == a[1] == a[2]),
    ("implication", lambda x, k: Implication(x[0] & x[1], x[2]), lambda a: not (a[0] and a[1]) or a[2]),
    ("ite", lambda x, k: IfThenElse(x[0], x[1] <= 0, x[2]), lambda a: (not a[1]) if a[0] else a[2]),
    ("pb in connective", lambda x, k: Or(x[k], k=range(2)) & (2 * x[0] + 3 * x[1] - x[2] >= 2),
     lambda a: (a[0] or a[1]) and 2 * a[0] + 3 * a[1] - a[2] >= 2),
    ("equal", lambda x, k: x[0] + x[1] + x[2] == 2, lambda a: a[0] + a[1] + a[2] == 2),
    ("single variable", lambda x, k: x[2], lambda a: a[2]),
    ("negation", lambda x, k: ~(x[0] & x[1]), lambda a: not (a[0] and a[1])),
]


@pytest.mark.parametrize("name, constraint, holds", CONNECTIVE_CASES, ids=[c[0] for c in CONNECTIVE_CASES])
def test_connectives_encode_exactly_their_models(model, name, constraint, holds):
    x = model.create_variables("x", i=3)
    k = model.get_indexes(["k"])
    model.add_constraint(constraint(x, k))
    model.build_cnf()
    allowed, names = model_assignments(model, model.get_cnf_storage())
    assert allowed == brute_force(names, lambda a: holds([a[f"x[{v}]"] for v in range(3)]))


def test_constraint_over_foralls_with_index_arithmetic(model):
    x = model.create_variables("x", i=4)
    i = model.get_indexes(["i"])
    model.add_constraint(x[i] + x[i + 1] <= 1, i=range(3))
    model.build_cnf()
    allowed, names = model_assignments(model, model.get_cnf_storage())
    assert allowed == brute_force(names, lambda a: all(a[f"x[{v}]"] + a[f"x[{v + 1}]"] <= 1 for v in range(3)))


def test_contradiction_names_the_callers_statement(model, log):
    model.create_variables("x", i=2)
    line = inspect.currentframe().f_lineno + 2
    with pytest.raises(_exceptions.FormulaError) as raised:
        model.add_constraint(Zero)
    message = f"Contradiction was detected in formula model.add_constraint(Zero), line {line}"
    assert str(raised.value) == message
    assert ("error", message) in log
    assert model._manager.cnt_pbvar == 0 and model._manager.name2pb == {}


def test_redundant_constraint_is_dropped_with_a_warning(model, log):
    model.create_variables("x", i=2)
    line = inspect.currentframe().f_lineno + 1
    model.add_constraint(One)
    assert ("warning", f"Redundant constraint was detected in formula model.add_constraint(One), line {line}") in log
    assert model._formula_container is not None


def test_failed_evaluation_resets_the_manager(model):
    x = model.create_variables("x", i=3)
    with pytest.raises(NameError):
        model.add_constraint(Expression("missing(1) & x(0).to_bx()", False))
    assert model._manager.cnt_pbvar == 0 and model._manager.name2pb == {}
    model.add_constraint(x[0] + x[1] + x[2] <= 1)
    model.build_cnf()
    allowed, names = model_assignments(model, model.get_cnf_storage())
    assert allowed == brute_force(names, lambda a: a["x[0]"] + a["x[1]"] + a["x[2]"] <= 1)


def test_sum_without_bound_is_refused_as_a_hard_constraint(model, log):
    x = model.create_variables("x", i=2)
    with pytest.raises(_exceptions.FormulaError, match="needs a comparison or a Boolean formula"):
        model.add_constraint(x[0] + x[1])
    assert model._manager.cnt_pbvar == 0


def test_long_sums_and_chains_are_encoded(model):
    n = 3000
    x = model.create_variables("x", i=n)
    total = x[0]
    chain = x[0]
    for v in range(1, n):
        total = total + x[v]
        chain = chain | x[v]
    model.add_constraint(total <= 1)
    model.add_constraint(chain)
    model.build_cnf()
    clauses = model.get_cnf_storage().get_hard_clauses()
    numbers = [model._formula_container.mapping[f"x[{v}]"] for v in range(n)]
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        assert solver.solve(assumptions=[numbers[5]])
        assert not solver.solve(assumptions=[numbers[5], numbers[7]])
        assert not solver.solve(assumptions=[-v for v in numbers])


def test_variable_created_after_the_first_constraint_gets_its_own_numbers(model):
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] + x[1] <= 1)
    y = model.create_variables("y", i=2)
    model.add_constraint(y[0] | y[1])
    model.add_constraint(x[0] | y[0])
    model.build_cnf()
    mapping = model._formula_container.mapping
    numbers = [number for key, number in mapping.items()]
    assert len(set(numbers)) == len(numbers)
    assert {"y[0]", "y[1]"} <= set(mapping)
    allowed, names = model_assignments(model, model.get_cnf_storage())
    assert allowed == brute_force(names, lambda a: a["x[0]"] + a["x[1]"] <= 1 and (a["y[0]"] or a["y[1]"])
                                  and (a["x[0]"] or a["y[0]"]))


# --- builds ---

def test_cnf_build_registers_storage_and_interpreter(model, kmanager, log):
    x = model.create_variables("x", i=3, j=4)
    model.add_constraint(x[0, 0] | x[1, 1])
    assert model.build_cnf(5, True) is True
    storage = model.get_cnf_storage()
    assert kmanager.get_cnf_storage() is storage
    assert storage.get_model_name() == "test"
    interpreter = kmanager.get_witness_interpreter()
    values = interpreter.interpret([model._formula_container.mapping["x[1,1]"]])
    assert values["x[1,1]"] is True and values["x[0,0]"] is False
    assert not any(key.startswith("_") for key in values)
    assert ("info", "      CNF build : started. Model <test>; Target variables = 12") in log
    end = [message for level, message in log if message.startswith("         action : CNF build finished. Duration = ")]
    assert len(end) == 1 and len(end[0].split(" = ")[1]) == len("00:00:00.000")


def test_target_build_bounds_the_target(model):
    x = model.create_variables("x", i=3)
    model.add_constraint(x[0] | x[1])
    model.add_target(2 * x[0] + x[1] + x[2])
    assert model.build_cnf(1, True)
    allowed, names = model_assignments(model, model.get_cnf_storage())
    assert allowed == brute_force(names, lambda a: (a["x[0]"] or a["x[1]"])
                                  and 2 * a["x[0]"] + a["x[1]"] + a["x[2]"] <= 1)


def test_rebuilding_with_another_bound_replaces_the_target(model):
    x = model.create_variables("x", i=3)
    model.add_target(x[0] + x[1] + x[2])
    model.build_cnf(2, False)
    model.build_cnf(1, True)
    storage = model.get_cnf_storage()
    assert storage.get_clause_count() == len(storage.get_hard_clauses())
    allowed, names = model_assignments(model, storage)
    assert allowed == brute_force(names, lambda a: a["x[0]"] + a["x[1]"] + a["x[2]"] <= 1)


def test_contradictory_target(model, log):
    x = model.create_variables("x", i=2)
    model.add_target(x[0] + x[1])
    with pytest.raises(_exceptions.FormulaError, match="^Contradiction was detected in target$"):
        model.build_cnf(3, False)
    assert ("error", "Contradiction was detected in target") in log


def test_wcnf_optimum_matches_brute_force(model, kmanager, log):
    x = model.create_variables("x", i=3)
    i = model.get_indexes(["i"])
    model.add_constraint(x[0] | x[1])
    model.add_constraint(x[i] + x[i + 1] <= 1, i=range(2))
    model.add_soft_constraint(x[i], 2, True, i=range(3))
    model.add_soft_constraint(3 * x[1] - x[2], 1, False)
    assert model.build_wcnf() is True
    assert ("info", "         action : WCNF build finished.") in log
    storage = model.get_cnf_storage()
    formula = WCNF()
    for clause in storage.get_hard_clauses():
        formula.append(clause)
    for clause, weight in storage.get_soft_clauses():
        formula.append(clause, weight=weight)
    with RC2(formula) as solver:
        solver.compute()
        optimum = solver.cost

    best = None
    for values in itertools.product([0, 1], repeat=3):
        if not (values[0] or values[1]) or values[0] + values[1] > 1 or values[1] + values[2] > 1:
            continue
        penalty = 2 * sum(values) + 3 * (1 - values[1]) + 1 * values[2]
        best = penalty if best is None else min(best, penalty)
    assert optimum == best


def test_add_preliminary_var_value(model, kmanager, log):
    model.add_preliminary_var_value(5)
    assert ("debug", "Preliminary variable value was added: 5") in log
    # Without a storage every value is only logged, 0 included.
    model.add_preliminary_var_value(0, True)
    assert ("debug", "Preliminary variable value was added: 0") in log
    assert kmanager.get_cnf_storage() is None
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] | x[1])
    model.build_cnf()
    model.add_preliminary_var_value(5, True)
    with pytest.raises(ValueError, match="prefatory value 0 is not a literal"):
        model.add_preliminary_var_value(0, True)  # dummy_var's number names no literal
    model.add_preliminary_var_value(2, negative=0)
    assert kmanager.get_cnf_storage().get_prefatory_values() == [-5, 2]


def test_formula_encoder_operations_do_nothing_on_this_path(model, tmp_path):
    assert model.save_metrics_json(str(tmp_path / "m.json")) is False
    assert model.save_metrics_csv(str(tmp_path / "m.csv")) is False
    assert model.check_another_witness() is False
    assert model.reset() is None and model.set_witness([1]) is None and model.set_another_witness([1]) is None
    assert list(tmp_path.iterdir()) == []
    assert model.get_var_index(7) == 7
