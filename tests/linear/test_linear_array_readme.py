"""The array-model example of the README runs and prints what it says."""

import re
from pathlib import Path

README = Path(__file__).resolve().parents[2] / "README.md"


def test_the_readme_example_runs(capsys):
    section = README.read_text().split("## Linear models with variable arrays", 1)[1]
    code = re.search(r"```python\n(.*?)```", section, re.DOTALL).group(1)
    exec(compile(code, str(README), "exec"), {})
    printed = capsys.readouterr().out.split("\n")
    assert printed[0].replace("\n", " ") == "[[3 3 0]"
    assert printed[1].strip() == "[2 2 4]]"
    assert float(printed[2]) == 58.0
