#!/usr/bin/env python3
"""Holds the libraries to the order written in cmake/layers.txt.

For each build folder given, it reads what CMake wrote of the build
(layering-data.txt: the kind of build, every target, what it links, its
sources) and checks:
  - every library of the build has its place in the order, and every library
    of the order that this kind of build makes (all but those marked for the
    other kind) is in it;
  - a library links only libraries below it that it may use;
  - a file of a library includes project headers (any include that names a
    folder of the project, "..." or <...>) only of its own library (listed
    among its sources) or of libraries it may use; a file outside every
    library (of a test or tool program) includes library headers, or headers
    of its own folder;
  - a library marked portable reaches, through its includes, no header but the
    C++ standard library's (STANDARD_HEADERS) and the project's; and where the
    build has compiled it, its objects' dependency lists (ninja -t deps) name
    no header outside the tree that those standard headers do not bring in.
Exits 1 with one line per fault, 0 when the house holds. What it does not
check it says on a "skipped:" line: a folder given after --if-built that is
not there (the Windows builds, on a machine that does not make them), or a
portable library the build has not compiled yet. With CORVINA_EVERY_BUILD=1
(make test, which has made every build) those are faults too.

usage: check-layers.py SOURCE_DIR BUILD_DIR... [--if-built BUILD_DIR...]
"""
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

# What a portable library may include besides the project's own headers: the
# C++20 library headers, those for the C library, and the C headers' own names.
C_HEADERS = ("assert ctype errno fenv float inttypes limits locale math setjmp signal stdarg stddef stdint stdio "
             "stdlib string time uchar wchar wctype").split()
STANDARD_HEADERS = frozenset("""
    algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex concepts
    condition_variable coroutine deque exception execution filesystem format forward_list fstream functional
    future initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map memory
    memory_resource mutex new numbers numeric optional ostream queue random ranges ratio regex scoped_allocator
    semaphore set shared_mutex source_location span sstream stack stdexcept stop_token streambuf string
    string_view strstream syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
    unordered_set utility valarray variant vector version""".split()) | {"c" + h for h in C_HEADERS} | {
    h + ".h" for h in C_HEADERS}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SCANNED = (".h", ".hpp", ".cpp", ".c", ".inc")
KINDS = ("native", "windows")


def read_layers(path):
    """Library -> (uses, portable, only the builds of this kind make it), and the order; faults in the data."""
    layers, order, faults = {}, [], []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        name, words = line[0], line[1:]
        portable = "portable" in words
        only = [w for w in words if w in KINDS]
        uses = [w for w in words if w not in ("-", "portable") + KINDS]
        for used in uses:
            if used not in layers:
                faults.append(f"{path}:{number}: {name} uses {used}, which is not listed above it")
        if name in layers:
            faults.append(f"{path}:{number}: {name} is listed twice")
        if len(only) > 1:
            faults.append(f"{path}:{number}: {name} is marked for more than one kind of build")
        layers[name] = (uses, portable, only[0] if only else None)
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
    """The kind of one build, and its targets: name -> (type, links, sources within the tree)."""
    kind, targets = None, {}
    for line in open(os.path.join(build, "layering-data.txt"), encoding="utf-8"):
        if line.startswith("#build\t"):
            kind = line.split("\t")[1].strip()
            continue
        name, type_, directory, links, sources = line.rstrip("\n").split("\t")
        files = set()
        for item in filter(None, sources.split("|")):
            path = os.path.normpath(os.path.join(directory, item))
            if path.startswith(source + os.sep) and not path.startswith(build + os.sep):
                files.add(os.path.relpath(path, source))
        linked = [re.sub(r"::@\(.*\)$", "", item) for item in filter(None, links.split("|"))]
        targets[name] = (type_, linked, files, os.path.relpath(directory, source))
    return kind, targets


