"""How fast a solver finishes on the clauses of a bounded target and of
cardinality constraints, against python-sat's encodings of the same models.

Run by hand from the repository root: PYTHONPATH=src python bench/target_solving.py
(python-sat's PBEnc needs the `pindakaas` package). Prints medians over a few
seeds and the ratios measured in this run.

- Weighted set cover: every element lies in 3 random sets and needs one of them
  chosen; set costs 1..20; minimise the total cost. The optimum is proven by the
  border search: build_cnf(border, True), a fresh CaDiCaL on the clauses,
  border = cost - 1, until unsatisfiable. python-sat does the same search with
  PBEnc.leq(..., encoding=EncType.adder) and the same solver.
- Capacity pigeonhole: holes * capacity + 1 pigeons, each in some hole, each
  hole holding at most `capacity`; unsatisfiable. The seed shuffles the
  numbering of the cells, which moves CaDiCaL's times a lot. python-sat's
  reference is the fastest of its cardinality encodings on each instance.
"""

from __future__ import annotations

import multiprocessing
import random
import statistics
import time
from dataclasses import dataclass

from pysat.card import CardEnc
from pysat.card import EncType as CardEncType
from pysat.pb import EncType as PBEncType
from pysat.pb import PBEnc
from pysat.solvers import Solver

import halvex.kelvo_engine as ke
from vx_encoder import Model, SumIt

SOLVER = "cadical195"
SEEDS = 5
SET_COVER_SIZES = ((50, 100), (60, 120))
PIGEONHOLE_SIZES = ((6, 2), (5, 3), (7, 2))
PIGEONHOLE_TIME_LIMIT = 10.0  # only for the slowest references; the best take about a second
CARDINALITY_ENCODINGS = ("seqcounter", "totalizer", "sortnetwrk", "cardnetwrk", "mtotalizer", "kmtotalizer")

# Median clauses of the bounded target at the proving border, with the adder
# that pooled the bits of all terms per position (same instances and seeds).
CLAUSES_BEFORE = {(50, 100): 1161, (60, 120): 1432}


@dataclass
class Search:
    optimum: int
    seconds: float          # the whole search, encoding included
    proof_seconds: float    # the last, unsatisfiable round
    target_clauses: int     # of the bound at the last round


def set_cover(sets: int, elements: int, seed: int) -> tuple[list[list[int]], list[int]]:
    rng = random.Random(seed)
    members = [rng.sample(range(sets), 3) for _ in range(elements)]
    costs = [rng.randint(1, 20) for _ in range(sets)]
    return members, costs


def solve_round(clauses) -> tuple[list[int] | None, float]:
    start = time.perf_counter()
    with Solver(name=SOLVER, bootstrap_with=clauses) as solver:
        model = solver.get_model() if solver.solve() else None
    return model, time.perf_counter() - start


def search_with_this_project(members, costs) -> Search:
    start = time.perf_counter()
    kmanager = ke.manager()
    model = Model(kmanager, "cover")
    chosen = model.create_variables("chosen", s=len(costs))
    for sets in members:
        model.add_constraint(SumIt([chosen[s] for s in sets]) >= 1)
    model.add_target(SumIt([cost * chosen[s] for s, cost in enumerate(costs)]))
    numbers = [chosen(s) for s in range(len(costs))]
    border = sum(costs) - 1
    while True:
        model.build_cnf(border, True)
        clauses = kmanager.get_cnf_storage().get_hard_clauses()
        solution, seconds = solve_round(clauses)
        if solution is None:
            return Search(border + 1, time.perf_counter() - start, seconds, len(clauses) - len(members))
        values = set(solution)
        border = sum(cost for number, cost in zip(numbers, costs) if number in values) - 1


def search_with_pysat(members, costs) -> Search:
    start = time.perf_counter()
    cover = [[s + 1 for s in sets] for sets in members]
    literals = list(range(1, len(costs) + 1))
    border = sum(costs) - 1
    while True:
        bound = PBEnc.leq(lits=literals, weights=costs, bound=border, top_id=len(costs),
                          encoding=PBEncType.adder).clauses
        solution, seconds = solve_round(cover + bound)
        if solution is None:
            return Search(border + 1, time.perf_counter() - start, seconds, len(bound))
        border = sum(cost for literal, cost in zip(literals, costs) if solution[literal - 1] > 0) - 1


def median(values) -> float:
    return statistics.median(values)


