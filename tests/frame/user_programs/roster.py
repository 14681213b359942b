"""A MaxSAT roster: two nurses a shift, nobody on two shifts running, wishes as weighted
soft constraints, solved with RC2."""

import halvex.kelvo_engine as ke
from pysat.examples.rc2 import RC2
from pysat.formula import WCNF

from vx_encoder import Model, Sum

NURSES, SHIFTS = 4, 3
wishes = {(0, 0): 3, (1, 2): 2, (2, 1): 1, (3, 0): 2}   # (nurse, shift): how much it is wanted off
kmanager = ke.manager()
model = Model(kmanager, "roster")
works = model.create_variables("works", nurse=NURSES, shift=SHIFTS)
nurse, shift = model.get_indexes(["nurse", "shift"])
model.add_constraint(Sum(works[nurse, shift], nurse=range(NURSES)) == 2, shift=range(SHIFTS))
model.add_constraint(~(works[nurse, shift] & works[nurse, shift + 1]), nurse=range(NURSES), shift=range(SHIFTS - 1))
for (n, s), weight in wishes.items():
    model.add_soft_constraint(works[n, s], weight=weight, minimization=True)
assert model.build_wcnf()
storage, interpreter = kmanager.get_cnf_storage(), kmanager.get_witness_interpreter()
assert storage is not None and interpreter is not None
formula = WCNF()
for clause in storage.get_hard_clauses():
    formula.append(clause)
for clause, weight in storage.get_soft_clauses():
    formula.append(clause, weight=weight)
with RC2(formula) as solver:
    values = interpreter.interpret(solver.compute())
    cost: int = solver.cost
rostered = {name for name, value in values.items() if value and name.startswith("works[")}
assert all(sum(f"works[{n},{s}]" in rostered for n in range(NURSES)) == 2 for s in range(SHIFTS))
assert cost == sum(weight for (n, s), weight in wishes.items() if f"works[{n},{s}]" in rostered)
