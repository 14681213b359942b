"""The text linear model: construction, variables, indexes, constraints and targets as the solver receives them."""

import numpy as np
import pytest

import halvex.kelvo_engine.linsolver as linsolver
from vx_encoder._exceptions import FormulaError, VariableError
from vx_encoder.linear_parser import LinearModel, Sum, SumIt, VariableType, inf
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledSum
from vx_encoder.linear_parser.linear_expression import LinearExpression
from vx_encoder.linear_parser.linear_variables import Index


@pytest.fixture
def calls(monkeypatch):
    """Every call a model makes on its solver, in order; the calls still reach a real solver."""
    recorded = []
    real_solver = linsolver.LinearSolver

    class RecordingSolver:
        def __init__(self):
            self._solver = real_solver()
            self._solver.setOptionValue("output_flag", False)

        def __getattr__(self, name):
            method = getattr(self._solver, name)

            def record(*args):
                recorded.append((name, args))
                return method(*args)

            return record

    monkeypatch.setattr(linsolver, "LinearSolver", RecordingSolver)
    return recorded


def calls_named(calls, name):
    return [args for called, args in calls if called == name]


def as_lists(args):
    return tuple(value.tolist() if isinstance(value, np.ndarray) else value for value in args)


def test_a_new_model_is_empty_and_sets_its_options_in_order(calls):
    model = LinearModel(time_limit=5.0, log_to_console=True)
    assert calls == [
        ("setOptionValue", ("log_to_console", False)),
        ("setOptionValue", ("time_limit", 5.0)),
        ("setOptionValue", ("log_to_console", True)),
    ]
    assert model._general_shift_variable == 0
    assert (model._used_vars, model._variables, model._indexes) == (set(), {}, {})
    assert model._formulas_dir == {"CompiledSum": CompiledSum}
    assert inf == linsolver.kLinsolverInf


def test_variables_take_consecutive_blocks_of_columns(calls):
    model = LinearModel()
    calls.clear()
    x = model.get_variables("x", VariableType.REAL, i=2, j=3)
    y = model.get_variables("y", VariableType.INTEGER, 0, 10, k=4)
    assert (x.map, y.map) == ((0, 2, 4, 1, 3, 5), (6, 7, 8, 9))
    assert (x.type, y.type) == ("float64", "int32")
    assert model._general_shift_variable == 10
    assert model._variables == {"x": x, "y": y}
    added = [as_lists(args) for args in calls_named(calls, "addVars")]
    # The solver holds x's block in row-major order of its elements: the order of x.map.
    assert added == [(6, [-inf] * 6, [inf] * 6, [0, 2, 4, 1, 3, 5]), (4, [0.0] * 4, [10.0] * 4)]
    assert [as_lists(args) for args in calls_named(calls, "changeColsIntegrality")] == [
        (4, [6, 7, 8, 9], [linsolver.LinsolverVarType.kInteger] * 4)
    ]


def test_a_binary_variable_is_bounded_by_0_and_1_and_keeps_the_given_bounds(calls):
    model = LinearModel()
    b = model.get_variables("b", VariableType.BINARY, 5, 7, i=2)
    assert as_lists(calls_named(calls, "addVars")[0]) == (2, [0, 0], [1, 1])
    assert len(calls_named(calls, "changeColsIntegrality")) == 1
    assert (b.lo, b.hi, b.type) == (5, 7, "int32")


def test_a_variable_without_dimensions_or_with_an_empty_one(calls):
    model = LinearModel()
    model.get_variables("s", VariableType.REAL)
    model.get_variables("e", VariableType.REAL, i=0)
    model.get_variables("t", VariableType.REAL)
    assert [args[0] for args in calls_named(calls, "addVars")] == [1, 0, 1]
    assert model._variables["t"].map == (1,)


@pytest.mark.parametrize("lo, hi", [(-inf, inf), (0.0, 5), (0, np.int64(5)), (0, 5.0)])
def test_integer_variables_need_integer_bounds(calls, capfd, lo, hi):
    model = LinearModel()
    message = "For integer variables, the boundaries must be integers"
    with pytest.raises(ValueError, match=f"^{message}$"):
        model.get_variables("n", VariableType.INTEGER, lo, hi)
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]
    assert calls_named(calls, "addVars") == [] and model._general_shift_variable == 0
    # The refusal left the name free.
    assert model.get_variables("n", VariableType.INTEGER, 0, 1).map == (0,)


def test_integer_bounds_beyond_32_bits_reach_the_solver_unchanged(calls):
    model = LinearModel()
    big = model.get_variables("big", VariableType.INTEGER, -3_000_000_000, 5_000_000_000)
    flags = model.get_variables("flags", VariableType.INTEGER, False, True)
    assert as_lists(calls_named(calls, "addVars")[0]) == (1, [-3e9], [5e9])
    assert as_lists(calls_named(calls, "addVars")[1]) == (1, [0.0], [1.0])
    assert (big.type, flags.type) == ("int64", "int32")
    model.add_target(big[()], False)
    model.solve()
    assert model.get_result("big") == 5_000_000_000


