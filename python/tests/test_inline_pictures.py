"""Pictures for notebooks with no display: World.image at any size,
_repr_png_, and talvane.animate's movie."""

import os
import shutil
import struct
import subprocess

import pytest

import talvane


def png_size(png):
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", png[16:24])


def test_image_of_any_size_in_software(without_text_chunks, batch_program, tmp_path):
    small = talvane.World(seed=4)
    # The desktop's cells at 64 x 64: nine pixels a side, as talvane-batch --image.
    subprocess.run([batch_program, "--seed", "4", "--generations", "0", "--log", os.devnull, "--image",
                    tmp_path / "batch.png"], check=True, capture_output=True)
    assert without_text_chunks(small.image()) == without_text_chunks((tmp_path / "batch.png").read_bytes())
    assert png_size(small.image()) == (64 * 9, 64 * 9)
    # A large world gets smaller cells; a picture of a non-square world keeps its shape.
    large = talvane.World(400, 300, seed=1)
    width, height = png_size(large.image())
    assert width < 400 * 9 and height < 300 * 9 and width != height
    shown = large._repr_png_()
    assert png_size(shown)[1] > height  # the legend strip under the grid
    large.step(1)
    assert large._repr_png_() != shown, "the picture should follow the world"


@pytest.mark.skipif(shutil.which("ffprobe") is None, reason="needs ffmpeg's ffprobe")
def test_animate_gives_a_movie_of_every_frame(tmp_path):
    world = talvane.World(48, 48, payoffs=[1, 0, 1.9, 0], play_self=True, seed=1, mix={(7, 7): 0.9, (0, 0): 0.1})
    movie = talvane.animate(world, 10, every=3, fps=5)
    assert world.generation == 10
    assert movie.frames == 5  # generation 0, 3, 6, 9, 10
    movie.save(tmp_path / "m.mp4")
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames,codec_name", "-of", "csv=p=0", tmp_path / "m.mp4"],
                           check=True, capture_output=True, text=True).stdout.strip()
    assert probe == "h264,5"
    assert movie._repr_html_().startswith('<video controls')
    with pytest.raises(ValueError):
        talvane.animate(world, 5, every=0)
