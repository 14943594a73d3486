"""Parameter sweeps from Python: the grid of scripts/sweep, run on the local
cores (threads: a run steps with the GIL released) or on a Dask cluster,
with the measurements of talvane-batch --measure taken inside each run.

The table is the one scripts/sweep writes as results.csv for the same
parameters, read back with pandas: the same columns, the same rows in the
same order, and the same numbers for the same seeds.
"""

import csv
import decimal
import io
import itertools
import json
import math
import os
import re

PLACEHOLDER = re.compile(r"\{([A-Za-z_][A-Za-z0-9_]*)\}")

# The options of talvane-batch that a World takes, by their column names.
WORLD_OPTIONS = ("size", "edges", "neighbourhood", "payoffs", "competition", "play_self", "extra_point", "update",
                 "noise", "mutation", "threads", "layout", "self_pool", "other_pool", "mix")
# The columns that come first in results.csv, in their order.
OWN_COLUMNS = ("payoffs", "layout", "competition")
RECORD_COLUMNS = ("done", "generation_reached", "settled", "settled_generation", "period", "settled_by")


def vary_values(name, values):
    """The values of one variable, as text: a list or tuple of values, or a
    string as scripts/sweep --vary reads it: "a,b,c", an inclusive decimal
    range "START:STOP:STEP" (1.1:2.1:0.1 is 11 values written as typed) or
    integers "1-20"."""
    if not isinstance(values, str):
        values = [str(v) for v in values]
        if not values:
            raise ValueError(f"vary {name}: no values")
        return values
    text = values
    if ":" in text:
        try:
            start, stop, step = (decimal.Decimal(p) for p in text.split(":"))
            if not all(v.is_finite() for v in (start, stop, step)):
                raise decimal.InvalidOperation
        except (ValueError, decimal.InvalidOperation):
            raise ValueError(f'vary {name}: "{text}" is not a range START:STOP:STEP of decimal numbers') from None
        if step <= 0 or stop < start:
            raise ValueError(f"vary {name}: {text} needs a step above 0 and STOP at least START")
        if (stop - start) / step > 1000000:
            raise ValueError(f"vary {name}: {text} gives more than a million values")
        out, value = [], start
        while value <= stop:
            out.append(str(value))
            value += step
        return out
    match = re.fullmatch(r"(-?[0-9]+)-(-?[0-9]+)", text)
    if match:
        low, high = int(match[1]), int(match[2])
        if high < low or high - low > 1000000:
            raise ValueError(f"vary {name}: {text} is not an integer range LOW-HIGH")
        return [str(v) for v in range(low, high + 1)]
    out = text.split(",")
    if any(v == "" for v in out):
        raise ValueError(f'vary {name}: "{text}" holds an empty value (give a,b,c)')
    return out


def option_text(value):
    """An option's value as the command line (and jobs.tsv) spells it."""
    if value is True:
        return "true"
    if isinstance(value, (list, tuple)):
        return ",".join(str(v) for v in value)
    return str(value)


def default_window(generations):
    """The last tenth of a run: 901 to 1000 of 1000 generations."""
    if generations == 0:
        return 0, 0
    return generations - (generations + 9) // 10 + 1, generations


def parse_window(window, generations):
    if window is None:
        return default_window(generations)
    if isinstance(window, str):
        parts = window.split(":")
        if len(parts) != 2 or not all(p.isdigit() for p in parts):
            raise ValueError(f'window: "{window}" is not FROM:TO (generations)')
        first, last = int(parts[0]), int(parts[1])
    else:
        first, last = (int(v) for v in window)
    if first < 0 or last < first:
        raise ValueError(f"window: {first}:{last} needs 0 <= FROM <= TO")
    if last > generations:
        raise ValueError(f"window: {first}:{last} ends after the run's last generation, {generations}")
    return first, last


def mix_of(text):
    """--mix "7/7:0.9,0/0:0.1" as World's mix {(7, 7): 0.9, (0, 0): 0.1}."""
    from . import strategy_code

    def code(part):
        return int(part) if part.isdigit() else strategy_code(part)

    mix = {}
    for item in text.split(","):
        pair, colon, weight = item.rpartition(":")
        self_name, slash, other_name = pair.partition("/")
        if not colon or not slash:
            raise ValueError(f'mix: "{item}" is not PAIR:WEIGHT (such as 7/7:0.9)')
        mix[(code(self_name), code(other_name))] = float(weight)
    return mix


