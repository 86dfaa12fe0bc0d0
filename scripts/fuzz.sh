#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   scripts/fuzz.sh NAME [libFuzzer args...]     e.g. scripts/fuzz.sh explode -max_total_time=600
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
name=${1:?usage: $0 NAME [libFuzzer args...]}
shift
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKXLIB_SANITIZE=ON -DKXLIB_FUZZ=ON -DKXLIB_TOOLS=OFF -DKXLIB_BENCH=OFF >/dev/null
cmake --build build/fuzz --target "${name}_fuzz" -j "$(nproc)"
mkdir -p "build/fuzz/corpus-${name}"
exec "build/fuzz/fuzz/${name}_fuzz" "build/fuzz/corpus-${name}" "fuzz/corpus/${name}" "$@"
