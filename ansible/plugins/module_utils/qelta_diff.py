# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.
"""Before/after texts for diff mode, one line per parameter.

``before`` is what the device holds, ``after`` what the task puts there. Each parameter of a
configuration file is one line, named by its parameter and the place in the file it comes from,
so the two texts line up and a unified diff shows exactly the parameters that differ with both
values.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

NOT_READ = "(not read)"


def value_text(value):
    """A value as a diff line shows it: as it is, or quoted when blanks at its ends or control
    characters would be lost on the screen."""
    if value is None:
        return NOT_READ
    if isinstance(value, bool):
        return "true" if value else "false"
    if not isinstance(value, str):
        return str(value)
    if value == "" or value != value.strip() or any(not c.isprintable() for c in value):
        return json.dumps(value)
    return value


def source_place(source):
    """The place a file line comes from: "line 2" of "line 2: CHANNEL:3"."""
    if not isinstance(source, str) or not source:
        return ""
    return source.split(": ", 1)[0]


def parameter_label(entry):
    parameter = entry.get("parameter") or "?"
    place = source_place(entry.get("source"))
    return "%s (%s)" % (parameter, place) if place else parameter


def parameter_lines(entries):
    """(before, after) lines of a device's diff objects, in file order."""
    before = []
    after = []
    for entry in entries:
        label = parameter_label(entry)
        before.append("%s: %s" % (label, value_text(entry.get("device_value"))))
        after.append("%s: %s" % (label, value_text(entry.get("file_value"))))
    return before, after


def differing(entries):
    """The diff objects whose device bytes differ from the file's."""
    return [e for e in entries if e.get("match") is not True]


def setting_lines(name, before, after):
    """One setting as a pair of lines, "channel: 1" and "channel: 3"."""
    return ["%s: %s" % (name, value_text(before))], ["%s: %s" % (name, value_text(after))]


def difference_lines(differences, prefix=""):
    """The module settings' differences ({"setting", "before", "after"}) as lines."""
    before = []
    after = []
    for d in differences:
        b, a = setting_lines(prefix + str(d.get("setting")), d.get("before"), d.get("after"))
        before += b
        after += a
    return before, after


class DeviceDiff(object):
    """The lines of one device (a station, or the serial device) gathered over a task."""

    def __init__(self, before_header, after_header):
        self.before_header = before_header
        self.after_header = after_header
        self.before = []
        self.after = []

    def add(self, lines):
        before, after = lines
        self.before += before
        self.after += after

    def empty(self):
        return not self.before and not self.after

    def changes(self):
        return self.before != self.after

    def as_dict(self):
        return {
            "before_header": self.before_header,
            "after_header": self.after_header,
            "before": "".join(line + "\n" for line in self.before),
            "after": "".join(line + "\n" for line in self.after),
        }
