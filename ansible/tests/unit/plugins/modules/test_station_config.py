# -*- coding: utf-8 -*-
# The station module against a scripted command line: what it reads, what it writes (only the
# stations that differ), check mode, diff mode and stations that do not answer.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

import pytest
from ansible_collections.tervana.qelta.plugins.modules import station_config
from module_harness import row

A, B, C = "127.0.0.2", "127.0.0.3", "127.0.0.4"
PCG = "/etc/qelta/bs.pcg"


def inv(address, **kw):
    base = dict(name="BS-" + address.rsplit(".", 1)[1], address=address, mac="00-40-9D-00-00-01",
                subnet_mask="255.0.0.0", gateway="127.0.0.1", dhcp=False, device_type=9,
                software_version="1", id="1", date="2026-01-01", channel=3, comm_id=1234,
                baud_rate=19200, data_bits=8, stop_bits=1, parity="none", flow_control="none",
                description=None, location=None, status="OK", ok=True)
    base.update(kw)
    return {"inventory": base}


SILENT = dict(device_type=None, software_version=None, id=None, date=None, channel=None, comm_id=None,
              baud_rate=None, data_bits=None, stop_bits=None, parity=None, flow_control=None,
              status="no answer (probe)", ok=False)


def diff(station, match, device_value="0"):
    return {"diff": {"station": station, "source": "line 2: SYSTEM:12:1", "parameter": "SYSTEM",
                     "file_value": "1", "device_value": "1" if match else device_value, "match": match,
                     "writes": []}}


def written(station, nbytes):
    return {"written": {"station": station, "bytes": nbytes, "lines_written": 1, "lines_unchanged": 0}}


def radio(station, value):
    return {"radio_type": {"station": station, "radio_type": value}}


def eth(station, changed, differences=(), ok=True):
    return {"module_settings": {"station": station, "changed": changed, "ok": ok,
                                "differences": list(differences)}}


def result(station, ok, changed):
    return {"station_result": {"station": station, "ok": ok, "changed": changed}}


INVENTORY = ("bs-inventory", [inv(A), inv(B, channel=1, description="Hall 3")], 0)

