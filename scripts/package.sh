#!/usr/bin/env bash
# Writes the driver packages of the Release DLLs, one folder per architecture:
#
#   scripts/package.sh [OUT_DIR]          (default dist/)
#
# OUT_DIR/corvina-<version>-x64/ and -x86/ each hold the stripped corvina.dll,
# the sample printer's PPD (NORVC5.PPD), its plug-in configuration file
# (NORVC5.INI), its INF (NORVC5.INF) and SHA256SUMS of those four files.
# <version> is project(VERSION) of CMakeLists.txt. The INF's DriverVer date
# and the stripped DLLs' PE time stamp are those of the last commit
# (SOURCE_DATE_EPOCH, which strip honours, if set), so the same builds pack to
# the same bytes. The DLLs come from build/win64 and build/win32 (`make
# package` builds them first).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/dist}")"

version="$(sed -nE 's/^project\(corvina VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "package: no project(corvina VERSION ...) in CMakeLists.txt" >&2; exit 1; }
# strip writes the time now into a PE file's header unless told otherwise.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)"
fi
export SOURCE_DATE_EPOCH
# DriverVer's date is month/day/year.
driver_date="$(date -u -d "@$SOURCE_DATE_EPOCH" +%m/%d/%Y)"

# Windows tools read these text files with CRLF line ends.
crlf() { sed -e 's/\r$//' -e 's/$/\r/'; }

pack() { # $1 architecture, $2 build folder, $3 MinGW-w64 triple, $4 INF decoration
  local arch=$1 dll="$root/build/$2/frame/corvina.dll" strip=$3-strip decoration=$4
  local dir="$out/corvina-$version-$arch"
  [ -f "$dll" ] || { echo "package: $dll is missing: run make build-$2 (or make package)" >&2; exit 1; }
  rm -rf "$dir"
  mkdir -p "$dir"
  "$strip" --strip-unneeded -o "$dir/corvina.dll" "$dll"
  cp "$root/samples/norvane-c5.ppd" "$dir/NORVC5.PPD"
  crlf <"$root/package/NORVC5.INI" >"$dir/NORVC5.INI"
  sed -e "s|@VERSION@|$version|g" -e "s|@DRIVER_DATE@|$driver_date|g" \
      -e "s|@ARCHITECTURE@|$arch|g" -e "s|@DECORATION@|$decoration|g" \
      "$root/package/NORVC5.INF.in" | crlf >"$dir/NORVC5.INF"
  if grep -q '@[A-Z_]*@' "$dir/NORVC5.INF"; then
    echo "package: NORVC5.INF.in has a placeholder this script does not fill" >&2
    exit 1
  fi
  (cd "$dir" && sha256sum corvina.dll NORVC5.PPD NORVC5.INI NORVC5.INF >SHA256SUMS)
  echo "$dir"
}

pack x64 win64 x86_64-w64-mingw32 NTamd64
pack x86 win32 i686-w64-mingw32 NTx86
