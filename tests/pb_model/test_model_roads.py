"""One model on every road of a pseudo-Boolean model, checked against its meaning.

The roads: on the clause-assembly path the engine reads a hard constraint's
text into its clause template, or (an engine without that reader) the host
evaluates it; on the formula-encoder path the engine reads the whole model.
The engine's road checks that the engine read every hard constraint, and the
log level chooses no road.
Each model below is written once with the expression builders; its meaning is
computed alongside in Python, and every road must give exactly the models of
that meaning, projected onto the model variables (each assignment checked with
a SAT solver), with the same variable mapping.
"""

import itertools
import random
import re

import numpy as np
import pytest
from pysat.formula import CNF
from pysat.solvers import Solver

import halvex.kelvo_engine as ke
from vx_encoder import _exceptions, _vx_native as native
from vx_encoder.encode.expressions import And, IfThenElse, Implication, Or, Sum, SumIt, Xor, pow_expression
from vx_encoder.encode.model import Model

from native_readings import recorded_readings

ROADS = ["engine reads the text", "host evaluates the text", "formula encoder"]


@pytest.fixture
def declined(monkeypatch):
    """The reasons the engine's reader gave for leaving a text to the host."""
    return recorded_readings(monkeypatch, "read_hard", kept=lambda result: isinstance(result, str))


@pytest.fixture(params=ROADS)
def road(request, monkeypatch, declined):
    """The road; the engine's road fails a test whose text the engine left to the host."""
    if request.param == "host evaluates the text":
        monkeypatch.delattr(ke, "read_clause_template")
    yield request.param
    assert declined == []


def new_model(road, name="roads"):
    return Model(ke.manager(), name, use_formula_encoder=road == "formula encoder")


def model_keys(model):
    mapping = model.get_var_mapping().get_var_map()
    return {key: number for key, number in mapping.items() if not key.startswith("_") and key != "dummy_var[0]"}


def models_of(model, keys):
    """Every assignment of the model variables, as a dict by key, that extends to a model of the hard clauses."""
    names = sorted(keys)
    found = set()
    with Solver(name="g4", bootstrap_with=model.get_cnf_storage().get_hard_clauses()) as solver:
        for bits in itertools.product((False, True), repeat=len(names)):
            if solver.solve(assumptions=[keys[n] if bit else -keys[n] for n, bit in zip(names, bits)]):
                found.add(bits)
    return found


def meaning(keys, holds):
    names = sorted(keys)
    return {bits for bits in itertools.product((False, True), repeat=len(names)) if holds(dict(zip(names, bits)))}


def variable_keys(*variables):
    keys = {}
    for variable in variables:
        keys.update(variable.map)
    return keys


# --- models and their meaning ------------------------------------------------------------------

def without_dimensions(model):
    """A variable without dimensions among others; the first constraint never names it."""
    x = model.create_variables("x", i=3)
    y = model.create_variables("y")
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(Sum(x[i], i=range(3)) >= 1)
    model.add_constraint(Implication(y[()], x[i]), i=range(2))
    model.add_constraint(x[2] | y[()])

    def holds(v):
        return (v["x[0]"] + v["x[1]"] + v["x[2]"] >= 1 and all(not v["y[]"] or v[f"x[{i}]"] for i in range(2))
                and (v["x[2]"] or v["y[]"]))
    return (x, y), holds


def index_texts(model):
    """Index texts with an integer on the left, negated, or times 1; a range variable plus an index."""
    x = model.create_variables("x", a=4)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(Sum(x[k + i], k=range(2)) >= 1, i=range(3))
    model.add_constraint(Implication(x[2 - i], x[i * 1]), i=range(2))
    model.add_constraint(~(x[-i] & x[3 + i]), i=[0])

    def holds(v):
        return (all(v[f"x[{i}]"] or v[f"x[{i + 1}]"] for i in range(3))
                and all(not v[f"x[{2 - i}]"] or v[f"x[{i}]"] for i in range(2)) and not (v["x[0]"] and v["x[3]"]))
    return (x,), holds


def numpy_foralls(model):
    """foralls given as NumPy arrays: 32-bit, 64-bit and empty."""
    x = model.create_variables("x", i=3, j=2)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Or(x[i, j], j=range(2)), i=np.arange(3, dtype=np.int32))
    model.add_constraint(~(x[i, 0] & x[i, 1]), i=np.arange(2))
    model.add_constraint(x[i, j] <= 0, i=np.array([], dtype=np.int64), j=np.arange(2, dtype=np.uint8))

    def holds(v):
        return (all(v[f"x[{i},0]"] or v[f"x[{i},1]"] for i in range(3))
                and all(not (v[f"x[{i},0]"] and v[f"x[{i},1]"]) for i in range(2)))
    return (x,), holds


def numpy_builder_ranges(model):
    """A builder's range given as a NumPy array, inside the text every road reads."""
    x = model.create_variables("x", i=3, j=2)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(Sum(x[i, k], k=np.arange(2, dtype=np.int32)) == 1, i=range(3))
    model.add_constraint(Or(x[k, 0], k=np.array([0, 2])))

    def holds(v):
        return (all(v[f"x[{i},0]"] + v[f"x[{i},1]"] == 1 for i in range(3))
                and (v["x[0,0]"] or v["x[2,0]"]))
    return (x,), holds


def bitwise_index_texts(model):
    """Index texts with the host's bitwise operators: `~i` is -i - 1, and `&`, `|`
    inside an index are no connectives of the clause."""
    x = model.create_variables("x", a=8)
    y = model.create_variables("y", a=8)
    i = model.get_indexes(["i"])
    model.add_constraint(x[~i + 4], i=[1])
    model.add_constraint(~x[~i + 6], i=[1])
    model.add_constraint(y[~i + 7] | x[0], i=[1])
    model.add_constraint(x[i & 1] | y[(i | 2) + 1], i=[2, 3])
    model.add_constraint(x[i ^ 3] + y[i & 1] + y[0] <= 1, i=[1])

    def holds(v):
        return (v["x[2]"] and not v["x[4]"] and (v["y[5]"] or v["x[0]"]) and (v["x[0]"] or v["y[3]"])
                and (v["x[1]"] or v["y[4]"]) and v["x[2]"] + v["y[1]"] + v["y[0]"] <= 1)
    return (x, y), holds


