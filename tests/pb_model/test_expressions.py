import itertools
import random

import numpy
import pytest

from hang_guard import fails_instead_of_hanging
from vx_encoder._vx_native import joined_pieces
import vx_encoder.encode as encode
import vx_encoder.encode.expressions as expressions
from vx_encoder.encode.expressions import (And, AndIt, Equiv, Expression, IfThenElse, Implication, One, Or,
                                           OrIt, Sum, SumIt, VariableProxy, Xor, XorIt, Zero, pow_expression)
from vx_encoder.encode.variables import Index, Variable


@pytest.fixture
def logged(monkeypatch):
    """Every message the module hands to the log, as (level, message)."""
    lines = []
    monkeypatch.setattr(expressions, "log_e", lambda msg: lines.append(("error", msg)))
    monkeypatch.setattr(expressions, "log_w", lambda msg: lines.append(("warning", msg)))
    return lines


x = Variable("x", {"i": 3, "j": 4}, 1)
y = Variable("y", {"i": 5}, 13)
xi = Variable("ξ", {"i": 2}, 18)
i, j = Index("i"), Index("j")


PRODUCTIONS = [
    # operators
    (lambda: y[1] + y[2], "y(1).to_pb() + y(2).to_pb()", True),
    (lambda: y[1] - y[2], "y(1).to_pb() - (y(2).to_pb())", True),
    (lambda: y[1] - (y[2] + y[3]), "y(1).to_pb() - (y(2).to_pb() + y(3).to_pb())", True),
    (lambda: (y[1] + y[2]) + y[3], "y(1).to_pb() + y(2).to_pb() + y(3).to_pb()", True),
    (lambda: y[1] + (y[2] + y[3]), "y(1).to_pb() + y(2).to_pb() + y(3).to_pb()", True),
    (lambda: 3 * y[1], "3 * (y(1).to_pb())", True),
    (lambda: y[1] * 3, "3 * (y(1).to_pb())", True),
    (lambda: -1 * y[1], "-1 * (y(1).to_pb())", True),
    (lambda: True * y[1], "True * (y(1).to_pb())", True),
    (lambda: y[1] * y[2], "y(1) * (y(2).to_pb())", True),
    (lambda: pow_expression(2, 3) * y[1], "2 ** 3 * (y(1).to_pb())", True),
    (lambda: y[1] * pow_expression(2, 3), "y(1) * (2 ** 3)", True),
    (lambda: 3 * (y[1] + y[2]) <= 2,
     "FormulaPB(3 * (y(1).to_pb() + y(2).to_pb()), pb.Comparator_type.LEQ, 2).to_bx(manager)", False),
    (lambda: y[1] >= 1, "FormulaPB(y(1).to_pb(), pb.Comparator_type.GEQ, 1).to_bx(manager)", False),
    (lambda: y[1] == 1, "FormulaPB(y(1).to_pb(), pb.Comparator_type.BOTH, 1).to_bx(manager)", False),
    (lambda: y[1] <= True, "FormulaPB(y(1).to_pb(), pb.Comparator_type.LEQ, True).to_bx(manager)", False),
    (lambda: 5 <= y[1], "FormulaPB(y(1).to_pb(), pb.Comparator_type.GEQ, 5).to_bx(manager)", False),
    (lambda: 5 == y[1], "FormulaPB(y(1).to_pb(), pb.Comparator_type.BOTH, 5).to_bx(manager)", False),
    (lambda: (y[1] <= 1) & ~y[2],
     "bx.and_s([FormulaPB(y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager), ~(y(2).to_bx())])", False),
    (lambda: y[1] | y[2], "bx.or_s([y(1).to_bx(), y(2).to_bx()])", False),
    (lambda: y[1] ^ y[2], "bx.xor_s([y(1).to_bx(), y(2).to_bx()])", False),
    (lambda: ~(y[1] + y[2]), "~(y(1).to_pb() + y(2).to_pb())", False),
    (lambda: 3 * (y[1] <= 1), "3 * (FormulaPB(y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager))", True),
    (lambda: (y[1] + y[2]).maxsat(True),
     "FormulaPB(y(1).to_pb() + y(2).to_pb(), None, None).to_maxsat(manager, True)", True),
    (lambda: (3 * (y[1] + y[2])).maxsat(True),
     "FormulaPB(3 * (y(1).to_pb() + y(2).to_pb()), None, None).to_maxsat(manager, True)", True),
    (lambda: Expression("t", False).maxsat(False), "FormulaPB(t, None, None).to_maxsat(manager, False)", True),
    (lambda: Expression("x(1)") + y[2], "x(1) + y(2).to_pb()", True),
    (lambda: Expression(), "", True),
    (lambda: Expression("t", False), "t", False),
    # a text of a subclass of str is its characters, alone or as an operand's
    (lambda: Expression(numpy.str_("t")), "t", True),
    (lambda: Expression(numpy.str_("t")) + ~Expression(numpy.str_("u")), "t + ~(u)", True),
    # builders over index ranges
    (lambda: Sum(x[i]), "Sum(*[x(i).to_pb() ])", True),
    (lambda: Sum(x[i, j], i=[0, 1], j=[2]), "Sum(*[x(i,j).to_pb() for i in [0, 1] for j in [2]])", True),
    (lambda: Sum(x[i, j], j=range(3), i=range(2)),
     "Sum(*[x(i,j).to_pb() for j in range(0, 3) for i in range(0, 2)])", True),
    (lambda: Sum(expr=x[i, j], i=range(2), j=range(3)),
     "Sum(*[x(i,j).to_pb() for i in range(0, 2) for j in range(0, 3)])", True),
    (lambda: And(x[i, j], j=[0, 2]), "bx.and_s([x(i,j).to_bx() for j in [0, 2]])", False),
    (lambda: Or(And(x[i, j], j=range(3)), i=range(2)),
     "bx.or_s([bx.and_s([x(i,j).to_bx() for j in range(0, 3)]) for i in range(0, 2)])", False),
    (lambda: Sum(2 * y[i], i=range(4)), "Sum(*[2 * (y(i).to_pb()) for i in range(0, 4)])", True),
    (lambda: Xor(y[i]), "bx.xor_s([y(i).to_bx() ])", False),
    (lambda: Sum(y[0], k=range(3)), "Sum(*[y(0).to_pb() for k in range(0, 3)])", True),
    (lambda: Sum(x[i, j], i=range(3), j="range(i + 1)"),
     "Sum(*[x(i,j).to_pb() for i in range(0, 3) for j in range(i + 1)])", True),
    (lambda: Sum(y[i], i=range(0)), "Sum(*[y(i).to_pb() for i in range(0, 0)])", True),
    # NumPy integers of a list or tuple are written as the integers they are
    (lambda: Sum(y[i], i=[numpy.int64(0), numpy.uint8(2), 3]), "Sum(*[y(i).to_pb() for i in [0, 2, 3]])", True),
    (lambda: Or(y[i], i=tuple(numpy.arange(2))), "bx.or_s([y(i).to_bx() for i in (0, 1)])", False),
    (lambda: And(One), "bx.and_s([bx.one() ])", False),
    (lambda: Sum(y[1] <= 0), "Sum(*[FormulaPB(y(1).to_pb(), pb.Comparator_type.LEQ, 0).to_bx(manager) ])", True),
    (lambda: Or(Sum(y[i])), "bx.or_s([Sum(*[y(i).to_pb() ]) ])", False),
    # builders over sequences
    (lambda: SumIt([y[0], y[1]]), "Sum(*[y(0).to_pb(), y(1).to_pb()])", True),
    (lambda: AndIt([y[0], y[1]]), "bx.and_s([y(0).to_bx(), y(1).to_bx()])", False),
    (lambda: OrIt([AndIt([y[0], y[1]]), y[2]]), "bx.or_s([bx.and_s([y(0).to_bx(), y(1).to_bx()]), y(2).to_bx()])",
     False),
    (lambda: XorIt((y[2],)), "bx.xor_s([y(2).to_bx()])", False),
    (lambda: AndIt([y[1], One]), "bx.and_s([y(1).to_bx(), bx.one()])", False),
    (lambda: SumIt([y[1], y[1]]), "Sum(*[y(1).to_pb(), y(1).to_pb()])", True),
    (lambda: SumIt((x[0, 0], y[i], x[2, 3])), "Sum(*[x(0,0).to_pb(), y(i).to_pb(), x(2,3).to_pb()])", True),
    (lambda: OrIt([y[1], xi[0], VariableProxy("z(3)")]), "bx.or_s([y(1).to_bx(), ξ(0).to_bx(), z(3).to_bx()])", False),
    (lambda: XorIt([xi[1], y[1] + y[2], xi[0]]), "bx.xor_s([ξ(1).to_bx(), y(1).to_pb() + y(2).to_pb(), ξ(0).to_bx()])",
     False),
    (lambda: AndIt([SumIt([y[1]]) <= 1, y[2]]),
     "bx.and_s([FormulaPB(Sum(*[y(1).to_pb()]), pb.Comparator_type.LEQ, 1).to_bx(manager), y(2).to_bx()])", False),
    # fixed-arity connectives and powers
    (lambda: Equiv(x[0, 0], y[0]), "bx.eq_s([x(0,0).to_bx(), y(0).to_bx()])", False),
    (lambda: Equiv(x[0, 0], y[0], One), "bx.eq_s([x(0,0).to_bx(), y(0).to_bx(), bx.one()])", False),
    (lambda: Equiv(), "bx.eq_s([])", False),
    (lambda: Equiv(y[0]), "bx.eq_s([y(0).to_bx()])", False),
    (lambda: Equiv(SumIt([y[0]])), "bx.eq_s([Sum(*[y(0).to_pb()])])", False),
    (lambda: Implication(x[i, 0], y[i]), "bx.impl_s(x(i,0).to_bx(), y(i).to_bx())", False),
    (lambda: Implication(then_expr=y[i], if_expr=x[i, 0]), "bx.impl_s(x(i,0).to_bx(), y(i).to_bx())", False),
    (lambda: IfThenElse(y[i], x[i, 0], x[i, 1]), "bx.ite_s(y(i).to_bx(), x(i,0).to_bx(), x(i,1).to_bx())", False),
    (lambda: Implication(Equiv(x[i, 0], x[i, 1]), y[i]),
     "bx.impl_s(bx.eq_s([x(i,0).to_bx(), x(i,1).to_bx()]), y(i).to_bx())", False),
    (lambda: pow_expression(2, 3), "2 ** 3", True),
    (lambda: pow_expression(2, i), "2 ** i", True),
    (lambda: pow_expression("b", "e"), "b ** e", True),
    (lambda: pow_expression(2, i) * y[i], "2 ** i * (y(i).to_pb())", True),
    (lambda: Sum(pow_expression(2, i) * y[i], i=range(4)),
     "Sum(*[2 ** i * (y(i).to_pb()) for i in range(0, 4)])", True),
    # mended: a compound operand of a power is grouped
    (lambda: pow_expression(2, i + 1), "2 ** (i + 1)", True),
    (lambda: pow_expression(2, 2 * i), "2 ** (2 * i)", True),
    (lambda: pow_expression(-2, 3), "(-2) ** 3", True),
    (lambda: pow_expression(2, -1), "2 ** (-1)", True),
    (lambda: pow_expression(pow_expression(2, 3), 2), "(2 ** 3) ** 2", True),
    (lambda: pow_expression(2, "(i + 1)"), "2 ** (i + 1)", True),
    # constants and occurrences
    (lambda: One, "bx.one()", True),
    (lambda: Zero, "bx.zero()", True),
    (lambda: x[i + 1, j], "x(i + 1,j)", True),
    (lambda: VariableProxy("x(i,j)"), "x(i,j)", True),
]