class Includes:
    """What the files of the tree include, read once each.

    An include that names a folder of the project is the project's in either
    spelling, since every target has the tree's root on its include path; one
    of those that is not in the tree is recorded as missing."""

    def __init__(self, source, folders):
        self.source, self.folders, self.cache, self.missing = source, folders, {}, []

    def __call__(self, path):
        """(project files, other headers) that `path` (within the tree, or absolute) includes directly."""
        if path not in self.cache:
            text = open(os.path.join(self.source, path), encoding="utf-8", errors="replace").read()
            local, other = [], []
            for spelling, name in INCLUDE.findall(text):
                candidates = [name] if spelling == "<" else [os.path.join(os.path.dirname(path), name), name]
                found = next((os.path.normpath(c) for c in candidates
                              if os.path.isfile(os.path.join(self.source, c))), None)
                if found and (spelling == '"' or name.split("/")[0] in self.folders):
                    local.append(os.path.relpath(found, self.source) if os.path.isabs(found) else found)
                elif name.split("/")[0] in self.folders:
                    self.missing.append((path, name))
                else:
                    other.append(name)  # the system's, or generated outside the tree
            self.cache[path] = (local, other)
        return self.cache[path]

    def reached(self, path):
        """(header, chain) for every header outside the tree that `path` reaches through project includes."""
        found, seen, stack = [], {path}, [(path, [path])]
        while stack:
            current, chain = stack.pop()
            local, other = self(current)
            found += [(name, chain) for name in other]
            for child in local:
                if child not in seen:
                    seen.add(child)
                    stack.append((child, chain + [child]))
        return found


def ninja_deps(build):
    """Object file -> headers it was compiled with, from ninja's log."""
    out = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True, check=True).stdout
    deps, current = {}, None
    for line in out.splitlines():
        if line and not line.startswith(" "):
            current = line.split(":")[0]
            deps[current] = []
        elif line.strip() and current:
            deps[current].append(line.strip())
    return deps


def compile_commands(build):
    """Object file -> (directory, source, compiler arguments without output, source or dependency options)."""
    commands = {}
    for entry in json.load(open(os.path.join(build, "compile_commands.json"), encoding="utf-8")):
        args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        if os.path.basename(args[0]) == "ccache":
            args = args[1:]
        kept, output, rest = [], None, iter(args)
        for arg in rest:
            if arg == "-o":
                output = next(rest)
            elif arg in ("-MT", "-MF", "-MQ"):
                next(rest)
            elif arg not in ("-c", "-MD", "-MMD", entry["file"]):
                kept.append(arg)
        if output:  # windres names its output without -o; no resource is portable
            commands[output] = (entry["directory"], entry["file"], kept)
    return commands


def headers_brought_by(command, names, cache={}):
    """Every header the compiler reads for `names` (standard headers) alone, with one object's options."""
    directory, _, args = command
    key = (directory, tuple(args), tuple(sorted(names)))
    if key not in cache:
        with tempfile.NamedTemporaryFile("w", suffix=".cpp") as probe:
            probe.write("".join(f"#include <{name}>\n" for name in sorted(names)))
            probe.flush()
            run = subprocess.run(args + ["-w", "-M", probe.name], cwd=directory, capture_output=True, text=True)
        if run.returncode != 0:  # the fault names the compiler's first complaint
            raise RuntimeError((run.stderr.strip().splitlines() or ["no message"])[0])
        cache[key] = {os.path.realpath(os.path.join(directory, h))
                      for h in run.stdout.replace("\\\n", " ").split(":", 1)[1].split()[1:]}
    return cache[key]


def check_portable_objects(source, build, name, layers, includes, strict):
    """Faults and skipped lines of the portable libraries' compiled objects in one build."""
    faults, skipped = [], []

    def unread(why):  # a build that make test has made is read in full
        (faults if strict else skipped).append(why if strict else "skipped: " + why)

    if not os.path.isfile(os.path.join(build, "build.ninja")):
        unread(f"{name}: not a Ninja build, the portable objects' headers are not read")
        return faults, skipped
    try:
        deps = ninja_deps(build)
    except subprocess.CalledProcessError as error:
        return [f"{name}: ninja -t deps failed: {error.stderr.strip()}"], skipped
    commands = compile_commands(build)
    for target, (_, portable, _) in layers.items():
        objects = [obj for obj in commands if portable and f"/CMakeFiles/{target}.dir/" in "/" + obj]
        if any(obj not in deps for obj in objects):
            unread(f"{name}: portable {target} is not all compiled, the headers of "
                   f"{', '.join(obj for obj in objects if obj not in deps)} are not read")
        for obj in filter(deps.__contains__, objects):
            path = commands[obj][1]
            path = os.path.relpath(path, source) if path.startswith(source + os.sep) else path
            try:
                names = {name for name, _ in includes.reached(path) if name in STANDARD_HEADERS}
                standard = headers_brought_by(commands[obj], names)
            except RuntimeError as error:
                faults.append(f"{name}: the standard headers of {obj} do not compile alone: {error}")
                continue
            for header in deps[obj]:
                real = os.path.realpath(os.path.join(build, header))
                if not real.startswith(source + os.sep) and real not in standard:
                    faults.append(f"{name}: {obj} of portable {target} was compiled with {header}, "
                                  "which no standard header it includes brings in")
                    break
    return faults, skipped