def names_outside_ascii_as_cells_and_with_indexes(model):
    """A variable named outside ASCII, named in one constraint both by a constant cell and with an index."""
    v = model.create_variables("été", a=3)
    w = model.create_variables("ξ", a=2, b=2)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(~v[i] | v[1], i=[0, 2])
    model.add_constraint(v[0] + v[i] + v[2] == 1, i=[1])
    model.add_constraint(w[i, j] | w[0, 1], i=[1], j=range(2))

    def holds(values):
        return ((not values["été[0]"] or values["été[1]"]) and (not values["été[2]"] or values["été[1]"])
                and values["été[0]"] + values["été[1]"] + values["été[2]"] == 1
                and all(values[f"ξ[1,{j}]"] or values["ξ[0,1]"] for j in range(2)))
    return (v, w), holds


def numpy_integers_in_builder_ranges(model):
    """A builder's range given as a list or tuple of NumPy integers."""
    x = model.create_variables("x", i=3, j=2)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(Sum(x[i, k], k=[np.int64(0), np.int64(1)]) == 1, i=range(3))
    model.add_constraint(Or(x[k, 0], k=list(np.arange(0, 3, 2))))
    model.add_constraint(And(x[k, 1] | x[k, 0], k=tuple(np.arange(2, dtype=np.uint8))))

    def holds(v):
        return (all(v[f"x[{i},0]"] + v[f"x[{i},1]"] == 1 for i in range(3))
                and (v["x[0,0]"] or v["x[2,0]"]))
    return (x,), holds


@pytest.mark.parametrize("describe", [without_dimensions, index_texts, numpy_foralls, numpy_builder_ranges,
                                      bitwise_index_texts, names_outside_ascii_as_cells_and_with_indexes,
                                      numpy_integers_in_builder_ranges])
def test_every_road_gives_the_models_of_the_meaning(road, describe, declined):
    model = new_model(road)
    variables, holds = describe(model)
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert keys == variable_keys(*variables)
    assert models_of(model, keys) == meaning(keys, holds)
    if describe is bitwise_index_texts and road == "engine reads the text":
        # The engine reads index arithmetic of + - * for all instances at once; the host reads the rest.
        assert declined == ["its shape depends on the index values"] * 5
        declined.clear()


@pytest.mark.parametrize("border, minimization", [(1, True), (2, False), (0, 0), (3, 1)])
def test_a_bounded_target_has_the_same_models_on_every_road(road, border, minimization):
    model = new_model(road)
    x = model.create_variables("x", i=2, j=2)
    y = model.create_variables("y")
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Or(x[i, j], j=range(2)), i=range(2))
    model.add_target(Sum(x[i, j], i=range(2), j=range(2)) + 2 * y[()])
    assert model.build_cnf(border, minimization) is True
    keys = model_keys(model)
    assert keys == variable_keys(x, y)

    def holds(v):
        total = sum(v[f"x[{i},{j}]"] for i in range(2) for j in range(2)) + 2 * v["y[]"]
        rows = all(v[f"x[{i},0]"] or v[f"x[{i},1]"] for i in range(2))
        return rows and (total <= border if minimization else total >= border)
    assert models_of(model, keys) == meaning(keys, holds)


def test_a_target_that_cannot_hold_is_refused_on_every_road(road, log):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    model.add_target(x[0] + x[1])
    with pytest.raises(_exceptions.FormulaError, match="^Contradiction was detected in target$"):
        model.build_cnf(3, False)
    assert ("error", "Contradiction was detected in target") in log


def test_a_later_build_bounds_the_target_afresh(road):
    model = new_model(road)
    x = model.create_variables("x", i=3)
    k = model.get_indexes(["k"])
    model.add_target(Sum(x[k], k=range(3)))
    model.build_cnf(0, True)
    model.build_cnf(2, False)
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: v["x[0]"] + v["x[1]"] + v["x[2]"] >= 2)


# --- soft constraints ---------------------------------------------------------------------------

def soft_clauses(model):
    return sorted((tuple(literals), weight) for literals, weight in model.get_cnf_storage().get_soft_clauses())


def test_empty_soft_sums_add_nothing(road):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(x[0] | x[1])
    model.add_soft_constraint(Sum(x[k], k=range(0)), 5)
    model.add_soft_constraint(SumIt([]), 7, True, i=range(2))
    model.add_soft_constraint(x[i], 3, True, i=range(2))
    assert model.build_wcnf() is True
    keys = model_keys(model)
    assert soft_clauses(model) == sorted([((-keys["x[0]"],), 3), ((-keys["x[1]"],), 3)])
    assert model.get_cnf_storage().get_weight_limit() == 7


def soft_sums(model):
    """Soft constraints of every form the engine reads: a cell, an occurrence
    over foralls, weighted sums with a variable repeated, sums over an index,
    negative weights and coefficients, both directions."""
    x = model.create_variables("x", i=3, j=2)
    y = model.create_variables("y", k=4)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(x[0, 0] | y[1])
    model.add_soft_constraint(y[3], 7)
    model.add_soft_constraint(x[i, 1], 3, True, i=range(3))
    model.add_soft_constraint(3 * x[0, 0] - 2 * y[2] + y[2], -4, False)
    model.add_soft_constraint(Sum(y[k], k=range(4)), 2, True)
    model.add_soft_constraint(Sum(x[i, k], k=range(2)) - 5 * y[i + 1], 5, False, i=range(2))


