"""Tseytin conversion speed: the engine's bxpr against python-sat's Formula.

Run from the repository root after an in-place build:

    PYTHONPATH=. python bench/tseytin.py [--clauses 1000000] [--depth 100000]
                                         [--pysat-scale 0.1] [--pysat-depth 2000]

Cases: a conjunction of three-literal clauses (the common case: already in
clause form), its negation (one new variable per clause), and a deep formula
nesting alternating connectives. Each case is timed at a tenth of its size and
at its size (linear growth: 10x the size should cost at most 12x the time), and
python-sat clausifies the same formula; --pysat-scale runs python-sat on that
smaller size instead and compares time per unit of input, since at full size
it needs minutes and gigabytes (and its time grows faster than the size, so
the comparison favours python-sat).
"""

import argparse
import random
import sys
import threading
import time

import numpy as np
from pysat.formula import And, Atom, Formula, Neg, Or, XOr

import halvex.kelvo_engine.bxpr as bx

VARIABLES = 3000


def random_clauses(count, seed=1):
    rng = np.random.default_rng(seed)
    numbers = rng.integers(1, VARIABLES + 1, size=(count, 3))
    signs = rng.choice([-1, 1], size=(count, 3))
    return (numbers * signs).astype(np.int64)


def engine_cnf(clauses, negate):
    ctx = bx.Context()
    variables = [ctx.get_var(f"x{i}") for i in range(1, VARIABLES + 1)]
    offsets = np.arange(0, clauses.size + 1, 3, dtype=np.int64)
    formula = bx.from_clauses(clauses.ravel(), offsets, variables)
    return ctx, (~formula if negate else formula)


def pysat_cnf(clauses, negate):
    atoms = [None] + [Atom(i) for i in range(1, VARIABLES + 1)]
    literal = lambda n: atoms[n] if n > 0 else Neg(atoms[-n])  # noqa: E731
    formula = And(*[Or(*[literal(int(n)) for n in row]) for row in clauses])
    return Neg(formula) if negate else formula


def engine_deep(depth):
    """One connective per level, cycling through and, or and xor, so none flattens."""
    ctx = bx.Context()
    xs = [ctx.get_var(f"x{i}") for i in range(depth + 1)]
    formula = xs[0]
    for i in range(1, depth + 1):
        step = i % 3
        if step == 0:
            formula = bx.and_s([formula, xs[i]])
        elif step == 1:
            formula = bx.or_s([formula, ~xs[i]])
        else:
            formula = bx.xor_s([formula, xs[i]])
    return ctx, formula


def pysat_deep(depth):
    xs = [Atom(i + 1) for i in range(depth + 1)]
    formula = xs[0]
    for i in range(1, depth + 1):
        step = i % 3
        if step == 0:
            formula = And(formula, xs[i])
        elif step == 1:
            formula = Or(formula, Neg(xs[i]))
        else:
            formula = XOr(formula, xs[i])
    return formula


def time_engine(make, repeats=3):
    """Best processor time of a few conversions (the machine may be shared)."""
    best = float("inf")
    for _ in range(repeats):
        ctx, formula = make()
        start = time.process_time()
        template = formula.tseytin(ctx, "_bxpr_aux")
        best = min(best, time.process_time() - start)
    clauses = len(template.get_args()) if isinstance(template, bx.And) else 1
    return best, clauses


def time_pysat(make):
    Formula.cleanup()
    formula = make()
    start = time.process_time()
    formula.clausify()
    clauses = sum(1 for _ in formula)
    seconds = time.process_time() - start
    Formula.cleanup()
    return seconds, clauses


def run_deep_stack(function):
    """python-sat recurses once per nesting level: give it the stack it needs."""
    result = {}
    sys.setrecursionlimit(10_000_000)
    threading.stack_size(1 << 30)
    worker = threading.Thread(target=lambda: result.setdefault("value", function()))
    worker.start()
    worker.join()
    return result.get("value")


def report(name, size, make_engine, make_pysat, pysat_size):
    small_seconds, _ = time_engine(lambda: make_engine(size // 10))
    seconds, clauses = time_engine(lambda: make_engine(size))
    pysat = run_deep_stack(lambda: time_pysat(lambda: make_pysat(pysat_size)))
    rate = clauses / seconds
    print(f"{name}: size {size:,}")
    print(f"  engine   {seconds:9.4f} s  {clauses:>10,} clauses  {rate:14,.0f} clauses/s")
    print(f"  growth   {seconds / small_seconds:9.2f}x time for 10x size (target <= 12)")
    if pysat is None:
        print("  python-sat failed")
        return
    pysat_seconds, pysat_clauses = pysat
    pysat_rate = pysat_clauses / pysat_seconds
    # Same formula at a smaller size: compare time per unit of input size.
    speedup = (pysat_seconds / pysat_size) / (seconds / size)
    print(f"  pysat    {pysat_seconds:9.4f} s  {pysat_clauses:>10,} clauses  {pysat_rate:14,.0f} clauses/s"
          f"  (size {pysat_size:,})")
    print(f"  speed-up {speedup:9.1f}x per unit of input (target >= 20)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--clauses", type=int, default=1_000_000)
    parser.add_argument("--depth", type=int, default=100_000)
    parser.add_argument("--pysat-scale", type=float, default=0.1, help="python-sat's share of the clause count")
    parser.add_argument("--pysat-depth", type=int, default=2000,
                        help="python-sat's depth (its time grows faster than the depth)")
    args = parser.parse_args()
    clause_buffers = {n: random_clauses(n) for n in {args.clauses, args.clauses // 10,
                                                       max(1, int(args.clauses * args.pysat_scale))}}
    pysat_clauses = max(1, int(args.clauses * args.pysat_scale))
    pysat_depth = args.pysat_depth
    for negate in (False, True):
        report("negated conjunction of clauses" if negate else "conjunction of clauses", args.clauses,
               lambda n: engine_cnf(clause_buffers[n], negate), lambda n: pysat_cnf(clause_buffers[n], negate),
               pysat_clauses)
    report("deep formula (connectives)", args.depth, engine_deep, pysat_deep, pysat_depth)


if __name__ == "__main__":
    main()
