"""Read the map of a variable of 10,000,000 cells (1000 x 100 x 100) and
compare with a plain Python dictionary comprehension building the same keys
and numbers.

Run by hand: PYTHONPATH=. python bench/variable_map.py
"""

import gc
import itertools
import time

from vx_encoder.encode.variables import Variable

SIZES = {"i": 1000, "j": 100, "k": 100}
FIRST_NUMBER = 1
TARGET_RATIO = 3.0


def time_native(variable: Variable) -> tuple[float, dict]:
    start = time.perf_counter()
    mapping = variable.map
    return time.perf_counter() - start, mapping


def time_comprehension(name: str, sizes: list[int], first: int) -> tuple[float, dict]:
    start = time.perf_counter()
    mapping = {f"{name}[{','.join(map(str, cell))}]": number
               for number, cell in enumerate(itertools.product(*map(range, sizes)), first)}
    return time.perf_counter() - start, mapping


def main() -> None:
    variable = Variable("x", dict(SIZES), FIRST_NUMBER)
    cells = 1
    for size in SIZES.values():
        cells *= size

    native_seconds, native = time_native(variable)
    first_keys = list(itertools.islice(native.items(), 3))
    last_key = next(reversed(native.items()))
    native_length = len(native)
    del native
    gc.collect()

    python_seconds, python = time_comprehension(variable.name, list(SIZES.values()), FIRST_NUMBER)
    assert native_length == len(python) == cells
    assert first_keys == list(itertools.islice(python.items(), 3))
    assert last_key == next(reversed(python.items()))
    del python

    ratio = python_seconds / native_seconds
    print(f"cells                      : {cells:,}")
    print(f"Variable.map               : {native_seconds:.3f} s")
    print(f"dict comprehension         : {python_seconds:.3f} s")
    print(f"ratio (target >= {TARGET_RATIO:.0f})        : {ratio:.2f}x  {'ok' if ratio >= TARGET_RATIO else 'MISSED'}")


if __name__ == "__main__":
    main()