def weighted_clauses_and_mapping():
    model = new_model("engine reads the text")
    soft_sums(model)
    assert model.build_wcnf() is True
    storage = model.get_cnf_storage()
    return (storage.get_hard_clauses(), storage.get_soft_clauses(), storage.get_weight_limit(),
            model.get_var_mapping().get_var_map())


def test_soft_constraints_the_engine_reads_are_the_clauses_the_host_evaluates(monkeypatch):
    readings = recorded_readings(monkeypatch, "read_soft")
    by_the_engine = weighted_clauses_and_mapping()
    assert len(readings) == 5 and not any(isinstance(result, str) for result in readings)
    monkeypatch.delattr(ke, "read_clause_template")
    assert weighted_clauses_and_mapping() == by_the_engine


def test_a_wcnf_whose_soft_clauses_all_weigh_nothing_is_still_written_as_wcnf(road):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] | x[1])
    model.add_soft_constraint(x[0], 0)
    assert model.build_wcnf() is True
    storage = model.get_cnf_storage()
    assert storage.get_soft_clauses() == [] and storage.get_weight_limit() == 1
    lines = storage.to_dimacs().splitlines()
    assert not any(line.startswith("p ") for line in lines)
    assert [line for line in lines if not line.startswith("c ")] == ["h 1 2 0"]


def weights_past_64_bits(model, x, i):
    model.add_soft_constraint(x[0], 2 ** 62)
    return lambda: model.add_soft_constraint(x[1], 2 ** 62)


REFUSED_SOFT_CONSTRAINTS = [
    ("a weight of 2^63", ValueError, lambda model, x, i: lambda: model.add_soft_constraint(x[0], 2 ** 63)),
    ("a weight below -(2^63 - 1)", ValueError,
     lambda model, x, i: lambda: model.add_soft_constraint(x[0], -2 ** 63)),
    ("a weight times a coefficient past 64 bits", ValueError,
     lambda model, x, i: lambda: model.add_soft_constraint(x[0] + 3 * x[1], 2 ** 62)),
    ("a weight limit past 64 bits", ValueError, weights_past_64_bits),
    ("a weight limit past 64 bits over the instances", ValueError,
     lambda model, x, i: lambda: model.add_soft_constraint(x[i], 2 ** 62, i=range(2))),
    ("an index out of range", IndexError, lambda model, x, i: lambda: model.add_soft_constraint(x[i], i=range(3))),
    ("a foralls value that is no integer", TypeError,
     lambda model, x, i: lambda: model.add_soft_constraint(x[i], i=[0.5])),
]


@pytest.mark.parametrize("refused, error, prepare", REFUSED_SOFT_CONSTRAINTS,
                         ids=[case[0] for case in REFUSED_SOFT_CONSTRAINTS])
def test_a_refused_soft_constraint_changes_nothing_on_every_road(road, refused, error, prepare):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    i = model.get_indexes(["i"])
    add = prepare(model, x, i)
    weighted_before = model._is_wcnf
    with pytest.raises(error):
        add()
    assert model._is_wcnf is weighted_before
    if weighted_before:
        # The accepted soft constraint alone is built, with its own weight limit.
        assert model.build_wcnf() is True
        assert model.get_cnf_storage().get_weight_limit() == 1 + 2 ** 62
        assert soft_clauses(model) == [((model_keys(model)["x[0]"],), 2 ** 62)]
    else:
        model.add_constraint(x[0] | x[1])  # still a model without soft constraints
        assert model.build_cnf() is True
        with pytest.raises(_exceptions.BuildError, match="^This expression is defined for CNF format$"):
            model.build_wcnf()


@pytest.mark.parametrize("weight, minimization", [(2, True), (np.int64(2), np.True_), (2, 1), (2, False), (2, 0)])
def test_weights_and_flags_are_taken_as_their_values(road, weight, minimization):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    model.add_soft_constraint(x[0] + 3 * x[1], weight, minimization)
    model.build_wcnf()
    sign = -1 if minimization else 1
    assert soft_clauses(model) == sorted([((sign * 1,), 2), ((sign * 2,), 6)])


RUNS_CODE = "__import__('builtins').setattr(__import__('builtins'), 'vx_ran', 1) or True"


@pytest.mark.parametrize("weight, minimization", [(1, RUNS_CODE), (1, "False"), (1, None), (1, 0.5),
                                                  ("1", False), (1.0, False), (True, False), (None, False)])
def test_weights_and_flags_of_another_type_are_refused_before_anything_changes(road, weight, minimization, log):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    with pytest.raises(TypeError):
        model.add_soft_constraint(x[0], weight, minimization)
    assert not hasattr(__import__("builtins"), "vx_ran")
    assert model._is_wcnf is None and model._formula_container is None
    assert any(level == "error" for level, _ in log)
    model.add_constraint(x[0] | x[1])  # still a CNF model


# --- names --------------------------------------------------------------------------------------

@pytest.mark.parametrize("name", ["été", "ξ", "np", "numpy", "array", "sum", "max", "id", "input", "type", "set",
                                  "map", "len", "list", "int", "print"])
def test_names_that_keep_evaluation_working_are_taken_on_every_road(road, name):
    model = new_model(road)
    v = model.create_variables(name, i=3)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(Sum(v[i], i=range(3)) == 1)
    model.add_constraint(~(v[i] & v[i + 1]), i=range(2))
    model.add_target(Sum(v[k], k=range(3)))
    assert model.build_cnf(1, False) is True
    keys = model_keys(model)
    assert keys == v.map
    assert models_of(model, keys) == meaning(keys, lambda values: sum(values.values()) == 1)


@pytest.mark.parametrize("name", ["Sum", "FormulaPB", "bx", "pb", "manager", "range", "for", "in", "None", "True",
                                  "while", "async", "nonlocal"])
