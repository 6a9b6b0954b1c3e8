#!/usr/bin/env bash
# The collection's unit tests (pytest), from the source tree.
#
#   units_test.sh COLLECTION_DIR
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
ansible_require_netns
ansible_require ansible-playbook
py=$(ansible_python)
"$py" -c "import pytest" 2>/dev/null || { echo "SKIPPED: pytest is not installed"; exit 77; }
cd "${1:?usage: units_test.sh COLLECTION_DIR}"
# Nothing is written into the source tree: no byte code, no pytest cache.
export PYTHONDONTWRITEBYTECODE=1
exec "$py" -m pytest -q -p no:cacheprovider tests/unit
