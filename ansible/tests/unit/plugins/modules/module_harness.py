# -*- coding: utf-8 -*-
# Helpers of the modules' tests: JSON Lines as the command line prints them, and the scripted
# command line (scripted_cli.py) that answers a test's calls.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import stat
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def json_lines(*records):
    """JSON Lines as the command line prints them; bytes are taken as they are."""
    out = b""
    for r in records:
        out += r if isinstance(r, bytes) else json.dumps(r).encode("utf-8") + b"\n"
    return out


def row(kind, name, value="", more="", index=0):
    return {"index": index, "kind": kind, "image": 1, "name": name, "value": value, "more": more,
            "time": "2026-01-02T10:00:00.000+00:00"}


class ScriptedCli(object):
    def __init__(self, folder):
        self.folder = str(folder)
        self.script = os.path.join(self.folder, "script.json")
        self.steps = []
        self.executable = os.path.join(self.folder, "qeltaconfig-cli")
        with open(self.executable, "w") as f:
            f.write("#!%s\nimport runpy\nrunpy.run_path(%r, run_name='__main__')\n"
                    % (sys.executable, os.path.join(HERE, "scripted_cli.py")))
        os.chmod(self.executable, stat.S_IRWXU)

    def add(self, command, *records, **kw):
        self.steps.append({"command": command, "stdout": json_lines(*records).decode("latin-1"),
                           "rc": kw.get("rc", 0), "stderr": kw.get("stderr", "")})
        with open(self.script, "w") as f:
            json.dump(self.steps, f)

    def step(self, command, records, rc=0):
        self.add(command, *records, rc=rc)

    def calls(self):
        log = self.script + ".log"
        if not os.path.exists(log):
            return []
        with open(log) as f:
            return [json.loads(line) for line in f]

    def commands(self):
        """Each call's subcommand and the arguments after it."""
        out = []
        for call in self.calls():
            args = call["args"]
            i = 0
            while args[i] in ("--output", "--settings", "--jobs"):
                i += 2
            out.append(args[i:])
        return out