def test_integer_bounds_beyond_a_float_are_refused(capfd):
    with pytest.raises(ValueError, match="out of range"):
        LinearModel().get_variables("n", VariableType.INTEGER, 0, 10**400)
    assert capfd.readouterr().err.startswith("[error] The boundaries 0 and 1000")


@pytest.mark.parametrize("name", ["x1", "_y", "ξ", "fore", "Range"])
def test_variable_names_are_identifiers(name):
    assert LinearModel().get_variables(name, VariableType.REAL).shape == ()


@pytest.mark.parametrize("name", ["for", "lambda", "None", "CompiledSum", "range", "abs"])
def test_names_that_would_change_the_text_are_refused_before_anything_is_made(calls, capfd, name):
    message = f"name {name} is reserved by the expression language; change the name to a valid one"
    model = LinearModel()
    calls.clear()
    with pytest.raises(ValueError, match=f"^Linear variable {message}$"):
        model.get_variables(name, VariableType.REAL, i=2)
    with pytest.raises(ValueError, match=f"^Index {message}$"):
        model.get_indexes([name])
    assert calls == [] and model._variables == {} and model._indexes == {}
    assert capfd.readouterr().err.splitlines() == [f"[error] Linear variable {message}", f"[error] Index {message}"]
    # The name stays free of any half-made variable: a valid model still solves.
    x = model.get_variables("x", VariableType.INTEGER, 0, 3, i=2)
    i = model.get_indexes(["i"])
    model.add_target(Sum(x[i], i=range(2)), minimization=False)
    assert model.solve().name == "OPTIMAL" and model.objective_value == 6


@pytest.mark.parametrize("name", ["", "1x", "a-b", "a b", None])
def test_variable_names_that_are_no_identifiers_are_refused(capfd, name):
    message = "Linear variable must have a non-empty name containing only letters"
    with pytest.raises(ValueError, match=f"^{message}$"):
        LinearModel().get_variables(name, VariableType.REAL)
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


@pytest.mark.parametrize("kind", [None, 2, "REAL"])
def test_an_unknown_variable_type_is_refused(calls, capfd, kind):
    model = LinearModel()
    with pytest.raises(ValueError, match="^Invalid variable format$"):
        model.get_variables("v", kind)
    assert calls_named(calls, "addVars") == []
    assert "v" not in model._used_vars
    assert capfd.readouterr().err.splitlines() == ["[error] Invalid variable format"]


@pytest.mark.parametrize("size", [-1, 2.0, "3", True])
def test_bad_dimension_sizes_are_refused_before_the_name_is_taken(capfd, size):
    model = LinearModel()
    with pytest.raises(ValueError, match="non-negative integer size"):
        model.get_variables("v", VariableType.REAL, i=size)
    assert capfd.readouterr().err.startswith("[error] Dimension i of linear variable v must have")
    assert model.get_variables("v", VariableType.REAL, i=2).shape == (2,)


def test_get_indexes_returns_one_index_or_a_list():
    model = LinearModel()
    single = model.get_indexes(["i"])
    assert type(single) is Index and single.name == "i"
    pair = model.get_indexes("jk")
    assert [index.name for index in pair] == ["j", "k"]
    again = model.get_indexes(["i"])
    assert model._indexes["i"] is again and again is not single
    model.get_variables("i", VariableType.REAL)  # a variable may take an index's name


@pytest.mark.parametrize("names", [[], ""])
def test_get_indexes_refuses_an_empty_sequence(capfd, names):
    message = "The indexes parameter must contain a non-empty sequence of index names"
    with pytest.raises(ValueError, match=f"^{message}$"):
        LinearModel().get_indexes(names)
    assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]


def test_an_index_cannot_take_a_variable_name(capfd):
    model = LinearModel()
    model.get_variables("x", VariableType.REAL)
    with pytest.raises(VariableError, match="^Index named x is already in use$"):
        model.get_indexes(["i", "x"])
    assert list(model._indexes) == []
    assert capfd.readouterr().err.splitlines() == ["[error] Index named x is already in use"]


@pytest.fixture
def rows_model(calls):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 10, i=3, j=4)
    y = model.get_variables("y", VariableType.REAL, 0, 10, j=4)
    i, j = model.get_indexes(["i", "j"])
    calls.clear()
    return model, x, y, i, j


def sent_rows(calls):
    """The rows of every addRows call, as (lower, upper, {column: coefficient})."""
    rows = []
    for m, lower, upper, nnz, starts, indexes, values in calls_named(calls, "addRows"):
        assert len(starts) == m + 1 and starts[-1] == nnz == len(indexes) == len(values)
        for row in range(m):
            span = slice(starts[row], starts[row + 1])
            rows.append((lower[row], upper[row], dict(zip(indexes[span].tolist(), values[span].tolist()))))
    return rows


