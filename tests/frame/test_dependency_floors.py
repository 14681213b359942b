"""The versions CI pins for its floors run are the floors pyproject.toml declares."""

import pathlib
import tomllib

from packaging.requirements import Requirement
from packaging.version import Version

ROOT = pathlib.Path(__file__).resolve().parents[2]


def versions_by_operator(requirements: list[str], operator: str) -> dict[str, Version]:
    versions = {}
    for text in requirements:
        requirement = Requirement(text)
        (version,) = [Version(specifier.version) for specifier in requirement.specifier
                      if specifier.operator == operator]
        versions[requirement.name] = version
    return versions


def test_the_pinned_floors_are_the_declared_floors():
    project = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]
    declared = project["dependencies"] + [text for extra in project["optional-dependencies"].values()
                                          for text in extra]
    lines = (ROOT / ".ci" / "floors.txt").read_text().splitlines()
    pins = [line for line in lines if line and not line.startswith("#")]
    assert versions_by_operator(declared, ">=") == versions_by_operator(pins, "==")
