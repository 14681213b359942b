import itertools

import pytest
from pysat.solvers import Solver

import halvex.kelvo_engine as ke
from vx_encoder.encode.expressions import Equiv, IfThenElse, Implication, Xor
from vx_encoder.encode.model import Model

# Comparisons whose encodings need auxiliary variables.
COMPARISONS = [
    ("at most 2 of 5", lambda x: x[0] + x[1] + x[2] + x[3] + x[4] <= 2, lambda v: sum(v[:5]) <= 2),
    ("weighted at least", lambda x: 2 * x[0] + 3 * x[1] + x[2] + 5 * x[3] >= 6,
     lambda v: 2 * v[0] + 3 * v[1] + v[2] + 5 * v[3] >= 6),
    ("weighted equal", lambda x: 2 * x[0] + 3 * x[1] + x[2] + x[4] == 3, lambda v: 2 * v[0] + 3 * v[1] + v[2] + v[4] == 3),
]

POSITIONS = [
    ("negation", lambda c, x: ~c, lambda h, v: not h),
    ("xor", lambda c, x: c ^ x[5], lambda h, v: h != v[5]),
    ("equivalence", lambda c, x: Equiv(c, x[5]), lambda h, v: h == v[5]),
    ("premise", lambda c, x: Implication(c, x[5]), lambda h, v: (not h) or v[5]),
    ("condition", lambda c, x: IfThenElse(c, x[5], ~x[0]), lambda h, v: v[5] if h else not v[0]),
    ("conclusion", lambda c, x: Implication(x[5], c), lambda h, v: (not v[5]) or h),
    ("plain", lambda c, x: c, lambda h, v: h),
]


@pytest.mark.parametrize("position, place, meaning", POSITIONS, ids=[p[0] for p in POSITIONS])
@pytest.mark.parametrize("name, comparison, holds", COMPARISONS, ids=[c[0] for c in COMPARISONS])
def test_comparison_keeps_its_meaning_in_every_position(name, comparison, holds, position, place, meaning,
                                                        text_reading):
    model = Model(ke.manager(), "polarity")
    x = model.create_variables("x", i=6)
    model.add_constraint(place(comparison(x), x))
    model.build_cnf()
    mapping = model._formula_container.mapping
    numbers = [mapping[f"x[{k}]"] for k in range(6)]
    with Solver(name="minisat22", bootstrap_with=model.get_cnf_storage().get_hard_clauses()) as solver:
        for values in itertools.product([False, True], repeat=6):
            allowed = solver.solve(assumptions=[n if value else -n for n, value in zip(numbers, values)])
            assert allowed == meaning(holds(values), values), values
