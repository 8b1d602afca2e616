#!/usr/bin/env bash
# Prepares the Wine prefix the Windows builds run in, and finds out whether
# 32-bit (x86) Windows programs can run on this machine.
#
#   scripts/setup-wine.sh [-q] PREFIXDIR
#
# Idempotent: a second call with nothing changed only re-checks and returns.
# Leaves exactly one of PREFIXDIR/.x86-ok (first line: "native" or "qemu")
# or PREFIXDIR/.x86-skip (first line: the reason) for wine-run.sh to read.
# Prints one line saying whether x86 runs are available (unless -q).
#
# Environment:
#   CORVINA_X86_VIA=auto|native|qemu   how 32-bit code runs (default auto:
#                                      natively if the kernel can, else QEMU)
#   CORVINA_WINE_LOCK_HELD=1           the caller already holds PREFIXDIR.lock
set -uo pipefail

quiet=0
if [ "${1:-}" = "-q" ]; then quiet=1; shift; fi
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 [-q] PREFIXDIR" >&2
  exit 2
fi
mkdir -p "$(dirname "$1")" || exit 1
PREFIX="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"

say() { [ "$quiet" = 1 ] || echo "$@"; }
die() { echo "setup-wine: $*" >&2; exit 1; }

BINFMT=/proc/sys/fs/binfmt_misc
QEMU=/usr/bin/qemu-i386-static
ENTRY=qemu-i386
VIA="${CORVINA_X86_VIA:-auto}"

find_loader() { # $1 = wine64|wine
  if [ -x "/usr/lib/wine/$1" ]; then echo "/usr/lib/wine/$1"; return 0; fi
  command -v "$1" 2>/dev/null
}
WINE64="$(find_loader wine64)" || die "wine64 not found (install the wine64 package)"
WINE32="$(find_loader wine)" || WINE32=""
# Without a 32-bit loader the "wine" on PATH is the 64-bit one: no x86.
if [ -n "$WINE32" ] && [ "$(od -An -tx1 -j4 -N1 "$WINE32" 2>/dev/null | tr -d ' ')" != "01" ]; then
  WINE32=""
fi

if [ "${CORVINA_WINE_LOCK_HELD:-0}" != 1 ]; then
  exec 9>"$PREFIX.lock" || die "cannot create $PREFIX.lock"
  flock 9
fi

export WINEPREFIX="$PREFIX" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
unset DISPLAY WAYLAND_DISPLAY

# --- can 32-bit code run? -------------------------------------------------

# A 96-byte static i386 ELF that calls exit(42) through int 0x80.
# Beside the prefix rather than in /tmp, which may be mounted noexec.
probe_file="$(mktemp "$(dirname "$PREFIX")/.corvina-probe32.XXXXXX")" || die "mktemp failed"
trap 'rm -f "$probe_file"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe_file"
chmod +x "$probe_file"
probe32() { timeout 60 "$probe_file" >/dev/null 2>&1; [ $? -eq 42 ]; }

qemu_entry_ok() {
  [ -f "$BINFMT/$ENTRY" ] || return 1
  grep -qx enabled "$BINFMT/$ENTRY" &&
    grep -qx "interpreter $QEMU" "$BINFMT/$ENTRY" &&
    grep -q '^flags: .*F' "$BINFMT/$ENTRY"
}

# Registers QEMU for i386 ELF files. F (fix-binary) opens the interpreter now,
# so Wine re-executing its own loader keeps working in any mount namespace.
register_qemu() {
  [ -x "$QEMU" ] || { echo "qemu-user-static is not installed ($QEMU missing)"; return 1; }
  [ "$(id -u)" = 0 ] || { echo "registering QEMU with binfmt_misc needs root"; return 1; }
  if [ ! -f "$BINFMT/register" ]; then
    mount -t binfmt_misc binfmt_misc "$BINFMT" 2>/dev/null ||
      { echo "binfmt_misc cannot be mounted at $BINFMT"; return 1; }
  fi
  if ! grep -qx enabled "$BINFMT/status" 2>/dev/null; then
    echo 1 >"$BINFMT/status" 2>/dev/null || { echo "binfmt_misc is disabled and cannot be enabled"; return 1; }
  fi
  qemu_entry_ok && return 0
  # An entry of that name but with another interpreter or without F would
  # make Wine fail later; replace it.
  [ -f "$BINFMT/$ENTRY" ] && echo -1 >"$BINFMT/$ENTRY" 2>/dev/null
  printf '%s' ":$ENTRY:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QEMU:F" \
    >"$BINFMT/register" 2>/dev/null || { echo "the binfmt_misc registration of $QEMU was refused"; return 1; }
  qemu_entry_ok || { echo "the binfmt_misc entry for $QEMU did not take effect"; return 1; }
}

x86_mode="" x86_reason=""
if [ -z "$WINE32" ]; then
  x86_reason="32-bit Wine is not installed (wine32:i386)"
