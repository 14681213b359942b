"""Every Python snippet of the README runs as written, and prints what it says."""

import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"
SNIPPETS = re.findall(r"```python\n(.*?)```", README.read_text(), re.DOTALL)


def run_snippet(code: str) -> None:
    exec(compile(code, str(README), "exec"), {"__name__": "__readme__"})


def snippet_under(heading: str) -> str:
    section = README.read_text().split(heading, 1)[1]
    return re.search(r"```python\n(.*?)```", section, re.DOTALL).group(1)


@pytest.mark.parametrize("code", SNIPPETS, ids=[f"snippet{n}" for n in range(len(SNIPPETS))])
def test_every_snippet_runs_in_an_empty_folder(code, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippet(code)


def test_the_array_example_prints_its_results(capsys, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippet(snippet_under("## Linear models with variable arrays"))
    printed = capsys.readouterr().out.split("\n")
    assert printed[0].replace("\n", " ") == "[[3 3 0]"
    assert printed[1].strip() == "[2 2 4]]"
    assert float(printed[2]) == 58.0
    assert (tmp_path / "models" / "arrays.mps").is_file()


def test_the_cover_example_finds_the_cheapest_cover(capsys, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippet(snippet_under("## Soft constraints: solving the WCNF"))
    printed = capsys.readouterr().out.split("\n")
    assert int(printed[0]) == 5
    assert printed[1] == "['chosen[1]', 'chosen[3]', 'chosen[4]']"
    assert (tmp_path / "cover.wcnf").read_text().startswith("c cover\nh ")


def test_the_naming_example_shows_each_name_refused(capsys, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippet(snippet_under("## Naming rules"))
    refused = [line.split(" ", 1)[0] for line in capsys.readouterr().out.splitlines()]
    assert refused == ["x1", "x_y", "range"]


def test_the_target_example_finds_the_only_answer_within_its_bound(capsys, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    run_snippet(snippet_under("to optimise, build again with a tighter border"))
    assert capsys.readouterr().out.strip() == "['x[1]', 'x[3]']"
