"""Bad input gets a Python exception with the batch runner's words, and never
crashes the interpreter."""

import os

import pytest

import talvane


@pytest.mark.parametrize("options,message", [
    ({"rows": 2}, "rows: 2 is not in the range 3 to 4096"),
    ({"cols": 4097}, "cols: 4097 is not in the range 3 to 4096"),
    ({"edges": "torus"}, 'edges: "torus" is not wrap or fixed'),
    ({"neighbourhood": "hex"}, 'neighbourhood: "hex" is not moore or von-neumann'),
    ({"payoffs": (3, 0, 5)}, "payoffs: four numbers R, S, T, P are needed"),
    ({"payoffs": (3, 0, float("inf"), 1)}, "payoffs: each of R, S, T, P must be a finite number"),
    ({"payoffs": (3, 0, 5e9, 1)}, "32-bit integers' range"),
    ({"competition": "endless"}, 'competition: "endless" is not finite or infinite'),
    ({"update": "random"}, 'update: "random" is not best, fermi, proportional, death-birth, birth-death or ecology'),
    ({"noise": 0}, "noise: 0.000000 is not a number above 0"),
    ({"noise": float("nan")}, "noise: nan is not a number above 0"),
    ({"mutation": 1.5}, "mutation: 1.500000 is not a number from 0 to 1"),
    ({"threads": 0}, "threads: 0 is not in the range 1 to 256"),
    ({"seed": -1}, "seed: -1 is not in the range 0 to 4294967295"),
    ({"seed": 2**32}, "seed: 4294967296 is not in the range"),
    ({"layout": "stripes"}, 'layout: "stripes" is not random, checkerboard or segregated'),
    ({"self_pool": [8]}, "self_pool: 8 is not a strategy code 0 to 7"),
    ({"self_pool": []}, 'self_pool: .*at least one "self" strategy'),
    ({"other_pool": []}, 'other_pool: .*at least one "others" strategy'),
])
def test_bad_options_raise_value_error(options, message):
    with pytest.raises(ValueError, match=message):
        talvane.World(**options)


def test_bad_settings_are_refused_and_the_old_ones_kept():
    w = talvane.World(8, 8, seed=1)
    for name, bad in [("noise", -1.0), ("mutation", -0.1), ("update", "x"), ("competition", "x"),
                      ("payoffs", (1, 2)), ("threads", 300), ("generation", -1)]:
        before = getattr(w, name)
        with pytest.raises(ValueError, match=name):
            setattr(w, name, bad)
        assert getattr(w, name) == before
    with pytest.raises(ValueError, match="n: -1 is not a number of generations"):
        w.step(-1)
    with pytest.raises(ValueError, match="layout"):
        w.seed(1, layout="diagonal")
    with pytest.raises(TypeError):
        w.step("many")
    with pytest.raises(AttributeError):
        w.rows = 9
    with pytest.raises(ValueError, match="payoffs"):
        talvane.classify_game(1, 2, float("nan"), 3)


def test_payoffs_are_refused_with_the_infinite_competition():
    # Its table is fixed: payoffs given with it would change nothing.
    for payoffs in [(1, 0, 1.03, 0), (3, 0, 5, 1)]:
        with pytest.raises(ValueError, match="infinite competition's table does not depend on the payoffs"):
            talvane.World(8, 8, seed=1, payoffs=payoffs, competition="infinite")
    w = talvane.World(8, 8, seed=1, competition="infinite")
    with pytest.raises(ValueError, match="does not depend on the payoffs"):
        w.payoffs = (1, 0, 1.5, 0)
    assert w.payoffs == (3, 0, 5, 1)
    assert talvane.World(8, 8, seed=1, payoffs=(1, 0, 1.5, 0)).payoffs == (1, 0, 1.5, 0)


def test_file_faults_raise_os_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        talvane.load(tmp_path / "missing.csv")
    with pytest.raises(IsADirectoryError):
        talvane.load(tmp_path)
    w = talvane.World(5, 5, seed=1)
    with pytest.raises(OSError, match="nowhere"):
        w.save(tmp_path / "nowhere" / "world.csv")
    with pytest.raises(OSError):
        w.save(tmp_path)
    if os.geteuid() != 0:
        locked = tmp_path / "locked.csv"
        locked.write_text("x")
        locked.chmod(0o444)
        with pytest.raises(OSError):
            w.save(locked)


