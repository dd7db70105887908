#!/usr/bin/env python3
"""Planted-fault (mutation) check of the engine and framework libraries.

One-operator faults are planted one at a time in the library sources of a
tree, the library and the test executables that link it are rebuilt, and the
tests run against each fault. A fault is caught when a test fails (or runs
past the time-out), it survives when every test passes, and it is stillborn
when the tree no longer builds (it is then not counted).

  scripts/mutate.py plan --tree DIR --seed 16 --count 40 --out plan.json
      orders candidate faults at random (seeded) among the operators of the
      library sources of DIR; a run plants them in that order until `count`
      of them build.
  scripts/mutate.py run --tree DIR --build BUILD --plan plan.json --out result.json
      plants each fault of the plan in DIR (a copy of the sources made for
      this: never a working tree), builds in BUILD and runs the tests.
      A plan made on another tree is carried over line by line: each fault
      goes to the most similar line holding the same operator, and with
      --same-as BEFORE.json exactly the faults counted before are planted:
      the same faults are compared before and after a change of the sources.
  scripts/mutate.py report result.json [more.json ...]

The build directory must be configured for DIR (cmake -S DIR -B BUILD -G
Ninja). Everything runs at the lowest priority (nice 19). The source file is
restored after each fault, also on an interrupt; a crash leaves a
`<file>.unmutated` copy that the next run puts back before it starts.
"""
import argparse
import difflib
import json
import os
import random
import re
import signal
import subprocess
import sys
import time

LIB_DIRS = ["engine", "framework"]
# Operator swaps. Binary operators must stand between blanks (clang-format
# writes them so), which leaves out template brackets, unary minus, pointers.
SWAPS = {
    "==": "!=", "!=": "==",
    "<": "<=", "<=": "<", ">": ">=", ">=": ">",
    "&&": "||", "||": "&&",
    "+": "-", "-": "+",
    "+=": "-=", "-=": "+=",
}
OP_RE = re.compile(r"(?<= )(==|!=|<=|>=|&&|\|\||\+=|-=|<|>|\+|-)(?= )")


def library_sources(tree):
    out = []
    for d in LIB_DIRS:
        folder = os.path.join(tree, d)
        for name in sorted(os.listdir(folder)):
            if name.endswith(".cpp") and not name.endswith("_test.cpp"):
                out.append(os.path.join(d, name))
    return out


