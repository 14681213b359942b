"""How the text linear model reads its expression text: natively where it can, by the host otherwise,
with one result either way; long and deep texts, and integers past 64 bits."""

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from vx_encoder._exceptions import SolverError
from vx_encoder.core.expression_evaluator import evaluate_expression_text
from vx_encoder.linear_parser import LinearModel, Sum, SumIt, VariableType
from vx_encoder.linear_parser.compiled_linear_expressions import CompiledSum, rows_by_row
from vx_encoder.linear_parser.native_text import read_expression, read_rows


@pytest.fixture(scope="module")
def variables():
    model = LinearModel(output_flag=False)
    return {
        "x": model.get_variables("x", VariableType.REAL, i=3, j=4),
        "y": model.get_variables("y", VariableType.REAL, j=4),
    }


def host_rows(text: str, variables: dict, sequences: dict):
    rows = evaluate_expression_text(text, {"CompiledSum": CompiledSum, **variables, **sequences})
    constants = [row.constant for row in rows]
    return (constants, *rows_by_row(rows))


@pytest.mark.parametrize(
    "text, sequences",
    [
        ("[x(i,j) + y(j) for i in s for j in t]", {"s": range(3), "t": [0, 3]}),
        ("[CompiledSum([3 * (x(i,k)) for k in [(j + t) % 4 for t in range(3)]]) - 2 for i in s for j in t]",
         {"s": range(2), "t": range(4)}),
        ("[CompiledSum([x(i,j) for j in range(i)]) + 0.5 * (y(i // 2)) for i in range(2, -1, -1)]", {}),
        ("[-(-(y(j) - (x(0,j)))) + True - 7 * (CompiledSum([])) for j in s]", {"s": np.array([3, 1])}),
        ("[CompiledSum([c * (y(1)), 1, 2.5]) - (y(1)) for c in s]", {"s": [0.25, -1.5]}),
        ("[CompiledSum([(k - 1) * (y(k)) for k in (1, 2, 3,)]) for i in []]", {}),
        ("[x(2,3) - (x(2,3)), y(0) + 9223372036854775807 - 1 ]", {}),
        # Iterables read whole inside the items of one read whole.
        ("[y(a) + CompiledSum([x(a,b) for b in [d for d in [e + 1 for e in range(a + 1)]]]) for a in [c for c in s]]",
         {"s": range(3)}),
    ],
)
def test_native_rows_are_the_rows_the_host_evaluates(variables, text, sequences):
    native = read_rows(text, variables, sequences)
    assert native is not None
    expected = host_rows(text, variables, sequences)
    for read, wanted in zip(native, expected):
        assert np.asarray(read).tolist() == pytest.approx(np.asarray(wanted, dtype=np.float64).tolist())


@pytest.mark.parametrize(
    "text, error",
    [
        ("[x(i,0) for i in range(4)]", IndexError),  # a cell outside the variable
        ("[y(1.0)]", TypeError),
        ("[abs(-2) * (y(0))]", None),  # a built-in the native reader does not know
        ("[2 ** 3 * (y(0))]", None),
        ("[y(0) / 2]", None),
        ("[y(i) for i in range(4) if i]", None),
        ("[1 - (y(0))]", TypeError),  # the host has no number minus an expression
        ("[y(0) % 2]", TypeError),
        ("[y(0) * y(1)]", None),  # the model refuses it as quadratic
        ("[3]", None),
        ("[18446744073709551616 * (y(0)) + 9223372036854775807 + 1]", None),
        ("[y(j) for y in range(2) for j in range(2)]", TypeError),  # a for clause rebinding a variable's name
        ("[z(0)]", NameError),
    ],
)
def test_text_outside_the_native_reading_is_left_to_the_host(variables, text, error):
    assert read_rows(text, variables, {}) is None
    if error is not None:
        with pytest.raises(error):
            host_rows(text, variables, {})


