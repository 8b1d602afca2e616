#!/usr/bin/env bash
# Runs every test suite the machine can run and sums their counts.
set -uo pipefail
cd "$(dirname "$0")/.."
export CORVINA_WINEPREFIX="$PWD/build/wineprefix"
# make test has made every build first, so the layering check may skip none.
export CORVINA_EVERY_BUILD=1

total_pass=0
total_fail=0
failed_suites=()

# ctest prints "N% tests passed, F tests failed out of T"; skipped tests
# count as passed there, so they are read from its own list.
run_suite() {
  local name=$1; shift
  echo "== $name"
  local log
  log=$(mktemp)
  "$@" 2>&1 | tee "$log" | grep -E 'tests passed|\*\*\*(Failed|Exception|Timeout|Skipped)|Not Run' || true
  local rc=${PIPESTATUS[0]}
  local line pass fail total skipped
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    fail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    skipped=$(grep -cE '\*\*\*Skipped|Skipped \(' "$log" || true)
    pass=$((total - fail - skipped))
    echo "$name: $pass passed, $fail failed, $skipped skipped"
    total_pass=$((total_pass + pass))
    total_fail=$((total_fail + fail))
  fi
  if [ "$rc" -ne 0 ] || [ -z "$line" ]; then
    failed_suites+=("$name")
    [ -z "$line" ] && { echo "$name: no result line"; tail -20 "$log"; }
  fi
  rm -f "$log"
}

# clang-tidy counts one test per source it analyzes (scripts/analyze.py, make analyze).
run_analysis() {
  local name="static analysis"
  echo "== $name"
  local log
  log=$(mktemp)
  python3 scripts/analyze.py -j2 >"$log" 2>&1
  local rc=$?
  # Findings and the sources they fail; the passing sources' lines are left out.
  grep -vE '^  ok  ' "$log" | grep -vE '^analyze: [0-9]+ passed' || true
  local line pass fail
  line=$(grep -E '^analyze: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
  if [ -n "$line" ]; then
    pass=$(sed -E 's/^analyze: ([0-9]+) passed.*/\1/' <<<"$line")
    fail=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")
    echo "$name: $pass passed, $fail failed, 0 skipped"
    total_pass=$((total_pass + pass))
    total_fail=$((total_fail + fail))
  fi
  if [ "$rc" -ne 0 ] || [ -z "$line" ]; then
    failed_suites+=("$name")
    [ -z "$line" ] && echo "$name: no result line"
  fi
  rm -f "$log"
}

run_analysis
run_suite "native unit tests" ctest --test-dir build/native -j2 --output-on-failure -LE corpus
# The lint's corpus check only places lines; it is run by hand (ctest -L corpus -R lint), not under ASan.
run_suite "native tests under ASan+UBSan" ctest --test-dir build/native-asan -j2 --output-on-failure -E "^lint_corpus"
run_suite "shared counts under TSan" ctest --preset native-tsan
# A Windows test program holds many gtest cases but is one CTest test (each
# Wine start costs seconds), so these suites are counted by gtest's lines.
run_gtest_suite() {
  local name=$1; shift
  echo "== $name"
  local log
  log=$(mktemp)
  "$@" >"$log" 2>&1
  local rc=$?
  # ctest -V puts "N: " before each line of a test's output.
  local p='^([0-9]+: )?'
  grep -E "$p\\[  FAILED  \\] .*\\([0-9]+ ms\\)|${p}SKIPPED:|tests passed|\\*\\*\\*(Failed|Exception|Timeout)|Not Run" "$log" || true
  local pass fail skipped
  pass=$(grep -cE "$p\\[       OK \\] " "$log" || true)
  fail=$(grep -cE "$p\\[  FAILED  \\] .*\\([0-9]+ ms\\)" "$log" || true)
  skipped=$(grep -cE "$p\\[  SKIPPED \\] .*\\([0-9]+ ms\\)|${p}SKIPPED:" "$log" || true)
  echo "$name: $pass passed, $fail failed, $skipped skipped"
  total_pass=$((total_pass + pass))
  total_fail=$((total_fail + fail))
  if [ "$rc" -ne 0 ]; then
    failed_suites+=("$name")
    [ "$fail" -eq 0 ] && tail -30 "$log"
  fi
  rm -f "$log"
}

run_gtest_suite "x64 DLL under Wine" ctest --test-dir build/win64 -V -LE demo
run_gtest_suite "x86 DLL under 32-bit Wine" ctest --test-dir build/win32 -V -LE demo

echo
if [ ${#failed_suites[@]} -gt 0 ]; then
  echo "failing suites: ${failed_suites[*]}"
fi
echo "total: $total_pass passed, $total_fail failed"
[ ${#failed_suites[@]} -eq 0 ] && [ "$total_fail" -eq 0 ]
