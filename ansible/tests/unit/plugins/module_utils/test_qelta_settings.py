# -*- coding: utf-8 -*-
# The per-task settings file that carries the Ethernet modules' login.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import os
import stat

import pytest
from ansible_collections.tervana.qelta.plugins.module_utils.qelta_settings import (
    LoginSettings,
    default_settings_path,
    login_problem,
    with_login,
)

SITE = "# QeltaConfigurator settings\nEthUsernameDigiME=text:root\nethpassworddigime=text:kqzv\nComPort=number:2\n"

WITH_LOGIN_CASES = [
    ("replaced where they stand, names without regard to case", SITE, "svc", "s3cret",
     "# QeltaConfigurator settings\nEthUsernameDigiME=text:svc\nEthPasswordDigiME=text:s3cret\nComPort=number:2\n"),
    ("only the password", SITE, None, "pw",
     "# QeltaConfigurator settings\nEthUsernameDigiME=text:root\nEthPasswordDigiME=text:pw\nComPort=number:2\n"),
    ("added to a file without them", "ComPort=number:1\n", None, "pw", "ComPort=number:1\nEthPasswordDigiME=text:pw\n"),
    ("a new file", "", "u", None, "# QeltaConfigurator settings\nEthUsernameDigiME=text:u\n"),
    ("a second line of the name goes", "EthPasswordDigiME=text:a\nEthPasswordDigiME=text:b\n", None, "c",
     "EthPasswordDigiME=text:c\n"),
    ("escapes as the file writes texts", "", None, "a\\b\tc\nd",
     "# QeltaConfigurator settings\nEthPasswordDigiME=text:a\\\\b\\tc\\nd\n"),
    ("lines it cannot read and comments stay", "#EthPasswordDigiME=text:old\ngarbage line\n", None, "p",
     "#EthPasswordDigiME=text:old\ngarbage line\nEthPasswordDigiME=text:p\n"),
]


@pytest.mark.parametrize("what,contents,user,password,expected", WITH_LOGIN_CASES, ids=[c[0] for c in WITH_LOGIN_CASES])
def test_with_login(what, contents, user, password, expected):
    assert with_login(contents, user, password) == expected


LOGIN_PROBLEM_CASES = [
    (None, None),
    ("kqzv", None),
    ("a" * 11, None),
    ("a" * 12, "longer than 11 bytes"),
    ("\u00e4" * 6, "longer than 11 bytes"),  # 12 bytes in UTF-8
    ("", "empty"),
    ("a\0b", "NUL"),
]


@pytest.mark.parametrize("value,problem", LOGIN_PROBLEM_CASES)
def test_login_problem(value, problem):
    found = login_problem("eth_password", value)
    assert (found is None) == (problem is None)
    if problem:
        assert problem in found and "eth_password" in found


@pytest.mark.parametrize("environ,path", [
    ({"XDG_CONFIG_HOME": "/cfg", "HOME": "/home/u"}, "/cfg/Tervana/QeltaConfigurator.conf"),
    ({"XDG_CONFIG_HOME": "", "HOME": "/home/u"}, "/home/u/.config/Tervana/QeltaConfigurator.conf"),
    ({"XDG_CONFIG_HOME": "relative", "HOME": "/home/u"}, "/home/u/.config/Tervana/QeltaConfigurator.conf"),
    ({"HOME": "/home/u"}, "/home/u/.config/Tervana/QeltaConfigurator.conf"),
])
def test_default_settings_path(environ, path):
    assert default_settings_path(environ) == path


class FakeModule(object):
    def __init__(self, tmpdir):
        self.tmpdir = str(tmpdir)

    def fail_json(self, msg, **kw):
        raise AssertionError(msg)


def test_login_copy_is_private_and_the_site_file_unchanged(tmp_path):
    site = tmp_path / "site.conf"
    site.write_text(SITE)
    work = tmp_path / "task"
    work.mkdir()
    login = LoginSettings(FakeModule(work), str(site), None, "s3cret")
    path = login.path()
    assert os.path.dirname(path) == str(work)
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o600
    assert "EthPasswordDigiME=text:s3cret" in open(path).read()
    assert login.path() == path  # written once
    assert site.read_text() == SITE


def test_without_login_the_site_file_is_used(tmp_path):
    login = LoginSettings(FakeModule(tmp_path), "/etc/qelta/site.conf")
    assert login.path() == "/etc/qelta/site.conf"
    assert os.listdir(str(tmp_path)) == []


def test_a_settings_path_that_is_no_file_is_refused(tmp_path):
    login = LoginSettings(FakeModule(tmp_path / "x"), str(tmp_path), None, "pw")
    with pytest.raises(AssertionError, match="not a regular file"):
        login.path()