@pytest.mark.parametrize("make, text, soft", PRODUCTIONS)
def test_production_text_and_soft_flag(make, text, soft, logged):
    expression = make()
    assert isinstance(expression, Expression)
    assert str(expression) == text
    assert f"{expression}" == text
    assert expression.soft is soft
    assert logged == []


@pytest.mark.parametrize("make", [lambda: y[1] <= 1, lambda: y[1] + y[2], lambda: pow_expression(2, 3),
                                  lambda: Sum(y[i])])
def test_operator_results_are_plain_expressions(make):
    assert type(make() <= 1) is Expression
    assert type(make() + y[0]) is Expression
    assert str((y[1] <= 1) & y[2]).startswith("bx.and_s([FormulaPB(")


def test_operators_leave_their_operands_unchanged():
    e, f = y[1] + y[2], y[3] <= 1
    for combine in (lambda: e + f, lambda: e - f, lambda: 2 * e, lambda: e * f, lambda: e & f, lambda: ~e,
                    lambda: e.maxsat(True), lambda: Sum(e, k=[1]), lambda: SumIt([e, f])):
        combine()
        assert (str(e), e.soft, str(f), f.soft) == ("y(1).to_pb() + y(2).to_pb()", True,
                                                   "FormulaPB(y(3).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",
                                                   False)


