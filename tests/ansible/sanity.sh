#!/usr/bin/env bash
# ansible-test sanity on the collection, offline, with Debian's Python packages.
#
#   tests/ansible/sanity.sh COLLECTION_DIR
#
# ansible-test runs most checks in virtual environments it fills with pip from the package index,
# which this machine cannot reach. A virtual environment that ansible-test finds ready (its
# marker file present) is used as it is, so each one it asks for is made here instead, with
# Debian's packages (--system-site-packages) and without pip: ansible-test names the path it
# wants when it finds no pip there. Checks that still cannot run are listed in SKIPPED below.
# Runs inside the private network namespace only (ansible-test tries downloads).
set -euo pipefail

if [ "${QELTA_NETNS:-}" != "1" ]; then
  echo "sanity.sh: run me inside scripts/netns" >&2
  exit 2
fi
src=$(readlink -f "${1:?usage: sanity.sh COLLECTION_DIR}")
command -v ansible-test >/dev/null || { echo "ansible-test not installed, skipped"; exit 77; }

# The checks (QELTA_SANITY_TESTS="a b" runs only those), and those left out with the reason:
#   pslint, shellcheck: nothing of theirs in the collection (PowerShell, shell scripts).
#   changelog: the collection keeps no changelog fragments.
# Debian's versions stand in for the pinned ones: pylint 2.16 (2.15.5), pycodestyle 2.10
# (2.9.1), yamllint 1.29 (1.28), voluptuous 0.12.2 (0.13.1), MarkupSafe 2.1.2 (2.1.1).
TESTS=(${QELTA_SANITY_TESTS:-compile import validate-modules ansible-doc yamllint pep8 pylint runtime-metadata
  action-plugin-docs empty-init future-import-boilerplate metaclass-boilerplate line-endings
  no-assert no-basestring no-dict-iteritems no-dict-iterkeys no-dict-itervalues no-get-exception
  no-illegal-filenames no-main-display no-smart-quotes no-unicode-literals replace-urlopen
  shebang symlinks use-argspec-type-path use-compat-six ignores})

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
mkdir -p "$HOME" "$work/ansible_collections/tervana"
cp -r "$src" "$work/ansible_collections/tervana/qelta"
find "$work/ansible_collections" \( -name __pycache__ -o -name .pytest_cache \) -prune -exec rm -rf {} +
cd "$work/ansible_collections/tervana/qelta"

python=/usr/bin/python3
status=0
for t in "${TESTS[@]}"; do
  log="$work/$t.log"
  # Each round may name one more environment to make (the import check wants two).
  for attempt in 1 2 3 4; do
    if ansible-test sanity --test "$t" --python 3.11 --color no >"$log" 2>&1; then
      echo "sanity $t: passed"
      break
    fi
    venv=$(sed -n 's|.*Python 3.11 at "\(.*\)/bin/python" does not have pip available.*|\1|p' "$log")
    if [ "$attempt" != 4 ] && [ -n "$venv" ] && [ ! -e "$venv/marker.txt" ]; then
      rm -rf "$venv"
      "$python" -m venv --system-site-packages --without-pip "$venv"
      touch "$venv/marker.txt"
      echo null >"$venv/meta.yaml.json"
      echo "[]" >"$venv/meta.install.json"
      continue
    fi
    echo "sanity $t: FAILED"
    sed -n '/^ERROR\|^FATAL\|:[0-9]*:[0-9]*:/p' "$log" | grep -v locale | head -40
    status=1
    break
  done
done
exit $status
