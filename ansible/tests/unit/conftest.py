# -*- coding: utf-8 -*-
# Makes the collection importable as ansible_collections.tervana.qelta when the tests run from
# the source tree (pytest tests/unit) rather than from an installed collection.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import atexit
import os
import shutil
import sys
import tempfile

COLLECTION_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _importable():
    try:
        import ansible_collections.tervana.qelta.plugins.module_utils.qelta_cli  # noqa: F401
    except ImportError:
        return False
    return True


if not _importable():
    base = tempfile.mkdtemp(prefix="qelta-collection-")
    atexit.register(shutil.rmtree, base, True)
    os.makedirs(os.path.join(base, "ansible_collections", "tervana"))
    os.symlink(COLLECTION_ROOT, os.path.join(base, "ansible_collections", "tervana", "qelta"))
    sys.path.insert(0, base)
    for name in [m for m in sys.modules if m == "ansible_collections" or m.startswith("ansible_collections.")]:
        del sys.modules[name]
