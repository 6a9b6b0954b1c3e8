# -*- coding: utf-8 -*-
# Which stations a task works on and what their inventory tells.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import pytest
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_stations import (
    Inventory,
    eth_default_differences,
    station_problem,
)

PROBLEM_CASES = [
    (dict(stations=["127.0.0.2"]), None),
    (dict(all=True), None),
    (dict(all=True, jobs=64, discovery_wait=0), None),
    (dict(stations=["127.0.0.2"], all=False), None),
    (dict(stations=["127.0.0.2"], all=True), "not both"),
    (dict(), "name the stations"),
    (dict(stations=[]), "name the stations"),
    (dict(stations=["127.0.0.300"]), "not a dotted IPv4 address"),
    (dict(stations=["host.example"]), "not a dotted IPv4 address"),
    (dict(stations=["127.0.0.2", "1.2.3"]), "not a dotted IPv4 address"),
    (dict(all=True, jobs=0), "jobs must be 1 to 64"),
    (dict(all=True, jobs=65), "jobs must be 1 to 64"),
    (dict(all=True, discovery_wait=60001), "discovery_wait"),
]


@pytest.mark.parametrize("params,problem", PROBLEM_CASES)
def test_station_problem(params, problem):
    found = station_problem(params)
    assert (found is None) == (problem is None)
    if problem:
        assert problem in found


DEFAULTED = dict(baud_rate=19200, data_bits=8, stop_bits=1, parity="none", flow_control="None",
                 description=None, location=None)

DEFAULTS_CASES = [
    ("all at their defaults (flow control in any case)", {}, []),
    ("numbers given as text", dict(baud_rate="19200", data_bits="8"), []),
    ("a described module", dict(description="Hall 3", location="Dock 4"), ["description", "location"]),
    ("another baud rate and parity", dict(baud_rate=9600, parity="even"), ["baud_rate", "parity"]),
    ("a value that did not answer", dict(stop_bits=None), ["stop_bits"]),
]


@pytest.mark.parametrize("what,changes,settings", DEFAULTS_CASES, ids=[c[0] for c in DEFAULTS_CASES])
def test_eth_default_differences(what, changes, settings):
    inventory = dict(DEFAULTED, **changes)
    found = eth_default_differences(inventory)
    assert [d["setting"] for d in found] == settings
    for d in found:
        assert d["before"] == inventory[d["setting"]]


class Run(object):
    def __init__(self, objects):
        self._objects = objects

    def objects_of(self, key):
        return self._objects if key == "inventory" else []


def test_inventory_keeps_the_named_order_and_lists_missing_stations():
    run = Run([{"address": "127.0.0.3"}, {"address": "127.0.0.2"}])
    named = Inventory(run, ["127.0.0.2", "127.0.0.9", "127.0.0.3"])
    assert named.addresses == ["127.0.0.2", "127.0.0.9", "127.0.0.3"]
    assert named.get("127.0.0.9") is None
    found = Inventory(run, [])
    assert found.addresses == ["127.0.0.3", "127.0.0.2"]
