"""The package's main job, end to end: pseudo-Boolean models built as CNF and WCNF,
written out and solved where python-sat is installed; two linear models solved."""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import halvex.kelvo_engine as ke  # noqa: E402
import vx_encoder  # noqa: E402
from coverage import build_coverage, set_names  # noqa: E402
from linear_models import solve_array_model, solve_text_model  # noqa: E402
from queens import build_queens  # noqa: E402

try:
    from pysat.examples.rc2 import RC2
    from pysat.formula import WCNF
    from pysat.solvers import Solver
except ImportError:  # solving is optional
    Solver = None


def describe(storage: ke.wcnf_storage, path: str) -> None:
    storage.write_dimacs(path)
    print(f"  {storage.get_model_name()}: {storage.get_variable_count()} variables, "
          f"{len(storage.get_hard_clauses())} hard and {len(storage.get_soft_clauses())} soft clauses -> {path}")


def solve_queens(kmanager: ke.manager, n: int) -> None:
    storage = kmanager.get_cnf_storage()
    with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
        solver.solve()
        values = kmanager.get_witness_interpreter().interpret(solver.get_model())
    queens = {key for key, value in values.items() if value and key.startswith("x[")}
    for row in range(n):
        print("  " + " ".join("Q" if f"x[{row},{column}]" in queens else "." for column in range(n)))


def solve_coverage(kmanager: ke.manager) -> None:
    storage = kmanager.get_cnf_storage()
    formula = WCNF()
    for clause in storage.get_hard_clauses():
        formula.append(clause)
    for clause, weight in storage.get_soft_clauses():
        formula.append(clause, weight=weight)
    with RC2(formula) as solver:
        model = solver.compute()
        values = kmanager.get_witness_interpreter().interpret(model)
        print(f"  cheapest cover: sets {', '.join(set_names(values))}, cost {solver.cost}")


def main() -> None:
    print(f"vx_encoder {vx_encoder.__version__}")
    kmanager = ke.manager()
    folder = tempfile.mkdtemp(prefix="vx_examples_")
    n = 8
    build_queens(kmanager, n)
    describe(kmanager.get_cnf_storage(), os.path.join(folder, f"queens{n}.cnf"))
    if Solver is not None:
        solve_queens(kmanager, n)
    build_coverage(kmanager)
    describe(kmanager.get_cnf_storage(), os.path.join(folder, "coverage.wcnf"))
    if Solver is not None:
        solve_coverage(kmanager)
    solve_text_model()
    solve_array_model()


if __name__ == "__main__":
    main()
