import logging

import halvex.kelvo_engine as ke

logging.basicConfig(level=logging.WARNING, format="%(asctime)s %(name)s %(levelname)s: %(message)s")


def log_c(msg: str):
    ke.log_encoder(msg, ke.log_level_type.critical)


def log_e(msg: str):
    ke.log_encoder(msg, ke.log_level_type.error)


def log_w(msg: str):
    ke.log_encoder(msg, ke.log_level_type.warning)


def log_i(msg: str):
    ke.log_encoder(msg, ke.log_level_type.info)


def log_d(msg: str):
    ke.log_encoder(msg, ke.log_level_type.debug)


def log_t(msg: str):
    ke.log_encoder(msg, ke.log_level_type.trace)
