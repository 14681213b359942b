import dataclasses
import itertools
import random

import numpy as np
import pytest

import halvex.kelvo_engine as ke
from vx_encoder import _vx_native as native
from vx_encoder.core.dumper import DumpArgs, Dumper, One2OneDumper, reduce_ex
from vx_encoder.core.structured_clause_template import StructuredClauseTemplate
from vx_encoder.encode.variables import Variable

# The worked example's model: dummy_var holds 0, x(a, b) is 1 + 4a + b, 13 is free.
EXAMPLE_TEMPLATE = [["-x(i,1)", "'~_bxpr_aux_1'", "'_pbct_aux_0'"], ["'_bxpr_aux_0'", "x(i,2)"]]


def model_variables():
    return {"dummy_var": Variable("dummy_var", {"d": 1}, 0), "x": Variable("x", {"i": 3, "j": 4}, 1),
            "y": Variable("y", {"k": 5}, 13)}


def record(template, foralls=None, weights=None, num_formula=0, first=13, pb=1, bx=2, storage=True):
    return DumpArgs(template_constraint=template, weights=weights, foralls={} if foralls is None else foralls,
                    num_formula=num_formula, init_shift_variable=first, shift_pb_variable=pb,
                    shift_bx_variable=bx, offset_shift_for_formula=0,
                    eval_state={name: v.copy() for name, v in model_variables().items()},
                    cnf_stor=ke.wcnf_storage() if storage else None)


ENGINE_SHAPES = [("x", [3, 4], 1), ("y", [5], 13)]


def force_the_host_path(monkeypatch):
    """The host evaluates every template: the engine declines every literal
    text and the kernels every structured template, nothing checked ahead."""
    monkeypatch.setattr(ke, "read_literal_template", lambda *args, **kwargs: "declined")
    monkeypatch.setattr(native, "check_auxiliary_literals", lambda *args, **kwargs: None)
    monkeypatch.setattr(native, "compile_structured_template", lambda *args, **kwargs: None)


@pytest.fixture(params=["native", "host"])
def path(request, monkeypatch):
    """Runs a test on both paths."""
    if request.param == "host":
        force_the_host_path(monkeypatch)
    return request.param


def read_natively(texts, index_names, shapes=ENGINE_SHAPES):
    """Whether the engine reads the literal texts into a structured template."""
    return not isinstance(ke.read_literal_template(texts, index_names, shapes), str)


def dumped(args):
    mapping = One2OneDumper.dump([args])
    return mapping, args.cnf_stor.get_hard_clauses(), args.cnf_stor.get_soft_clauses()


# --- reduce_ex and the frame ---------------------------------------------------

def test_reduce_ex_merges_into_a_new_dictionary_last_value_winning():
    first, second = {"a": 1, "b": 2}, {"b": 3, "c": 4}
    merged = reduce_ex([first, second])
    assert list(merged.items()) == [("a", 1), ("b", 3), ("c", 4)]
    assert first == {"a": 1, "b": 2} and second == {"b": 3, "c": 4}
    single = reduce_ex([first])
    assert single == first and single is not first
    assert reduce_ex([]) == {}


def test_dump_args_needs_all_ten_fields():
    fields = dict(template_constraint=[], weights=None, foralls={}, num_formula=0, init_shift_variable=1,
                  shift_pb_variable=0, shift_bx_variable=0, offset_shift_for_formula=0, eval_state={},
                  cnf_stor=None)
    assert DumpArgs(**fields) == DumpArgs(*fields.values())
    for missing in fields:
        with pytest.raises(TypeError):
            DumpArgs(**{name: value for name, value in fields.items() if name != missing})


def test_dumper_is_abstract_and_its_dump_does_nothing():
    with pytest.raises(TypeError):
        Dumper()
    assert Dumper.dump([record(EXAMPLE_TEMPLATE)]) is None
    assert (Dumper._Dumper__BXPR_AUX, Dumper._Dumper__PBCT_AUX) == ("_bxpr_aux", "_pbct_aux")


def test_dump_of_nothing_and_of_a_record_without_storage():
    assert One2OneDumper.dump([]) == {}
    assert One2OneDumper.dump([record(EXAMPLE_TEMPLATE, {"i": range(2)}, storage=False)]) == {}


def test_later_record_wins_a_shared_key():
    first = record([["'_pbct_aux_0'"]], first=20, pb=1, bx=0)
    second = record([["'_pbct_aux_0'"]], first=30, pb=1, bx=0)
    assert One2OneDumper.dump([first, second]) == {"_pbct_aux[0,0,0]": 30}