def test_soft_is_read_only():
    e = y[1] <= 1
    with pytest.raises(AttributeError):
        e.soft = True
    assert e.soft is False


def test_expressions_are_unhashable():
    with pytest.raises(TypeError, match="unhashable"):
        {y[1]}
    with pytest.raises(TypeError, match="unhashable"):
        {Sum(y[1]): 1}


OPERATOR_ERRORS = [
    (lambda: y[1] + 1, "Type 'Expression' is expected for left side of expression"),
    (lambda: y[1] - "x", "Type 'Expression' is expected for left side of expression"),
    (lambda: y[1] & True, "Type 'Expression' is expected for left side of expression"),
    (lambda: y[1] | None, "Type 'Expression' is expected for left side of expression"),
    (lambda: y[1] ^ 0, "Type 'Expression' is expected for left side of expression"),
    (lambda: y[1] <= 2.5, "Type 'int' is expected for left side of expression"),
    (lambda: 2.5 >= y[1], "Type 'int' is expected for left side of expression"),
    (lambda: y[1] >= y[2], "Type 'int' is expected for left side of expression"),
    (lambda: y[1] == y[2], "Type 'int' is expected for left side of expression"),
    (lambda: y[1] != 2.5, "Type 'int' is expected for left side of expression"),
    (lambda: y[1] in [y[2]], "Type 'int' is expected for left side of expression"),
    (lambda: 2.5 * y[1], "Type 'Expression' or 'int' is expected for expression"),
    (lambda: y[1] * 2.5, "Type 'Expression' or 'int' is expected for expression"),
    (lambda: y[1] * "2", "Type 'Expression' or 'int' is expected for expression"),
]


