"""The extra checks that DEBUG_SOLVER_MODE switches on when the array interface loads.

Each test loads fresh copies of the array interface's modules under the
environment it needs and puts the process's own copies back afterwards, so the
other tests keep the modules (and classes) they imported.
"""

import contextlib
import importlib
import sys
import types

import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

import vx_encoder
import vx_encoder.linear_parser2  # the process's own copies, which every test must get back
from vx_encoder._exceptions import BuildError, FormulaError
from test_linear_array_support import logged  # noqa: F401 (fixture)

PACKAGE = "vx_encoder.linear_parser2"
SWITCH = "DEBUG_SOLVER_MODE"


@contextlib.contextmanager
def loaded_with(monkeypatch, value):
    """The array interface loaded with DEBUG_SOLVER_MODE set to `value` (None: unset)."""
    own = {name: module for name, module in sys.modules.items() if name == PACKAGE or name.startswith(PACKAGE + ".")}
    own_attribute = getattr(vx_encoder, "linear_parser2", None)
    for name in own:
        del sys.modules[name]
    with monkeypatch.context() as patch:
        if value is None:
            patch.delenv(SWITCH, raising=False)
        else:
            patch.setenv(SWITCH, value)
        try:
            package = importlib.import_module(PACKAGE)
            yield types.SimpleNamespace(
                package=package,
                expression=sys.modules[PACKAGE + "._expression"],
                variable=sys.modules[PACKAGE + ".variable"],
                model=sys.modules[PACKAGE + ".model"],
            )
        finally:
            for name in [name for name in sys.modules if name == PACKAGE or name.startswith(PACKAGE + ".")]:
                del sys.modules[name]
            sys.modules.update(own)
            if own_attribute is not None:
                vx_encoder.linear_parser2 = own_attribute


@pytest.fixture
def debug(monkeypatch):
    with loaded_with(monkeypatch, "1") as modules:
        yield modules


@pytest.fixture
def plain(monkeypatch):
    with loaded_with(monkeypatch, None) as modules:
        yield modules


def refused(error, message, logged, action):
    logged.clear()
    with pytest.raises(error) as raised:
        action()
    assert str(raised.value) == message
    assert logged == [message]


@pytest.mark.parametrize("value, on", [("1", True), ("0", True), ("yes", True), ("", False), (None, False)])
def test_any_non_empty_value_switches_the_checks_on(monkeypatch, value, on):
    with loaded_with(monkeypatch, value) as modules:
        assert bool(modules.expression.DEBUG) is on
        assert bool(modules.variable.DEBUG) is on
        assert bool(modules.model.DEBUG) is on
        dense_row = np.ones(3)
        if on:
            with pytest.raises(TypeError, match="^Linear coefficients must be a csr array$"):
                modules.expression.LinearExpression(linear_coefficients=dense_row)
        else:
            modules.expression.LinearExpression(linear_coefficients=dense_row)


def test_the_switch_is_read_once_at_load(monkeypatch, plain):
    monkeypatch.setenv(SWITCH, "1")
    assert not plain.expression.DEBUG and not plain.model.DEBUG
    plain.expression.LinearExpression(linear_coefficients=np.ones(3))


def test_the_modules_are_restored_after_a_debug_load(monkeypatch):
    before = sys.modules[PACKAGE + ".model"]
    switch = before.DEBUG
    with loaded_with(monkeypatch, "" if switch else "1") as modules:
        assert modules.model is not before and bool(modules.model.DEBUG) != bool(switch)
    assert sys.modules[PACKAGE + ".model"] is before and before.DEBUG == switch


class TestExpressionChecks:
    @pytest.mark.parametrize("construct, error, message", [
        (lambda e: e.LinearExpression(linear_coefficients=csr_array(np.ones(3)), constant=np.array(1.0)),
         TypeError, "Constant must be a float or int number"),
        (lambda e: e.LinearExpression(linear_coefficients=csr_array(np.ones(3)),
                                      quadratic_coefficients=csr_array(np.eye(3))),
         TypeError, "Quadratic coefficients must be a csc array"),
        (lambda e: e.LinearExpressionsArr(linear_coefficients=csr_array(np.eye(3)), constants=np.zeros(2)),
         FormulaError, "constants and linear_coeffients must have the same number of elements."),
        (lambda e: e.LinearExpressionsArr(linear_coefficients=csc_array(np.eye(3))),
         TypeError, "Linear coefficients must be a csr array with 2 dimensions."),
        (lambda e: e.LinearExpressionsArr(linear_coefficients=csr_array(np.eye(3)), constants=[0, 0, 0]),
         TypeError, "Constant must be a float or int number"),
    ])
    def test_constructors(self, debug, logged, construct, error, message):
        refused(error, message, logged, lambda: construct(debug.expression))

    def test_constructors_accept_numpy_numbers_and_sparse_parts(self, debug):
        debug.expression.LinearExpression(linear_coefficients=csr_array(np.ones(3)), constant=np.int32(2),
                                          quadratic_coefficients=csc_array(np.eye(3)))
        debug.expression.LinearExpressionsArr(linear_coefficients=csr_array(np.eye(3)), constants=np.ones(3))

    def test_vectors_and_dot(self, debug, logged):
        block = debug.expression.LinearExpressionsArr(linear_coefficients=csr_array(np.eye(3)))
        refused(FormulaError, "Expression smust have the same number of elements.", logged,
                lambda: block * np.ones(1))
        refused(FormulaError, "Expression smust have the same number of elements.", logged,
                lambda: block * np.ones((3, 1)))
        refused(TypeError, "Undefined type <class 'list'>", logged, lambda: block.dot([1, 2, 3]))
        refused(FormulaError, "One of the arguments must be of type 'LinearExpressionsArr', the other 'np.ndarray'",
                logged, lambda: debug.package.dot(np.ones(3), np.ones(3)))
        assert debug.package.dot(np.ones(3), block).constant == 0

    def test_without_debug_one_entry_scales_every_row_and_two_vectors_make_a_dot_product(self, plain):
        block = plain.expression.LinearExpressionsArr(linear_coefficients=csr_array(np.eye(3)))
        np.testing.assert_array_equal((block * np.array([2.0])).linear_coefficients.toarray(), 2 * np.eye(3))
        assert plain.package.dot(np.arange(3), np.arange(3)) == 5


