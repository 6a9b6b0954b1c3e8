# -*- coding: utf-8 -*-
# A stand-in for qeltaconfig-cli in the modules' tests: it answers each call with the next step
# of a script (the JSON Lines and exit status the real program gives for that command, as its
# output format describes them), after checking that the call is the command the step expects.
# Every call is logged with its arguments and the HALVEX_COM<n> variables it was given.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import sys

GLOBAL_OPTIONS = ("--output", "--settings", "--jobs")


def subcommand(args):
    skip = False
    for word in args:
        if skip:
            skip = False
        elif word in GLOBAL_OPTIONS:
            skip = True
        else:
            return word
    return None


def main():
    script_path = os.environ["QELTA_SCRIPT"]
    with open(script_path) as f:
        script = json.load(f)
    counter = script_path + ".next"
    step_index = int(open(counter).read()) if os.path.exists(counter) else 0
    args = sys.argv[1:]
    com = dict((k, v) for k, v in os.environ.items() if k.startswith("HALVEX_COM"))
    settings_text = None
    if "--settings" in args:
        path = args[args.index("--settings") + 1]
        if os.path.exists(path):
            settings_text = open(path).read()
    with open(script_path + ".log", "a") as log:
        log.write(json.dumps({"args": args, "com": com, "settings_text": settings_text}) + "\n")
    with open(counter, "w") as f:
        f.write(str(step_index + 1))
    if step_index >= len(script):
        sys.stderr.write("unexpected call: %s\n" % " ".join(args))
        return 99
    step = script[step_index]
    if subcommand(args) != step["command"]:
        sys.stderr.write("expected %s, called with %s\n" % (step["command"], " ".join(args)))
        return 99
    out = getattr(sys.stdout, "buffer", sys.stdout)
    out.write(step["stdout"].encode("latin-1"))
    out.flush()
    sys.stderr.write(step.get("stderr", ""))
    return step["rc"]


if __name__ == "__main__":
    sys.exit(main())