# --- the worked example and numbering ----------------------------------------

def test_worked_example(path):
    mapping, hard, soft = dumped(record(EXAMPLE_TEMPLATE, {"i": range(0, 2)}))
    assert hard == [[-2, 13, -15], [3, 14], [-6, 16, -18], [7, 17]] and soft == []
    assert list(mapping.items()) == [("_bxpr_aux[0,0,1]", 15), ("_pbct_aux[0,0,0]", 13), ("_bxpr_aux[0,0,0]", 14),
                                     ("_bxpr_aux[0,1,1]", 18), ("_pbct_aux[0,1,0]", 16), ("_bxpr_aux[0,1,0]", 17)]


def test_worked_example_with_weights_4_and_0_drops_the_zero_weight_clause(path):
    _, hard, soft = dumped(record(EXAMPLE_TEMPLATE, {"i": range(0, 2)}, weights=[4, 0]))
    assert hard == [] and soft == [([-2, 13, -15], 4), ([-6, 16, -18], 4)]


@pytest.mark.parametrize("foralls, instances", [
    ({}, 1),
    ({"i": []}, 0),
    ({"i": [0, 1], "unused": [5, 6, 7]}, 6),
])
def test_instance_count_follows_the_foralls(path, foralls, instances):
    mapping, hard, _ = dumped(record([["x(i,0)", "'_pbct_aux_0'"]] if "i" in foralls else [["x(0,0)", "'_pbct_aux_0'"]],
                                     foralls, pb=1, bx=0))
    assert len(hard) == instances
    assert sorted(mapping.values()) == list(range(13, 13 + instances))


def test_first_index_is_outermost(path):
    mapping, hard, _ = dumped(record([["x(i,j)", "'_pbct_aux_0'"]], {"i": [0, 1], "j": [0, 1, 2]}, pb=1, bx=0))
    assert hard[3] == [5, 16]  # i = 1, j = 0 is instance k = 3
    assert mapping["_pbct_aux[0,3,0]"] == 16


def test_clause_sorted_by_absolute_literal_keeping_ties_in_order(path):
    # 5, -3, -5, 3 as variable numbers.
    _, hard, _ = dumped(record([["x(1,0)", "-x(0,2)", "-x(1,0)", "x(0,2)"]]))
    assert hard == [[-3, 3, 5, -5]]


def test_repeated_auxiliary_gets_one_number_and_one_entry(path):
    mapping, hard, _ = dumped(record([["'~_pbct_aux_1'", "x(i,0)"], ["'_pbct_aux_1'"]], {"i": [2]}, pb=2, bx=0))
    assert hard == [[9, -14], [14]]
    assert mapping == {"_pbct_aux[0,0,1]": 14}


def test_name_with_both_markers_is_a_pbct_auxiliary(path):
    mapping, hard, _ = dumped(record([["'_pbct_aux_bxpr_aux_2'"]], pb=3, bx=0))
    assert hard == [[15]] and mapping == {"_pbct_aux[0,0,2]": 15}


def test_surplus_weights_are_ignored(path):
    _, _, soft = dumped(record([["x(0,0)"]], weights=[2, 9, 9]))
    assert soft == [([1], 2)]


# --- refusals -----------------------------------------------------------------

@pytest.mark.parametrize("literal, message", [
    ("'foo'", "'foo' is neither a variable call nor an auxiliary name"),
    ("'_pbct_aux_1'", "'_pbct_aux_1' is outside its instance's block of 1 _pbct_aux variables"),
    ("'~_bxpr_aux_2'", "'~_bxpr_aux_2' is outside its instance's block of 2 _bxpr_aux variables"),
    ("'_bxpr_aux_x'", "does not end in a decimal number"),
])
def test_bad_literal_texts_are_refused_in_every_instance(path, literal, message):
    args = record([["x(i,0)", literal]], {"i": [0, 1]})
    with pytest.raises(ValueError, match=message):
        One2OneDumper.dump([args])


@pytest.mark.parametrize("literal, values", [("x(i + 1,0)", "(3,0)"), ("-x(0,i * 2)", "(0,4)"), ("y(i - 3)", "(-3)")])
def test_index_values_outside_the_dimensions_name_variable_values_and_constraint(path, literal, values):
    args = record([[literal]], {"i": [0, 1, 2]}, num_formula=7)
    with pytest.raises(IndexError) as raised:
        One2OneDumper.dump([args])
    assert f"Index values {values} are out of range for variable {literal.lstrip('-')[0]}" in str(raised.value)
    assert str(raised.value).endswith("in constraint 7")