class TestIndexChecks:
    @pytest.fixture
    def variables(self, debug):
        model = debug.model.LinearModel()
        line = model.get_variable("line", debug.model.VariableType.REAL, i=5)
        grid = model.get_variable("grid", debug.model.VariableType.REAL, i=2, j=3)
        return line, grid

    @pytest.mark.parametrize("pick, message", [
        (lambda line, grid: grid[1], "Variable can only have one index"),
        (lambda line, grid: grid[0:1], "Variable can only have one index"),
        (lambda line, grid: grid[0, 1, 2], "The dimension of the variable is 2, but 3 dimensions are obtained."),
        (lambda line, grid: line[np.array([1.0, 2.0])], "[1. 2.] is not a valid index"),
        (lambda line, grid: line[np.array([[1, 2]])], "[[1 2]] is not a valid index"),
        (lambda line, grid: grid[np.ones(6, dtype=bool)], "[ True  True  True  True  True  True] is not a valid index"),
        (lambda line, grid: line[0:7], "slice(0, 7, None) is not a valid index"),
        (lambda line, grid: line[-9:], "slice(-9, None, None) is not a valid index"),
        (lambda line, grid: grid[0, 0:4], "slice(0, 4, None) is not a valid index"),
        (lambda line, grid: line[5], "5 is not a valid index"),
    ])
    def test_refused_indexes(self, variables, pick, message, logged):
        refused(IndexError, message, logged, lambda: pick(*variables))

    def test_accepted_indexes(self, variables):
        line, grid = variables
        assert line[1:5].num_constraints == 4
        assert line[-5:].num_constraints == 5
        assert grid[1, 0:3].num_constraints == 3
        assert grid[np.ones((2, 3), dtype=bool)].num_constraints == 6


class TestModelChecks:
    @pytest.mark.parametrize("lower, upper", [(0, 10), (True, 5), (None, None)])
    def test_integer_bounds_that_pass(self, debug, lower, upper):
        model = debug.model.LinearModel()
        bounds = {} if lower is None else {"lower_bound": lower, "upper_bound": upper}
        model.get_variable("x", debug.model.VariableType.INTEGER, **bounds)

    @pytest.mark.parametrize("bounds", [{"lower_bound": 0.5}, {"upper_bound": 2.0}, {"lower_bound": np.int64(3)}])
    def test_integer_bounds_that_are_not_ints(self, debug, bounds, logged):
        model = debug.model.LinearModel()
        refused(ValueError, "For integer variables, the boundaries must be integers", logged,
                lambda: model.get_variable("x", debug.model.VariableType.INTEGER, **bounds))

    def test_integer_bounds_are_not_tested_without_debug(self, plain):
        plain.model.LinearModel().get_variable("x", plain.model.VariableType.INTEGER, 0.5, 2.0)

    # A row of the wrong kind would otherwise fail on an attribute it lacks, so
    # the kinds are checked with the switch off too.
    @pytest.mark.parametrize("switch", ["debug", "plain"])
    def test_constraint_and_target_types(self, request, switch, logged):
        modules = request.getfixturevalue(switch)
        model = modules.model.LinearModel()
        x = model.get_variable("x", modules.model.VariableType.REAL, i=3)
        model.add_target(x[0], minimization=False)
        refused(BuildError, "To add a constraint of type 'LinearExpressionsArr', the 'add_constraints' function is used.",
                logged, lambda: model.add_constraint(x[:]))
        refused(BuildError, "Unknown type <class 'int'>", logged, lambda: model.add_constraint(3))
        refused(BuildError, "To add a constraint of type 'LinearExpression', the 'add_constraint' function is used.",
                logged, lambda: model.add_constraints(x[0]))
        refused(BuildError, "Unknown type <class 'str'>", logged, lambda: model.add_constraints("x"))
        refused(BuildError, "Unknown type <class 'int'> for target", logged, lambda: model.add_target(3, True))
        assert model._linsolver_model.num_rows == 0
        assert model._linsolver_model._sense == modules.model.linsolver.ObjSense.kMaximize  # the target before

    def test_the_public_border_merge(self, debug, plain):
        with pytest.raises(BuildError, match="^The border is set twice$"):
            debug.model.LinearModel._set_border(1, 2)
        assert plain.model.LinearModel._set_border(1, 2) == 1
        assert plain.model.LinearModel._set_border(None, 2) == 2
