import halvex.kelvo_engine as ke


def debug_shown() -> bool:
    """Whether the engine's logger shows debug lines. The texts of a long term
    and of its clauses run to megabytes, so they are formed only then."""
    threshold = getattr(ke, "get_log_level", None)
    return threshold is None or int(threshold()) >= int(ke.log_level_type.debug)
