# Shared by the collection's test scripts (sourced). They start programs, so they run inside the
# private network namespace only, and they are skipped (77) where Ansible is not installed.

ansible_require_netns() {
  if [ "${QELTA_NETNS:-}" != "1" ]; then
    echo "$(basename "$0"): starts programs; run it through scripts/netns" >&2
    exit 2
  fi
}

ansible_require() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIPPED: $tool is not installed (scripts/setup installs ansible-core)"
      exit 77
    fi
  done
}

# The Python that Ansible itself runs on (Debian's), which has ansible and pytest.
ansible_python() {
  local py
  py=$(sed -n '1s/^#! *//p' "$(command -v ansible-playbook)" | awk '{print $1}')
  [ -x "$py" ] || py=/usr/bin/python3
  echo "$py"
}

# Builds the collection from its source folder into DIR and installs it under DIR/collections.
ansible_build_collection() {
  local src=$1 dir=$2
  ansible-galaxy collection build --force --output-path "$dir" "$src" >"$dir/build.log" 2>&1 ||
    { cat "$dir/build.log"; return 1; }
  # (it warns that the path is not among the configured ones: the tests name it themselves)
  ansible-galaxy collection install --force -p "$dir/collections" "$dir"/tervana-qelta-*.tar.gz \
    >"$dir/install.log" 2>&1 || { cat "$dir/install.log"; return 1; }
}
