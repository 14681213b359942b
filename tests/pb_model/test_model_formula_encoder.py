import os

import pytest

import halvex.kelvo_engine as ke
from file_names import FORMS, named_with_nul
from vx_encoder import _exceptions
from vx_encoder.encode.expressions import Sum
from vx_encoder.encode.model import Model


class RecordingEncoder:
    """Stands in for the engine's formula encoder and records every call."""

    def __init__(self, storage=None, mapping=None):
        self.calls = []
        self.storage = storage
        self.mapping = mapping

    def __getattr__(self, name):
        def record(*args):
            self.calls.append((name, args))
            return {"get_cnf_storage": self.storage, "get_var_mapping": self.mapping}.get(name, f"{name} result")
        return record


class RecordingManager(ke.manager):
    def __init__(self, encoder):
        super().__init__()
        self.encoder = encoder
        self.created = []

    def create_formula_encoder(self, name):
        self.created.append(name)
        return self.encoder


def mapping_of(entries):
    mapping = ke.var_mapping()
    mapping.set_var_map(entries)
    return mapping


@pytest.fixture
def encoder():
    storage = ke.wcnf_storage()
    storage.add_hard_clause([1, 2])
    return RecordingEncoder(storage, mapping_of({"x[0,0]": 1, "x[0,1]": 2}))


@pytest.fixture
def kmanager(encoder):
    return RecordingManager(encoder)


def test_variables_go_to_the_encoder_by_name_and_sizes(kmanager, encoder, log):
    model = Model(kmanager, "fe", use_formula_encoder=True)
    assert ("info", "           ksfe : True") in log
    assert kmanager.created == [] and model._shift_target_variable == 0
    x = model.create_variables("x", i=3, j=4)
    with pytest.raises(_exceptions.VariableError, match="^Variable named x is already in use$"):
        model.create_variables("x", i=2)
    dummy = model.create_variables("dummy_var", d=1)
    assert kmanager.created == ["fe"]
    assert encoder.calls == [("create_variables", ("x", [3, 4])), ("create_variables", ("dummy_var", [1]))]
    # The engine's numbers: cells from 1 in creation order.
    assert (x.st_shift, dummy.st_shift) == (1, 13)
    assert model._shift_target_variable == 13
    assert model._variables == {} and model._manager.name2genvar == {}
    model.reset()
    assert model.create_variables("x", i=2).st_shift == 1  # the encoder forgot its variables


def test_constraints_go_to_the_encoder_as_text(kmanager, encoder):
    model = Model(kmanager, "fe", use_formula_encoder=True)
    x = model.create_variables("x", i=3, j=4)
    i, j = model.get_indexes(["i", "j"])
    constraint = Sum(x[i, j], j=range(4)) <= 1
    model.add_target(x[0, 0] + x[1, 1])
    model.add_constraint(constraint, i=range(3))
    model.add_target(x[0, 1])
    model.add_constraint(x[0, 0] | x[0, 1])
    model.add_soft_constraint(x[i, 0], i=range(3))
    model.add_soft_constraint(x[2, 2], 5, True)
    assert encoder.calls[1:] == [
        ("add_target", ("x(0,0).to_pb() + x(1,1).to_pb()",)),
        ("add_constraint", (str(constraint), "Foralls: {'i': range(0, 3)}")),
        ("add_target", ("x(0,1)",)),
        ("add_constraint", ("bx.or_s([x(0,0).to_bx(), x(0,1).to_bx()])", "Foralls: {}")),
        ("add_soft_constraint", ("x(i,0)", "Foralls: {'i': range(0, 3)}", 1, False)),
        ("add_soft_constraint", ("x(2,2)", "Foralls: {}", 5, True)),
    ]
    assert model.use_target is False and model._is_wcnf is True
    with pytest.raises(_exceptions.FormulaError, match="Current model already works with WCNF"):
        model.add_target(x[0, 0])
    with pytest.raises(_exceptions.TargetError, match="Soft constraint has already been defined"):
        model.add_constraint(x[0, 0] <= 0)


def test_builds_take_storage_and_mapping_from_the_encoder(kmanager, encoder, log):
    model = Model(kmanager, "fe", use_formula_encoder=True)
    assert model.get_cnf_storage() is None and model.get_var_mapping() is None and kmanager.created == []
    model.create_variables("x", i=1, j=2)
    assert model.build_cnf(7, True) is True
    assert ("generate_cnf", (7, True)) in encoder.calls  # the target's bound, used by an encoder with a target
    assert model.build_cnf() is True
    assert [call for call in encoder.calls if call[0] == "generate_cnf"][-1] == ("generate_cnf", ())
    assert kmanager.get_cnf_storage() is encoder.storage
    assert kmanager.get_witness_interpreter().interpret([-1, 2]) == {"x[0,0]": False, "x[0,1]": True}
    assert ("info", "      CNF build : started. Model <fe>; Target variables = 1") in log
    assert any(message.startswith("         action : CNF build finished (formula encoder). Duration = ")
               for _, message in log)
    model.add_soft_constraint(model.create_variables("y")[0])
    assert model.build_wcnf() is True
    assert ("info", "         action : WCNF build finished(formula encoder).") in log


