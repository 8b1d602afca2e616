#!/usr/bin/env python3
"""make analyze: clang-tidy with the checks of .clang-tidy over the sources.

The sources are those of the product and tools folders (FOLDERS below; not
tests, bench or fuzz). Each source of the native build is analyzed with its
native compile command; each source that only the win64 build compiles (the
Win32 bindings) with its win64 command turned into a clang one for
x86_64-w64-mingw32, written to build/analyze/x86_64-w64-mingw32/: the
mingw-w64 headers, and clang's own intrinsics headers in place of GCC's,
which do not parse under clang. Both builds must be configured (cmake
--preset native, --preset win64); that writes their compile_commands.json.

A source counts as passed when clang-tidy reports nothing in it or in the
project headers it includes; a finding in a header is shown once, however
many sources include it. Ends with "analyze: N passed, M failed" and exits 1
on any finding, 2 when it cannot run.

usage: analyze.py [-j N] [FILE...]
  FILE: a source of either build, or a project header, which stands for the
  sources that include it; without FILE, every source.
"""
import argparse
import functools
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor, as_completed
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FOLDERS = ("frame", "page", "ppd", "optree", "resources", "platform", "tools")
SOURCES = (".c", ".cc", ".cpp")
NATIVE = ROOT / "build" / "native"
WIN64 = ROOT / "build" / "win64"

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
DIAGNOSTIC = re.compile(r"^(.+?):\d+:\d+: (?:warning|error): ")
# clang-tidy's counts on stderr, which say nothing a diagnostic line does not.
CHATTER = re.compile(r"^\d+ (?:warnings?|errors?)( and \d+ errors?)? (?:generated\.|treated as errors)$")


def fail(message):
    print(f"analyze: {message}", file=sys.stderr)
    sys.exit(2)


def ours(path):
    try:
        relative = Path(path).resolve().relative_to(ROOT)
    except ValueError:
        return None
    return relative if relative.parts[:1] and relative.parts[0] in FOLDERS and relative.suffix in SOURCES else None


def compile_commands(build):
    database = build / "compile_commands.json"
    if not database.exists():
        fail(f"{database.relative_to(ROOT)} is missing: configure that build first "
             f"(cmake --preset {build.name}; make analyze does)")
    entries = {}
    for entry in json.loads(database.read_text()):
        path = Path(entry["directory"], entry["file"])
        relative = ours(path)
        if relative is not None:
            entries[relative] = entry
    return entries


def includes_header(source, header, seen=None):
    """Whether the source reaches the header through its quoted includes."""
    seen = set() if seen is None else seen
    for name in INCLUDE.findall((ROOT / source).read_text(errors="replace")):
        for candidate in ((ROOT / source).parent / name, ROOT / name):
            if candidate.exists():
                included = candidate.resolve().relative_to(ROOT)
                if included == header:
                    return True
                if included not in seen:
                    seen.add(included)
                    if includes_header(included, header, seen):
                        return True
                break
    return False


def clang_resource_include(clang_tidy):
    """clang's own headers (stddef.h, the intrinsics), of clang-tidy's version."""
    llvm = Path(os.path.realpath(clang_tidy)).parent.parent
    found = sorted(llvm.glob("lib/clang/*/include/stddef.h"))
    if not found:
        fail(f"no clang resource headers under {llvm}/lib/clang (Debian's libclang-common-*-dev)")
    return str(found[-1].parent)


@functools.lru_cache(maxsize=None)
def mingw_toolchain(compiler, resource_include):
    """The compiler's target, and its header search list with clang's headers where GCC's were."""
    def ask(*args, stdin=None):
        run = subprocess.run([compiler, *args], input=stdin, capture_output=True, text=True, check=True)
        return run.stdout.strip(), run.stderr.splitlines()

    triple = ask("-dumpmachine")[0]
    gcc_include = os.path.normpath(ask("-print-file-name=include")[0])
    probe = ask("-x", "c++", "-E", "-v", "-", stdin="")[1]
    start = probe.index("#include <...> search starts here:") + 1
    include = []
    for line in probe[start:probe.index("End of search list.")]:
        directory = os.path.normpath(line.strip())
        if directory == gcc_include:
            include.append(resource_include)
        elif directory != gcc_include + "-fixed":
            include.append(directory)
    if resource_include not in include:
        fail(f"{compiler} does not search {gcc_include}; cannot place clang's headers")
    return triple, tuple(include)


