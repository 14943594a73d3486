"""talvane.World as a Python object: its options, grids, seeding, placing,
stepping, counts, copies and files."""

import copy

import numpy as np
import pytest

import talvane


def test_defaults_are_those_of_the_batch_runner():
    w = talvane.World(seed=1)
    assert w.shape == (64, 64) and (w.rows, w.cols) == (64, 64)
    assert (w.edges, w.neighbourhood) == ("wrap", "moore")
    assert w.payoffs == (3, 0, 5, 1) and w.competition == "finite"
    assert (w.play_self, w.extra_point, w.update, w.mutation, w.threads) == (False, False, "synchronous", 0.0, 1)
    assert w.noise == pytest.approx(0.1)
    assert (w.layout, w.self_pool, w.other_pool, w.last_seed) == ("checkerboard", list(range(8)), list(range(8)), 1)
    assert w.generation == 0


def test_seeding_follows_the_pools_and_the_layout():
    w = talvane.World(10, 12, seed=4, layout="segregated", self_pool=[6], other_pool=[0, 7])
    assert (w.self_strategy == 6).all()
    assert set(np.unique(w.other_strategy)) == {0, 7}
    assert (w.color[:5] == 0).all() and (w.color[5:] == 2).all()
    board = talvane.World(9, 9, seed=4).color
    assert set(np.unique(board)) == {0, 2}
    assert (board[:, 1:] != board[:, :-1]).all() and (board[1:] != board[:-1]).all()
    assert talvane.World(seed=None).last_seed is not None


def test_grids_are_read_only_views_of_the_world():
    w = talvane.World(8, 8, seed=2)
    first, second = w.self_strategy, w.self_strategy
    assert np.shares_memory(first, second)
    assert first.dtype == np.int8 and first.shape == (8, 8)
    with pytest.raises(ValueError):
        first[0, 0] = 1
    w.place(0, 0, (5, 3))
    assert first[0, 0] == 5 and w.other_strategy[0, 0] == 3
    del w  # the view keeps the world alive
    assert first[0, 0] == 5
    assert talvane.World(5, 6, seed=1).scores.shape == (5, 6)


def test_grids_are_set_from_arrays_of_codes():
    w = talvane.World(4, 5, seed=3)
    view = w.self_strategy
    codes = np.arange(20).reshape(4, 5) % 8
    w.self_strategy = codes
    w.other_strategy = codes.astype(float)
    w.color = np.full((4, 5), 2, dtype=np.uint8)
    assert (w.self_strategy == codes).all() and (w.other_strategy == codes).all() and (w.color == 2).all()
    assert np.shares_memory(view, w.self_strategy) and (view == codes).all()  # earlier views see the new grid
    counts = w.pair_counts()
    assert counts.sum() == 20 and counts[9 * 0 + 0] == 3 and counts[9 * 7] == 2  # pairs (0,0) and (7,7)


@pytest.mark.parametrize("value,message", [
    (np.zeros((4, 4)), r"color: an array of shape \(4, 5\) is needed, not \(4, 4\)"),
    (np.zeros(20), r"not \(20,\)"),
    (np.full((4, 5), 8), r"color: 8 at \(0, 0\) is not a code 0 to 7"),
    (np.full((4, 5), -1), r"-1 at \(0, 0\)"),
    (np.full((4, 5), 2.5), r"2.5 at \(0, 0\)"),
    (np.full((4, 5), np.nan), r"at \(0, 0\) is not a code"),
    ("green", r"color"),
])
def test_bad_grids_are_refused_and_leave_the_world_alone(value, message):
    w = talvane.World(4, 5, seed=3)
    before = w.color.copy()
    with pytest.raises(ValueError, match=message):
        w.color = value
    assert (w.color == before).all()


def test_place_takes_a_pair_or_a_pair_code_and_a_colour():
    w = talvane.World(6, 6, seed=1)
    w.place(1, 2, 6 * 8 + 0, color=1)
    assert (w.self_strategy[1, 2], w.other_strategy[1, 2], w.color[1, 2]) == (6, 0, 1)
    w.place(5, 5, [7, 7])
    assert (w.self_strategy[5, 5], w.other_strategy[5, 5]) == (7, 7)
    with pytest.raises(IndexError, match=r"\(6, 0\) is outside the 6 x 6 world"):
        w.place(6, 0, (1, 1))
    with pytest.raises(ValueError, match="pair: 64 is not a pair code"):
        w.place(0, 0, 64)
    with pytest.raises(ValueError, match="pair: 8 is not a code 0 to 7"):
        w.place(0, 0, (8, 0))
    with pytest.raises(ValueError, match="color: 9"):
        w.place(0, 0, (1, 0), color=9)


