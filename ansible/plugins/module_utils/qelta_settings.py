# -*- coding: utf-8 -*-
# Copyright: 2026 QeltaConfig maintainers
# All rights reserved; see LICENSE in the collection.
"""The Ethernet modules' login for the runs of one task.

The command line takes the modules' user name and password only from its settings file
("EthUsernameDigiME", "EthPasswordDigiME"). A task that names them gets a copy of the site's
settings file in the task's private temporary folder (mode 0600) with the two values put in, and
the commands that log in to the modules run with ``--settings`` on that copy. The site's own file
is never changed, and the copy goes away with the task's folder.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import os

USER_KEY = "EthUsernameDigiME"
PASSWORD_KEY = "EthPasswordDigiME"

# The configurator keeps each of them in a buffer of 12 bytes with its closing zero: a longer
# value is not read and the default takes its place, which would log in with the wrong password.
MAX_LOGIN_BYTES = 11

# A settings file larger than this is not the configurator's.
MAX_SETTINGS_BYTES = 1 << 20


def default_settings_path(environ=None):
    """The user's own settings file, as the command line finds it."""
    environ = os.environ if environ is None else environ
    base = environ.get("XDG_CONFIG_HOME") or ""
    if not base.startswith("/"):
        base = os.path.join(environ.get("HOME") or os.path.expanduser("~"), ".config")
    return os.path.join(base, "Tervana", "QeltaConfigurator.conf")


def escape_text(text):
    """A text value as the settings file writes it."""
    return (
        text.replace("\\", "\\\\")
        .replace("\n", "\\n")
        .replace("\r", "\\r")
        .replace("\t", "\\t")
        .replace("\0", "\\0")
    )


def login_problem(label, value):
    """Why a user name or password cannot be handed to the command line, or None."""
    if value is None:
        return None
    if value == "":
        return "%s is empty (the configurator would use its default instead)" % label
    if "\0" in value:
        return "%s holds a NUL character" % label
    if len(value.encode("utf-8")) > MAX_LOGIN_BYTES:
        return "%s is longer than %d bytes (the configurator would use its default instead)" % (
            label,
            MAX_LOGIN_BYTES,
        )
    return None


def with_login(contents, user=None, password=None):
    """The settings file's text with the login values put in (replaced, or added at the end).

    Names are matched without regard to case, as the configurator does; every other line,
    comments and lines it cannot read included, is kept as it is.
    """
    wanted = []
    if user is not None:
        wanted.append((USER_KEY, user))
    if password is not None:
        wanted.append((PASSWORD_KEY, password))
    lines = contents.splitlines() if contents else ["# QeltaConfigurator settings"]
    done = set()
    out = []
    for line in lines:
        name = line.split("=", 1)[0] if "=" in line and not line.startswith("#") else None
        match = [w for w in wanted if name is not None and name.lower() == w[0].lower()]
        if match:
            key, value = match[0]
            if key in done:
                continue  # a second line of the same name would be read instead of ours
            out.append("%s=text:%s" % (key, escape_text(value)))
            done.add(key)
        else:
            out.append(line)
    for key, value in wanted:
        if key not in done:
            out.append("%s=text:%s" % (key, escape_text(value)))
    return "\n".join(out) + "\n"


def read_settings(path):
    """The site's settings file as text ("" when there is none yet)."""
    if not os.path.exists(path):
        return ""
    if not os.path.isfile(path):
        raise ValueError("%s is not a regular file" % path)
    if os.path.getsize(path) > MAX_SETTINGS_BYTES:
        raise ValueError("%s is larger than %d bytes" % (path, MAX_SETTINGS_BYTES))
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "surrogateescape")


def write_private(folder, name, text):
    """Writes a new file readable by its owner only and answers its path."""
    path = os.path.join(folder, name)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(text.encode("utf-8", "surrogateescape"))
    return path


class LoginSettings(object):
    """The settings file for the commands that log in to the Ethernet modules."""

    def __init__(self, module, settings, user=None, password=None):
        self.module = module
        self.settings = settings
        self.user = user
        self.password = password
        self._path = None
        for label, value in (("eth_user", user), ("eth_password", password)):
            problem = login_problem(label, value)
            if problem:
                module.fail_json(msg=problem)

    def path(self):
        """The file to pass with --settings to a command that logs in (None: the default)."""
        if self.user is None and self.password is None:
            return self.settings
        if self._path is None:
            source = self.settings or default_settings_path()
            try:
                contents = read_settings(source)
            except (OSError, IOError, ValueError) as e:
                self.module.fail_json(msg="cannot read the settings file: %s" % e)
            text = with_login(contents, self.user, self.password)
            self._path = write_private(self.module.tmpdir, "QeltaConfigurator.conf", text)
        return self._path