def test_variable_number_zero_is_never_written(path):
    with pytest.raises(ValueError, match="variable number 0"):
        One2OneDumper.dump([record([["dummy_var(0)"]])])


@pytest.mark.parametrize("weights, error", [([1], IndexError), ([1, -2], ValueError), ([1, "2"], TypeError)])
def test_bad_weights_are_refused(path, weights, error):
    with pytest.raises(error):
        One2OneDumper.dump([record(EXAMPLE_TEMPLATE, {"i": [0]}, weights=weights)])


# --- foralls values -------------------------------------------------------------

@pytest.mark.parametrize("make_values", [
    lambda: np.array([0, 2]), lambda: iter([0, 2]), lambda: (v for v in [0, 2]),
    lambda: [np.int64(0), np.int32(2)], lambda: range(0, 3, 2),
], ids=["array", "iterator", "generator", "numpy-items", "range"])
def test_foralls_values_are_read_once_whatever_their_kind(path, make_values):
    _, hard, _ = dumped(record([["y(i)"]], {"i": make_values()}))
    assert hard == [[13], [15]]


@pytest.mark.parametrize("make_values", [
    lambda: [0, 1.5], lambda: ["0"], lambda: 3, lambda: np.array([0.0, 1.0]), lambda: np.zeros((2, 2), dtype=int),
    lambda: iter([0, 1.5]), lambda: (v for v in ["0"]),
])
def test_non_integer_foralls_values_are_refused(make_values):
    with pytest.raises(TypeError, match="Values of index i"):
        One2OneDumper.dump([record([["y(i)"]], {"i": make_values()})])


# --- the two paths agree ---------------------------------------------------------

def test_templates_outside_the_native_grammar_take_the_host_path():
    texts = [["x(abs(i - 1),0)", "-y(i ** 2)"], ["x(i // 2,3)", "'_pbct_aux_0'"]]
    assert not read_natively(texts, ["i"])
    _, hard, _ = dumped(record(texts, {"i": [0, 1, 2]}, first=20, pb=1, bx=0))
    assert hard == [[5, -13], [4, 20], [1, -14], [4, 21], [5, -17], [8, 22]]


def random_index_text(rng, names, depth=0):
    choice = rng.randrange(6 if depth < 2 else 2)
    if choice == 0:
        return str(rng.randrange(0, 3))
    if choice == 1:
        return rng.choice(names)
    left, right = random_index_text(rng, names, depth + 1), random_index_text(rng, names, depth + 1)
    if choice == 5:
        return f"-({left})"
    operator = rng.choice(["+", "-", "*"])
    text = f"{left}{' ' * rng.randrange(2)}{operator}{' ' * rng.randrange(2)}{right}"
    return f"({text})" if rng.random() < 0.5 else text


def in_range_index_text(rng, foralls):
    """Mostly texts whose values stay within 0..2 (inside every dimension),
    now and then one that may leave it."""
    names = list(foralls)
    for _ in range(50):
        text = random_index_text(rng, names)
        values = [eval(text, dict(zip(names, combination)))
                  for combination in itertools.product(*foralls.values())]
        if all(0 <= value <= 2 for value in values) or rng.random() < 0.02:
            return text
    return "0"


def random_literal(rng, foralls, pb, bx):
    kind = rng.randrange(4)
    if kind == 0 and pb + bx > 0:
        if rng.randrange(pb + bx) < pb:
            return f"'{rng.choice(['', '~'])}_pbct_aux_{rng.randrange(pb)}'"
        return f"'{rng.choice(['', '~'])}_bxpr_aux_{rng.randrange(bx)}'"
    sign = rng.choice(["", "-"])
    if kind == 1:
        return f"{sign}y({in_range_index_text(rng, foralls)})"
    return f"{sign}x({in_range_index_text(rng, foralls)},{in_range_index_text(rng, foralls)})"


def random_case(seed):
    rng = random.Random(seed)
    names = rng.sample(["a", "b", "c"], rng.randrange(1, 4))
    foralls = {name: rng.sample(range(3), rng.randrange(0 if rng.random() < 0.1 else 1, 4)) for name in names}
    pb, bx = rng.randrange(3), rng.randrange(3)
    template = [[random_literal(rng, foralls, pb, bx) for _ in range(rng.randrange(1, 5))]
                for _ in range(rng.randrange(1, 4))]
    weights = [rng.randrange(0, 3) for _ in template] if rng.random() < 0.3 else None
    return template, foralls, weights, pb, bx


def outcome(args):
    try:
        return "ok", dumped(args)
    except (IndexError, ValueError, TypeError) as error:
        return type(error), str(error)


