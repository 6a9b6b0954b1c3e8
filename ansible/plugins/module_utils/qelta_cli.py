# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.
"""Running qeltaconfig-cli and reading what it prints.

The modules run the command line with ``--output json`` and read its JSON Lines only: rows
({"index", "kind", ...}), reported values ({"result", "value"}) and the objects a command adds
after its rows, one key each ({"inventory": {...}}, {"diff": {...}}, {"written": {...}}, ...).
Lines that are not JSON objects (odd bytes, a line cut short, a stray message) are left out
and described in ``problems``, never guessed at.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

# A line longer than this is no line the command line prints; it is left out unread.
MAX_LINE_BYTES = 1 << 20

# The options every module has for the command line itself.
CLI_ARGUMENT_SPEC = dict(
    executable=dict(type="str", default="qeltaconfig-cli"),
    settings=dict(type="path"),
)

# The keys of the objects a command prints after its rows.
OBJECT_KEYS = frozenset(
    ["inventory", "diff", "written", "module_settings", "radio_type", "write", "device_report"]
)


class Outcome(object):
    """What an exit status of the command line means to a module."""

    def __init__(self, rc, failed, warnings=False, differs=False, meaning=""):
        self.rc = rc
        self.failed = failed
        self.warnings = warnings
        self.differs = differs
        self.meaning = meaning

    def __repr__(self):
        return "Outcome(rc=%r, failed=%r, warnings=%r, differs=%r)" % (
            self.rc,
            self.failed,
            self.warnings,
            self.differs,
        )


def outcome(rc, differs_allowed=False):
    """Maps an exit status to ok / failed / warnings / differs.

    0 done (or in sync), 1 a failure, 2 a usage error, 3 done with warning rows only,
    4 the device differs from the file (only ``diff`` answers it: elsewhere it is a failure).
    Anything else (a signal, a status the command line does not document) is a failure.
    """
    if rc == 0:
        return Outcome(rc, False, meaning="done")
    if rc == 3:
        return Outcome(rc, False, warnings=True, meaning="done with warnings")
    if rc == 4 and differs_allowed:
        return Outcome(rc, False, differs=True, meaning="differs from the file")
    if rc == 1:
        return Outcome(rc, True, meaning="failed")
    if rc == 2:
        return Outcome(rc, True, meaning="usage error")
    if rc is not None and rc < 0:
        return Outcome(rc, True, meaning="ended by signal %d" % -rc)
    return Outcome(rc, True, meaning="unexpected exit status %s" % rc)


def _reject_constant(name):
    raise ValueError("%s is not JSON" % name)


def _describe(raw):
    """A short, printable picture of a line that could not be read."""
    text = raw[:60].decode("utf-8", "backslashreplace")
    text = "".join(c if c.isprintable() else c.encode("unicode_escape").decode("ascii") for c in text)
    return text + ("..." if len(raw) > 60 else "")


def parse_json_lines(data):
    """Splits the command line's output into JSON objects.

    ``data`` is bytes (or text). Answers (records, problems): the JSON objects in order, and one
    text per line that was left out (not UTF-8, not JSON, not an object, too long, cut short).
    Empty lines are no problem.
    """
    if data is None:
        return [], []
    if not isinstance(data, bytes):
        data = data.encode("utf-8", "surrogateescape")
    records = []
    problems = []
    lines = data.split(b"\n")
    complete = len(lines) - 1  # the piece after the last newline is a line cut short
    for number, raw in enumerate(lines, start=1):
        last_piece = number > complete
        if raw.endswith(b"\r"):
            raw = raw[:-1]
        if not raw.strip():
            continue
        where = "line %d" % number
        if len(raw) > MAX_LINE_BYTES:
            problems.append("%s: longer than %d bytes, left out" % (where, MAX_LINE_BYTES))
            continue
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            problems.append("%s: not UTF-8 text: %s" % (where, _describe(raw)))
            continue
        try:
            value = json.loads(text, parse_constant=_reject_constant)
        except ValueError:
            if last_piece:
                problems.append("%s: cut short (no line end): %s" % (where, _describe(raw)))
            else:
                problems.append("%s: not JSON: %s" % (where, _describe(raw)))
            continue
        if not isinstance(value, dict):
            problems.append("%s: not a JSON object: %s" % (where, _describe(raw)))
            continue
        records.append(value)
    return records, problems


def _is_row(record):
    return "index" in record and "kind" in record


def _is_result(record):
    return "result" in record and "value" in record and len(record) == 2


def _object_key(record):
    if len(record) == 1:
        key = next(iter(record))
        if isinstance(record[key], dict):
            return key
    return None


def row_text(row):
    """A row as one line: its name, value and further text, blanks and line ends trimmed."""
    parts = []
    for field in ("name", "value", "more"):
        value = row.get(field)
        if isinstance(value, str) and value.strip():
            parts.append(value.strip())
    return " ".join(parts)


class CliRun(object):
    """One run of the command line: its exit status and what it printed, sorted."""

    def __init__(self, argv, rc, stdout, stderr, differs_allowed=False):
        self.argv = list(argv)
        self.rc = rc
        if isinstance(stderr, bytes):
            stderr = stderr.decode("utf-8", "replace")
        self.stderr = stderr or ""
        self.outcome = outcome(rc, differs_allowed)
        self.rows = []
        self.results = {}
        self.objects = {}
        self.others = []
        records, self.problems = parse_json_lines(stdout)
        for record in records:
            key = _object_key(record)
            if _is_row(record):
                self.rows.append(record)
            elif _is_result(record):
                self.results[str(record["result"])] = record["value"]
            elif key is not None:
                self.objects.setdefault(key, []).append(record[key])
            else:
                self.others.append(record)

    def objects_of(self, key):
        return list(self.objects.get(key, []))

    def rows_of(self, kind):
        return [r for r in self.rows if r.get("kind") == kind]

    def warnings(self):
        return [row_text(r) for r in self.rows_of("warning")]

    def failure_text(self):
        """Why the command failed: its failure rows, else its error messages, else its status."""
        failures = [row_text(r) for r in self.rows_of("failure")]
        failures = [f for f in failures if f]
        if failures:
            return "; ".join(failures)
        errors = [line.strip() for line in self.stderr.splitlines() if line.strip()]
        # Progress lines ("stations: 50% ...") are not the reason.
        errors = [line for line in errors if not line.startswith("stations:")]
        if errors:
            return "; ".join(errors[-3:])
        return "qeltaconfig-cli %s (exit status %s)" % (self.outcome.meaning, self.rc)

    def command(self):
        """The subcommand and its arguments, for messages (the program's own options left out)."""
        words = self.argv[1:]
        shown = []
        skip = False
        for word in words:
            if skip:
                skip = False
                continue
            if word in ("--output", "--settings", "--jobs"):
                skip = True
                continue
            shown.append(word)
        return " ".join(shown)

    def as_result(self):
        """What a module returns of this run."""
        return {
            "command": self.command(),
            "rc": self.rc,
            "failures": [row_text(r) for r in self.rows_of("failure")],
            "warnings": self.warnings(),
        }


def com_port_environment(device):
    """Every COM port of the command line leads to ``device`` for the runs of this task.

    The link takes HALVEX_COM<n> before any stored mapping, so whichever port the settings
    choose, the command talks to this device; nothing is stored in the settings.
    """
    if not device:
        return {}
    return dict(("HALVEX_COM%d" % n, device) for n in range(1, 9))


class QeltaCli(object):
    """Runs qeltaconfig-cli for a module, with the program's options every run shares."""

    def __init__(self, module, executable="qeltaconfig-cli", settings=None, jobs=None, environ=None):
        self.module = module
        self.executable = self._find(executable)
        self.settings = settings
        self.jobs = jobs
        self.environ = dict(environ or {})
        self.runs = []

    def _find(self, executable):
        if os.sep in executable:
            path = os.path.expanduser(executable)
            if not (os.path.isfile(path) and os.access(path, os.X_OK)):
                self.module.fail_json(msg="qeltaconfig-cli not found or not executable: %s" % path)
            return path
        return self.module.get_bin_path(executable, required=True)

    def argv(self, args, settings=None):
        argv = [self.executable, "--output", "json"]
        settings = settings or self.settings
        if settings:
            argv += ["--settings", settings]
        if self.jobs:
            argv += ["--jobs", str(self.jobs)]
        return argv + [str(a) for a in args]

    def run(self, args, settings=None, differs_allowed=False):
        argv = self.argv(args, settings)
        rc, out, err = self.module.run_command(
            argv,
            check_rc=False,
            environ_update=self.environ,
            encoding=None,
        )
        run = CliRun(argv, rc, out, err, differs_allowed=differs_allowed)
        for problem in run.problems:
            self.module.warn("qeltaconfig-cli %s: %s" % (run.command(), problem))
        self.runs.append(run)
        return run

    def commands(self):
        return [run.as_result() for run in self.runs]