else
  case "$VIA" in
    native)
      if qemu_entry_ok; then x86_reason="CORVINA_X86_VIA=native but QEMU is registered for i386 ELF files"
      elif probe32; then x86_mode=native
      else x86_reason="this kernel does not run 32-bit code"; fi ;;
    qemu)
      if r="$(register_qemu)"; then
        if probe32; then x86_mode=qemu; else x86_reason="32-bit code does not run through QEMU either"; fi
      else x86_reason="$r"; fi ;;
    *)
      if qemu_entry_ok && probe32; then x86_mode=qemu
      elif probe32; then x86_mode=native
      elif r="$(register_qemu)"; then
        if probe32; then x86_mode=qemu
        else x86_reason="this kernel runs no 32-bit code and QEMU user-mode emulation failed too"; fi
      else x86_reason="this kernel runs no 32-bit code and $r"; fi ;;
  esac
  if [ -n "$x86_mode" ] && [ ! -e /usr/lib/wine/wine-preloader ] && [ "$x86_mode" = qemu ]; then
    echo "setup-wine: warning: wine32-preloader:i386 missing, every 32-bit process will take about a minute to start" >&2
  fi
fi

# --- the prefix -----------------------------------------------------------

stamp="$PREFIX/.corvina-prefix"     # "<wine version> <x86 yes|no>" it was built with
wine_version="$("$WINE64" --version 2>/dev/null)" || die "$WINE64 --version failed"
want_stamp="$wine_version x86=$([ -n "$x86_mode" ] && echo yes || echo no)"
have_stamp="$(cat "$stamp" 2>/dev/null || true)"

wineboot() { # $1 = -i (create) or -u (update)
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 600 "$WINE64" wineboot "$1" >/dev/null 2>&1 &&
    timeout 120 wineserver -w
}

if [ "$have_stamp" != "$want_stamp" ]; then
  if [ -e "$PREFIX" ] && [ ! -f "$stamp" ] && [ -n "$(ls -A "$PREFIX" 2>/dev/null)" ]; then
    die "$PREFIX exists but was not made by this script; remove it or choose another prefix"
  fi
  # A prefix made while 32-bit Wine could not run lacks its 32-bit system
  # files, and wineboot -u does not add them: start over.
  if [ -f "$stamp" ] && [ "${have_stamp##* }" = "x86=no" ] && [ -n "$x86_mode" ]; then
    timeout 60 wineserver -k >/dev/null 2>&1
    rm -rf "$PREFIX"
  fi
  if [ -f "$PREFIX/system.reg" ]; then
    say "setup-wine: updating Wine prefix $PREFIX"
    wineboot -u || die "wineboot -u failed in $PREFIX"
  else
    say "setup-wine: creating Wine prefix $PREFIX"
    mkdir -p "$PREFIX"
    wineboot -i || die "wineboot -i failed in $PREFIX"
  fi
  # A crashing program must end, not wait for someone to close a dialog.
  timeout 120 "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    die "cannot write the registry of $PREFIX"
  timeout 120 wineserver -w
  echo "$want_stamp" >"$stamp"
fi

# Values of the prefix's user registry, each written once.
set_user_value() { # $1 key under HKCU, $2 value name, $3 string data
  grep -qF "\"$2\"=\"$3\"" "$PREFIX/user.reg" 2>/dev/null && return 0
  timeout 120 "$WINE64" reg add "HKCU\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1 ||
    die "cannot write the registry of $PREFIX"
  timeout 120 wineserver -w
}
# The page's dialog font, "MS UI Gothic", comes only with Windows. IPAPGothic
# is drawn to the metrics of that font family and covers Japanese, so the
# page is laid out as on Windows in every language; the fallback Wine picks
# otherwise is wider or taller and wraps or cuts the page's texts.
set_user_value 'Software\Wine\Fonts\Replacements' 'MS UI Gothic' IPAPGothic
# No window manager runs on the private Xvfb: a window Wine leaves to one
# makes every hide wait two seconds for an answer that never comes.
set_user_value 'Software\Wine\X11 Driver' Managed N
# Every run starts at 96 dpi: the fit test starts processes at other DPIs
# through this value and puts it back, but a run it could not finish would
# leave the page and the screenshots of every later run scaled.
desktop_dpi="$(awk '/^\[/ { desktop = index($0, "[Control Panel\\\\Desktop]") == 1 }
                    desktop && /^"LogPixels"=/ { print; exit }' "$PREFIX/user.reg" 2>/dev/null)"
if [ "$desktop_dpi" != '"LogPixels"=dword:00000060' ]; then
  timeout 120 "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 ||
    die "cannot write the registry of $PREFIX"
  timeout 120 wineserver -w
fi

# The end-to-end check: a 32-bit Windows process in this prefix (only once
# per prefix state, it costs a few seconds under QEMU).
if [ -n "$x86_mode" ] && [ "$(head -n1 "$PREFIX/.x86-ok" 2>/dev/null)" != "$x86_mode" ]; then
  timeout 300 "$WINE32" cmd.exe /c exit 3 >/dev/null 2>&1
  rc=$?
  timeout 120 wineserver -w
  if [ $rc -ne 3 ]; then
    x86_reason="a 32-bit program in $PREFIX did not run (exit code $rc)"
    x86_mode=""
  fi
fi

if [ -n "$x86_mode" ]; then
  rm -f "$PREFIX/.x86-skip"
  [ "$(head -n1 "$PREFIX/.x86-ok" 2>/dev/null)" = "$x86_mode" ] || echo "$x86_mode" >"$PREFIX/.x86-ok"
  say "setup-wine: x86 runs available ($x86_mode, $wine_version)"
else
  rm -f "$PREFIX/.x86-ok"
  echo "$x86_reason" >"$PREFIX/.x86-skip"
  say "setup-wine: x86 runs NOT available: $x86_reason"
fi
exit 0
