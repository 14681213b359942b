"""A pseudo-Boolean sum written with + in a loop, twice as long against once:
its text must cost time linear in the terms (the doubled sum about 2 times the
single, target at most 3). SumIt of the same cells is printed beside it, with
no target: each + is a call of the host, SumIt one join. So is the cost of one
small expression a model writes by the million, a colouring's clause
~x[a, c] | ~x[b, c] with c an index: its writing and its text, each per clause.

Run by hand: PYTHONPATH=. python bench/expression_sum_text.py [terms]
"""

import gc
import sys
import time

from vx_encoder.encode.expressions import SumIt
from vx_encoder.encode.variables import Index, Variable

RUNS = 3  # the best of a few runs, as the machine may be shared
CLAUSES = 10_000
TARGET_DOUBLING_RATIO = 3.0


def best_processor_time(build, cells) -> float:
    best = float("inf")
    for _ in range(RUNS):
        gc.collect()
        start = time.process_time()
        len(str(build(cells)))
        best = min(best, time.process_time() - start)
    return best


def sum_by_plus(cells):
    total = cells[0]
    for cell in cells[1:]:
        total = total + cell
    return total


def best_clause_times() -> tuple[float, float]:
    """(writing, text) of one ~x[a, c] | ~x[b, c], in seconds of this thread."""
    x = Variable("x", {"v": 200, "c": 4}, 1)
    c = Index("c")
    edges = [(k % 200, (7 * k + 3) % 200) for k in range(CLAUSES)]
    writing = text = float("inf")
    for _ in range(RUNS):
        gc.collect()
        start = time.thread_time()
        clauses = [~x[a, c] | ~x[b, c] for a, b in edges]
        written = time.thread_time()
        for clause in clauses:
            str(clause)
        writing = min(writing, written - start)
        text = min(text, time.thread_time() - written)
    return writing / CLAUSES, text / CLAUSES


def main() -> None:
    terms = int(sys.argv[1]) if len(sys.argv) > 1 else 500_000
    x = Variable("x", {"i": 1000}, 1)
    cells = [x[k % 1000] for k in range(2 * terms)]
    single = best_processor_time(sum_by_plus, cells[:terms])
    double = best_processor_time(sum_by_plus, cells)
    sumit = best_processor_time(SumIt, cells[:terms])
    print(f"+ in a loop, {terms} terms: {single:.3f} s; {2 * terms} terms: {double:.3f} s; "
          f"ratio {double / single:.2f} (target at most {TARGET_DOUBLING_RATIO})")
    print(f"SumIt, {terms} terms: {sumit:.3f} s; + in a loop / SumIt: {single / sumit:.2f}")
    writing, text = best_clause_times()
    print(f"~x[a, c] | ~x[b, c], {CLAUSES} clauses: {writing * 1e6:.2f} µs to write, {text * 1e6:.2f} µs for its text")


if __name__ == "__main__":
    main()