def test_a_constraint_is_one_row_per_combination_of_foralls_values(rows_model, calls):
    model, x, y, i, j = rows_model
    model.add_constraint(x[i, j] + y[j] <= 4, i=range(2), j=[0, 3])
    assert len(calls_named(calls, "addRows")) == 1
    assert sent_rows(calls) == [
        (-inf, 4.0, {x.map[0]: 1.0, 12: 1.0}),
        (-inf, 4.0, {x.map[3]: 1.0, 15: 1.0}),
        (-inf, 4.0, {x.map[4]: 1.0, 12: 1.0}),
        (-inf, 4.0, {x.map[7]: 1.0, 15: 1.0}),
    ]


def test_constants_move_into_the_bounds_and_equal_columns_merge(rows_model, calls):
    model, x, y, i, j = rows_model
    model.add_constraint(2 + 3 * x[0, 0] - x[0, 0] + y[1] - y[1] <= 10, lo=-1)
    assert sent_rows(calls) == [(-3.0, 8.0, {0: 2.0})]


@pytest.mark.parametrize(
    "expression, arguments, bounds",
    [
        (lambda x: x[0, 0], {}, (-inf, inf)),
        (lambda x: x[0, 0], {"eq": 5}, (5, 5)),
        (lambda x: x[0, 0] <= 10, {"lo": 2}, (2, 10)),
        (lambda x: x[0, 0] >= 2, {"hi": 10}, (2, 10)),
        (lambda x: x[0, 0] == 3, {}, (3, 3)),
        (lambda x: x[0, 0] + 1, {"lo": 0.5, "hi": 1.5}, (-0.5, 0.5)),
    ],
)
def test_bounds_come_from_the_expression_and_the_arguments(rows_model, calls, expression, arguments, bounds):
    model, x, *_ = rows_model
    model.add_constraint(expression(x), **arguments)
    (lower, upper, _), = sent_rows(calls)
    assert (lower, upper) == bounds


@pytest.mark.parametrize(
    "expression, arguments, message",
    [
        (lambda x: x[0, 0] >= 0, {"lo": 0}, "The border is set twice"),
        (lambda x: x[0, 0] <= 0, {"hi": 1}, "The border is set twice"),
        (lambda x: x[0, 0] <= 1, {"eq": 5}, "The borders is set twice"),
        (lambda x: x[0, 0] == 1, {"eq": 5}, "The borders is set twice"),
        (lambda x: x[0, 0], {"lo": 1, "eq": 5}, "The borders is set twice"),
    ],
)
def test_a_bound_given_twice_is_refused_before_anything_is_sent(
    rows_model, calls, capfd, expression, arguments, message
):
    model, x, *_ = rows_model
    with pytest.raises(ValueError, match=f"^{message}$"):
        model.add_constraint(expression(x), **arguments)
    assert calls == [] and capfd.readouterr().err.splitlines() == []


def test_foralls_values_are_used_as_given_not_reread_from_their_text(rows_model, calls):
    model, x, y, i, j = rows_model
    values = [np.int64(0), np.int64(2)]
    model.add_constraint(y[j] <= 1, j=values)
    model.add_constraint(y[j] <= 2, j=np.array([1, 3]))
    model.add_constraint(y[j] <= 3, j=(value for value in [3]))
    model.add_constraint(x[i, j] <= 4, i="range(2)", j="range(i)")  # text stays text
    assert [(upper, list(row)) for _, upper, row in sent_rows(calls)] == [
        (1.0, [12]),
        (1.0, [14]),
        (2.0, [13]),
        (2.0, [15]),
        (3.0, [15]),
        (4.0, [x.map[4]]),
    ]


def test_a_foralls_name_the_expression_does_not_use_repeats_the_row(rows_model, calls):
    model, x, *_ = rows_model
    model.add_constraint(x[0, 1] <= 1, k=range(3))
    assert [row for _, _, row in sent_rows(calls)] == [{x.map[1]: 1.0}] * 3


def test_an_empty_foralls_range_sends_nothing(rows_model, calls):
    model, x, y, i, j = rows_model
    model.add_constraint(y[j] <= 1, j=[])
    assert calls == []


@pytest.mark.parametrize("keyword, values", [("equ", 3), ("j", None), ("j", 2.5)])
def test_index_values_that_are_neither_text_nor_iterable_are_refused_naming_the_keyword(
    rows_model, calls, capfd, keyword, values
):
    model, x, y, i, j = rows_model
    message = (
        f"The values of index {keyword} must be an iterable (a range, a list, an array) "
        f'or a text such as "range(3)", not {values!r}'
    )
    for refused in (
        lambda: model.add_constraint(y[j] <= 1, i=range(2), **{keyword: values}),
        lambda: Sum(y[j], **{keyword: values}),
    ):
        capfd.readouterr()
        with pytest.raises(TypeError) as refusal:
            refused()
        assert str(refusal.value) == message
        assert capfd.readouterr().err.splitlines() == [f"[error] {message}"]
    assert calls == []


