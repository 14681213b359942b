"""Three talks in two rooms over three slots: every talk once, no room double-booked,
two talks that share a speaker apart, solved with a SAT solver and read back by name."""

import halvex.kelvo_engine as ke
from pysat.solvers import Solver

from vx_encoder import AndIt, Implication, Model, Sum

TALKS, ROOMS, SLOTS = 3, 2, 3
kmanager = ke.manager()
model = Model(kmanager, "schedule")
at = model.create_variables("at", talk=TALKS, room=ROOMS, slot=SLOTS)
talk, room, slot = model.get_indexes(["talk", "room", "slot"])
model.add_constraint(Sum(at[talk, room, slot], room=range(ROOMS), slot=range(SLOTS)) == 1, talk=range(TALKS))
model.add_constraint(Sum(at[talk, room, slot], talk=range(TALKS)) <= 1, room=range(ROOMS), slot=range(SLOTS))
for shared_slot in range(SLOTS):   # talks 0 and 1 share a speaker
    model.add_constraint(Implication(Sum(at[0, room, shared_slot], room=range(ROOMS)) >= 1,
                                     AndIt([~at[1, r, shared_slot] for r in range(ROOMS)])))
assert model.build_cnf()
storage, interpreter = kmanager.get_cnf_storage(), kmanager.get_witness_interpreter()
assert storage is not None and interpreter is not None
with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
    assert solver.solve()
    values = interpreter.interpret(solver.get_model())
placed: dict[int, tuple[int, int]] = {}
for name, value in values.items():
    if value and name.startswith("at["):
        t, r, s = (int(part) for part in name[len("at["):-1].split(","))
        placed[t] = (r, s)
assert sorted(placed) == [0, 1, 2] and placed[0][1] != placed[1][1]
assert len(set(placed.values())) == TALKS
