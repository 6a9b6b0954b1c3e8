# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.
"""Base stations of a site: which ones a task works on, and what their inventory tells.

A task names stations by their dotted addresses or takes every station discovery finds
(``all``). The inventory (``bs-inventory``) answers one object per station with the values read
from it; a value that did not answer is null, so each use looks at the values it needs: a
station whose tunnel did not answer has no channel, one whose web interface did not answer has
no serial settings.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

STATION_ARGUMENT_SPEC = dict(
    stations=dict(type="list", elements="str"),
    all=dict(type="bool", default=False),
    jobs=dict(type="int"),
    discovery_wait=dict(type="int"),
    eth_user=dict(type="str"),
    eth_password=dict(type="str", no_log=True),
)

MAX_JOBS = 64
MAX_DISCOVERY_WAIT_MS = 60000

# What the default Ethernet settings put on a module, as far as the inventory reads it back:
# the serial port's settings, the description and the location (emptied; the inventory shows
# an empty value as null). The GPIO pins, the port profile, TCP forwarding and the module's DHCP
# setting are posted too but are not part of the inventory.
ETH_DEFAULTS = (
    ("baud_rate", 19200),
    ("data_bits", 8),
    ("stop_bits", 1),
    ("parity", "none"),
    ("flow_control", "none"),
    ("description", None),
    ("location", None),
)


def station_problem(params):
    """Why the station options cannot work, or None."""
    if params.get("all") and params.get("stations"):
        return "name the stations (stations) or take every station found (all: true), not both"
    if not params.get("all") and not params.get("stations"):
        return "name the stations (stations) or take every station found (all: true)"
    for address in params.get("stations") or []:
        parts = address.split(".")
        if len(parts) != 4 or not all(p.isdigit() and int(p) <= 255 for p in parts):
            return "%r is not a dotted IPv4 address" % address
    jobs = params.get("jobs")
    if jobs is not None and not 1 <= jobs <= MAX_JOBS:
        return "jobs must be 1 to %d" % MAX_JOBS
    wait = params.get("discovery_wait")
    if wait is not None and not 0 <= wait <= MAX_DISCOVERY_WAIT_MS:
        return "discovery_wait must be 0 to %d ms" % MAX_DISCOVERY_WAIT_MS
    return None


def unique(addresses):
    seen = set()
    out = []
    for a in addresses:
        if a not in seen:
            seen.add(a)
            out.append(a)
    return out


def wait_args(params):
    wait = params.get("discovery_wait")
    return ["--wait", str(wait)] if wait is not None else []


def positional(addresses):
    """Stations as the bs-... commands take them: addresses after the command's arguments."""
    return list(addresses)


def flagged(addresses):
    """Stations as the device commands take them: --station ADDRESS each."""
    out = []
    for a in addresses:
        out += ["--station", a]
    return out


def objects_by_station(objects, key="station"):
    """The objects of a command grouped by their station's address, in the order printed."""
    grouped = {}
    for o in objects:
        grouped.setdefault(o.get(key), []).append(o)
    return grouped


def tunnel_answered(inventory):
    """The station's own values (type, channel, comm ID) were read through its tunnel."""
    return inventory is not None and inventory.get("device_type") is not None


def web_answered(inventory):
    """The module's settings were read through its web interface."""
    return inventory is not None and inventory.get("baud_rate") is not None


def _same(expected, found):
    if isinstance(expected, str) and isinstance(found, str):
        return expected.lower() == found.strip().lower()
    if isinstance(expected, int) and isinstance(found, str) and found.strip().isdigit():
        return expected == int(found)
    return expected == found


def eth_default_differences(inventory):
    """The values of the default Ethernet settings that the inventory shows differing."""
    out = []
    for setting, expected in ETH_DEFAULTS:
        found = inventory.get(setting)
        if not _same(expected, found):
            out.append({"setting": setting, "before": found, "after": expected})
    return out


def inventory_reason(inventory):
    """Why a station could not be worked on, from its inventory object."""
    if inventory is None:
        return "not in the inventory (no answer)"
    return str(inventory.get("status") or "no answer")


class Inventory(object):
    """The inventory of the task's stations: one object per station, by address."""

    def __init__(self, run, named):
        self.run = run
        self.by_address = {}
        self.order = []
        for o in run.objects_of("inventory"):
            address = o.get("address")
            if address not in self.by_address:
                self.order.append(address)
            self.by_address[address] = o
        # Named stations keep the order they were named in; the others follow in list order.
        self.addresses = unique(list(named or []) + self.order) if named else list(self.order)

    def get(self, address):
        return self.by_address.get(address)


def inventory_failure(inventory):
    """Why the inventory gave nothing to work with, or None."""
    run = inventory.run
    if run.rc == 2:
        return run.failure_text()
    if inventory.by_address:
        return None
    if run.rows_of("success"):
        # Stations answered, yet the objects are missing: a command line without them.
        return ("qeltaconfig-cli printed inventory rows but no inventory objects; "
                "these modules need a qeltaconfig-cli whose bs-inventory prints them with --output json")
    if run.outcome.failed:
        return run.failure_text()
    return None


def read_inventory(cli, params, settings):
    """Runs bs-inventory on the task's stations."""
    named = unique(params.get("stations") or [])
    targets = ["--all"] if params.get("all") else positional(named)
    run = cli.run(["bs-inventory"] + targets + wait_args(params), settings=settings)
    return Inventory(run, named)
