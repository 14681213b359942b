"""Size and speed of the engine's pseudo-Boolean encoder, and how well a solver
does on its clauses.

Run by hand from the repository root: PYTHONPATH=. python bench/pb_encoding.py
Prints clauses, auxiliary variables and encoding time (best of a few runs of
the encoder call alone) next to reference figures, then solve times of two
models encoded with the encoder's own choices and with adders for everything.
"""

from __future__ import annotations

import itertools
import threading
import time

from pysat.solvers import Solver

import halvex.kelvo_engine.pbct as pb

LEQ, GEQ, BOTH = pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH
SOLVE_TIME_LIMIT = 300.0

# A widely used C++ encoding library's adder, weights 1..n, LEQ half the total:
# (clauses, auxiliaries, seconds).
ADDER_REFERENCE = {1_000: (98_460, 9_858, 0.005), 10_000: (1_290_000, 129_000, 0.107)}
# A widely used Python SAT toolkit's cardinality encodings, measured here:
# name -> (best clauses, its encoding, seconds or None).
CARDINALITY_REFERENCE = {
    "at most 1 of 1000": (4_000, "ladder, 1,001 auxiliaries", None),
    "at most 500 of 1000": (37_277, "k-bounded totalizer; cardinality network 66,812", None),
    "at most 1000 of 10000": (519_413, "k-bounded totalizer", 0.18),
}


def make_config(cardinality_encodings: bool = True) -> pb.PBConfig:
    config = pb.PBConfig()
    config.max_clauses_per_constraint = 100_000_000
    config.cardinality_encodings = cardinality_encodings
    return config


def encode(weights, comparator, bound, repeats=5, config=None):
    """(clauses, auxiliaries, best seconds) of one constraint over 1..len(weights)."""
    config = config or make_config()
    best = float("inf")
    for _ in range(repeats):
        manager = pb.AuxVarManager(len(weights) + 1)
        lits = [pb.WeightedLit(v, w) for v, w in enumerate(weights, start=1)]
        constraint = pb.PBConstraint(lits, comparator, bound)
        database = pb.VectorClauseDatabase(config)
        encoder = pb.pb2cnf(config)
        start = time.perf_counter()
        encoder.encode2(constraint, database, manager)
        best = min(best, time.perf_counter() - start)
    return len(database), manager.next_variable - len(weights) - 1, best


def ratio(value, reference):
    return f"{value / reference:6.2f}x"


