#!/usr/bin/env bash
# Builds the example host program (examples/count_autotests.c) against the INSTALLED
# library, as a user would: installs the release build into a scratch prefix, compiles
# the example with the flags pkg-config gives for kxlib32, runs it against the installed
# kxsim, and reads the data file back with the installed kxtool.
#   scripts/example.sh          (KXLIB_BUILD_DIR overrides the build directory)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KXLIB_BUILD_DIR:-build/release}
KXLIB_BUILD_DIR=$build scripts/build.sh release
scratch=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kxlib32.pc)")
export PKG_CONFIG_PATH
cc -std=c99 -Wall -Wextra -Wpedantic -Werror examples/count_autotests.c -o "$scratch/count_autotests" \
   $(pkg-config --cflags --libs kxlib32) -Wl,-rpath,"$(pkg-config --variable=libdir kxlib32)"

autotests=7
"$prefix/bin/kxsim" --autotests "$autotests" --no-stdin >"$scratch/kxsim.out" 2>/dev/null &
sim=$!
for _ in $(seq 100); do
  [ -s "$scratch/kxsim.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$scratch/kxsim.out")

"$scratch/count_autotests" "$port" "$scratch/tests.dat" 57600 | tee "$scratch/example.out"
grep -qx "$autotests copper autotests stored" "$scratch/example.out"
records=$("$prefix/bin/kxtool" dump "$scratch/tests.dat" | sed -n 's/^records *//p')
if [ "$records" != "$autotests" ]; then
  echo "example: the data file holds ${records:-no} records, expected $autotests" >&2
  exit 1
fi
echo "example: built against the installed kxlib32 $(pkg-config --modversion kxlib32), downloaded $records autotests"
