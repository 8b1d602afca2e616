#!/usr/bin/env bash
# Installs what the builds and tests need, once; quiet and idempotent.
set -euo pipefail
[ "$(id -u)" = 0 ] && SUDO= || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

want=(cmake ninja-build g++ make googletest libgtest-dev libbenchmark-dev
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
      wine wine64 xvfb x11-utils imagemagick fonts-noto-cjk fonts-ipafont-gothic fonts-dejavu-core
      libcups2-dev valgrind clang clang-tidy llvm libclang-rt-14-dev qemu-user-static python3 locales gcovr)
want32=(wine32:i386 wine32-preloader:i386)

missing=()
for p in "${want[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p"); done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  updated=0
fi
for p in "${want32[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p"); done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  # A mirror caught mid-sync fails one index ("File has unexpected size");
  # it passes a little later. If it never does, the install below still
  # says plainly which package it could not find.
  for attempt in 1 2 3 4; do
    $SUDO apt-get update -qq && break
    [ $attempt = 4 ] && { echo "install-deps: apt-get update kept failing; installing from the lists it has" >&2; break; }
    sleep $((attempt * 15))
  done
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine follows LANG for its UI language only when the C library has that
# locale; the Wine runs use these eight.
have="$(locale -a 2>/dev/null)"
for l in en_US de_DE fr_FR it_IT ja_JP nl_NL pt_PT es_ES; do
  grep -qix "$l.utf8" <<<"$have" || $SUDO localedef -i "$l" -f UTF-8 "$l.UTF-8"
done
