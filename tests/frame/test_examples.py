"""The examples' main script: where its files go, and what it says without python-sat."""

import pathlib

import pytest

from fresh_interpreter import run_fresh_interpreter

MAIN = pathlib.Path(__file__).resolve().parents[2] / "examples" / "main.py"
WRITTEN = {"queens8.cnf", "set_cover.wcnf"}


def run_main(folder: pathlib.Path, arguments: list[str], without_python_sat: bool = False) -> str:
    hide = 'sys.modules["pysat"] = None' if without_python_sat else ""
    return run_fresh_interpreter(f"""
        import runpy, sys
        {hide}
        sys.argv = ["main.py", *{arguments!r}]
        runpy.run_path({str(MAIN)!r}, run_name="__main__")
        """, folder)


@pytest.fixture
def temporary_folder(tmp_path, monkeypatch):
    """The folder the script's own temporary folders go to."""
    folder = tmp_path / "temporary"
    folder.mkdir()
    monkeypatch.setenv("TMPDIR", str(folder))
    return folder


@pytest.mark.parametrize("arguments, kept", [([], False), (["--keep"], True)])
def test_files_go_to_a_fresh_temporary_folder_removed_unless_kept(tmp_path, temporary_folder, arguments, kept):
    output = run_main(tmp_path, arguments)
    assert "cheapest cover" in output and "python-sat is not installed" not in output
    left = list(temporary_folder.iterdir())
    if kept:
        assert len(left) == 1 and {path.name for path in left[0].iterdir()} == WRITTEN
        assert f"kept {left[0]}" in output
    else:
        assert left == []


def test_files_go_to_the_folder_given_and_stay(tmp_path, temporary_folder):
    run_main(tmp_path, ["out/models"])
    assert {path.name for path in (tmp_path / "out" / "models").iterdir()} == WRITTEN
    assert list(temporary_folder.iterdir()) == []


def test_missing_python_sat_is_said_and_solving_skipped(tmp_path, temporary_folder):
    output = run_main(tmp_path, [], without_python_sat=True)
    assert "python-sat is not installed: the CNF/WCNF files are written but not solved" in output
    assert "cheapest cover" not in output
    assert "array model: objective" in output