def bench_adders():
    print("General weights (adder networks), bound half of the total weight")
    print(f"{'weights':>22} {'n':>6} {'cmp':>4} {'clauses':>10} {'aux':>8} {'ms':>8}   vs reference")
    for n in (100, 1_000, 10_000):
        families = {"1..n": list(range(1, n + 1)), "1+(7919i mod 1000)": [1 + (7919 * i) % 1000 for i in range(1, n + 1)]}
        for family, weights in families.items():
            for comparator in (LEQ, BOTH):
                clauses, aux, seconds = encode(weights, comparator, sum(weights) // 2)
                line = f"{family:>22} {n:>6} {comparator.name:>4} {clauses:>10,} {aux:>8,} {seconds * 1e3:>8.2f}"
                if family == "1..n" and comparator == LEQ and n in ADDER_REFERENCE:
                    ref_clauses, ref_aux, ref_seconds = ADDER_REFERENCE[n]
                    line += (f"   clauses {ratio(clauses, ref_clauses)}  aux {ratio(aux, ref_aux)}"
                             f"  time {ratio(seconds, ref_seconds)}")
                print(line)


def bench_cardinality():
    print("\nCardinality constraints (the encoder's own choice)")
    print(f"{'constraint':>24} {'clauses':>10} {'aux':>8} {'ms':>8}   reference")
    for n, k in ((1_000, 1), (1_000, 500), (10_000, 1_000)):
        name = f"at most {k} of {n}"
        clauses, aux, seconds = encode([1] * n, LEQ, k)
        ref_clauses, ref_name, ref_seconds = CARDINALITY_REFERENCE[name]
        line = (f"{name:>24} {clauses:>10,} {aux:>8,} {seconds * 1e3:>8.2f}   {ref_clauses:,} ({ref_name}):"
                f" clauses {ratio(clauses, ref_clauses)}")
        if ref_seconds:
            line += f", time {ratio(seconds, ref_seconds)}"
        print(line)
    for n, k in ((1_000, 1), (1_000, 500), (10_000, 1_000)):
        clauses, aux, seconds = encode([1] * n, BOTH, k)
        print(f"{f'exactly {k} of {n}':>24} {clauses:>10,} {aux:>8,} {seconds * 1e3:>8.2f}")


class Model:
    """Clauses of several constraints over one numbering."""

    def __init__(self, variable_count: int, config: pb.PBConfig):
        self.manager = pb.AuxVarManager(1)
        self.variables = [self.manager.get_variable() for _ in range(variable_count)]
        self.database = pb.VectorClauseDatabase(config)
        self.encoder = pb.pb2cnf(config)

    def add(self, variables, comparator, bound):
        lits = [pb.WeightedLit(v, 1) for v in variables]
        self.encoder.encode2(pb.PBConstraint(lits, comparator, bound), self.database, self.manager)


def queens(n: int, config: pb.PBConfig) -> Model:
    model = Model(n * n, config)
    cell = lambda row, column: row * n + column + 1  # noqa: E731
    for line in range(n):
        model.add([cell(line, c) for c in range(n)], BOTH, 1)
        model.add([cell(r, line) for r in range(n)], BOTH, 1)
    for offset in range(-(n - 2), n - 1):
        model.add([cell(r, r - offset) for r in range(n) if 0 <= r - offset < n], LEQ, 1)
        model.add([cell(r, n - 1 - r + offset) for r in range(n) if 0 <= n - 1 - r + offset < n], LEQ, 1)
    return model


def pigeonhole(pigeons: int, holes: int, config: pb.PBConfig) -> Model:
    model = Model(pigeons * holes, config)
    sits = lambda pigeon, hole: pigeon * holes + hole + 1  # noqa: E731
    for pigeon in range(pigeons):
        model.add([sits(pigeon, h) for h in range(holes)], GEQ, 1)
    for hole in range(holes):
        model.add([sits(p, hole) for p in range(pigeons)], LEQ, 1)
    return model


def solve(model: Model, solver_name: str):
    """(answer or None on timeout, seconds)."""
    with Solver(name=solver_name, bootstrap_with=model.database.get_clauses()) as solver:
        timer = threading.Timer(SOLVE_TIME_LIMIT, solver.interrupt)
        timer.start()
        start = time.perf_counter()
        answer = solver.solve_limited(expect_interrupt=True)
        seconds = time.perf_counter() - start
        timer.cancel()
    return answer, seconds


def bench_solving():
    solver_name = "cadical195"
    print(f"\nSolving with {solver_name} (time limit {SOLVE_TIME_LIMIT:.0f} s)")
    print(f"{'model':>22} {'encoding':>18} {'clauses':>9} {'aux':>7} {'answer':>8} {'seconds':>9}")
    for name, build in (("60-queens", lambda c: queens(60, c)), ("pigeonhole 11/10", lambda c: pigeonhole(11, 10, c))):
        for label, cardinality in (("encoder's choices", True), ("plain adders", False)):
            model = build(make_config(cardinality))
            answer, seconds = solve(model, solver_name)
            shown = {True: "SAT", False: "UNSAT", None: "timeout"}[answer]
            aux = model.manager.next_variable - 1 - len(model.variables)
            print(f"{name:>22} {label:>18} {len(model.database):>9,} {aux:>7,} {shown:>8} {seconds:>9.2f}")


if __name__ == "__main__":
    bench_adders()
    bench_cardinality()
    bench_solving()
