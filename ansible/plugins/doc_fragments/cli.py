# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The command line every module runs.
    DOCUMENTATION = r"""
options:
  executable:
    description:
      - The C(qeltaconfig-cli) program to run. A name is looked up on the C(PATH) of the
        managed host, a path (with a C(/)) is taken as it is.
    type: str
    default: qeltaconfig-cli
  settings:
    description:
      - The site's settings file, passed to every command as C(--settings). The serial port
        choice (C(ComPort), C(ComDevice<n>)), the comm ID counter (C(CommID)), the modes
        (C(UIProduction)) and C(ParallelStations) come from it.
      - Default is the user's own file, C($XDG_CONFIG_HOME/Tervana/QeltaConfigurator.conf).
    type: path
requirements:
  - C(qeltaconfig-cli) with C(--output json) on the managed host (package C(qeltaconfig)).
notes:
  - The modules read the command line's JSON Lines only, never its text. A line that is not
    a JSON object is left out and named in the task's warnings.
  - "Exit statuses of the command line: 0 done, 1 failed, 2 usage error (failed), 3 done with
    warning rows (ok, the rows become the task's warnings), 4 the device differs from the file."
"""

    # The base stations a module works on.
    STATIONS = r"""
options:
  stations:
    description:
      - Dotted IPv4 addresses of the base stations (their Ethernet modules) to work on.
      - Either I(stations) or I(all) is required, not both.
    type: list
    elements: str
  all:
    description:
      - Work on every base station that discovery finds on the host's network.
    type: bool
    default: false
  jobs:
    description:
      - Work on up to this many stations at once (1 to 64), passed as C(--jobs). Default is the
        settings' C(ParallelStations).
    type: int
  discovery_wait:
    description:
      - Wait at most this long for discovery, in milliseconds (0 to 60000), passed as C(--wait).
    type: int
  eth_user:
    description:
      - User name for the Ethernet modules' web interfaces (at most 11 bytes).
      - The command line reads the login only from its settings file. When I(eth_user) or
        I(eth_password) is given, the commands that log in to the modules run with a private
        copy of the site's settings file (mode 0600, in the task's temporary folder, removed
        with it) holding these values; the site's file is not changed.
      - Default is the settings file's C(EthUsernameDigiME).
    type: str
  eth_password:
    description:
      - Password for the Ethernet modules' web interfaces (at most 11 bytes); keep it in a vault.
      - Default is the settings file's C(EthPasswordDigiME).
    type: str
"""
