"""Model files of both linear interfaces read back by highspy: every column keeps
its integrality and the model its optimum, columns without entries among them."""

from __future__ import annotations

import highspy
import numpy as np
import pytest

from linear_interfaces import BOTH, BOTH_IDS

INTEGER = int(highspy.HighsVarType.kInteger)


def read_back(path) -> highspy.Highs:
    solver = highspy.Highs()
    solver.setOptionValue("output_flag", False)
    assert solver.readModel(str(path)) != highspy.HighsStatus.kError
    return solver


def random_model_with_unused_columns(interface, seed: int):
    """Columns of both kinds in random order; some in no row and without cost."""
    generator = np.random.default_rng(seed)
    model = interface.model(mip_rel_gap=0)
    cells, integral = [], []
    for k in range(int(generator.integers(3, 9))):
        kind = str(generator.choice(["INTEGER", "BINARY", "REAL"]))
        low = int(generator.integers(-3, 1)) if kind != "REAL" else float(generator.integers(-4, 1)) / 4
        high = low + (int(generator.integers(0, 4)) if kind != "REAL" else 0.5)
        cells.append(interface.variable(model, f"c{k}", kind, low, high, i=1)[0])
        integral.append(kind != "REAL")
    used = generator.random(len(cells)) < 0.5
    weights = generator.integers(1, 4, size=len(cells))
    terms = [int(weight) * cell for weight, cell, in_use in zip(weights, cells, used) if in_use]
    if terms:
        # A fractional bound: integer columns land on other values than real ones.
        interface.add_row(model, interface.total(terms), upper=float(generator.integers(0, 6)) + 0.5)
        model.add_target(interface.total(terms), False)
    return model, integral


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
def test_the_mps_file_declares_every_columns_integrality(interface, tmp_path):
    for seed in range(30):
        model, integral = random_model_with_unused_columns(interface, seed)
        interface.solve(model)
        path = tmp_path / f"model{seed}.mps"
        model.write_model(path)
        solver = read_back(path)
        read = [int(kind) == INTEGER for kind in solver.getLp().integrality_]
        assert read == integral, f"seed {seed}"
        solver.run()
        assert solver.getModelStatus() == highspy.HighsModelStatus.kOptimal, f"seed {seed}"
        assert solver.getInfo().objective_function_value == pytest.approx(model.objective_value, abs=1e-9)


@pytest.mark.parametrize("interface", BOTH, ids=BOTH_IDS)
@pytest.mark.parametrize("suffix", [".mps", ".lp"])
def test_an_unused_real_column_between_integer_ones_stays_real(interface, suffix, tmp_path):
    """u and w integer, b real in [0.25, 0.75] in no row: as integer it would leave no value."""
    model = interface.model()
    u = interface.variable(model, "u", "INTEGER", 0, 3, i=1)
    interface.variable(model, "b", "REAL", 0.25, 0.75, i=1)
    w = interface.variable(model, "w", "INTEGER", 0, 3, i=1)
    interface.add_row(model, interface.total([u[0], w[0]]), 1, 5)
    model.add_target(interface.total([u[0], w[0]]), True)
    model.write_model(tmp_path / f"model{suffix}")
    solver = read_back(tmp_path / f"model{suffix}")
    lp = solver.getLp()  # the LP reader numbers columns as they first appear
    assert dict(zip(lp.col_names_, map(int, lp.integrality_))) == {"u(0)": INTEGER, "b(0)": 0, "w(0)": INTEGER}
    solver.run()
    assert solver.getModelStatus() == highspy.HighsModelStatus.kOptimal
    assert solver.getInfo().objective_function_value == 1
