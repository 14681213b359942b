"""An index value as the engine reads it in a clause template: an integer
plus integer multiples of the model's indexes, one term per index name.

The host names a cell by the canonical text of each such value, so that the
texts of one cell (``x[i - i]`` and ``x[0]``, ``x[i + 1]`` and ``x[1 + i]``) are
one variable of the Boolean context, as they are one cell for the engine's
reader, before the clauses are formed."""

from __future__ import annotations

import typing as tp
from dataclasses import dataclass
from operator import index as as_integer

# Past this exponent a power of an integer other than -1, 0 and 1 is left to
# the instances: its value would pass every literal anyway.
_LARGEST_FOLDED_EXPONENT = 64


@dataclass(frozen=True)
class AffineIndex:
    constant: int
    terms: tp.Tuple[tp.Tuple[str, int], ...]  # (index name, coefficient), by name, no coefficient 0

    @staticmethod
    def of_name(name: str) -> AffineIndex:
        return AffineIndex(0, ((name, 1),))

    @staticmethod
    def of_integer(value: int) -> AffineIndex:
        return AffineIndex(value, ())

    @property
    def is_constant(self) -> bool:
        return not self.terms

    def plus(self, other: AffineIndex) -> AffineIndex:
        coefficients = dict(self.terms)
        for name, coefficient in other.terms:
            coefficients[name] = coefficients.get(name, 0) + coefficient
        return AffineIndex(self.constant + other.constant, _terms_of(coefficients))

    def times(self, factor: int) -> AffineIndex:
        return AffineIndex(self.constant * factor, _terms_of({name: c * factor for name, c in self.terms}))

    def text(self) -> str:
        """The canonical text: the terms by index name, then the constant."""
        pieces = [(coefficient < 0, name if abs(coefficient) == 1 else f"{abs(coefficient)} * {name}")
                  for name, coefficient in self.terms]
        if self.constant != 0 or not pieces:
            pieces.append((self.constant < 0, str(abs(self.constant))))
        negative, first = pieces[0]
        text = f"-{first}" if negative else first
        for negative, piece in pieces[1:]:
            text += f" - {piece}" if negative else f" + {piece}"
        return text


def _terms_of(coefficients: tp.Dict[str, int]) -> tp.Tuple[tp.Tuple[str, int], ...]:
    return tuple(sorted((name, c) for name, c in coefficients.items() if c != 0))


def affine_of(value: tp.Any) -> tp.Optional[AffineIndex]:
    """The affine form of an index operand: an index's own, an integer's, or None."""
    form = getattr(value, "affine_form", None)
    if form is not None or hasattr(value, "affine_form"):
        return form
    if not hasattr(type(value), "__index__"):
        return None
    return AffineIndex.of_integer(as_integer(value))


def sum_of(left: tp.Any, right: tp.Any, sign: int) -> tp.Optional[AffineIndex]:
    a, b = affine_of(left), affine_of(right)
    return None if a is None or b is None else a.plus(b.times(sign))


def product_of(left: tp.Any, right: tp.Any) -> tp.Optional[AffineIndex]:
    a, b = affine_of(left), affine_of(right)
    if a is None or b is None:
        return None
    if b.is_constant:
        return a.times(b.constant)
    return b.times(a.constant) if a.is_constant else None


def power_of(base: tp.Any, exponent: tp.Any) -> tp.Optional[AffineIndex]:
    a, b = affine_of(base), affine_of(exponent)
    if a is None or b is None or not (a.is_constant and b.is_constant) or b.constant < 0:
        return None
    if b.constant > _LARGEST_FOLDED_EXPONENT and abs(a.constant) > 1:
        return None
    return AffineIndex.of_integer(a.constant ** b.constant)


def bitwise_of(left: tp.Any, right: tp.Any, operation: tp.Callable[[int, int], int]) -> tp.Optional[AffineIndex]:
    a, b = affine_of(left), affine_of(right)
    if a is None or b is None or not (a.is_constant and b.is_constant):
        return None
    return AffineIndex.of_integer(operation(a.constant, b.constant))


def cell_index_text(value: tp.Any) -> str:
    """An index value as a cell's name holds it: an affine value in its
    canonical text, anything else as written."""
    if type(value) is int:
        return str(value)
    form = affine_of(value)
    return str(value) if form is None else form.text()