def bench_set_cover():
    print(f"Weighted set cover, border search to the proven optimum ({SOLVER}, medians over {SEEDS} seeds)")
    print(f"{'instance':>10} {'ours s':>8} {'PBEnc s':>8} {'ratio':>6} {'proof':>6}"
          f" {'clauses':>8} {'PBEnc':>6} {'before':>7}")
    for sets, elements in SET_COVER_SIZES:
        ours, theirs = [], []
        for seed in range(SEEDS):
            instance = set_cover(sets, elements, seed)
            ours.append(search_with_this_project(*instance))
            theirs.append(search_with_pysat(*instance))
            assert ours[-1].optimum == theirs[-1].optimum, (sets, elements, seed)
        ratios = [a.seconds / b.seconds for a, b in zip(ours, theirs)]
        proof_ratios = [a.proof_seconds / b.proof_seconds for a, b in zip(ours, theirs)]
        clauses = median([a.target_clauses for a in ours])
        print(f"{f'{sets} x {elements}':>10} {median([a.seconds for a in ours]):>8.2f}"
              f" {median([b.seconds for b in theirs]):>8.2f} {median(ratios):>5.2f}x {median(proof_ratios):>5.2f}x"
              f" {clauses:>8.0f} {median([b.target_clauses for b in theirs]):>6.0f}"
              f" {clauses / CLAUSES_BEFORE[sets, elements]:>6.2f}x")


def pigeonhole_cells(holes: int, capacity: int, seed: int) -> list[list[int]]:
    """cell[p][h]: the variable of pigeon p in hole h, numbered in a shuffled order."""
    pigeons = holes * capacity + 1
    numbers = list(range(1, pigeons * holes + 1))
    random.Random(seed).shuffle(numbers)
    return [numbers[p * holes:(p + 1) * holes] for p in range(pigeons)]


def pigeonhole_with_this_project(holes: int, capacity: int, seed: int) -> list[list[int]]:
    cells = pigeonhole_cells(holes, capacity, seed)
    kmanager = ke.manager()
    model = Model(kmanager, "pigeonhole")
    order = sorted((number, p, h) for p, row in enumerate(cells) for h, number in enumerate(row))
    sits = model.create_variables("sits", cell=len(order))
    position = {(p, h): index for index, (_, p, h) in enumerate(order)}
    for p in range(len(cells)):
        model.add_constraint(SumIt([sits[position[p, h]] for h in range(holes)]) >= 1)
    for h in range(holes):
        model.add_constraint(SumIt([sits[position[p, h]] for p in range(len(cells))]) <= capacity)
    model.build_cnf()
    return kmanager.get_cnf_storage().get_hard_clauses()


def pigeonhole_with_pysat(holes: int, capacity: int, seed: int, encoding: str) -> list[list[int]]:
    cells = pigeonhole_cells(holes, capacity, seed)
    clauses = [list(row) for row in cells]
    top = len(cells) * holes
    for h in range(holes):
        bound = CardEnc.atmost(lits=[row[h] for row in cells], bound=capacity, top_id=top,
                               encoding=getattr(CardEncType, encoding))
        top = max(top, bound.nv)
        clauses += bound.clauses
    return clauses


def refute(clauses, answer) -> None:
    start = time.perf_counter()
    with Solver(name=SOLVER, bootstrap_with=clauses) as solver:
        satisfiable = solver.solve()
    answer.send((satisfiable, time.perf_counter() - start))


def refutation_seconds(clauses) -> float:
    """Seconds to prove the clauses unsatisfiable; the limit if not done by
    then. python-sat's CaDiCaL cannot be interrupted, so it runs in a child
    process that is ended at the limit."""
    receiver, sender = multiprocessing.Pipe(duplex=False)
    child = multiprocessing.Process(target=refute, args=(clauses, sender))
    child.start()
    if not receiver.poll(PIGEONHOLE_TIME_LIMIT):
        child.terminate()
        child.join()
        return PIGEONHOLE_TIME_LIMIT
    satisfiable, seconds = receiver.recv()
    child.join()
    assert not satisfiable
    return seconds


def bench_pigeonhole():
    print(f"\nCapacity pigeonhole, refutation ({SOLVER}, time limit {PIGEONHOLE_TIME_LIMIT:.0f} s,"
          f" medians over {SEEDS} seeds)")
    print(f"{'holes x cap':>11} {'ours s':>8} {'best s':>8} {'ratio':>6} {'clauses':>8} {'best is':>12}")
    for holes, capacity in PIGEONHOLE_SIZES:
        ours, best, clauses, winners = [], [], [], []
        for seed in range(SEEDS):
            own = pigeonhole_with_this_project(holes, capacity, seed)
            clauses.append(len(own))
            ours.append(refutation_seconds(own))
            times = {name: refutation_seconds(pigeonhole_with_pysat(holes, capacity, seed, name))
                     for name in CARDINALITY_ENCODINGS}
            winner = min(times, key=times.get)
            best.append(times[winner])
            winners.append(winner)
        ratios = [a / b for a, b in zip(ours, best)]
        print(f"{f'{holes} x {capacity}':>11} {median(ours):>8.2f} {median(best):>8.2f} {median(ratios):>5.2f}x"
              f" {median(clauses):>8.0f} {statistics.mode(winners):>12}")


if __name__ == "__main__":
    bench_set_cover()
    bench_pigeonhole()
