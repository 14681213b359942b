"""Model files of the linear models: the solver writes them; the package makes their folder."""

import os
from pathlib import Path
import typing as tp

from vx_encoder.core.refusal import refuse

if tp.TYPE_CHECKING:
    from halvex.kelvo_engine.linsolver import LinearSolver

FilePath = tp.Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


def file_name(path: FilePath) -> str:
    """The file name of a path argument, taken as ``open()`` takes it.

    Raises:
        TypeError: The path is not str, bytes or os.PathLike.
        ValueError: The name holds a NUL character, which would cut it.
    """
    name = os.fsdecode(path)
    if "\0" in name:
        refuse(ValueError, "embedded null byte")
    return name


def write_model_file(solver: "LinearSolver", model_path: FilePath) -> None:
    path = Path(file_name(model_path))
    path.parent.mkdir(parents=True, exist_ok=True)
    solver.writeModel(path.as_posix())
