"""Worlds step in parallel from Python threads: the GIL is released while
a world steps, a world shared by threads steps one call at a time, and Ctrl-C
stops a long step."""

import _thread
import threading
import time

import numpy as np

import talvane

TIMEOUT = 120  # seconds; every wait below is bounded


def test_worlds_stepping_in_threads_end_as_stepped_one_after_another():
    seeds = range(6)
    alone = []
    for seed in seeds:
        w = talvane.World(48, 48, seed=seed, update="asynchronous" if seed % 2 else "synchronous")
        w.step(40)
        alone.append(w.pair_counts())
    worlds = [talvane.World(48, 48, seed=s, update="asynchronous" if s % 2 else "synchronous") for s in seeds]
    threads = [threading.Thread(target=w.step, args=(40,)) for w in worlds]
    for t in threads:
        t.start()
    for t in threads:
        t.join(TIMEOUT)
        assert not t.is_alive()
    for w, counts in zip(worlds, alone):
        assert w.generation == 40 and (w.pair_counts() == counts).all()


def test_one_world_shared_by_threads_steps_every_call():
    w = talvane.World(40, 40, seed=3)
    reference = w.copy()
    reference.step(8 * 10)
    threads = [threading.Thread(target=w.step, args=(10,)) for _ in range(8)]
    reader = threading.Thread(target=lambda: [w.pair_counts() for _ in range(200)])
    for t in threads + [reader]:
        t.start()
    for t in threads + [reader]:
        t.join(TIMEOUT)
        assert not t.is_alive()
    assert w.generation == 80
    assert (w.self_strategy == reference.self_strategy).all()


def test_step_lets_other_threads_run_and_stops_at_ctrl_c():
    # The helper waits until the step has begun, then interrupts it. It can
    # run during the step only if the step released the GIL; holding it, the
    # step would run all its generations (some seconds) before the helper ran.
    generations = 3000
    w = talvane.World(256, 256, seed=1)
    ran_during_step = threading.Event()

    def interrupt():
        deadline = time.monotonic() + TIMEOUT
        while w.generation == 0 and time.monotonic() < deadline:
            time.sleep(0.001)
        ran_during_step.set()
        _thread.interrupt_main()

    helper = threading.Thread(target=interrupt)
    helper.start()
    interrupted = False
    try:
        w.step(generations)
    except KeyboardInterrupt:
        interrupted = True
    helper.join(TIMEOUT)
    assert ran_during_step.is_set() and interrupted
    assert 0 < w.generation < generations
    assert w.pair_counts().sum() == 256 * 256
    before = w.generation
    w.step(1)
    assert w.generation == before + 1 and np.isin(w.self_strategy, range(8)).all()