def test_tft_holds_against_alld_on_a_checkerboard_of_one_colour():
    # Every cell plays TFT except one AllD: AllD earns more at once, but its
    # neighbours, surrounded by TFT, earn more still, and it is overrun.
    w = talvane.World(9, 9, seed=1, populate=False)
    w.self_strategy = np.full((9, 9), 6)
    w.other_strategy = np.full((9, 9), 6)
    w.place(4, 4, (0, 0))
    w.step(3)
    assert w.generation == 3
    assert w.pair_counts()[6 * 8 + 6] == 81
    assert w.scores.max() == w.scores.min() == 8 * 600


def test_pair_counts_and_stats_describe_the_world():
    w = talvane.World(10, 10, seed=6)
    counts = w.pair_counts()
    assert counts.shape == (64,) and counts.sum() == 100
    expected = np.zeros(64, dtype=np.int64)
    np.add.at(expected, w.self_strategy.ravel().astype(int) * 8 + w.other_strategy.ravel(), 1)
    assert (counts == expected).all()
    w.step(2)
    row = w.stats()
    assert row["generation"] == 2
    assert [row[c] for c in talvane.PAIR_COLUMNS] == list(w.pair_counts())


def test_run_tables_have_a_row_per_generation():
    table = talvane.run(12, rows=16, cols=16, seed=9)
    assert list(table.columns[:3]) == ["generation", "all_cells", "all_mean_score"]
    assert list(table.columns[-64:]) == talvane.PAIR_COLUMNS
    assert (table["all_cells"] == 256).all()
    assert list(table["generation"]) == list(range(13))
    assert (table[talvane.PAIR_COLUMNS].sum(axis=1) == 256).all()
    w = talvane.World(16, 16, seed=9)
    w.step(12)
    assert list(table.iloc[-1][talvane.PAIR_COLUMNS]) == list(w.pair_counts())
    again = w.run(3)
    assert list(again["generation"]) == [12, 13, 14, 15]
    assert len(w.run(0)) == 1


def test_copies_are_independent_and_step_alike():
    w = talvane.World(12, 12, seed=11, update="asynchronous")
    w.step(2)
    for twin in (w.copy(), copy.copy(w), copy.deepcopy(w)):
        assert twin.generation == 2 and twin.update == "asynchronous"
        twin.step(4)
        assert w.generation == 2
    w.step(4)
    assert (w.self_strategy == twin.self_strategy).all() and (w.pair_counts() == twin.pair_counts()).all()


def test_rules_can_change_between_steps():
    w = talvane.World(8, 8, seed=1)
    w.payoffs = (1, 0, 1.5, 0)
    assert w.payoffs == (1, 0, 1.5, 0)
    assert w.payoff_table[7, 7] == 200 and w.payoff_table[0, 7] == 300
    w.competition = "infinite"
    assert (w.payoff_table == talvane.INFINITE_PAYOFF_TABLE).all()
    w.play_self, w.extra_point, w.update, w.noise, w.mutation, w.threads = True, True, "fermi", 2.0, 0.5, 2
    assert (w.play_self, w.extra_point, w.update, w.noise, w.mutation, w.threads) == (True, True, "fermi", 2.0, 0.5, 2)
    w.step(2)
    w.generation = 0
    assert w.generation == 0
    with pytest.raises(ValueError, match="read-only|writeable"):
        w.payoff_table[0, 0] = 1


def test_names_tables_and_games():
    assert talvane.STRATEGIES[0] == "AllD" and talvane.STRATEGIES[6] == "TFT" and talvane.STRATEGIES[7] == "AllC"
    assert talvane.strategy_code("TFT") == 6 and talvane.strategy_code("011") == 3
    assert talvane.COLORS[:3] == ("Green", "Cyan", "Red")
    assert talvane.LAYOUTS == ("random", "checkerboard", "segregated")
    assert talvane.classify_game(3, 0, 5, 1) == "Prisoner's Dilemma"
    assert talvane.classify_game(5, 0, 3, 1) == "Stag Hunt"
    assert talvane.classify_game(3, 1, 5, 0) == "Chicken"
    assert talvane.classify_game(1, 0, 3, 2) == "Deadlock"
    table = talvane.finite_payoff_table(3, 0, 5, 1)
    assert table.shape == (8, 8)
    assert (table[7, 7], table[0, 0], table[0, 7], table[7, 0]) == (600, 200, 1000, 0)
    assert (talvane.finite_payoff_table(3.0, 0, 5, 1) == table).all()
    assert talvane.INFINITE_PAYOFF_TABLE[7, 7] == 3


def test_save_and_load_round_trip(tmp_path):
    w = talvane.World(7, 11, seed=12, edges="fixed")
    path = tmp_path / "world.csv"
    w.save(path)
    assert path.read_text().startswith("row,col,color,self,other\n0,0,")
    back = talvane.load(path, seed=1, edges="fixed", payoffs=(4, 0, 5, 1))
    assert back.shape == (7, 11) and back.edges == "fixed" and back.payoffs == (4, 0, 5, 1)
    for grid in ("color", "self_strategy", "other_strategy"):
        assert (getattr(back, grid) == getattr(w, grid)).all()
    w.save(str(path))  # replaces the file
    assert talvane.load(str(path)).shape == (7, 11)
