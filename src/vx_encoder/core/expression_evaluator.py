"""Evaluation of expression text, also when it is too deep for the host's compiler.

Expression text is host source text, and the host evaluates it. A sum built
with ``+`` in a loop, or a long chain of ``&``, yields text whose syntax tree is
thousands of levels deep, which the host's compiler refuses (recursion or
parenthesis nesting limits). Such text is evaluated here instead, by a parser
and an evaluator that use explicit stacks, with the host's semantics for the
subset of the language that expression text uses: numbers, names, quoted
names, ``None``, ``True``, ``False``, attribute access, calls with ``*``
arguments, lists, tuples, list comprehensions with ``for`` clauses, the unary
operators ``-``, ``+``, ``~`` and the binary operators ``**``, ``*``, ``+``,
``-``, ``&``, ``^``, ``|``.
"""

from __future__ import annotations

import builtins
import operator
import re
import typing as tp

__all__ = ["evaluate_expression_text", "ExpressionTextError"]


class ExpressionTextError(SyntaxError):
    """Text outside the expression language."""


def evaluate_expression_text(text: str, namespace: dict) -> tp.Any:
    """Evaluates text with namespace as its global names, like the host's eval."""
    try:
        code = compile(text, "<expression>", "eval")
    except (RecursionError, MemoryError):
        return _DeepEvaluator(namespace).evaluate(_parse(text))
    except SyntaxError as error:
        if "too many nested parentheses" not in str(error):
            raise
        return _DeepEvaluator(namespace).evaluate(_parse(text))
    return eval(code, namespace)


# Binary operators: precedence (higher binds tighter) and the host operation.
_BINARY = {
    "|": (1, operator.or_),
    "^": (2, operator.xor),
    "&": (3, operator.and_),
    "+": (4, operator.add),
    "-": (4, operator.sub),
    "*": (5, operator.mul),
    "**": (7, operator.pow),
}
_UNARY_PRECEDENCE = 6
_UNARY = {"-": operator.neg, "+": operator.pos, "~": operator.invert}
_CONSTANTS = {"None": None, "True": True, "False": False}

_TOKEN = re.compile(
    r"\s*(?:(\d+\.\d*(?:[eE][-+]?\d+)?|\d+)|([^\W\d]\w*)|('[^'\\\n]*')|(\*\*|[-+*~&|^()\[\],.]))")


def _tokens(text: str) -> list[tuple[str, str]]:
    tokens = []
    position = 0
    end = len(text.rstrip())
    while position < end:
        match = _TOKEN.match(text, position)
        if match is None:
            raise ExpressionTextError(f"unexpected character {text[position]!r} at position {position}")
        number, name, quoted, symbol = match.groups()
        if number is not None:
            tokens.append(("number", number))
        elif quoted is not None:
            tokens.append(("text", quoted[1:-1]))
        elif name is not None:
            tokens.append(("name", name))
        else:
            tokens.append(("op", symbol))
        position = match.end()
    return tokens


# Syntax tree nodes are tuples: ("const", value), ("name", name), ("unary", op, operand),
# ("binary", op, left, right), ("attribute", operand, name), ("call", callee, arguments),
# ("list", elements), ("tuple", elements), ("comprehension", element, clauses).
# Arguments and elements are (starred, node) pairs; clauses are (name, iterable) pairs.


