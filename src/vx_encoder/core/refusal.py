"""The one way the package refuses: log the message as an error, then raise it."""

from __future__ import annotations

from typing import NoReturn

from vx_encoder.core.vx_logger import log_e


def refuse(error_type: type[Exception], message: str) -> NoReturn:
    log_e(message)
    raise error_type(message)