def test_names_that_break_evaluation_are_refused_alike(road, name, log):
    model = new_model(road)
    message = f"Variable name {name} is reserved by the expression language; change the name to a valid one"
    with pytest.raises(ValueError) as refused:
        model.create_variables(name, i=2)
    assert str(refused.value) == message
    assert ("error", message) in log
    assert model._shift_target_variable == (0 if road == "formula encoder" else 1)


def test_a_reused_name_is_refused_alike(road, log):
    model = new_model(road)
    model.create_variables("x", i=2)
    with pytest.raises(_exceptions.VariableError, match="^Variable named x is already in use$"):
        model.create_variables("x", i=3)
    assert ("error", "Variable named x is already in use") in log
    with pytest.raises(_exceptions.VariableError, match="^Index named x is already in use$"):
        model.get_indexes(["x"])


@pytest.mark.parametrize("end", ["\r", "\x85", "\u2028"], ids=repr)
def test_a_model_name_with_line_ends_stays_a_comment_on_every_road(road, end, tmp_path):
    name = f"lines{end}-1 0{end}-2 0"
    model = new_model(road, name)
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] & x[1])
    assert model.build_cnf() is True
    path = tmp_path / "model.cnf"
    model.get_cnf_storage().write_dimacs(path)
    with open(path, encoding="utf-8", newline="") as file:
        lines = file.read().splitlines()
    assert lines[:3] == ["c lines", "c -1 0", "c -2 0"]
    keys = model_keys(model)
    with Solver(name="g4", bootstrap_with=CNF(from_file=str(path)).clauses) as solver:
        assert solver.solve(assumptions=[keys["x[0]"], keys["x[1]"]])


# --- numbers ------------------------------------------------------------------------------------

def test_variable_numbers_and_preliminary_values_match_the_built_mapping(road):
    kmanager = ke.manager()
    model = Model(kmanager, "numbers", use_formula_encoder=road == "formula encoder")
    x = model.create_variables("x", i=2, j=3)
    y = model.create_variables("y")
    z = model.create_variables("z", k=2)
    model.add_constraint(x[1, 2] | y[()] | z[1])
    model.build_cnf()
    keys = model_keys(model)
    assert keys == variable_keys(x, y, z)
    assert (x(1, 2), y(), z(1)) == (keys["x[1,2]"], keys["y[]"], keys["z[1]"])
    model.add_preliminary_var_value(x(1, 0))
    model.add_preliminary_var_value(y(), True)
    assert kmanager.get_cnf_storage().get_prefatory_values() == [keys["x[1,0]"], -keys["y[]"]]


@pytest.mark.parametrize("dims", [{"i": 2 ** 63}, {"i": 2 ** 16, "j": 2 ** 15}, {"i": 2 ** 64}])
def test_sizes_past_the_largest_literal_are_refused_with_nothing_created(road, dims, log):
    model = new_model(road)
    before = model._shift_target_variable
    with pytest.raises(ValueError, match="2147483647"):
        model.create_variables("x", **dims)
    assert model._shift_target_variable == before and "x" not in model._used_vars
    assert any(level == "error" for level, _ in log)
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True
    assert model_keys(model) == x.map


def test_a_variable_may_take_numbers_up_to_the_largest_literal(road):
    model = new_model(road)
    x = model.create_variables("x", i=2 ** 31 - 2)
    assert x(2 ** 31 - 3) == 2 ** 31 - 2
    with pytest.raises(ValueError, match="2147483647"):
        model.create_variables("y", i=2)
    model.create_variables("z")


def test_a_text_the_engine_declines_is_read_by_the_host_and_the_reason_logged(declined, log):
    model = Model(ke.manager(), "declined")
    x = model.create_variables("x", i=3)
    i = model.get_indexes(["i"])
    # A power of an index: the cell's shape depends on the index values.
    model.add_constraint(x[i ** 2] | x[2], i=range(2))
    assert declined == ["its shape depends on the index values"]
    assert ("debug", "Constraint read by the host: its shape depends on the index values") in log
    model.build_cnf()
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: (v["x[0]"] or v["x[2]"]) and (v["x[1]"] or v["x[2]"]))


# --- one outcome on every road ------------------------------------------------------------------

_READ_BY_THE_ENGINE, _LEFT_TO_THE_HOST = False, True


@pytest.mark.parametrize("never_holds, host_reads_it", [
    # The first: only the encoder's clauses show it.
    (lambda x, i: (4 * x[0] - 5 * x[1] - 4 * x[2] == -2, {}), _READ_BY_THE_ENGINE),
    (lambda x, i: (x[0] + x[1] + x[2] >= 4, {}), _READ_BY_THE_ENGINE),
    (lambda x, i: (2 * x[i] + 2 * x[i + 1] == 1, {"i": range(2)}), _READ_BY_THE_ENGINE),
    (lambda x, i: (x[i] & ~x[i], {"i": []}), _READ_BY_THE_ENGINE),
    (lambda x, i: (x[0] + x[1] >= 3, {"i": range(0)}), _READ_BY_THE_ENGINE),
    # Index arithmetic the engine's reader leaves to the host; the encoder reads it instance by instance.
    (lambda x, i: (x[i ** 2] & ~x[i ** 2], {"i": range(2)}), _LEFT_TO_THE_HOST),
    (lambda x, i: (~x[~i + 2] & x[~i + 2], {"i": []}), _LEFT_TO_THE_HOST),
    (lambda x, i: (x[(i | 1) - 2 ** 64 + 2 ** 64] + x[0] >= 3, {"i": [2 ** 64]}), _LEFT_TO_THE_HOST),
    (lambda x, i: (x[(i & 1) + 1] & ~x[(i & 1) + 1], {"i": range(3)}), _LEFT_TO_THE_HOST),
], ids=["parity", "past-the-sum", "over-foralls", "no-instances", "no-instances-past-the-sum",
        "a power", "an inversion without instances", "past 64 bits", "a bitwise index in a sum"])
