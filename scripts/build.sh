#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh [test|release] [extra cmake args...]
# "test" (the default) builds into build/test with AddressSanitizer and
# UndefinedBehaviorSanitizer; "release" builds into build/release with
# optimisation and no sanitizers (benchmarks, kxtool for everyday use).
# KXLIB_BUILD_DIR overrides the build directory.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-test}
[ $# -gt 0 ] && shift
case "$kind" in
  test)    dir=${KXLIB_BUILD_DIR:-build/test};    args=(-DCMAKE_BUILD_TYPE=Debug -DKXLIB_SANITIZE=ON) ;;
  release) dir=${KXLIB_BUILD_DIR:-build/release}; args=(-DCMAKE_BUILD_TYPE=Release -DKXLIB_SANITIZE=OFF) ;;
  *) echo "usage: $0 [test|release] [cmake args...]" >&2; exit 2 ;;
esac

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" "${args[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
