"""The same seed and options give the same worlds and counts in Python as in
talvane-batch, byte for byte."""

import pytest

import talvane

# (talvane-batch options, World keyword options), each pair meaning the same run.
CASES = [
    ([], {}),
    (["--layout", "random"], {"layout": "random"}),
    (["--layout", "segregated", "--self-pool", "0,6", "--other-pool", "2"],
     {"layout": "segregated", "self_pool": [0, 6], "other_pool": [2]}),
    (["--payoffs", "4,0,5,1", "--play-self", "--extra-point"],
     {"payoffs": (4, 0, 5, 1), "play_self": True, "extra_point": True}),
    (["--payoffs", "1,0,1.9,0"], {"payoffs": (1, 0, 1.9, 0)}),
    (["--competition", "infinite"], {"competition": "infinite"}),
    (["--size", "20x37", "--edges", "fixed", "--neighbourhood", "von-neumann"],
     {"rows": 20, "cols": 37, "edges": "fixed", "neighbourhood": "von-neumann"}),
    (["--update", "asynchronous", "--mutation", "0.01"], {"update": "asynchronous", "mutation": 0.01}),
    (["--update", "fermi", "--noise", "150", "--size", "30"],
     {"update": "fermi", "noise": 150.0, "rows": 30, "cols": 30}),
    (["--size", "200", "--threads", "2"], {"rows": 200, "cols": 200, "threads": 2}),
    (["--mix", "7/7:0.9,0/0:0.1", "--layout", "random"], {"mix": {(7, 7): 0.9, (0, 0): 0.1}, "layout": "random"}),
    (["--mix", "6/0:1,3/5:2.5,0/0:0", "--size", "9x31"], {"mix": [(48, 1), ((3, 5), 2.5), (0, 0)], "rows": 9, "cols": 31}),
    (["--update", "proportional", "--rounds", "1", "--payoffs", "1,0.7,1.3,0", "--size", "30"],
     {"update": "proportional", "rounds": 1, "payoffs": (1, 0.7, 1.3, 0), "rows": 30, "cols": 30}),
    (["--update", "proportional", "--schedule", "random-sequential", "--edges", "fixed", "--size", "20"],
     {"update": "proportional", "schedule": "random-sequential", "edges": "fixed", "rows": 20, "cols": 20}),
    (["--update", "fermi", "--schedule", "synchronous", "--size", "25"],
     {"update": "fermi", "schedule": "synchronous", "rows": 25, "cols": 25}),
    (["--update", "death-birth", "--selection", "0.05", "--size", "20", "--mutation", "0.01", "--self-pool", "0,7",
      "--other-pool", "0,7"],
     {"update": "death-birth", "selection": 0.05, "rows": 20, "cols": 20, "mutation": 0.01, "self_pool": [0, 7],
      "other_pool": [0, 7]}),
    (["--update", "birth-death", "--rounds", "5", "--size", "20", "--neighbourhood", "von-neumann"],
     {"update": "birth-death", "rounds": 5, "rows": 20, "cols": 20, "neighbourhood": "von-neumann"}),
]


def log_bytes(table):
    """The population log talvane-batch writes for the rows after the start."""
    counts = table[talvane.PAIR_COLUMNS].iloc[1:]
    return "".join(",".join(map(str, row)) + "\n" for row in counts.itertuples(index=False)).encode()


@pytest.mark.parametrize("batch_args,options", CASES, ids=[" ".join(c[0]) or "defaults" for c in CASES])
def test_seeded_and_stepped_worlds_equal_the_batch_runner(run_batch, tmp_path, batch_args, options):
    seed = 1234567
    generations = 25
    seeded, _ = run_batch("--seed", seed, "--generations", 0, *batch_args)
    final, log = run_batch("--seed", seed, "--generations", generations, *batch_args)

    world = talvane.World(seed=seed, **options)
    world.save(tmp_path / "py-seeded.csv")
    assert (tmp_path / "py-seeded.csv").read_bytes() == seeded
    table = world.run(generations)
    world.save(tmp_path / "py-final.csv")
    assert (tmp_path / "py-final.csv").read_bytes() == final
    assert log_bytes(table) == log
    assert list(table["generation"]) == list(range(generations + 1))


def test_run_tables_hold_the_batch_runners_statistics(tmp_path, batch_program):
    import subprocess
    stats = tmp_path / "stats.csv"
    subprocess.run([batch_program, "--seed", "21", "--generations", "15", "--size", "24x30", "--layout", "random",
                    "--extra-point", "--log", tmp_path / "log.csv", "--stats", stats],
                   check=True, capture_output=True, timeout=120)
    table = talvane.World(24, 30, seed=21, layout="random", extra_point=True).run(15)
    expected = stats.read_text().splitlines()
    columns = expected[0].split(",")
    assert list(table.columns) == columns + talvane.PAIR_COLUMNS
    for row, line in zip(table[columns].itertuples(index=False), expected[1:]):
        assert [float(v) for v in row] == pytest.approx([float(v) for v in line.split(",")], rel=1e-9)
    assert len(table) == len(expected) - 1


def test_a_loaded_world_steps_as_the_batch_runner_steps_it(run_batch, tmp_path):
    start = tmp_path / "start.csv"
    talvane.World(17, 23, seed=5, layout="random").save(start)
    final, log = run_batch("--load", start, "--seed", 99, "--generations", 30)

    world = talvane.load(start, seed=99)
    assert world.shape == (17, 23)
    table = world.run(30)
    world.save(tmp_path / "py-final.csv")
    assert (tmp_path / "py-final.csv").read_bytes() == final
    assert log_bytes(table) == log


def test_reseeding_with_a_mix_is_seeding_it_anew_and_bad_mixes_are_refused():
    mix = {(7, 7): 0.9, (0, 0): 0.1}
    fresh = talvane.World(seed=12, mix=mix, layout="segregated")
    used = talvane.World(seed=3)
    used.step(4)
    used.seed(12, mix=mix, layout="segregated")
    assert (used.self_strategy == fresh.self_strategy).all() and (used.color == fresh.color).all()
    assert used.generation == 0
    # Without mix the pools seed again.
    used.seed(12)
    assert (used.self_strategy == talvane.World(seed=12, layout="segregated").self_strategy).all()
    for bad, message in [({(7, 7): 0}, "add up to 0"), ({(7, 7): -1}, "is not a number >= 0"),
                         ({(8, 0): 1}, "is not a code 0 to 7"), ({64: 1}, "is not a pair code"),
                         ([(7, 1), ((0, 7), 1)], "given twice"), ([(7,)], "a pair and its weight")]:
        with pytest.raises(ValueError, match=message):
            talvane.World(seed=1, mix=bad)
    with pytest.raises(ValueError, match="not seeded"):
        talvane.World(seed=1, mix=mix, populate=False)


def test_reseeding_a_world_is_seeding_it_anew(tmp_path):
    fresh = talvane.World(seed=8, layout="segregated", self_pool=[6, 7])
    used = talvane.World(seed=3)
    used.step(5)
    used.seed(8, layout="segregated", self_pool=[6, 7])
    assert used.generation == 0
    fresh.save(tmp_path / "a.csv")
    used.save(tmp_path / "b.csv")
    assert (tmp_path / "a.csv").read_bytes() == (tmp_path / "b.csv").read_bytes()
    fresh.step(10)
    used.step(10)
    assert (fresh.pair_counts() == used.pair_counts()).all()