def world_options(options):
    """World's keyword arguments for the options of one run (their text)."""
    from . import strategy_code

    kwargs = {}
    for name, value in options.items():
        if name == "size":
            rows, _, cols = value.partition("x")
            kwargs["rows"], kwargs["cols"] = int(rows), int(cols or rows)
        elif name == "payoffs":
            kwargs["payoffs"] = [float(v) for v in value.split(",")]
        elif name in ("play_self", "extra_point"):
            if value not in ("true", "false"):
                raise ValueError(f"{name}: {value!r} is not true or false")
            kwargs[name] = value == "true"
        elif name in ("noise", "mutation"):
            kwargs[name] = float(value)
        elif name == "threads":
            kwargs[name] = int(value)
        elif name in ("self_pool", "other_pool"):
            kwargs[name] = [int(v) if v.isdigit() else strategy_code(v) for v in value.split(",") if v]
        elif name == "mix":
            kwargs["mix"] = mix_of(value)
        else:
            kwargs[name] = value
    return kwargs


class Grid:
    """The runs of a sweep, in scripts/sweep's order: the seeds slowest,
    then the variables, the first given varying slowest."""

    def __init__(self, vary, options, measure, window, generations):
        vary = dict(vary or {})
        options = {k.replace("-", "_"): v for k, v in dict(options or {}).items()}
        for name in options:
            if name == "seed":
                raise ValueError("options: give the seeds as vary={'seed': ...}")
            if name not in WORLD_OPTIONS:
                raise ValueError(f"options: {name!r} is not an option a sweep's runs take "
                                 f"({', '.join(WORLD_OPTIONS)})")
        if not measure:
            raise ValueError("measure: give at least one measurement (such as ['share:7/7'])")
        self.measures = [m for item in ([measure] if isinstance(measure, str) else measure)
                         for m in str(item).split(",") if m]
        if len(set(self.measures)) != len(self.measures):
            raise ValueError(f"measure: a measurement is given twice: {self.measures}")
        self.generations = int(generations)
        if self.generations < 0:
            raise ValueError(f"generations: {generations} is not 0 or more")
        self.window_given = window is not None
        self.window = parse_window(window, self.generations)
        self.vary = [(name, vary_values(name, values)) for name, values in vary.items()]
        self.seeds = dict(self.vary).get("seed", ["1"])
        self.named = [name for name, _ in self.vary if name != "seed"]
        self.options = {k: option_text(v) for k, v in options.items() if v is not False}
        used = set()
        for value in self.options.values():
            for m in PLACEHOLDER.finditer(value):
                if m[1] not in self.named:
                    raise ValueError(f"options: {{{m[1]}}} has no vary[{m[1]!r}]")
                used.add(m[1])
        for name in self.named:
            if name not in used:
                raise ValueError(f"vary {name} is used nowhere: no {{{name}}} in the options")
            if name in ("name", "seed", "generations", "measure", "window") + OWN_COLUMNS or (
                    name in self.options and self.options[name] != "{" + name + "}"):
                raise ValueError(f"vary {name}: {name} is already a column of the sweep; give it another name")
        # The options after the columns of their own, as scripts/sweep lists those after --.
        self.extra = [k for k in self.options if k not in OWN_COLUMNS]
        self.named_columns = [n for n in self.named if n not in self.options]

    def header(self):
        extra = self.extra + ["measure"] + (["window"] if self.window_given else [])
        return (["name", "seed", "payoffs", "layout", "competition", "generations"] + self.named_columns + extra
                + list(RECORD_COLUMNS) + [c for m in self.measures for c in (m, m + "_sd")])

    def runs(self):
        """(name, fields before the record, World's options) for every run."""
        combos = list(itertools.product(*[values for name, values in self.vary if name != "seed"]))
        names = set()
        for seed in self.seeds:
            for combo in combos:
                values = dict(zip(self.named, combo))
                text = {k: PLACEHOLDER.sub(lambda m: values[m[1]], v) for k, v in self.options.items()}
                payoffs = text.get("payoffs", "3,0,5,1")
                layout = text.get("layout", "checkerboard")
                competition = text.get("competition", "finite")
                if competition == "infinite":
                    payoffs = "none"
                name = f"s{seed}_p{payoffs.replace(',', '_')}_{layout}_{competition}"
                name += "".join(f"_{n}{v}" for n, v in zip(self.named, combo))
                name = re.sub(r"[^A-Za-z0-9._+-]", "_", name)
                if name in names:
                    continue
                names.add(name)
                fields = [name, seed, payoffs, layout, competition, str(self.generations)]
                fields += [values[n] for n in self.named_columns]
                fields += [text[k] for k in self.extra] + [",".join(self.measures)]
                fields += ["%d:%d" % self.window] if self.window_given else []
                kwargs = world_options({k: v for k, v in text.items() if not (k == "payoffs" and payoffs == "none")})
                kwargs["seed"] = int(seed)
                yield name, fields, kwargs


def run_one(kwargs, generations, measures, first, last):
    """One run: the world seeded as talvane-batch seeds it, stepped and measured.
    Returns the run's record fields (a dict, as JSON gives it)."""
    from . import World

    world = World(**kwargs)
    return json.loads(world._run_measured(generations, measures, first, last))


