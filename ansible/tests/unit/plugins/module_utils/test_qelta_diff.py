# -*- coding: utf-8 -*-
# Before/after texts of diff mode.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import difflib

import pytest
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_diff import (
    DeviceDiff,
    difference_lines,
    differing,
    parameter_lines,
    value_text,
)

VALUE_CASES = [
    ("3", "3"),
    (3, "3"),
    ("Warehouse North", "Warehouse North"),
    ("Stock count         ", '"Stock count         "'),  # padding stays visible
    ("", '""'),
    ("a\tb", '"a\\tb"'),
    ("03 0A FF", "03 0A FF"),
    (None, "(not read)"),
    (True, "true"),
]


@pytest.mark.parametrize("value,shown", VALUE_CASES)
def test_value_text(value, shown):
    assert value_text(value) == shown


ENTRIES = [
    {"station": None, "source": "line 2: CHANNEL:5", "parameter": "CHANNEL", "file_value": "5",
     "device_value": "1", "match": False},
    {"station": None, "source": "line 3: LCD_CONTRAST:60", "parameter": "LCD_CONTRAST",
     "file_value": "60", "device_value": "60", "match": True},
    {"station": None, "source": "F1 key", "parameter": "F1", "file_value": "YES",
     "device_value": None, "match": False},
]


def test_parameter_lines_line_up_in_file_order():
    before, after = parameter_lines(ENTRIES)
    assert before == ["CHANNEL (line 2): 1", "LCD_CONTRAST (line 3): 60", "F1 (F1 key): (not read)"]
    assert after == ["CHANNEL (line 2): 5", "LCD_CONTRAST (line 3): 60", "F1 (F1 key): YES"]


def test_a_unified_diff_names_exactly_the_differing_parameters():
    d = DeviceDiff("device", "site.pcg")
    d.add(parameter_lines(ENTRIES))
    out = d.as_dict()
    changed = [line for line in difflib.unified_diff(out["before"].splitlines(), out["after"].splitlines(), lineterm="")
               if line[:1] in "+-" and line[:3] not in ("---", "+++")]
    assert changed == ["-CHANNEL (line 2): 1", "+CHANNEL (line 2): 5", "-F1 (F1 key): (not read)", "+F1 (F1 key): YES"]
    assert (out["before_header"], out["after_header"]) == ("device", "site.pcg")
    assert d.changes()


def test_differing_takes_every_line_not_known_to_match():
    assert [e["parameter"] for e in differing(ENTRIES)] == ["CHANNEL", "F1"]
    assert differing([{"parameter": "X"}]) == [{"parameter": "X"}]


def test_difference_lines_and_an_unchanged_device():
    before, after = difference_lines([{"setting": "baud_rate", "before": "9600", "after": "19200"}], "ethernet ")
    assert (before, after) == (["ethernet baud_rate: 9600"], ["ethernet baud_rate: 19200"])
    same = DeviceDiff("a", "b")
    same.add((["channel: 3"], ["channel: 3"]))
    assert not same.changes() and not same.empty()
    assert DeviceDiff("a", "b").empty()
