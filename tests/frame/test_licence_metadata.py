"""The wheel's metadata carries the MIT licence, its file and the project's classifiers."""

import email
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_the_wheel_metadata_holds_the_licence(tmp_path, monkeypatch):
    build = pytest.importorskip("scikit_build_core.build", reason="the build backend writes the metadata")
    monkeypatch.chdir(ROOT)
    dist_info = tmp_path / build.prepare_metadata_for_build_wheel(str(tmp_path))
    metadata = email.message_from_string((dist_info / "METADATA").read_text())
    assert metadata["License-Expression"] == "MIT"
    assert metadata.get_all("License-File") == ["LICENSE"]
    assert metadata["Author"] == "vx_encoder developers"
    assert {"Programming Language :: C++", "Typing :: Typed",
            "Programming Language :: Python :: 3.11"} <= set(metadata.get_all("Classifier"))
    assert (dist_info / "licenses" / "LICENSE").read_text() == (ROOT / "LICENSE").read_text()
    assert "Copyright (c) 2026 vx_encoder developers" in (ROOT / "LICENSE").read_text()