class _Frame:
    """One bracket level while parsing: its operators, operands and finished items."""

    def __init__(self, kind: str, callee=None):
        self.kind = kind  # "top", "paren", "call" or "list"
        self.callee = callee
        self.operators: list[str] = []
        self.operands: list[tuple] = []
        self.items: list[tuple[bool, tuple]] = []
        self.starred = False
        self.saw_comma = False
        self.element = None
        self.clauses: list[list] = []

    def reduce(self, precedence: int = 0) -> None:
        while self.operators:
            top = self.operators[-1]
            top_precedence = _UNARY_PRECEDENCE if top.startswith("u") else _BINARY[top][0]
            if top_precedence < precedence or (top_precedence == precedence and top == "**"):
                return
            self.operators.pop()
            if top.startswith("u"):
                self.operands.append(("unary", top[1:], self.operands.pop()))
            else:
                right = self.operands.pop()
                left = self.operands.pop()
                self.operands.append(("binary", top, left, right))

    def finish_expression(self) -> tuple | None:
        self.reduce()
        if not self.operands:
            return None
        if len(self.operands) != 1:
            raise ExpressionTextError("malformed expression")
        return self.operands.pop()

    def finish_item(self) -> None:
        node = self.finish_expression()
        if node is None:
            raise ExpressionTextError("an expression is missing before ','")
        self.items.append((self.starred, node))
        self.starred = False


def _parse(text: str) -> tuple:
    tokens = _tokens(text)
    frames = [_Frame("top")]
    expect_operand = True
    position = 0
    while position < len(tokens):
        kind, value = tokens[position]
        frame = frames[-1]
        position += 1
        if expect_operand:
            if kind == "number":
                frame.operands.append(("const", float(value) if "." in value else int(value)))
                expect_operand = False
            elif kind == "text":
                frame.operands.append(("const", value))
                expect_operand = False
            elif kind == "name":
                if value in ("for", "in"):
                    raise ExpressionTextError(f"unexpected {value!r}")
                frame.operands.append(("const", _CONSTANTS[value]) if value in _CONSTANTS else ("name", value))
                expect_operand = False
            elif value in ("(", "["):
                frames.append(_Frame("paren" if value == "(" else "list"))
            elif value in _UNARY:
                frame.operators.append("u" + value)
            elif value == "*" and frame.kind in ("call", "list") and not frame.operators and not frame.operands:
                frame.starred = True
            elif (value in (")", "]") and not frame.operators and not frame.starred
                  and (not frame.items or frame.saw_comma) and not frame.clauses):
                expect_operand = _close_frame(frames, value)
            else:
                raise ExpressionTextError(f"unexpected {value!r} where an operand is expected")
            continue
        if kind == "op" and value in _BINARY:
            frame.reduce(_BINARY[value][0])
            frame.operators.append(value)
            expect_operand = True
        elif value == ".":
            if position >= len(tokens) or tokens[position][0] != "name":
                raise ExpressionTextError("a name is expected after '.'")
            frame.operands.append(("attribute", frame.operands.pop(), tokens[position][1]))
            position += 1
        elif value == "(":
            frames.append(_Frame("call", callee=frame.operands.pop()))
            expect_operand = True
        elif value == ",":
            if frame.kind == "top" or frame.clauses:
                raise ExpressionTextError("unexpected ','")
            frame.finish_item()
            frame.saw_comma = True
            expect_operand = True
        elif value == "for" and frame.kind == "list" and not frame.items:
            position = _start_clause(frame, tokens, position)
            expect_operand = True
        elif value in (")", "]"):
            expect_operand = _close_frame(frames, value)
        else:
            raise ExpressionTextError(f"unexpected {value!r} where an operator is expected")
    if len(frames) != 1 or expect_operand:
        raise ExpressionTextError("unexpected end of text")
    node = frames[0].finish_expression()
    if node is None:
        raise ExpressionTextError("empty text")
    return node


def _start_clause(frame: _Frame, tokens: list, position: int) -> int:
    node = frame.finish_expression()
    if frame.clauses:
        frame.clauses[-1][1] = node
    else:
        if frame.starred:
            raise ExpressionTextError("a starred element cannot start a comprehension")
        frame.element = node
    if (position + 1 >= len(tokens) or tokens[position][0] != "name"
            or tokens[position + 1] != ("name", "in")):
        raise ExpressionTextError("'for NAME in' is expected")
    frame.clauses.append([tokens[position][1], None])
    return position + 2


