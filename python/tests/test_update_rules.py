"""The update rules, schedules, match length and selection of World: what
they read back as, and the values they refuse."""

import pytest

import talvane


def test_rules_read_back_with_their_schedules():
    assert (talvane.World(10, 10, update="best").update, talvane.World(10, 10, update="best").schedule) == \
        ("synchronous", "synchronous")
    w = talvane.World(10, 10, update="proportional")
    assert (w.update, w.schedule) == ("proportional", "synchronous")
    w.schedule = "random-sequential"
    assert (w.update, w.schedule) == ("proportional", "random-sequential")
    w = talvane.World(10, 10, update="death-birth", selection=0.25)
    assert (w.update, w.schedule, w.selection) == ("death-birth", "random-sequential", 0.25)
    assert talvane.World(10, 10, update="fermi").schedule == "random-sequential"


def test_rounds_set_the_match_length_of_the_table():
    w = talvane.World(10, 10, rounds=1)
    assert w.rounds == 1
    assert w.payoff_table[0, 7] == 5 and w.payoff_table[7, 7] == 3
    w.rounds = 200
    assert w.payoff_table[7, 7] == 600
    assert talvane.World(10, 10).rounds == 200


@pytest.mark.parametrize("options,word", [
    ({"update": "replicator"}, "update"),
    ({"update": "death-birth", "schedule": "synchronous"}, "schedule"),
    ({"update": "asynchronous", "schedule": "synchronous"}, "schedule"),
    ({"schedule": "sequential"}, "schedule"),
    ({"selection": 0.0}, "selection"),
    ({"rounds": 0}, "rounds"),
    ({"rounds": 1000001}, "rounds"),
    ({"rounds": 10, "competition": "infinite"}, "rounds"),
])
def test_bad_values_are_refused(options, word):
    with pytest.raises(ValueError, match=word):
        talvane.World(10, 10, **options)
