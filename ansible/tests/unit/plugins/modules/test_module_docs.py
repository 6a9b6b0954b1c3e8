# -*- coding: utf-8 -*-
# Each module's DOCUMENTATION, EXAMPLES and RETURN are YAML, and DOCUMENTATION's options (with
# the fragments it extends) say exactly what the module's argument_spec takes.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import re

import pytest
import yaml
from ansible_collections.tervana.qelta.plugins.doc_fragments import cli as fragments
from ansible_collections.tervana.qelta.plugins.modules import station_config, station_facts, terminal_config

MODULES = [terminal_config, station_config, station_facts]
FRAGMENTS = {
    "tervana.qelta.cli": fragments.ModuleDocFragment.DOCUMENTATION,
    "tervana.qelta.cli.stations": fragments.ModuleDocFragment.STATIONS,
}
COMPARED = ("type", "default", "required", "choices", "elements")
# Option names that carry a secret, as Ansible's module checks see them.
SECRET_NAME = re.compile(r"(?:pass(?!ive)|secret|token|key)", re.I)


def documented_options(module):
    doc = yaml.safe_load(module.DOCUMENTATION)
    options = dict(doc.get("options") or {})
    for name in doc.get("extends_documentation_fragment") or []:
        options.update(yaml.safe_load(FRAGMENTS[name])["options"])
    return doc, options


def spec_of(entry):
    out = dict((k, entry[k]) for k in COMPARED if k in entry)
    out.setdefault("type", "str")
    out.setdefault("required", False)
    return dict((k, v) for k, v in out.items() if v not in (None, False) or k in ("type",))


@pytest.mark.parametrize("module", MODULES, ids=[m.__name__.rsplit(".", 1)[1] for m in MODULES])
def test_docs_match_the_argument_spec(module):
    doc, options = documented_options(module)
    name = module.__name__.rsplit(".", 1)[1]
    assert doc["module"] == name
    assert doc["short_description"] and doc["description"]
    assert doc["attributes"]["check_mode"]["support"] in ("full", "partial")
    assert sorted(options) == sorted(module.ARGUMENT_SPEC)
    for option, entry in module.ARGUMENT_SPEC.items():
        assert spec_of(options[option]) == spec_of(entry), option
        assert options[option]["description"], option


@pytest.mark.parametrize("module", MODULES, ids=[m.__name__.rsplit(".", 1)[1] for m in MODULES])
def test_examples_use_only_documented_options(module):
    options = documented_options(module)[1]
    name = "tervana.qelta." + module.__name__.rsplit(".", 1)[1]
    tasks = yaml.safe_load(module.EXAMPLES)
    used = [t[name] for t in tasks if name in t]
    assert used
    for arguments in used:
        assert set(arguments) <= set(options)
    returned = yaml.safe_load(module.RETURN)
    for key, entry in returned.items():
        assert entry["description"] and entry["returned"] and entry["type"], key


@pytest.mark.parametrize("module", MODULES, ids=[m.__name__.rsplit(".", 1)[1] for m in MODULES])
def test_secrets_and_only_secrets_are_never_logged(module):
    options = documented_options(module)[1]
    for option, entry in module.ARGUMENT_SPEC.items():
        secret = bool(SECRET_NAME.search(option))
        assert entry.get("no_log", False) is secret, option
        if secret:
            assert "vault" in " ".join(options[option]["description"]), option
