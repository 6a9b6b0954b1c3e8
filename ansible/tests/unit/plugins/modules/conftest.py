# -*- coding: utf-8 -*-
# Runs a module's main() as Ansible would (arguments in, one JSON result out) against the scripted
# command line of scripted_cli.py.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

import pytest
from ansible.module_utils import basic
from ansible.module_utils.common import warnings as module_warnings
from module_harness import ScriptedCli


@pytest.fixture
def cli(tmp_path, monkeypatch):
    scripted = ScriptedCli(tmp_path)
    monkeypatch.setenv("QELTA_SCRIPT", scripted.script)
    return scripted


@pytest.fixture
def run_module(tmp_path, monkeypatch, capsys, cli):
    """Runs main() of a module with these arguments and answers its result."""

    def run(main, args, check=False, diff=False):
        payload = dict(executable=cli.executable, _ansible_check_mode=check, _ansible_diff=diff,
                       _ansible_tmpdir=str(tmp_path), _ansible_remote_tmp=str(tmp_path))
        payload.update(args)
        monkeypatch.setattr(basic, "_ANSIBLE_ARGS",
                            json.dumps({"ANSIBLE_MODULE_ARGS": payload}).encode("utf-8"))
        del module_warnings._global_warnings[:]
        capsys.readouterr()
        with pytest.raises(SystemExit):
            main()
        return json.loads(capsys.readouterr().out)

    return run
