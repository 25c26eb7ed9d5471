#!/usr/bin/env python3
"""Mutation audit: makes realistic one-line faults in the code, one at a time, builds
the program and the test binary, runs the tests that should notice, and prints a table
of which faults the tests caught. See docs/testing.md.

    python3 scripts/mutate.py [--build build] [--match TEXT] [--whole] [LIST...]

LIST files (default: every scripts/mutations/*.txt) hold one mutation a line:

    FILE | ORIGINAL | REPLACEMENT | TESTS

ORIGINAL must occur exactly once in FILE (\\n stands for a line break). TESTS says what runs: a GoogleTest filter
(`OutputSafetyTest.*:MergeTest.*`), `ctest:REGEX` for CTest tests (Python, system
tests), or `cmd:COMMAND` run by the shell in the build folder. Blank lines and lines
starting with # are skipped; `## AREA` starts an area of the table. A mutation whose
build fails is listed as such and counts neither way. Every file is restored, also
when the script is interrupted."""
import argparse
import glob
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(paths):
    mutations, area = [], "-"
    for path in paths:
        with open(path) as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\n")
                if line.startswith("## "):
                    area = line[3:].strip()
                    continue
                if not line.strip() or line.startswith("#"):
                    continue
                parts = [p.strip().replace("\\n", "\n") for p in line.split(" | ")]
                if len(parts) != 4:
                    sys.exit(f"{path}:{number}: expected FILE | ORIGINAL | REPLACEMENT | TESTS")
                mutations.append({"where": f"{os.path.basename(path)}:{number}", "area": area, "file": parts[0],
                                  "original": parts[1], "replacement": parts[2], "tests": parts[3]})
    return mutations


def run(command, cwd, timeout, env=None):
    try:
        done = subprocess.run(command, cwd=cwd, shell=isinstance(command, str), capture_output=True, text=True,
                              timeout=timeout, env=env)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return None, "timed out"


def build(build_dir, timeout, everything=False):
    """The program and the test binary; everything (the Python module too) for CTest's tests."""
    target = [] if everything else ["--target", "frameprobe_tests"]
    code, output = run(["cmake", "--build", build_dir, "-j2"] + target, ROOT, timeout)
    return code == 0, output


def tests_pass(mutation, build_dir, timeout):
    tests = mutation["tests"]
    if tests.startswith("ctest:"):
        command = ["ctest", "--test-dir", build_dir, "-R", tests[6:], "--output-on-failure"]
    elif tests.startswith("cmd:"):
        command = tests[4:]
    else:
        command = [os.path.join(build_dir, "tests", "frameprobe_tests"), "--gtest_filter=" + tests, "--gtest_brief=1"]
    code, _ = run(command, build_dir, timeout)
    return code == 0  # a timeout counts as caught: the tests did not pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("lists", nargs="*", help="mutation lists (default scripts/mutations/*.txt)")
    parser.add_argument("--build", default="build", help="a configured build folder (default build)")
    parser.add_argument("--match", default="", help="only mutations whose file, area or text holds this")
    parser.add_argument("--whole", action="store_true", help="run the whole suite (ctest) on the survivors too")
    parser.add_argument("--timeout", type=float, default=900, help="seconds for a build or a test run")
    args = parser.parse_args()
    lists = args.lists or sorted(glob.glob(os.path.join(ROOT, "scripts", "mutations", "*.txt")))
    build_dir = os.path.abspath(os.path.join(ROOT, args.build) if not os.path.isabs(args.build) else args.build)
    mutations = [m for m in parse(lists)
                 if args.match in m["file"] or args.match in m["area"] or args.match in m["original"]]

    originals = {}
    for m in mutations:
        path = os.path.join(ROOT, m["file"])
        if path not in originals:
            with open(path) as f:
                originals[path] = f.read()
        if originals[path].count(m["original"]) != 1:
            sys.exit(f"{m['where']}: the original text occurs {originals[path].count(m['original'])} times in {m['file']}")

    ok, output = build(build_dir, args.timeout)
    if not ok:
        sys.exit("the unmutated code does not build:\n" + output[-3000:])
    rows = []
    try:
        for i, m in enumerate(mutations, 1):
            path = os.path.join(ROOT, m["file"])
            started = time.time()
            with open(path, "w") as f:
                f.write(originals[path].replace(m["original"], m["replacement"]))
            try:
                built, _ = build(build_dir, args.timeout, m["tests"].startswith("ctest:") or args.whole)
                if not built:
                    result = "does not build"
                elif not tests_pass(m, build_dir, args.timeout):
                    result = "caught"
                elif args.whole and not tests_pass(dict(m, tests="cmd:ctest -j2 -LE system"), build_dir, args.timeout):
                    result = "caught (whole suite)"
                else:
                    result = "SURVIVED"
            finally:
                with open(path, "w") as f:
                    f.write(originals[path])
            rows.append((m, result))
            print(f"[{i}/{len(mutations)}] {result:14} {time.time() - started:5.0f} s  {m['where']} {m['file']}: "
                  f"{m['original']} -> {m['replacement']}", file=sys.stderr, flush=True)
    finally:
        for path, text in originals.items():
            with open(path, "w") as f:
                f.write(text)
        build(build_dir, args.timeout, True)

    def cell(text):
        return text.replace("|", "\\|").replace("\n", " ⏎ ")

    print("| area | file | mutation | result |\n|---|---|---|---|")
    for m, result in rows:
        print(f"| {cell(m['area'])} | {m['file']} | `{cell(m['original'])}` → `{cell(m['replacement'])}` | {result} |")
    counted = [r for _, r in rows if r != "does not build"]
    caught = sum(r.startswith("caught") for r in counted)
    print(f"\n{caught} of {len(counted)} caught ({100 * caught / max(len(counted), 1):.0f} %)"
          + (f"; {len(rows) - len(counted)} did not build" if len(rows) != len(counted) else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
