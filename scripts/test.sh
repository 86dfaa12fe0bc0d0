#!/usr/bin/env bash
# The one test command: installs what is missing, checks that no source file includes
# a header of a layer above its own, builds the sanitizer build (a compiler warning fails
# the build) and runs the whole suite. README and CI both call exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-layers.sh
scripts/build.sh test -DKXLIB_WERROR=ON
cd build/test
ctest --output-on-failure -j "$(nproc)" --timeout 300 "$@"
