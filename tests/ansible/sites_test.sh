#!/usr/bin/env bash
# The collection driving three sites at once, as a team with many sites runs it: one inventory
# host per site (ansible_connection=local), each site with a network namespace of its own (its
# own discovery), two simulated base stations behind simulated Ethernet modules on the site's own
# loopback addresses, a simulated hand terminal on a pty, its own settings file, and the modules'
# web password from a vault. Site 3 also names a station that is switched off.
#
#   sites_test.sh BIN_DIR COLLECTION_DIR
#
# The plays: the stations' facts; then the site playbook in check mode (changes predicted, the
# memories and module settings untouched), for real (changed, the memories as the files say),
# again (nothing changed), and after a drift in check mode with --diff (the parameters that
# differ named with both values); then comm IDs (check mode, real). The memories are read from
# the simulators' state files (SIGUSR1 writes them), the module settings through each module's
# web interface, and the plays' results from a callback that records every task's result.
set -euo pipefail

# What the command line prints yet. Each part of the test is switched on when its commands land:
facts_ready=1  # bs-inventory's {"inventory":{...}} objects: the facts play
writes_ready=1 # diff, upload/bs-set-config --changed-only --verify, radio-type without a type,
               # bs-eth-defaults --changed-only: the site playbook's runs and the comm IDs
# (with facts_ready=0 the facts play runs and must fail, each site with the clear message that
# the command line prints no inventory objects)

