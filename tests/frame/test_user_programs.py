"""The typical user programs the type checker reads are correct: each runs and checks its answers."""

import pathlib
import runpy

import pytest

PROGRAMS = sorted((pathlib.Path(__file__).parent / "user_programs").glob("*.py"))


@pytest.mark.parametrize("program", PROGRAMS, ids=[program.stem for program in PROGRAMS])
def test_program_runs_and_its_answers_hold(program, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    runpy.run_path(str(program), run_name="__main__")
