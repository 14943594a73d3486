"""Talvane: evolving strategies in a spatial population, from Python.

The engine of the talvane desktop program and of talvane-batch, with worlds as
Python objects, their grids as NumPy arrays and their runs as pandas tables:

    >>> import talvane
    >>> w = talvane.World(seed=7)             # 64 x 64, seeded as talvane-batch --seed 7
    >>> table = w.run(100)                    # DataFrame: generation and 64 pair counts
    >>> int(w.self_strategy[0, 0]) in range(8)
    True

Strategy codes are three bits (first move, reply to cooperation, reply to
defection; 1 = cooperate): talvane.STRATEGIES[6] is "TFT". A pair code is
self * 8 + other, the column s{self}o{other} of the tables.
"""

try:
    import numpy as _numpy  # noqa: F401  (the extension's grids are NumPy arrays)
except ImportError as _missing:
    raise ImportError(
        f"talvane needs NumPy, which this Python ({__import__('sys').executable}) cannot import: {_missing}; "
        "install it (Debian: python3-numpy, or pip install numpy)", name="numpy") from _missing

from ._talvane import (  # noqa: F401  (the module's interface)
    COLORS,
    GraphWorld,
    INFINITE_PAYOFF_TABLE,
    LAYOUTS,
    STRATEGIES,
    World,
    classify_game,
    finite_payoff_table,
    network,
)
from . import _talvane

__all__ = [
    "COLORS", "GraphWorld", "INFINITE_PAYOFF_TABLE", "LAYOUTS", "PAIR_COLUMNS", "STRATEGIES", "World",
    "animate", "classify_game", "finite_payoff_table", "load", "network", "run", "strategy_code", "sweep",
]

#: Column names of the 64 pair counts, in the order of the population log.
PAIR_COLUMNS = [f"s{s}o{o}" for s in range(8) for o in range(8)]


def strategy_code(name):
    """The code 0..7 of a strategy given by name ("TFT") or by its three bits ("110")."""
    for code, known in enumerate(STRATEGIES):
        if name in (known, format(code, "03b")):
            return code
    raise ValueError(f"strategy: {name!r} is none of {', '.join(STRATEGIES)}")


def _check_fits_rule(path, color, self_strategy, other_strategy, options):
    """As talvane-batch --load checks a world: empty cells (-1) only under
    update="ecology", whose agents hold 0 or 7 for each side and a colour
    below colors."""
    import numpy as np

    empty = color == -1
    if options.get("update") != "ecology":
        if empty.any():
            row, col = np.argwhere(empty)[0]
            raise ValueError(f"{path}: row {row}, col {col} is empty: empty cells need update=\"ecology\"")
        return
    colors = options.get("colors", 4)
    bad_pair = ~empty & ~(np.isin(self_strategy, (0, 7)) & np.isin(other_strategy, (0, 7)))
    bad_color = ~empty & (color >= colors)
    for bad, what in ((bad_pair, "a pair other than 0 (AllD) and 7 (AllC) for each side"),
                      (bad_color, f"a colour of {colors} or more (colors={colors})")):
        if bad.any():
            row, col = np.argwhere(bad)[0]
            raise ValueError(f"{path}: row {row}, col {col} holds {what}")


def load(path, *, seed=None, **options):
    """A world read from a world file (CSV: row,col,color,self,other), as
    talvane-batch --load reads it; its size is the file's. The generator starts
    from seed (None: a random one) and nothing is seeded, so that
    load(path, seed=S) steps as talvane-batch --load path --seed S does. Other
    keyword options are those of World (not rows, cols or the seeding's).
    Raises OSError when the file cannot be read and ValueError, with the line
    and the fault, when it is no valid world file. Empty cells ("r,c,,,")
    are -1 in the grids and need update="ecology"."""
    for name in ("rows", "cols", "populate", "layout", "self_pool", "other_pool", "mix"):
        if name in options:
            raise TypeError(f"load() takes no {name!r}: the file gives the world")
    rows, cols, color, self_strategy, other_strategy = _talvane._read_world(path)
    _check_fits_rule(path, color, self_strategy, other_strategy, options)
    world = World(rows, cols, seed=seed, populate=False, **options)
    world.color = color
    world.self_strategy = self_strategy
    world.other_strategy = other_strategy
    return world


def _run(self, generations):
    """Runs the given number of generations and returns a pandas DataFrame with
    one row per generation: the columns of talvane-batch's statistics table
    (--stats: "generation", then cells, mean score, strategy counts,
    discriminating share and cooperation rates for the whole world, "all_",
    and for each colour present, "green_", "red_", ...), then the 64 pair
    counts s{self}o{other} of the population log. The first row is the world
    as it was before the run; the next ones follow each generation."""
    import io
    import pandas as pd

    return pd.read_csv(io.StringIO(self._step_stats(generations)))


