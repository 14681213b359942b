"""An expression's text kept as pieces until it is read.

Joining at every operator would copy the whole text so far, so that a sum
written with + in a loop would cost time quadratic in its terms; both models'
expressions keep their operands' pieces instead and join them once.
"""

import typing as tp


def joined_pieces(pieces: tp.Any, text_field: str) -> str:
    """The text of nested pieces: texts, tuples of pieces, and objects whose
    ``text_field`` holds their own pieces. Without recursion: a sum of a
    million terms nests a million deep."""
    parts: list[str] = []
    pending = [pieces]
    while pending:
        piece = pending.pop()
        if type(piece) is str:
            parts.append(piece)
        elif type(piece) is tuple:
            pending.extend(reversed(piece))
        else:
            pending.append(getattr(piece, text_field))
    return "".join(parts)
