import os

import numpy as np
import pytest
from pysat.formula import CNF

import halvex.kelvo_engine as ke
from file_names import FORMS, named_with_nul


def storage_with(hard=(), soft=()):
    storage = ke.wcnf_storage()
    for clause in hard:
        storage.add_hard_clause(clause)
    for clause, weight in soft:
        storage.add_soft_clause(clause, weight)
    return storage


def parse_weighted_text(text):
    """Hard clauses and (clause, weight) pairs of the weighted format without a top line."""
    hard, soft = [], []
    for line in text.splitlines():
        if not line or line.startswith("c"):
            continue
        head, *literals = line.split()
        assert literals[-1] == "0"
        clause = [int(literal) for literal in literals[:-1]]
        if head == "h":
            hard.append(clause)
        else:
            soft.append((clause, int(head)))
    return hard, soft


def test_cnf_round_trip_through_dimacs_text():
    clauses = [[1, -2], [3], [-1, 2, -3], []]
    storage = storage_with(hard=clauses)
    storage.set_model_name("queens")
    storage.set_variable_count(5)
    text = storage.to_dimacs()
    assert text.splitlines()[:2] == ["c queens", "p cnf 5 4"]
    assert CNF(from_string=text).clauses == clauses
    assert storage.get_hard_clauses() == clauses
    assert len(storage) == 4


def test_header_counts_what_is_stored():
    storage = storage_with(hard=[[1, -7]])
    storage.set_variable_count(3)
    storage.set_clause_count(10)
    assert "p cnf 7 1" in storage.to_dimacs()
    assert (storage.get_variable_count(), storage.get_clause_count()) == (3, 10)


def test_wcnf_round_trip_through_text():
    storage = storage_with(hard=[[1, 2], [-1]], soft=[([2], 5), ([-2, 3], 1)])
    storage.set_weight_limit(7)
    text = storage.to_dimacs()
    assert not any(line.startswith("p ") for line in text.splitlines())
    assert parse_weighted_text(text) == ([[1, 2], [-1]], [([2], 5), ([-2, 3], 1)])
    assert storage.get_soft_clauses() == [([2], 5), ([-2, 3], 1)]
    assert storage.get_weight_limit() == 7


def test_write_dimacs_matches_text(tmp_path):
    storage = storage_with(hard=[[1, -2], [2]], soft=[([1], 3)])
    path = tmp_path / "model.wcnf"
    storage.write_dimacs(path)
    assert path.read_text() == storage.to_dimacs()


def test_write_dimacs_to_a_missing_folder_raises_os_error(tmp_path):
    with pytest.raises(OSError, match="cannot open"):
        storage_with(hard=[[1]]).write_dimacs(tmp_path / "missing" / "model.cnf")


def test_merge_appends_clauses_of_both_kinds():
    first = storage_with(hard=[[1]], soft=[([2], 4)])
    second = storage_with(hard=[[-1, 3]], soft=[([3], 1)])
    first.merge(second)
    assert first.get_hard_clauses() == [[1], [-1, 3]]
    assert first.get_soft_clauses() == [([2], 4), ([3], 1)]
    assert second.get_hard_clauses() == [[-1, 3]]
    first.merge(first)
    assert first.get_hard_clauses() == [[1], [-1, 3]] * 2
    assert first.get_soft_clauses() == [([2], 4), ([3], 1)] * 2


@pytest.mark.parametrize("dtype", [np.int32, np.int64, np.int16, np.uint32])
def test_bulk_add_from_flat_arrays(dtype):
    storage = storage_with(hard=[[5]])
    literals = np.array([1, 2, 3, 4, 5, 6], dtype=dtype)
    if np.issubdtype(dtype, np.signedinteger):
        literals[1] = -2
    storage.add_hard_clauses(literals, np.array([0, 3, 3, 6]))
    expected_second = [1, -2, 3] if np.issubdtype(dtype, np.signedinteger) else [1, 2, 3]
    assert storage.get_hard_clauses() == [[5], expected_second, [], [4, 5, 6]]