def check(source, builds, strict):
    layers, order, faults = read_layers(os.path.join(source, "cmake", "layers.txt"))
    below = reachable(layers)
    read = {build: read_build(build, source) for build in builds}
    folders = {directory.split(os.sep)[0] for _, targets in read.values() for *_, directory in targets.values()}
    includes = Includes(source, folders - {os.curdir, os.pardir})
    owner, known, skipped = {}, set(), []
    for build, (kind, targets) in read.items():
        name = os.path.relpath(build, source) if build.startswith(source + os.sep) else build
        if kind not in KINDS:
            faults.append(f"{name}: layering-data.txt names no kind of build ({' or '.join(KINDS)}); "
                          "configure it again")
            continue
        for target, (type_, links, files, _) in sorted(targets.items()):
            known |= {f for f in files if f.endswith(SCANNED)}
            if not type_.endswith("LIBRARY"):
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
        for library in order:
            only = layers[library][2]
            made = library in targets and targets[library][0].endswith("LIBRARY")
            if not made and only in (None, kind):
                faults.append(f"{name}: {library} of cmake/layers.txt is not a library of this {kind} build")
            elif made and only not in (None, kind):
                faults.append(f"{name}: {library} is marked {only} in cmake/layers.txt, yet this {kind} build makes it")
        more_faults, more_skipped = check_portable_objects(source, build, name, layers, includes, strict)
        faults += more_faults
        skipped += more_skipped

    # Every file a build compiles, and the headers they reach.
    queue = sorted(known)
    seen = set(queue)
    while queue:
        path = queue.pop()
        mine = owner.get(path)
        for header in includes(path)[0]:
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
            reached = [(name, chain) for name, chain in includes.reached(path) if name not in STANDARD_HEADERS]
            if reached:
                names = ", ".join(f"<{name}>" for name, _ in reached)
                faults.append(f"{path}: portable {mine} reaches {names}, outside the standard library, "
                              f"through {' -> '.join(reached[0][1])}")
    faults += [f"{path}: includes {name}, which is not in the tree" for path, name in includes.missing]
    return faults, skipped, order


def main(argv):
    if len(argv) < 3 or argv[2] == "--if-built":
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    source = os.path.realpath(argv[1])
    named = argv[2:]
    required, optional = named, []
    if "--if-built" in named:
        required, optional = named[:named.index("--if-built")], named[named.index("--if-built") + 1:]
    strict = os.environ.get("CORVINA_EVERY_BUILD") == "1"
    builds, faults, skipped = [], [], []
    for build in required + optional:
        data = os.path.join(build, "layering-data.txt")
        if os.path.isfile(data):
            builds.append(os.path.realpath(build))
        elif build in optional and not os.path.exists(build) and not strict:
            skipped.append(f"skipped: {build}: this machine has not made that build")
        else:
            faults.append(f"{build}: no {'layering-data.txt in it' if os.path.isdir(build) else 'such build folder'}; "
                          "configure it (cmake --preset NAME)")
    more_faults, more_skipped, order = check(source, builds, strict)
    faults += more_faults
    skipped += more_skipped
    for line in faults + skipped:
        print(line)
    print(f"layering: {len(order)} libraries in order, {len(builds)} builds read "
          f"({', '.join(os.path.basename(b) for b in builds)}), {len(faults)} faults, {len(skipped)} skipped")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
