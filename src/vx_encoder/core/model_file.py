"""Model files of the linear models: the solver writes them; the package makes their folder."""

from pathlib import Path
import typing as tp

if tp.TYPE_CHECKING:
    from halvex.kelvo_engine.linsolver import LinearSolver


def write_model_file(solver: "LinearSolver", model_path: tp.Union[Path, str]) -> None:
    path = model_path if isinstance(model_path, Path) else Path(model_path)
    path.parent.mkdir(parents=True, exist_ok=True)
    solver.writeModel(path.as_posix())
