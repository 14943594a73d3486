"""The example under examples/ runs, and shows what it is meant to show."""

import os
import pathlib
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "cooperation_vs_b.py"


def test_cooperation_example_runs_and_cooperation_falls_with_temptation(tmp_path):
    plot = tmp_path / "cooperation.png"
    done = subprocess.run([sys.executable, str(EXAMPLE), "--size", "60", "--generations", "40", "--plot", str(plot)],
                          capture_output=True, text=True, timeout=300, env=dict(os.environ, MPLBACKEND="Agg"))
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert len(lines) == 11 and lines[0].startswith("b = 1.0: cooperators ")
    shares = [float(line.rsplit(" ", 1)[1]) for line in lines]
    assert shares[0] > 0.8 and shares[-1] < 0.1
    assert plot.read_bytes().startswith(b"\x89PNG")
