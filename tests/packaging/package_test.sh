#!/usr/bin/env bash
# The Debian packages as a user gets them: unpacks the four packages of this version from DIST
# into a scratch root, checks their dependencies and files, runs the programs from there and
# builds and runs the example program against the unpacked development package. Exits 77
# (skipped) when DIST holds no packages of this version: scripts/package makes them.
#
#   package_test.sh DIST VERSION
set -euo pipefail
if [ "${QELTA_NETNS:-}" != "1" ]; then
  echo "package_test.sh: runs programs; start it through scripts/netns" >&2
  exit 2
fi
dist=$1 version=$2
here=$(dirname "$(readlink -f "$0")")
. "$here/example_run.sh"

declare -A deb
for package in qeltaconfig qelta-sim libhalvex1 libhalvex-dev; do
  deb[$package]=$(ls "$dist/${package}_${version}-"*.deb 2>/dev/null | head -1 || true)
  if [ -z "${deb[$package]}" ]; then
    echo "SKIPPED: no ${package} ${version} package in $dist (scripts/package builds them)"
    exit 77
  fi
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
for package in "${!deb[@]}"; do dpkg-deb -x "${deb[$package]}" "$root"; done

# Dependencies: the window's browser, the library of the same version, and what the binaries
# link (computed, so libc6 is among them).
full=$(dpkg-deb -f "${deb[libhalvex1]}" Version)
depends() { dpkg-deb -f "${deb[$1]}" Depends; }
[[ "$(depends qeltaconfig)" == *"libhalvex1 (= $full)"* ]] || fail "qeltaconfig: $(depends qeltaconfig)"
[[ "$(depends qeltaconfig)" == *xdg-utils* ]] || fail "qeltaconfig does not depend on xdg-utils"
[[ "$(depends qeltaconfig)" == *libc6* ]] || fail "qeltaconfig: no computed dependencies"
[[ "$(depends qelta-sim)" == *libc6* ]] || fail "qelta-sim: no computed dependencies"
[[ "$(depends libhalvex-dev)" == *"libhalvex1 (= $full)"* ]] || fail "libhalvex-dev: $(depends libhalvex-dev)"

# The library's package refreshes the linker cache through dpkg's trigger alone: no maintainer
# script of its own calls ldconfig.
control=$scratch/libhalvex1-control
dpkg-deb -e "${deb[libhalvex1]}" "$control"
grep -qx 'activate-noawait ldconfig' "$control/triggers" || fail "libhalvex1 has no ldconfig trigger"
for script in preinst postinst prerm postrm; do
  [ ! -e "$control/$script" ] || fail "libhalvex1 has a $script: $(cat "$control/$script")"
done

for file in usr/bin/qeltaconfig usr/bin/qeltaconfig-cli usr/bin/qelta-sim \
            usr/share/man/man1/qeltaconfig.1.gz usr/share/man/man1/qeltaconfig-cli.1.gz \
            usr/share/man/man1/qelta-sim.1.gz usr/share/bash-completion/completions/qeltaconfig-cli \
            usr/share/applications/qeltaconfig.desktop usr/share/mime/packages/qeltaconfig.xml \
            usr/share/icons/hicolor/scalable/apps/qeltaconfig.svg \
            usr/share/qeltaconfig/RFDeviceInfo.txt usr/share/qeltaconfig/HT_parameters_to_get.cfg \
            usr/include/halvex/HalvexCtrl.h usr/share/doc/libhalvex-dev/examples/device_info.cpp; do
  [ -e "$root/$file" ] || fail "$file is in no package"
done
lib=$(find "$root" -name libhalvex.so.1)
[ -n "$lib" ] || fail "libhalvex.so.1 is in no package"
libdir=$(dirname "$lib")

help=$(LD_LIBRARY_PATH=$libdir "$root/usr/bin/qeltaconfig-cli" --help) || fail "qeltaconfig-cli --help"
[[ "$help" == *ports* ]] || fail "qeltaconfig-cli --help lists no ports subcommand"
help=$("$root/usr/bin/qelta-sim" --help) || fail "qelta-sim --help"
[[ "$help" == *--pty* ]] || fail "qelta-sim --help lists no --pty"

# The example from the development package, built against the unpacked tree only.
cmake -S "$root/usr/share/doc/libhalvex-dev/examples" -B "$scratch/example" -G Ninja \
  -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$scratch/example" >/dev/null
LD_LIBRARY_PATH=$libdir run_example "$scratch/example/halvex-device-info" \
  "$root/usr/bin/qelta-sim" "$scratch"
echo "PASS"
