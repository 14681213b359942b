import logging

import halvex.kelvo_engine as ke

logging.basicConfig(level=logging.WARNING, format="%(asctime)s %(name)s %(levelname)s: %(message)s")


def log_c(msg: str):
    """Hand a message to the engine's logger at the critical level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.critical)


def log_e(msg: str):
    """Hand a message to the engine's logger at the error level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.error)


def log_w(msg: str):
    """Hand a message to the engine's logger at the warning level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.warning)


def log_i(msg: str):
    """Hand a message to the engine's logger at the info level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.info)


def log_d(msg: str):
    """Hand a message to the engine's logger at the debug level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.debug)


def log_t(msg: str):
    """Hand a message to the engine's logger at the trace level.

    Args:
        msg: The message, passed on unchanged.
    """
    ke.log_encoder(msg, ke.log_level_type.trace)
