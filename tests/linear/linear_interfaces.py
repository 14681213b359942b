"""The two linear interfaces behind one small face, so that a test states a model
once and runs it on both; no tests of its own."""

from __future__ import annotations

import dataclasses
import typing as tp

import vx_encoder.linear_parser as text
import vx_encoder.linear_parser2 as arrays


@dataclasses.dataclass(frozen=True)
class Interface:
    name: str
    module: tp.Any
    # get_variables (text) or get_variable (arrays)
    make_variable: tp.Callable
    # Sum of a list of expressions.
    total: tp.Callable
    # What solve may return for a solved model; solve(is_feasible=True) raises otherwise.
    statuses: tp.Tuple
    # add_constraint's keywords of a lower and an upper bound.
    bound_keywords: tp.Tuple[str, str]

    def model(self, **options):
        return self.module.LinearModel(**options)

    def variable(self, model, name, kind: str, lower, upper, **dims):
        return self.make_variable(model, name, getattr(self.module.VariableType, kind), lower, upper, **dims)

    def add_row(self, model, expression, lower=None, upper=None) -> None:
        """lower ≤ expression ≤ upper, a missing side open."""
        keywords = {key: bound for key, bound in zip(self.bound_keywords, (lower, upper)) if bound is not None}
        model.add_constraint(expression, **keywords)

    def solve(self, model):
        status = model.solve() if self.module is text else model.solve(is_feasible=True)
        assert status in self.statuses
        return status

    def is_optimal(self, status) -> bool:
        return status is self.module.SolutionStatus.OPTIMAL


TEXT = Interface(
    "text",
    text,
    lambda model, *args, **dims: model.get_variables(*args, **dims),
    lambda terms: text.SumIt(list(terms)),
    (text.SolutionStatus.OPTIMAL, text.SolutionStatus.SUBOPTIMAL),
    ("lo", "hi"),
)
ARRAYS = Interface(
    "arrays",
    arrays,
    lambda model, *args, **dims: model.get_variable(*args, **dims),
    lambda terms: sum(terms),
    (arrays.SolutionStatus.OPTIMAL, arrays.SolutionStatus.SUBOPTIMAL),
    ("lower_bound", "upper_bound"),
)
BOTH = [TEXT, ARRAYS]
BOTH_IDS = [interface.name for interface in BOTH]

__all__ = ["ARRAYS", "BOTH", "BOTH_IDS", "Interface", "TEXT"]