def mingw_arguments(entry, resource_include):
    """The win64 build's command as a clang command for its target."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    triple, include = mingw_toolchain(args[0], resource_include)
    kept = []
    skip = False
    for arg in args[1:]:
        if skip:
            skip = False
        elif arg == "-o":
            skip = True
        else:
            kept.append(arg)
    isystem = [flag for directory in include for flag in ("-isystem", directory)]
    return triple, ["clang++", f"--target={triple}", "-nostdinc", *isystem, *kept]


def write_mingw_database(entries, resource_include):
    if not entries:
        return None, None
    triple = None
    database = []
    for entry in entries.values():
        triple, arguments = mingw_arguments(entry, resource_include)
        database.append({"directory": entry["directory"], "file": entry["file"], "arguments": arguments})
    directory = ROOT / "build" / "analyze" / triple
    directory.mkdir(parents=True, exist_ok=True)
    (directory / "compile_commands.json").write_text(json.dumps(database, indent=2) + "\n")
    return triple, directory


def posix_regex_escape(text):
    return re.sub(r"([.^$|()\[\]{}*+?\\])", r"\\\1", text)


def analyze(clang_tidy, database, source):
    header_filter = f"^{posix_regex_escape(str(ROOT))}/({'|'.join(FOLDERS)})/"
    started = time.monotonic()
    run = subprocess.run([clang_tidy, "-p", str(database), "--quiet", f"--header-filter={header_filter}",
                          str(ROOT / source)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    blocks, other = [], []
    for line in run.stdout.splitlines():
        if DIAGNOSTIC.match(line):
            blocks.append([line])
        elif blocks:
            blocks[-1].append(line)
        elif line.strip() and not CHATTER.match(line):
            other.append(line)
    for block in blocks:
        while block and CHATTER.match(block[-1]):
            block.pop()
    return run.returncode, blocks, other, time.monotonic() - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-j", "--jobs", type=int, default=2, help="clang-tidy runs at a time (default 2)")
    parser.add_argument("files", nargs="*",
                        help="sources, or headers for the sources that include them (default: all)")
    options = parser.parse_args()

    clang_tidy = os.environ.get("CLANG_TIDY") or shutil.which("clang-tidy")
    if not clang_tidy:
        fail("clang-tidy is not installed (Debian's clang-tidy; make deps installs it)")
    native = compile_commands(NATIVE)
    windows = {path: entry for path, entry in compile_commands(WIN64).items() if path not in native}
    triple, windows_database = write_mingw_database(windows, clang_resource_include(clang_tidy))

    if options.files:
        wanted = set()
        for name in options.files:
            path = (Path(name) if Path(name).exists() else ROOT / name).resolve()
            relative = ours(path)
            if relative is not None and (relative in native or relative in windows):
                wanted.add(relative)
                continue
            # A header of the project stands for every source that includes it.
            header = path.relative_to(ROOT) if ROOT in path.parents and path.exists() else None
            users = {source for source in [*native, *windows] if header and includes_header(source, header)}
            if not users:
                fail(f"{name}: neither a product or tools source of the native or win64 build "
                     f"nor a header one of them includes")
            wanted |= users
        native = {p: e for p, e in native.items() if p in wanted}
        windows = {p: e for p, e in windows.items() if p in wanted}

    work = [("native", NATIVE, path) for path in native] + [(triple, windows_database, path) for path in windows]

    # Longest first, so that the runners finish together: the Windows sources
    # (each parses windows.h), then the others by size.
    longest_first = sorted(work, key=lambda item: (item[0] == "native", -(ROOT / item[2]).stat().st_size))
    started = time.monotonic()
    shown = set()
    passed = failed = findings = 0
    with ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
        runs = {pool.submit(analyze, clang_tidy, item[1], item[2]): item for item in longest_first}
        for run in as_completed(runs):
            target, _, path = runs[run]
            returncode, blocks, other, seconds = run.result()
            ok = returncode == 0 and not blocks and not other
            print(f"  {'ok    ' if ok else 'FAILED'}  {path} ({target}, {seconds:.0f} s)", flush=True)
            for line in other:
                print(f"    {line}")
            for block in blocks:
                if block[0] in shown:
                    continue
                shown.add(block[0])
                findings += 1
                print("\n".join(block))
            passed += ok
            failed += not ok
    elapsed = time.monotonic() - started

    targets = ", ".join(f"{name} {count}" for name, count in (("native", len(native)), (triple, len(windows))) if count)
    print(f"analyze: {passed + failed} sources ({targets}) in {elapsed:.0f} s, "
          f"{findings} distinct finding{'s' if findings != 1 else ''}")
    print(f"analyze: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
