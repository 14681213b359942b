"""A type checker finds both packages typed, the native modules included, and
finds no error in correct user code: the README's snippets, the examples and
typical programs of one's own."""

import os
import pathlib
import re
import subprocess
import sys
import textwrap

import pytest

import halvex.kelvo_engine
import vx_encoder

USES_THE_PUBLIC_API = """
    from typing import assert_type

    import numpy as np

    import halvex.kelvo_engine as ke
    import halvex.kelvo_engine.linsolver
    from vx_encoder import LinearModel, Model, SolutionStatus, VariableType
    from vx_encoder import linear_parser2

    kmanager = ke.manager()
    assert_type(kmanager.get_cnf_storage(), ke.wcnf_storage | None)   # None before any build
    assert_type(kmanager.get_witness_interpreter(), ke.witness_interpreter | None)
    model = Model(kmanager, "pair")
    x = model.create_variables("x", i=2)
    model.add_constraint(x[0] | x[1])
    model.build_cnf()
    storage = kmanager.get_cnf_storage()
    assert storage is not None
    assert_type(storage.get_hard_clause_count(), int)
    interpreter = kmanager.get_witness_interpreter()
    assert interpreter is not None
    assert_type(interpreter.get_var_mapping(), ke.var_mapping | None)
    assert_type(interpreter.interpret([1, -2]), dict[str, bool])
    assert_type(model.get_cnf_storage(), ke.wcnf_storage | None)
    assert_type(ke.bxpr.Context(), ke.bxpr.Context)
    assert_type(ke.pbct.PBConfig().pb_encoder, ke.pbct.PB_Encoder_type)
    solver = ke.linsolver.LinearSolver()
    solver.addVars(2, np.zeros(2), np.ones(2))
    assert_type(solver.getModelStatus(), ke.linsolver.LinsolverModelStatus)
    linear = LinearModel(output_flag=False)
    linear.get_variables("y", VariableType.INTEGER, 0, 10, i=3)
    assert_type(linear.solve(), SolutionStatus)
    assert_type(linear_parser2.LinearModel(output_flag=False).solve(), linear_parser2.SolutionStatus)
"""


ROOT = pathlib.Path(__file__).resolve().parents[2]
USER_PROGRAMS = pathlib.Path(__file__).parent / "user_programs"


def type_check(paths: list[pathlib.Path], folder: pathlib.Path) -> subprocess.CompletedProcess:
    """mypy over the paths with the project's configuration, reading the packages the tests import."""
    pytest.importorskip("mypy", reason="the test extra installs mypy")
    package_roots = {os.path.dirname(os.path.dirname(module.__file__)) for module in (vx_encoder, halvex.kelvo_engine)}
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sorted(package_roots)))
    return subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--cache-dir", str(folder / "cache"),
                           "--config-file", str(ROOT / "pyproject.toml"), *map(str, paths)],
                          capture_output=True, text=True, cwd=folder, env=env)


def test_type_checker_reads_the_packages_and_their_stubs(tmp_path):
    script = tmp_path / "uses_the_public_api.py"
    script.write_text(textwrap.dedent(USES_THE_PUBLIC_API))
    checked = type_check([script], tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr
    assert checked.stdout.startswith("Success")


def test_correct_user_code_type_checks_clean(tmp_path):
    snippets = re.findall(r"```python\n(.*?)```", (ROOT / "README.md").read_text(), re.DOTALL)
    paths = []
    for number, snippet in enumerate(snippets):
        paths.append(tmp_path / f"readme_snippet{number}.py")
        paths[-1].write_text(snippet)
    paths += sorted((ROOT / "examples").glob("*.py")) + sorted(USER_PROGRAMS.glob("*.py"))
    checked = type_check(paths, tmp_path)
    assert checked.returncode == 0, checked.stdout + checked.stderr
