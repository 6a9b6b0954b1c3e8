#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: station_config
short_description: Bring base stations to a configuration file, channel, radio type and defaults
version_added: "1.0.0"
description:
  - Works on the base stations of the host's network, named by address or every station that
    discovery finds. First reads each station's inventory (C(qeltaconfig-cli bs-inventory)),
    then, in this order, for each part the task names, reads what the station holds and writes
    only where it differs.
  - "I(eth_defaults): C(bs-eth-defaults --changed-only) (the module's web interface); in check
    mode C(bs-eth-defaults --dry-run), which reads each module's settings and posts no settings."
  - "I(config_file): C(diff --type 9), then C(bs-set-config --changed-only --verify) on the
    stations that differ."
  - "I(channel): the inventory's channel, then C(channel) on the stations that differ."
  - "I(radio_type): C(radio-type) without a type reads each station's radio type back, then
    C(radio-type) on the stations that differ. The site's settings must be in production mode
    (C(UIProduction) 1), as for the command line."
  - "I(comm_id): C(comm-id). A new comm ID is handed out on every run: this part is never
    idempotent and always reports changed. Run it once per station (for example in a play of
    its own, or guarded by C(when)) and not in a play that converges a site."
  - A station that does not answer (its probe, its tunnel, or its web interface for
    I(eth_defaults)) fails the task, naming it; the other stations are still worked on.
  - After a configuration file was written, a station is reset; the task waits 1.5 s for it to
    come back before it sets its channel, radio type or comm ID.
  - Do not set one value two ways, as a C(CHANNEL) line in I(config_file) and I(channel) would;
    each run would then write both.
extends_documentation_fragment:
  - tervana.qelta.cli
  - tervana.qelta.cli.stations
options:
  config_file:
    description:
      - A configuration file (C(.pcg)) on the managed host for the stations' memory.
    type: path
  channel:
    description:
      - The radio channel.
    type: int
    choices: [1, 2, 3, 4, 5, 6, 7]
  radio_type:
    description:
      - The radio type (the calibration byte), 1 to 3.
    type: int
    choices: [1, 2, 3]
  eth_defaults:
    description:
      - Put the default Ethernet and serial settings on the stations' modules where a value
        differs (GPIO pins, serial port 19200 8N1 without flow control, the TCP sockets profile,
        TCP forwarding, description and location emptied, DHCP on).
    type: bool
    default: false
  comm_id:
    description:
      - Number the stations with new comm IDs. C(next) takes the next numbers from the settings'
        counter (C(CommID)); a number from 0 to 65535 is the first comm ID, the stations after
        the first get the numbers after it.
      - Never idempotent, see above.
    type: str
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying the devices.
    support: partial
    details:
      - The configuration file, the channel, the radio type and the default Ethernet settings are
        read and compared; nothing is written or posted.
      - A comm ID is always reported as a change that would be made.
  diff_mode:
    description: Will return details on what has changed (or might change in check mode).
    support: full
    details: One before/after pair per station, a line per parameter and setting.
author:
  - QeltaConfig maintainers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Stations of the hall hold the site's file, channel and radio type
  tervana.qelta.station_config:
    stations: [10.20.0.11, 10.20.0.12]
    config_file: /etc/qelta/base_station.pcg
    channel: 3
    radio_type: 2
    eth_defaults: true
    eth_password: "{{ vault_eth_password }}"
    settings: /etc/qelta/QeltaConfigurator.conf
    jobs: 8

- name: Every station found on the site's network, channel only
  tervana.qelta.station_config:
    all: true
    channel: 5
    discovery_wait: 3000

- name: New stations get comm IDs once
  tervana.qelta.station_config:
    stations: "{{ new_stations }}"
    comm_id: next
  when: new_stations | length > 0
"""

RETURN = r"""
stations:
  description: One entry per station worked on, in the order named (or found).
  returned: always
  type: list
  elements: dict
  contains:
    address:
      description: The station's dotted address.
      type: str
    name:
      description: The module's name from discovery (null when it did not answer).
      type: str
    changed:
      description: Something was written to this station (in check mode, would be).
      type: bool
    changes:
      description: The parts changed, of C(eth_defaults), C(config_file), C(channel),
        C(radio_type), C(comm_id).
      type: list
      elements: str
    failed:
      description: The station did not answer, or a part failed on it.
      type: bool
    msg:
      description: Why it failed.
      type: str
  sample:
    - address: 10.20.0.11
      name: BS-1
      changed: true
      changes: [config_file, channel]
      failed: false
      msg: ""
