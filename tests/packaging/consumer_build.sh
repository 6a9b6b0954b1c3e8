#!/usr/bin/env bash
# The library as other programs use it: installs the library and its development files into a
# scratch folder (DESTDIR), builds the example program against that tree through pkg-config and
# through find_package(Halvex), and runs both against a simulated terminal.
#
#   consumer_build.sh BUILD_DIR EXAMPLES_DIR QELTA_SIM VERSION [CXXFLAGS]
set -euo pipefail
if [ "${QELTA_NETNS:-}" != "1" ]; then
  echo "consumer_build.sh: runs programs; start it through scripts/netns" >&2
  exit 2
fi
build=$1 examples=$2 sim=$3 version=$4 flags=${5:-}
here=$(dirname "$(readlink -f "$0")")
. "$here/example_run.sh"

scratch=$(mktemp -d "$build/consumer.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
stage=$scratch/stage
for component in libhalvex1 libhalvex-dev; do
  DESTDIR=$stage cmake --install "$build" --component "$component" >/dev/null
done
programs=$(find "$stage" -path '*/bin/*')
if [ -n "$programs" ]; then
  echo "FAIL: the library's components install programs: $programs" >&2
  exit 1
fi

pc=$(find "$stage" -name halvex.pc)
lib=$(find "$stage" -name libhalvex.so.1)
config=$(find "$stage" -name HalvexConfig.cmake)
for f in "$pc" "$lib" "$config"; do
  [ -n "$f" ] || { echo "FAIL: halvex.pc, libhalvex.so.1 or HalvexConfig.cmake not installed" >&2; exit 1; }
done
libdir=$(dirname "$lib")
[ -L "$libdir/libhalvex.so" ] || { echo "FAIL: no libhalvex.so development link" >&2; exit 1; }
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libhalvex.so.1" ] || { echo "FAIL: soname is \"$soname\"" >&2; exit 1; }

# pkg-config, with the staged tree as the system root its paths are taken from.
export PKG_CONFIG_PATH=$(dirname "$pc") PKG_CONFIG_SYSROOT_DIR=$stage
pc_version=$(pkg-config --modversion halvex)
[ "$pc_version" = "$version" ] || { echo "FAIL: halvex.pc says $pc_version" >&2; exit 1; }
# shellcheck disable=SC2046,SC2086
c++ -std=c++20 -Wall -Wextra -Werror $flags "$examples/device_info.cpp" \
  $(pkg-config --cflags --libs halvex) -o "$scratch/info-pkg-config"
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR

# find_package, with the staged prefix to look in (and nothing of the build tree).
prefix=$(dirname "$(dirname "$(dirname "$(dirname "$config")")")")
case "$prefix" in */lib) prefix=$(dirname "$prefix") ;; esac
cmake -S "$examples" -B "$scratch/find-package" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror $flags" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$scratch/find-package" >/dev/null
found=$(sed -n 's/^Halvex_DIR:PATH=//p' "$scratch/find-package/CMakeCache.txt")
case "$found" in
  "$stage"/*) ;;
  *) echo "FAIL: find_package took Halvex from $found" >&2; exit 1 ;;
esac

for program in "$scratch/info-pkg-config" "$scratch/find-package/halvex-device-info"; do
  # Both must load the staged library.
  loads=$(LD_LIBRARY_PATH=$libdir ldd "$program")
  if [[ "$loads" != *"$libdir/libhalvex.so.1"* ]]; then
    echo "FAIL: $program does not load $libdir/libhalvex.so.1:" >&2
    echo "$loads" >&2
    exit 1
  fi
  LD_LIBRARY_PATH=$libdir run_example "$program" "$sim" "$scratch"
done
echo "PASS"