def test_index_arithmetic_reaches_the_columns_the_user_wrote(rows_model, calls):
    model, x, y, i, j = rows_model
    model.add_constraint(y[2 * i + 1] <= 1, i=range(2))
    model.add_constraint(y[2 * (i + 1) - 1] <= 2, i=[0, 1])
    assert [list(row) for _, _, row in sent_rows(calls)] == [[13], [15], [13], [15]]


def test_a_constraint_with_a_quadratic_part_is_refused_and_nothing_is_sent(rows_model, calls, capfd):
    model, x, y, i, j = rows_model
    with pytest.raises(FormulaError, match="quadratic"):
        model.add_constraint(y[j] + (j == 3) * y[0] * y[1] <= 1, j=range(4))
    assert calls == []
    assert capfd.readouterr().err.startswith("[error] A constraint must be linear")


def test_an_evaluation_error_sends_nothing(rows_model, calls):
    model, x, y, i, j = rows_model
    with pytest.raises(NameError):
        model.add_constraint(x[i, j] <= 1, i=range(3))
    with pytest.raises(IndexError):
        model.add_constraint(y[j] <= 1, j=range(5))
    assert calls == []


@pytest.mark.parametrize("bad", [LinearExpression("3") <= 4, "x(0, 0) <= 1", 3])
def test_a_constraint_that_is_no_linear_expression_is_refused(rows_model, calls, bad):
    model, *_ = rows_model
    with pytest.raises(TypeError):
        model.add_constraint(bad)
    assert calls == []


def test_a_constraint_bound_that_is_no_number_is_refused(rows_model, calls):
    model, x, *_ = rows_model
    with pytest.raises(TypeError, match="must be numbers"):
        model.add_constraint(x[0, 0] == x[0, 1])
    assert calls == []


def test_an_empty_sum_is_the_constant_0(rows_model, calls):
    model, x, y, i, j = rows_model
    model.add_constraint(Sum(y[j], j=range(0)) + SumIt([]) + y[0] <= 1)
    assert sent_rows(calls) == [(-inf, 1.0, {12: 1.0})]


@pytest.mark.parametrize(
    "minimization, sense", [(True, "kMinimize"), (1, "kMinimize"), (None, "kMaximize"), (0, "kMaximize")]
)
def test_the_target_sets_the_sense_first(rows_model, calls, minimization, sense):
    model, x, *_ = rows_model
    model.add_target(x[0, 0], minimization)
    assert calls[0] == ("changeObjectiveSense", (getattr(linsolver.ObjSense, sense),))


def test_a_quadratic_target_passes_twice_its_matrix_as_the_hessian(calls):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, i=3)
    model.add_target(x[0] * x[1] + 2 * x[2] + 7, True)
    assert [as_lists(args) for args in calls_named(calls, "changeColsCost") if args[0]] == [(1, [2], [2])]
    (hessian,) = calls_named(calls, "passHessian")
    assert as_lists(hessian) == (3, 2, linsolver.HessianFormat.kTriangular, [0, 1, 2, 2], [1, 0], [1.0, 1.0])
    calls.clear()
    model.add_target(x[0] * x[0] <= 4, True)  # bounds of a target are not read
    assert as_lists(calls_named(calls, "passHessian")[0])[3:] == ([0, 1, 1, 1], [0], [2.0])


def test_a_linear_target_sends_no_hessian_and_no_constant(calls):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, i=3)
    model.add_target(x[1] + 5, False)
    assert calls_named(calls, "passHessian") == []
    assert [as_lists(args) for args in calls_named(calls, "changeColsCost") if args[0]] == [(1, [1], [1])]


def test_a_second_target_replaces_the_whole_objective(calls):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, i=3)
    model.add_target(x[0] * x[0] + x[1] + 2 * x[2], True)
    calls.clear()
    model.add_target(3 * x[2], True)
    costs = [as_lists(args) for args in calls_named(calls, "changeColsCost")]
    assert costs == [(2, [1, 2], [0.0, 0.0]), (1, [2], [3])]
    assert as_lists(calls_named(calls, "passHessian")[0])[:2] == (3, 0)


def test_a_target_evaluation_error_leaves_the_objective_as_it_was(calls):
    model = LinearModel()
    model.get_variables("x", VariableType.REAL, i=3)
    calls.clear()
    with pytest.raises(NameError):
        model.add_target(LinearExpression("z(0)"), False)
    assert calls == []
