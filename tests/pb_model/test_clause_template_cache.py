"""Constraints of one shape are read once by the engine: a model built
through the cache writes exactly the CNF it writes when every text is read."""

import pytest

import halvex.kelvo_engine as ke
from vx_encoder import _exceptions, _vx_native as native
from vx_encoder.encode.expressions import Implication, SumIt
from vx_encoder.encode.model import Model

N = 5

# Each case states constraints of few shapes over different cells: in other
# orders, with cells repeated, over two variables, where the cell order
# decides which literal an encoder's clause names first; with the count of
# its shapes.
SHAPES = {
    "at most one along lines": lambda x, y: [SumIt([x[r, c] for r, c in line]) <= 1 for line in (
        [(0, 0), (1, 1), (2, 2)], [(2, 0), (1, 1), (0, 2)], [(4, 4), (0, 0), (3, 1)], [(0, 1), (1, 2), (2, 3)])],
    "exactly two with a cell repeated": lambda x, y: [SumIt([x[a], x[b], x[a], x[c]]) == 2 for a, b, c in (
        ((0, 0), (0, 1), (0, 2)), ((3, 3), (1, 0), (4, 2)), ((2, 2), (2, 1), (2, 0)))],
    "a repeated cell against distinct cells": lambda x, y: [SumIt([x[a], x[b]]) <= 1 for a, b in (
        ((0, 0), (0, 0)), ((0, 0), (1, 1)), ((1, 1), (1, 1)), ((2, 2), (3, 3)))],
    "a constraint that always holds": lambda x, y: [Implication(x[a], x[b]) for a, b in (
        ((0, 0), (0, 1)), ((2, 2), (2, 2)), ((3, 3), (3, 3)), ((1, 0), (0, 1)))],
    "weighted sums over two variables": lambda x, y: [SumIt([3 * x[a], 2 * y[b], x[c]]) >= 3 for a, b, c in (
        ((0, 0), (1,), (0, 1)), ((4, 4), (0,), (2, 3)), ((1, 0), (2,), (0, 0)))],
    "connectives": lambda x, y: [Implication(x[a] & ~y[b], x[c] | y[d]) for a, b, c, d in (
        ((0, 0), (0,), (1, 1), (2,)), ((3, 1), (4,), (0, 2), (1,)), ((2, 2), (1,), (4, 4), (3,)))],
}
SHAPE_COUNTS = {"a repeated cell against distinct cells": 2, "a constraint that always holds": 2}


def without_shapes_read(model):
    """The model's variables in a new assembler, which has read no shape."""
    assembler = native.ConstraintAssembler()
    for name, variable in model._variables.items():
        assembler.add_variable(name, list(variable.indexes.values()), variable.st_shift)
    model._constraint_assembler = assembler


def build(shape, cached: bool):
    model = Model(ke.manager(), "shapes")
    x = model.create_variables("x", i=N, j=N)
    y = model.create_variables("y", k=N)
    for constraint in SHAPES[shape](x, y):
        if not cached:
            without_shapes_read(model)
        model.add_constraint(constraint)
    assert model.build_cnf() is True
    return model


@pytest.mark.parametrize("shape", SHAPES)
def test_a_model_read_through_the_cache_has_the_cnf_read_text_by_text(shape):
    cached = build(shape, True)
    read = build(shape, False)
    assert cached.get_cnf_storage().get_hard_clauses() == read.get_cnf_storage().get_hard_clauses()
    assert cached.get_var_mapping().get_var_map() == read.get_var_mapping().get_var_map()
    # Each shape was read once and served the other constraints.
    assert len(cached._constraint_assembler) == SHAPE_COUNTS.get(shape, 1)


def test_a_cell_out_of_range_is_refused_in_a_shape_read_before():
    model = Model(ke.manager(), "range")
    x = model.create_variables("x", i=N, j=N)
    model.add_constraint(SumIt([x[0, 0], x[1, 1]]) <= 1)
    with pytest.raises(IndexError):
        model.add_constraint(SumIt([x[0, 0], x[1, N]]) <= 1)


def test_a_contradiction_is_refused_in_a_shape_read_before():
    model = Model(ke.manager(), "contradiction")
    x = model.create_variables("x", i=N, j=N)
    for cells in ([x[0, 0], x[0, 1]], [x[1, 0], x[1, 1]]):
        with pytest.raises(_exceptions.FormulaError, match="Contradiction"):
            model.add_constraint(SumIt(cells) >= 3)
    model.add_constraint(SumIt([x[2, 0], x[2, 1]]) >= 1)
    assert model.build_cnf() is True
    assert model.get_cnf_storage().get_hard_clauses() == [[11, 12]]
