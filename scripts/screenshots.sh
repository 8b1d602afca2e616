#!/usr/bin/env bash
# Writes a PNG of the Job Settings page, inside Wine's property sheet, for
# each language of the string catalogue.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR  a configured Windows build (default build/win64); its
#            page_screenshot target is brought up to date first.
# OUT_DIR    where page-<locale>.png go (default docs/screenshots).
#
# LANG picks Wine's UI language, and so the catalogue block the page loads.
# Needs the locales and fonts of scripts/install-deps.sh (Noto CJK covers the
# Japanese page; without it the Japanese texts come out as boxes).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/win64}"
out="${2:-$root/docs/screenshots}"

[ -f "$build/CMakeCache.txt" ] || { echo "screenshots: $build is not a configured build" >&2; exit 2; }
cmake --build "$build" --target page_screenshot -j2 >/dev/null
exe="$build/tests/wine/page_screenshot.exe"

mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

for locale in en_US de_DE fr_FR it_IT ja_JP nl_NL pt_PT es_ES; do
  rc=0
  env -u LC_ALL -u LC_MESSAGES LANG="$locale.UTF-8" "$root/scripts/wine-run.sh" "$exe" "$tmp/$locale.bmp" || rc=$?
  if [ "$rc" -eq 77 ]; then echo "screenshots: skipped, this machine cannot run $exe" >&2; exit 77; fi
  [ "$rc" -eq 0 ] || { echo "screenshots: page_screenshot failed for $locale (exit $rc)" >&2; exit 1; }
  # No time stamps in the files, so an unchanged page gives unchanged PNGs.
  convert "$tmp/$locale.bmp" -strip -define png:exclude-chunks=date,time "$out/page-$locale.png"
  echo "$out/page-$locale.png"
done