def record_fields(result, measures):
    """The fields after a run's parameters, as scripts/sweep writes them."""
    def count(value):
        return str(value) if isinstance(value, int) and value >= 0 else ""

    settled_at = count(result.get("settled_generation"))
    out = ["true", count(result.get("generation_reached")), "true" if settled_at else "false", settled_at,
           count(result.get("period")), result.get("settled_by") or ""]
    for name in measures:
        entry = result["measures"].get(name, {})
        for key in ("mean", "sd"):
            value = entry.get(key)
            out.append(repr(float(value)) if isinstance(value, (int, float)) and not math.isnan(value) else "")
    return out


def csv_text(header, rows):
    text = io.StringIO()
    out = csv.writer(text, lineterminator="\n")
    out.writerow(header)
    out.writerows(rows)
    return text.getvalue()


def write_atomically(path, text):
    tmp = f"{path}.tmp{os.getpid()}"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def finished_rows(path, header):
    """The finished runs an earlier sweep left in path, by name; refuses a
    file of another sweep."""
    if path is None or not os.path.exists(path):
        return {}
    with open(path, newline="", encoding="utf-8") as f:
        lines = list(csv.reader(f))
    if not lines:
        return {}
    if lines[0] != header:
        raise ValueError(f"{path} holds the results of another sweep (other columns); give another out")
    done = header.index("done")
    return {row[0]: row for row in lines[1:] if len(row) == len(header) and row[done] == "true"}


def progress_bar(total, initial, show):
    if not show:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        return None
    return tqdm(total=total, initial=initial, unit="run", desc="sweep")


def sweep(vary=None, options=None, measure=("share:7/7",), window=None, generations=1000, client=None, *,
          out=None, jobs=None, progress=True):
    """Runs the grid of a sweep and returns its table, a pandas DataFrame with
    the columns of scripts/sweep's results.csv for the same parameters: name,
    seed, payoffs, layout, competition, generations, a column per variable,
    the options, measure (and window when given), then done,
    generation_reached, settled, settled_generation, period, settled_by and,
    for each measurement NAME, NAME (its mean over the window) and NAME_sd.

    vary: {name: values}, each a list or a string as --vary reads it
    ("1.05:2.4:0.05", "1-20", "a,b"); the runs are the product, the first
    varying slowest; "seed" gives the seeds (default 1). options: talvane-batch's
    options by name (size, payoffs, play_self, mix, layout, update, ...),
    whose text may hold {name} placeholders. measure: the measurements of
    talvane-batch --measure; window: "FROM:TO" or (FROM, TO), default the last
    tenth of the run.

    client: None runs on the local cores (jobs threads, default their
    number); a dask.distributed.Client runs each run as a task of that
    cluster. The rows come in the grid's order whatever order the runs end in.
    out: a CSV file the table is written to as the runs end (rewritten whole,
    under a temporary name, after each); when it already holds runs of this
    sweep, only the others are run, so an interrupted sweep goes on from
    what it has. progress: a tqdm bar (terminal or notebook) when tqdm is there.
    """
    import pandas as pd

    grid = Grid(vary, options, measure, window, generations)
    header = grid.header()
    runs = list(grid.runs())
    rows = finished_rows(out, header)
    todo = [(k, run) for k, run in enumerate(runs) if run[0] not in rows]
    first, last = grid.window
    task_args = [(kwargs, grid.generations, grid.measures, first, last) for _, (_, _, kwargs) in todo]
    bar = progress_bar(len(runs), len(runs) - len(todo), progress)

    def table():
        return csv_text(header, [rows[name] for name, _, _ in runs if name in rows])

    def finished(k, result):
        name, fields, _ = runs[k]
        rows[name] = fields + record_fields(result, grid.measures)
        if out is not None:
            write_atomically(out, table())
        if bar is not None:
            bar.update(1)

    try:
        if client is None:
            from concurrent.futures import ThreadPoolExecutor, as_completed
            with ThreadPoolExecutor(max_workers=jobs or os.cpu_count() or 1) as pool:
                futures = {pool.submit(run_one, *args): k for (k, _), args in zip(todo, task_args)}
                try:
                    for future in as_completed(futures):
                        finished(futures[future], future.result())
                except BaseException:
                    pool.shutdown(wait=False, cancel_futures=True)
                    raise
        else:
            from distributed import as_completed
            futures = client.map(run_one, *zip(*task_args), pure=False) if task_args else []
            index = {future.key: k for future, (k, _) in zip(futures, todo)}
            try:
                for future in as_completed(futures):
                    finished(index[future.key], future.result())
            except BaseException:
                client.cancel(futures)
                raise
    finally:
        if bar is not None:
            bar.close()
    return pd.read_csv(io.StringIO(table()))