def test_a_constraint_that_can_never_hold_is_a_contradiction_on_every_road(road, never_holds, host_reads_it, log,
                                                                           declined):
    model = new_model(road)
    x = model.create_variables("x", i=3)
    i = model.get_indexes(["i"])
    constraint, foralls = never_holds(x, i)
    with pytest.raises(_exceptions.FormulaError, match="^Contradiction was detected in formula model.add_constraint"):
        model.add_constraint(constraint, **foralls)
    assert any(level == "error" and message.startswith("Contradiction") for level, message in log)
    if host_reads_it:
        declined.clear()
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: v["x[0]"] or v["x[1]"])


@pytest.mark.parametrize("every_instance_false", [
    lambda x, i, j: (x[i] & ~x[j], {"i": [1], "j": [1]}),
    lambda x, i, j: (x[~i * 2 + 4] & ~x[2 - 2 * i], {"i": range(2)}),  # read instance by instance
    lambda x, i, j: (x[i + j] + x[2 - j] == 1, {"i": [2], "j": [0]}),
    lambda x, i, j: (x[i ** 2 + 1] & ~x[1 + i ** 2], {"i": range(2)}),  # named as written by the host
    lambda x, i, j: (x[(i ** 2) * 2] & ~x[2 * (i ** 2)], {"i": range(2)}),
], ids=["two-indexes", "inverted-index", "comparison", "a power spelled two ways", "a product spelled two ways"])
def test_a_constraint_whose_template_can_hold_is_taken_on_every_road_though_its_instances_never_hold(
        road, every_instance_false, log, declined):
    """Only a template that never holds is a contradiction; its instances' clauses never hold."""
    model = new_model(road)
    x = model.create_variables("x", a=3)
    i, j = model.get_indexes(["i", "j"])
    constraint, foralls = every_instance_false(x, i, j)
    model.add_constraint(constraint, **foralls)
    assert not any(message.startswith("Contradiction") for _, message in log)
    assert model.build_cnf() is True
    assert models_of(model, model_keys(model)) == set()
    declined.clear()  # the engine leaves index arithmetic it reads per instance to the host


CELLS_PAST_64_BITS = [
    ("a foralls value", lambda x, i, j: x[i - 2 ** 64], {"i": [2 ** 64 + 1]}, [1]),
    ("a foralls range", lambda x, i, j: x[i - 2 ** 64], {"i": range(2 ** 64, 2 ** 64 + 3)}, [0, 1, 2]),
    ("a number in the text", lambda x, i, j: x[i + 2 ** 64 - 2 ** 64], {"i": [2]}, [2]),
    ("a product", lambda x, i, j: x[i * 2 ** 62 - 2 ** 64 + 1], {"i": [4]}, [1]),
    ("products that cancel", lambda x, i, j: x[i * 2 ** 62 - j * 2 ** 62], {"i": [4], "j": [4]}, [0]),
    ("a power", lambda x, i, j: x[i ** 70 - 2 ** 70 + 2], {"i": [2]}, [2]),
    ("bitwise operators", lambda x, i, j: x[((i | 2 ** 64) ^ -2 ** 65) + 2 ** 65 + 2 ** 64 - 2 ** 65], {"i": [1]}, [1]),
    ("a negated value", lambda x, i, j: x[-(i - 2 ** 64) + 2], {"i": [2 ** 64 + 1]}, [1]),
]


@pytest.mark.parametrize("soft", [False, True], ids=["hard", "soft"])
@pytest.mark.parametrize("passing, cell, foralls, cells", CELLS_PAST_64_BITS, ids=[c[0] for c in CELLS_PAST_64_BITS])
def test_index_arithmetic_past_64_bits_names_the_cell_it_lands_on_on_every_road(road, soft, passing, cell, foralls,
                                                                                 cells, declined):
    model = new_model(road)
    x = model.create_variables("x", a=3)
    i, j = model.get_indexes(["i", "j"])
    if soft:
        model.add_soft_constraint(cell(x, i, j), 5, **foralls)
        assert model.build_wcnf() is True
        assert soft_clauses(model) == sorted(((x(k),), 5) for k in cells)
    else:
        model.add_constraint(cell(x, i, j), **foralls)
        assert model.build_cnf() is True
        assert model.get_cnf_storage().get_hard_clauses() == [[x(k)] for k in cells]
    declined.clear()  # the engine leaves what passes 64 bits to the host, which computes it exactly


@pytest.mark.parametrize("cell, foralls", [
    (lambda x, i: x[2 ** 64], {}),
    (lambda x, i: x[i * 2 ** 64 + 1], {"i": [1]}),
    (lambda x, i: x[i + 1], {"i": [2 ** 64 - 1]}),
], ids=["a number", "a product", "a foralls value"])
def test_a_cell_past_64_bits_is_out_of_range_on_every_road(road, cell, foralls, declined):
    model = new_model(road)
    x = model.create_variables("x", a=3)
    i = model.get_indexes(["i"])
    with pytest.raises(IndexError, match=r"\(18446744073709551617\) are out of range for variable x|"
                                         r"\(18446744073709551616\) are out of range for variable x"):
        model.add_constraint(cell(x, i), **foralls)
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True
    declined.clear()


def test_a_sum_without_a_bound_is_refused_alike_on_every_road(road, log, declined):
    model = new_model(road)
    x = model.create_variables("x", a=3)
    message = ("A hard constraint needs a comparison or a Boolean formula, not a pseudo-Boolean sum without a bound: "
               "x(0).to_pb() + 2 * (x(1).to_pb())")
    with pytest.raises(_exceptions.FormulaError) as refused:
        model.add_constraint(x[0] + 2 * x[1])
    assert str(refused.value) == message
    assert ("error", message) in log
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True
    declined.clear()  # the engine's reader leaves a sum to the host, which words it


