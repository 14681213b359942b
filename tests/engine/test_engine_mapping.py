import pytest

import halvex.kelvo_engine as ke

AUXILIARY_PREFIXES = ["_bxpr_aux", "_pbct_aux"]


@pytest.fixture
def mapping():
    entries = {"dummy_var[0]": 0, "x[0,0]": 1, "x[0,1]": 2, "y[0]": 3, "_pbct_aux[0,0,0]": 4,
               "_bxpr_aux[0,0,0]": 5}
    vm = ke.var_mapping()
    vm.set_var_map(entries)
    vm.build_inverse_map()
    return vm


def test_mapping_both_ways(mapping):
    assert len(mapping) == 6
    assert mapping.get_var_number("x[0,1]") == 2
    assert mapping.get_var_name(4) == "_pbct_aux[0,0,0]"
    assert mapping.get_var_name(0) == "dummy_var[0]"


@pytest.mark.parametrize("lookup", [lambda vm: vm.get_var_number("z[0]"), lambda vm: vm.get_var_name(99)])
def test_unknown_names_and_numbers_raise_key_error(mapping, lookup):
    with pytest.raises(KeyError):
        lookup(mapping)


def test_set_var_map_replaces_the_mapping(mapping):
    mapping.set_var_map({"a[0]": 7})
    assert mapping.get_var_map() == {"a[0]": 7}
    assert mapping.get_var_name(7) == "a[0]"
    with pytest.raises(KeyError):
        mapping.get_var_name(1)


@pytest.mark.parametrize("entries, error", [({1: 2}, TypeError), ({"x[0]": "1"}, TypeError),
                                             ({"x[0]": 1.0}, TypeError)])
def test_bad_entries_are_refused(entries, error):
    vm = ke.var_mapping()
    with pytest.raises(error):
        vm.set_var_map(entries)


def interpreter_for(mapping):
    interpreter = ke.witness_interpreter()
    interpreter.set_var_mapping(mapping)
    interpreter.set_auxiliary_vars(AUXILIARY_PREFIXES)
    return interpreter


def test_witness_interpretation_leaves_out_auxiliaries(mapping):
    interpreter = interpreter_for(mapping)
    assert interpreter.build_mapping_tables(True) is True
    values = interpreter.interpret([1, -2, 4, 5])
    assert values == {"dummy_var[0]": False, "x[0,0]": True, "x[0,1]": False, "y[0]": False}


def test_witness_interpretation_can_keep_auxiliaries(mapping):
    interpreter = interpreter_for(mapping)
    assert interpreter.build_mapping_tables(False) is True
    values = interpreter.interpret([-1, 2, 3, 4, -5, 99])
    assert values["_pbct_aux[0,0,0]"] is True and values["_bxpr_aux[0,0,0]"] is False
    assert values["x[0,1]"] is True


def test_empty_mapping_builds_no_tables():
    interpreter = interpreter_for(ke.var_mapping())
    assert interpreter.build_mapping_tables(True) is False
    with pytest.raises(RuntimeError, match="not built"):
        interpreter.interpret([1])


def test_manager_holds_storage_and_interpreter(mapping):
    manager = ke.manager()
    assert manager.get_cnf_storage() is None
    assert manager.get_witness_interpreter() is None
    storage = ke.wcnf_storage()
    interpreter = interpreter_for(mapping)
    manager.set_cnf_storage(storage)
    manager.set_witness_interpreter(interpreter)
    assert manager.get_cnf_storage() is storage
    assert manager.get_witness_interpreter() is interpreter
    storage.add_hard_clause([1])
    assert manager.get_cnf_storage().get_hard_clauses() == [[1]]
    manager.set_cnf_storage(None)
    manager.set_witness_interpreter(None)
    assert manager.get_cnf_storage() is None and manager.get_witness_interpreter() is None


def test_parts_added_in_bulk_read_as_one_dictionary_update():
    from vx_encoder._vx_native import variable_map
    vm = ke.var_mapping()
    vm.add_variable_cells("x", [2, 3], 1)
    vm.add_entries({"_pbct_aux[0,0,0]": 7, "x[1,2]": 9})
    vm.add_variable_cells("y", [], 10)
    vm.add_variable_cells("z", [0, 4], 11)
    expected = variable_map("x", [2, 3], 1)
    expected |= {"_pbct_aux[0,0,0]": 7, "x[1,2]": 9}
    expected |= variable_map("y", [], 10)
    assert vm.get_var_map() == expected and list(vm.get_var_map()) == list(expected)
    assert len(vm) == len(expected)
    assert (vm.get_var_number("x[1,2]"), vm.get_var_name(9), vm.get_var_name(10)) == (9, "x[1,2]", "y[]")
    with pytest.raises(KeyError):
        vm.get_var_name(6)


