#!/usr/bin/env bash
# The newcomer's first command: installs what is missing, builds the library, kxsim and
# kxtool (optimised, without tests or benchmarks, in build/demo) and runs `kxtool demo`: a
# simulated Scanner whose autotests are downloaded into demo.dat in the current folder.
# Arguments go to the demo, e.g. scripts/demo.sh --faults --autotests 20
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
(cd "$top" && KXLIB_BUILD_DIR=build/demo scripts/build.sh release -DKXLIB_TESTS=OFF -DKXLIB_BENCH=OFF)
exec "$top/build/demo/tools/kxtool/kxtool" demo "$@"