@pytest.mark.parametrize("apply", [lambda: 1 + y[1], lambda: 1 - y[1], lambda: 1 & y[1], lambda: -y[1],
                                   lambda: +y[1], lambda: y[1] < 1, lambda: y[1] > 1, lambda: y[1].maxsat()])
def test_operations_without_a_method_fail_in_the_host_without_logging(apply, logged):
    with pytest.raises(TypeError):
        apply()
    assert logged == []


TRUTH_TESTS = [
    lambda: 1 <= y[1] + y[2] <= 2,  # chained comparison: would keep only its last part
    lambda: y[1] != 1,  # would be False
    lambda: bool(y[1]),
    lambda: not (y[1] <= 1),
    lambda: (y[1] <= 1) and (y[2] <= 1),  # would keep only the second
    lambda: (y[1] <= 1) or (y[2] <= 1),  # would keep only the first
    lambda: One if Zero else None,
]


@pytest.mark.parametrize("apply", TRUTH_TESTS)
def test_truth_testing_an_expression_is_refused(apply, logged):
    with pytest.raises(TypeError) as error:
        apply()
    message = str(error.value)
    assert "no truth value" in message and "two constraints" in message and "builders" in message
    assert logged == [("error", message)]


def test_the_two_halves_of_a_chained_comparison_are_written_as_two_constraints():
    low, high = 1 <= y[1] + y[2], y[1] + y[2] <= 2
    assert str(low) == "FormulaPB(y(1).to_pb() + y(2).to_pb(), pb.Comparator_type.GEQ, 1).to_bx(manager)"
    assert str(high) == "FormulaPB(y(1).to_pb() + y(2).to_pb(), pb.Comparator_type.LEQ, 2).to_bx(manager)"


