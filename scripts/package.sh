#!/usr/bin/env bash
# Writes the driver packages of the Release DLLs for a family of printers, one
# folder per architecture:
#
#   scripts/package.sh [OUT_DIR]          (default dist/)
#
# Environment (`make package` passes its variables of the same names):
#   PPD="a.ppd b.ppd"   the printers' PPDs, blank-separated (default: the sample
#                       printer's, samples/norvane-c5.ppd)
#   LINT=warn           package PPDs with lint errors anyway
#   PROVIDER=, MANUFACTURER=, INF=   the INF's provider and manufacturer
#                       strings, and its file name (scripts/package-inf.py)
#
# First every PPD is linted (corvina-ppd --lint --fail-on error, from
# build/native): the first one with an error stops the packaging, its lines
# printed, unless LINT=warn. Then the names the INF takes from the PPDs are
# checked (scripts/package-inf.py), and nothing is written if one is refused.
#
# OUT_DIR/corvina-<version>-x64/ and -x86/ each hold the stripped corvina.dll,
# every PPD under its shipped name, one plug-in configuration file (INI) per
# PPD, the one INF of the family, and SHA256SUMS of those files.
# <version> is project(VERSION) of CMakeLists.txt. The INF's DriverVer date
# and the stripped DLLs' PE time stamp are those of the last commit
# (SOURCE_DATE_EPOCH, which strip honours, if set), so the same builds pack to
# the same bytes. The DLLs come from build/win64 and build/win32 (`make
# package` builds them first).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/dist}")"
inf_tool=(python3 "$root/scripts/package-inf.py")
lint_tool="${CORVINA_PPD_TOOL:-$root/build/native/tools/corvina-ppd/corvina-ppd}"

read -r -a ppds <<<"${PPD:-$root/samples/norvane-c5.ppd}"
[ ${#ppds[@]} -gt 0 ] || { echo "package: PPD= names no file" >&2; exit 1; }
case "${LINT:-}" in
  "" | warn) ;;
  *) echo "package: LINT takes warn (package despite lint errors), not '$LINT'" >&2; exit 1 ;;
esac

version="$(sed -nE 's/^project\(corvina VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "package: no project(corvina VERSION ...) in CMakeLists.txt" >&2; exit 1; }
# strip writes the time now into a PE file's header unless told otherwise.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)"
fi
export SOURCE_DATE_EPOCH
# DriverVer's date is month/day/year.
driver_date="$(date -u -d "@$SOURCE_DATE_EPOCH" +%m/%d/%Y)"

# The plug-in must read each PPD as its author wrote it: errors stop here.
[ -x "$lint_tool" ] || { echo "package: $lint_tool is missing: run make package" >&2; exit 1; }
for ppd in "${ppds[@]}"; do
  status=0
  findings="$("$lint_tool" --lint --fail-on error "$ppd" 2>&1)" || status=$?
  [ -z "$findings" ] || printf '%s\n' "$findings"
  case $status in
    0) ;;
    3) if [ "${LINT:-}" = warn ]; then
         echo "package: $ppd has lint errors; packaged anyway (LINT=warn)" >&2
       else
         echo "package: $ppd has lint errors (above): fix them, or package anyway with LINT=warn" >&2
         exit 1
       fi ;;
    *) echo "package: the lint could not read $ppd" >&2; exit 1 ;;
  esac
done

for build in win64 win32; do
  dll="$root/build/$build/frame/corvina.dll"
  [ -f "$dll" ] || { echo "package: $dll is missing: run make build-$build (or make package)" >&2; exit 1; }
done

# The PPDs, INIs and INF of both folders, written afresh once the names pass.
listing="$("${inf_tool[@]}" "$version" "$driver_date" "x64:NTamd64:$out/corvina-$version-x64" \
           "x86:NTx86:$out/corvina-$version-x86" -- "${ppds[@]}")"
mapfile -t files <<<"$listing"

pack() { # $1 architecture, $2 build folder, $3 MinGW-w64 triple
  local dir="$out/corvina-$version-$1"
  "$3-strip" --strip-unneeded -o "$dir/corvina.dll" "$root/build/$2/frame/corvina.dll"
  (cd "$dir" && sha256sum corvina.dll "${files[@]}" >SHA256SUMS)
  echo "$dir"
}

pack x64 win64 x86_64-w64-mingw32
pack x86 win32 i686-w64-mingw32
