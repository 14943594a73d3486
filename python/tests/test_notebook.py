"""The example notebook runs from top to bottom: a cell that raises fails the test."""

import os
import pathlib

import pytest

NOTEBOOK = pathlib.Path(__file__).resolve().parents[2] / "examples" / "notebook.ipynb"


def test_example_notebook_runs_and_shows_its_pictures():
    nbformat = pytest.importorskip("nbformat")
    nbclient = pytest.importorskip("nbclient")
    pytest.importorskip("ipykernel")
    notebook = nbformat.read(NOTEBOOK, as_version=4)
    # The kernel inherits this environment, PYTHONPATH to the built module included.
    os.environ.setdefault("MPLBACKEND", "Agg")
    nbclient.NotebookClient(notebook, timeout=300, kernel_name="python3", allow_errors=False).execute()
    shown = [kind for cell in notebook.cells if cell.cell_type == "code"
             for output in cell.outputs for kind in output.get("data", {})]
    assert shown.count("image/png") >= 3  # the curve, the world, the tags' rates
    assert "text/html" in shown           # the movie (and the tables)
    movie = [o for c in notebook.cells if c.cell_type == "code" for o in c.outputs
             if "<video" in o.get("data", {}).get("text/html", "")]
    assert movie, "the kaleidoscope's movie is missing"
