#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: terminal_config
short_description: Write a configuration file into the device on the serial port
version_added: "1.0.0"
description:
  - Compares a configuration file (C(.pcg)) with the memory of the hand terminal (or bench base
    station) on the host's serial port and writes only the lines whose bytes differ, then reads
    back what it wrote.
  - Runs C(qeltaconfig-cli diff) first; when the device differs, C(qeltaconfig-cli upload
    --changed-only --verify). The task is changed when bytes were written.
  - A device that matches the file is not written to and not reset.
extends_documentation_fragment:
  - tervana.qelta.cli
options:
  src:
    description:
      - The configuration file (C(.pcg)) on the managed host.
    type: path
    required: true
  device:
    description:
      - Path of the serial device the terminal is on, for example C(/dev/ttyUSB0) or a stable
        C(/dev/serial/by-id/...) name.
      - Given to the command line as C(HALVEX_COM1) to C(HALVEX_COM8) for this task's commands,
        so whichever COM port the settings choose leads to it; nothing is stored.
      - Without it the command line's own choice counts, the settings' C(ComPort) with its
        C(ComDevice<n>) mapping (set once with C(qeltaconfig-cli com-port) and C(com-device)).
    type: path
  device_type:
    description:
      - The kind of device, for where the file's values lie in its memory; 8 a hand terminal,
        9 a base station on the serial port.
    type: int
    choices: [8, 9]
    default: 8
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying the devices.
    support: full
    details: Compares only (C(qeltaconfig-cli diff)); nothing is written.
  diff_mode:
    description: Will return details on what has changed (or might change in check mode).
    support: full
    details: Before is the device's value of every line of the file, after the file's.
author:
  - QeltaConfig maintainers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: Terminal on the service desk holds the site's settings
  tervana.qelta.terminal_config:
    src: /etc/qelta/hand_terminal_settings.pcg
    device: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    settings: /etc/qelta/QeltaConfigurator.conf

- name: Only compare (the same in check mode)
  tervana.qelta.terminal_config:
    src: /etc/qelta/hand_terminal_settings.pcg
  check_mode: true
  diff: true
  register: terminal
"""

RETURN = r"""
differences:
  description: The lines of the file whose bytes the device did not hold before the task.
  returned: always
  type: list
  elements: dict
  sample:
    - parameter: CHANNEL
      source: "line 12: CHANNEL:5"
      device_value: "1"
      file_value: "5"
bytes_written:
  description: Bytes written into the device (0 when it already matched or in check mode).
  returned: always
  type: int
  sample: 12
lines_written:
  description: Lines of the file written.
  returned: always
  type: int
  sample: 2
lines_unchanged:
  description: Lines of the file the device already held when it was written to.
  returned: always
  type: int
  sample: 58
commands:
  description: The commands run, each with its exit status, failure rows and warning rows.
  returned: always
  type: list
  elements: dict
  sample:
    - command: diff /etc/qelta/hand_terminal_settings.pcg --type 8
      rc: 4
      failures: []
      warnings: []
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_cli import (
    CLI_ARGUMENT_SPEC,
    QeltaCli,
    com_port_environment,
)
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_diff import (
    DeviceDiff,
    differing,
    parameter_lines,
)

ARGUMENT_SPEC = dict(
    CLI_ARGUMENT_SPEC,
    src=dict(type="path", required=True),
    device=dict(type="path"),
    device_type=dict(type="int", choices=[8, 9], default=8),
)


def serial_entries(run):
    """The diff objects of the serial device (no station)."""
    return [d for d in run.objects_of("diff") if d.get("station") is None]


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, supports_check_mode=True)
    p = module.params
    result = dict(
        changed=False,
        differences=[],
        bytes_written=0,
        lines_written=0,
        lines_unchanged=0,
        commands=[],
    )
    cli = QeltaCli(
        module,
        p["executable"],
        settings=p["settings"],
        environ=com_port_environment(p["device"]),
    )

    def fail(msg):
        result["commands"] = cli.commands()
        module.fail_json(msg=msg, **result)

    compared = cli.run(["diff", p["src"], "--type", p["device_type"]], differs_allowed=True)
    if compared.outcome.failed:
        fail("comparing %s with the device failed: %s" % (p["src"], compared.failure_text()))
    entries = serial_entries(compared)
    result["differences"] = differing(entries)
    if compared.outcome.differs and not result["differences"]:
        fail("the device differs from %s, but no line of the comparison says where" % p["src"])
    if module._diff:
        diff = DeviceDiff("device", p["src"])
        diff.add(parameter_lines(entries))
        result["diff"] = diff.as_dict()
    for warning in compared.warnings():
        module.warn(warning)

    if not result["differences"]:
        result["commands"] = cli.commands()
        module.exit_json(**result)
    if module.check_mode:
        result["changed"] = True
        result["commands"] = cli.commands()
        module.exit_json(**result)

    written = cli.run(["upload", p["src"], "--changed-only", "--verify"])
    if written.outcome.failed:
        # Bytes may have been written before the failure: the device is not what it was.
        result["changed"] = True
        fail("writing %s into the device failed: %s" % (p["src"], written.failure_text()))
    totals = [w for w in written.objects_of("written") if w.get("station") is None]
    if not totals:
        result["changed"] = True
        fail("the upload of %s reported no count of the bytes written" % p["src"])
    total = totals[-1]
    result["bytes_written"] = int(total.get("bytes") or 0)
    result["lines_written"] = int(total.get("lines_written") or 0)
    result["lines_unchanged"] = int(total.get("lines_unchanged") or 0)
    result["changed"] = result["bytes_written"] > 0
    for warning in written.warnings():
        if warning not in compared.warnings():
            module.warn(warning)
    result["commands"] = cli.commands()
    module.exit_json(**result)


if __name__ == "__main__":
    main()