failed_stations:
  description: Addresses of the stations that failed.
  returned: always
  type: list
  elements: str
  sample: [10.20.0.13]
next_comm_id:
  description: The next comm ID the settings hold after numbering (only with I(comm_id)).
  returned: when comm IDs were handed out
  type: str
  sample: "10002"
commands:
  description: The commands run, each with its exit status, failure rows and warning rows.
  returned: always
  type: list
  elements: dict
"""

import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_cli import (
    CLI_ARGUMENT_SPEC,
    QeltaCli,
)
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_diff import (
    DeviceDiff,
    difference_lines,
    differing,
    parameter_lines,
    setting_lines,
)
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_settings import LoginSettings
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_stations import (
    STATION_ARGUMENT_SPEC,
    flagged,
    inventory_failure,
    inventory_reason,
    objects_by_station,
    positional,
    read_inventory,
    station_problem,
    tunnel_answered,
    wait_args,
    web_answered,
)

ARGUMENT_SPEC = dict(
    CLI_ARGUMENT_SPEC,
    config_file=dict(type="path"),
    channel=dict(type="int", choices=[1, 2, 3, 4, 5, 6, 7]),
    radio_type=dict(type="int", choices=[1, 2, 3]),
    eth_defaults=dict(type="bool", default=False),
    comm_id=dict(type="str"),
    **STATION_ARGUMENT_SPEC
)

# A base station comes back from the reset after its configuration file this long later.
RESET_SETTLE_SECONDS = 1.5


class Station(object):
    def __init__(self, address, inventory):
        self.address = address
        self.inventory = inventory
        self.name = inventory.get("name") if inventory else None
        self.changes = []
        self.reasons = []
        header = "%s (%s)" % (address, self.name) if self.name else address
        self.diff = DeviceDiff(header + " now", header + " after the task")

    def change(self, part, lines=None):
        if part not in self.changes:
            self.changes.append(part)
        if lines:
            self.diff.add(lines)

    def fail(self, reason):
        self.reasons.append(reason)

    @property
    def failed(self):
        return bool(self.reasons)

    def as_result(self):
        return dict(
            address=self.address,
            name=self.name,
            changed=bool(self.changes),
            changes=list(self.changes),
            failed=self.failed,
            msg="; ".join(self.reasons),
        )


def parse_comm_id(text):
    """None (not asked), "next", or the first comm ID as a number; ValueError otherwise."""
    if text is None:
        return None
    text = text.strip()
    if text.lower() == "next":
        return "next"
    if not text.isdigit() or int(text) > 65535:
        raise ValueError("comm_id must be next or a number from 0 to 65535, not %r" % text)
    return int(text)


class StationTask(object):
    """One run of the module over the task's stations."""

    def __init__(self, module):
        self.module = module
        self.p = module.params
        self.check = module.check_mode
        self.login = LoginSettings(module, self.p["settings"], self.p["eth_user"], self.p["eth_password"])
        self.cli = QeltaCli(module, self.p["executable"], settings=self.p["settings"], jobs=self.p["jobs"])
        self.stations = []
        self.problems = []  # failures of a whole command that name no station
        self.result = {}
        self.wrote_memory = False

    def live(self):
        return [s for s in self.stations if not s.failed]

    def command_failed(self, run, stations, what):
        """A command failed where its output names no station: every station it worked on failed."""
        text = run.failure_text()
        for s in stations:
            s.fail("%s: %s" % (what, text))

    def warn(self, run):
        for warning in run.warnings():
            self.module.warn(warning)

    def read(self):
        inventory = read_inventory(self.cli, self.p, self.login.path())
        failure = inventory_failure(inventory)
        if failure:
            self.module.fail_json(
                msg="reading the stations' inventory failed: %s" % failure,
                changed=False,
                stations=[],
                failed_stations=[],
                commands=self.cli.commands(),
            )
        for address in inventory.addresses:
            station = Station(address, inventory.get(address))
            if not tunnel_answered(station.inventory):
                station.fail("did not answer: %s" % inventory_reason(station.inventory))
            self.stations.append(station)

    def station_results(self, run, stations, part, what, lines=None):
        """Which stations a command on several stations changed and which failed, from its
        station_result objects; a station it printed none for failed (and may have been
        changed before the command stopped)."""
        grouped = objects_by_station(run.objects_of("station_result"))
        for s in stations:
            objects = grouped.get(s.address)
            outcome = objects[-1] if objects else dict(ok=False, changed=True)
            if outcome.get("changed"):
                s.change(part, (lines or {}).get(s.address))
            if not outcome.get("ok"):
                s.fail("%s: %s" % (what, run.failure_text()))

    def eth_defaults(self):
        stations = []
        for s in self.live():
            if web_answered(s.inventory):
                stations.append(s)
            else:
                s.fail("its module settings could not be read: %s" % inventory_reason(s.inventory))
        if not stations:
            return
        mode = "--dry-run" if self.check else "--changed-only"
        run = self.cli.run(
            ["bs-eth-defaults"] + positional([s.address for s in stations]) + [mode] + wait_args(self.p),
            settings=self.login.path(),
        )
        self.warn(run)
        if run.rc == 2:
            return self.command_failed(run, stations, "default Ethernet settings")
        grouped = objects_by_station(run.objects_of("module_settings"))
        for s in stations:
            objects = grouped.get(s.address)
            if not objects:
                s.fail("default Ethernet settings: %s" % run.failure_text())
                continue
            last = objects[-1]
            if last.get("changed"):
                s.change("eth_defaults", difference_lines(last.get("differences") or [], "ethernet "))
            if last.get("ok") is False:
                s.fail("default Ethernet settings: %s" % run.failure_text())
        if run.outcome.failed and not any(s.failed for s in stations):
            self.problems.append("bs-eth-defaults: %s" % run.failure_text())

    def config_file(self):
        stations = self.live()
        if not stations:
            return
        path = self.p["config_file"]
        compared = self.cli.run(
            ["diff", path, "--type", "9"] + flagged([s.address for s in stations]) + wait_args(self.p),
            differs_allowed=True,
        )
        self.warn(compared)
        if compared.rc == 2:
            return self.command_failed(compared, stations, "comparing %s" % path)
        grouped = objects_by_station(compared.objects_of("diff"))
        to_write = []
        for s in stations:
            entries = grouped.get(s.address, [])
            unread = [e for e in entries if e.get("device_value") is None]
            if unread or (not entries and compared.outcome.failed):
                s.fail("comparing %s: %s" % (path, compared.failure_text()))
                continue
            if differing(entries):
                to_write.append(s)
                s.diff.add(parameter_lines(entries))
        if self.check or not to_write:
            for s in to_write:
                s.change("config_file")
            return
        written = self.cli.run(
            ["bs-set-config", path] + positional([s.address for s in to_write]) + ["--changed-only", "--verify"]
            + wait_args(self.p)
        )
        self.warn(written)
        totals = objects_by_station(written.objects_of("written"))
        for s in to_write:
            objects = totals.get(s.address)
            if not objects:
                # The command may have written some bytes before it failed.
                s.change("config_file")
                s.fail("writing %s: %s" % (path, written.failure_text()))
                continue
            if int(objects[-1].get("bytes") or 0) > 0:
                s.change("config_file")
                self.wrote_memory = True
        if written.outcome.failed and not any(s.failed for s in to_write):
            # A verify mismatch is a failure row; which station it names is in its text.
            for s in to_write:
                s.fail("writing %s: %s" % (path, written.failure_text()))

    def settle(self):
        """Waits for stations reset by their configuration file to come back, once."""
        if self.wrote_memory:
            time.sleep(RESET_SETTLE_SECONDS)
            self.wrote_memory = False

    def channel(self):
        wanted = self.p["channel"]
        to_set = []
        for s in self.live():
            found = s.inventory.get("channel")
            if found is None:
                s.fail("its channel could not be read: %s" % inventory_reason(s.inventory))
            elif found != wanted:
                to_set.append(s)
                s.diff.add(setting_lines("channel", found, wanted))
        if self.check or not to_set:
            for s in to_set:
                s.change("channel")
            return
        self.settle()
        run = self.cli.run(["channel", str(wanted)] + flagged([s.address for s in to_set]) + wait_args(self.p))
        self.warn(run)
        self.station_results(run, to_set, "channel", "setting channel %d" % wanted)

    def radio_type(self):
        wanted = self.p["radio_type"]
        stations = self.live()
        if not stations:
            return
        self.settle()
        read = self.cli.run(["radio-type"] + flagged([s.address for s in stations]) + wait_args(self.p))
        if read.rc == 2:
            return self.command_failed(read, stations, "reading the radio type")
        grouped = objects_by_station(read.objects_of("radio_type"))
        to_set = []
        for s in stations:
            objects = grouped.get(s.address)
            found = objects[-1].get("radio_type") if objects else None
            # No known type is a type to write; a failed read (with a failure row) is not.
            if not objects or (found is None and read.outcome.failed):
                s.fail("reading the radio type: %s" % read.failure_text())
            elif found != wanted:
                to_set.append(s)
                s.diff.add(setting_lines("radio_type", found, wanted))
        if self.check or not to_set:
            for s in to_set:
                s.change("radio_type")
            return
        run = self.cli.run(["radio-type", str(wanted)] + flagged([s.address for s in to_set]) + wait_args(self.p))
        self.warn(run)
        self.station_results(run, to_set, "radio_type", "writing radio type %d" % wanted)

    def comm_id(self, first):
        stations = self.live()
        if not stations:
            return
        lines = {}
        for number, s in enumerate(stations):
            after = "(the next number)" if first == "next" else str(first + number)
            lines[s.address] = setting_lines("comm_id", s.inventory.get("comm_id"), after)
            if self.check:
                s.change("comm_id", lines[s.address])
        if self.check:
            return
        self.settle()
        args = ["comm-id"] + ([] if first == "next" else [str(first)])
        run = self.cli.run(args + flagged([s.address for s in stations]) + wait_args(self.p))
        self.warn(run)
        if "NextCommID" in run.results:
            self.result["next_comm_id"] = str(run.results["NextCommID"])
        self.station_results(run, stations, "comm_id", "numbering comm IDs", lines)

    def finish(self):
        result = self.result
        result["changed"] = any(s.changes for s in self.stations)
        result["stations"] = [s.as_result() for s in self.stations]
        result["failed_stations"] = [s.address for s in self.stations if s.failed]
        result["commands"] = self.cli.commands()
        if self.module._diff:
            result["diff"] = [s.diff.as_dict() for s in self.stations if s.diff.changes()]
        failures = ["%s: %s" % (s.address, "; ".join(s.reasons)) for s in self.stations if s.failed]
        failures += self.problems
        if not self.stations:
            failures.append("no base station to work on")
        if failures:
            self.module.fail_json(msg="; ".join(failures), **result)
        changed = [s.address for s in self.stations if s.changes]
        verb = "would change" if self.check else "changed"
        result["msg"] = "%d stations, %s %d" % (len(self.stations), verb, len(changed))
        self.module.exit_json(**result)


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        supports_check_mode=True,
    )
    p = module.params
    problem = station_problem(p)
    try:
        comm_id = parse_comm_id(p["comm_id"])
    except ValueError as e:
        problem = problem or str(e)
    parts = (p["config_file"], p["channel"], p["radio_type"], p["eth_defaults"] or None, p["comm_id"])
    if problem is None and all(part is None for part in parts):
        problem = "nothing to do: give config_file, channel, radio_type, eth_defaults or comm_id"
    if problem:
        module.fail_json(msg=problem)

    task = StationTask(module)
    task.read()
    if p["eth_defaults"]:
        task.eth_defaults()
    if p["config_file"] is not None:
        task.config_file()
    if p["channel"] is not None:
        task.channel()
    if p["radio_type"] is not None:
        task.radio_type()
    if comm_id is not None:
        task.comm_id(comm_id)
    task.finish()


if __name__ == "__main__":
    main()
