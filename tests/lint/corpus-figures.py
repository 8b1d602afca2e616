#!/usr/bin/env python3
"""Runs corvina-ppd --lint --json over every PPD of the unpacked corpus and
prints the findings per class, the files with the most findings and the first
finding of each class (for checking by hand).

usage: corpus-figures.py TOOL [CORPUS_DIR] [JOBS]"""
import collections
import concurrent.futures
import json
import os
import subprocess
import sys


def code_page(path):
    with open(path, "rb") as f:
        for line in f:
            if line.startswith(b"*LanguageEncoding:"):
                return "932" if b"JIS83-RKSJ" in line else "1252"
    return "1252"


def lint(tool, path):
    run = subprocess.run([tool, "--lint", "--json", "--codepage", code_page(path), path],
                         capture_output=True)
    return path, run.returncode, run.stdout


def main():
    tool = sys.argv[1]
    root = sys.argv[2] if len(sys.argv) > 2 else "build/ppd-corpus"
    jobs = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs if f.endswith(".ppd"))
    counts, in_files, totals, examples, exits = (collections.Counter(), collections.Counter(), [], {},
                                                 collections.Counter())
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for path, code, out in pool.map(lambda p: lint(tool, p), files):
            exits[code] += 1
            findings = json.loads(out)["findings"] if code in (0, 3) else []
            totals.append((len(findings), path))
            for kind in {f["class"] for f in findings}:
                in_files[kind] += 1
            for f in findings:
                counts[f["class"]] += 1
                examples.setdefault(f["class"], (path, f["line"], f["reason"]))
    print(f"{len(files)} files; exit codes {dict(exits)}")
    for kind, n in sorted(counts.items(), key=lambda kv: -kv[1]):
        print(f"  {kind:24} {n:9} findings in {in_files[kind]:5} files")
    print(f"  {'all':24} {sum(counts.values()):9}")
    for n, path in sorted(totals, key=lambda t: (-t[0], t[1]))[:5]:
        print(f"  most: {n:6} {path}")
    for kind, (path, line, reason) in sorted(examples.items()):
        print(f"  first {kind}: {path}:{line}: {reason}")


if __name__ == "__main__":
    main()