@pytest.mark.parametrize("builder", [Sum, And, Or, Xor])
@pytest.mark.parametrize("operand", [1, "x(1)", None, x])
def test_range_builder_refuses_an_operand_that_is_not_an_expression(builder, operand, logged):
    message = "Type 'Expression' is expected for variable 'expression'"
    with pytest.raises(TypeError) as error:
        builder(operand, i=range(3))
    assert str(error.value) == message
    assert logged == [("error", message)]


@pytest.mark.parametrize("call", [lambda: Sum(y[1], y[2]), lambda: Sum(y[1], expr=y[2]), lambda: Sum()])
def test_range_builder_arguments_are_checked_by_the_host(call, logged):
    with pytest.raises(TypeError):
        call()
    assert logged == []


CONNECTIVE_ERRORS = [
    (lambda: Equiv([x[0, 0], y[0]]), "Variable 'expressions' must contain only objects of type 'Expression'"),
    (lambda: Equiv(x[0, 0], 1), "Variable 'expressions' must contain only objects of type 'Expression'"),
    (lambda: Equiv(1, 2), "Variable 'expressions' must contain only objects of type 'Expression'"),
    (lambda: Implication(1, 2), "Type 'Expression' is expected for variables 'if_expr' and 'then_expr'"),
    (lambda: Implication(x[0, 0], 2), "Type 'Expression' is expected for variables 'if_expr' and 'then_expr'"),
    (lambda: IfThenElse(1, y[0], y[1]),
     "Type 'Expression' is expected for variables 'if_expr', 'then_expr' and 'else_expr'"),
    (lambda: IfThenElse(y[0], y[1], None),
     "Type 'Expression' is expected for variables 'if_expr', 'then_expr' and 'else_expr'"),
]


@pytest.mark.parametrize("call, message", OPERATOR_ERRORS + CONNECTIVE_ERRORS)
def test_refusal_writes_one_error_line_then_raises_its_message(call, message, logged):
    with pytest.raises(TypeError) as error:
        call()
    assert str(error.value) == message
    assert logged == [("error", message)]


SEQUENCE_BUILDERS = [(SumIt, "Sum(*[])", True, True), (AndIt, "bx.and_s([])", False, False),
                     (OrIt, "bx.or_s([])", False, False), (XorIt, "bx.xor_s([])", False, False)]


@pytest.mark.parametrize("builder, empty_text, soft, logs_sequence_error", SEQUENCE_BUILDERS)
@pytest.mark.parametrize("empty", [[], (), range(0), ""])
def test_sequence_builder_warns_on_an_empty_sequence(builder, empty_text, soft, logs_sequence_error, empty, logged):
    result = builder(empty)
    assert (str(result), result.soft) == (empty_text, soft)
    assert logged == [("warning", "The input sequence has zero length")]


@pytest.mark.parametrize("builder, empty_text, soft, logs_sequence_error", SEQUENCE_BUILDERS)
@pytest.mark.parametrize("argument", [lambda: (e for e in [y[0]]), lambda: (e for e in []), lambda: {1, 2},
                                      lambda: {1: y[0]}, lambda: None, lambda: y[0], lambda: iter([y[0]])])
def test_sequence_builder_refuses_what_is_not_a_sequence(builder, empty_text, soft, logs_sequence_error, argument,
                                                          logged):
    message = f"Use an iterable sequence as {builder.__name__} input argument"
    with pytest.raises(TypeError) as error:
        builder(argument())
    assert str(error.value) == message
    assert logged == ([("error", message)] if logs_sequence_error else [])


def test_sequence_builder_refuses_a_numpy_array():
    numpy = pytest.importorskip("numpy")
    with pytest.raises(TypeError, match="Use an iterable sequence as AndIt input argument"):
        AndIt(numpy.array([1, 2]))


