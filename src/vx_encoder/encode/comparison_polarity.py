"""Comparisons whose encoding has auxiliary variables, used where they are negated.

A comparison becomes the encoder's clauses over the compared variables and
auxiliary ones; the clauses hold exactly when some choice of the auxiliaries
satisfies them. That reading survives conjunction and disjunction, but not
negation: under a ``~``, an exclusive or, an equivalence, an implication's
premise or an if-then-else condition, a bad choice of the auxiliaries would
satisfy the negated clauses although the comparison holds. Such a comparison
is therefore replaced by a selector variable defined in both directions: the
selector implies the comparison's clauses, and its negation implies the
clauses of the complementary comparison.
"""

from __future__ import annotations

import typing as tp

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.engine_assumptions import PBCT_AUXILIARY_PREFIX
from vx_encoder.core.formulapb import FormulaPB

# Text that may place a sub-formula where it is negated.
_NEGATING_TEXTS = ("~(", "bx.xor_s(", "bx.eq_s(", "bx.impl_s(", "bx.ite_s(")


def may_negate_a_comparison(text: str) -> bool:
    """A cheap test on the text: False means no comparison can stand negated."""
    return "FormulaPB(" in text and any(piece in text for piece in _NEGATING_TEXTS)


def negates_auxiliary_comparison(formula: bx.BaseExpr) -> bool:
    """Whether a compound sub-formula holding encoder auxiliaries is used negated."""
    seen = set()
    stack = [(formula, True)]
    while stack:
        node, positive = stack.pop()
        if (node, positive) in seen:
            continue
        seen.add((node, positive))
        if isinstance(node, (bx.Variable, bx.One, bx.Zero)):
            continue
        if isinstance(node, bx.Not):
            (child,) = node.get_args()
            if not isinstance(child, bx.Variable):
                stack.append((child, not positive))
            continue
        if not positive and _holds_auxiliaries(node):
            return True
        arguments = node.get_args()
        if isinstance(node, bx.Xor):
            stack.extend((argument, polarity) for argument in arguments for polarity in (True, False))
        elif isinstance(node, bx.Ite):
            condition, then_branch, else_branch = arguments
            stack.extend([(condition, True), (condition, False), (then_branch, positive), (else_branch, positive)])
        else:
            stack.extend((argument, positive) for argument in arguments)
    return False


def _holds_auxiliaries(node: bx.BaseExpr) -> bool:
    return any(str(variable).startswith(PBCT_AUXILIARY_PREFIX) for variable in node.support())


def _complements(comparator, bound: int) -> tp.List[tp.Tuple[tp.Any, int]]:
    if comparator == pb.Comparator_type.LEQ:
        return [(pb.Comparator_type.GEQ, bound + 1)]
    if comparator == pb.Comparator_type.GEQ:
        return [(pb.Comparator_type.LEQ, bound - 1)]
    return [(pb.Comparator_type.LEQ, bound - 1), (pb.Comparator_type.GEQ, bound + 1)]


class ReifiedComparisons:
    """Stands for ``FormulaPB`` in an evaluation: each comparison becomes a selector
    variable, and the definitions of the selectors are collected in ``definitions``."""

    def __init__(self) -> None:
        self.definitions: tp.List[bx.BaseExpr] = []

    def __call__(self, expression: tp.Any, comparator: pb.Comparator_type, *border: int) -> _ReifiedComparison:
        return _ReifiedComparison(self, expression, comparator, border)


class _ReifiedComparison:
    def __init__(self, reified: ReifiedComparisons, expression, comparator, border: tuple):
        self.reified = reified
        self.expression = expression
        self.comparator = comparator
        self.border = border

    def to_bx(self, manager) -> bx.BaseExpr:
        holds = FormulaPB(self.expression, self.comparator, *self.border).to_bx(manager)
        (bound,) = self.border
        fails = bx.or_s([FormulaPB(self.expression, comparator, complement).to_bx(manager)
                         for comparator, complement in _complements(self.comparator, bound)])
        selector = manager.get_pb_var(manager.pb_var_manager.get_variable())
        self.reified.definitions += [bx.impl_s(selector, holds), bx.impl_s(~selector, fails)]
        return selector

    def to_maxsat(self, manager, minimization):
        return FormulaPB(self.expression, self.comparator, *self.border).to_maxsat(manager, minimization)
