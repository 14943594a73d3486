"""Making and dropping worlds, views and tables keeps neither Python objects
nor native memory."""

import gc
import sys

import talvane


def resident_kib():
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    return pages * 4


def make_and_drop(count):
    for i in range(count):
        w = talvane.World(16, 16, seed=i, payoffs=(3, 0, 5.5, 1))
        w.step(1)
        w.color, w.self_strategy
        w.pair_counts()
        w.stats()
        w.copy()


def test_ten_thousand_worlds_leave_nothing_behind():
    make_and_drop(1000)  # allocator pools and caches reach their size
    gc.collect()
    objects = len(gc.get_objects())
    memory = resident_kib()
    type_references = sys.getrefcount(talvane.World)
    make_and_drop(10_000)
    gc.collect()
    after = sys.getrefcount(talvane.World)
    assert after == type_references
    assert len(gc.get_objects()) - objects < 100
    # A leaked world of 16 x 16 holds several KiB; 10,000 of them would be tens of MiB.
    assert resident_kib() - memory < 4 * 1024


def test_views_release_their_world():
    w = talvane.World(8, 8, seed=1)
    references = sys.getrefcount(w)
    views = [w.color, w.self_strategy, w.other_strategy, w.scores]
    with_views = sys.getrefcount(w)
    del views
    without_views = sys.getrefcount(w)
    assert with_views == references + 4
    assert without_views == references