def test_bulk_add_of_many_clauses_matches_single_adds():
    rng = np.random.default_rng(7)
    literals = rng.integers(1, 50, size=3000) * rng.choice([-1, 1], size=3000)
    offsets = np.arange(0, 3001, 3)
    bulk = ke.wcnf_storage()
    bulk.add_hard_clauses(literals, offsets)
    single = storage_with(hard=literals.reshape(-1, 3).tolist())
    assert bulk.to_dimacs() == single.to_dimacs()


BAD_CLAUSES = [
    ([1, 0], ValueError, "literal 0"),
    ([1, 2.0], TypeError, "must be an integer"),
    ([True], TypeError, "must be an integer"),
    (["1"], TypeError, "must be an integer"),
    ([2**31], ValueError, "32-bit"),
    (5, TypeError, "iterable"),
    ("12", TypeError, "iterable"),
]


@pytest.mark.parametrize("clause, error, message", BAD_CLAUSES)
def test_bad_literals_are_refused_and_nothing_changes(clause, error, message):
    storage = storage_with(hard=[[1]], soft=[([2], 1)])
    before = storage.to_dimacs()
    with pytest.raises(error, match=message):
        storage.add_hard_clause(clause)
    with pytest.raises(error, match=message):
        storage.add_soft_clause(clause, 1)
    assert storage.to_dimacs() == before
    assert len(storage) == 2


@pytest.mark.parametrize("weight, error", [(-1, ValueError), (1.5, TypeError), ("2", TypeError)])
def test_bad_weights_are_refused_and_nothing_changes(weight, error):
    storage = storage_with(hard=[[1]])
    with pytest.raises(error):
        storage.add_soft_clause([1, 2], weight)
    assert storage.get_soft_clauses() == []


@pytest.mark.parametrize("literals, offsets, error", [
    ([1, 0, 2], [0, 3], ValueError),
    ([1, 2], [0, 3], ValueError),
    ([1, 2], [1, 2], ValueError),
    ([1, 2, 3], [0, 2, 1, 3], ValueError),
    ([1.0, 2.0], [0, 2], TypeError),
    ([2**40], [0, 1], ValueError),
])
def test_bad_bulk_input_is_refused_and_nothing_changes(literals, offsets, error):
    storage = storage_with(hard=[[1]])
    with pytest.raises(error):
        storage.add_hard_clauses(np.array(literals), np.array(offsets))
    assert storage.get_hard_clauses() == [[1]]


def test_prefatory_values_are_kept_in_order_and_not_written():
    storage = storage_with(hard=[[1, 2]])
    for value in (5, -3):
        storage.insert_prefatory_value(value)
    with pytest.raises(ValueError, match="prefatory value 0 is not a literal"):
        storage.insert_prefatory_value(0)
    assert storage.get_prefatory_values() == [5, -3]
    assert CNF(from_string=storage.to_dimacs()).clauses == [[1, 2]]


def test_new_storage_is_empty():
    storage = ke.wcnf_storage()
    assert len(storage) == 0
    assert storage.get_model_name() == ""
    assert storage.to_dimacs() == "p cnf 0 0\n"


@pytest.mark.parametrize("weight_dtype", [np.int64, np.uint64, np.uint32])
def test_bulk_soft_add_from_flat_arrays(weight_dtype):
    storage = storage_with(soft=[([9], 1)])
    storage.add_soft_clauses(np.array([1, -2, 3, 4], dtype=np.int32), np.array([0, 2, 2, 4], dtype=np.uint64),
                             np.array([5, 6, 7], dtype=weight_dtype))
    assert storage.get_soft_clauses() == [([9], 1), ([1, -2], 5), ([], 6), ([3, 4], 7)]
    assert (storage.get_hard_clause_count(), storage.get_soft_clause_count()) == (0, 4)


