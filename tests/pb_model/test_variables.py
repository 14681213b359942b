import gc
import itertools

import numpy as np
import pytest

import vx_encoder.encode.variables as variables
from vx_encoder.encode.expressions import Expression, VariableProxy
from vx_encoder.encode.variables import Index, Variable


@pytest.fixture
def logged(monkeypatch):
    lines = []
    monkeypatch.setattr(variables, "log_e", lambda msg: lines.append(msg))
    return lines


@pytest.fixture
def x():
    """The two-dimensional variable of the worked example: sizes 3 and 4, first number 1."""
    return Variable("x", {"i": 3, "j": 4}, 1)


def test_index_text_defaults_to_its_name():
    assert (Index("i").name, Index("i").expression, str(Index("i"))) == ("i", "i", "i")
    assert (Index("i", None).expression, Index("i", "").expression, str(Index("i", ""))) == ("i", "", "")
    assert f"{Index('i', 'i + 1')}" == "i + 1"


# Index arithmetic written once, applied both to Index objects (giving a text)
# and to integers (giving the value that text must evaluate to).
INDEX_ARITHMETIC = [
    # one operator on a plain index: the texts users see most
    (lambda i, j: i + 1, "i + 1"),
    (lambda i, j: i - 1, "i - 1"),
    (lambda i, j: i + 2, "i + 2"),
    (lambda i, j: i - 2, "i - 2"),
    (lambda i, j: 3 * i, "3 * i"),
    (lambda i, j: i + 0, "i + 0"),
    (lambda i, j: i + -1, "i + -1"),
    (lambda i, j: i - -1, "i - -1"),
    (lambda i, j: -2 * i, "-2 * i"),
    (lambda i, j: i + j, "i + j"),
    (lambda i, j: i - j, "i - j"),
    (lambda i, j: i + (j + 1), "i + j + 1"),
    # composed: every term the user wrote is kept
    (lambda i, j: (i + 1) + 1, "i + 1 + 1"),
    (lambda i, j: (i + 1) - 1, "i + 1 - 1"),
    (lambda i, j: 2 * (i + 1), "2 * (i + 1)"),
    (lambda i, j: 2 * (i - 1), "2 * (i - 1)"),
    (lambda i, j: (2 * i) + 1, "2 * i + 1"),
    (lambda i, j: 3 * (2 * i), "3 * (2 * i)"),
    (lambda i, j: i + j + 1, "i + j + 1"),
    (lambda i, j: i - (j + 1), "i - (j + 1)"),
    (lambda i, j: i - (j - 1), "i - (j - 1)"),
    (lambda i, j: i - 2 * j, "i - 2 * j"),
    (lambda i, j: i + (j - 1), "i + j - 1"),
    (lambda i, j: 2 * (i + j) - 3 * (j - 1), "2 * (i + j) - 3 * (j - 1)"),
    # the integer on either side, and every operation the engine reads in an index text
    (lambda i, j: i * 2, "i * 2"),
    (lambda i, j: 1 + i, "1 + i"),
    (lambda i, j: 2 - i, "2 - i"),
    (lambda i, j: 2 - (i - j), "2 - (i - j)"),
    (lambda i, j: -i, "-i"),
    (lambda i, j: -(-i), "-(-i)"),
    (lambda i, j: -(i + 1), "-(i + 1)"),
    (lambda i, j: +i, "+i"),
    (lambda i, j: i * j, "i * j"),
    (lambda i, j: (i + 1) * -j, "(i + 1) * -j"),
    (lambda i, j: 2 ** i, "2 ** i"),
    (lambda i, j: (i + 1) ** 2, "(i + 1) ** 2"),
    (lambda i, j: i & 1, "i & 1"),
    (lambda i, j: 1 | i, "1 | i"),
    (lambda i, j: (i ^ j) + 1, "(i ^ j) + 1"),
    (lambda i, j: ~i, "~i"),
]


