# -*- coding: utf-8 -*-
# Reading the command line's JSON Lines and its exit statuses.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

import pytest
from ansible_collections.tervana.qelta.plugins.module_utils import qelta_cli
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_cli import (
    CliRun,
    outcome,
    parse_json_lines,
)

ROW = b'{"index":0,"kind":"success","image":1,"name":"File END","value":" ","more":""}'
INVENTORY = b'{"inventory":{"address":"127.0.0.2","channel":3}}'

# (what, output, objects read, words the problems must hold, one per problem)
PARSE_CASES = [
    ("plain lines", ROW + b"\n" + INVENTORY + b"\n", 2, []),
    ("CRLF line ends and blank lines", ROW + b"\r\n\r\n  \n" + INVENTORY + b"\r\n", 2, []),
    ("bytes that are not UTF-8", ROW + b"\n\xff\xfe{\"a\":1}\n" + INVENTORY + b"\n", 2, ["not UTF-8"]),
    ("a line that is not JSON", b"stations: 50% (1/2)\n" + ROW + b"\n", 1, ["not JSON"]),
    ("JSON that is no object", b"[1, 2]\n\"text\"\n" + ROW + b"\n", 1, ["not a JSON object", "not a JSON object"]),
    ("a last line cut short", ROW + b"\n" + INVENTORY[:20], 1, ["cut short"]),
    ("a complete last line without its line end", ROW + b"\n" + INVENTORY, 2, []),
    ("NaN is not JSON", b'{"value": NaN}\n' + ROW + b"\n", 1, ["not JSON"]),
    ("escaped control characters stay text", b'{"result":"Name","value":"a\\u0001b"}\n', 1, []),
    ("a NUL byte in a line", b'{"a":\x001}\n' + ROW + b"\n", 1, ["not JSON"]),
    ("nothing at all", b"", 0, []),
]


@pytest.mark.parametrize("what,data,count,problem_words", PARSE_CASES, ids=[c[0] for c in PARSE_CASES])
def test_json_lines(what, data, count, problem_words):
    records, problems = parse_json_lines(data)
    assert len(records) == count
    assert len(problems) == len(problem_words)
    for problem, word in zip(problems, problem_words):
        assert word in problem


def test_json_lines_name_the_line_and_keep_problems_printable():
    records, problems = parse_json_lines(ROW + b"\n\x1b[31mred\x07\n")
    assert len(records) == 1
    assert problems[0].startswith("line 2:")
    assert "\x1b" not in problems[0] and "\x07" not in problems[0]
    assert "\\x1b" in problems[0]


def test_overlong_line_is_left_out(monkeypatch):
    monkeypatch.setattr(qelta_cli, "MAX_LINE_BYTES", len(ROW))
    long_row = json.dumps({"index": 1, "kind": "step", "name": "x" * 100}).encode()
    records, problems = parse_json_lines(ROW + b"\n" + long_row + b"\n")
    assert len(records) == 1 and "longer than %d bytes" % len(ROW) in problems[0]


# (exit status, differs allowed, failed, warnings, differs)
STATUS_CASES = [
    (0, False, False, False, False),
    (0, True, False, False, False),
    (1, False, True, False, False),
    (1, True, True, False, False),
    (2, True, True, False, False),
    (3, False, False, True, False),
    (4, True, False, False, True),
    (4, False, True, False, False),  # only diff answers 4
    (5, True, True, False, False),
    (-15, False, True, False, False),
    (127, False, True, False, False),
]


@pytest.mark.parametrize("rc,allowed,failed,warnings,differs", STATUS_CASES)
def test_exit_status(rc, allowed, failed, warnings, differs):
    o = outcome(rc, differs_allowed=allowed)
    assert (o.failed, o.warnings, o.differs) == (failed, warnings, differs)
    assert o.meaning


def lines(*records):
    return b"".join(json.dumps(r).encode() + b"\n" for r in records)


def row(kind, name, value="", more=""):
    return {"index": 0, "kind": kind, "image": 0, "name": name, "value": value, "more": more}


def test_run_sorts_rows_results_and_objects():
    out = lines(
        row("step", "Writing CHANNEL:3\n"),
        row("warning", "Warning! LCD contrast value too big", "", "replaced"),
        {"result": "NextCommID", "value": "10002"},
        {"diff": {"station": None, "parameter": "CHANNEL", "match": False}},
        {"diff": {"station": None, "parameter": "SYSTEM", "match": True}},
        {"written": {"station": None, "bytes": 1}},
        {"something": "else", "with": 2},
    )
    run = CliRun(["qeltaconfig-cli", "--output", "json", "diff", "x.pcg"], 4, out, b"", differs_allowed=True)
    assert len(run.rows) == 2
    assert run.results == {"NextCommID": "10002"}
    assert [d["parameter"] for d in run.objects_of("diff")] == ["CHANNEL", "SYSTEM"]
    assert run.objects_of("written") == [{"station": None, "bytes": 1}]
    assert run.objects_of("inventory") == []
    assert run.others == [{"something": "else", "with": 2}]
    assert run.warnings() == ["Warning! LCD contrast value too big replaced"]
    assert run.outcome.differs and not run.outcome.failed


# (what, stdout, stderr, rc, the reason must hold)
FAILURE_CASES = [
    ("failure rows first", lines(row("failure", "Connect error", "2101 @ 127.0.0.2"), row("failure", "No answer")),
     b"error: something", 1, "Connect error 2101 @ 127.0.0.2; No answer"),
    ("then the error messages, without progress lines", lines(row("success", "Done")),
     b"stations: 50% (1/2), 0 failures\nerror: no base station at 127.0.0.9\n", 1, "error: no base station at 127.0.0.9"),
    ("then the exit status", b"", b"", 2, "usage error (exit status 2)"),
    ("a signal", b"", b"", -9, "ended by signal 9"),
]


@pytest.mark.parametrize("what,stdout,stderr,rc,reason", FAILURE_CASES, ids=[c[0] for c in FAILURE_CASES])
def test_failure_text(what, stdout, stderr, rc, reason):
    run = CliRun(["qeltaconfig-cli", "upload", "x.pcg"], rc, stdout, stderr)
    assert run.outcome.failed
    assert reason in run.failure_text()
    assert "stations:" not in run.failure_text()


def test_command_leaves_out_the_programs_options():
    argv = ["/usr/bin/qeltaconfig-cli", "--output", "json", "--settings", "/secret/site.conf",
            "--jobs", "4", "bs-eth-defaults", "127.0.0.2", "--changed-only"]
    run = CliRun(argv, 0, b"", b"")
    assert run.command() == "bs-eth-defaults 127.0.0.2 --changed-only"
    assert run.as_result()["command"] == run.command()
