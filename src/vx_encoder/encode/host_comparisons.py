"""The comparisons of a text the host evaluates, encoded by the engine.

A comparison becomes the encoder's clauses over the compared variables and
auxiliary ones, which hold exactly when some choice of the auxiliaries
satisfies them; under a ``~``, an exclusive or, an equivalence, an
implication's premise or an if-then-else condition that reading fails. So the
host's evaluation stands a placeholder variable for each comparison and the
engine encodes the placeholders by their polarity in the finished formula, by
the rules it applies to every text it reads itself: a comparison the formula
requires outright becomes its clauses, any other is tied to its placeholder in
the directions it occurs.
"""

from __future__ import annotations

import typing as tp

import halvex.kelvo_engine as ke
import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.formulapb import FormulaPB, constraint_of


class HostComparisons:
    """Stands for ``FormulaPB`` in one evaluation: each comparison's ``to_bx``
    gives a placeholder variable, and the comparison is kept for ``encoded``.

    Args:
        manager: The ``Manager`` of the evaluation.
    """

    def __init__(self, manager) -> None:
        self._manager = manager
        self._comparisons: tp.List[tp.Tuple[bx.BaseExpr, pb.PBConstraint]] = []

    def __call__(self, expression: tp.Any, comparator: tp.Any, *border: tp.Any) -> _PlaceholderComparison:
        return _PlaceholderComparison(self, expression, comparator, border)

    def placeholder_of(self, constraint: pb.PBConstraint) -> bx.BaseExpr:
        """A new placeholder standing for the constraint."""
        # No model name holds a blank: the placeholder is no variable of the model.
        placeholder = self._manager.bx_context.get_var(f"comparison {len(self._comparisons)}")
        self._comparisons.append((placeholder, constraint))
        return placeholder

    def encoded(self, formula: bx.BaseExpr) -> bx.BaseExpr:
        """The formula with every comparison encoded by its polarity in it; the
        manager's auxiliary count takes in the placeholders that stay and the
        encoder's auxiliaries, all named ``_pbct_aux_n``."""
        if not self._comparisons:
            return formula
        manager = self._manager
        variables = [manager.pb2bx[number] for number in range(1, manager.pb_var_manager.next_variable)]
        encoded, made = ke.encode_comparisons(formula, self._comparisons, variables, manager.cnt_pbvar,
                                              manager.pb_config)
        manager.cnt_pbvar += made
        return encoded


class _PlaceholderComparison:
    def __init__(self, comparisons: HostComparisons, expression, comparator, border: tuple):
        self._comparisons = comparisons
        self._formula = FormulaPB(expression, comparator, *border)

    def to_bx(self, manager) -> bx.BaseExpr:
        formula = self._formula
        constraint = constraint_of(formula.expression, formula.comparator, formula.border, lines=False)
        if formula.comparator == pb.Comparator_type.BOTH and len(formula.border) == 2:
            upper, lower = formula.border
            if upper != lower:
                # Between two bounds: one placeholder per bound.
                return bx.and_s([
                    self._comparisons.placeholder_of(
                        constraint_of(formula.expression, pb.Comparator_type.LEQ, (upper,), lines=False)),
                    self._comparisons.placeholder_of(
                        constraint_of(formula.expression, pb.Comparator_type.GEQ, (lower,), lines=False)),
                ])
        return self._comparisons.placeholder_of(constraint)

    def to_maxsat(self, manager, minimization):
        return self._formula.to_maxsat(manager, minimization)