@pytest.mark.parametrize("soft", [False, True], ids=["hard", "soft"])
def test_an_index_value_past_64_bits_is_out_of_range_on_every_road(road, soft):
    model = new_model(road)
    x = model.create_variables("x", i=3)
    i = model.get_indexes(["i"])
    add = model.add_soft_constraint if soft else model.add_constraint
    # 4 * 2^62 is 0 in the low 64 bits: never the cell x[0].
    with pytest.raises(IndexError, match="out of range for variable x"):
        add(x[4 * i], i=[0, 2 ** 62])
    model.add_constraint(x[1] | x[2])
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: v["x[1]"] or v["x[2]"])


@pytest.mark.parametrize("describe, holds", [
    (lambda x, i, j: (pow_expression(2, i) * x[0] + x[1] >= 2, {"i": range(2)}),
     lambda v: v["x[0]"] and v["x[1]"]),  # x0 + x1 >= 2, then 2 x0 + x1 >= 2
    (lambda x, i, j: (Sum(x[j], j="range(i + 1)") <= 1, {"i": range(3)}),
     lambda v: v["x[0]"] + v["x[1]"] + v["x[2]"] <= 1),
], ids=["coefficient", "range"])
def test_a_coefficient_or_a_range_that_depends_on_an_index_is_read_per_instance_or_refused(road, declined, describe,
                                                                                           holds):
    """The formula encoder reads such a text per instance; clause assembly
    writes one template for all instances and refuses it, naming the index."""
    model = new_model(road)
    x = model.create_variables("x", a=3)
    i, j = model.get_indexes(["i", "j"])
    constraint, foralls = describe(x, i, j)
    if road == "formula encoder":
        model.add_constraint(constraint, **foralls)
    else:
        with pytest.raises(TypeError, match=r"^The index i is used as a number in .*cannot depend on an index"):
            model.add_constraint(constraint, **foralls)
        declined.clear()  # the engine leaves such texts to the host, which refuses them
    model.add_constraint(x[0] | x[2])
    assert model.build_cnf() is True
    keys = model_keys(model)
    taken = road == "formula encoder"
    assert models_of(model, keys) == meaning(keys, lambda v: (v["x[0]"] or v["x[2]"]) and (holds(v) or not taken))


CELLS_OUT_OF_RANGE_THAT_NO_CLAUSE_KEEPS = [
    pytest.param(lambda model, x, i: model.add_soft_constraint(x[i], 0, i=range(4)), id="soft-of-weight-0"),
    pytest.param(lambda model, x, i: model.add_soft_constraint(x[5], 0), id="soft-of-weight-0-constant-cell"),
    pytest.param(lambda model, x, i: model.add_soft_constraint(0 * x[i + 1] + x[0], 2, i=range(3)),
                 id="soft-coefficient-0"),
    pytest.param(lambda model, x, i: model.add_constraint(0 * x[i] + x[0] >= 1, i=range(4)), id="coefficient-0"),
    pytest.param(lambda model, x, i: model.add_constraint(0 * x[7] + x[0] >= 1), id="coefficient-0-constant-cell"),
    pytest.param(lambda model, x, i: model.add_constraint(x[i] | ~x[i], i=range(4)), id="tautology"),
    pytest.param(lambda model, x, i: model.add_constraint(x[7] | ~x[7]), id="tautology-of-a-constant-cell"),
    pytest.param(lambda model, x, i: model.add_constraint((x[i + 1] | ~x[i + 1]) & x[0], i=range(3)),
                 id="folded-away-beside-a-clause"),
]


@pytest.mark.parametrize("add", CELLS_OUT_OF_RANGE_THAT_NO_CLAUSE_KEEPS)
def test_a_cell_out_of_range_is_refused_whether_or_not_a_clause_keeps_it(road, declined, add):
    model = new_model(road)
    x = model.create_variables("x", a=3)
    i = model.get_indexes(["i"])
    with pytest.raises(IndexError, match="out of range for variable x"):
        add(model, x, i)
    # The engine leaves a constant cell out of range to the host.
    declined[:] = [reason for reason in declined if "out of range" not in reason]
    model.add_constraint(x[1] | x[2])
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: v["x[1]"] or v["x[2]"])


def test_a_target_cell_out_of_range_that_no_clause_keeps_is_refused(road, declined):
    model = new_model(road)
    x = model.create_variables("x", a=3)
    with pytest.raises(IndexError, match="out of range for variable x"):
        model.add_target(0 * x[7] + x[0] + x[1])
        model.build_cnf(1, True)
    declined[:] = [reason for reason in declined if "out of range" not in reason]


@pytest.mark.parametrize("bound, holds", [
    (True, lambda total: total <= 1), (False, lambda total: total <= 0),
], ids=["True", "False"])
def test_a_bound_written_as_a_bool_is_its_integer_on_every_road(road, bound, holds):
    model = new_model(road)
    x = model.create_variables("x", i=3)
    model.add_constraint(x[0] + x[1] + x[2] <= bound)
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: holds(sum(v.values())))


@pytest.mark.parametrize("make_values", [lambda: iter([0, 1.5]), lambda: (v for v in [0, "1"])],
                         ids=["iterator", "generator"])
def test_foralls_read_once_and_holding_a_non_integer_are_refused_alike(road, make_values):
    model = new_model(road)
    x = model.create_variables("x", i=2)
    i = model.get_indexes(["i"])
    with pytest.raises(TypeError, match="^Values of index i must be integers, not "):
        model.add_constraint(x[i], i=make_values())
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True


def test_a_failure_of_the_engine_reader_surfaces(monkeypatch):
    def fails(*arguments):
        raise ValueError("a fault of the reader")
    monkeypatch.setattr(native.ConstraintAssembler, "read_hard", fails)
    model = Model(ke.manager(), "fault")
    x = model.create_variables("x", i=2)
    with pytest.raises(ValueError, match="a fault of the reader"):
        model.add_constraint(x[0] | x[1])


# --- the log level ------------------------------------------------------------------------------

