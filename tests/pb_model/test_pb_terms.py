import pytest

import halvex.kelvo_engine.pbct as pb
from vx_encoder.core.pboperations import AddOp, PBBaseOp, PBVariable, Sum

from engine_log_capture import debug_lines  # noqa: F401  (fixture)

a = PBVariable(1, "a(1)")
b = PBVariable(2, "b(1)")
c = PBVariable(3, "c(1)")
d = PBVariable(4, "d(1)")


def pairs_of_pb(term):
    return [(literal.number, literal.coefficient) for literal in term.to_pb()]


def test_leaves_are_listed_depth_first_left_to_right():
    term = 2 * (a + b) - Sum(c, d)
    assert isinstance(term, AddOp)
    assert isinstance(term.first_variable, AddOp) and isinstance(term.second_variable, Sum)
    expected = [(1, 2), (2, 2), (3, -1), (4, -1)]
    assert term.to_maxsat() == expected
    assert pairs_of_pb(term) == expected


@pytest.mark.parametrize("build, kind, expected", [
    (lambda: a + a, AddOp, [(1, 1), (1, 1)]),
    (lambda: a - a, AddOp, [(1, 1), (1, -1)]),
    (lambda: 0 * a, PBVariable, [(1, 0)]),
    (lambda: -(-PBVariable(1, "a(1)", 5)), PBVariable, [(1, 5)]),
    (lambda: 2 * (a - b), AddOp, [(1, 2), (2, -2)]),
    (lambda: 3 * Sum(a, 2 * b), Sum, [(1, 3), (2, 6)]),
    (lambda: -Sum(a, b - c), Sum, [(1, -1), (2, -1), (3, 1)]),
    (lambda: Sum(), Sum, []),
    (lambda: -Sum(), Sum, []),
    (lambda: 4 * Sum(), Sum, []),
    (lambda: Sum(Sum(a, b), c, Sum()), Sum, [(1, 1), (2, 1), (3, 1)]),
    (lambda: -2 * (a + (b - 3 * Sum(c, d))), AddOp, [(1, -2), (2, -2), (3, 6), (4, 6)]),
])
def test_terms_are_neither_merged_nor_simplified(build, kind, expected):
    term = build()
    assert type(term) is kind
    assert term.to_maxsat() == expected
    assert pairs_of_pb(term) == expected


def test_operations_build_new_terms_and_leave_operands_alone():
    x = PBVariable(1, "x(1)", 3)
    doubled = x + x
    assert doubled.first_variable is x and doubled.second_variable is x
    scaled = 2 * doubled
    negated = -doubled
    assert scaled.to_maxsat() == [(1, 6), (1, 6)]
    assert negated.to_maxsat() == [(1, -3), (1, -3)]
    assert x.coefficient == 3 and doubled.to_maxsat() == [(1, 3), (1, 3)]
    assert -x is not x and (-x).name == "x(1)" and (-x).pb_var == 1
    members = Sum(a, b)
    assert type((-members).variables) is tuple
    assert members.variables == (a, b)


def test_the_base_is_abstract():
    with pytest.raises(TypeError):
        PBBaseOp()


@pytest.mark.parametrize("operation", [
    lambda: a * 2,
    lambda: 1 + a,
    lambda: 1 - a,
    lambda: a * b,
    lambda: a <= 1,
    lambda: a >= 1,
    lambda: Sum(a) * Sum(b),
])
def test_refused_operators(operation):
    with pytest.raises(TypeError):
        operation()


def test_a_number_operand_is_accepted_and_fails_when_listed():
    term = a + 1
    assert repr(term).endswith(", 1)")
    for listing in (term.to_pb, term.to_maxsat):
        with pytest.raises(TypeError, match=r"^A pseudo-Boolean sum must hold terms only, not 1 \(int\)$"):
            listing()
    assert (2 * (a + 1)).second_variable == 2
    assert (-(a + 1)).second_variable == -1


def test_a_right_operand_that_cannot_be_negated_fails_at_once():
    with pytest.raises(TypeError):
        a - "b"


def test_a_fractional_coefficient_reaches_the_engine():
    term = 2.5 * a
    assert term.to_maxsat() == [(1, 2.5)]
    with pytest.raises(TypeError):
        term.to_pb()