@pytest.mark.parametrize("arithmetic, text", INDEX_ARITHMETIC)
def test_index_text_is_the_arithmetic_written(arithmetic, text):
    i, j = Index("i"), Index("j")
    result = arithmetic(i, j)
    assert isinstance(result, Index)
    assert str(result) == text
    assert (str(i), str(j)) == ("i", "j")


@pytest.mark.parametrize("arithmetic, text", INDEX_ARITHMETIC)
def test_index_text_evaluates_over_integers_to_the_value_written(arithmetic, text):
    for a, b in itertools.product(range(-2, 4), repeat=2):
        assert eval(text, {"i": a, "j": b}) == arithmetic(a, b)


@pytest.mark.parametrize("arithmetic, text", INDEX_ARITHMETIC)
def test_index_text_evaluated_over_the_model_indexes_gives_itself_again(arithmetic, text):
    # The model names engine variables after the evaluated index texts, so
    # x(2 * i + 1) must come back as x(2 * i + 1).
    assert str(eval(text, {"i": Index("i"), "j": Index("j")})) == text


def test_index_groups_a_compound_text_given_as_a_string():
    i = Index("i")
    assert [str(k) for k in (i - "j + 1", "j + 1" * i, i + "j if j else 0")] == [
        "i - (j + 1)", "(j + 1) * i", "i + (j if j else 0)"]


def test_index_operator_result_keeps_the_name_of_its_index():
    i, j = Index("i"), Index("j")
    assert [(k.name, k.expression) for k in (i + 1, i - 1, 3 * i, i + j, (i + 1) + 1)] == [
        ("i", "i + 1"), ("i", "i - 1"), ("i", "3 * i"), ("i", "i + j"), ("i", "i + 1 + 1")]


