#!/usr/bin/env bash
# The collection as users get it: built from the source into a tarball and installed with
# ansible-galaxy, then ansible-doc shows every module's documentation, fragments resolved; the
# tarball that scripts/package put into dist/ installs and documents the same way.
#
#   collection_test.sh COLLECTION_DIR DIST_DIR
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
ansible_require_netns
ansible_require ansible-galaxy ansible-doc
src=$(readlink -f "${1:?usage: collection_test.sh COLLECTION_DIR DIST_DIR}")
dist=${2:?usage: collection_test.sh COLLECTION_DIR DIST_DIR}
py=$(ansible_python)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/tmp
mkdir -p "$HOME"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

modules=$(cd "$src/plugins/modules" && ls *.py | sed 's/\.py$//')
version=$("$py" -c 'import sys, yaml; print(yaml.safe_load(open(sys.argv[1]))["version"])' "$src/galaxy.yml")

# ansible-doc of every module from an installed collection: the text names the module and every
# option, the fragments' included.
check_docs() {
  local collections=$1 module doc
  for module in $modules; do
    doc=$(ANSIBLE_COLLECTIONS_PATH=$collections ansible-doc "tervana.qelta.$module") ||
      fail "ansible-doc tervana.qelta.$module"
    ANSIBLE_COLLECTIONS_PATH=$collections ansible-doc --json "tervana.qelta.$module" >"$work/$module.json" ||
      fail "ansible-doc --json tervana.qelta.$module"
    "$py" - "$work/$module.json" "$module" "$doc" <<'PY' || fail "documentation of $module"
import json, sys
path, module, text = sys.argv[1:]
doc = json.load(open(path))["tervana.qelta." + module]["doc"]
assert doc["module"] == module, doc["module"]
assert "> TERVANA.QELTA." + module.upper() in text, "module name not shown"
assert doc["short_description"], "no short description"
for option in ["executable", "settings"] + list(doc["options"]):
    assert option in doc["options"], "option %s missing (fragment not resolved?)" % option
    # (a required option is marked "=", the others "-")
    assert "- " + option in text or "= " + option in text, "option %s not shown" % option
assert doc["attributes"]["check_mode"]["support"] in ("full", "partial")
PY
    echo "ansible-doc tervana.qelta.$module: ok"
  done
}

mkdir -p "$work/source"
ansible_build_collection "$src" "$work/source"
tar tzf "$work/source"/tervana-qelta-*.tar.gz >"$work/files"
grep -q '^plugins/modules/station_config.py$' "$work/files" || fail "tarball without its modules"
! grep -q '__pycache__\|\.pyc$\|\.pytest_cache' "$work/files" || fail "tarball carries byte code or caches"
check_docs "$work/source/collections"

tarball=$(ls "$dist"/tervana-qelta-"$version".tar.gz 2>/dev/null || true)
if [ -z "$tarball" ]; then
  echo "no tervana-qelta-$version.tar.gz in $dist (scripts/package builds it): installed from the source only"
  exit 0
fi
ansible-galaxy collection install -p "$work/dist" "$tarball" >"$work/install.log" 2>&1 || fail "install of $tarball"
installed=$("$py" -c 'import json, sys; print(json.load(open(sys.argv[1]))["collection_info"]["version"])' \
  "$work/dist/ansible_collections/tervana/qelta/MANIFEST.json")
[ "$installed" = "$version" ] || fail "$tarball installs version $installed"
check_docs "$work/dist"
echo "installed $tarball"
