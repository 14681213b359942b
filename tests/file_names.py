"""File names in each form that open() takes, for the tests of the writers; no tests of its own."""

import os
import pathlib


class BytesPath:
    """An os.PathLike whose path is bytes."""

    def __init__(self, path: pathlib.Path):
        self._path = os.fsencode(path)

    def __fspath__(self) -> bytes:
        return self._path


FORMS = {
    "str": str,
    "bytes": os.fsencode,
    "Path": lambda path: path,
    "PathLike of bytes": BytesPath,
}


def named_with_nul(folder: pathlib.Path, as_bytes: bool, suffix: str = ".txt"):
    """A name that holds NUL: a writer that cuts it would write the file ``out`` in folder."""
    name = str(folder / "out") + "\0" + suffix
    return os.fsencode(name) if as_bytes else name


__all__ = ["FORMS", "named_with_nul"]