def _snapshot(self, path, view="strategies"):
    """Writes a PNG of the world as the desktop window shows it, paused
    (980 x 700, the picture of talvane-batch --snapshot): view "strategies"
    or "colors". Only 64 x 64 worlds fit the window's frame. Needs an X
    display with OpenGL (on a machine without a screen, run under xvfb-run);
    RuntimeError when there is none. The file is written under a temporary
    name and renamed into place when complete (through a link, keeping the
    file's mode; straight into a pipe or device)."""
    from . import _picture

    png = _picture.render_png(self._frame_description(view))
    _talvane._write_output(path, png)


def _grid_image(self, path=None, *, cell_pixels=None, view="strategies", legend=False):
    """The grid as talvane-batch --image draws it, in software: a PNG of any
    size of world, with no display needed. cell_pixels K (1 to 64) gives each
    cell K x K pixels (default: the window's 9, or less for worlds too large
    for that, as talvane-batch chooses); view "strategies" or "colors";
    legend adds the strip naming the colours and the generation. Returns the
    PNG's bytes, and writes them to path when one is given (as every Talvane
    program writes its files: through links, into pipes, the file's mode
    kept)."""
    png = self._grid_png(cell_pixels, view, legend)
    if path is not None:
        _talvane._write_output(path, png)
    return png


_lattice_new = World.__new__


def _new_world(cls, *args, graph=None, **options):
    """World(graph=EDGES, ...) is a world on that graph (a GraphWorld);
    without graph, a lattice world."""
    if graph is not None:
        return GraphWorld(graph, *args, **options)
    return _lattice_new(cls)


World.__new__ = staticmethod(_new_world)


def _repr_png(self):
    """The world in a notebook: the software picture with its legend."""
    return self._grid_png(None, "strategies", True)


World.run = _run
World.snapshot = _snapshot
World.image = _grid_image
World.grid_image = _grid_image
World._repr_png_ = _repr_png


class Movie:
    """Frames of a world as an H.264 video (MP4); a notebook shows it as an
    HTML5 video. .mp4 holds the bytes, .frames their number; save(path)
    writes them."""

    def __init__(self, mp4, frames, fps):
        self.mp4, self.frames, self.fps = mp4, frames, fps

    def _repr_html_(self):
        import base64
        return ('<video controls loop autoplay muted playsinline src="data:video/mp4;base64,'
                + base64.b64encode(self.mp4).decode("ascii") + '"></video>')

    def save(self, path):
        _talvane._write_output(path, self.mp4)

    def __repr__(self):
        return f"Movie({self.frames} frames at {self.fps} per second, {len(self.mp4)} bytes)"


def animate(world, generations, every=1, *, fps=10, view="strategies", cell_pixels=None, legend=True):
    """Steps world for the given generations and returns a Movie of it: a
    frame of the world as it stands, then one every `every` generations (the
    pictures of World.image, drawn in software), encoded by ffmpeg (Debian
    package ffmpeg). The world is left at its last generation."""
    import shutil
    import subprocess

    if every < 1:
        raise ValueError(f"every: {every} is not 1 or more")
    if generations < 0:
        raise ValueError(f"generations: {generations} is not 0 or more")
    ffmpeg = shutil.which("ffmpeg")
    if ffmpeg is None:
        raise RuntimeError("animate needs ffmpeg (Debian package ffmpeg)")
    frames = [world._grid_png(cell_pixels, view, legend)]
    done = 0
    while done < generations:
        n = min(every, generations - done)
        world.step(n)
        done += n
        frames.append(world._grid_png(cell_pixels, view, legend))
    # Even sides, as the H.264 encoder's colour format needs.
    command = [ffmpeg, "-v", "error", "-f", "image2pipe", "-framerate", str(fps), "-c:v", "png", "-i", "-",
               "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-pix_fmt", "yuv420p",
               "-movflags", "frag_keyframe+empty_moov", "-f", "mp4", "-"]
    result = subprocess.run(command, input=b"".join(frames), capture_output=True)
    if result.returncode != 0 or not result.stdout:
        raise RuntimeError("ffmpeg could not encode the movie: " + result.stderr.decode(errors="replace").strip())
    return Movie(result.stdout, len(frames), fps)


def run(generations=1000, **options):
    """Makes World(**options) and runs it: the pandas DataFrame of World.run,
    one row per generation from 0 to generations."""
    return World(**options).run(generations)


from .sweeps import sweep  # noqa: E402  (needs strategy_code and World above)