def code_part(line):
    """The line with string and character literals blanked and the comment
    cut, so that operators inside them are never picked."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def sites_of_line(line):
    stripped = line.lstrip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*")):
        return []
    code = code_part(line)
    sites = []
    for m in OP_RE.finditer(code):
        op = m.group(1)
        # "text" + x joins texts: a minus there never builds.
        if op in ("+", "+=") and (code[m.start() - 2:m.start() - 1] == '"' or
                                  code[m.end() + 1:m.end() + 2] == '"'):
            continue
        sites.append((m.start(), op))
    return sites


def plan(args):
    sites = []
    for rel in library_sources(args.tree):
        with open(os.path.join(args.tree, rel), encoding="utf-8") as f:
            for number, line in enumerate(f.read().split("\n"), 1):
                for col, op in sites_of_line(line):
                    sites.append((rel, number, col, op))
    rng = random.Random(args.seed)
    # A seeded order of candidates: a run takes them in this order until it
    # has `count` faults that build (a swap may not compile).
    chosen = rng.sample(sites, min(len(sites), args.count * 4))
    faults = []
    for k, (rel, number, col, op) in enumerate(chosen, 1):
        with open(os.path.join(args.tree, rel), encoding="utf-8") as f:
            line = f.read().split("\n")[number - 1]
        faults.append({"id": k, "file": rel, "line": number, "col": col, "op": op,
                       "to": SWAPS[op], "text": line})
    with open(args.out, "w") as f:
        json.dump({"seed": args.seed, "sites": len(sites), "faults": faults}, f, indent=1)
    print(f"{len(sites)} operator sites, {len(faults)} faults planned -> {args.out}")


def locate(tree, fault, cache):
    """Where the fault's line is in this tree: (file, line, col) or None."""
    path = os.path.join(tree, fault["file"])
    if os.path.exists(path):
        lines = cache.setdefault(fault["file"], open(path, encoding="utf-8").read().split("\n"))
        n = fault["line"]
        if n <= len(lines) and lines[n - 1] == fault["text"]:
            return fault["file"], n, fault["col"]
    if os.path.exists(path):
        # The same line moved within its file: the nearest copy of it.
        same = [n for n, line in enumerate(lines, 1) if line == fault["text"]]
        if same:
            n = min(same, key=lambda k: abs(k - fault["line"]))
            return fault["file"], n, fault["col"]
    want = fault["text"].strip()
    best = None
    for rel in library_sources(tree):
        lines = cache.setdefault(rel, open(os.path.join(tree, rel), encoding="utf-8").read().split("\n"))
        for number, line in enumerate(lines, 1):
            ops = [s for s in sites_of_line(line) if s[1] == fault["op"]]
            if not ops:
                continue
            ratio = difflib.SequenceMatcher(None, want, line.strip()).ratio()
            if want in line:  # the old line became part of a longer one
                ratio = max(ratio, 0.95)
            same = rel == fault["file"]
            key = (ratio, same, -abs(number - fault["line"]))
            if best is None or key > best[0]:
                # The operator at the same place among the line's operators.
                old_ops = [s for s in sites_of_line(fault["text"]) if s[1] == fault["op"]]
                rank = [s[0] for s in old_ops].index(fault["col"]) if fault["col"] in [s[0] for s in old_ops] else 0
                col = ops[min(rank, len(ops) - 1)][0]
                best = (key, rel, number, col)
    if best is None or best[0][0] < 0.6:
        return None
    return best[1], best[2], best[3]


def run_cmd(cmd, timeout, cwd=None):
    try:
        p = subprocess.run(["nice", "-n", "19"] + cmd, cwd=cwd, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=timeout)
        return p.returncode, p.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired as e:
        return "timeout", (e.stdout or b"").decode(errors="replace")


def test_targets(build):
    out = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], stdout=subprocess.PIPE,
                         check=True).stdout.decode()
    targets = []
    for line in out.split("\n"):
        name = line.split(":")[0]
        if "/" in name and name.split("/")[0] in LIB_DIRS and name.endswith("_test"):
            targets.append(name)
    return sorted(set(targets))


def restore_leftovers(tree):
    for rel in library_sources(tree):
        saved = os.path.join(tree, rel) + ".unmutated"
        if os.path.exists(saved):
            os.replace(saved, os.path.join(tree, rel))
            print(f"restored {rel} from an interrupted run")