@pytest.mark.parametrize("apply", [lambda i: i / 2, lambda i: i // 2, lambda i: i % 2, lambda i: 2 / i])
def test_index_operations_without_a_method_fail_in_the_host(apply):
    with pytest.raises(TypeError):
        apply(Index("i"))


@pytest.mark.parametrize("sizes, strides", [((3, 4), [4, 1]), ((2, 3, 4), [12, 4, 1]), ((5,), [1]), ((), []),
                                            ((2, 0, 3), [0, 3, 1])])
def test_strides_are_row_major(sizes, strides):
    variable = Variable("v", {f"d{k}": size for k, size in enumerate(sizes)}, 0)
    assert variable.shifts == strides


def test_variable_holds_the_dictionary_passed_in():
    dims = {"i": 3, "j": 4}
    variable = Variable("x", dims, 1)
    assert (variable.name, variable.indexes, variable.st_shift) == ("x", dims, 1)
    assert variable.indexes is dims


@pytest.mark.parametrize("values, number", [((0, 0), 1), ((1, 2), 7), ((2, 3), 12), ((True, 2), 7),
                                            ((False, True), 2)])
def test_call_numbers_cells_row_major(x, values, number, logged):
    assert x(*values) == number
    assert logged == []


@pytest.mark.parametrize("values, message", [
    ((1,), "variable x has 2 dimension(s), but 1 index value(s) are given"),
    ((1, 2, 0), "variable x has 2 dimension(s), but 3 index value(s) are given"),
    ((), "variable x has 2 dimension(s), but 0 index value(s) are given"),
    ((1, 2.0), "index value 2.0 of variable x must be an int, not float"),
    ((Index("i"), 0), "must be an int, not Index"),
    ((np.int64(1), 2), "must be an int, not int64"),
    (("1", 2), "index value '1' of variable x must be an int, not str"),
])
def test_call_refuses_values_that_do_not_fit_naming_them(x, values, message, logged):
    with pytest.raises(TypeError) as error:
        x(*values)
    assert str(error.value).endswith(message)
    assert logged == []


@pytest.mark.parametrize("values", [(3, 0), (0, 4), (-1, 0), (2, -1), (100, 100)])
def test_call_refuses_values_outside_the_dimensions(x, values, logged):
    # Unchecked, x(3, 0) would be 13: a cell of the next variable.
    with pytest.raises(IndexError) as error:
        x(*values)
    message = str(error.value)
    assert message == f"Index values ({values[0]},{values[1]}) are out of range for variable x with sizes (3,4)"
    assert logged == [message]


def test_type_errors_come_before_range_errors(x):
    with pytest.raises(TypeError):
        x(5, 2.0)


def test_call_of_a_variable_without_dimensions_is_its_first_number():
    assert Variable("z", {}, 9)() == 9


def _reference_map(name, sizes, first):
    cells = itertools.product(*(range(size) for size in sizes))
    return {f"{name}[{','.join(map(str, cell))}]": first + k for k, cell in enumerate(cells)}


def test_map_of_the_worked_example(x):
    mapping = x.map
    assert list(mapping.items())[:5] == [("x[0,0]", 1), ("x[0,1]", 2), ("x[0,2]", 3), ("x[0,3]", 4), ("x[1,0]", 5)]
    assert list(mapping.items())[-1] == ("x[2,3]", 12)
    assert len(mapping) == 12


@pytest.mark.parametrize("name, sizes, first", [
    ("x", (3, 4), 1),
    ("abc", (7, 11, 13), 100),  # digits change at different speeds
    ("w", (101, 12), 0),  # values cross 9 -> 10 and 99 -> 100
    ("v", (1, 1, 1, 1), 5),
    ("dummy_var", (1,), 0),
    ("z", (), 9),  # no dimension: one cell, key z[]
    ("e", (3, 0, 2), 4),  # an empty dimension: no cell
    ("e", (-1,), 4),
    ("größe", (2, 2), 3),  # keys are text, not bytes
])
def test_map_lists_every_cell_in_row_major_order(name, sizes, first):
    variable = Variable(name, {f"d{k}": size for k, size in enumerate(sizes)}, first)
    mapping = variable.map
    reference = _reference_map(name, sizes, first)
    assert list(mapping.items()) == list(reference.items())
    assert all(type(key) is str and type(value) is int for key, value in mapping.items())
    if mapping:
        assert all(variable(*(int(v) for v in key[len(name) + 1:-1].split(","))) == number
                   for key, number in mapping.items() if sizes)


def test_map_is_a_new_dictionary_at_every_read(x):
    first = x.map
    first["x[0,0]"] = -1
    assert x.map["x[0,0]"] == 1
    assert x.map is not x.map


def test_map_refuses_a_cell_count_that_does_not_fit():
    with pytest.raises(OverflowError):
        Variable("x", {"i": 2 ** 40, "j": 2 ** 40}, 0).map


def test_map_refuses_a_size_that_is_not_an_integer():
    with pytest.raises(TypeError):
        Variable("x", {"i": 2.5}, 0).map


def test_copy_computes_the_same_numbers_and_shares_nothing(x):
    duplicate = x.copy()
    assert type(duplicate) is Variable and duplicate is not x
    assert duplicate.indexes == x.indexes and duplicate.indexes is not x.indexes
    assert duplicate.shifts == x.shifts and duplicate.shifts is not x.shifts
    assert (duplicate.name, duplicate.st_shift) == (x.name, x.st_shift)
    assert duplicate.map == x.map
    assert [duplicate(a, b) for a in range(3) for b in range(4)] == [x(a, b) for a in range(3) for b in range(4)]
    duplicate.indexes["i"] = 1
    assert x.indexes == {"i": 3, "j": 4}


class _ShiftedIndex(Index):
    """An index of another class, with a text of its own: only an Index is read natively."""

    def __str__(self) -> str:
        return f"{self.expression} + 10"


OCCURRENCES = [
    ((Index("i"), Index("j")), "x(i,j)"),
    ((Index("i") + 1, 2 * Index("j")), "x(i + 1,2 * j)"),
    ((0, 3), "x(0,3)"),
    (Index("i"), "x(i)"),
    (Index("i") - 1, "x(i - 1)"),
    (0, "x(0)"),
    (-4, "x(-4)"),
    ([1, 2], "x(1,2)"),
    ([Index("i"), 2], "x(i,2)"),
    ("ij", "x(i,j)"),
    ((), "x()"),
    ((0,), "x(0)"),
    (range(2), "x(0,1)"),
    ((5, 7, 9), "x(5,7,9)"),  # neither the number nor the values are checked here
    (2 * (Index("i") + 1), "x(2 * (i + 1))"),
    # Integer values as the host writes them, at and past 64 bits.
    ((-1, 12), "x(-1,12)"),
    ((-2**63, 2**63 - 1), f"x({-2**63},{2**63 - 1})"),
    ((2**64, -2**63 - 1), f"x({2**64},{-2**63 - 1})"),
    ((2**64, Index("j")), f"x({2**64},j)"),
    ((-3, 2 * Index("j")), "x(-3,2 * j)"),
    ((True, 2), "x(True,2)"),
    ((True, Index("j")), "x(True,j)"),
    (True, "x(True)"),
    ((np.int64(2), 3), "x(2,3)"),
    ((np.int64(2), Index("j")), "x(2,j)"),
    (np.int64(2), "x(2)"),
    ((1, Index("j")), "x(1,j)"),
    ((Index("ξ"), 1), "x(ξ,1)"),
    ((Index("i", ""), 2), "x(,2)"),
    ((_ShiftedIndex("i"), 1), "x(i + 10,1)"),
    (_ShiftedIndex("i"), "x(i + 10)"),
]


@pytest.mark.parametrize("items, text", OCCURRENCES)
def test_indexing_writes_an_occurrence(x, items, text):
    occurrence = x[items]
    assert type(occurrence) is VariableProxy and isinstance(occurrence, Expression)
    assert (str(occurrence), repr(occurrence), occurrence.name, occurrence.soft) == (text, text, text, True)


class _ModelOccurrence(VariableProxy):
    """The kind of occurrences a model gives its variables."""
    __slots__ = ()


@pytest.mark.parametrize("items, text", OCCURRENCES)
def test_indexing_makes_what_the_hosts_road_makes(x, items, text):
    # Whichever road __getitem__ takes, its occurrence is the one _occurrence_of makes.
    x._occurrence_type = _ModelOccurrence
    native, host = x[items], x._occurrence_of(items)
    assert (type(native), native._expr, gc.is_tracked(native)) == (type(host), host._expr, gc.is_tracked(host))
    assert (type(native), native._expr, gc.is_tracked(native)) == (_ModelOccurrence, text, False)
    assert type(native._expr) is str


def _index_without_text() -> Index:
    index = Index("i")
    del index.expression
    return index


@pytest.mark.parametrize("items", [lambda: (_index_without_text(), 1), lambda: (1, _index_without_text()),
                                   lambda: _index_without_text()])
def test_indexing_raises_what_the_hosts_road_raises(x, items):
    with pytest.raises(AttributeError) as native:
        x[items()]
    with pytest.raises(AttributeError) as host:
        x._occurrence_of(items())
    assert str(native.value) == str(host.value) == "'Index' object has no attribute 'expression'"


@pytest.mark.parametrize("name", ["y", "ξ", "x_1"])
def test_indexing_names_the_variable_as_it_is_named_now(x, name):
    x.name = name
    assert str(x[0, 1]) == f"{name}(0,1)" and str(x[Index("i")]) == f"{name}(i)"


def test_indexing_twice_gives_two_occurrences_with_one_text(x):
    i, j = Index("i"), Index("j")
    first, second = x[i, j], x[i, j]
    assert first is not second and str(first) == str(second) == "x(i,j)"


def test_occurrence_of_composed_index_evaluates_to_the_cell_written(x):
    # The clause assembly evaluates occurrences with integers bound to the index names.
    i, j = Index("i"), Index("j")
    occurrence = x[2 * (i - 1), j + 1 - 1]
    assert str(occurrence) == "x(2 * (i - 1),j + 1 - 1)"
    assert eval(str(occurrence), {"x": x, "i": 2, "j": 3}) == x(2, 3)
