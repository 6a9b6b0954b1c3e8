# -*- coding: utf-8 -*-
# The facts module against a scripted command line.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import pytest
from ansible_collections.tervana.qelta.plugins.modules import station_facts
from module_harness import row
from test_station_config import SILENT, inv

A, B, C = "127.0.0.2", "127.0.0.3", "127.0.0.4"

# (what, arguments, inventory output, exit status, addresses in the facts, not answered, failed)
CASES = [
    ("every station found, in list order", dict(all=True), [inv(B), inv(A)], 0, [B, A], [], False),
    ("named stations", dict(stations=[A, B]), [inv(A), inv(B)], 0, [A, B], [], False),
    ("a silent station stays in the facts, with a warning", dict(stations=[A, C]),
     [inv(A), inv(C, **SILENT)], 1, [A, C], [C], False),
    ("a named station the inventory has no entry for", dict(stations=[A, C]), [inv(A)], 1, [A], [C], False),
    ("no inventory at all", dict(all=True), [row("failure", "No base stations found")], 1, None, None,
     "No base stations found"),
    ("rows without objects: a command line that lacks them", dict(all=True),
     [row("success", "BS-1", A, "Device type: 9; Status: OK")], 0, None, None, "no inventory objects"),
    ("a usage error", dict(stations=[A]), [], 2, None, None, "usage error"),
]


@pytest.mark.parametrize("what,args,records,rc,addresses,silent,failed", CASES, ids=[c[0] for c in CASES])
def test_facts(cli, run_module, what, args, records, rc, addresses, silent, failed):
    cli.step("bs-inventory", records, rc)
    result = run_module(station_facts.main, args, check=True)
    assert result.get("failed", False) is bool(failed)
    assert cli.commands() == [["bs-inventory"] + (["--all"] if args.get("all") else args["stations"])]
    if failed:
        assert failed in result["msg"]
        return
    assert result["changed"] is False
    facts = result["ansible_facts"]["qelta_stations"]
    assert [f["address"] for f in facts] == addresses
    assert result["not_answered"] == silent
    for address in silent:
        assert any(w.startswith(address + ": ") for w in result.get("warnings", []))


def test_facts_carry_every_field_as_printed(cli, run_module):
    printed = inv(A, channel="Channel error 255", description="Hall 3", dhcp=True)
    cli.step("bs-inventory", [printed], 0)
    result = run_module(station_facts.main, dict(stations=[A], discovery_wait=2000, jobs=4))
    assert result["ansible_facts"]["qelta_stations"] == [printed["inventory"]]
    assert cli.calls()[0]["args"][2:4] == ["--jobs", "4"]
    assert cli.commands() == [["bs-inventory", A, "--wait", "2000"]]
