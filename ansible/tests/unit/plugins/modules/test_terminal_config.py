# -*- coding: utf-8 -*-
# The terminal module against a scripted command line: which commands it runs in each mode and
# what it makes of their answers.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import pytest
from ansible_collections.tervana.qelta.plugins.modules import terminal_config

from module_harness import row

SRC = "/etc/qelta/ht.pcg"


def diff_entry(parameter, line, file_value, device_value):
    return {"diff": {"station": None, "source": "line %d: %s:%s" % (line, parameter, file_value),
                     "parameter": parameter, "file_value": file_value, "device_value": device_value,
                     "match": file_value == device_value,
                     "writes": [{"page": 2, "first": 13, "last": 13, "file": "05", "device": "01"}]}}


IN_SYNC = [diff_entry("CHANNEL", 2, "5", "5"), diff_entry("LCD_CONTRAST", 3, "60", "60")]
DIFFERS = [diff_entry("CHANNEL", 2, "5", "1"), diff_entry("LCD_CONTRAST", 3, "60", "60")]


def written(nbytes, lines=1, unchanged=1):
    return {"written": {"station": None, "bytes": nbytes, "lines_written": lines, "lines_unchanged": unchanged}}


# (what, check mode, scripted steps, changed, failed, commands run, message words)
CASES = [
    ("in sync: nothing written", False,
     [("diff", IN_SYNC, 0)], False, False, ["diff"], None),
    ("in sync in check mode", True,
     [("diff", IN_SYNC, 0)], False, False, ["diff"], None),
    ("differs in check mode: compared only", True,
     [("diff", DIFFERS, 4)], True, False, ["diff"], None),
    ("differs: changed-only verified upload", False,
     [("diff", DIFFERS, 4), ("upload", [row("success", "Writing CHANNEL:5"), written(1)], 0)],
     True, False, ["diff", "upload"], None),
    ("the upload found nothing left to write", False,
     [("diff", DIFFERS, 4), ("upload", [written(0, 0, 2)], 0)], False, False, ["diff", "upload"], None),
    ("no device on the port", False,
     [("diff", [row("failure", "Connection Error", "COM1")], 1)], False, True, ["diff"],
     "Connection Error COM1"),
    ("a read that failed", False,
     [("diff", [diff_entry("CHANNEL", 2, "5", None), row("failure", "Read error", "page 2")], 1)],
     False, True, ["diff"], "Read error page 2"),
    ("the read-back does not match", False,
     [("diff", DIFFERS, 4),
      ("upload", [row("failure", "Verify error", "page 2 address 13: expected 05, found 01"), written(1)], 1)],
     True, True, ["diff", "upload"], "expected 05, found 01"),
    ("an upload without its count", False,
     [("diff", DIFFERS, 4), ("upload", [row("success", "File END")], 0)], True, True, ["diff", "upload"],
     "no count of the bytes written"),
    ("differs, yet no line says where", False,
     [("diff", IN_SYNC, 4)], False, True, ["diff"], "no line of the comparison"),
    ("a usage error", False,
     [("diff", [], 2)], False, True, ["diff"], "usage error"),
]


@pytest.mark.parametrize("what,check,steps,changed,failed,commands,words", CASES, ids=[c[0] for c in CASES])
def test_terminal(cli, run_module, what, check, steps, changed, failed, commands, words):
    for command, records, rc in steps:
        cli.add(command, *records, rc=rc)
    result = run_module(terminal_config.main, dict(src=SRC), check=check)
    assert result["changed"] is changed
    assert result.get("failed", False) is failed
    assert [c[0] for c in cli.commands()] == commands
    if words:
        assert words in result["msg"]
    if "upload" in commands:
        assert cli.commands()[1] == ["upload", SRC, "--changed-only", "--verify"]
    assert cli.commands()[0] == ["diff", SRC, "--type", "8"]


def test_diff_mode_shows_every_line_with_both_values(cli, run_module):
    cli.add("diff", *DIFFERS, rc=4)
    result = run_module(terminal_config.main, dict(src=SRC), check=True, diff=True)
    assert result["diff"]["before"] == "CHANNEL (line 2): 1\nLCD_CONTRAST (line 3): 60\n"
    assert result["diff"]["after"] == "CHANNEL (line 2): 5\nLCD_CONTRAST (line 3): 60\n"
    assert [d["parameter"] for d in result["differences"]] == ["CHANNEL"]


def test_device_settings_and_type_reach_the_command_line(cli, run_module):
    cli.add("diff", *IN_SYNC, rc=0)
    run_module(terminal_config.main, dict(src=SRC, device="/dev/ttyUSB3", settings="/srv/site.conf", device_type=9))
    call = cli.calls()[0]
    assert call["args"][:4] == ["--output", "json", "--settings", "/srv/site.conf"]
    assert call["args"][4:] == ["diff", SRC, "--type", "9"]
    assert call["com"] == dict(("HALVEX_COM%d" % n, "/dev/ttyUSB3") for n in range(1, 9))


def test_warning_rows_and_odd_lines_become_warnings(cli, run_module):
    cli.add("diff", row("warning", "Warning! LCD contrast value too big", "", "set to 50"),
            b"\xff\xfe garbage\n", *DIFFERS, rc=4)
    cli.add("upload", row("warning", "Warning! LCD contrast value too big", "", "set to 50"), written(1), rc=3)
    result = run_module(terminal_config.main, dict(src=SRC))
    assert result["changed"] is True and not result.get("failed")
    warnings = result["warnings"]
    assert warnings.count("Warning! LCD contrast value too big set to 50") == 1
    assert any("not UTF-8" in w for w in warnings)


def test_a_missing_program_fails_clearly(run_module, tmp_path):
    missing = str(tmp_path / "nowhere" / "qeltaconfig-cli")
    result = run_module(terminal_config.main, dict(src=SRC, executable=missing))
    assert result["failed"] and missing in result["msg"]
