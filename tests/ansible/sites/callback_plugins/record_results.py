# -*- coding: utf-8 -*-
# Records every task result of a playbook run, one JSON object a line, into the file named by
# QELTA_RESULTS: the host, the task's name, ok / failed / skipped / unreachable and the module's
# whole result (changed, msg, diff, facts). The sites' test reads it back.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = r"""
name: record_results
type: aggregate
short_description: Records each task result as a JSON line
description:
  - Appends one JSON object per task result to the file named by C(QELTA_RESULTS).
requirements:
  - enabled in callbacks_enabled
"""


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "aggregate"
    CALLBACK_NAME = "record_results"
    CALLBACK_NEEDS_ENABLED = True

    def _record(self, result, status):
        entry = dict(host=result._host.get_name(), task=result._task.get_name(), status=status,
                     result=result._result)
        with open(os.environ["QELTA_RESULTS"], "a") as f:
            f.write(json.dumps(entry, default=str) + "\n")

    def v2_runner_on_ok(self, result):
        self._record(result, "ok")

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, "failed")

    def v2_runner_on_skipped(self, result):
        self._record(result, "skipped")

    def v2_runner_on_unreachable(self, result):
        self._record(result, "unreachable")
