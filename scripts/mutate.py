#!/usr/bin/env python3
"""Mutation run over the product code: each mutant, one small change to one
source line, is rebuilt incrementally and put to the tests whose programs are
built from its file. A mutant no test fails survives: a behaviour no test pins.

Without files, every .cpp and .h of the product. Files no selected test reaches
(natively, the Win32 bindings) are named and left out: run them with
--build-dir build/win64 --ctest '-LE demo|package'. Prints each survivor as
`file:line: operator: the changed line`, then per folder and in total: mutants,
caught, equivalent (listed in scripts/mutate-equivalent.tsv), survived, score.
"""
import argparse, fcntl, json, os, random, re, shlex, signal, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ("frame", "page", "ppd", "optree", "resources", "platform")
# The portable stand-ins serve tests and tools; the host's published records
# and constants, and their compile-time layout checks, are the host's contract.
LEFT_OUT = ("platform/portable/", "platform/HostAbi.h", "platform/HostAbiLayout.h")
EQUIVALENT = os.path.join(ROOT, "scripts", "mutate-equivalent.tsv")
WORK = os.path.join(ROOT, "build", "mutate")
NOT_CALLS = {"if", "for", "while", "switch", "return", "sizeof", "alignof", "decltype", "static_assert", "noexcept",
             "alignas", "defined", "operator"}

# ---- Mutants of the source text ----------------------------------------------------


def code_view(lines):
    """Each line with comments blanked and literals' insides made '_', so that
    patterns see code only (columns unchanged); None for lines left alone:
    preprocessor lines, static_asserts and macro calls such as CORVINA_CHECK_SIZE(...);."""
    out, in_comment, held = [], False, False
    for line in lines:
        chars, i = list(line.rstrip("\r\n")), 0
        while i < len(chars):
            two = "".join(chars[i:i + 2])
            if in_comment or two == "/*":
                width, in_comment = 2 if two in ("/*", "*/") else 1, two != "*/"
                chars[i:i + width], i = " " * width, i + width
            elif two == "//":
                chars[i:] = " " * (len(chars) - i)
            elif chars[i] in "\"'":
                j = i + 1
                while j < len(chars) and chars[j] != chars[i]:
                    j += 2 if chars[j] == "\\" else 1
                chars[i + 1:j] = "_" * len(chars[i + 1:j])
                i = j + 1
            else:
                i += 1
        code = "".join(chars)
        skip = held or code.lstrip().startswith("#") or "static_assert" in code or re.match(r"\s*[A-Z0-9_]+\(", code)
        held = bool(skip) and (code.rstrip().endswith("\\") or (";" not in code and "#" not in code))
        out.append(None if skip else code)
    return out


def closing(text, at):
    """The column of the parenthesis that closes the one at `at`, -1 if not on the line."""
    depth = 0
    for k in range(at, len(text)):
        depth += {"(": 1, ")": -1}.get(text[k], 0)
        if depth == 0:
            return k
    return -1


SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}
HEAD = re.compile(r"(\}\s*)?(else\s+)?(if|for|while)\s*\(|(\}\s*)?else\b|case\s(?:[^:]|::)+:(?!:)|default:")
SIMPLE = re.compile(r"[\w:.\->\[\]*]*\w\s*\(.*\);$|[\w.\->\[\]*()]+\s*([-+*/|&^]|<<|>>)?=[^=].*;$|"
                    r"(\+\+|--)[\w.\->\[\]]+;$|[\w.\->\[\]]+(\+\+|--);$")


def statement(code):
    """(column, kind) of the one-line statement a line holds after any control
    head: 'simple' (a call, an assignment, ++ or --) or 'jump' (break,
    continue, return of a value); None when there is none."""
    body, col = code.strip(), len(code) - len(code.lstrip())
    while m := HEAD.match(body):
        end = closing(body, m.end() - 1) + 1 if body[m.end() - 1] == "(" else m.end()
        if end <= 0:
            return None
        rest = body[end:].lstrip()
        col, body = col + len(body) - len(rest), rest
    if body.count(";") != 1 or not body.endswith(";") or re.search("[{}]", body) or body.count("(") != body.count(")"):
        return None
    if body in ("break;", "continue;") or re.match(r"return\s+\S", body):
        return col, "jump"
    # A space before the first '=' or '(' makes it a declaration.
    if not re.match(r"(return|delete|throw|goto)\b", body) and " " not in re.split("[=(]", body)[0].strip():
        return (col, "simple") if SIMPLE.fullmatch(body) else None
    return None


