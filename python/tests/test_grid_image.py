"""Pictures of the grid drawn in software, as talvane-batch --image draws
them: any size of world, no display, written as every program writes."""

import os
import stat
import subprocess
import sys
import threading

import pytest

import talvane


@pytest.mark.parametrize("batch_args,options,kwargs", [
    (["--size", "200", "--generations", "6"], {"rows": 200, "cols": 200}, {}),
    (["--size", "37x21", "--edges", "fixed", "--generations", "4", "--view", "colors", "--cell-pixels", "3",
      "--legend"], {"rows": 37, "cols": 21, "edges": "fixed"}, {"view": "colors", "cell_pixels": 3, "legend": True}),
])
def test_grid_images_equal_the_batch_runners_without_a_display(batch_program, without_text_chunks, tmp_path,
                                                               batch_args, options, kwargs):
    expected = tmp_path / "batch.png"
    subprocess.run([batch_program, "--seed", "8", "--log", os.devnull, "--image", expected, *batch_args],
                   check=True, capture_output=True, timeout=120)
    generations = int(batch_args[batch_args.index("--generations") + 1])
    script = (
        "import sys, talvane\n"
        f"w = talvane.World(seed=8, **{options!r})\n"
        f"w.step({generations})\n"
        f"sys.stdout.buffer.write(w.grid_image(**{kwargs!r}))\n"
    )
    # No X display in the environment: the software renderer needs none.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    drawn = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, env=env, timeout=120)
    batch_png = expected.read_bytes()
    # The batch runner's picture carries the run's record in a text chunk.
    assert without_text_chunks(drawn.stdout) == without_text_chunks(batch_png)
    assert drawn.stdout[:8] == b"\x89PNG\r\n\x1a\n"


def test_grid_images_are_written_through_links_and_into_pipes_keeping_modes(tmp_path):
    w = talvane.World(12, 12, seed=3)
    target = tmp_path / "kept.png"
    target.write_bytes(b"old")
    target.chmod(0o600)
    link = tmp_path / "link.png"
    link.symlink_to(target.name)
    png = w.grid_image(link)
    assert link.is_symlink() and target.read_bytes() == png
    assert stat.S_IMODE(target.stat().st_mode) == 0o600

    pipe = tmp_path / "pipe.png"
    os.mkfifo(pipe)
    received = []
    reader = threading.Thread(target=lambda: received.append(pipe.read_bytes()))
    reader.start()
    w.grid_image(pipe)
    reader.join(timeout=30)
    assert not reader.is_alive() and received == [png]
    assert stat.S_ISFIFO(os.lstat(pipe).st_mode)


def test_grid_images_refuse_bad_settings(tmp_path):
    w = talvane.World(8, 8, seed=1)
    with pytest.raises(ValueError, match='view: "cells" is not strategies or colors'):
        w.grid_image(view="cells")
    for k in (0, 65):
        with pytest.raises(ValueError, match=f"cell_pixels: {k} is not 1 to 64"):
            w.grid_image(cell_pixels=k)
    with pytest.raises(OSError):
        w.grid_image(tmp_path / "missing" / "x.png")
    assert list(tmp_path.iterdir()) == []


def test_image_of_a_large_world_needs_no_display_and_loads_no_window_library():
    # World.image in a process with no X display: the picture comes from the
    # software renderer, and neither importing talvane nor drawing loads an
    # X or GL library (the frame's module is loaded by World.snapshot only).
    script = (
        "import sys, talvane\n"
        "w = talvane.World(200, 200, seed=4)\n"
        "w.step(2)\n"
        "png = w.image()\n"
        "maps = open('/proc/self/maps').read()\n"
        "loaded = sorted({l.split('/')[-1] for l in maps.splitlines() if 'libGL' in l or 'libX11' in l})\n"
        "print(len(png), png[:8] == b'\\x89PNG\\r\\n\\x1a\\n', 'talvane._picture' in sys.modules, loaded)\n"
    )
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    drawn = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, env=env, text=True,
                           timeout=120)
    size, is_png, picture_loaded, loaded = drawn.stdout.split(" ", 3)
    assert int(size) > 1000 and is_png == "True"
    assert picture_loaded == "False" and loaded.strip() == "[]"