def reified_branches(model):
    """A comparison as the condition's branch, as measured: the host's reading used to number it otherwise."""
    x = model.create_variables("x", i=5, j=1)
    y = model.create_variables("y", k=3)
    i = model.get_indexes(["i"])
    model.add_constraint(IfThenElse(y[0], Sum(x[i, 0], i=range(5)) >= 2, y[1] ^ y[2]))
    model.add_constraint(~(Sum(x[i, 0], i=range(5)) <= 3) | Xor(x[i, 0] & y[1], i=range(2)))


def bounded_target(model):
    x = model.create_variables("x", i=3)
    k = model.get_indexes(["k"])
    model.add_constraint(Or(x[k], k=range(3)))
    model.add_target(Sum(x[k], k=range(3)))


def weighted_literals(model):
    x = model.create_variables("x", i=3)
    k = model.get_indexes(["k"])
    model.add_constraint(x[0] | x[1])
    model.add_soft_constraint(x[k], 2, True, k=range(3))
    model.add_soft_constraint(3 * x[0] - x[1], 1, False)


def built_at(level, describe):
    """Clauses in order and the mapping of the model built at that log level, and the lines written."""
    lines, threshold = [], ke.get_log_level()
    ke.set_log_level(level)
    ke.set_log_sink(lambda message, shown: lines.append(message))
    try:
        model = Model(ke.manager(), "levels")
        describe(model)
        if describe is weighted_literals:
            model.build_wcnf()
        else:
            model.build_cnf(*((2, True) if model.use_target else ()))
    finally:
        ke.set_log_sink(None)
        ke.set_log_level(threshold)
    storage = model.get_cnf_storage()
    built = (storage.get_hard_clauses(), storage.get_soft_clauses(), storage.get_weight_limit(),
             list(model.get_var_mapping().get_var_map().items()))
    return built, lines


_COMPARISON_LINES = ("FormulaPB before to_bx: ", "Bx formula from FormulaPB: ")


@pytest.mark.parametrize("describe, comparison_lines", [
    (reified_branches, _COMPARISON_LINES), (bounded_target, _COMPARISON_LINES),
    (without_dimensions, _COMPARISON_LINES), (index_texts, _COMPARISON_LINES),
    (weighted_literals, ("FormulaPB before to_maxsat: ",)),
], ids=["reified branches", "bounded target", "without dimensions", "index texts", "weighted literals"])
def test_the_log_level_changes_only_the_lines(describe, comparison_lines, declined):
    quiet, quiet_lines = built_at(ke.log_level_type.warning, describe)
    loud, loud_lines = built_at(ke.log_level_type.debug, describe)
    assert loud == quiet
    assert declined == []
    for prefix in comparison_lines:
        assert any(line.startswith(prefix) for line in loud_lines)
    assert not any(line.startswith("FormulaPB") for line in quiet_lines)


@pytest.mark.parametrize("wrong_kind, message", [
    (lambda x: 2 * ~x[0] >= 1, "a factor of '*' must be a pseudo-Boolean term, not a Boolean formula"),
    (lambda x: 3 * (x[1] <= 0) <= 1, "a factor of '*' must be a pseudo-Boolean term, not a Boolean formula"),
    (lambda x: x[0] + (x[1] | x[2]) >= 1, "an operand of '+' or '-' must be a pseudo-Boolean term"),
    (lambda x: x[0] & (x[1] + x[2]), "a member of bx.and_s must be a Boolean formula, not a pseudo-Boolean sum"),
    (lambda x: x[0] * x[1] >= 1, "a product needs a number on one side"),
], ids=["number-times-formula", "number-times-comparison", "sum-of-a-formula", "connective-of-a-sum", "cell-times-cell"])
def test_an_operand_of_the_wrong_kind_is_refused_alike_on_every_road(road, wrong_kind, message):
    """A TypeError everywhere; the engine's readers say where, the host (without them) in its own words."""
    model = new_model(road)
    x = model.create_variables("x", i=3)
    with pytest.raises(TypeError) as refused:
        model.add_constraint(wrong_kind(x))
    if road != "host evaluates the text":
        assert message in str(refused.value) and "position" in str(refused.value)
    model.add_constraint(x[0] | x[1])
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, lambda v: v["x[0]"] or v["x[1]"])


@pytest.mark.parametrize("describe", [without_dimensions, index_texts, numpy_foralls, bitwise_index_texts,
                                      names_outside_ascii_as_cells_and_with_indexes])
def test_the_host_roads_templates_are_read_natively_where_their_index_arithmetic_is_affine(describe, monkeypatch):
    readings, texts = [], []
    read, literal_texts = ke.read_formula_template, ke.literal_texts

    def reading(*arguments):
        result = read(*arguments)
        readings.append(result if isinstance(result, str) else "read")
        return result

    def writing(*arguments):
        texts.append(literal_texts(*arguments))
        return texts[-1]
    monkeypatch.setattr(ke, "read_formula_template", reading)
    monkeypatch.setattr(ke, "literal_texts", writing)
    monkeypatch.delattr(ke, "read_clause_template")
    model = new_model("host evaluates the text")
    variables, holds = describe(model)
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, holds)
    # Bitwise operators on an index are evaluated by the host, instance by instance.
    expected = "its shape depends on the index values" if describe is bitwise_index_texts else "read"
    assert readings == [expected] * len(readings) and readings
    # A template the engine reads keeps its literal texts in the engine.
    assert (texts == []) == (expected == "read")


