#!/usr/bin/env bash
# make bench: the PPD model's build against libcups and a plain read-and-scan
# over the openprinting-ppds corpus (times, ratios, peak heap), with the
# instruction counts of one build of the most constrained file under
# callgrind, which don't drift with the machine's load; then corvina-ppd on
# large generated inputs, whose time should grow with the file, not with its
# square ("lint 16k/4k", the worst input's time at 16k over that at 4k).
#
# BENCH_BUILD_DIR (build/native), CORVINA_PPD_CORPUS (build/ppd-corpus),
# BENCH_REPEATS (5), BENCH_WORST_REPEATS (21), BENCH_EVERY (1: every file) and
# BENCH_LINT_REPEATS (5) change what is run; BENCH_PROFILE_DIR keeps the two
# callgrind profiles.
# GLIBC_TUNABLES=glibc.malloc.trim_threshold=4000000000:glibc.malloc.mmap_threshold=33554432
# keeps freed pages mapped between builds, which shows the build without the
# page faults of its first touch of the model's memory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/native}
corpus=${CORVINA_PPD_CORPUS:-$root/build/ppd-corpus}
bench=$build/bench/ppd/ppd_bench
count=$build/bench/ppd/ppd_bench_count
lint=$build/bench/lint/lint_bench

for program in "$bench" "$count" "$lint"; do
  if [ ! -x "$program" ]; then
    echo "bench: $program is missing (built by the native preset when libcups2-dev is installed)" >&2
    exit 1
  fi
done
status=0
bash "$root/scripts/ppd-corpus.sh" "$corpus" || status=$?
if [ "$status" != 0 ]; then
  echo "bench: no corpus to measure (scripts/ppd-corpus.sh exited $status)" >&2
  exit 1
fi
if ! command -v valgrind >/dev/null; then
  echo "bench: valgrind is needed for the instruction counts (apt-get install valgrind)" >&2
  exit 1
fi

worst=$("$bench" --worst-file "$corpus")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Instructions of one call of the reader's entry point; --once runs a
# warm-up call first, outside the count.
instructions() {
  local reader=$1 entry=$2
  valgrind --tool=callgrind --collect-atstart=no --toggle-collect="$entry" \
    --callgrind-out-file="$scratch/$reader.out" "$count" --once "$reader" "$worst" 1 \
    >"$scratch/$reader.log" 2>&1 || { cat "$scratch/$reader.log" >&2; return 1; }
  sed -n 's/^totals: *//p' "$scratch/$reader.out"
}
# Inclusive instructions of one function in a profile.
inclusive() {
  callgrind_annotate --auto=no --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v f="$2" '!found && index($0, f) { gsub(",", "", $1); print $1; found = 1 }'
}
echo "instruction counts under callgrind: $worst"
corvina=$(instructions corvina BenchCorvinaOnce)
cups=$(instructions libcups BenchCupsOnce)
deleting=$(inclusive "$scratch/corvina.out" CorvinaModelDelete)
echo "  corvina $corvina (open, build and close $((corvina - ${deleting:-0})), delete ${deleting:-?})"
echo "  libcups $cups (ppdOpenFile, ppdMarkDefaults, ppdConflicts, ppdClose)"
# Instructions one function spends in calls of another.
calls() {
  callgrind_annotate --auto=no --tree=calling --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v from="$2" -v to="$3" '
      /^ *[0-9,]+ .*\* / { inside = index($0, from) > 0; next }
      /^$/ { inside = 0 }
      inside && /^ *[0-9,]+ .*> / && index($0, to) { gsub(",", "", $1); sum += $1 }
      END { print sum + 0 }'
}
# Where corvina's instructions go; the text conversion's temporary blocks are
# counted on their own line and not in the allocation lines.
line() {
  printf '    %-48s %10s  %4.1f%%\n' "$1" "$2" "$(awk -v n="$2" -v t="$corvina" 'BEGIN { print 100 * n / t }')"
}
profile=$scratch/corvina.out
converting=$(inclusive "$profile" "ConvertToWide(")
blocks=$(( $(calls "$profile" "ConvertToWide(" "platform::MemAlloc(") + $(calls "$profile" "ConvertToWide(" "platform::MemFree(") ))
allocating=$(( $(inclusive "$profile" "platform::MemAlloc(") + $(inclusive "$profile" "platform::MemFree(") - blocks ))
line "text conversion, without its temporary blocks" $(( ${converting:-0} - blocks ))
line "the conversion's temporary blocks (malloc, free)" "$blocks"
line "records and arrays (malloc, free)" "$allocating"
line "token reading (ReadToken)" "$(inclusive "$profile" "ReadToken(")"
line "constraint pass (EvaluateConstraints)" "$(inclusive "$profile" "EvaluateConstraints()")"
if [ -n "${BENCH_PROFILE_DIR:-}" ]; then
  mkdir -p "$BENCH_PROFILE_DIR"
  cp "$scratch"/corvina.out "$scratch"/libcups.out "$BENCH_PROFILE_DIR"/
  echo "  profiles kept in $BENCH_PROFILE_DIR (callgrind_annotate --inclusive=yes FILE)"
fi
echo

"$bench" "$corpus" --repeats "${BENCH_REPEATS:-5}" --worst-repeats "${BENCH_WORST_REPEATS:-21}" \
  --every "${BENCH_EVERY:-1}" --instructions "$corvina" "$cups"
echo
"$lint" --repeats "${BENCH_LINT_REPEATS:-5}"
