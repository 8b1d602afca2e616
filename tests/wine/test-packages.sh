#!/usr/bin/env bash
# The packages that wine_package_tests reads beside make package's own (dist/),
# and the families make package must refuse, each made by the real script:
#
#   tests/wine/test-packages.sh OUT_DIR
#
# Each attempt runs scripts/package.sh on the sample printer's PPD, on
# tests/wine/norvane-c7.ppd, or on a copy of the latter with one planted
# change, and leaves OUT_DIR/<attempt>/ with `status` (the script's exit
# status), `output` (what it printed) and, when it packaged, the packages in
# packages/corvina-<version>-<arch>/. PackageTest.cpp holds what each must
# show. Needs what `make package` needs: both DLLs and the native corvina-ppd.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
[ $# -eq 1 ] || { echo "usage: $0 OUT_DIR" >&2; exit 2; }
out="$(realpath -m "$1")"
c5="$root/samples/norvane-c5.ppd"
c7="$root/tests/wine/norvane-c7.ppd"
rm -rf "$out"
mkdir -p "$out/ppds"

# A copy of the C7 PPD with a sed script applied, bytes as they are (the
# Latin-1 é of a name stays one byte); the copy must differ.
plant() { # $1 name, $2 sed script
  local copy="$out/ppds/$1.ppd"
  LC_ALL=C sed -e "$2" "$c7" >"$copy"
  if cmp -s "$c7" "$copy"; then
    echo "test-packages: planting $1 changed nothing" >&2
    exit 1
  fi
  echo "$copy"
}

attempt() { # $1 name, then VAR=value... for package.sh
  local name=$1 dir="$out/$1" status=0
  shift
  mkdir -p "$dir"
  env -u PPD -u LINT -u PROVIDER -u MANUFACTURER -u INF "$@" \
    bash "$root/scripts/package.sh" "$dir/packages" >"$dir/output" 2>&1 || status=$?
  echo "$status" >"$dir/status"
  echo "test-packages: $name: exit status $status"
}

attempt family "PPD=$c5 $c7"
# One name only Latin-1 can write, read as ISOLatin1; one only UTF-8 can, read as UTF-8.
french="$(plant french 's/^\*NickName: .*/*NickName: "Imprimante S\xe9rie C7"/; s/NORVC7\.PPD/NORVC7FR.PPD/')"
japanese="$(plant japanese 's/^\*NickName: .*/*NickName: "\xe3\x83\x8e\xe3\x83\xab\xe3\x83\xb4\xe3\x82\xa1\xe3\x83\xb3 C7 PS"/;
  s/^\*LanguageEncoding: .*/*LanguageEncoding: UTF-8/; s/NORVC7\.PPD/NORVC7JA.PPD/')"
attempt names-outside-ascii "PPD=$french $japanese"
# A '%' in a model's name and in the settings.
percent="$(plant percent 's/^\*NickName: .*/*NickName: "Norvane C7 PS (100% recycled)"/')"
attempt settings "PPD=$c5 $percent" "PROVIDER=Norvane Imaging" "MANUFACTURER=Norvane Europe (100% Norvane)" \
  INF=NORVANE.INF

attempt one-model-name "PPD=$c5 $(plant one-model-name 's/^\*NickName: .*/*NickName: "Norvane C5 PS"/')"
attempt one-file-name "PPD=$c5 $(plant one-file-name 's/NORVC7\.PPD/NORVC5.PPD/')"
# Without its *CloseUI, the tray unit's block swallows the duplex unit's.
unclosed="$(plant lint-error '/^\*CloseUI: \*QZTrayUnit/d')"
attempt lint-error "PPD=$c5 $unclosed"
attempt lint-error-warned "PPD=$c5 $unclosed" LINT=warn
attempt no-encoding "PPD=$c5 $(plant no-encoding '/^\*LanguageEncoding:/d; s/^\*NickName: .*/*NickName: "Imprimante S\xe9rie C7"/')"
attempt no-usable-name "PPD=$c5 $(plant no-usable-name '/^\*\(NickName\|ModelName\):/d')"
attempt file-name "PPD=$c5 $(plant file-name 's/NORVC7\.PPD/NORV C7.PPD/')"
long="$(printf 'Norvane C7 PS %.0s' {1..18})"  # 18 x 14 = 252, and "Long" makes 256
attempt name-too-long "PPD=$c5 $(plant name-too-long "s/^\*NickName: .*/*NickName: \"${long}Long\"/")"