@pytest.mark.parametrize("builder", [SumIt, AndIt, OrIt, XorIt])
@pytest.mark.parametrize("elements", ["ab", range(3), [y[0], 1], (1, y[0])])
def test_sequence_builder_refuses_elements_that_are_not_expressions(builder, elements, logged):
    message = "Variable 'expressions' must contain only objects of type 'Expression'"
    with pytest.raises(TypeError) as error:
        builder(elements)
    assert str(error.value) == message
    assert logged == [("error", message)]


def test_encode_package_exports_the_fourteen_builders():
    names = ["Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt", "Equiv", "Implication", "IfThenElse",
             "pow_expression", "Zero", "One"]
    assert encode.__all__ == names
    assert all(getattr(encode, name) is getattr(expressions, name) for name in names)
    assert not hasattr(encode, "Expression") and not hasattr(encode, "VariableProxy")


# Evaluating the texts: a stand-in namespace in which an occurrence y(k) is a
# term worth values[k], `Sum` adds its terms and a power is a number, so the
# value of an evaluated text can be compared with the arithmetic that built it.

class _Term:
    def __init__(self, value):
        self.value = value

    def to_pb(self):
        return self.value


def _evaluation_namespace(values):
    return {"y": lambda k: _Term(values[k]), "Sum": lambda *terms: sum(terms)}


def _random_pseudo_boolean(rng, depth):
    """A random pseudo-Boolean expression and the value it must evaluate to."""
    if depth == 0 or rng.random() < 0.25:
        k = rng.randrange(5)
        return y[k], lambda values: values[k]
    left, left_value = _random_pseudo_boolean(rng, depth - 1)
    right, right_value = _random_pseudo_boolean(rng, depth - 1)
    kind = rng.randrange(6)
    if kind == 0:
        return left + right, lambda v: left_value(v) + right_value(v)
    if kind == 1:
        return left - right, lambda v: left_value(v) - right_value(v)
    if kind == 2:
        c = rng.randint(-3, 3)
        return c * left, lambda v: c * left_value(v)
    if kind == 3:
        base, exponent = rng.randint(-3, 3), rng.randint(0, 3)
        return pow_expression(base, exponent) * left, lambda v: base ** exponent * left_value(v)
    if kind == 4:
        return SumIt([left, right]), lambda v: left_value(v) + right_value(v)
    return Sum(left, k=range(2)), lambda v: 2 * left_value(v)


@pytest.mark.parametrize("seed", range(40))
def test_evaluated_pseudo_boolean_text_computes_the_arithmetic_that_built_it(seed):
    rng = random.Random(seed)
    expression, value = _random_pseudo_boolean(rng, 4)
    values = [rng.randint(-5, 5) for _ in range(5)]
    # A bare occurrence is converted only where it is an operand.
    assert eval(str(SumIt([expression])), _evaluation_namespace(values)) == value(values)


@pytest.mark.parametrize("exponent, values", [(lambda k: k + 1, range(4)), (lambda k: 2 * k - 1, range(1, 4)),
                                              (lambda k: 3 * (k - 1), range(1, 4))])
def test_power_of_an_index_expression_weights_each_instance_as_written(exponent, values):
    k = Index("k")
    text = str(Sum(pow_expression(2, exponent(k)) * y[k], k=list(values)))
    ones = _evaluation_namespace([1] * 5)
    assert eval(text, ones) == sum(2 ** exponent(value) for value in values)


class _Literal(str):
    def __invert__(self):
        return _Literal("~" + self)


class _Occurrence:
    def __init__(self, name):
        self.name = name

    def to_bx(self):
        return _Literal(self.name)


def test_evaluated_boolean_text_calls_the_connectives_in_order():
    calls = []
    connectives = {name: (lambda *args, _name=name: (_name, *args))
                   for name in ("and_s", "or_s", "xor_s", "eq_s", "impl_s", "ite_s")}
    bx = type("bx", (), {name: staticmethod(call) for name, call in connectives.items()})
    bx.one = staticmethod(lambda: "1")
    namespace = {"bx": bx, "y": lambda k: calls.append(k) or _Occurrence(f"y{k}")}
    text = str(IfThenElse(y[0], Equiv(y[1], One), OrIt([y[2], AndIt([y[3], y[4]])]) ^ ~y[0]))
    assert eval(text, namespace) == ("ite_s", "y0", ("eq_s", ["y1", "1"]),
                                     ("xor_s", [("or_s", ["y2", ("and_s", ["y3", "y4"])]), "~y0"]))
    assert calls == [0, 1, 2, 3, 4, 0]