@pytest.mark.parametrize("seed", range(80))
def test_native_and_host_paths_give_identical_results(seed, monkeypatch):
    template, foralls, weights, pb, bx = random_case(seed)

    def run():
        return outcome(record(template, foralls, weights, num_formula=seed, first=18, pb=pb, bx=bx))

    native_outcome = run()
    force_the_host_path(monkeypatch)
    assert run() == native_outcome


@pytest.mark.parametrize("text, native_grammar", [
    ("-x(i + 1,(j - 1) * 2)", True),
    ("x( 2*i - -j , +j )", True),
    ("  -  x(2 ** 1,~1 + 2)", True),
    ("x(True,*[0])", True),
    ("'~_bxpr_aux_0'", True),
    ('"_pbct_aux_0"', True),
    ("-x(i * j,0)", False),     # not affine
    ("~x(i,0)", False),         # the host's bitwise not of the number
    ("--x(i,0)", False),
    ("'_pbct_aux_bxpr_aux_2'", False),
    ("'_pbct\\x5faux_0'", False),
    ("'foo'", False),
    ("x(list(i),0)", False),    # a name of the model text, not of the host's evaluation
    ("x(2,0)", True),
    ("x(3,0)", False),          # outside the dimensions: the host words the refusal
    ("x(001,0)", False),        # no number to the host
    ("x(007,0)", False),
    ("x(1_0,0)", False),
    ("x(i,)", False),
    ("x(i ** 2,0)", False),
    ("x(i // 2,0)", False),
    ("x(abs(i),0)", False),
    ("x(i,j,0)", False),
    ("z(i)", False),
    ("x(k,0)", False),
    ("x(i)(0)", False),
    ("x(i,0) + x(j,0)", False),
])
def test_native_grammar(text, native_grammar):
    assert read_natively([[text]], ["i", "j"], [("x", [3, 4], 1)]) == native_grammar


@pytest.mark.parametrize("text, index_names, variable", [
    ("x(é + 1,0)", ["é"], "x"),
    ("-été(i,2 * ξ)", ["i", "ξ"], "été"),
])
def test_names_past_ascii_are_in_the_native_grammar(text, index_names, variable):
    assert read_natively([[text]], index_names, [(variable, [3, 4], 1)])


def test_index_named_like_a_variable_hides_it_as_on_the_host(path):
    with pytest.raises(TypeError):
        One2OneDumper.dump([record([["y(y)"]], {"y": [0, 1]})])


def test_index_arithmetic_beyond_64_bits_falls_back_to_the_host(path):
    args = record([["y(i * i * i - i * i * i)"]], {"i": [2 ** 40, 3]})
    _, hard, _ = dumped(args)
    assert hard == [[13], [13]]


# --- templates given as the engine's structure ---------------------------------

CELL, OCCURRENCE, PBCT, BXPR = range(4)


def split_arguments(inside):
    """The index texts of a call, split at the commas outside parentheses."""
    arguments, depth, begin = [], 0, 0
    for position, character in enumerate(inside):
        depth += {"(": 1, ")": -1}.get(character, 0)
        if character == "," and depth == 0:
            arguments.append(inside[begin:position])
            begin = position + 1
    return arguments + [inside[begin:]]


def affine_form(text, names):
    """[constant, coefficient per name] of an index text, or None when it is not affine."""
    def at(point):
        return eval(text, dict(zip(names, point)))
    constant = at([0] * len(names))
    coefficients = [at([int(m == n) for m in range(len(names))]) - constant for n in range(len(names))]
    rng = random.Random(text)
    for _ in range(6):
        point = [rng.randrange(-5, 6) for _ in names]
        if at(point) != constant + sum(c * v for c, v in zip(coefficients, point)):
            return None
    return [constant, *coefficients]


def literal_key(text, names, variables):
    """(kind, value, forms) of one literal text, or None when its index texts are not affine."""
    if text.startswith("'"):
        name = text.strip("'").lstrip("~")
        return PBCT if name.startswith("_pbct_aux") else BXPR, int(name.rpartition("_")[2]), ()
    variable, _, inside = text.lstrip("-").partition("(")
    forms = [affine_form(argument, names) for argument in split_arguments(inside[:-1])]
    if any(form is None for form in forms):
        return None
    if not any(any(form[1:]) for form in forms):
        try:
            return CELL, variables[variable](*(form[0] for form in forms)), ()
        except IndexError:
            pass  # outside the dimensions: refused as an occurrence is
    return OCCURRENCE, list(variables).index(variable), tuple(value for form in forms for value in form)


