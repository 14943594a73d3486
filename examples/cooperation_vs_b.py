#!/usr/bin/env python3
"""Cooperators against the temptation b, on a world of AllC and AllD.

The classic spatial Prisoner's Dilemma: every cell is AllC or AllD (one
colour, so each plays one strategy against everyone), payoffs R = 1, S = 0,
T = b, P = 0, every cell also plays itself, and each generation every cell
imitates the best-scoring cell around it. For each b the script starts from
the same random half-and-half world and prints and plots the share of
cooperators after the given number of generations.

    python3 examples/cooperation_vs_b.py                # 200 x 200, plot in cooperation.png
    python3 examples/cooperation_vs_b.py --size 50 --generations 40 --plot none
"""

import argparse

import numpy as np

import talvane

ALLD, ALLC = talvane.strategy_code("AllD"), talvane.strategy_code("AllC")


def cooperator_share(b, size, generations, seed):
    world = talvane.World(size, size, payoffs=(1, 0, b, 0), play_self=True, seed=seed,
                          self_pool=[ALLD, ALLC], layout="segregated")
    world.color = np.zeros(world.shape)                # one colour: the self strategy is all that is played
    world.other_strategy = world.self_strategy
    table = world.run(generations)
    return table[f"s{ALLC}o{ALLC}"].iloc[-1] / world.color.size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=200)
    parser.add_argument("--generations", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--plot", default="cooperation.png", help='PNG to write, or "none"')
    args = parser.parse_args()

    temptations = np.round(np.arange(1.0, 2.01, 0.1), 2)
    shares = [cooperator_share(b, args.size, args.generations, args.seed) for b in temptations]
    for b, share in zip(temptations, shares):
        print(f"b = {b:.1f}: cooperators {share:.3f}")

    if args.plot != "none":
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        plt.plot(temptations, shares, marker="o")
        plt.xlabel("temptation b")
        plt.ylabel(f"share of cooperators after {args.generations} generations")
        plt.savefig(args.plot, dpi=100)


if __name__ == "__main__":
    main()