def test_range_builder_clauses_nest_in_keyword_order():
    seen = []
    namespace = {"x": lambda a, b: seen.append((a, b)) or _Term(1), "Sum": lambda *terms: sum(terms)}
    assert eval(str(Sum(x[i, j], j=range(2), i=range(3))), namespace) == 6
    assert seen == [(a, b) for b, a in itertools.product(range(2), range(3))]


@pytest.mark.parametrize("operator, expected", [
    (lambda a, b: a + b, lambda n: " + ".join(f"x({k % 7}).to_pb()" for k in range(n))),
    (lambda a, b: a & b, lambda n: "bx.and_s([" * (n - 1) + "x(0).to_bx()"
                                   + "".join(f", x({k % 7}).to_bx()])" for k in range(1, n))),
], ids=["+", "&"])
def test_an_operator_in_a_loop_writes_its_text_in_time_linear_in_the_terms(request, operator, expected):
    """200,000 terms: copying the text so far at each operator would take minutes."""
    x = Variable("x", {"i": 7}, 1)
    terms = 200_000
    with fails_instead_of_hanging(request, 60):
        total = x[0]
        for k in range(1, terms):
            total = operator(total, x[k % 7])
        text = str(total)
    assert text == expected(terms)
    assert str(total) is text


class _Held:
    """An object whose field holds its own pieces, as an expression operand does."""

    def __init__(self, pieces):
        self._expr = pieces


class _Text(str):
    pass


class _Pieces(tuple):
    pass


class _Unreadable:
    @property
    def _expr(self):
        raise ValueError("unreadable")


def _nested_tuples(depth):
    pieces = "x"
    for _ in range(depth):
        pieces = (pieces, "+y")
    return pieces


def _nested_holders(depth):
    pieces = _Held("x")
    for _ in range(depth):
        pieces = _Held((pieces, "+y"))
    return pieces


@pytest.mark.parametrize("make, text", [
    (lambda: "abc", "abc"),
    (lambda: (), ""),
    (lambda: ("a", ("b", (), ("c",)), "d"), "abcd"),
    (lambda: (_Held("a"), " + ", _Held(("b", _Held(_Held("c"))))), "a + bc"),
    (lambda: _Held(("x", "é", ("ξ", "😀"), "x")), "xéξ😀x"),
    (lambda: ("a", _Text("b"), _Held(_Text("c")), numpy.str_("d")), "abcd"),
    (lambda: _Text("t"), "t"),
    (lambda: _nested_tuples(200_000), "x" + "+y" * 200_000),
    (lambda: _nested_holders(200_000), "x" + "+y" * 200_000),
], ids=["text", "empty", "tuples", "holders", "wide characters", "str subclasses", "str subclass alone",
        "deep tuples", "deep holders"])
def test_pieces_join_into_one_text_in_order_however_deep_they_nest(make, text):
    pieces = make()
    joined = joined_pieces(pieces, "_expr")
    assert joined == text and type(joined) is str
    assert type(pieces) is not str or joined is pieces


@pytest.mark.parametrize("pieces, error, message", [
    (("a", object()), AttributeError, "'object' object has no attribute '_expr'"),
    (("a", _Held(("b", 3))), AttributeError, "'int' object has no attribute '_expr'"),
    # only an exact tuple holds pieces: any other object holds them in its field
    (_Pieces(("a", "b")), AttributeError, "'_Pieces' object has no attribute '_expr'"),
    (("a", _Unreadable()), ValueError, "unreadable"),
])
def test_a_piece_without_its_field_raises_the_hosts_error(pieces, error, message):
    with pytest.raises(error) as raised:
        joined_pieces(pieces, "_expr")
    assert str(raised.value) == message
