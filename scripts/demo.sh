#!/usr/bin/env bash
# The main job, shown: the x64 corvina.dll inside a stand-in for the
# PostScript driver's UI module, under Wine and a private Xvfb, on the sample
# PPD (or yours). `make demo` builds both DLLs and the Wine prefix first.
#
#   scripts/demo.sh [--ppd FILE] [--installed '*Keyword=Option']... [--lang LANG]
#                   [--interactive] [--out DIR]
#
#   --ppd FILE        the printer's PPD (default samples/norvane-c5.ppd)
#   --installed K=V   an installed option as the driver reports it; repeatable;
#                     the PPD's defaults stand for the others
#   --lang LANG       the UI language and ANSI code page Wine runs with, e.g.
#                     de_DE or ja_JP (default en_US)
#   --interactive     leave the sheet up on $DISPLAY for a person to fill in
#   --out DIR         where the screenshots go (default build/demo)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CORVINA_DEMO_BUILD:-$root/build/win64}"
out="$root/build/demo"
lang="en_US"
interactive=0
args=()

usage() { sed -n '6,15p' "$0" | sed 's/^# \{0,1\}//'; }

while [ $# -gt 0 ]; do
  case "$1" in
    --ppd) [ $# -ge 2 ] || { usage; exit 2; }; args+=(--ppd "$(realpath "$2")"); shift 2 ;;
    --installed) [ $# -ge 2 ] || { usage; exit 2; }; args+=(--installed "$2"); shift 2 ;;
    --lang) [ $# -ge 2 ] || { usage; exit 2; }; lang="${2%%.*}"; shift 2 ;;
    --interactive) interactive=1; args+=(--interactive); shift ;;
    --out) [ $# -ge 2 ] || { usage; exit 2; }; out="$(realpath -m "$2")"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

[ -f "$build/CMakeCache.txt" ] || { echo "demo: run 'make demo' (it builds $build first)" >&2; exit 2; }
cmake --build "$build" --target corvina_demo page_screenshot -j2 >/dev/null
exe="$build/tests/wine/corvina_demo.exe"
mkdir -p "$out"

start=$(date +%s)
if [ "$interactive" -eq 1 ]; then
  [ -n "${DISPLAY:-}" ] || { echo "demo: --interactive needs DISPLAY set to the display to use" >&2; exit 2; }
  export CORVINA_WINE_DISPLAY="$DISPLAY" CORVINA_WINE_TIMEOUT=3600
else
  args+=(--screenshot "$out/page-confidential-job.bmp")
fi

rc=0
env -u LC_ALL -u LC_MESSAGES LANG="$lang.UTF-8" "$root/scripts/wine-run.sh" "$exe" "${args[@]}" || rc=$?
if [ "$rc" -eq 77 ]; then echo "demo: this machine cannot run Windows programs under Wine" >&2; exit 1; fi
[ "$rc" -eq 0 ] || { echo "demo: the demo host failed (exit $rc)" >&2; exit "$rc"; }

echo
echo "== 8. Screenshots"
if [ -f "$out/page-confidential-job.bmp" ]; then
  convert "$out/page-confidential-job.bmp" -strip -define png:exclude-chunks=date,time "$out/page-confidential-job.png"
  rm -f "$out/page-confidential-job.bmp"
  echo "   the page with the confidential job typed in, before OK: $out/page-confidential-job.png"
fi
echo "   the page in the eight languages of the catalogue:"
bash "$root/scripts/screenshots.sh" "$build" "$out/screenshots" | sed 's/^/   /'

echo
echo "demo: done in $(( $(date +%s) - start )) s; screenshots in $out"
