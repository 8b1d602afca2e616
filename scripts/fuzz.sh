#!/usr/bin/env bash
# `make fuzz`: builds the libFuzzer programs with clang (ASan + UBSan), runs
# each for FUZZ_SECONDS (default 60), and reports its executions, libFuzzer's
# edge coverage and the line coverage its corpus reaches in the code under
# test. Usage: scripts/fuzz.sh [target...] (default: every fuzz/corpus/*).
#
# The growing corpus of each target stays in build/fuzz/corpus/<target>
# (fuzz/corpus/<target> holds the small seed set kept in the repository);
# crashes go to build/fuzz/artifacts/<target>/; every run is appended to
# build/fuzz/runs.tsv, from which the totals per target are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-2}
build=$root/build/fuzz
covbuild=$root/build/fuzz-cov
log=$build/runs.tsv

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

# The code each target is there to test, for the line coverage figure.
sources_of() {
  case $1 in
    job_settings) echo "frame/JobSettings.cpp" ;;
    ppd_model) echo "ppd" ;;
    option_tree) echo "optree" ;;
    page_logic) echo "page/JobSettingsLogic.cpp page/CharFilters.cpp" ;;
    *) echo "frame ppd optree page" ;;
  esac
}

# libFuzzer options of each target. The PPD model's cost grows with the
# input (every evaluation walks options x installables x constraints); the
# first 4 KB of the sample PPD already hold its groups and constraints.
options_of() {
  case $1 in
    ppd_model) echo "-max_len=4096" ;;
  esac
  [ -f "fuzz/$1.dict" ] && echo "-dict=fuzz/$1.dict"
  return 0
}

for tool in clang clang++ llvm-profdata llvm-cov; do
  command -v $tool >/dev/null || { echo "fuzz: $tool is missing (make deps installs it)" >&2; exit 1; }
done

# Runs for different targets may go on side by side; they take turns at
# building and at writing the log.
mkdir -p "$build"
exec 9>"$build.lock"

echo "== building libFuzzer programs in build/fuzz"
flock 9
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVINA_FUZZ=ON -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true

echo "== building coverage replayers in build/fuzz-cov"
coverage="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S . -B "$covbuild" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$coverage" -DCMAKE_CXX_FLAGS="$coverage" >/dev/null
replayers=()
for t in "${targets[@]}"; do replayers+=("fuzz_${t}_replay"); done
cmake --build "$covbuild" -j "$jobs" --target "${replayers[@]}" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
flock -u 9

[ -f "$log" ] || printf 'date\ttarget\tseconds\texecutions\tedges\tfeatures\tcorpus\tresult\n' >"$log"
failed=()
for t in "${targets[@]}"; do
  echo "== $t: ${seconds}s"
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  mkdir -p "$corpus" "$artifacts"
  out=$build/$t.log
  started=$(date +%s)
  set +e
  # shellcheck disable=SC2046
  "$build/fuzz/fuzz_$t" $(options_of "$t") -max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb=2560 \
    -artifact_prefix="$artifacts/" "$corpus" "fuzz/corpus/$t" >"$out" 2>&1
  rc=$?
  set -e
  elapsed=$(($(date +%s) - started))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out" | tail -1)
  status=$(grep -E '^#[0-9]+' "$out" | tail -1)
  edges=$(sed -nE 's/.* cov: ([0-9]+) .*/\1/p' <<<"$status")
  features=$(sed -nE 's/.* ft: ([0-9]+) .*/\1/p' <<<"$status")
  units=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$status")
  result=ok
  if [ $rc -ne 0 ]; then
    result=crash
    failed+=("$t")
    grep -E 'ERROR: |SUMMARY: |check failed|Test unit written' "$out" | head -8
  fi
  flock 9
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$elapsed" "${execs:-0}" "${edges:-?}" \
    "${features:-?}" "${units:-?}" "$result" >>"$log"
  flock -u 9
  echo "$t: ${execs:-0} executions in ${elapsed}s, ${edges:-?} edges, ${features:-?} features, corpus ${units:-?} inputs, $result"

  # Line coverage of the code under test, from replaying the whole corpus.
  profiles=$covbuild/profiles/$t
  rm -rf "$profiles" && mkdir -p "$profiles"
  LLVM_PROFILE_FILE="$profiles/%p.profraw" "$covbuild/fuzz/fuzz_${t}_replay" "$corpus" "fuzz/corpus/$t" >/dev/null 2>&1 || true
  if ls "$profiles"/*.profraw >/dev/null 2>&1; then
    llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/merged.profdata"
    # shellcheck disable=SC2046
    llvm-cov report "$covbuild/fuzz/fuzz_${t}_replay" -instr-profile="$profiles/merged.profdata" \
      $(sources_of "$t") | awk -v t="$t" '/^TOTAL/ { printf "%s: line coverage %s of %s lines, regions %s, branches %s\n", t, $10, $8, $4, $13 }'
  fi
done

echo
echo "== totals over every recorded run (build/fuzz/runs.tsv)"
awk -F'\t' 'NR > 1 { runs[$2]++; execs[$2] += $4; secs[$2] += $3; if ($8 == "crash") crashes[$2]++ }
  END { for (t in runs) printf "%-14s %3d runs %7d s %12d executions %3d crashes\n", t, runs[t], secs[t], execs[t], crashes[t] }' \
  "$log" | sort
if [ ${#failed[@]} -gt 0 ]; then
  echo "crashes in: ${failed[*]} (inputs under build/fuzz/artifacts/)"
  exit 1
fi
