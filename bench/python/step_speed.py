#!/usr/bin/env python3
"""Time per generation of World.step against talvane-batch, and the cost of
reading a grid.

    PYTHONPATH=build/python python3 bench/python/step_speed.py build/batch/talvane-batch

For each size the batch runner's time for N generations, less its time for
none (start-up, seeding, files), is set against World.step(N) on the same
seeded world; the best of a few repeats counts. Reading w.self_strategy costs
the same for every size: it is a view, not a copy.
"""

import subprocess
import sys
import tempfile
import time

import talvane


def best_of(repeats, action):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        action()
        best = min(best, time.perf_counter() - start)
    return best


def batch_seconds(program, size, generations, folder):
    command = [program, "--seed", "1", "--size", str(size), "--generations", str(generations),
               "--log", f"{folder}/vemo.csv"]
    return best_of(3, lambda: subprocess.run(command, check=True, capture_output=True))


def main():
    program = sys.argv[1]
    print(f"{'size':>6} {'gens':>6} {'batch ms/gen':>13} {'python ms/gen':>14} {'ratio':>6} {'view us':>8}")
    with tempfile.TemporaryDirectory() as folder:
        for size, generations in ((64, 5000), (256, 1000), (1024, 100)):
            batch = (batch_seconds(program, size, generations, folder) - batch_seconds(program, size, 0, folder))
            python = best_of(3, lambda: talvane.World(size, size, seed=1).step(generations))
            python -= best_of(3, lambda: talvane.World(size, size, seed=1))
            world = talvane.World(size, size, seed=1)
            view = best_of(1000, lambda: world.self_strategy)
            print(f"{size:>6} {generations:>6} {batch / generations * 1e3:>13.4f} "
                  f"{python / generations * 1e3:>14.4f} {python / batch:>6.3f} {view * 1e6:>8.2f}")


if __name__ == "__main__":
    main()
