import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb

from vx_encoder.core.engine_assumptions import converts_clauses_in_bulk, debug_shown, takes_terms_as_numbers
from vx_encoder.core.pboperations import AddOp, PBVariable, Sum, term_leaves
from vx_encoder.core.vx_logger import *


class FormulaPB:
    def __init__(self, expression, comparator, *border):
        """A pseudo-Boolean comparison of a weighted sum with a bound, or a sum to weigh.

        Args:
            expression: The weighted sum (``PBVariable``, ``AddOp``, ``Sum``).
            comparator: A ``pbct.Comparator_type``, or None for a sum to weigh.
            *border: The bound (two for ``BOTH`` between bounds), or None.
        """
        self.expression = expression
        self.comparator = comparator
        self.border = border

    def to_bx(self, manager):
        """The comparison encoded into clauses, as a Boolean formula.

        Args:
            manager: The ``Manager`` whose numbers and encoder are used.

        Returns:
            The conjunction of the encoder's clauses.

        Raises:
            ValueError: The encoder refuses the constraint.
        """
        if debug_shown():
            log_d(f"FormulaPB before to_bx: {self.expression}")
        constraint = constraint_of(self.expression, self.comparator, self.border)
        database = pb.VectorClauseDatabase(manager.pb_config)
        encoder = pb.pb2cnf(manager.pb_config)
        encoder.encode2(constraint, database, manager.pb_var_manager)
        if converts_clauses_in_bulk():
            formula = manager.clauses_to_bx(database)
        else:
            formula = _clauses_to_bx_one_by_one(database.get_clauses(), manager)
        if debug_shown():
            log_d(f"Bx formula from FormulaPB: {formula}")
        return formula

    def to_maxsat(self, manager, minimization):
        """The sum as weighted soft literals.

        Args:
            manager: The ``Manager`` whose numbers are used.
            minimization: Weigh the literals that make the sum smaller (True) or larger.

        Returns:
            (the conjunction of the literals, their weights).
        """
        if debug_shown():
            log_d(f"FormulaPB before to_maxsat: {self.expression}")
        weights = []
        literals = []
        for pb_var, coefficient in self.expression.to_maxsat():
            # A zero coefficient keeps its place with weight 0; the clause
            # assembly drops soft clauses of weight 0.
            weights.append(abs(coefficient))
            bx_var = manager.get_pb_var(pb_var)
            literals.append(~bx_var if (coefficient > 0) == bool(minimization) else bx_var)
        return bx.and_(literals), weights


def constraint_of(expression, comparator, border, lines: bool = True):
    """pb.PBConstraint(expression.to_pb(), comparator, *border), made from two
    lists of integers when the engine takes them, which saves an engine object
    per term. Reading the leaves shows no debug lines and has no effects: with
    debug shown (unless no lines are wanted) the weighted literals are listed
    as well, only for their lines; when reading the leaves fails, the listing
    gives the error of the first fault."""
    # A bound written True or False is the integer it stands for, as the engine's reader reads it.
    border = tuple(int(bound) if isinstance(bound, bool) else bound for bound in border)
    listed = expression.to_pb() if lines and type(expression) in _TERMS and debug_shown() else None
    if type(expression) in _TERMS and takes_terms_as_numbers():
        try:
            leaves = term_leaves(expression)
            return pb.PBConstraint.from_numbers([leaf.pb_var for leaf in leaves],
                                                [leaf.coefficient for leaf in leaves], comparator, *border)
        except Exception:
            pass
    return pb.PBConstraint(expression.to_pb() if listed is None else listed, comparator, *border)


_TERMS = (PBVariable, AddOp, Sum)


def _clauses_to_bx_one_by_one(clauses, manager):
    return bx.and_s([
        bx.or_s([manager.get_pb_var(literal) if literal > 0 else ~manager.get_pb_var(-literal)
                 for literal in clause])
        for clause in clauses
    ])