def negated_comparisons(model):
    """Comparisons under an if-then-else condition and branch, a negation, an
    implication's premise, an exclusive or, and one required outright."""
    x = model.create_variables("x", i=4, j=2)
    y = model.create_variables("y", k=3)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(IfThenElse(y[0], Sum(x[k, 0], k=range(4)) >= 2, y[1] ^ y[2]))
    model.add_constraint(~(Sum(x[k, 1], k=range(4)) <= 1) | y[1])
    model.add_constraint(Implication(x[i, 0] + x[i, 1] == 1, y[2]), i=range(3))
    model.add_constraint((Sum(x[k, 0], k=range(3)) >= 1) ^ x[3, 1])
    model.add_constraint(IfThenElse(x[0, 0] + x[1, 1] + x[2, 0] <= 1, y[0], ~y[1]) | (x[3, 0] + y[2] == 1))
    model.add_constraint(Sum(x[k, 1], k=range(4)) >= 1)

    def holds(v):
        def row(j, count=4):
            return sum(v[f"x[{n},{j}]"] for n in range(count))
        return ((row(0) >= 2 if v["y[0]"] else v["y[1]"] != v["y[2]"])
                and (not row(1) <= 1 or v["y[1]"])
                and all(v[f"x[{n},0]"] + v[f"x[{n},1]"] != 1 or v["y[2]"] for n in range(3))
                and (row(0, 3) >= 1) != v["x[3,1]"]
                and ((v["y[0]"] if v["x[0,0]"] + v["x[1,1]"] + v["x[2,0]"] <= 1 else not v["y[1]"])
                     or v["x[3,0]"] + v["y[2]"] == 1)
                and row(1) >= 1)
    return (x, y), holds


def clauses_and_mapping(road):
    model = new_model(road)
    variables, holds = negated_comparisons(model)
    assert model.build_cnf() is True
    keys = model_keys(model)
    assert models_of(model, keys) == meaning(keys, holds)
    return model.get_cnf_storage().get_hard_clauses(), model.get_var_mapping().get_var_map()


def test_comparisons_the_host_evaluates_are_encoded_as_the_engine_encodes_them(monkeypatch):
    read = clauses_and_mapping("engine reads the text")
    monkeypatch.delattr(ke, "read_clause_template")
    # One polarity pass on both roads: the same clauses and auxiliaries.
    assert clauses_and_mapping("host evaluates the text") == read


FOLDING_INDEX_TEXTS = [
    pytest.param(lambda x, i, k: (x[i - i] | ~x[0], {"i": range(2)}), id="difference-to-a-constant"),
    pytest.param(lambda x, i, k: (x[i * 0 + 1] | x[1] | x[i], {"i": range(2)}), id="product-to-a-constant"),
    pytest.param(lambda x, i, k: ((x[i + 1] & ~x[1 + i]) | x[0], {"i": range(2)}), id="one-cell-two-spellings"),
    pytest.param(lambda x, i, k: (Implication(x[2 * i - i], x[i]) & (x[-i + 2] | ~x[2 - i]), {"i": range(3)}),
                 id="tautologies"),
    pytest.param(lambda x, i, k: (Sum(x[k + i - k], k=range(2)) + x[(i - i) ** 2] <= 1, {"i": range(2)}),
                 id="cells-of-a-sum"),
]


@pytest.mark.parametrize("describe", FOLDING_INDEX_TEXTS)
def test_cells_spelled_differently_are_one_variable_on_the_host_as_in_the_engines_reader(describe, monkeypatch,
                                                                                          declined):
    def built():
        model = Model(ke.manager(), "folds")
        x = model.create_variables("x", a=3)
        i, k = model.get_indexes(["i", "k"])
        constraint, foralls = describe(x, i, k)
        model.add_constraint(constraint, **foralls)
        model.add_constraint(x[0] | x[1])
        assert model.build_cnf() is True
        return model.get_cnf_storage().get_hard_clauses(), model.get_var_mapping().get_var_map()

    read = built()
    assert declined == []
    monkeypatch.delattr(ke, "read_clause_template")
    # The same cells are folded before the clauses are formed: no tautology, no repeated literal.
    assert built() == read


# --- one outcome on every road, at random -------------------------------------------------------

SPELLINGS = [lambda i: i, lambda i: i + 1, lambda i: 1 + i, lambda i: ~i + 3, lambda i: i ** 2, lambda i: (i & 1) + 1,
             lambda i: 2 * i, lambda i: i * 2, lambda i: i - i, lambda i: 0, lambda i: i ** 2 + 0, lambda i: 3 - i,
             lambda i: 2 - i]


def outcome_on(road, monkeypatch, cells, join, bound, values):
    """Refused (with the error's type) or taken (with the number of models): one random constraint."""
    with monkeypatch.context() as patch:
        if road == "host evaluates the text":
            patch.delattr(ke, "read_clause_template")
        model = new_model(road)
        x = model.create_variables("x", a=8)
        i = model.get_indexes(["i"])
        literals = [~x[SPELLINGS[k](i)] if negated else x[SPELLINGS[k](i)] for k, negated in cells]
        if bound is not None:
            total = x[SPELLINGS[cells[0][0]](i)]
            for k, _ in cells[1:]:
                total = total + x[SPELLINGS[k](i)]
            constraint = total >= bound
        else:
            constraint = literals[0]
            for literal in literals[1:]:
                constraint = (constraint & literal) if join else (constraint | literal)
        try:
            model.add_constraint(constraint, i=values)
        except Exception as refused:
            return type(refused).__name__
        model.add_constraint(x[7] | ~x[7])
        assert model.build_cnf() is True
        keys = model_keys(model)
        return len(models_of(model, keys))


@pytest.mark.parametrize("seed", range(3))
def test_cells_spelled_many_ways_give_one_outcome_on_every_road(seed, monkeypatch, declined):
    """Contradictions, taken constraints and their models agree, however a cell is spelled."""
    rng = random.Random(seed)
    for _ in range(30):
        cells = [(rng.randrange(len(SPELLINGS)), rng.random() < 0.5) for _ in range(rng.randrange(1, 4))]
        join, bound = rng.random() < 0.6, rng.choice([None, None, 1, 2, 3, 4])
        values = rng.choice([[], [0], [1], [0, 1], [2], [1, 2]])
        outcomes = {road: outcome_on(road, monkeypatch, cells, join, bound, values) for road in ROADS}
        assert len(set(outcomes.values())) == 1, (cells, join, bound, values, outcomes)
    declined.clear()
