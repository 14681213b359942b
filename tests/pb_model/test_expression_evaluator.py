import random

import pytest

from vx_encoder.core.expression_evaluator import (ExpressionTextError, _DeepEvaluator, _parse,
                                                  evaluate_expression_text)


class Term:
    """Records the operations applied to it, to compare evaluation orders exactly."""

    def __init__(self, text):
        self.text = text

    def __add__(self, other):
        return Term(f"({self.text}+{other.text})")

    def __sub__(self, other):
        return Term(f"({self.text}-{other.text})")

    def __rmul__(self, other):
        return Term(f"({other}*{self.text})")

    def __and__(self, other):
        return Term(f"({self.text}&{other.text})")

    def __invert__(self):
        return Term(f"~{self.text}")

    def __neg__(self):
        return Term(f"-{self.text}")

    def __eq__(self, other):
        return isinstance(other, Term) and other.text == self.text

    def to_pb(self):
        return Term(f"pb[{self.text}]")


def namespace():
    return {
        "x": lambda *items: Term("x" + ",".join(map(str, items))),
        "été": lambda *items: Term("été" + ",".join(map(str, items))),
        "Sum": lambda *terms: Term("Sum(" + ";".join(t.text for t in terms) + ")"),
        "and_s": lambda terms: Term("and(" + ";".join(t.text for t in terms) + ")"),
        "k": 3,
    }


def deep_evaluation(text):
    return _DeepEvaluator(namespace()).evaluate(_parse(text))


TEXTS = [
    "1 + 2 * 3 - 4",
    "-2 ** 2",
    "2 ** -1",
    "2 ** 3 ** 2",
    "(1 + 2) * -(3 - 4)",
    "~5 & 3 | 8 ^ 1",
    "x(1, 2).to_pb() + x(k, 0).to_pb()",
    "3 * (x(1).to_pb()) - (x(2).to_pb())",
    "2 ** k * (x(1).to_pb())",
    "Sum(*[x(i, j).to_pb() for i in range(0, 3) for j in range(i, 3)])",
    "Sum(*[x(i).to_pb() for i in [0, 1, 2]], x(9).to_pb())",
    "and_s([~(x(1)), x(2) & x(3)])",
    "Sum(*[])",
    "(1, 2, (3,), ())",
    "[None, True, False, 'name_0', 2.5]",
    "x()",
    "été(1).to_pb() + x(2).to_pb()",
]


@pytest.mark.parametrize("text", TEXTS)
def test_deep_evaluator_agrees_with_the_host(text):
    assert deep_evaluation(text) == eval(text, namespace())


def test_random_arithmetic_agrees_with_the_host():
    rng = random.Random(3)
    for _ in range(300):
        parts = [str(rng.randint(0, 5))]
        for _ in range(rng.randint(0, 6)):
            parts.append(rng.choice([" + ", " - ", " * ", " & ", " | ", " ^ "]))
            parts.append(rng.choice(["", "-", "~"]) + str(rng.randint(0, 5)))
        text = "".join(parts)
        assert deep_evaluation(text) == eval(text), text


def test_long_sum_too_deep_for_the_host_compiler():
    terms = 20_000
    text = " + ".join(f"x({i}).to_pb()" for i in range(terms))
    with pytest.raises(RecursionError):
        compile(text, "<t>", "eval")
    result = evaluate_expression_text(text, namespace())
    assert result.text.count("pb[x") == terms
    assert result.text.startswith("(" * (terms - 1) + "pb[x0]+pb[x1])")


def test_long_nested_chain_too_deep_for_the_host_parser():
    depth = 5_000
    text = "x(0)"
    for i in range(1, depth):
        text = f"and_s([{text}, x({i})])"
    result = evaluate_expression_text(text, namespace())
    assert result.text.count("and(") == depth - 1


def test_shallow_text_goes_to_the_host():
    assert evaluate_expression_text("k * 2", namespace()) == 6


@pytest.mark.parametrize("text", ["1 +", "(1", "f(1))", "[i for i range(3)]", "1 $ 2", "[*]", "a b",
                                  "[1 for i in range(2), 3]"])
def test_malformed_text_is_refused(text):
    with pytest.raises(SyntaxError):
        _parse(text)


def test_unknown_name_raises_name_error():
    with pytest.raises(NameError, match="'missing'"):
        deep_evaluation("missing + 1")
