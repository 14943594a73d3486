"""The ecology rule from Python: the same runs as talvane-batch byte for
byte, -1 for empty cells in the views, its table, and its refusals."""

import numpy as np
import pytest

import talvane

PAPER_BATCH = ["--update", "ecology", "--size", "25", "--neighbourhood", "von-neumann"]
PAPER = {"update": "ecology", "rows": 25, "cols": 25, "neighbourhood": "von-neumann"}


@pytest.mark.parametrize("batch_args,options", [
    ([], {}),
    (["--colors", "2", "--immigrants", "3", "--ptr", "0.2", "--cost", "0.02", "--benefit", "0.05", "--death", "0.15",
      "--mutation", "0.05"],
     {"colors": 2, "immigrants": 3, "ptr": 0.2, "cost": 0.02, "benefit": 0.05, "death": 0.15, "mutation": 0.05}),
], ids=["defaults", "every-option"])
def test_ecology_runs_equal_the_batch_runner(run_batch, tmp_path, batch_args, options):
    final, log = run_batch("--seed", 77, "--generations", 150, *PAPER_BATCH, *batch_args)
    world = talvane.World(seed=77, **PAPER, **options)
    table = world.run(150)
    world.save(tmp_path / "py.csv")
    assert (tmp_path / "py.csv").read_bytes() == final
    counts = table[talvane.PAIR_COLUMNS].iloc[1:]
    assert "".join(",".join(map(str, r)) + "\n" for r in counts.itertuples(index=False)).encode() == log
    # The table's agents are the log's counts; empty and agents fill the world.
    assert (table["agents"] == table[talvane.PAIR_COLUMNS].sum(axis=1)).all()
    assert (table["agents"] + table["empty"] == 625).all()


def test_empty_cells_are_minus_one_and_load_round_trips(tmp_path):
    world = talvane.World(seed=5, **PAPER)
    assert (world.color == -1).all() and (world.self_strategy == -1).all()
    assert world.mutation == 0.005
    assert world.ecology["ptr"] == 0.12 and world.ecology["colors"] == 4
    world.step(100)
    empty = world.color == -1
    assert empty.any() and (~empty).any()
    assert ((world.self_strategy == -1) == empty).all()
    assert set(np.unique(world.self_strategy[~empty])) <= {0, 7}
    stats = world.stats()
    assert stats["agents"] == int((~empty).sum()) and stats["empty"] == int(empty.sum())
    world.save(tmp_path / "w.csv")
    again = talvane.load(tmp_path / "w.csv", update="ecology", neighbourhood="von-neumann")
    assert (again.color == world.color).all() and (again.other_strategy == world.other_strategy).all()
    with pytest.raises(ValueError, match="empty cells need"):
        talvane.load(tmp_path / "w.csv")


@pytest.mark.parametrize("options,message", [
    ({"ptr": 1.5}, "ptr: "),
    ({"cost": -0.01}, "cost: "),
    ({"benefit": -1.0}, "benefit: "),
    ({"colors": 0}, "colors: "),
    ({"death": 2.0}, "death: "),
    ({"mutation": -0.1}, "mutation: "),
    ({"mix": {(7, 0): 1}}, "mix: "),
])
def test_bad_ecology_values_are_refused(options, message):
    with pytest.raises(ValueError, match=message):
        talvane.World(update="ecology", **options)


def test_a_world_is_made_an_ecology_world_not_switched():
    with pytest.raises(ValueError, match="update: "):
        talvane.World().update = "ecology"
    with pytest.raises(ValueError, match="update: "):
        talvane.World(update="ecology").update = "synchronous"
    with pytest.raises(ValueError, match="pair: "):
        talvane.World(update="ecology").place(0, 0, (3, 7), color=1)
