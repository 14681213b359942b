"""Ends the test run with every thread's traceback instead of letting a solve hang it."""

import contextlib
import faulthandler


@contextlib.contextmanager
def fails_instead_of_hanging(seconds: float = 300.0):
    faulthandler.dump_traceback_later(seconds, exit=True)
    try:
        yield
    finally:
        faulthandler.cancel_dump_traceback_later()
