"""A user's typical mistakes in a pseudo-Boolean model are refused with a message
naming what is wrong, on both roads of a hard constraint's text; the formula
encoder refuses the same mistakes in its own words."""

import math
import re

import pytest

import halvex.kelvo_engine as ke
from vx_encoder import Model, Sum
from vx_encoder.encode.expressions import Expression

# Each mistake with the host's words, the engine reader's words (also the
# formula encoder's, after the constraint's number) and the formula encoder's
# error type: an operand of the wrong kind, a float as an index value
# included, is a TypeError on every road.
MISTAKES = [
    pytest.param(lambda x: x[0] | x[1, 1], "variable x has 2 dimension(s), but 1 index value(s) are given",
                 "variable x has 2 dimension(s), but 1 index value(s) are given at position", TypeError,
                 id="too few index values"),
    pytest.param(lambda x: x[0, 0, 1] | x[1, 1], "variable x has 2 dimension(s), but 3 index value(s) are given",
                 "variable x has 2 dimension(s), but 3 index value(s) are given at position", TypeError,
                 id="too many index values"),
    pytest.param(lambda x: x[0.5, 1] | x[1, 1], "index value 0.5 of variable x must be an int, not float",
                 "index value 0.5 of variable x must be an int, not float at position", TypeError,
                 id="an index value that is no integer"),
    pytest.param(lambda x: x[1, math.nan] | x[1, 1], "index value nan of variable x must be an int, not float",
                 "index value nan of variable x must be an int, not float at position", TypeError,
                 id="an index value that is not a number"),
    pytest.param(lambda x: x[-math.inf, 0] | x[1, 1], "index value -inf of variable x must be an int, not float",
                 "index value -inf of variable x must be an int, not float at position", TypeError,
                 id="an infinite index value"),
    pytest.param(lambda x: x[1e20, 0] | x[1, 1], "index value 1e+20 of variable x must be an int, not float",
                 "index value 1e+20 of variable x must be an int, not float at position", TypeError,
                 id="an index value written with an exponent"),
    pytest.param(lambda x: x[0, 0] * x[1, 1] <= 1,
                 "A term is multiplied by an integer only: x(0,0) * x(1,1) is not a pseudo-Boolean term",
                 "a product needs a number on one side, not a variable occurrence and a variable occurrence",
                 TypeError, id="a product of two cells"),
    pytest.param(lambda x: Sum(x[0, 0] <= 1) <= 1, "A pseudo-Boolean sum must hold terms only, not a Boolean formula",
                 "a member of Sum must be a pseudo-Boolean term, not a Boolean formula", TypeError,
                 id="a comparison inside a sum"),
    pytest.param(lambda x: Sum(x[0, 0] | x[1, 1]) >= 1,
                 "A pseudo-Boolean sum must hold terms only, not a Boolean formula",
                 "a member of Sum must be a pseudo-Boolean term, not a Boolean formula", TypeError,
                 id="a formula inside a sum"),
]


def model_of_two_dimensions(use_formula_encoder=False):
    model = Model(ke.manager(), "mistakes", use_formula_encoder=use_formula_encoder)
    return model, model.create_variables("x", i=2, j=2)


@pytest.mark.parametrize("mistake, host_words, engine_words, encoder_error", MISTAKES)
def test_a_mistake_is_refused_with_what_is_wrong(text_reading, log, mistake, host_words, engine_words,
                                                  encoder_error):
    """The engine reports an operand of the wrong kind itself; what it declines, the host words."""
    model, x = model_of_two_dimensions()
    reported_by_the_engine = text_reading == "engine reads the text" and encoder_error is TypeError
    words = engine_words if reported_by_the_engine else host_words
    with pytest.raises(TypeError, match=f"^{re.escape(words)}" + ("" if reported_by_the_engine else "$")):
        model.add_constraint(mistake(x))
        model.build_cnf()


@pytest.mark.parametrize("mistake, host_words, engine_words, encoder_error", MISTAKES)
def test_the_formula_encoder_refuses_the_same_mistakes(mistake, host_words, engine_words, encoder_error):
    model, x = model_of_two_dimensions(use_formula_encoder=True)
    with pytest.raises(encoder_error, match=f"^In hard constraint 0: {re.escape(engine_words)}"):
        model.add_constraint(mistake(x))
        model.build_cnf()


@pytest.mark.parametrize("use_formula_encoder", [False, True])
@pytest.mark.parametrize("name", [None, 5, b"bytes"])
def test_a_model_name_that_is_not_text_is_refused_at_once(log, use_formula_encoder, name):
    with pytest.raises(TypeError, match=f"^The model name must be text, not {re.escape(repr(name))}$"):
        Model(ke.manager(), name, use_formula_encoder=use_formula_encoder)
    assert [level for level, _ in log] == ["error"]


def test_a_term_times_an_integer_expression_still_weighs_it():
    model, x = model_of_two_dimensions()
    assert isinstance(3 * x[0, 0], Expression)
    model.add_constraint(Sum(2 * x[0, 0] + x[1, 1]) >= 3)
    assert model.build_cnf()
    assert model.get_cnf_storage().get_hard_clauses() == [[1], [4]]
