"""The package's main job, end to end: pseudo-Boolean models built as CNF and WCNF,
written out and solved where python-sat is installed; two linear models solved.

Usage: python examples/main.py [FOLDER] [--keep]

The CNF/WCNF files go to FOLDER (created if missing, left in place); without
it they go to a fresh temporary folder, removed at the end unless --keep is
given.
"""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import halvex.kelvo_engine as ke  # noqa: E402
import vx_encoder  # noqa: E402
from linear_models import solve_array_model, solve_text_model  # noqa: E402
from queens import build_queens  # noqa: E402
from set_cover import build_set_cover, set_names  # noqa: E402

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


def built(kmanager: ke.manager) -> tuple[ke.wcnf_storage, ke.witness_interpreter]:
    """The storage and the witness interpreter of the model built last."""
    storage, interpreter = kmanager.get_cnf_storage(), kmanager.get_witness_interpreter()
    assert storage is not None and interpreter is not None, "no model was built"
    return storage, interpreter


def solve_queens(kmanager: ke.manager, n: int) -> None:
    storage, interpreter = built(kmanager)
    with Solver(name="minisat22", bootstrap_with=storage.get_hard_clauses()) as solver:
        solver.solve()
        values = interpreter.interpret(solver.get_model())
    queens = {key for key, value in values.items() if value and key.startswith("x[")}
    for row in range(n):
        print("  " + " ".join("Q" if f"x[{row},{column}]" in queens else "." for column in range(n)))


def solve_set_cover(kmanager: ke.manager) -> None:
    storage, interpreter = built(kmanager)
    formula = WCNF()
    for clause in storage.get_hard_clauses():
        formula.append(clause)
    for clause, weight in storage.get_soft_clauses():
        formula.append(clause, weight=weight)
    with RC2(formula) as solver:
        model = solver.compute()
        values = interpreter.interpret(model)
        print(f"  cheapest cover: sets {', '.join(set_names(values))}, cost {solver.cost}")


def parse_arguments(arguments: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description="Build, write and solve the example models.")
    parser.add_argument("folder", nargs="?", help="where the CNF/WCNF files go (default: a fresh temporary folder)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder instead of removing it")
    return parser.parse_args(arguments)


def run_examples(folder: str) -> None:
    print(f"vx_encoder {vx_encoder.__version__}; files go to {folder}")
    if Solver is None:
        print("python-sat is not installed: the CNF/WCNF files are written but not solved "
              "(pip install python-sat to solve them)")
    kmanager = ke.manager()
    n = 8
    build_queens(kmanager, n)
    describe(built(kmanager)[0], os.path.join(folder, f"queens{n}.cnf"))
    if Solver is not None:
        solve_queens(kmanager, n)
    build_set_cover(kmanager)
    describe(built(kmanager)[0], os.path.join(folder, "set_cover.wcnf"))
    if Solver is not None:
        solve_set_cover(kmanager)
    solve_text_model()
    solve_array_model()


def main(arguments: list[str] | None = None) -> None:
    options = parse_arguments(arguments)
    if options.folder is not None:
        os.makedirs(options.folder, exist_ok=True)
        run_examples(options.folder)
        return
    folder = tempfile.mkdtemp(prefix="vx_examples_")
    try:
        run_examples(folder)
    finally:
        if options.keep:
            print(f"kept {folder}")
        else:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
