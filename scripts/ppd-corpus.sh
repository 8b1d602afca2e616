#!/usr/bin/env bash
# Installs Debian's openprinting-ppds package and unpacks its PostScript PPDs
# into DEST (default build/ppd-corpus) for the corpus tests. Idempotent: an
# unpacked corpus of the installed package version is left as it is.
# Exits 77 when the package cannot be had, so the corpus tests skip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$root/build/ppd-corpus}
package=openprinting-ppds
driver=/usr/lib/cups/driver/$package

installed_version() {
  { dpkg-query -W -f='${Status} ${Version}' "$package" 2>/dev/null || true; } |
    sed -n 's/^install ok installed //p'
}

mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9

version=$(installed_version)
scratch=
trap '[ -n "$scratch" ] && rm -rf "$scratch"' EXIT
if [ -z "$version" ]; then
  [ "$(id -u)" = 0 ] && sudo= || sudo="sudo -n"
  apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -qq"
  if ! $apt install -y --no-install-recommends "$package" >/dev/null 2>&1; then
    $apt update >/dev/null 2>&1 || true
    $apt install -y --no-install-recommends "$package" >/dev/null 2>&1 || true
  fi
  version=$(installed_version)
fi
if [ -z "$version" ]; then
  # Without the right to install, the package's files will do.
  scratch=$(mktemp -d)
  if (cd "$scratch" && apt-get download "$package" >/dev/null 2>&1); then
    dpkg-deb -x "$scratch"/"$package"_*.deb "$scratch/root"
    driver=$scratch/root$driver
    version=$(dpkg-deb -f "$scratch"/"$package"_*.deb Version)
  fi
fi
if [ -z "$version" ] || [ ! -f "$driver" ]; then
  echo "ppd-corpus: $package could not be installed or downloaded; corpus tests skip" >&2
  exit 77
fi

stamp=$dest/.unpacked
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
  echo "ppd-corpus: $dest holds $package $version ($(find "$dest" -name '*.ppd' -type f | wc -l) PPDs)"
  exit 0
fi

partial=$dest.partial
rm -rf "$partial"
python3 "$root/scripts/unpack-openprinting-ppds.py" "$driver" "$partial" >/dev/null
# Only PostScript PPDs take part; the package ships no others today.
find "$partial" -type f ! -name '*.ppd' -delete
grep -rLZ --include='*.ppd' -m1 '^\*PPD-Adobe' "$partial" | xargs -0 -r rm -f
echo "$version" >"$partial/.unpacked"
rm -rf "$dest"
mv "$partial" "$dest"
echo "ppd-corpus: unpacked $(find "$dest" -name '*.ppd' -type f | wc -l) PPDs of $package $version into $dest"
