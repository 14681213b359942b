"""The engine's native reading of a hard constraint's text into a clause
template, and the model's use of it; whether the clauses mean what the text
says is checked by enumeration in test_model.py, on this road and the host's."""

import re

import pytest

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.pbct as pb
from vx_encoder.encode.expressions import Sum, SumIt
from vx_encoder.encode.model import Model

from native_readings import recorded_readings

X = [("x", [3, 4])]


@pytest.fixture
def config():
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    return config


CELL, OCCURRENCE, PBCT, BXPR = range(4)


@pytest.mark.parametrize("variables, position, cell", [
    (X, 0, 12),                                   # without first numbers: x counts from 1
    ([("y", [2], 0), ("x", [3, 4], 10)], 1, 21),  # x(2,3) is 10 + 2 * 4 + 3
])
def test_a_text_is_read_into_the_structure_of_its_literals(config, variables, position, cell):
    text = "bx.or_s([~x(i,j).to_bx(), x(2 * i - j + 1,0).to_bx(), x(2,3).to_bx()])"
    kinds, values, forms, form_ends, literals, ends, pbct, bxpr, never_holds = ke.read_clause_template(
        text, ["i", "j"], variables, config)
    assert kinds.tolist() == [OCCURRENCE, OCCURRENCE, CELL] and values.tolist() == [position, position, cell]
    # Per dimension a constant, then the coefficients of i and j.
    assert forms.tolist() == [0, 1, 0, 0, 0, 1, 1, 2, -1, 0, 0, 0] and form_ends.tolist() == [6, 12, 12]
    assert literals.tolist() == [-1, 2, 3] and ends.tolist() == [3]
    assert (pbct, bxpr, never_holds) == (0, 0, False)


def test_each_cell_is_numbered_as_the_model_numbers_it_read_or_served_by_the_cache(config):
    # y(0), y(1), x from 3: 3 + 4 * row + column, z from 15; auxiliaries are no cells.
    variables = [("y", [2], 1), ("x", [3, 4], 3), ("z", [2, 3, 4], 15)]
    cache = ke.clause_template_cache()
    cells = [(0, 1), (2, 3), (1, 0), (2, 2), (0, 0), (1, 3)]
    for first in range(0, len(cells), 2):  # one shape: read once, then served
        (a, b), (c, d) = cells[first:first + 2]
        text = (f"bx.or_s([FormulaPB(Sum(*[x({a},{b}).to_pb(), x({c},{d}).to_pb(), y(1).to_pb()]), "
                f"pb.Comparator_type.LEQ, 1).to_bx(manager), ~y(0).to_bx(), z({a % 2},{b % 3},{d}).to_bx()])")
        kinds, values, *_ = ke.read_clause_template(text, [], variables, config, cache)
        expected = {3 + 4 * a + b, 3 + 4 * c + d, 1, 2, 15 + 12 * (a % 2) + 4 * (b % 3) + d}
        assert sorted(values[kinds == CELL].tolist()) == sorted(expected)
    assert len(cache) == 1


def reading_of(text, variables, config, cache, index_names=()):
    """The reading as plain values, or the refusal's type and message."""
    try:
        read = ke.read_clause_template(text, list(index_names), variables, config, cache)
    except (TypeError, ValueError) as refusal:
        return type(refusal), str(refusal)
    return read if isinstance(read, str) else [getattr(part, "tolist", lambda: part)() for part in read]


# Texts alike but for their cells, read in turn: a later one may be served
# only where it differs from an earlier one in constant cell calls alone.
LOOK_ALIKES = [
    "bx.or_s([xx(0,1).to_bx(), x(1,2).to_bx()])",
    "bx.or_s([xx(1,1).to_bx(), x(0,2).to_bx()])",  # xx is no cell of x
    "bx.or_s([x(0, 1).to_bx(), x(0,1).to_bx()])",
    "bx.or_s([x(2, 1).to_bx(), x(0,1).to_bx()])",  # blanks within a call
    "bx.or_s([x(1,1).to_bx(), ~x(1,1).to_bx()])",
    "bx.or_s([x(2,1).to_bx(), ~x(0,1).to_bx()])",
    "bx.or_s([x(0,1).to_bx(), x(1,9).to_bx()])",
    "bx.or_s([x(0,1).to_bx(), x(1,2).to_bx(), '#0:0;'])",
    "bx.or_s([x(0,1).to_bx(), x(1,2).to_bx(), 'x(0,1)'])",
    "bx.or_s([x(0,1).to_bx(), x(0,0).to_bx()]) # x(1,2)",
]


def test_a_text_read_through_the_cache_reads_as_it_reads_alone(config):
    variables = [("x", [3, 4], 1), ("xx", [2, 2], 13)]
    cache = ke.clause_template_cache()
    for text in LOOK_ALIKES:
        assert reading_of(text, variables, config, cache) == reading_of(text, variables, config, None), text