def test_build_without_mapping_returns_false(log):
    encoder = RecordingEncoder(ke.wcnf_storage(), None)
    kmanager = RecordingManager(encoder)
    model = Model(kmanager, "fe", use_formula_encoder=True)
    assert model.build_cnf() is False
    assert ("error", "Variable mapping is empty") in log
    assert kmanager.get_cnf_storage() is encoder.storage
    assert kmanager.get_witness_interpreter() is None


def test_build_without_storage_is_refused():
    model = Model(RecordingManager(RecordingEncoder(None, None)), "fe", use_formula_encoder=True)
    with pytest.raises(_exceptions.BuildError, match="^CNF storage is empty$"):
        model.build_cnf()


def test_witness_and_metrics_are_forwarded_once_the_encoder_exists(kmanager, encoder, tmp_path):
    model = Model(kmanager, "fe", use_formula_encoder=True)
    assert model.save_metrics_json("m.json") is False and model.check_another_witness() is False
    assert kmanager.created == []
    model.create_variables("x", i=2)
    encoder.calls.clear()
    assert model.save_metrics_json("m.json") == "save_metrics_json result"
    assert model.save_metrics_csv("m.csv") == "save_metrics_csv result"
    assert model.reset() is None
    assert model.set_witness([1, -2]) is None
    assert model.set_another_witness([-1, 2]) is None
    assert model.check_another_witness() == "check_another_witness result"
    assert encoder.calls == [("save_metrics_json", ("m.json",)), ("save_metrics_csv", ("m.csv",)), ("reset", ()),
                             ("set_witness", ([1, -2],)), ("set_another_witness", ([-1, 2],)),
                             ("check_another_witness", ())]


def test_model_without_engine_manager_is_refused_clearly():
    model = Model(None, "fe", use_formula_encoder=True)
    with pytest.raises(_exceptions.BuildError, match="Kelvo manager is not set or empty"):
        model.create_variables("x", i=2)


# --- with the engine's own encoder ---

def engine_model():
    model = Model(ke.manager(), "fe", use_formula_encoder=True)
    return model, model.create_variables("x", i=3)


def test_a_target_left_out_of_a_weighted_build_is_said(log):
    model, x = engine_model()
    model.add_target(x[0] + x[1])
    model.add_soft_constraint(x[2], 4)
    assert model.build_wcnf() is True
    assert ("warning", "The target is not written into the WCNF: the formula encoder keeps it as its objective") \
        in log
    assert model._formula_encoder.get_objective() == [(1, 1), (2, 1)]
    assert model.get_cnf_storage().get_soft_clauses() == [([3], 4)]


def test_a_target_left_out_of_a_cnf_build_without_a_border_is_said(log):
    model, x = engine_model()
    model.add_target(x[0] + x[1])
    model.add_constraint(x[0] | x[2])
    assert model.build_cnf() is True
    warning = ("warning", "The target is not written into the CNF: the formula encoder keeps it as its objective")
    assert warning in log
    log.clear()
    assert model.build_cnf(1, True) is True  # bounded, the target is written
    assert warning not in log and len(model.get_cnf_storage().get_hard_clauses()) > 1


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("save", ["save_metrics_json", "save_metrics_csv"])
def test_metrics_files_take_the_names_open_takes(tmp_path, form, save):
    model, x = engine_model()
    model.add_constraint(x[0] | x[1])
    path = tmp_path / "metrics.txt"
    assert getattr(model, save)(FORMS[form](path)) is True
    assert os.listdir(tmp_path) == ["metrics.txt"] and path.read_text()


@pytest.mark.parametrize("as_bytes", [False, True], ids=["str", "bytes"])
@pytest.mark.parametrize("save", ["save_metrics_json", "save_metrics_csv"])
def test_metrics_files_refuse_a_name_with_nul(tmp_path, as_bytes, save):
    model, x = engine_model()
    model.add_constraint(x[0] | x[1])
    with pytest.raises(ValueError, match="^embedded null byte$"):
        getattr(model, save)(named_with_nul(tmp_path, as_bytes))
    assert os.listdir(tmp_path) == []
