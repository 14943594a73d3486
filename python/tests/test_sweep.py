"""talvane.sweep: the same table as scripts/sweep's results.csv, on threads
and on a Dask cluster alike; going on after an interruption."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pandas as pd
import pytest

import talvane

SOURCE = os.environ.get("TALVANE_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))

# A small Nowak-May grid: AllC with 10% AllD under play-self, two temptations, two seeds.
GRID = dict(vary={"b": "1.5:1.9:0.4", "seed": "1-2"},
            options={"payoffs": "1,0,{b},0", "size": 24, "play_self": True, "mix": "7/7:0.9,0/0:0.1"},
            measure=["share:7/7", "coop_same", "settled"], window="10:30", generations=30)


def test_same_table_as_scripts_sweep(batch_program, tmp_path):
    out = tmp_path / "sw"
    subprocess.run([sys.executable, os.path.join(SOURCE, "scripts", "sweep"), "--out", str(out), "--batch",
                    batch_program, "--vary", "b=1.5:1.9:0.4", "--vary", "seed=1-2", "--generations", "30",
                    "-j", "2", "--measure", "share:7/7,coop_same,settled", "--window", "10:30", "--",
                    "--payoffs", "1,0,{b},0", "--size", "24", "--play-self", "--mix", "7/7:0.9,0/0:0.1"],
                   check=True, capture_output=True, timeout=300)
    reference = pd.read_csv(out / "results.csv")
    table = talvane.sweep(**GRID, progress=False)
    pd.testing.assert_frame_equal(table, reference)
    assert list(table["b"]) == [1.5, 1.9, 1.5, 1.9]
    assert table["share:7/7"].nunique() == 4


def test_dask_cluster_of_two_workers_equals_threads():
    distributed = pytest.importorskip("distributed")
    local = talvane.sweep(**GRID, progress=False)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        on_cluster = talvane.sweep(**GRID, client=client, progress=False)
        assert len(client.scheduler_info()["workers"]) == 2
    pd.testing.assert_frame_equal(on_cluster, local)


def test_resume_keeps_what_is_there_and_runs_the_rest(tmp_path):
    out = tmp_path / "results.csv"
    full = talvane.sweep(**GRID, out=str(out), progress=False)
    pd.testing.assert_frame_equal(pd.read_csv(out), full)
    # As an interrupted sweep leaves it: two runs done. One of them is marked,
    # so that running it again would show.
    lines = out.read_text().splitlines()
    kept = lines[:3]
    kept[1] = kept[1].replace(",true,30,", ",true,29,", 1)
    out.write_text("\n".join(kept) + "\n")
    resumed = talvane.sweep(**GRID, out=str(out), progress=False)
    assert resumed.loc[0, "generation_reached"] == 29, "a finished run was run again"
    pd.testing.assert_frame_equal(resumed.iloc[1:], full.iloc[1:])
    pd.testing.assert_frame_equal(pd.read_csv(out), resumed)
    other = dict(GRID, measure=["coop_same"])
    with pytest.raises(ValueError, match="another sweep"):
        talvane.sweep(**other, out=str(out), progress=False)


def test_resume_after_the_process_is_killed(tmp_path):
    out = tmp_path / "results.csv"
    script = textwrap.dedent(f"""
        import talvane
        talvane.sweep(vary={{"b": "1.1:2.0:0.1", "seed": "1"}},
                      options={{"payoffs": "1,0,{{b}},0", "size": 120, "play_self": True,
                                "mix": "7/7:0.9,0/0:0.1"}},
                      measure=["share:7/7"], generations=300, out={str(out)!r}, jobs=1, progress=False)
    """)
    child = subprocess.Popen([sys.executable, "-c", script])
    try:
        deadline = time.time() + 120
        while time.time() < deadline and (not out.exists() or len(out.read_text().splitlines()) < 3):
            time.sleep(0.05)
        child.send_signal(signal.SIGKILL)
    finally:
        child.wait()
    partial = pd.read_csv(out)
    assert 2 <= len(partial) < 10, "the sweep should have been cut short with some runs written"
    whole = talvane.sweep(vary={"b": "1.1:2.0:0.1", "seed": "1"},
                          options={"payoffs": "1,0,{b},0", "size": 120, "play_self": True,
                                   "mix": "7/7:0.9,0/0:0.1"},
                          measure=["share:7/7"], generations=300, out=str(out), progress=False)
    assert len(whole) == 10
    pd.testing.assert_frame_equal(whole.iloc[:len(partial)], partial, check_dtype=False)


def test_runs_step_with_the_gil_released():
    # While a long run steps in one thread, this thread goes on counting.
    world = talvane.World(200, 200, seed=1)
    counted = []
    stop = threading.Event()

    def count():
        n = 0
        while not stop.is_set():
            n += 1
        counted.append(n)

    # A run long enough to tell the two apart: the generations double until
    # one takes more than 0.2 s (a few tries on any machine); then the run
    # is made again, from the same start, with the counter going.
    generations = 40
    for _ in range(8):
        before = time.perf_counter()
        world.copy()._run_measured(generations, ["coop_same"], 0, generations)
        if time.perf_counter() - before > 0.2:
            break
        generations *= 2
    counter = threading.Thread(target=count)
    counter.start()
    before = time.perf_counter()
    world._run_measured(generations, ["coop_same"], 0, generations)
    took = time.perf_counter() - before
    stop.set()
    counter.join()
    # Holding the GIL, the run would leave the counter at most a switch
    # interval (5 ms) of counting per generation piece; free, it counts all along.
    assert took > 0.05  # the run timed above at 0.2 s or more
    assert counted[0] > 200000 * took


def test_refusals():
    with pytest.raises(ValueError, match="no vary"):
        talvane.sweep(options={"payoffs": "1,0,{b},0"}, measure=["coop_same"], generations=5)
    with pytest.raises(ValueError, match="used nowhere"):
        talvane.sweep(vary={"b": [1.5]}, options={"size": 10}, measure=["coop_same"], generations=5)
    with pytest.raises(ValueError, match="ends after"):
        talvane.sweep(options={"size": 10}, measure=["coop_same"], window="1:9", generations=5)
    with pytest.raises(ValueError, match="unknown measurement"):
        talvane.sweep(options={"size": 10}, measure=["shares"], generations=5, progress=False)
    assert talvane.sweeps.vary_values("b", "1.1:2.1:0.1") == [
        "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "1.8", "1.9", "2.0", "2.1"]
