#!/usr/bin/env bash
# The one test command: installs what is missing, builds the sanitizer build and
# runs the whole suite. README and CI both call exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh test
cd build/test
ctest --output-on-failure -j "$(nproc)" --timeout 300 "$@"