# Texts whose calls take constants beside indexes, read in turn: the
# constants of such a call are the shape's parameters, equal values one
# parameter, so that each edge of a graph over its colours is read once.
INDEXED_LOOK_ALIKES = [
    ("bx.or_s([~(x(1,c).to_bx()), ~(x(2,c).to_bx())])", 1),
    ("bx.or_s([~(x(2,c).to_bx()), ~(x(0,c).to_bx())])", 1),
    ("bx.or_s([~(x(2,c).to_bx()), ~(x(2,c).to_bx())])", 2),  # one value: another shape
    ("bx.or_s([x(1,c).to_bx(), ~x(1,c).to_bx()])", 3),  # always holds
    ("bx.or_s([x(0,c).to_bx(), ~x(0,c).to_bx()])", 3),
    ("bx.or_s([x(1, i + 1).to_bx(), x(2,3).to_bx(), x(2 * i - c, 0).to_bx()])", 4),
    ("bx.or_s([x(0, i + 1).to_bx(), x(1,3).to_bx(), x(2 * i - c, 3).to_bx()])", 4),
    ("bx.or_s([x(2, i + 1).to_bx(), x(2,3).to_bx(), x(2 * i - c, 2).to_bx()])", 5),  # a cell shares a value
    ("FormulaPB(Sum(*[x(1,c).to_pb(), x(2,c).to_pb(), x(i,0).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)", 6),
    ("FormulaPB(Sum(*[x(2,c).to_pb(), x(1,c).to_pb(), x(i,0).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)", 6),
    ("FormulaPB(Sum(*[x(1,c).to_pb(), x(1,c).to_pb(), x(i,0).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager)", 7),
    ("bx.or_s([x(3,c).to_bx(), x(1,c).to_bx()])", 7),  # 3 lies outside the dimension: read alone
    ("FormulaPB(Sum(*[x(1,j).to_pb() for j in range(0, 4)]), pb.Comparator_type.GEQ, 1).to_bx(manager)", 7),
    ("bx.or_s([x(1,c).to_bx(), xx(1,c).to_bx()])", 8),
    ("bx.or_s([x(0,c).to_bx(), xx(0,c).to_bx()])", 8),
]


def test_calls_with_constants_beside_indexes_are_served_as_they_read_alone(config):
    variables = [("x", [3, 4], 1), ("xx", [2, 4], 13)]
    cache = ke.clause_template_cache()
    for text, shapes in INDEXED_LOOK_ALIKES:
        alone = reading_of(text, variables, config, None, ["i", "c"])
        assert reading_of(text, variables, config, cache, ["i", "c"]) == alone, text
        assert len(cache) == shapes, text


def test_auxiliaries_are_numbered_within_their_kind(config):
    text = ("bx.or_s([FormulaPB(Sum(*[x(0,j).to_pb() for j in range(0, 4)]), pb.Comparator_type.LEQ, 1).to_bx(manager),"
            " bx.and_s([x(1,0).to_bx(), x(1,1).to_bx()])])")
    kinds, values, _, _, _, _, pbct, bxpr, _ = ke.read_clause_template(text, [], X, config)
    assert sorted(values[kinds == PBCT].tolist()) == list(range(pbct))
    assert sorted(values[kinds == BXPR].tolist()) == list(range(bxpr))
    assert pbct > 0 and bxpr > 0


@pytest.mark.parametrize("text, never_holds, clauses", [
    ("bx.zero()", True, 0),
    ("bx.one()", False, 0),
    ("bx.and_s([x(0,0).to_bx(), ~x(0,0).to_bx()])", True, 0),
])
def test_constant_constraints(config, text, never_holds, clauses):
    read = ke.read_clause_template(text, [], X, config)
    assert read[8] is never_holds and len(read[5]) == clauses


@pytest.mark.parametrize("text, index_names, reason", [
    ("x(3,0).to_bx()", ["i"], "out of range for variable x"),
    ("y(0).to_bx()", ["i"], "unknown name 'y'"),
    ("x(k,0).to_bx()", ["i"], "unknown name 'k'"),
    ("x(0,0).to_bx() |", ["i"], "position"),
    ("Sum(*[x(0,j).to_pb() for j in range(0, 2)])", ["i"], "must be a comparison or a Boolean formula"),
    ("bx.and_s([x(0,j).to_bx() for j in np.arange(2)])", ["i"], "the name np is the formula encoder's only"),
    ("bx.and_s([x(0,j).to_bx() for j in range(0, i)])", ["i"], "its shape depends on the index values"),
    ("FormulaPB(Sum(*[x(0,0).to_pb()]), pb.Comparator_type.LEQ, 9223372036854775808).to_bx(manager)", [],
     "out of the 64-bit range"),
    ("x(x,0).to_bx()", ["x"], "the index x shares its name with a variable"),
])
def test_texts_outside_the_grammar_are_left_to_the_host_with_the_reason(config, text, index_names, reason):
    declined = ke.read_clause_template(text, index_names, X, config)
    assert isinstance(declined, str) and reason in declined
    assert ke.read_clause_template(text, index_names, X, config, ke.clause_template_cache()) == declined


