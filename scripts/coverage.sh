#!/usr/bin/env bash
# Line and branch coverage of the library and the simulator, per folder.
#   scripts/coverage.sh [ctest args...]
# Builds build/coverage with gcc's --coverage (no sanitizers, no optimisation), runs the
# whole suite, and prints one row per folder of src/ and sim/. gcovr's own reports are
# left in build/coverage/coverage.json for a closer look.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
dir=build/coverage
KXLIB_BUILD_DIR=$dir scripts/build.sh test -DKXLIB_SANITIZE=OFF -DKXLIB_BENCH=OFF \
  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
find "$dir" -name '*.gcda' -delete
(cd "$dir" && ctest -j "$(nproc)" --timeout 300 "$@" >ctest.log) || echo "coverage: some tests failed (see $dir/ctest.log)"

# Only the code under test is counted; exclude the tests, tools and third-party headers.
gcovr --root . --object-directory "$dir" --filter 'src/' --filter 'sim/' \
  --gcov-exclude '.*CompilerId.*' --exclude-unreachable-branches --exclude-throw-branches \
  --json "$dir/coverage.json" >"$dir/gcovr.log" 2>&1

python3 - "$dir/coverage.json" <<'PY'
import json, os, sys
from collections import defaultdict

data = json.load(open(sys.argv[1]))
rows = defaultdict(lambda: [0, 0, 0, 0])  # lines covered, lines, branches covered, branches
for f in data["files"]:
    folder = os.path.dirname(f["file"])
    row = rows[folder]
    for line in f["lines"]:
        if line.get("gcovr/noncode"):
            continue
        row[1] += 1
        row[0] += line["count"] > 0
        for b in line.get("branches", []):
            row[3] += 1
            row[2] += b["count"] > 0

def pct(a, b):
    return f"{100.0 * a / b:5.1f} %" if b else "    -  "

print(f"{'folder':<24} {'lines':>16} {'branches':>18}")
total = [0, 0, 0, 0]
for folder in sorted(rows):
    r = rows[folder]
    total = [t + v for t, v in zip(total, r)]
    print(f"{folder:<24} {pct(r[0], r[1])} {r[0]:>5}/{r[1]:<5} {pct(r[2], r[3])} {r[2]:>5}/{r[3]:<5}")
print(f"{'all':<24} {pct(total[0], total[1])} {total[0]:>5}/{total[1]:<5} {pct(total[2], total[3])} {total[2]:>5}/{total[3]:<5}")
PY