# (what, arguments, check mode, steps, changed, failed, the commands with their arguments,
#  changes per station, message words)
CASES = [
    ("config file, check mode: compared only",
     dict(config_file=PCG), True,
     [INVENTORY, ("diff", [diff(A, True), diff(B, False)], 4)],
     True, False, [["bs-inventory", A, B], ["diff", PCG, "--type", "9", "--station", A, "--station", B]],
     {A: [], B: ["config_file"]}, None),
    ("config file: only the differing station is written",
     dict(config_file=PCG), False,
     [INVENTORY, ("diff", [diff(A, True), diff(B, False)], 4), ("bs-set-config", [written(B, 1)], 0)],
     True, False, [["bs-inventory", A, B], ["diff", PCG, "--type", "9", "--station", A, "--station", B],
                   ["bs-set-config", PCG, B, "--changed-only", "--verify"]],
     {A: [], B: ["config_file"]}, None),
    ("config file in sync: nothing written",
     dict(config_file=PCG), False,
     [INVENTORY, ("diff", [diff(A, True), diff(B, True)], 0)],
     False, False, [["bs-inventory", A, B], ["diff", PCG, "--type", "9", "--station", A, "--station", B]],
     {A: [], B: []}, None),
    ("config file: the read-back does not match",
     dict(config_file=PCG), False,
     [INVENTORY, ("diff", [diff(A, True), diff(B, False)], 4),
      ("bs-set-config", [row("failure", "Verify error", "page 0 address 12: expected 01, found 00"), written(B, 1)], 1)],
     True, True, None, {A: [], B: ["config_file"]}, "expected 01, found 00"),
    ("config file: a station whose read failed",
     dict(config_file=PCG), False,
     [INVENTORY, ("diff", [diff(A, True), diff(B, False, None), row("failure", "Read error", B)], 1)],
     False, True, None, {A: [], B: []}, B + ": comparing " + PCG + ": Read error"),
    ("config file: a station the comparison has no line for",
     dict(config_file=PCG), False,
     [INVENTORY, ("diff", [diff(A, True), row("failure", "Connect error", "2101 @ " + B)], 1)],
     False, True, None, {A: [], B: []}, B + ": comparing " + PCG + ": Connect error 2101 @ " + B),
    ("channel, check mode: the inventory's channel compared",
     dict(channel=3), True, [INVENTORY],
     True, False, [["bs-inventory", A, B]], {A: [], B: ["channel"]}, None),
    ("channel: set where it differs",
     dict(channel=3), False,
     [INVENTORY, ("channel", [row("success", "Channel is set", B), result(B, True, True)], 0)],
     True, False, [["bs-inventory", A, B], ["channel", "3", "--station", B]], {A: [], B: ["channel"]}, None),
    ("channel: the station whose write failed is named, the other is changed",
     dict(channel=5), False,
     [INVENTORY, ("channel", [row("failure", "Channel set error -1.", B), row("success", "Channel is set", A),
                              result(A, True, True), result(B, False, False)], 1)],
     True, True, [["bs-inventory", A, B], ["channel", "5", "--station", A, "--station", B]],
     {A: ["channel"], B: []}, B + ": setting channel 5: Channel set error -1."),
    ("channel: a command that names no station fails all it worked on",
     dict(channel=5), False,
     [INVENTORY, ("channel", [row("failure", "No base stations")], 1)],
     True, True, None, {A: ["channel"], B: ["channel"]}, A + ": setting channel 5: No base stations"),
    ("channel set everywhere already",
     dict(channel=3, stations=[A]), False, [("bs-inventory", [inv(A)], 0)],
     False, False, [["bs-inventory", A]], {A: []}, None),
    ("radio type: read back, an unknown type written",
     dict(radio_type=2), False,
     [INVENTORY, ("radio-type", [radio(A, 2), radio(B, None)], 0),
      ("radio-type", [row("success", "Radio type", B), result(B, True, True)], 0)],
     True, False, [["bs-inventory", A, B], ["radio-type", "--station", A, "--station", B],
                   ["radio-type", "2", "--station", B]], {A: [], B: ["radio_type"]}, None),
    ("radio type: a read that failed is no type to write",
     dict(radio_type=2), False,
     [INVENTORY, ("radio-type", [row("failure", "Read error", B), radio(A, 2), radio(B, None)], 1)],
     False, True, [["bs-inventory", A, B], ["radio-type", "--station", A, "--station", B]],
     {A: [], B: []}, "reading the radio type: Read error"),
    ("radio type, check mode: read back only",
     dict(radio_type=2), True,
     [INVENTORY, ("radio-type", [radio(A, 2), radio(B, 3)], 0)],
     True, False, [["bs-inventory", A, B], ["radio-type", "--station", A, "--station", B]],
     {A: [], B: ["radio_type"]}, None),
    ("radio type: a station whose write failed",
     dict(radio_type=1), False,
     [INVENTORY, ("radio-type", [radio(A, 2), radio(B, 3)], 0),
      ("radio-type", [row("failure", "Cannot connect", B), result(A, True, True), result(B, False, False)], 1)],
     True, True, None, {A: ["radio_type"], B: []}, B + ": writing radio type 1: Cannot connect"),
    ("Ethernet defaults, check mode: a dry run, nothing posted",
     dict(eth_defaults=True), True,
     [INVENTORY, ("bs-eth-defaults", [eth(A, False), eth(B, True, [{"setting": "dhcp", "before": "off", "after": "on"}])], 0)],
     True, False, [["bs-inventory", A, B], ["bs-eth-defaults", A, B, "--dry-run"]],
     {A: [], B: ["eth_defaults"]}, None),
    ("Ethernet defaults, check mode: a module that cannot be read now",
     dict(eth_defaults=True), True,
     [INVENTORY, ("bs-eth-defaults", [row("failure", "Cannot read module settings", B), eth(A, False),
                                      eth(B, False, ok=False)], 1)],
     False, True, None, {A: [], B: []}, B + ": default Ethernet settings: Cannot read module settings"),
    ("Ethernet defaults: posted where a value differs",
     dict(eth_defaults=True), False,
     [INVENTORY, ("bs-eth-defaults", [eth(A, False), eth(B, True, [{"setting": "description", "before": "Hall 3", "after": ""}])], 0)],
     True, False, [["bs-inventory", A, B], ["bs-eth-defaults", A, B, "--changed-only"]],
     {A: [], B: ["eth_defaults"]}, None),
    ("Ethernet defaults: a module whose settings could not be read",
     dict(eth_defaults=True), True,
     [("bs-inventory", [inv(A), inv(B, baud_rate=None, status="no answer (web)", ok=False)], 1),
      ("bs-eth-defaults", [eth(A, False)], 0)],
     False, True, [["bs-inventory", A, B], ["bs-eth-defaults", A, "--dry-run"]], {A: [], B: []},
     "no answer (web)"),
    ("a station that does not answer fails the task, the others are worked on",
     dict(stations=[A, C], channel=5), False,
     [("bs-inventory", [inv(A), inv(C, **SILENT)], 1), ("channel", [row("success", "Channel is set", A)], 0)],
     True, True, [["bs-inventory", A, C], ["channel", "5", "--station", A]], {A: ["channel"], C: []},
     C + ": did not answer: no answer (probe)"),
    ("a named station missing from the inventory",
     dict(stations=[A, C], channel=3), False, [("bs-inventory", [inv(A)], 1)],
     False, True, [["bs-inventory", A, C]], {A: [], C: []}, C + ": did not answer"),
    ("comm IDs, check mode: reported, nothing handed out",
     dict(comm_id="next"), True, [INVENTORY],
     True, False, [["bs-inventory", A, B]], {A: ["comm_id"], B: ["comm_id"]}, None),
    ("comm IDs from a number",
     dict(comm_id="100"), False,
     [INVENTORY, ("comm-id", [{"result": "NextCommID", "value": "102"}, result(A, True, True), result(B, True, True)], 0)],
     True, False, [["bs-inventory", A, B], ["comm-id", "100", "--station", A, "--station", B]],
     {A: ["comm_id"], B: ["comm_id"]}, None),
    ("comm IDs: a station that could not be reached is not changed",
     dict(comm_id="100"), False,
     [INVENTORY, ("comm-id", [row("failure", "Connect error", B), {"result": "NextCommID", "value": "102"},
                              result(A, True, True), result(B, False, False)], 1)],
     True, True, None, {A: ["comm_id"], B: []}, B + ": numbering comm IDs: Connect error"),
    ("no station found",
     dict(all=True, stations=None, channel=3), False,
     [("bs-inventory", [row("failure", "No base stations found")], 1)],
     False, True, [["bs-inventory", "--all"]], {}, "No base stations found"),
]


