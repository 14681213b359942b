"""A pseudo-Boolean sum written with + in a loop, twice as long against once:
its text must cost time linear in the terms (the doubled sum about 2 times the
single, target at most 3). SumIt of the same cells is printed beside it, with
no target: each + is a call of the host, SumIt one join.

Run by hand: PYTHONPATH=. python bench/expression_sum_text.py [terms]
"""

import gc
import sys
import time

from vx_encoder.encode.expressions import SumIt
from vx_encoder.encode.variables import Variable

RUNS = 3  # the best of a few runs, as the machine may be shared
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


if __name__ == "__main__":
    main()