def test_bulk_cells_of_a_big_variable_are_all_found():
    vm = ke.var_mapping()
    vm.add_variable_cells("x", [300, 400], 5)
    vm.add_entries({"_bxpr_aux[0,0,0]": 120005})
    assert len(vm) == 120001
    assert vm.get_var_number("x[299,399]") == 120004 and vm.get_var_name(5 + 400 * 7 + 11) == "x[7,11]"


def random_operations(seed):
    """Cells, auxiliary runs and entries that often share names: the same
    variable twice, single cells given again, spellings that only look alike."""
    import random
    rng = random.Random(seed)
    operations = []
    for _ in range(rng.randrange(1, 7)):
        kind = rng.randrange(4)
        if kind == 3:
            prefixes = rng.sample(["_pbct_aux", "_bxpr_aux", "y"], rng.randrange(1, 3))
            runs = [[rng.randrange(len(prefixes)), rng.randrange(3), rng.randrange(3), rng.randrange(0, 4),
                     rng.randrange(0, 30)] for _ in range(rng.randrange(1, 4))]
            operations.append(("runs", prefixes, rng.randrange(2), runs))
        elif kind == 0:
            name = rng.choice(["x", "y", "_pbct_aux"])
            operations.append(("cells", name, [rng.randrange(1, 4) for _ in range(rng.randrange(1, 3))],
                               rng.randrange(0, 30)))
        else:
            names = [rng.choice([f"x[{rng.randrange(4)},{rng.randrange(4)}]", f"x[{rng.randrange(4)}]",
                                 f"x[0{rng.randrange(3)},1]", f"y[{rng.randrange(4)}]", "x[-0,1]",
                                 f"_pbct_aux[0,{rng.randrange(3)},0]", "x", "z[]"])
                     for _ in range(rng.randrange(1, 5))]
            entries = {name: rng.randrange(0, 30) for name in names}
            operations.append(("entries", entries))
    return operations


@pytest.mark.parametrize("seed", range(100))
def test_mapping_reads_as_the_dictionary_updates_of_its_parts(seed):
    import numpy as np
    from vx_encoder._vx_native import variable_map
    vm, expected = ke.var_mapping(), {}
    for operation in random_operations(seed):
        if operation[0] == "cells":
            _, name, sizes, first = operation
            vm.add_variable_cells(name, sizes, first)
            expected |= variable_map(name, sizes, first)
        elif operation[0] == "runs":
            _, prefixes, formula, runs = operation
            vm.add_auxiliary_runs(prefixes, formula, np.array(runs, dtype=np.int64).reshape(-1, 5))
            for prefix, instance, first_index, count, first in runs:
                expected |= {f"{prefixes[prefix]}[{formula},{instance},{first_index + t}]": first + t
                             for t in range(count)}
        else:
            vm.add_entries(operation[1])
            expected |= operation[1]
    assert list(vm.get_var_map().items()) == list(expected.items())
    assert len(vm) == len(expected)
    for name, number in expected.items():
        assert vm.get_var_number(name) == number
    for missing in ["x[9,9]", "x[00,1]", "q[0]", "x[1,1,1]", "_pbct_aux[0,1,9]", "_bxpr_aux[0,01,0]"]:
        if missing not in expected:
            with pytest.raises(KeyError):
                vm.get_var_number(missing)
    first_names = {}
    for name, number in expected.items():
        first_names.setdefault(number, name)
    for number in range(-1, 32):
        if number in first_names:
            assert vm.get_var_name(number) == first_names[number]
        else:
            with pytest.raises(KeyError):
                vm.get_var_name(number)
    interpreter = ke.witness_interpreter()
    interpreter.set_var_mapping(vm)
    interpreter.set_auxiliary_vars(["_pbct_aux", "x[1"])
    interpreter.build_mapping_tables(True)
    kept = {name: number for name, number in expected.items() if not name.startswith(("_pbct_aux", "x[1"))}
    model = [number if number % 3 else -number for number in range(1, 64)]
    assert interpreter.interpret(model) == {name: number > 0 and number % 3 != 0 for name, number in kept.items()}
