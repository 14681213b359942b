"""The one way the package refuses: log the message as an error, then raise it."""

from __future__ import annotations

from typing import NoReturn

from vx_encoder.core.vx_logger import log_e


def refuse(error_type: type[Exception], message: str) -> NoReturn:
    log_e(message)
    raise error_type(message)


def refuse_reserved_name(kind: str, name: str) -> NoReturn:
    """Refuses a name that would change what a model's expression text means."""
    refuse(ValueError, f"{kind} name {name} is reserved by the expression language; "
                       "change the name to a valid one")