def structured_template(template, names):
    """The template as the engine's reader gives it, or None when an index text is not affine."""
    variables = model_variables()
    kinds, values, forms, form_ends, literals, ends, positions = [], [], [], [], [], [], {}
    for clause in template:
        for text in clause:
            key = literal_key(text, names, variables)
            if key is None:
                return None
            if key not in positions:
                positions[key] = len(kinds)
                kinds.append(key[0])
                values.append(key[1])
                forms.extend(key[2])
                form_ends.append(len(forms))
            reference = positions[key] + 1
            literals.append(-reference if text.startswith(("-", "'~")) else reference)
        ends.append(len(literals))
    return StructuredClauseTemplate(np.array(kinds, dtype=np.uint8), np.array(values, dtype=np.int64),
                                    np.array(forms, dtype=np.int64), np.array(form_ends, dtype=np.int64),
                                    np.array(literals, dtype=np.int32), np.array(ends, dtype=np.int64))


def shapes():
    return [(name, v.st_shift, list(v.indexes.values())) for name, v in model_variables().items()]


def affine_seeds(count):
    """Seeds of random cases whose index texts are all affine, as the engine's templates are."""
    return [seed for seed in range(count) if structured_template(random_case(seed)[0], list(random_case(seed)[1]))]


@pytest.mark.parametrize("case", [
    *affine_seeds(60),
    ([["x(2,3)", "-y(4)", "x(a,0)"], ["'_pbct_aux_0'", "-x(0,0)", "y(a)"]], {"a": [0, 2]}, None, 1, 0),
    ([["x(0,0)", "x(2,3)"]], {}, None, 0, 0),       # without foralls
    ([["dummy_var(0)", "-x(1,1)"]], {"a": [1]}, None, 0, 0),   # the cell numbered 0
    ([["x(a,5)", "y(a - 2)"]], {"a": [0, 1]}, None, 0, 0),     # outside the dimensions
    ([["y(a - 9223372036854775807)"]], {"a": [2 ** 63]}, None, 0, 0),   # a value past 64 bits
])
def test_a_structured_template_dumps_as_its_literal_texts(case, path):
    # The engine reads hard constraints only: no weights.
    template, foralls, _, pb, bx = random_case(case) if isinstance(case, int) else case
    weights = None
    structured = structured_template(template, list(foralls))

    def run(given):
        return outcome(record(given, foralls, weights, num_formula=3, first=18, pb=pb, bx=bx))

    assert run(structured) == run(template)
    assert run(structured.clause_texts(list(foralls), shapes())) == run(template)


def test_structured_literal_texts_are_written_as_the_host_reads_them():
    structured = structured_template([["-x(2 * a - b + 1,0)", "x(2,3)", "'~_bxpr_aux_1'", "y(-a)", "'_pbct_aux_0'"]],
                                     ["a", "b"])
    assert structured.clause_texts(["a", "b"], shapes()) == [
        ["-x(2 * a - b + 1,0)", "x(2,3)", "'~_bxpr_aux_1'", "y(-a)", "'_pbct_aux_0'"]]


ONE_CELL = dict(kinds=[CELL], values=[1], forms=[], form_ends=[0], literals=[1], ends=[1])


@pytest.mark.parametrize("change, message", [
    (dict(literals=[1, 2], ends=[2]), "names no variable"),
    (dict(literals=[0]), "names no variable"),
    (dict(literals=[1, -1], ends=[2, 1]), "must not decrease"),
    (dict(ends=[0]), "last clause"),
    (dict(values=[99]), "no cell of the variables"),
    (dict(kinds=[7]), "kind 7 is unknown"),
    (dict(kinds=[PBCT], values=[3]), "_pbct_aux_3"),
    (dict(kinds=[OCCURRENCE], values=[5], forms=[0, 1], form_ends=[2]), "names no variable"),
    (dict(kinds=[OCCURRENCE], values=[1], forms=[0, 1], form_ends=[2]), "one form per dimension"),
    (dict(form_ends=[1]), "last form"),
    (dict(values=[1, 2]), "one value"),
])
def test_a_structured_template_refuses_inconsistent_arrays(change, message):
    arrays = {**ONE_CELL, **change}
    dtypes = dict(kinds=np.uint8, literals=np.int32)
    given = [np.array(arrays[name], dtype=dtypes.get(name, np.int64))
             for name in ("kinds", "values", "forms", "form_ends", "literals", "ends")]
    with pytest.raises(ValueError, match=message):
        native.compile_structured_template(*given, 1, shapes(), 20, 1, 0)