def line_mutants(text, code, starts, ends_function):
    """(operator, column, end column, replacement) of one line. Relational and
    logical operators are told from templates and references by the blanks
    around them, as the code is formatted."""
    out = [("logical" if m.group() in ("&&", "||") else "relational", m.start(), m.end(), SWAPS[m.group()])
           for m in re.finditer(r"(?<= )(<=|>=|==|!=|<|>|&&|\|\|)(?= )", code)]
    out += [("negation", m.start(), m.end(), "") for m in re.finditer(r"!(?!=)", code)]
    for m in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])", code):
        value, digits = int(m.group(1), 0), m.group(1)
        seen, case = {value}, "x" if re.search("[a-f]", digits[2:]) else "X"
        for op, new in (("+1", value + 1), ("-1", value - 1), ("*2", value * 2), ("/2", value // 2)):
            if new in seen or new < 0 or "virtual" in code:  # '= 0' of a pure virtual is no number
                continue
            seen.add(new)
            spelt = ("0x%0*" + case) % (len(digits) - 2, new) if digits[:2] in ("0x", "0X") else str(new)
            out.append(("constant" + op, m.start(), m.end(), spelt + m.group(2)))
    stmt = statement(code) if starts else None
    if stmt and not (ends_function and code[stmt[0]:].startswith("return")):  # the value a function must return
        out.append(("delete", stmt[0], len(code.rstrip()), "{}"))
    for m in re.finditer(r"\b(if|while|for)\s*\(", code):
        end = closing(code, m.end() - 1)
        cond = code[m.end():end]
        if end < 0 or re.search(r"\w[*&]?\s+\w+\s*[=:{]", cond):  # declares a variable
            continue
        if m.group(1) == "for":
            parts = cond.split(";")
            if len(parts) == 3 and parts[1].strip():
                at = m.end() + len(parts[0]) + 1
                out.append(("condition-false", at, at + len(parts[1]), " false"))
            continue
        if m.group(1) == "if":  # a forced while (true) would only hang
            out.append(("condition-true", m.end(), end, "true"))
        out.append(("condition-false", m.end(), end, "false"))
    for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", code):
        end, before = closing(code, m.end() - 1), code[:m.start()].rstrip()
        # A name after a type is declared (a function's parameters, a variable's constructor), not called.
        declared = re.search(r"[\w*&>]$", before) and not re.search(r"(\b(return|else|new|case)|->)$", before)
        if m.group(1) in NOT_CALLS or end < 0 or not code[m.end():end].strip() or declared:
            continue
        at, depth = m.end(), 0
        for k in range(m.end(), end + 1):
            depth += {"(": 1, ")": -1, "{": 1, "}": -1, "[": 1, "]": -1}.get(code[k], 0) if k < end else 0
            if k == end or (code[k] == "," and depth == 0):
                arg = text[at:k].strip()
                param = re.fullmatch(r"(const\s+)?[\w:<>]+(\s+|[*&]+\s+|\s+[*&]+)\w+", arg)  # of a definition
                if arg not in ("0", "nullptr", "{}", "false", "true") and not param:
                    col = at + len(text[at:k]) - len(text[at:k].lstrip())
                    null = re.match(r"(&|u?\"|this$)|.*\.(get|data|c_str)\(\)$", arg)
                    out.append(("argument", col, col + len(arg), "nullptr" if null else "0"))
                at = k + 1
    if m := re.match(r"\s*(case\s(?:[^:]|::)+:(?!:)\s*)", code):
        out.append(("case", m.start(1), m.end(), ""))
    return out


def mutants_of(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
        lines = f.read().splitlines(keepends=True)
    codes = code_view(lines)
    nonblank = [n for n, c in enumerate(codes) if c and c.strip()]
    found, prev, simple, twins, twin_of = [], ";", {}, {}, {}
    for i, n in enumerate(nonblank):
        text, code = lines[n], codes[n]
        # Which of the file's lines of this text it is: identical lines keep verdicts of their own.
        twin_of[n] = twins[text.strip()] = twins.get(text.strip(), -1) + 1
        starts = prev[-1] in ";{}:" or bool(re.match(r"(\}\s*)?(else|(if|for|while)\s*\(.*\))$", prev))
        ends_function = i + 1 < len(nonblank) and codes[nonblank[i + 1]].rstrip() == "}"
        seen = {}
        for op, a, b, new in line_mutants(text, code, starts, ends_function):
            seen[op] = seen.get(op, -1) + 1
            found.append({"file": path, "line": n + 1, "op": op, "occ": seen[op], "text": text.strip(),
                          "twin": twin_of[n], "edit": {n: text[:a] + new + text[b:]}})
        stmt = statement(code) if starts else None
        if stmt and stmt[1] == "simple" and stmt[0] == len(code) - len(code.lstrip()):
            simple[n] = stmt[0]
            if simple.get(n - 1) == stmt[0] and lines[n - 1].strip() != text.strip():
                found.append({"file": path, "line": n, "op": "swap", "occ": 0, "text": lines[n - 1].strip(),
                              "twin": twin_of.get(n - 1, 0), "edit": {n - 1: text, n: lines[n - 1]}})
        prev = code.strip()
    return found


def key(m):
    return json.dumps([m["file"], m["op"], m["occ"], m["text"], m["twin"], sorted(m["edit"].values())])


# ---- The build and its tests -------------------------------------------------------


def tool(*argv):
    return subprocess.run(argv, capture_output=True, text=True, check=True).stdout


def builds(build, targets, jobs):
    return not targets or subprocess.run(["cmake", "--build", build, "-j", str(jobs), "--target", *sorted(targets)],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def load_suite(build, ctest_args, jobs):
    """The selected tests, each as ctest runs it, with the programs of the build
    it runs and the source files those are built from (headers included)."""
    rel = lambda p: os.path.relpath(os.path.normpath(os.path.join(build, p)), ROOT)
    tests, headers, files_of = [], {}, {}
    for t in json.loads(tool("ctest", "--test-dir", build, "--show-only=json-v1", *ctest_args))["tests"]:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        env = dict(os.environ, **dict(kv.split("=", 1) for kv in props.get("ENVIRONMENT", [])))
        # A parameterised test's name ends in a dump of its parameter, which may hold an address.
        tests.append({"name": t["name"].split("  #")[0], "command": t["command"], "env": env,
                      "cwd": props.get("WORKING_DIRECTORY"), "skip": props.get("SKIP_RETURN_CODE", 0),
                      "will_fail": bool(props.get("WILL_FAIL")),
                      "targets": [os.path.relpath(a, build) for a in t["command"] if a.startswith(build + os.sep)]})
    if not builds(build, {x for t in tests for x in t["targets"]}, jobs):
        sys.exit("mutate: %s does not build unmutated" % build)
    for line in tool("ninja", "-C", build, "-t", "deps").splitlines():
        if line and not line[0].isspace():
            obj = headers.setdefault(line.split(":")[0], [])
        elif line.strip():
            obj.append(rel(line.strip()))
    for t in tests:
        for target in set(t["targets"]) - set(files_of):
            inputs = tool("ninja", "-C", build, "-t", "inputs", target).split()
            files_of[target] = {rel(p) for p in inputs}.union(*(headers.get(p, ()) for p in inputs))
        t["files"] = set().union(*(files_of[x] for x in t["targets"]))
    return tests


def first_failure(tests, jobs, budget, times, build=None):
    """The first test that fails, or outlives the budget or three times its own
    time and half a minute: (name, how); (None, 'not compiled') when a program
    does not build; None when all pass. With `build`, each program is built
    just before its first test (times[' build'] sums the seconds), so a mutant
    caught early costs one link."""
    deadline, pending, running, built = time.time() + budget, list(tests), [], set()
    try:
        while pending or running:
            while pending and len(running) < jobs:
                t, start = pending.pop(0), time.time()
                compiled = not build or builds(build, set(t["targets"]) - built, jobs)
                deadline += time.time() - start  # the budget is the tests'
                times[" build"] = times.get(" build", 0) + time.time() - start
                if not compiled:
                    return None, "not compiled"
                built.update(t["targets"])
                running.append((t, time.time(), subprocess.Popen(t["command"], cwd=t["cwd"], env=t["env"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)))
            time.sleep(0.002)
            for entry in list(running):
                t, started, p = entry
                if p.poll() is None and time.time() > min(deadline, started + 3 * t.get("time", budget) + 30):
                    return t["name"], "time limit"
                if p.poll() is not None:
                    running.remove(entry)
                    times[t["name"]] = time.time() - started
                    if (p.returncode not in (0, t["skip"])) != t["will_fail"]:
                        return t["name"], "exit %d" % p.returncode
        return None
    finally:
        for _, _, p in running:
            end_session(p.pid)
            p.wait()


def end_session(session):
    """Kills every process of a test's session: timeout(1) and Wine move theirs to groups of their own."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                if int(f.read().rsplit(")", 1)[1].split()[3]) == session:
                    os.kill(int(pid), signal.SIGKILL)
        except (OSError, ValueError, IndexError):
            pass


# ---- A run ---------------------------------------------------------------------------


def try_mutant(m, build, suite, jobs, budget, killers):
    """The verdict on one mutant. The file is the original again afterwards
    whatever happens; should the process die, the next run puts the backup back."""
    path, backup = os.path.join(ROOT, m["file"]), os.path.join(WORK, "backup", m["file"])
    with open(path, encoding="utf-8", newline="") as f:
        original = f.read()
    lines = original.splitlines(keepends=True)
    for n, text in m["edit"].items():
        lines[int(n)] = text
    os.makedirs(os.path.dirname(backup), exist_ok=True)
    with open(backup, "w", encoding="utf-8", newline="") as f:
        f.write(original)
    try:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write("".join(lines))
        # The tests that caught this file's mutants lately first, then its folder's, then the quick ones.
        recent, folder = killers.get(m["file"], []), m["file"].split("/")[0]
        tests = sorted((t for t in suite if m["file"] in t["files"]), key=lambda t: (
            recent.index(t["name"]) if t["name"] in recent else len(recent), folder not in " ".join(t["command"]),
            t["time"]))
        began, times = time.time(), {}
        failed = first_failure(tests, jobs, budget(tests), times, build)
        verdict = "survived" if not failed else "not compiled" if failed[0] is None else "caught"
        if verdict == "caught":
            killers[m["file"]] = [failed[0]] + [k for k in recent if k != failed[0]][:9]
        by = "%s (%s)" % failed if verdict == "caught" else ""
        spent = times.get(" build", 0)
        return {"verdict": verdict, "by": by, "build": round(spent, 1), "test": round(time.time() - began - spent, 1)}
    finally:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(original)
        os.remove(backup)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("files", nargs="*", help="files or folders to mutate (default: the product)")
    ap.add_argument("--sample", type=int, help="try this many mutants, drawn at random")
    ap.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    ap.add_argument("--resume", action="store_true", help="keep the verdicts of build/mutate/state-BUILD.json")
    ap.add_argument("--jobs", type=int, default=1, help="build jobs and tests at once (default 1)")
    ap.add_argument("--build-dir", default="build/native", help="the build (default build/native)")
    ap.add_argument("--ctest", default="-LE corpus|package", help="ctest's selection of tests (default: %(default)s)")
    ap.add_argument("--timeout", type=float, help="seconds a mutant's tests may take (default: 3 times theirs + 30)")
    ap.add_argument("--list", action="store_true", help="count the mutants per folder, run none")
    args = ap.parse_args()
    for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):  # each ends a run the way Ctrl-C does
        signal.signal(stop, signal.default_int_handler)
    os.makedirs(WORK, exist_ok=True)
    lock = open(os.path.join(WORK, "lock"), "w")
    try:  # one run at a time: a run puts its mutants into the sources themselves
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        sys.exit("mutate: another run is mutating the sources; wait for it or stop it")
    for folder, _, names in os.walk(os.path.join(WORK, "backup")):  # left by a run that died mid-mutant
        for name in names:
            original = os.path.relpath(os.path.join(folder, name), os.path.join(WORK, "backup"))
            os.replace(os.path.join(folder, name), os.path.join(ROOT, original))
            os.utime(os.path.join(ROOT, original))  # newer than what the build made of the mutant
            print("mutate: restored %s, left mutated by an interrupted run" % original, file=sys.stderr)
    files = set()
    for item in [os.path.relpath(os.path.abspath(a), ROOT) for a in args.files] or PRODUCT:
        files.update([item] if os.path.isfile(os.path.join(ROOT, item)) else
                     (os.path.relpath(os.path.join(d, n), ROOT) for d, _, ns in os.walk(os.path.join(ROOT, item))
                      for n in ns if n.endswith((".cpp", ".h"))))
    mutants = [m for f in sorted(files) if args.files or not f.startswith(LEFT_OUT) for m in mutants_of(f)]
    if args.list:
        for folder in sorted({m["file"].split("/")[0] for m in mutants}):
            print("%s: %d mutants" % (folder, sum(m["file"].startswith(folder + "/") for m in mutants)))
        return print("total: %d mutants" % len(mutants))

    build = os.path.join(ROOT, args.build_dir)
    suite = load_suite(build, shlex.split(args.ctest), args.jobs)
    reached = set().union(*(t["files"] for t in suite))
    if unreached := sorted({m["file"] for m in mutants} - reached):
        print("mutate: no test of %s reaches %s: left out" % (args.build_dir, " ".join(unreached)), file=sys.stderr)
    mutants = [m for m in mutants if m["file"] in reached]
    if args.sample:
        mutants = random.Random(args.seed).sample(mutants, min(args.sample, len(mutants)))
    mutants.sort(key=lambda m: (m["file"], m["line"], m["op"], m["occ"]))

    state_path = os.path.join(WORK, "state-%s.json" % os.path.basename(os.path.normpath(build)))
    state = {"verdicts": {}, "times": {}}
    if args.resume and os.path.exists(state_path):
        with open(state_path) as f:
            state = json.load(f)
    if not state["times"] and (failed := first_failure(suite, args.jobs, 3600, state["times"])):
        return sys.exit("mutate: %s fails unmutated: %s (%s)" % (args.build_dir, *failed))
    for t in suite:
        t["time"] = state["times"].get(t["name"], 1.0)
    budget = lambda tests: args.timeout or 3 * sum(t["time"] for t in tests) / args.jobs + 30
    killers, verdicts, started = {}, state["verdicts"], time.time()
    try:
        for i, m in enumerate(mutants):
            if key(m) not in verdicts:
                verdicts[key(m)] = try_mutant(m, build, suite, args.jobs, budget, killers)
                with open(state_path + ".new", "w") as f:
                    json.dump(state, f)
                os.replace(state_path + ".new", state_path)
            v = verdicts[key(m)]
            print("[%d/%d] %s:%d: %s: %s%s (build %.1f s, tests %.1f s)" % (
                i + 1, len(mutants), m["file"], m["line"], m["op"], v["verdict"], v["by"] and " by " + v["by"],
                v["build"], v["test"]), file=sys.stderr)
    except KeyboardInterrupt:
        return sys.exit("mutate: interrupted; the sources are as they were, and --resume goes on")
    report(mutants, verdicts)
    print("mutate: %d mutants of %s in %.0f s" % (len(mutants), args.build_dir, time.time() - started), file=sys.stderr)


def report(mutants, verdicts):
    equivalents, totals = {}, {}
    with open(EQUIVALENT, encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                file, op, text, _ = line.rstrip("\n").split("\t")
                equivalents[(file, op if "#" in op else op + "#0", text.strip())] = True
    for m in mutants:
        verdict, listed = verdicts[key(m)]["verdict"], (m["file"], "%s#%d" % (m["op"], m["occ"]), m["text"])
        if listed in equivalents and verdict == "caught":
            print("%s:%d: stale equivalent: %s is caught now" % (m["file"], m["line"], listed[1]))
        elif listed in equivalents and verdict == "survived":
            verdict = "equivalent"
        elif verdict == "survived":
            print("%s:%d: %s: %s" % (m["file"], m["line"], m["op"], " / ".join(t.strip() for t in m["edit"].values())))
        for scope in (m["file"].split("/")[0], "total"):
            totals.setdefault(scope, {}).setdefault(verdict, 0)
            totals[scope][verdict] += 1
    for file, op, text in equivalents:
        path = os.path.join(ROOT, file)
        if not os.path.exists(path) or text not in (line.strip() for line in open(path, encoding="utf-8")):
            print("%s: stale equivalent: %s: the line is gone: %s" % (file, op, text))
    for scope in sorted(totals, key=lambda s: (s == "total", s)):
        n = {v: totals[scope].get(v, 0) for v in ("caught", "equivalent", "survived", "not compiled")}
        print("%s: mutants: %d, caught: %d, equivalent: %d, survived: %d, score: %.1f%% (not compiled: %d)" % (
            scope, n["caught"] + n["equivalent"] + n["survived"], n["caught"], n["equivalent"], n["survived"],
            100.0 * n["caught"] / max(1, n["caught"] + n["survived"]), n["not compiled"]))


if __name__ == "__main__":
    main()