here=$(dirname "$(readlink -f "$0")")
. "$here/common.sh"
ansible_require_netns
ansible_require ansible-playbook ansible-galaxy ansible-vault nsenter unshare ip
bin=$(readlink -f "${1:?usage: sites_test.sh BIN_DIR COLLECTION_DIR}")
src=$(readlink -f "${2:?usage: sites_test.sh BIN_DIR COLLECTION_DIR}")
cli=$bin/qeltaconfig-cli
sim=$bin/qelta-sim
py=$(ansible_python)
sites=(1 2 3)

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${QELTA_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home
mkdir -p "$HOME" "$work/states"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits (at most 30 s: the machine may be busy) until FILE holds a line matching PATTERN.
await_line() {
  local file=$1 pattern=$2 i
  for i in $(seq 600); do
    grep -q "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.05
  done
  fail "no \"$pattern\" in $file: $(cat "$file" 2>/dev/null)"
}

ns_of() { echo "nsenter --net=/proc/$(cat "$work/site$1/holder")/ns/net"; }

# One site: a network namespace held by a sleeping process, lo up and multicast routed to it,
# the simulators inside, a settings file, and the Python that Ansible runs modules with there.
start_site() {
  local n=$1 dir=$work/site$1 holder i ns modules
  mkdir -p "$dir"
  unshare --net -- sleep 3600 &
  holder=$!
  pids+=("$holder")
  echo "$holder" >"$dir/holder"
  for i in $(seq 3000); do
    [ "$(readlink "/proc/$holder/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.01
  done
  [ "$(readlink "/proc/$holder/ns/net")" != "$(readlink /proc/self/ns/net)" ] ||
    fail "site $n has no network namespace of its own"
  ns=$(ns_of "$n")
  $ns ip link set lo up
  $ns ip route add 224.0.0.0/4 dev lo

  # The modules answer discovery and serve their web interfaces; each one's tunnel is refused so
  # that the station behind it is a simulator of its own with a state file. Site 3's third
  # module is switched off.
  modules=(--modules 2 --module-refuse 1 2)
  [ "$n" = 3 ] && modules=(--modules 3 --module-refuse 1 2 --module-silent 3)
  $ns "$sim" "${modules[@]}" --module-first "127.0.$n.2" --module-name "SITE$n" --module-web \
    --module-web-password "pw-site$n" --module-restart-ms 100 >"$dir/modules.out" 2>&1 &
  pids+=($!)
  for i in 1 2; do
    $ns "$sim" --tcp "127.0.$n.$((i + 1)):2101" --type 9 --id "$((n * 100 + i))" \
      --state "$dir/bs$i.state" >"$dir/bs$i.out" 2>&1 &
    pids+=($!)
    echo "$! $dir/bs$i.state" >>"$work/devices"
  done
  $ns "$sim" --pty --type 8 --id "$((n * 100 + 50))" --state "$dir/ht.state" >"$dir/ht.out" 2>&1 &
  pids+=($!)
  echo "$! $dir/ht.state" >>"$work/devices"

  await_line "$dir/modules.out" "^web 127.0.$n.3:80"
  await_line "$dir/bs1.out" "127.0.$n.2:2101"
  await_line "$dir/bs2.out" "127.0.$n.3:2101"
  await_line "$dir/ht.out" "^/dev/"
  printf '# QeltaConfigurator settings\nUIProduction=number:1\nUIService=number:0\n' >"$dir/site.conf"
  printf '#!/bin/sh\nexec nsenter --net=/proc/%s/ns/net %s "$@"\n' "$holder" "$py" >"$dir/python"
  chmod +x "$dir/python"

  # A module that differs from the default Ethernet settings: station 1 gets a description.
  printf 'EthPasswordDigiME=text:pw-site%s\n' "$n" >"$dir/setup.conf"
  $ns "$cli" --settings "$dir/setup.conf" --output json bs-describe "127.0.$n.2" \
    --description "Hall $n" --location "Dock $n" >"$dir/describe.out" 2>&1 ||
    fail "describing 127.0.$n.2: $(cat "$dir/describe.out")"
}

# Saves every simulated device's memory into TAG's folder (SIGUSR1 writes a state file; each
# is awaited), and every module's settings as its web interface shows them.
snapshot() {
  local tag=$1 pid file before i n k
  while read -r pid file; do
    # the time in ns: a rewrite is seen even when the memory did not change
    before=$(stat -c %.9Y "$file" 2>/dev/null || echo none)
    kill -USR1 "$pid"
    for i in $(seq 600); do
      [ "$(stat -c %.9Y "$file" 2>/dev/null || echo none)" != "$before" ] && break
      sleep 0.05
    done
    [ "$(stat -c %.9Y "$file" 2>/dev/null || echo none)" != "$before" ] || fail "$file was not written"
    mkdir -p "$work/states/$tag/$(basename "$(dirname "$file")")"
    cp "$file" "$work/states/$tag/$(basename "$(dirname "$file")")/"
  done <"$work/devices"
  for n in "${sites[@]}"; do
    for k in 2 3; do
      $(ns_of "$n") "$py" "$here/sites/read_backup.py" "127.0.$n.$k" root "pw-site$n" \
        >"$work/states/$tag/site$n/web-127.0.$n.$k.json" || fail "reading the settings of 127.0.$n.$k"
    done
  done
}

# Runs a playbook against the three sites; its results go to results-TAG.jsonl.
play() {
  local tag=$1 rc=0
  shift
  QELTA_RESULTS=$work/results-$tag.jsonl ansible-playbook -i "$work/inventory.ini" "$@" \
    >"$work/play-$tag.log" 2>&1 || rc=$?
  echo "play $tag: ansible-playbook exit status $rc"
  # 0, or 2 when a host failed (site 3's switched-off station); anything else is no result
  [ "$rc" = 0 ] || [ "$rc" = 2 ] || { cat "$work/play-$tag.log"; fail "ansible-playbook $tag"; }
}

# Checks PHASE of the test on the results of the play TAG (default: the phase's name).
check() {
  local phase=$1 tag=${2:-$1}
  "$py" "$here/sites/check_results.py" "$work" "$phase" || {
    echo "--- the play's output:" >&2
    cat "$work/play-$tag.log" >&2
    fail "the results of $phase"
  }
}

mkdir -p "$work/build"
ansible_build_collection "$src" "$work/build"
for n in "${sites[@]}"; do start_site "$n"; done

# The sites' passwords, vaulted as a team keeps them.
echo "site-vault-key" >"$work/vault-pass"
printf 'eth_passwords:\n  site1: pw-site1\n  site2: pw-site2\n  site3: pw-site3\n' >"$work/vault.yml"
ansible-vault encrypt --vault-password-file "$work/vault-pass" "$work/vault.yml" >/dev/null 2>&1
head -1 "$work/vault.yml" | grep -q '^\$ANSIBLE_VAULT' || fail "the vault is not encrypted"
mkdir -p "$work/group_vars"
mv "$work/vault.yml" "$work/group_vars/sites.yml"

{
  echo "[sites]"
  for n in "${sites[@]}"; do
    stations="[\"127.0.$n.2\", \"127.0.$n.3\"]"
    [ "$n" = 3 ] && stations="[\"127.0.3.2\", \"127.0.3.3\", \"127.0.3.4\"]"
    echo "site$n ansible_connection=local ansible_python_interpreter=$work/site$n/python" \
      "site_settings=$work/site$n/site.conf terminal_device=$(head -1 "$work/site$n/ht.out")" \
      "site_stations='$stations'"
  done
  echo "[sites:vars]"
  echo "qelta_cli=$cli"
  echo "terminal_file=$bin/examples/hand_terminal_settings.pcg"
  echo "station_file=$here/sites/station.pcg"
  echo "site_eth_password={{ eth_passwords[inventory_hostname] }}"
} >"$work/inventory.ini"
cat >"$work/ansible.cfg" <<EOF
[defaults]
forks = 5
collections_path = $work/build/collections
callback_plugins = $here/sites/callback_plugins
callbacks_enabled = record_results
vault_password_file = $work/vault-pass
local_tmp = $work/tmp
remote_tmp = $work/tmp
retry_files_enabled = false
interpreter_python = auto_silent
EOF
export ANSIBLE_CONFIG=$work/ansible.cfg
# The expected memory of the terminals: the writes the file makes, as check records them.
"$cli" --output json check --type 8 "$bin/examples/hand_terminal_settings.pcg" >"$work/terminal-writes.jsonl" ||
  fail "check of the terminal file"

play facts "$here/sites/facts.yml"
if [ "$facts_ready" = 1 ]; then
  check facts
else
  check facts-missing facts
fi

if [ "$writes_ready" = 1 ]; then
  snapshot initial
  play check --check "$here/sites/site.yml"
  snapshot after-check
  check check

  play converge "$here/sites/site.yml"
  snapshot converged
  check converge

  play again "$here/sites/site.yml"
  snapshot again
  check again

  # Drift on site 1: another channel and another SYSTEM:12 on its first station, another channel
  # on its terminal; then check mode with --diff names them with both values.
  ns=$(ns_of 1)
  drift=("$cli" --settings "$work/site1/site.conf" --output json)
  $ns "${drift[@]}" channel 6 --station 127.0.1.2 >>"$work/drift.log" 2>&1 ||
    fail "drift: $(cat "$work/drift.log")"
  $ns "${drift[@]}" bs-set-config "$here/sites/drift.pcg" 127.0.1.2 >>"$work/drift.log" 2>&1 ||
    fail "drift: $(cat "$work/drift.log")"
  HALVEX_COM1=$(head -1 "$work/site1/ht.out") $ns "${drift[@]}" channel 2 >>"$work/drift.log" 2>&1 ||
    fail "drift: $(cat "$work/drift.log")"
  snapshot drifted
  play drift --check --diff "$here/sites/site.yml"
  snapshot after-drift-check
  check drift

  play comm-check --check "$here/sites/comm_ids.yml"
  snapshot after-comm-check
  check comm-check
  play comm "$here/sites/comm_ids.yml"
  snapshot comm
  check comm
fi
echo "sites: every check passed"
