from __future__ import annotations

import ast
import enum

# Expression texts are composed by concatenation and read back by the host's
# evaluator, so an operand whose text binds more loosely than the operator it
# is placed next to must be parenthesised, or the arithmetic changes.


class Binding(enum.IntEnum):
    """How tightly a text holds together, tightest first (host precedence)."""

    ATOM = 0  # a name, an unsigned number, a call, an attribute, a parenthesised text
    POWER = 1  # a ** b
    UNARY = 2  # -a, +a, ~a
    PRODUCT = 3  # a * b, a / b, a // b, a % b, a @ b
    SUM = 4  # a + b, a - b
    LOOSEST = 5  # anything else, and texts that do not parse

    @classmethod
    def of(cls, text: str) -> Binding:
        source = text.strip()
        try:
            node = ast.parse(source, mode="eval").body
        except SyntaxError:
            return cls.LOOSEST
        if node.col_offset > 0:
            # The top node starts after the first character: the text is
            # wrapped in parentheses as a whole.
            return cls.ATOM
        if isinstance(node, (ast.Name, ast.Constant, ast.Call, ast.Attribute, ast.Subscript)):
            return cls.ATOM
        if isinstance(node, ast.UnaryOp) and not isinstance(node.op, ast.Not):
            return cls.UNARY
        if isinstance(node, ast.BinOp):
            return _BINARY_BINDING.get(type(node.op), cls.LOOSEST)
        return cls.LOOSEST


_BINARY_BINDING = {
    ast.Pow: Binding.POWER,
    ast.Mult: Binding.PRODUCT,
    ast.Div: Binding.PRODUCT,
    ast.FloorDiv: Binding.PRODUCT,
    ast.Mod: Binding.PRODUCT,
    ast.MatMult: Binding.PRODUCT,
    ast.Add: Binding.SUM,
    ast.Sub: Binding.SUM,
}


def grouped(text: str, loosest: Binding) -> str:
    """The text as it may stand at a place that takes at most `loosest`."""
    return text if Binding.of(text) <= loosest else f"({text})"
