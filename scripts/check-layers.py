#!/usr/bin/env python3
"""Holds the libraries to the order written in cmake/layers.txt.

For each build directory given, it reads what CMake wrote of the build
(layering-data.txt: every target, what it links, its sources) and checks:
  - every library of the build has its place in the order;
  - a library links only libraries below it that it may use;
  - a file of a library includes project headers only of its own library
    (listed among its sources) or of libraries it may use; a file outside
    every library (of a test or tool program) includes library headers, or
    headers of its own folder;
  - a library marked portable reaches no Windows header through its
    includes, and, where the build has compiled it, its objects' dependency
    lists (ninja -t deps) name none.
Exits 1 with one line per fault, 0 when the house holds.

usage: check-layers.py SOURCE_DIR BUILD_DIR [BUILD_DIR...]
"""
import os
import re
import subprocess
import sys

WINDOWS_HEADERS = {
    "windows.h", "windef.h", "winbase.h", "winnt.h", "winuser.h", "wingdi.h", "winerror.h", "objbase.h",
    "unknwn.h", "ole2.h", "winspool.h", "commctrl.h", "prsht.h", "compstui.h", "winddiui.h",
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SCANNED = (".h", ".hpp", ".cpp", ".c", ".inc")


def read_layers(path):
    """Library -> (uses, portable), and the order; faults in the data itself."""
    layers, order, faults = {}, [], []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        name, words = line[0], line[1:]
        portable = "portable" in words
        uses = [w for w in words if w not in ("-", "portable")]
        for used in uses:
            if used not in layers:
                faults.append(f"{path}:{number}: {name} uses {used}, which is not listed above it")
        if name in layers:
            faults.append(f"{path}:{number}: {name} is listed twice")
        layers[name] = (uses, portable)
        order.append(name)
    return layers, order, faults


def reachable(layers):
    """Library -> every library it may use, directly or through others."""
    below = {}
    for name in layers:  # listed bottom-up, so what a line uses is known
        closure = set()
        for used in layers[name][0]:
            closure.add(used)
            closure |= below.get(used, set())
        below[name] = closure
    return below


def read_build(build, source):
    """Targets of one build: name -> (type, links, sources within the tree)."""
    targets = {}
    data = os.path.join(build, "layering-data.txt")
    for line in open(data, encoding="utf-8"):
        name, kind, directory, links, sources = line.rstrip("\n").split("\t")
        files = set()
        for item in filter(None, sources.split("|")):
            path = os.path.normpath(os.path.join(directory, item))
            if path.startswith(source + os.sep) and not path.startswith(build):
                files.add(os.path.relpath(path, source))
        linked = [re.sub(r"::@\(.*\)$", "", item) for item in filter(None, links.split("|"))]
        targets[name] = (kind, linked, files)
    return targets


def includes(source, path, cache={}):
    """(project files, system headers) that `path` includes directly."""
    if path not in cache:
        text = open(os.path.join(source, path), encoding="utf-8", errors="replace").read()
        local, system = [], []
        for kind, name in INCLUDE.findall(text):
            if kind == '"':
                for candidate in (os.path.join(os.path.dirname(path), name), name):
                    candidate = os.path.normpath(candidate)
                    if os.path.isfile(os.path.join(source, candidate)):
                        local.append(candidate)
                        break
                else:
                    system.append(name)  # generated or outside the tree
            else:
                system.append(name)
        cache[path] = (local, system)
    return cache[path]


def windows_headers_reached(source, path):
    """Windows headers that `path` reaches through project includes, with the chain."""
    found, seen, stack = [], {path}, [(path, [path])]
    while stack:
        current, chain = stack.pop()
        local, system = includes(source, current)
        found += [(name, chain) for name in system if os.path.basename(name).lower() in WINDOWS_HEADERS]
        for child in local:
            if child not in seen:
                seen.add(child)
                stack.append((child, chain + [child]))
    return found


def ninja_deps(build):
    """Object file -> headers it was compiled with, from ninja's log."""
    try:
        out = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return {}
    deps, current = {}, None
    for line in out.splitlines():
        if line and not line.startswith(" "):
            current = line.split(":")[0]
            deps[current] = []
        elif line.strip() and current:
            deps[current].append(line.strip())
    return deps


def check(source, builds):
    layers, order, faults = read_layers(os.path.join(source, "cmake", "layers.txt"))
    below = reachable(layers)
    owner, known = {}, set()
    for build in builds:
        name = os.path.basename(build)
        targets = read_build(build, source)
        for target, (kind, links, files) in sorted(targets.items()):
            known |= {f for f in files if f.endswith(SCANNED)}
            if not kind.endswith("LIBRARY"):
                continue
            if target not in layers:
                faults.append(f"{name}: library {target} has no place in cmake/layers.txt")
                continue
            for file in files:
                if owner.setdefault(file, target) != target:
                    faults.append(f"{name}: {file} belongs to both {owner[file]} and {target}")
            for linked in links:
                if linked in layers and linked != target and linked not in below[target]:
                    faults.append(f"{name}: {target} links {linked}, which it may not use")
        if layers and os.path.isfile(os.path.join(build, "build.ninja")):
            deps = ninja_deps(build)
            for target, (_, portable) in layers.items():
                if not portable:
                    continue
                marker = f"/CMakeFiles/{target}.dir/"
                for obj, headers in deps.items():
                    if marker in "/" + obj:
                        bad = [h for h in headers if os.path.basename(h).lower() in WINDOWS_HEADERS]
                        if bad:
                            faults.append(f"{name}: {obj} of portable {target} was compiled with {bad[0]}")

    # Every file a build compiles, and the headers they reach.
    queue = sorted(known)
    seen = set(queue)
    while queue:
        path = queue.pop()
        mine = owner.get(path)
        for header in includes(source, path)[0]:
            theirs = owner.get(header)
            if theirs is None and mine is not None:
                faults.append(f"{path}: includes {header}, which is not among the sources of {mine}")
            elif theirs is None and os.path.dirname(header) != os.path.dirname(path):
                faults.append(f"{path}: includes {header} of another folder, which belongs to no library")
            elif theirs is not None and mine is not None and theirs != mine and theirs not in below[mine]:
                faults.append(f"{path}: includes {header}: {mine} may not use {theirs}")
            if header not in seen:
                seen.add(header)
                queue.append(header)
        if mine is not None and layers[mine][1]:
            reached = windows_headers_reached(source, path)
            if reached:
                names = ", ".join(f"<{name}>" for name, _ in reached)
                faults.append(f"{path}: portable {mine} reaches {names} through {' -> '.join(reached[0][1])}")
    return faults, order


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    source = os.path.realpath(argv[1])
    builds = [os.path.realpath(b) for b in argv[2:] if os.path.isfile(os.path.join(b, "layering-data.txt"))]
    faults, order = check(source, builds)
    for fault in faults:
        print(fault)
    print(f"layering: {len(order)} libraries in order, {len(builds)} builds read "
          f"({', '.join(os.path.basename(b) for b in builds)}), {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