@pytest.mark.parametrize("text,message", [
    ("", "world.csv: "),
    ("row,col,color,self,other\n0,0,9,1,1\n", r"world.csv:2: "),
    ("a,b\n", r"world.csv:1: "),
])
def test_bad_world_files_raise_value_error_with_the_line(tmp_path, text, message):
    path = tmp_path / "world.csv"
    path.write_text(text)
    with pytest.raises(ValueError, match=message):
        talvane.load(path)


def test_load_refuses_options_the_file_decides(tmp_path):
    path = tmp_path / "world.csv"
    talvane.World(4, 4, seed=1).save(path)
    with pytest.raises(TypeError, match="rows"):
        talvane.load(path, rows=5)
    with pytest.raises(ValueError, match="edges"):
        talvane.load(path, edges="round")


@pytest.mark.parametrize("mix,error,message", [
    (5, TypeError, "mix: 5 is not a mapping"),
    ("7/7:1", TypeError, "mix: '7/7:1' is not a mapping"),
    ([1, 2], TypeError, "mix: the entry 1 is not a \\(pair, weight\\)"),
    ({(7, 7): "a"}, TypeError, "mix: the weight 'a' of pair 7/7 is not a number"),
    ({(7, 7): None}, TypeError, "mix: the weight None"),
    ({(7, 7): 1j}, TypeError, "mix: the weight 1j"),
    ({(7, 7): 10**400}, ValueError, "mix: the weight .* is not a number >= 0"),
    ({(7.5, 7): 1}, TypeError, "mix: 7.5 is not a whole number"),
    ({(7, "x"): 1}, TypeError, "mix: 'x' is not a whole number"),
    ({1.5: 1}, TypeError, "mix: 1.5 is not a pair"),
    ({"TFT/AllD": 1}, TypeError, "mix: 'TFT/AllD' is not a pair"),
    ({None: 1}, TypeError, "mix: None is not a pair"),
    ({(7, 7, 1): 1}, ValueError, "mix: a \\(self, other\\) pair"),
    ({10**30: 1}, ValueError, "mix: .* is out of range"),
])
def test_malformed_mixes_raise_type_or_value_error_naming_mix(mix, error, message):
    with pytest.raises(error, match=message):
        talvane.World(seed=1, mix=mix)
    world = talvane.World(4, 4, seed=2)
    before = world.self_strategy.copy()
    with pytest.raises(error, match=message):
        world.seed(3, mix=mix)
    assert (world.self_strategy == before).all()


def test_a_mix_of_numpy_numbers_is_a_mix_of_numbers():
    import numpy as np

    given = talvane.World(8, 8, seed=4, mix={(np.int64(7), 7): np.float64(0.5), np.int32(0): 0.5})
    plain = talvane.World(8, 8, seed=4, mix={(7, 7): 0.5, 0: 0.5})
    assert (given.self_strategy == plain.self_strategy).all()


def test_importing_without_numpy_says_numpy_is_missing(tmp_path):
    import subprocess
    import sys

    # An interpreter in which "import numpy" fails, as one without NumPy would.
    (tmp_path / "sitecustomize.py").write_text(
        "import sys\n"
        "class NoNumpy:\n"
        "    def find_spec(self, name, path=None, target=None):\n"
        "        if name == 'numpy' or name.startswith('numpy.'):\n"
        "            raise ImportError(\"No module named 'numpy'\", name=name)\n"
        "sys.meta_path.insert(0, NoNumpy())\n")
    package = os.path.dirname(os.path.dirname(talvane.__file__))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(tmp_path), package]))
    result = subprocess.run([sys.executable, "-c", "import talvane"], env=env, capture_output=True, text=True,
                            timeout=60)
    assert result.returncode != 0
    last = result.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: talvane needs NumPy"), result.stderr
    assert "initialization failed" not in result.stderr
