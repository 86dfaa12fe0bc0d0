#!/usr/bin/env bash
# Builds the optimised tree and runs the benchmarks; arguments go to the benchmark binary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release
build/release/bench/kxlib_bench "$@"