@pytest.mark.parametrize("text, reason", [
    ("x(0).to_bx()", "x has 2 dimension(s), but 1 index value(s) are given"),
    ("FormulaPB(2 * (~(x(0,0).to_bx())), pb.Comparator_type.GEQ, 1).to_bx(manager)",
     "a factor of '*' must be a pseudo-Boolean term, not a Boolean formula"),
    ("bx.and_s([x(0,0).to_bx(), x(0,1).to_pb() + x(0,2).to_pb()])",
     "a member of bx.and_s must be a Boolean formula, not a pseudo-Boolean sum"),
])
def test_an_operand_of_the_wrong_kind_is_refused_by_the_reader(config, text, reason):
    """No reader can read it: the host would refuse it too, naming the engine's types."""
    for cache in (None, ke.clause_template_cache()):
        with pytest.raises(TypeError, match=re.escape(reason) + " at position"):
            ke.read_clause_template(text, ["i"], X, config, cache)


def test_a_failure_other_than_the_grammar_surfaces(config):
    # Past max_clauses_per_constraint: the encoder's refusal, not the text's.
    config.max_clauses_per_constraint = 1
    text = "FormulaPB(Sum(*[x(0,j).to_pb() for j in range(0, 4)]), pb.Comparator_type.LEQ, 2).to_bx(manager)"
    with pytest.raises(ValueError, match="max_clauses_per_constraint"):
        ke.read_clause_template(text, [], X, config)


def test_model_reads_every_constraint_of_queens_natively(monkeypatch):
    results = recorded_readings(monkeypatch, "read_hard")
    model = Model(ke.manager(), "queens")
    x = model.create_variables("x", i=4, j=4)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(4)) == 1, i=range(4))
    model.add_constraint(Sum(x[i, j], i=range(4)) <= 1, j=range(4))
    model.add_constraint(SumIt([x[0, 1], x[1, 2], x[2, 3]]) <= 1)
    model.add_constraint(~(x[i, j] & x[i + 1, j + 1]), i=range(3), j=range(3))
    assert len(results) == 4 and not any(isinstance(result, str) for result in results)


def board_clauses(engine_reads: bool, monkeypatch) -> tuple:
    """Clauses and mapping of lines of constant cells over two variables, one
    created after the first constraint, read by the engine or by the host."""
    if not engine_reads:
        monkeypatch.delattr(ke, "read_clause_template")
    model = Model(ke.manager(), "lines")
    y = model.create_variables("y", k=3)
    x = model.create_variables("x", i=5, j=5)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(5)) == 1, i=range(5))
    z = model.create_variables("z", k=4)
    for shift in range(-3, 4):
        line = [x[row, row - shift] for row in range(5) if 0 <= row - shift < 5]
        model.add_constraint(SumIt(line + [z[abs(shift)], y[2]]) <= 1)
        model.add_constraint(SumIt([x[row, 4 - row] for row in range(abs(shift) + 1)]) >= 1)
    model.build_cnf()
    return model.get_cnf_storage().get_hard_clauses(), model.get_var_mapping().get_var_map()


def test_cells_numbered_by_the_reader_build_what_the_host_builds(monkeypatch):
    read = board_clauses(True, monkeypatch)
    assert read == board_clauses(False, monkeypatch) and len(read[0]) > 0


@pytest.mark.parametrize("variables, message", [
    ([["x", [2]]], "a variable must be given as (name, sizes) or (name, sizes, first number), not ['x', [2]]"),
    (["x"], "a variable must be given as (name, sizes) or (name, sizes, first number), not 'x'"),
    ([("x",)], "a variable must be given as (name, sizes) or (name, sizes, first number), not ('x',)"),
    ([(1, [2])], "a variable's name must be text, not 1"),
    ([("x", [2], "one")], "a variable's first number must be an integer"),
    (5, "the variables must be a sequence of (name, sizes) tuples, not 5"),
    ("x", "the variables must be a sequence of (name, sizes) tuples, not 'x'"),
])
def test_malformed_variables_are_refused_with_what_is_wrong(variables, message):
    with pytest.raises(TypeError, match=f"^{re.escape(message)}"):
        ke.read_clause_template("x(0).to_bx()", [], variables, ke.pbct.PBConfig())