@pytest.mark.parametrize("what,args,check,steps,changed,failed,commands,changes,words", CASES, ids=[c[0] for c in CASES])
def test_stations(cli, run_module, monkeypatch, what, args, check, steps, changed, failed, commands, changes, words):
    monkeypatch.setattr(station_config.time, "sleep", lambda s: None)
    for step in steps:
        cli.step(*step)
    params = dict(stations=[A, B])
    params.update(args)
    result = run_module(station_config.main, params, check=check)
    assert result["changed"] is changed, result
    assert result.get("failed", False) is failed, result
    if commands is not None:
        assert cli.commands() == commands
    assert len(cli.calls()) == len(steps)
    assert dict((s["address"], s["changes"]) for s in result["stations"]) == changes
    if words:
        assert words in result["msg"]
    for s in result["stations"]:
        assert s["failed"] == (s["address"] in result["failed_stations"])


def test_diff_mode_one_pair_per_changed_station(cli, run_module):
    cli.step(*INVENTORY)
    cli.add("bs-eth-defaults", eth(A, False), eth(B, True, [{"setting": "description", "before": "Hall 3", "after": ""}]))
    cli.add("diff", diff(A, True), diff(B, False), rc=4)
    result = run_module(station_config.main, dict(stations=[A, B], config_file=PCG, channel=3, eth_defaults=True),
                        check=True, diff=True)
    assert len(result["diff"]) == 1
    d = result["diff"][0]
    assert d["before_header"].startswith(B)
    assert d["before"] == 'ethernet description: Hall 3\nSYSTEM (line 2): 0\nchannel: 1\n'
    assert d["after"] == 'ethernet description: ""\nSYSTEM (line 2): 1\nchannel: 3\n'


def test_the_password_goes_only_to_the_commands_that_log_in(cli, run_module, tmp_path):
    site = tmp_path / "site.conf"
    site.write_text("ComPort=number:1\nEthPasswordDigiME=text:kqzv\n")
    cli.step(*INVENTORY)
    cli.add("bs-eth-defaults", eth(A, False), eth(B, False))
    cli.add("diff", diff(A, True), diff(B, True))
    result = run_module(station_config.main, dict(stations=[A, B], eth_defaults=True, config_file=PCG,
                                                  settings=str(site), eth_password="Zq9-secret"))
    calls = cli.calls()
    for call in calls[:2]:
        assert "EthPasswordDigiME=text:Zq9-secret" in call["settings_text"]
        assert "ComPort=number:1" in call["settings_text"]
    assert calls[2]["args"][3] == str(site)
    assert site.read_text() == "ComPort=number:1\nEthPasswordDigiME=text:kqzv\n"
    assert "Zq9-secret" not in json.dumps(result)


def test_reset_stations_get_time_before_the_next_write(cli, run_module, monkeypatch):
    waits = []
    monkeypatch.setattr(station_config.time, "sleep", waits.append)
    cli.step(*INVENTORY)
    cli.add("diff", diff(A, True), diff(B, False), rc=4)
    cli.add("bs-set-config", written(B, 1))
    cli.add("channel", row("success", "Channel is set", B), result(B, True, True))
    cli.add("radio-type", radio(A, 1), radio(B, 1))
    run_module(station_config.main, dict(stations=[A, B], config_file=PCG, channel=3, radio_type=1))
    assert waits == [station_config.RESET_SETTLE_SECONDS]


ARGUMENT_CASES = [
    (dict(stations=[A], all=True, channel=3), "not both"),
    (dict(stations=[A]), "nothing to do"),
    (dict(stations=[A], comm_id="first"), "comm_id must be next or a number"),
    (dict(stations=[A], comm_id="65536"), "comm_id must be next or a number"),
    (dict(stations=[A], channel=8), "value of channel must be one of"),
    (dict(stations=[A], channel=3, eth_password="x" * 12), "longer than 11 bytes"),
    (dict(stations=["10.0.0"], channel=3), "not a dotted IPv4 address"),
]


@pytest.mark.parametrize("args,words", ARGUMENT_CASES)
def test_arguments_refused_before_any_command(cli, run_module, args, words):
    result = run_module(station_config.main, args)
    assert result["failed"] and words in result["msg"]
    assert cli.calls() == []