@pytest.mark.parametrize(
    "values", [[1, 2.5], [np.int64(1)], np.array([1, 2], dtype=np.int32), (v for v in [1]), {1, 2}, [True]]
)
def test_foralls_values_other_than_plain_numbers_are_left_to_the_host(variables, values):
    assert read_rows("[y(j) for j in s]", variables, {"s": values}) is None


def rows_sent(model: LinearModel):
    solver = model._linsolver_model
    solver._synchronise()
    return solver._highs.getLp().a_matrix_


def test_a_row_built_with_plus_in_a_loop_and_deeply_negated_terms():
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.REAL, 0, 1, i=5_000)
    row = x[0]
    for column in range(1, 5_000):
        row = row + x[column] if column % 2 else row - x[column]
    model.add_constraint(row <= 1)
    # A text the native reader leaves to the host, as long: the host reads it without recursion too.
    i = model.get_indexes(["i"])
    model.add_constraint(row + 0 * x[i] <= 2, i="[abs(-1)]")
    negated = x[1]
    for _ in range(3_000):
        negated = -negated
    nested = x[2]
    for _ in range(300):
        nested = -(-nested + 0)
    model.add_target(negated + nested, minimization=False)
    matrix = rows_sent(model)
    signs = [1.0 if column == 0 or column % 2 else -1.0 for column in range(5_000)]
    assert list(matrix.start_) == [0, 5_000, 10_000]
    assert list(matrix.value_) == signs + signs
    assert model._target_columns.tolist() == [1, 2]
    assert list(model._linsolver_model._highs.getLp().col_cost_[:3]) == [0.0, 1.0, 1.0]


@pytest.mark.parametrize(
    "build, coefficient",
    [
        (lambda x: 10**19 * x[0], 1e19),
        (lambda x: 2**62 * x[0] + 2**62 * x[0], 2.0**63),
        (lambda x: SumIt([2**63 * x[0], -(2**64) * x[0]]), -(2.0**63)),
        (lambda x: 3 * (2**62 * x[0] + 2**62 * x[0]), 3 * 2.0**63),
    ],
)
def test_integer_coefficients_past_64_bits_stay_exact_floats(build, coefficient):
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.INTEGER, 0, 1, i=1)
    model.add_target(build(x), minimization=False)
    assert model.solve().name == "OPTIMAL"
    assert model.get_result("x").tolist() == [1 if coefficient > 0 else 0]
    assert model.objective_value == max(coefficient, 0.0)
    assert list(model._linsolver_model._highs.getLp().col_cost_) == [coefficient]


def test_a_coefficient_beyond_every_float_is_refused_with_overflow_error():
    model = LinearModel(output_flag=False)
    x = model.get_variables("x", VariableType.INTEGER, 0, 1, i=1)
    with pytest.raises(OverflowError):
        model.add_target(10**400 * x[0], minimization=False)


def random_model(rng: np.random.Generator, huge: bool):
    """Integer and real columns with random bounds, rows and costs; a huge model scales one cost past 2^63."""
    columns, rows = rng.integers(2, 6), rng.integers(1, 4)
    integral = rng.random(columns) < 0.6
    lower = rng.integers(-4, 1, columns)
    upper = lower + rng.integers(0, 6, columns)
    matrix = rng.integers(-5, 6, (rows, columns))
    row_upper = rng.integers(0, 10, rows)
    costs = rng.integers(-5, 6, columns).astype(object)
    if huge:
        costs[rng.integers(columns)] *= 2**64
    return integral, lower, upper, matrix, row_upper, costs