@pytest.mark.parametrize("literals, offsets, weights, error", [
    ([1, 2], [0, 1, 2], [3], ValueError),
    ([1, 2], [0, 2], [-3], ValueError),
    ([1, 0], [0, 2], [3], ValueError),
    ([np.iinfo(np.int32).min], [0, 1], [3], ValueError),
    ([1, 2], [0, 2], [1.5], TypeError),
])
def test_bad_bulk_soft_input_is_refused_and_nothing_changes(literals, offsets, weights, error):
    storage = storage_with(soft=[([1], 2)])
    with pytest.raises(error):
        storage.add_soft_clauses(np.array(literals, dtype=np.int32), np.array(offsets), np.array(weights))
    assert storage.get_soft_clauses() == [([1], 2)]


def test_removing_clauses_keeps_the_rest_in_order_and_recounts_variables():
    storage = storage_with(hard=[[1, -2], [3, 40], [-5], [6]], soft=[([7], 1), ([-80], 2), ([9], 3)])
    storage.remove_hard_clauses(1, 2)
    storage.remove_soft_clauses(1, 1)
    assert storage.get_hard_clauses() == [[1, -2], [6]]
    assert storage.get_soft_clauses() == [([7], 1), ([9], 3)]
    storage.remove_soft_clauses(0, 2)
    storage.remove_hard_clauses(2, 0)
    assert "p cnf 6 2" in storage.to_dimacs()


@pytest.mark.parametrize("first, count, error", [(3, 1, IndexError), (1, 3, IndexError), (-1, 1, ValueError)])
def test_removing_clauses_that_are_not_stored_is_refused(first, count, error):
    storage = storage_with(hard=[[1], [2], [3]])
    with pytest.raises(error):
        storage.remove_hard_clauses(first, count)
    assert storage.get_hard_clauses() == [[1], [2], [3]]


# Every line end of Python's str.splitlines.
LINE_ENDS = ["\n", "\r", "\r\n", "\v", "\f", "\x1c", "\x1d", "\x1e", "\x85", "\u2028", "\u2029"]


@pytest.mark.parametrize("end", LINE_ENDS, ids=[repr(end) for end in LINE_ENDS])
@pytest.mark.parametrize("weighted", [False, True], ids=["cnf", "wcnf"])
def test_every_part_of_a_model_name_stays_in_comment_lines(tmp_path, end, weighted):
    name = f"model{end}-1 0{end}{end}p cnf 9 9{end}"
    storage = storage_with(hard=[[1]], soft=[([2], 3)] if weighted else [])
    storage.set_model_name(name)
    path = tmp_path / "model.txt"
    storage.write_dimacs(path)
    with open(path, encoding="utf-8", newline="") as file:
        text = file.read()
    assert text == storage.to_dimacs()
    parts = name.splitlines()
    lines = text.splitlines()
    assert lines[:len(parts)] == ["c " + part for part in parts]
    assert lines[len(parts):] == (["h 1 0", "3 2 0"] if weighted else ["p cnf 1 1", "1 0"])
    # The oldest python-sat supported reads no "h" lines, so only the CNF goes back through a reader.
    if not weighted:
        assert CNF(from_file=str(path)).clauses == [[1]]


@pytest.mark.parametrize("form", FORMS)
def test_write_dimacs_takes_the_names_open_takes(tmp_path, form):
    path = tmp_path / "model.cnf"
    storage = storage_with(hard=[[1, -2]])
    storage.write_dimacs(FORMS[form](path))
    assert os.listdir(tmp_path) == ["model.cnf"]
    assert path.read_text() == storage.to_dimacs()


@pytest.mark.parametrize("as_bytes", [False, True], ids=["str", "bytes"])
def test_write_dimacs_refuses_a_name_with_nul_and_writes_nothing(tmp_path, as_bytes):
    with pytest.raises(ValueError, match="^embedded null byte$"):
        storage_with(hard=[[1]]).write_dimacs(named_with_nul(tmp_path, as_bytes))
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("path", [3, None, 2.5])
def test_write_dimacs_refuses_what_is_no_file_name(path):
    with pytest.raises(TypeError):
        storage_with(hard=[[1]]).write_dimacs(path)