@pytest.mark.parametrize("term, text", [
    (PBVariable(3, "x(1,2)", -2), "Var(coeff: -2; pb num: 3; bx var: x(1,2))"),
    (a - b, "AddOp(Var(coeff: 1; pb num: 1; bx var: a(1)), Var(coeff: -1; pb num: 2; bx var: b(1)))"),
    (Sum(), "Sum()"),
    (Sum(a, Sum(), 2 * b),
     "Sum(Var(coeff: 1; pb num: 1; bx var: a(1)), Sum(), Var(coeff: 2; pb num: 2; bx var: b(1)))"),
    (AddOp(Sum(a), "s"), "AddOp(Sum(Var(coeff: 1; pb num: 1; bx var: a(1))), s)"),
])
def test_text_of_a_term(term, text):
    assert repr(term) == text
    assert str(term) == text
    assert f"<{term}>" == f"<{text}>"


def test_each_sum_writes_its_list_when_listed_inner_first(debug_lines):
    Sum(Sum(a, b), c).to_pb()
    assert debug_lines == [
        f"Sum to_pb result {[pb.WeightedLit(1, 1), pb.WeightedLit(2, 1)]}",
        f"Sum to_pb result {[pb.WeightedLit(1, 1), pb.WeightedLit(2, 1), pb.WeightedLit(3, 1)]}",
    ]


def test_an_empty_sum_writes_an_empty_list(debug_lines):
    assert Sum().to_pb() == []
    assert debug_lines == ["Sum to_pb result []"]


def test_only_sum_to_pb_writes_lines(debug_lines):
    (a + b).to_pb()
    a.to_pb()
    Sum(a, b).to_maxsat()
    assert debug_lines == []


def test_a_sum_whose_member_fails_writes_no_line(debug_lines):
    with pytest.raises(TypeError, match="must hold terms only"):
        Sum(Sum(a), 1).to_pb()
    assert debug_lines == ["Sum to_pb result " + str([pb.WeightedLit(1, 1)]),
                           "A pseudo-Boolean sum must hold terms only, not 1 (int)"]


def test_listing_gives_fresh_lists():
    term = a + b
    first = term.to_maxsat()
    first.append("changed")
    assert term.to_maxsat() == [(1, 1), (2, 1)]


# A sum written with + in a loop: a chain of AddOps as deep as the sum is long.
CHAIN_LENGTH = 100_000


def chain_leaves():
    return [PBVariable(i + 1, f"x({i})", i % 7 - 3) for i in range(CHAIN_LENGTH)]


@pytest.fixture(scope="module")
def left_chain():
    leaves = chain_leaves()
    term = leaves[0]
    for leaf in leaves[1:]:
        term = term + leaf
    return term, [(leaf.pb_var, leaf.coefficient) for leaf in leaves]


@pytest.fixture(scope="module")
def right_chain():
    leaves = chain_leaves()
    term = leaves[-1]
    for leaf in reversed(leaves[:-1]):
        term = leaf + term
    return term, [(leaf.pb_var, leaf.coefficient) for leaf in leaves]


@pytest.fixture(params=["left", "right"])
def long_chain(request):
    return request.getfixturevalue(f"{request.param}_chain")


def test_long_chains_list_their_leaves_in_order(long_chain):
    term, expected = long_chain
    assert term.to_maxsat() == expected
    literals = term.to_pb()
    assert len(literals) == len(expected)
    assert [(literal.number, literal.coefficient) for literal in literals[::997]] == expected[::997]


def test_long_chains_negate_and_scale(long_chain):
    term, expected = long_chain
    assert (-term).to_maxsat() == [(number, -coefficient) for number, coefficient in expected]
    assert (3 * term).to_maxsat() == [(number, 3 * coefficient) for number, coefficient in expected]


def test_long_chains_have_a_text(left_chain):
    term, expected = left_chain
    text = repr(term)
    first_two = "Var(coeff: -3; pb num: 1; bx var: x(0)), Var(coeff: -2; pb num: 2; bx var: x(1)))"
    assert text.startswith("AddOp(" * (CHAIN_LENGTH - 1) + first_two)
    assert text.endswith(f", Var(coeff: {expected[-1][1]}; pb num: {CHAIN_LENGTH}; bx var: x({CHAIN_LENGTH - 1})))")
    assert text.count("Var(") == CHAIN_LENGTH
    assert text.count("AddOp(") == CHAIN_LENGTH - 1


def test_deeply_nested_sums():
    term = a
    for _ in range(50_000):
        term = Sum(term, b)
    assert term.to_maxsat() == [(1, 1)] + [(2, 1)] * 50_000
    assert (-term).to_maxsat() == [(1, -1)] + [(2, -1)] * 50_000
    assert repr(term).startswith("Sum(" * 50_000 + "Var(")
