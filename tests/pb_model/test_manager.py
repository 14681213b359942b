import pytest

import halvex.kelvo_engine.bxpr as bx
import halvex.kelvo_engine.pbct as pb
from vx_encoder.core.manager import Manager
from vx_encoder.core.pboperations import PBVariable
from vx_encoder.core.variable import GeneratorVariable, Index, Variable


@pytest.fixture
def manager():
    return Manager()


def assert_maps_agree(manager):
    assert set(manager.pb2name) == set(manager.pb2bx) == set(manager.name2pb.values())
    for name, number in manager.name2pb.items():
        assert manager.pb2name[number] == name
        assert manager.pb2bx[number] is manager.bx_context.get_var(name)
        assert str(manager.pb2bx[number]) == name


def assert_fresh(manager):
    assert manager.name2pb == {} and manager.pb2bx == {} and manager.pb2name == {}
    assert manager.cnt_pbvar == 0
    assert isinstance(manager.bx_context, bx.Context)
    assert manager.pb_config.pb_encoder == pb.PB_Encoder_type.ADDER
    assert manager.pb_config.max_clauses_per_constraint == 1000000
    assert manager.pb_var_manager.next_variable == 1


def test_construction(manager):
    assert list(vars(manager)) == ["bx_context", "pb_config", "pb_var_manager", "name2genvar", "name2pb", "pb2bx",
                                   "pb2name", "cnt_pbvar"]
    assert manager.name2genvar == {}
    assert_fresh(manager)


def test_registering_a_name_twice_keeps_the_first_generator_variable(manager):
    manager.registration_generator_variables("x")
    first = manager.name2genvar["x"]
    assert manager.registration_generator_variables("x") is None
    assert manager.name2genvar["x"] is first
    assert isinstance(first, GeneratorVariable) and first.name == "x" and first.manager is manager


def test_add_variable_registers_a_name_once(manager):
    bx_var, pb_var = manager.add_variable("x(1,2)")
    assert str(bx_var) == "x(1,2)" and pb_var >= 1
    numbered_up_to = manager.pb_var_manager.next_variable
    assert manager.add_variable("x(1,2)") == (bx_var, pb_var)
    assert manager.add_variable("x(1,2)")[0] is bx_var
    assert manager.pb_var_manager.next_variable == numbered_up_to
    other_var, other_number = manager.add_variable("x(2,1)")
    assert other_number != pb_var and other_var != bx_var
    assert_maps_agree(manager)


def test_the_context_is_asked_once_per_name(manager):
    asked = []
    context = manager.bx_context

    class CountingContext:
        def get_var(self, name):
            asked.append(name)
            return context.get_var(name)

    manager.bx_context = CountingContext()
    for _ in range(3):
        manager.add_variable("x(1)")
        manager.get_pb_var(99)
    assert asked == ["x(1)", "_pbct_aux_0"]


def test_unknown_numbers_become_auxiliary_variables(manager):
    _, x = manager.add_variable("x(1)")
    assert manager.get_pb_var(x) is manager.pb2bx[x]
    assert manager.cnt_pbvar == 0
    first = manager.get_pb_var(7)
    assert str(first) == "_pbct_aux_0" and manager.cnt_pbvar == 1
    assert manager.get_pb_var(7) is first and manager.cnt_pbvar == 1
    assert str(manager.get_pb_var(8)) == "_pbct_aux_1"
    assert str(manager.get_pb_var(9, "p")) == "p_2"
    assert str(manager.get_pb_var(10)) == "_pbct_aux_3"
    assert manager.cnt_pbvar == 4
    assert manager.name2pb == {"x(1)": x, "_pbct_aux_0": 7, "_pbct_aux_1": 8, "p_2": 9, "_pbct_aux_3": 10}
    assert_maps_agree(manager)


def test_reset_starts_the_numbering_afresh_and_keeps_generator_variables(manager):
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    old_context, old_config, old_numberer = manager.bx_context, manager.pb_config, manager.pb_var_manager
    before = x(1, 2)
    manager.get_pb_var(50)
    manager.reset()
    assert_fresh(manager)
    assert manager.bx_context is not old_context
    assert manager.pb_config is not old_config and manager.pb_var_manager is not old_numberer
    assert manager.name2genvar == {"x": x}
    after = x(1, 2)
    assert after.pb_var == before.pb_var == 1
    assert after.bx_var is manager.bx_context.get_var("x(1,2)")
    assert str(manager.get_pb_var(50)) == "_pbct_aux_0"
    assert_maps_agree(manager)


def test_reset_of_an_unused_manager(manager):
    old_context = manager.bx_context
    manager.reset()
    assert_fresh(manager)
    assert manager.bx_context is not old_context


@pytest.mark.parametrize("items, name", [
    ((1, 2), "x(1,2)"),
    ((3,), "x(3)"),
    ((), "x()"),
    ((-1, 0), "x(-1,0)"),
    (("i", "j"), "x(i,j)"),
    (("i + 1", 2), "x(i + 1,2)"),
])
def test_generator_variable_names_its_occurrence(manager, items, name):
    manager.registration_generator_variables("x")
    occurrence = manager.name2genvar["x"](*items)
    assert isinstance(occurrence, Variable)
    assert occurrence.name == name
    assert (occurrence.bx_var, occurrence.pb_var) == manager.add_variable(name)
    assert str(occurrence.to_bx()) == name


def test_generator_variable_takes_the_text_of_model_indexes(manager):
    class ModelIndex:  # the model's index: its text is its expression
        def __str__(self):
            return "2 * i"

    manager.registration_generator_variables("y")
    assert manager.name2genvar["y"](ModelIndex(), 0).name == "y(2 * i,0)"


def test_occurrences_share_the_registered_variable(manager):
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    first, second, other = x(1, 2), x(1, 2), x(2, 1)
    assert first is not second
    assert first.bx_var is second.bx_var and first.pb_var == second.pb_var
    assert other.bx_var != first.bx_var and other.pb_var != first.pb_var
    assert first.to_bx() is first.bx_var


def test_core_variable_as_a_weighted_literal(manager):
    manager.registration_generator_variables("x")
    occurrence = manager.name2genvar["x"](4)
    literal = occurrence.to_pb()
    assert isinstance(literal, PBVariable)
    assert (literal.pb_var, literal.name, literal.coefficient) == (occurrence.pb_var, "x(4)", 1)


def test_unused_index_record():
    index = Index("i", 0, 5)
    assert (index.name, index.range_start, index.range_end, index.range_step) == ("i", 0, 5, 1)