def _close_frame(frames: list[_Frame], bracket: str) -> bool:
    """Closes the innermost frame and pushes its node; returns False (an operator is expected next)."""
    frame = frames.pop()
    expected = "]" if frame.kind == "list" else ")"
    if frame.kind == "top" or bracket != expected:
        raise ExpressionTextError(f"unexpected {bracket!r}")
    if frame.clauses:
        node = frame.finish_expression()
        if node is None:
            raise ExpressionTextError("a comprehension clause lacks its iterable")
        frame.clauses[-1][1] = node
        result = ("comprehension", frame.element, [tuple(clause) for clause in frame.clauses])
    else:
        last = frame.finish_expression()
        if last is not None:
            frame.items.append((frame.starred, last))
        elif frame.starred:
            raise ExpressionTextError("'*' lacks its operand")
        if frame.kind == "call":
            result = ("call", frame.callee, frame.items)
        elif frame.kind == "list":
            result = ("list", frame.items)
        elif frame.saw_comma or not frame.items:
            result = ("tuple", frame.items)
        else:
            starred, node = frame.items[0]
            if starred:
                raise ExpressionTextError("a starred expression cannot stand alone")
            result = node
    frames[-1].operands.append(result)
    return False


class _DeepEvaluator:
    """Evaluates a syntax tree bottom-up with an explicit stack."""

    def __init__(self, namespace: dict):
        self.namespace = namespace

    def evaluate(self, root: tuple, local: dict | None = None) -> tp.Any:
        local = local or {}
        values: list = []
        # (node, expanded): children are scheduled first, the node is combined second.
        work: list[tuple[tuple, bool]] = [(root, False)]
        while work:
            node, expanded = work.pop()
            kind = node[0]
            if kind == "const":
                values.append(node[1])
            elif kind == "name":
                values.append(self.lookup(node[1], local))
            elif kind == "comprehension":
                values.append(self.comprehension(node, local))
            elif not expanded:
                work.append((node, True))
                for child in reversed(self.children(node)):
                    work.append((child, False))
            else:
                values.append(self.combine(node, values))
        return values.pop()

    @staticmethod
    def children(node: tuple) -> list[tuple]:
        kind = node[0]
        if kind == "unary":
            return [node[2]]
        if kind == "binary":
            return [node[2], node[3]]
        if kind == "attribute":
            return [node[1]]
        if kind == "call":
            return [node[1]] + [argument for _, argument in node[2]]
        return [element for _, element in node[1]]  # list, tuple

    @staticmethod
    def combine(node: tuple, values: list) -> tp.Any:
        kind = node[0]
        if kind == "unary":
            return _UNARY[node[1]](values.pop())
        if kind == "binary":
            right = values.pop()
            left = values.pop()
            return _BINARY[node[1]][1](left, right)
        if kind == "attribute":
            return getattr(values.pop(), node[2])
        items = node[2] if kind == "call" else node[1]
        arguments = values[len(values) - len(items):]
        del values[len(values) - len(items):]
        flat: list = []
        for (starred, _), argument in zip(items, arguments):
            if starred:
                flat.extend(argument)
            else:
                flat.append(argument)
        if kind == "call":
            return values.pop()(*flat)
        return flat if kind == "list" else tuple(flat)

    def comprehension(self, node: tuple, local: dict) -> list:
        _, element, clauses = node
        result: list = []

        def run(depth: int, bindings: dict) -> None:
            if depth == len(clauses):
                result.append(self.evaluate(element, bindings))
                return
            name, iterable = clauses[depth]
            for value in self.evaluate(iterable, bindings):
                run(depth + 1, {**bindings, name: value})

        run(0, dict(local))
        return result

    def lookup(self, name: str, local: dict) -> tp.Any:
        if name in local:
            return local[name]
        if name in self.namespace:
            return self.namespace[name]
        if hasattr(builtins, name):
            return getattr(builtins, name)
        raise NameError(f"name '{name}' is not defined")
