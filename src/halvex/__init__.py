"""The engine library's package; the engine itself is ``halvex.kelvo_engine``."""
