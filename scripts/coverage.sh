#!/usr/bin/env bash
# make coverage: line and branch coverage of the native unit tests (ctest
# without the corpus label) over the product and the tools, from an
# instrumented build of its own (preset "coverage", build/coverage-build).
# Writes build/coverage/index.html with a page per file, and prints one line
# per folder. Branches the compiler adds for exceptions are left out: nothing
# of the product throws, and they are no decision of the code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build/coverage-build
out=build/coverage
jobs=${JOBS:-2}

cmake --preset coverage >/dev/null
cmake --build "$build" -j "$jobs"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$jobs" -LE 'corpus|package' --output-on-failure | grep -E 'tests passed|\*\*\*(Failed|Exception|Timeout)' || true

rm -rf "$out"
mkdir -p "$out"
# gcc 12 writes some branch counts as negative numbers, which gcovr refuses
# unless told to pass over them.
gcovr --root . --object-directory "$build" --gcov-ignore-parse-errors -j "$jobs" \
  --filter 'frame/' --filter 'page/' --filter 'ppd/' --filter 'optree/' --filter 'resources/' \
  --filter 'platform/' --filter 'tools/' --exclude 'platform/portable/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --html-details "$out/index.html" --html-title "corvina: native unit tests" \
  --json-summary "$out/summary.json" >/dev/null 2>"$out/gcovr.log"

python3 - "$out/summary.json" <<'PY'
import collections, json, sys
totals = collections.defaultdict(lambda: [0, 0, 0, 0])
for f in json.load(open(sys.argv[1]))["files"]:
    for scope in (f["filename"].split("/")[0], "total"):
        t = totals[scope]
        t[0] += f["line_covered"]; t[1] += f["line_total"]; t[2] += f["branch_covered"]; t[3] += f["branch_total"]
pct = lambda a, b: 100.0 * a / b if b else 100.0
for scope in sorted(totals, key=lambda s: (s == "total", s)):
    lc, lt, bc, bt = totals[scope]
    print(f"{scope}: lines {pct(lc, lt):.1f}% ({lc}/{lt}), branches {pct(bc, bt):.1f}% ({bc}/{bt})")
PY
echo "coverage: $out/index.html"
