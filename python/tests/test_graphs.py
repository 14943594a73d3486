"""Worlds on graphs from Python: World(graph=...) steps as talvane-batch
--graph does, talvane.network draws what --network draws, and bad graphs are
refused with the reason."""

import numpy as np
import pytest

import talvane


class EdgeSource:
    """Stands in for a networkx graph: edges() and number_of_nodes()."""

    def __init__(self, edges, nodes):
        self._edges, self._nodes = edges, nodes

    def edges(self):
        return iter(self._edges)

    def number_of_nodes(self):
        return self._nodes


@pytest.mark.parametrize("options,batch_args", [
    ({}, []),
    ({"update": "fermi", "payoffs": (1, 0, 1.3, 0), "noise": 0.5, "layout": "segregated"},
     ["--update", "fermi", "--payoffs", "1,0,1.3,0", "--noise", "0.5", "--layout", "segregated"]),
    ({"update": "asynchronous", "play_self": True, "mutation": 0.01, "threads": 2},
     ["--update", "asynchronous", "--play-self", "--mutation", "0.01", "--threads", "2"]),
    ({"update": "proportional", "rounds": 1, "payoffs": (1, 0, 1.6, 0), "schedule": "random-sequential"},
     ["--update", "proportional", "--rounds", "1", "--payoffs", "1,0,1.6,0", "--schedule", "random-sequential"]),
    ({"update": "fermi", "schedule": "synchronous", "noise": 20.0},
     ["--update", "fermi", "--schedule", "synchronous", "--noise", "20"]),
    ({"update": "death-birth", "rounds": 1, "selection": 0.3, "self_pool": [0, 7], "other_pool": [0, 7],
      "mutation": 0.02},
     ["--update", "death-birth", "--rounds", "1", "--selection", "0.3", "--self-pool", "0,7",
      "--other-pool", "0,7", "--mutation", "0.02"]),
    ({"update": "birth-death", "selection": 0.01}, ["--update", "birth-death", "--selection", "0.01"]),
])
def test_a_graph_world_steps_as_the_batch_runner_steps_it(run_batch, tmp_path, options, batch_args):
    edges = talvane.network("small-world", n=400, k=4, p=0.2, seed=9)
    # The same network from --network with the seed the network was drawn with.
    (tmp_path / "edges.txt").write_text("nodes 400\n" + "".join(f"{u} {v}\n" for u, v in edges))
    world_bytes, log = run_batch("--graph", tmp_path / "edges.txt", "--seed", 31, "--generations", 12,
                                 *(batch_args or ["--layout", "random"]))
    world = talvane.World(graph=edges, seed=31, **options)
    assert isinstance(world, talvane.GraphWorld)
    world.step(12)
    world.save(tmp_path / "python.csv")
    assert (tmp_path / "python.csv").read_bytes() == world_bytes
    last = [int(x) for x in log.decode().splitlines()[-1].split(",")]
    assert list(world.pair_counts()) == last
    assert world.generation == 12


def test_network_draws_the_batch_runners_network(batch_program, tmp_path):
    import subprocess

    subprocess.run([batch_program, "--network", "scale-free:300:3", "--seed", "5", "--generations", "0",
                    "--save-graph", tmp_path / "g.txt", "--log", tmp_path / "l.csv"], check=True, capture_output=True)
    lines = (tmp_path / "g.txt").read_text().splitlines()
    assert lines[0] == "nodes 300"
    drawn = np.array([[int(x) for x in line.split()] for line in lines[1:]])
    edges = talvane.network("scale-free", n=300, m=3, seed=5)
    assert np.array_equal(edges, drawn)
    # M (M + 1) / 2 + (N - M - 1) M edges, every degree at least M.
    assert len(edges) == 6 + 296 * 3
    world = talvane.World(graph=edges, seed=1)
    assert world.degree.min() >= 3 and world.degree.sum() == 2 * len(edges)
    assert np.array_equal(talvane.network("scale-free", n=300, m=3, seed=5), edges)
    assert not np.array_equal(talvane.network("scale-free", n=300, m=3, seed=6), edges)


def test_edges_from_an_object_with_isolated_nodes_and_read_only_views():
    source = EdgeSource([(0, 1), (1, 2), (2, 0), (2, 3)], nodes=6)
    world = talvane.World(graph=source, seed=2, mix={(7, 7): 1})
    assert world.nodes == 6
    assert list(world.degree) == [2, 2, 3, 1, 0, 0]
    assert np.array_equal(world.edges, [[0, 1], [0, 2], [1, 2], [2, 3]])
    assert list(world.self_strategy) == [7] * 6
    with pytest.raises(ValueError):
        world.color[0] = 2
    copy = world.copy()
    copy.step(3)
    assert world.generation == 0 and copy.generation == 3


@pytest.mark.parametrize("graph,message", [
    (np.array([[0, 1], [1, 1], [1, 2]]), "self-loop"),
    (np.array([[0, 1], [1, 2], [2, 1]]), "repeat"),
    (np.array([[0, 1], [-1, 2]]), "outside"),
    (np.array([0, 1, 2]), "(E, 2)"),
    (np.array([[0, 1]]), "nodes"),
])
def test_bad_graphs_are_refused_with_the_reason(graph, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        talvane.World(graph=graph, seed=1)


def test_the_checkerboard_and_unknown_networks_are_refused():
    edges = talvane.network("random-regular", n=50, k=4, seed=1)
    with pytest.raises(ValueError, match="checkerboard"):
        talvane.World(graph=edges, layout="checkerboard")
    with pytest.raises(ValueError, match="kind"):
        talvane.network("hexagonal", n=10)
    with pytest.raises(ValueError, match="needs m"):
        talvane.network("scale-free", n=10)
