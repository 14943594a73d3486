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
