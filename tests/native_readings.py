"""The engine's readings of a model's texts, recorded as they pass."""

from vx_encoder import _vx_native as native


def recorded_readings(monkeypatch, method: str, kept=lambda result: True) -> list:
    """The results of ConstraintAssembler.<method> (read_hard or read_soft)
    from now on that `kept` accepts, in order, each handed on unchanged."""
    readings = []
    read = getattr(native.ConstraintAssembler, method)

    def recording(*arguments):
        result = read(*arguments)
        if kept(result):
            readings.append(result)
        return result
    monkeypatch.setattr(native.ConstraintAssembler, method, recording)
    return readings
