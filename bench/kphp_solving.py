"""Capacity pigeonhole (kphp): how fast one CDCL solver refutes the package's
clauses against the peers' best cardinality encodings of the same model.

P pigeons, H holes of capacity C: every pigeon in some hole, at most C pigeons
per hole; unsatisfiable when P > H * C. Cell (p, h) is variable p * H + h + 1
on every side. The package states it on the model (`Sum(x[p, h], h=...) >= 1`
for every p, `Sum(x[p, h], p=...) <= C` for every h); python-sat's side is the
`kphp` form of ../shared/peers/pysat_by_hand.py with the solve added, in its
sequential counter and totalizer; pindakaas's side adds the same sums with its
sequential counter and totalizer. Every side is solved by CaDiCaL 1.9.5
through python-sat, in its own fresh process that imports only that side;
times are main-thread processor seconds (time.thread_time) from the first
modelling statement to the solver's answer, and of the solve alone.

Run by hand from the repository root: PYTHONPATH=src python bench/kphp_solving.py [runs]
(pip install pindakaas for its side). Prints medians over the runs and the
ratio of the package to the best peer. Goal: at most 1.2.
"""

from __future__ import annotations

import importlib
import json
import statistics
import subprocess
import sys
import time

SOLVER = "cadical195"
INSTANCES = ((19, 6, 3), (21, 5, 4), (15, 7, 2))
TIME_LIMIT = 30.0  # seconds a side may take; the slowest peers are left out past it
PEERS = ("pysat seqcounter", "pysat totalizer", "pindakaas seqcounter", "pindakaas totalizer")


def clauses_of_the_package(pigeons: int, holes: int, capacity: int) -> list[list[int]]:
    import halvex.kelvo_engine as ke
    from vx_encoder import Model, Sum

    kmanager = ke.manager()
    model = Model(kmanager, "kphp")
    x = model.create_variables("x", p=pigeons, h=holes)
    p, h = model.get_indexes(["p", "h"])
    model.add_constraint(Sum(x[p, h], h=range(holes)) >= 1, p=range(pigeons))
    model.add_constraint(Sum(x[p, h], p=range(pigeons)) <= capacity, h=range(holes))
    model.build_cnf()
    return kmanager.get_cnf_storage().get_hard_clauses()


def clauses_of_pysat(pigeons: int, holes: int, capacity: int, encoding: str) -> list[list[int]]:
    from pysat.card import CardEnc, EncType
    from pysat.formula import CNF

    top, clauses = pigeons * holes, []
    for p in range(pigeons):
        clauses.append([p * holes + h + 1 for h in range(holes)])
    for h in range(holes):
        encoded = CardEnc.atmost(lits=[p * holes + h + 1 for p in range(pigeons)], bound=capacity, top_id=top,
                                 encoding=getattr(EncType, encoding))
        top = max(top, encoded.nv)
        clauses.extend(encoded.clauses)
    return CNF(from_clauses=clauses, by_ref=True).clauses


def clauses_of_pindakaas(pigeons: int, holes: int, capacity: int, encoding: str) -> list[list[int]]:
    import pindakaas as pk

    encoder = {"seqcounter": pk.Encoder.SEQUENTIAL_COUNTER, "totalizer": pk.Encoder.TOTALIZER}[encoding]
    cnf = pk.CNF()
    cells = list(cnf.new_vars(pigeons * holes))
    for p in range(pigeons):
        cnf.add_clause(cells[p * holes:(p + 1) * holes])
    for h in range(holes):
        cnf.add_encoding(sum(cells[p * holes + h] for p in range(pigeons)) <= capacity, encoder)
    return [[int(literal) for literal in clause] for clause in cnf.clauses()]


# What each side imports, loaded before the clock starts.
IMPORTS = {"package": ("halvex.kelvo_engine", "vx_encoder"), "pysat": ("pysat.card", "pysat.formula"),
           "pindakaas": ("pindakaas",)}


def measure(side: str, pigeons: int, holes: int, capacity: int) -> dict[str, float]:
    from pysat.solvers import Solver

    for module in IMPORTS[side.split()[0]]:
        importlib.import_module(module)
    start = time.thread_time()
    if side == "package":
        clauses = clauses_of_the_package(pigeons, holes, capacity)
    else:
        peer, encoding = side.split()
        build = clauses_of_pysat if peer == "pysat" else clauses_of_pindakaas
        clauses = build(pigeons, holes, capacity, encoding)
    with Solver(name=SOLVER, bootstrap_with=clauses) as solver:
        solving = time.thread_time()
        satisfiable = solver.solve()
        end = time.thread_time()
    assert not satisfiable
    return {"total": end - start, "solve": end - solving, "clauses": len(clauses)}


def measured(side: str, instance: tuple[int, int, int]) -> dict[str, float] | None:
    """One fresh process's figures; None if it failed or ran past the limit."""
    try:
        run = subprocess.run([sys.executable, __file__, side, *map(str, instance)], capture_output=True, text=True,
                             timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        return None
    if run.returncode != 0:
        return None
    return json.loads(run.stdout)


def main(runs: int) -> None:
    print(f"Capacity pigeonhole, refuted by {SOLVER}; processor seconds, medians of {runs} fresh processes")
    print(f"{'P/H/C':>8} {'side':>22} {'clauses':>8} {'total s':>8} {'solve s':>8}")
    for instance in INSTANCES:
        results = {}
        for side in ("package", *PEERS):
            runs_of_side = [measured(side, instance) for _ in range(runs)]
            if any(run is None for run in runs_of_side):
                print(f"{'/'.join(map(str, instance)):>8} {side:>22}  failed or over {TIME_LIMIT:.0f} s")
                continue
            results[side] = {key: statistics.median(run[key] for run in runs_of_side) for key in ("total", "solve")}
            results[side]["clauses"] = runs_of_side[0]["clauses"]
            print(f"{'/'.join(map(str, instance)):>8} {side:>22} {results[side]['clauses']:>8.0f}"
                  f" {results[side]['total']:>8.3f} {results[side]['solve']:>8.3f}")
        peers = {side: result for side, result in results.items() if side != "package"}
        if "package" in results and peers:
            best = min(peers, key=lambda side: peers[side]["total"])
            print(f"{'':>8} package / best peer ({best}): {results['package']['total'] / peers[best]['total']:.2f}x")


if __name__ == "__main__":
    if len(sys.argv) > 2:
        print(json.dumps(measure(" ".join(sys.argv[1:-3]), *map(int, sys.argv[-3:]))))
    else:
        main(int(sys.argv[1]) if len(sys.argv) > 1 else 3)
