"""Per-call cost of reading a small constraint natively and instantiating it.

Rows (main-thread processor time per call, microseconds):

  hard: 10,000 colouring edges `bx.or_s([~(x(a,c).to_bx()), ~(x(b,c).to_bx())])`
      over index c with values [0..4], one shape: `read_hard` and `instantiate`
  soft: 10,000 `x(a)` of weight 1 + a % 9, minimized: `read_soft` and `instantiate`

Run by hand: OPENBLAS_NUM_THREADS=1 PYTHONPATH=src python bench/constraint_reading.py [--repeat R]
(the BLAS threads NumPy starts otherwise spin beside the main thread and, on a
machine of few cores, slow it).
"""

import argparse
import time

from vx_encoder import _vx_native as native

VERTICES = 2000
EDGES = 10000
COLOURS = 5


def per_call(function, items) -> float:
    start = time.thread_time()
    for item in items:
        function(item)
    return (time.thread_time() - start) / len(items) * 1e6


def edges():
    return [(e % VERTICES, (e * 7919 + 1) % VERTICES) for e in range(EDGES)]


def hard_row() -> tuple[float, float]:
    assembler = native.ConstraintAssembler()
    assembler.add_variable("x", [VERTICES, COLOURS], 1)
    texts = [f"bx.or_s([~(x({a},c).to_bx()), ~(x({b},c).to_bx())])" for a, b in edges()]
    values = [list(range(COLOURS))]
    read = []
    reading = per_call(lambda text: read.append(assembler.read_hard(text, ["c"], None)), texts)
    instantiating = per_call(lambda constraint: constraint.instantiate(values, 1), read)
    return reading, instantiating


def soft_row() -> tuple[float, float]:
    assembler = native.ConstraintAssembler()
    assembler.add_variable("x", [EDGES], 1)
    read = []
    reading = per_call(lambda a: read.append(assembler.read_soft(f"x({a})", [], 1 + a % 9, True)), range(EDGES))
    instantiating = per_call(lambda constraint: constraint.instantiate([], 1), read)
    return reading, instantiating


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=5, help="runs per row; the fastest counts")
    arguments = parser.parse_args()
    for name, row in (("hard", hard_row), ("soft", soft_row)):
        runs = [row() for _ in range(arguments.repeat)]
        reading = min(run[0] for run in runs)
        instantiating = min(run[1] for run in runs)
        print(f"{name}: read {reading:.2f} us, instantiate {instantiating:.2f} us, total {reading + instantiating:.2f} us")


if __name__ == "__main__":
    main()