@pytest.mark.parametrize("seed", range(12))
def test_random_models_reach_the_optimum_of_another_solver(seed):
    rng = np.random.default_rng(seed)
    integral, lower, upper, matrix, row_upper, costs = random_model(rng, huge=seed % 3 == 0)
    model = LinearModel(output_flag=False)
    cells = []
    for column, is_integer in enumerate(integral):
        kind = VariableType.INTEGER if is_integer else VariableType.REAL
        low, high = int(lower[column]), int(upper[column])
        variable = model.get_variables(f"v{column}", kind, low if is_integer else float(low),
                                       high if is_integer else float(high))
        cells.append(variable[()])
    for row, bound in zip(matrix, row_upper):
        model.add_constraint(SumIt([int(a) * cell for a, cell in zip(row, cells)]) <= int(bound))
    constant = int(rng.integers(-9, 10))
    model.add_target(SumIt([int(c) * cell for c, cell in zip(costs, cells)]) + constant, minimization=True)

    float_costs = np.array([float(c) for c in costs])
    expected = milp(float_costs, constraints=LinearConstraint(matrix, -np.inf, row_upper),
                    integrality=integral.astype(int), bounds=Bounds(lower, upper))
    if expected.status == 2:  # infeasible
        with pytest.raises(SolverError):
            model.solve()
        return
    assert expected.success
    model.solve()
    assert model.objective_value == pytest.approx(expected.fun + constant, rel=1e-9, abs=1e-6)



def random_expression(rng: np.random.Generator, cells: list, depth: int):
    """A text expression written by the package's operators, with real numbers whose
    sums and products round: any other order of the host's arithmetic shows."""
    numbers = [0.1, 0.2, 0.3, 1 / 3, -0.7, 1.1, 1e308, -1e308, 3]
    if depth == 0 or rng.random() < 0.1:
        return cells[rng.integers(len(cells))]
    choice = rng.choice(6, p=[0.2, 0.1, 0.3, 0.25, 0.05, 0.1])
    left = random_expression(rng, cells, depth - 1)
    if choice == 0:
        return left + random_expression(rng, cells, depth - 1)
    if choice == 1:
        return left - random_expression(rng, cells, depth - 1)
    if choice == 2:
        return numbers[rng.integers(len(numbers))] * left
    if choice == 3:
        return left + numbers[rng.integers(len(numbers))]
    if choice == 4:
        return -left
    return SumIt([left, numbers[rng.integers(len(numbers))] * random_expression(rng, cells, depth - 1)])


def same_numbers(read, wanted) -> bool:
    """Equal to the last bit, NaN and the sign of infinities included."""
    read, wanted = np.asarray(read, dtype=np.float64), np.asarray(wanted, dtype=np.float64)
    return read.shape == wanted.shape and bool(np.all((read == wanted) | (np.isnan(read) & np.isnan(wanted))))


@pytest.mark.parametrize("seed", range(40))
def test_native_reading_gives_the_hosts_numbers_to_the_last_bit(variables, seed):
    rng = np.random.default_rng(seed)
    cells = [variables["y"][k] for k in range(4)]
    text = str(random_expression(rng, cells, 5))
    with np.errstate(all="ignore"):
        host = evaluate_expression_text(text, {"CompiledSum": CompiledSum, **variables})
    native = read_expression(text, variables)
    assert native is not None, text
    assert same_numbers(native.constant, host.constant), text
    assert native.linear_coefficients_indexes.tolist() == host.linear_coefficients_indexes.tolist(), text
    assert same_numbers(native.linear_coefficients, host.linear_coefficients), text
    rows = f"[{text} for i in range(2)]"
    with np.errstate(all="ignore"):
        expected = host_rows(rows, variables, {})
    for read, wanted in zip(read_rows(rows, variables, {}), expected):
        assert same_numbers(read, wanted), text


def test_a_factor_scales_a_sums_constant_once(variables):
    """1e308 · (y(0) + 1e308 - 1e308): the constant is 1e308 · 0, not 1e308·1e308 - 1e308·1e308 (NaN)."""
    target = 1e308 * (variables["y"][0] + 1e308 - 1e308)
    native = read_expression(str(target), variables)
    assert (native.constant, native.linear_coefficients.tolist()) == (0.0, [1e308])
    model = LinearModel(output_flag=False)
    y = model.get_variables("y", VariableType.REAL, 0, 1, j=1)
    model.add_target(1e308 * (y[0] + 1e308 - 1e308), minimization=False)  # no NaN to refuse
    assert model._linsolver_model._highs.getLp().offset_ == 0.0
