"""A model's storage written by some threads while another builds the model
again and adds clauses to it: every text written is whole, and nothing crashes
(the run is a child process, so a crash fails the test)."""

from fresh_interpreter import run_fresh_interpreter

WRITERS_AND_A_BUILDER = """
import os
import sys
import threading

import numpy as np

import halvex.kelvo_engine as ke
from vx_encoder.encode.expressions import Sum
from vx_encoder.encode.model import Model

SIZE = 300
sys.setswitchinterval(1e-5)


def check_clause_count(text):
    # Cheap enough to hold the interpreter lock briefly: a line per clause, after the name and header.
    count = int(text.split("\\n", 2)[1].split()[3])
    assert text.count("\\n") == 2 + count, "a clause count that is not the header's"


def check_whole(text):
    header, body = text.split("\\n", 2)[1:]
    variables, count = map(int, header.split()[2:])
    literals = np.array(body.split(), dtype=np.int64)
    assert np.count_nonzero(literals == 0) == count and literals[-1] == 0, "a clause count that is not the header's"
    assert np.abs(literals).max() <= variables, "a torn clause"


def add_as_many_clauses_again(storage):
    literals = np.resize(np.arange(1, SIZE + 1, dtype=np.int32), 3 * len(storage))
    storage.add_hard_clauses(literals, np.arange(0, literals.size + 1, 3))


def one_round(path):
    model = Model(ke.manager(), "threads")
    x = model.create_variables("x", i=SIZE)
    i, k = model.get_indexes(["i", "k"])
    model.add_constraint(x[i] | ~x[i + 1], i=range(SIZE - 1))
    model.add_target(Sum(x[k], k=range(SIZE)))
    model.build_cnf(SIZE // 2, True)
    storage = model.get_cnf_storage()
    for _ in range(2):
        add_as_many_clauses_again(storage)
    started, done = threading.Event(), threading.Event()
    failures = []

    def write():
        try:
            while not done.is_set():
                storage.write_dimacs(path)
                started.set()
                check_clause_count(storage.to_dimacs())
        except BaseException as error:
            failures.append(error)
            started.set()

    def build():
        started.wait()
        for border in range(1, 4):
            # Its buffers move under a writer that reads without a lock.
            add_as_many_clauses_again(storage)
            model.build_cnf(border, border % 2 == 0)
        done.set()

    threads = [threading.Thread(target=write) for _ in range(2)] + [threading.Thread(target=build)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures, failures
    with open(path) as file:
        check_whole(file.read())


for _ in range(3):
    one_round(os.path.join(os.getcwd(), "model.cnf"))
print("whole")
"""


def test_writers_and_a_builder_share_one_storage(tmp_path):
    # Freed buffers are unmapped at once, so a read of one is a crash, not luck.
    assert run_fresh_interpreter(WRITERS_AND_A_BUILDER, tmp_path, MALLOC_MMAP_THRESHOLD_="131072") == "whole"
