"""An expression that holds another model's variables is refused, naming them,
whatever operator or builder carried them in and on both paths; a model's own
expressions, and those of no model, are taken as before."""

import copy
import pickle
import re
import subprocess
import sys

import pytest

import halvex.kelvo_engine as ke
from vx_encoder import (And, AndIt, Equiv, IfThenElse, Implication, Model, One, Or, OrIt, Sum, SumIt, Xor, XorIt,
                        pow_expression)
from vx_encoder._exceptions import VariableError


@pytest.fixture(params=[False, True], ids=["clause assembly", "formula encoder"])
def two_models(request):
    """This model and another, both with a variable `cell` of the same shape; the other also has `y`."""
    this = Model(ke.manager(), "this", use_formula_encoder=request.param)
    other = Model(ke.manager(), "other", use_formula_encoder=request.param)
    cell = this.create_variables("cell", i=2, j=2)
    other_cell = other.create_variables("cell", i=2, j=2)
    y = other.create_variables("y", k=2)
    return this, cell, other_cell, y


FOREIGN = [
    pytest.param(lambda cell, other, y: other[0, 0] | cell[1, 1], "cell", id="or"),
    pytest.param(lambda cell, other, y: cell[1, 1] & other[0, 0], "cell", id="and"),
    pytest.param(lambda cell, other, y: cell[1, 1] ^ other[0, 0], "cell", id="xor"),
    pytest.param(lambda cell, other, y: ~other[0, 0], "cell", id="not"),
    pytest.param(lambda cell, other, y: cell[0, 1] + 2 * other[0, 0] <= 1, "cell", id="weighted sum"),
    pytest.param(lambda cell, other, y: cell[0, 1] - other[0, 0] >= 0, "cell", id="difference"),
    pytest.param(lambda cell, other, y: pow_expression(2, 1) * other[0, 0] <= 1, "cell", id="power times a cell"),
    pytest.param(lambda cell, other, y: SumIt([cell[0, 0], other[1, 1], cell[0, 1]]) == 1, "cell", id="SumIt"),
    pytest.param(lambda cell, other, y: AndIt([cell[0, 0], ~other[1, 1]]), "cell", id="AndIt"),
    pytest.param(lambda cell, other, y: OrIt([One, y[0]]), "y", id="OrIt"),
    pytest.param(lambda cell, other, y: XorIt([cell[0, 0] | cell[1, 0], y[1]]), "y", id="XorIt"),
    pytest.param(lambda cell, other, y: Sum(other[0, 0] + cell[1, 1], i=range(1)) <= 1, "cell", id="Sum"),
    pytest.param(lambda cell, other, y: And(other[0, 0], i=range(2)), "cell", id="And"),
    pytest.param(lambda cell, other, y: Or(y[0], i=range(2)) | cell[0, 0], "y", id="Or"),
    pytest.param(lambda cell, other, y: Xor(y[1], i=range(2)), "y", id="Xor"),
    pytest.param(lambda cell, other, y: Equiv(cell[0, 0], cell[0, 1], other[1, 1]), "cell", id="Equiv"),
    pytest.param(lambda cell, other, y: Implication(cell[0, 0], y[1]), "y", id="Implication"),
    pytest.param(lambda cell, other, y: IfThenElse(cell[0, 0], One, other[1, 1]), "cell", id="IfThenElse"),
]


@pytest.mark.parametrize("make, name", FOREIGN)
def test_a_constraint_with_another_models_variables_is_refused_naming_them(two_models, log, make, name):
    this, cell, other_cell, y = two_models
    with pytest.raises(VariableError, match=f"^The constraint holds variables of another model: {name} of model other;"):
        this.add_constraint(make(cell, other_cell, y))
    assert [level for level, _ in log].count("error") == 1
    this.add_constraint(cell[0, 0] | cell[1, 1])   # nothing changed: the model still builds its own
    assert this.build_cnf()
    assert "cell[1,1]" in this.get_var_mapping().get_var_map()


def test_a_target_and_a_soft_constraint_with_another_models_variables_are_refused(two_models):
    this, cell, other_cell, y = two_models
    with pytest.raises(VariableError, match=re.escape("The target holds variables of another model: y of model other")):
        this.add_target(SumIt([cell[0, 0], y[0]]))
    with pytest.raises(VariableError, match="^The constraint holds variables of another model: cell of model other;"):
        this.add_soft_constraint(other_cell[0, 0], weight=2)


def test_the_models_own_expressions_and_those_of_no_model_are_taken(two_models):
    this, cell, _, _ = two_models
    i, j = this.get_indexes(["i", "j"])
    this.add_constraint(Sum(cell[i, j], j=range(2)) == 1, i=range(2))
    this.add_constraint(SumIt([cell[0, 0], cell[1, 1]]) + pow_expression(2, 0) * cell[0, 1] <= 2)
    this.add_constraint(One | cell[0, 0])
    this.add_constraint(Implication(cell[0, 0], ~cell[1, 0]) & IfThenElse(cell[1, 1], One, cell[0, 1]))
    assert this.build_cnf()


COPIES = [
    pytest.param(copy.copy, id="copy"),
    pytest.param(copy.deepcopy, id="deepcopy"),
    pytest.param(lambda expression: pickle.loads(pickle.dumps(expression)), id="pickle"),
]


@pytest.mark.parametrize("duplicate", COPIES)
def test_a_copy_of_an_expression_belongs_to_the_model_of_the_original(two_models, duplicate):
    this, cell, other_cell, _ = two_models
    i, j = this.get_indexes(["i", "j"])
    this.add_constraint(duplicate(cell[0, 0] | cell[1, 1]))
    this.add_constraint(duplicate(Sum(cell[i, j], j=range(2)) <= 1), i=range(2))
    this.add_constraint(duplicate(cell[0, 1]))
    this.add_soft_constraint(duplicate(cell[1, 0] + cell[0, 0]), weight=2)
    assert this.build_wcnf()
    with pytest.raises(VariableError, match="^The constraint holds variables of another model: cell of model other;"):
        this.add_soft_constraint(duplicate(other_cell[0, 0] + cell[1, 0]))
    with pytest.raises(VariableError, match="^The constraint holds variables of another model: cell of model other;"):
        this.add_soft_constraint(duplicate(other_cell[1, 1]))


def test_a_pickled_expression_read_where_its_model_does_not_live_is_no_models_own(two_models):
    this, cell, _, _ = two_models
    pickled = pickle.dumps(cell[0, 0] | cell[1, 1])
    # Another process's model of the same name and variables is another model.
    reader = (
        "import pickle, sys\n"
        "import halvex.kelvo_engine as ke\n"
        "from vx_encoder import Model\n"
        "from vx_encoder._exceptions import VariableError\n"
        "model = Model(ke.manager(), 'this', use_formula_encoder=sys.argv[1] == 'True')\n"
        "model.create_variables('cell', i=2, j=2)\n"
        "try:\n"
        "    model.add_constraint(pickle.loads(sys.stdin.buffer.read()))\n"
        "except VariableError as error:\n"
        "    print(error)\n"
    )
    result = subprocess.run([sys.executable, "-c", reader, str(this._use_formula_encoder)], input=pickled,
                            capture_output=True, check=True)
    assert result.stdout.decode().startswith("The constraint holds variables of another model: cell of model this;")
