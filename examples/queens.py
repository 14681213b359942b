"""N queens as CNF: exactly one queen per row, at most one per column and per diagonal."""

import halvex.kelvo_engine as ke
from vx_encoder import Model, Sum, SumIt


def diagonals(n: int) -> list[list[tuple[int, int]]]:
    lines = []
    for shift in range(-n + 1, n):
        lines.append([(row, row - shift) for row in range(n) if 0 <= row - shift < n])
        lines.append([(row, shift + n - 1 - row) for row in range(n) if 0 <= shift + n - 1 - row < n])
    return [line for line in lines if len(line) > 1]


def build_queens(kmanager: ke.manager, n: int) -> Model:
    model = Model(kmanager, f"queens{n}")
    describe_queens(model, n)
    model.build_cnf()
    return model


def describe_queens(model: Model, n: int) -> None:
    x = model.create_variables("x", i=n, j=n)
    i, j = model.get_indexes(["i", "j"])
    model.add_constraint(Sum(x[i, j], j=range(n)) == 1, i=range(n))
    model.add_constraint(Sum(x[i, j], i=range(n)) <= 1, j=range(n))
    for line in diagonals(n):
        model.add_constraint(SumIt([x[row, column] for row, column in line]) <= 1)
