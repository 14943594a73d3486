"""Pictures of worlds: the frame of the desktop window, as talvane-batch
--snapshot draws it (needs an X display with OpenGL; TALVANE_SKIP_GL_TESTS=1
skips these, as it skips the other GL tests)."""

import os

import pytest

import talvane

pytestmark = pytest.mark.skipif(os.environ.get("TALVANE_SKIP_GL_TESTS") == "1", reason="TALVANE_SKIP_GL_TESTS=1")


@pytest.mark.parametrize("batch_args,options,view", [
    (["--payoffs", "4,0,5,1", "--play-self"], {"payoffs": (4, 0, 5, 1), "play_self": True}, "strategies"),
    (["--self-pool", "0,6", "--view", "colors"], {"self_pool": [0, 6]}, "colors"),
])
def test_pictures_equal_the_batch_runners_snapshots(batch_program, without_text_chunks, tmp_path, batch_args, options, view):
    import subprocess
    expected = tmp_path / "batch.png"
    subprocess.run([batch_program, "--seed", "5", "--generations", "7", "--log", os.devnull,
                    "--snapshot", expected, *batch_args], check=True, capture_output=True, timeout=120)
    w = talvane.World(seed=5, **options)
    w.step(7)
    w.snapshot(tmp_path / "python.png", view=view)
    # The batch runner's picture also carries the run's record in a text
    # chunk; the pictures themselves must be the same bytes.
    assert without_text_chunks((tmp_path / "python.png").read_bytes()) == without_text_chunks(expected.read_bytes())


def test_pictures_refuse_what_the_frame_cannot_show(tmp_path):
    with pytest.raises(ValueError, match="64 x 64 worlds only; this one is 20x30"):
        talvane.World(20, 30, seed=1).snapshot(tmp_path / "x.png")
    with pytest.raises(ValueError, match='view: "cells" is not strategies or colors'):
        talvane.World(seed=1).snapshot(tmp_path / "x.png", view="cells")
    with pytest.raises(OSError):
        talvane.World(seed=1).snapshot(tmp_path / "missing" / "x.png")
    assert list(tmp_path.iterdir()) == []


def test_pictures_from_several_threads_at_once_are_each_whole(tmp_path):
    # Each thread describes its own world with the GIL released and draws one
    # picture at a time: none waits for another forever, and each picture is
    # the one its world gives alone.
    import threading
    worlds = [talvane.World(seed=s) for s in (11, 12, 13)]
    for w in worlds:
        w.step(3)
    alone = []
    for k, w in enumerate(worlds):
        w.snapshot(tmp_path / f"alone{k}.png")
        alone.append((tmp_path / f"alone{k}.png").read_bytes())
    errors = []

    def draw(k):
        try:
            for _ in range(3):
                worlds[k].snapshot(tmp_path / f"thread{k}.png")
        except Exception as error:  # reported below
            errors.append(error)

    threads = [threading.Thread(target=draw, args=(k,)) for k in range(len(worlds))]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not any(t.is_alive() for t in threads), "a picture never finished"
    assert errors == []
    assert [(tmp_path / f"thread{k}.png").read_bytes() for k in range(len(worlds))] == alone
    assert len(set(alone)) == len(alone)
