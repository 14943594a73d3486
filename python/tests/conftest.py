"""Shared fixtures: the talvane-batch program of the same build, run in a
temporary directory."""

import os
import subprocess

import pytest


@pytest.fixture(scope="session")
def batch_program():
    path = os.environ.get("TALVANE_BATCH")
    if not path or not os.access(path, os.X_OK):
        pytest.skip("TALVANE_BATCH does not name the talvane-batch program (ctest sets it)")
    return path


@pytest.fixture
def run_batch(batch_program, tmp_path):
    """Runs talvane-batch with the arguments given in tmp_path; returns the
    bytes of its saved world and of its log."""

    def run(*args):
        world = tmp_path / "batch-world.csv"
        log = tmp_path / "batch-vemo.csv"
        subprocess.run([batch_program, *map(str, args), "--save", world, "--log", log],
                       check=True, capture_output=True, timeout=120)
        return world.read_bytes(), log.read_bytes() if log.exists() else b""

    return run


@pytest.fixture(scope="session")
def without_text_chunks():
    """A PNG's bytes with its tEXt, zTXt and iTXt chunks left out: the batch
    runner's pictures carry the run's record there, the pixels are the rest."""
    import struct

    def strip(png):
        out, at = png[:8], 8
        while at < len(png):
            (length,) = struct.unpack(">I", png[at:at + 4])
            kind = png[at + 4:at + 8]
            end = at + 12 + length
            if kind not in (b"tEXt", b"zTXt", b"iTXt"):
                out += png[at:end]
            at = end
        return out

    return strip
