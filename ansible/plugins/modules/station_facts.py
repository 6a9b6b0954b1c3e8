#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: station_facts
short_description: Inventory of a site's base stations as facts
version_added: "1.0.0"
description:
  - Runs C(qeltaconfig-cli bs-inventory) on the named stations, or on every station discovery
    finds, and returns one dictionary per station with the inventory's fields as the fact
    C(qelta_stations).
  - Reads only; nothing on the stations or their modules changes.
  - A station that does not answer (fully or in part) is still in the facts, with C(ok) false,
    null for every value it did not answer and C(status) naming the part; the task warns
    about it and does not fail. The task fails when the inventory could not be taken at all.
extends_documentation_fragment:
  - tervana.qelta.cli
  - tervana.qelta.cli.stations
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying the devices.
    support: full
    details: The inventory only reads; it runs in check mode as in a normal run.
  diff_mode:
    description: Will return details on what has changed (or might change in check mode).
    support: none
  facts:
    description: Action returns an C(ansible_facts) dictionary that will update existing host facts.
    support: full
author:
  - QeltaConfig maintainers (!UNKNOWN)
"""

EXAMPLES = r"""
- name: What the site holds
  tervana.qelta.station_facts:
    all: true
    eth_password: "{{ vault_eth_password }}"

- name: Stations on a channel other than 3
  ansible.builtin.debug:
    msg: "{{ qelta_stations | selectattr('channel', 'ne', 3) | map(attribute='address') | list }}"
"""

RETURN = r"""
ansible_facts:
  description: Facts about the site's stations.
  returned: always
  type: dict
  contains:
    qelta_stations:
      description:
        - One dictionary per station, in the stations' list order, with every field of the
          inventory. Values that did not answer, or are empty, are null.
      type: list
      elements: dict
      contains:
        name:
          description: The module's name from discovery.
          type: str
        address:
          description: Dotted address.
          type: str
        mac:
          description: The module's MAC address (C(00-40-9D-00-00-01)).
          type: str
        subnet_mask:
          description: Subnet mask from discovery.
          type: str
        gateway:
          description: Default gateway from discovery.
          type: str
        dhcp:
          description: The module uses DHCP (discovery).
          type: bool
        device_type:
          description: The base station's device type (9), through the tunnel.
          type: int
        software_version:
          description: The station's software version (a device text).
          type: str
        id:
          description: The station's device ID (a device text).
          type: str
        date:
          description: The station's manufacturing date (a device text).
          type: str
        channel:
          description: The radio channel (page 0, address 13).
          type: int
        comm_id:
          description: The comm ID.
          type: int
        baud_rate:
          description: The module's serial baud rate, from its settings backup.
          type: int
        data_bits:
          description: Serial data bits.
          type: int
        stop_bits:
          description: Serial stop bits.
          type: int
        parity:
          description: Serial parity.
          type: str
        flow_control:
          description: Serial flow control.
          type: str
        description:
          description: The module's description.
          type: str
        location:
          description: The module's location.
          type: str
        status:
          description: C(OK), or which part did not answer (C(no answer (tunnel, web))).
          type: str
        ok:
          description: Every part of the station answered.
          type: bool
      sample:
        - name: BS-1
          address: 10.20.0.11
          mac: 00-40-9D-00-00-01
          subnet_mask: 255.255.255.0
          gateway: 10.20.0.1
          dhcp: false
          device_type: 9
          software_version: "31"
          id: "1001"
          date: "2024-01-02"
          channel: 3
          comm_id: 1234
          baud_rate: 19200
          data_bits: 8
          stop_bits: 1
          parity: none
          flow_control: none
          description: Hall 3
          location: Dock 4
          status: OK
          ok: true
not_answered:
  description: Addresses of the stations that did not answer in full (C(ok) false), and of
    named stations the inventory has no entry for.
  returned: always
  type: list
  elements: str
  sample: [10.20.0.13]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_cli import (
    CLI_ARGUMENT_SPEC,
    QeltaCli,
)
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_settings import LoginSettings
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_stations import (
    STATION_ARGUMENT_SPEC,
    inventory_failure,
    inventory_reason,
    read_inventory,
    station_problem,
)

ARGUMENT_SPEC = dict(CLI_ARGUMENT_SPEC, **STATION_ARGUMENT_SPEC)


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        supports_check_mode=True,
    )
    p = module.params
    problem = station_problem(p)
    if problem:
        module.fail_json(msg=problem)
    login = LoginSettings(module, p["settings"], p["eth_user"], p["eth_password"])
    cli = QeltaCli(module, p["executable"], settings=p["settings"], jobs=p["jobs"])
    inventory = read_inventory(cli, p, login.path())
    failure = inventory_failure(inventory)
    if failure:
        module.fail_json(msg="the inventory failed: %s" % failure, changed=False, commands=cli.commands())

    facts = []
    not_answered = []
    for address in inventory.addresses:
        entry = inventory.get(address)
        if entry is None:
            module.warn("%s: %s" % (address, inventory_reason(None)))
            not_answered.append(address)
            continue
        facts.append(dict(entry))
        if entry.get("ok") is not True:
            module.warn("%s: %s" % (address, inventory_reason(entry)))
            not_answered.append(address)
    module.exit_json(
        changed=False,
        ansible_facts=dict(qelta_stations=facts),
        not_answered=not_answered,
        commands=cli.commands(),
    )


if __name__ == "__main__":
    main()
