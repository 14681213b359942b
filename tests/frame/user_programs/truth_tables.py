"""Every builder's truth table over three variables: the models' answers, enumerated with
a SAT solver, are exactly the assignments where the builder's meaning holds."""

import itertools
from typing import Callable

import halvex.kelvo_engine as ke
from pysat.solvers import Solver

from vx_encoder import And, AndIt, Equiv, IfThenElse, Implication, Model, One, Or, OrIt, Sum, SumIt, Xor, XorIt, Zero
from vx_encoder.encode.expressions import Expression
from vx_encoder.encode.variables import Variable

Builder = Callable[[Variable], Expression]
Meaning = Callable[[tuple[bool, ...]], bool]


def answers(build: Builder) -> set[tuple[bool, ...]]:
    kmanager = ke.manager()
    model = Model(kmanager, "table")
    x = model.create_variables("x", k=3)
    model.add_constraint(build(x))
    model.build_cnf()
    storage, interpreter = kmanager.get_cnf_storage(), kmanager.get_witness_interpreter()
    assert storage is not None and interpreter is not None
    found = set()
    with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
        for solution in solver.enum_models():
            values = interpreter.interpret(solution)
            found.add(tuple(values[f"x[{k}]"] for k in range(3)))
    return found


TABLES: list[tuple[Builder, Meaning]] = [
    (lambda x: AndIt([x[0], x[1], x[2]]), all),
    (lambda x: OrIt([x[0], x[1], x[2]]), any),
    (lambda x: XorIt([x[0], x[1], x[2]]), lambda v: sum(v) % 2 == 1),
    (lambda x: SumIt([x[0], x[1], x[2]]) == 2, lambda v: sum(v) == 2),
    (lambda x: Equiv(x[0], x[1], x[2]), lambda v: len(set(v)) == 1),
    (lambda x: Implication(x[0], x[1] | x[2]), lambda v: not v[0] or v[1] or v[2]),
    (lambda x: IfThenElse(x[0], x[1], x[2]), lambda v: v[1] if v[0] else v[2]),
    (lambda x: IfThenElse(x[0] & One, x[1] | Zero, x[2]), lambda v: v[1] if v[0] else v[2]),
]
for build, meaning in TABLES:
    assert answers(build) == {v for v in itertools.product([False, True], repeat=3) if meaning(v)}

kmanager = ke.manager()
model = Model(kmanager, "ranges")
x = model.create_variables("x", k=3)
k = model.get_indexes(["k"])
model.add_constraint(And(x[k] | ~x[k], k=range(3)) & Or(x[k], k=range(3)) & ~Xor(x[k], k=range(3)))
model.add_constraint(Sum(x[k], k=range(3)) <= 2)
assert model.build_cnf()