def run(args):
    with open(args.plan) as f:
        p = json.load(f)
    tree, build = os.path.abspath(args.tree), os.path.abspath(args.build)
    restore_leftovers(tree)
    targets = test_targets(build)
    rc, out = run_cmd(["cmake", "--build", build, "-j2", "--target"] + targets, 3600)
    if rc != 0:
        sys.exit("the unmutated tree does not build:\n" + out[-3000:])
    results = []
    cache = {}
    only = None
    if args.same_as:
        with open(args.same_as) as f:
            only = {r["id"] for r in json.load(f)["results"] if r["status"] in ("caught", "survived")}

    def stop(*_):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    started = time.time()
    for fault in p["faults"]:
        if only is not None and fault["id"] not in only:
            continue
        if sum(r["status"] in ("caught", "survived") for r in results) >= args.count:
            break
        where = locate(tree, fault, cache)
        r = dict(fault)
        if where is None:
            r["status"] = "unplaced"
            results.append(r)
            print(f"#{fault['id']:2} {fault['file']}:{fault['line']} not found in this tree")
            continue
        rel, number, col = where
        r.update({"at_file": rel, "at_line": number, "at_col": col})
        path = os.path.join(tree, rel)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        line = lines[number - 1]
        assert line[col:col + len(fault["op"])] == fault["op"], (rel, number, line)
        lines[number - 1] = line[:col] + fault["to"] + line[col + len(fault["op"]):]
        r["mutant"] = lines[number - 1].strip()
        stamp = time.time()
        os.replace(path, path + ".unmutated")
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            rc, out = run_cmd(["cmake", "--build", build, "-j2", "--target"] + targets, 900)
            if rc != 0:
                r["status"] = "stillborn"
            else:
                # The executables that link the changed library were relinked.
                fresh = [t for t in targets if os.path.getmtime(os.path.join(build, t)) >= stamp]
                here = os.path.splitext(os.path.basename(rel))[0]
                fresh.sort(key=lambda t: -len(os.path.commonprefix([here, os.path.basename(t)])))
                r["status"] = "survived"
                r["tests"] = len(fresh)
                for t in fresh:
                    rc, out = run_cmd([os.path.join(build, t), "--gtest_brief=1"], args.timeout,
                                      cwd=os.path.dirname(os.path.join(build, t)))
                    if rc != 0:
                        r["status"] = "caught"
                        r["by"] = os.path.basename(t) + (" (time-out)" if rc == "timeout" else "")
                        break
        finally:
            os.replace(path + ".unmutated", path)
            os.utime(path)  # newer than the mutant's object: the next build redoes it
        results.append(r)
        print(f"#{fault['id']:2} {r['status']:9} {rel}:{number}  {fault['op']} -> {fault['to']}  "
              f"{r.get('by', '')}  [{time.time() - started:.0f} s]", flush=True)
        with open(args.out, "w") as f:
            json.dump({"plan": args.plan, "results": results}, f, indent=1)
    # Leave the build matching the sources again.
    run_cmd(["cmake", "--build", build, "-j2", "--target"] + targets, 3600)
    with open(args.out, "w") as f:
        json.dump({"plan": args.plan, "results": results}, f, indent=1)
    report_one(args.out)


def report_one(path):
    with open(path) as f:
        results = json.load(f)["results"]
    counted = [r for r in results if r["status"] in ("caught", "survived")]
    caught = [r for r in counted if r["status"] == "caught"]
    equivalent = [r for r in counted if r.get("equivalent")]
    print(f"{path}: {len(caught)} of {len(counted)} caught"
          + (f" ({100 * len(caught) / len(counted):.0f}%)" if counted else "")
          + f"; stillborn {sum(r['status'] == 'stillborn' for r in results)}"
          + f", unplaced {sum(r['status'] == 'unplaced' for r in results)}")
    if equivalent:
        real = len(counted) - len(equivalent)
        print(f"  without the {len(equivalent)} that make no difference: {len(caught)} of {real}"
              f" ({100 * len(caught) / real:.0f}%)")
    for r in results:
        if r["status"] != "caught":
            print(f"  #{r['id']:2} {r['status']:9} {r.get('at_file', r['file'])}:"
                  f"{r.get('at_line', r['line'])}  {r['op']} -> {r['to']}  {r.get('mutant', '')}"
                  + ("  [no difference: " + r["equivalent"] + "]" if r.get("equivalent") else ""))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="cmd", required=True)
    a = sub.add_parser("plan")
    a.add_argument("--tree", required=True)
    a.add_argument("--seed", type=int, default=16)
    a.add_argument("--count", type=int, default=40)
    a.add_argument("--out", required=True)
    b = sub.add_parser("run")
    b.add_argument("--tree", required=True)
    b.add_argument("--build", required=True)
    b.add_argument("--plan", required=True)
    b.add_argument("--out", required=True)
    b.add_argument("--timeout", type=int, default=180, help="seconds per test executable")
    b.add_argument("--count", type=int, default=40, help="faults to plant that build")
    b.add_argument("--same-as", help="results of an earlier run: plant exactly the faults it counted")
    c = sub.add_parser("report")
    c.add_argument("results", nargs="+")
    args = ap.parse_args()
    if args.cmd == "plan":
        plan(args)
    elif args.cmd == "run":
        run(args)
    else:
        for path in args.results:
            report_one(path)


if __name__ == "__main__":
    main()
