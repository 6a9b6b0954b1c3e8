# -*- coding: utf-8 -*-
# Checks one phase of the sites' test: the recorded task results of its play, the simulated
# devices' memories (their state files) and the modules' settings (read through their web
# interfaces), against what the phase must have done.
#
#   check_results.py WORK PHASE

import glob
import json
import os
import sys

SITES = (1, 2, 3)
SILENT = "127.0.3.4"
TERMINAL_TASK = "Terminal configuration"
STATION_TASK = "Station configuration"

# Where the site playbook's values lie in a base station's page 0.
CHANNEL, RADIO, COMM_ID = 13, 22, 1
STATION_FILE = {12: 1, 40: 9}
RADIO_TYPE_2 = [66, 90]


class Failed(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failed(what)


def stations_of(n):
    return ["127.0.%d.2" % n, "127.0.%d.3" % n]


def results(work, tag):
    """The last result of each (host, task) of a play."""
    out = {}
    with open(os.path.join(work, "results-%s.jsonl" % tag)) as f:
        for line in f:
            entry = json.loads(line)
            out[(entry["host"], entry["task"])] = entry
    return out


def task(found, n, name):
    entry = found.get(("site%d" % n, name))
    expect(entry is not None, "site%d ran no task %r" % (n, name))
    return entry


def memory(path):
    """A state file's memory: {(area, address): byte} for every byte it names."""
    out = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 3 and words[0] in ("page0", "page1", "ext"):
                data = bytes.fromhex(words[2])
                for i, byte in enumerate(data):
                    out[(words[0], int(words[1], 16) + i)] = byte
    return out


def byte(mem, area, address):
    return mem.get((area, address), 0xFF)


def snapshot(work, tag):
    """{site folder/file name: memory or module settings} of a snapshot."""
    out = {}
    for path in sorted(glob.glob(os.path.join(work, "states", tag, "site*", "*"))):
        key = os.path.relpath(path, os.path.join(work, "states", tag))
        if path.endswith(".state"):
            out[key] = memory(path)
        else:
            with open(path) as f:
                out[key] = json.load(f)
    expect(len(out) == 3 * 3 + 3 * 2, "snapshot %s is not whole: %s" % (tag, sorted(out)))
    return out


def unchanged(work, before, after):
    a, b = snapshot(work, before), snapshot(work, after)
    for key in a:
        expect(a[key] == b[key], "%s changed between %s and %s" % (key, before, after))


def station_entries(entry):
    return dict((s["address"], s) for s in entry["result"].get("stations", []))


def check_station_task(found, changed, parts=None):
    """Sites 1 and 2 finish; site 3 fails for its switched-off station alone."""
    for n in SITES:
        entry = task(found, n, STATION_TASK)
        result = entry["result"]
        entries = station_entries(entry)
        if n == 3:
            expect(entry["status"] == "failed", "site3's station task did not fail")
            expect(SILENT in result["msg"] and "127.0.3.2" not in result["msg"], "site3: " + result["msg"])
            expect(result["failed_stations"] == [SILENT], "site3 failed %s" % result["failed_stations"])
        else:
            expect(entry["status"] == "ok", "site%d: %s" % (n, result.get("msg")))
        expect(result["changed"] is changed, "site%d's stations changed: %s" % (n, result["changed"]))
        for address in stations_of(n):
            s = entries[address]
            expect(not s["failed"], "%s failed: %s" % (address, s["msg"]))
            expect(s["changed"] is changed, "%s changed: %s" % (address, s["changed"]))
            if parts is not None:
                expect(set(parts(address)) == set(s["changes"]), "%s changed %s" % (address, s["changes"]))


def check_terminal_task(found, changed, sites=SITES):
    for n in sites:
        entry = task(found, n, TERMINAL_TASK)
        expect(entry["status"] == "ok", "site%d's terminal: %s" % (n, entry["result"].get("msg")))
        expect(entry["result"]["changed"] is changed, "site%d's terminal changed: %s" % (n, entry["result"]["changed"]))


def terminal_memory_expected(work):
    """The bytes the terminal file puts into a hand terminal, from check's record of its writes."""
    expected = {}
    with open(os.path.join(work, "terminal-writes.jsonl")) as f:
        for line in f:
            write = json.loads(line).get("write")
            if not write or write["refused"]:
                continue
            expect(write["page"] == 2, "a terminal write outside the extended memory: %s" % write)
            for i, b in enumerate(bytes.fromhex(write["bytes"].replace(" ", ""))):
                expected[write["first"] + i] = b
    expect(expected, "the terminal file writes nothing")
    return expected


def check_converged_memories(work, tag):
    snap = snapshot(work, tag)
    terminal = terminal_memory_expected(work)
    for n in SITES:
        for k in (1, 2):
            mem = snap["site%d/bs%d.state" % (n, k)]
            for address, value in STATION_FILE.items():
                expect(byte(mem, "page0", address) == value, "site%d bs%d page 0 address %d" % (n, k, address))
            expect(byte(mem, "page0", CHANNEL) == 4, "site%d bs%d channel %d" % (n, k, byte(mem, "page0", CHANNEL)))
            expect([byte(mem, "page0", RADIO), byte(mem, "page0", RADIO + 1)] == RADIO_TYPE_2,
                   "site%d bs%d radio type bytes" % (n, k))
        mem = snap["site%d/ht.state" % n]
        wrong = [a for a, v in terminal.items() if byte(mem, "ext", a) != v]
        expect(not wrong, "site%d's terminal differs from the file at %s" % (n, wrong[:8]))
        for address in stations_of(n):
            web = snap["site%d/web-%s.json" % (n, address)]
            expect(web["system.description"] == "" and web["system.location"] == "",
                   "%s keeps its description" % address)
            expect(web["serial.profile"] == "9" and web["boot.dhcp"] == "on", "%s: %s" % (address, web))


def phase_facts_missing(work):
    found = results(work, "facts")
    for n in SITES:
        entry = task(found, n, "Stations' inventory")
        expect(entry["status"] == "failed", "site%d's facts did not fail" % n)
        expect("no inventory objects" in entry["result"]["msg"], "site%d: %s" % (n, entry["result"]["msg"]))


def phase_facts(work):
    found = results(work, "facts")
    for n in SITES:
        entry = task(found, n, "Stations' inventory")
        expect(entry["status"] == "ok", "site%d: %s" % (n, entry["result"].get("msg")))
        facts = entry["result"]["ansible_facts"]["qelta_stations"]
        expect([f["address"] for f in facts] == stations_of(n), "site%d found %s" % (n, facts))
        for k, f in enumerate(facts, start=1):
            expect(f["ok"] is True and f["status"] == "OK", "%s: %s" % (f["address"], f["status"]))
            expect(f["device_type"] == 9 and str(f["id"]) == str(n * 100 + k), "%s: %s" % (f["address"], f))
            expect(f["name"] == "SITE%d-%d" % (n, k), f["name"])
        expect(facts[0]["description"] == "Hall %d" % n and facts[0]["location"] == "Dock %d" % n, facts[0])
        expect(facts[1]["description"] is None, facts[1])


def phase_check(work):
    found = results(work, "check")
    check_terminal_task(found, True)
    # A fresh simulated module holds none of the default Ethernet settings (and station 1 carries a
    # description, which they empty): every station needs them.
    check_station_task(found, True, lambda a: ["config_file", "channel", "radio_type", "eth_defaults"])
    unchanged(work, "initial", "after-check")


def phase_converge(work):
    found = results(work, "converge")
    check_terminal_task(found, True)
    for n in SITES:
        expect(task(found, n, TERMINAL_TASK)["result"]["bytes_written"] > 0, "site%d wrote no byte" % n)
    check_station_task(found, True)
    check_converged_memories(work, "converged")


def phase_again(work):
    found = results(work, "again")
    check_terminal_task(found, False)
    check_station_task(found, False, lambda a: [])
    unchanged(work, "converged", "again")


def diff_text(entry, header_start=None):
    diffs = entry["result"].get("diff")
    diffs = diffs if isinstance(diffs, list) else [diffs]
    if header_start:
        diffs = [d for d in diffs if d["before_header"].startswith(header_start)]
    expect(diffs, "no diff for %s" % header_start)
    return diffs[0]["before"].splitlines(), diffs[0]["after"].splitlines()


def phase_drift(work):
    found = results(work, "drift")
    check_terminal_task(found, True, sites=(1,))
    check_terminal_task(found, False, sites=(2, 3))
    before, after = diff_text(task(found, 1, TERMINAL_TASK))
    changed = [(b, a) for b, a in zip(before, after) if b != a]
    expect(len(changed) == 1 and changed[0][0].startswith("CHANNEL (line "), "terminal diff: %s" % changed)
    expect(changed[0][0].endswith(": 2") and changed[0][1].endswith(": 5"), "terminal diff: %s" % changed)
    entry = task(found, 1, STATION_TASK)
    expect(entry["status"] == "ok" and entry["result"]["changed"] is True, "site1's stations: %s" % entry["result"])
    before, after = diff_text(entry, "127.0.1.2")
    expect("SYSTEM (line 2): 3" in before and "SYSTEM (line 2): 1" in after, "station diff: %s / %s" % (before, after))
    expect("channel: 6" in before and "channel: 4" in after, "station diff: %s / %s" % (before, after))
    expect(not [b for b in before if b.startswith("radio_type")], "radio type named though in sync: %s" % before)
    expect([s["address"] for s in entry["result"]["stations"] if s["changed"]] == ["127.0.1.2"], "site1's stations")
    expect(task(found, 2, STATION_TASK)["result"]["changed"] is False, "site2's stations changed")
    unchanged(work, "drifted", "after-drift-check")


def phase_comm_check(work):
    found = results(work, "comm-check")
    for n in SITES:
        result = task(found, n, "New comm ID")["result"]
        expect(result["changed"] is True and not result.get("failed"), "site%d: %s" % (n, result.get("msg")))
        expect(not [c for c in result["commands"] if c["command"].startswith("comm-id")], "comm-id ran in check mode")
    unchanged(work, "after-drift-check", "after-comm-check")


def phase_comm(work):
    found = results(work, "comm")
    snap = snapshot(work, "comm")
    for n in SITES:
        result = task(found, n, "New comm ID")["result"]
        expect(result["changed"] is True and not result.get("failed"), "site%d: %s" % (n, result.get("msg")))
        mem = snap["site%d/bs1.state" % n]
        given = byte(mem, "page0", COMM_ID) * 256 + byte(mem, "page0", COMM_ID + 1)
        expect(given != 0xFFFF and str(given + 1) == result["next_comm_id"],
               "site%d: comm ID %d, next %s" % (n, given, result["next_comm_id"]))
        other = snap["site%d/bs2.state" % n]
        expect(byte(other, "page0", COMM_ID) == 0xFF, "site%d's second station got a comm ID" % n)


PHASES = {
    "facts-missing": phase_facts_missing,
    "facts": phase_facts,
    "check": phase_check,
    "converge": phase_converge,
    "again": phase_again,
    "drift": phase_drift,
    "comm-check": phase_comm_check,
    "comm": phase_comm,
}


def main():
    work, phase = sys.argv[1:]
    try:
        PHASES[phase](work)
    except Failed as e:
        print("%s: %s" % (phase, e), file=sys.stderr)
        return 1
    print("%s: ok" % phase)
    return 0


if __name__ == "__main__":
    sys.exit(main())
