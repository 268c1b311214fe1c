#!/usr/bin/env python3
"""A/B of hexbin_bench between two commits, for the rule that no change makes
a case slower.

    scripts/bench-ab.py BASE [FILTER] [--rounds N] [--repetitions N] [--build-only]

Builds hexbin_bench at BASE and at HEAD (their trees from git archive, in
build/ab/base and build/ab/head, configured as the native preset without the
sanitizers; kept while the commit stays the same), then runs the two on
build/bench/random.bin alternately, N rounds (default 5), base first in odd
rounds and head first in even ones; each run times every case that both
builds have and FILTER (a Python regular expression searched in the case's
name, default every case) selects, once or --repetitions times interleaved.
Prints for each case the ratio of base's time to head's (above 1, head is
faster): the median over the rounds, the least and greatest, and the ratio of
the two builds' best times; then each workload's median over its cases, and
the spread over all cases. The times go to build/ab/times.json. Run it alone
on the machine, as a benchmark, within one sitting; every case of both takes
some 25 minutes for 5 rounds, so split it by FILTER (for example
'/(4KiB|1MiB)/' and '/64MiB/').
"""

import argparse
import json
import os
import re
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the runs and the random bytes of make bench)

AB = os.path.join(bench.ROOT, "build", "ab")


def git(*args):
    return subprocess.run(["git", "-C", bench.ROOT] + list(args), check=True, capture_output=True, text=True).stdout.strip()


def build(label, rev):
    """hexbin_bench of commit rev, built in build/ab/<label>; its path."""
    commit = git("rev-parse", rev + "^{commit}")
    # The last commit that changed what the build reads: a later one that
    # changed only the documents needs no new build.
    inputs = git("log", "-1", "--format=%H", commit, "--", "src", "bench", "tests", "cmake", "CMakeLists.txt")
    d = os.path.join(AB, label)
    exe = os.path.join(d, "build", "bin", "hexbin_bench")
    stamp = os.path.join(d, "commit")
    if not (os.path.exists(exe) and os.path.exists(stamp) and open(stamp).read() == inputs):
        subprocess.run(["rm", "-rf", d], check=True)
        os.makedirs(os.path.join(d, "src"))
        subprocess.run("git -C '%s' archive %s | tar -x -C '%s'" % (bench.ROOT, commit, os.path.join(d, "src")), shell=True, check=True)
        subprocess.run(["cmake", "-S", os.path.join(d, "src"), "-B", os.path.join(d, "build"), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_COMPILER=g++"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", os.path.join(d, "build"), "--target", "hexbin_bench"], check=True, stdout=subprocess.DEVNULL)
        with open(stamp, "w") as f:
            f.write(inputs)
    print("ab: %s is %s (%s)" % (label, commit[:10], git("log", "-1", "--format=%s", commit)), flush=True)
    return exe


def main():
    parser = argparse.ArgumentParser(description="A/B of hexbin_bench between BASE and HEAD (see the script's head)")
    parser.add_argument("base")
    parser.add_argument("filter", nargs="?")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repetitions", type=int, default=1, help="of every case in each run, interleaved; its median counts")
    parser.add_argument("--build-only", action="store_true")
    args = parser.parse_args()
    exes = {"base": build("base", args.base), "head": build("head", "HEAD")}
    if args.build_only:
        return
    os.makedirs(bench.WORK, exist_ok=True)
    random_path = os.path.join(bench.WORK, "random.bin")
    bench.write_random(random_path)
    # Only the cases both builds have (and FILTER selects), by their full names.
    names = [set(bench.run([exes[label], random_path, "--benchmark_list_tests"]).split()) for label in exes]
    common = [n for n in sorted(names[0] & names[1]) if not args.filter or re.search(args.filter, n)]
    if not common:
        sys.exit("ab: the two builds have no case in common that FILTER selects")
    extra = ["--benchmark_filter=^(%s)$" % "|".join(re.escape(n) for n in common)]
    times = {"base": [], "head": []}
    for r in range(args.rounds):
        for label in ("base", "head") if r % 2 == 0 else ("head", "base"):
            print("ab: round %d of %d, %s" % (r + 1, args.rounds, label), flush=True)
            times[label].append(bench.run_bench(random_path, args.repetitions, exes[label], "ab-" + label, extra)[1])
    with open(os.path.join(AB, "times.json"), "w") as f:
        json.dump(times, f)
    names = sorted(set.intersection(*(set(t) for t in times["base"] + times["head"])))
    medians, bests, by_work = {}, {}, {}
    print("\n%-52s %7s %7s %7s %7s   base time / head time, %d rounds" % ("case", "median", "least", "most", "best", args.rounds))
    for name in names:
        ratios = [b[name]["s"] / h[name]["s"] for b, h in zip(times["base"], times["head"])]
        medians[name] = statistics.median(ratios)
        bests[name] = min(b[name]["s"] for b in times["base"]) / min(h[name]["s"] for h in times["head"])
        by_work.setdefault(name.split("/")[1], []).append(name)
        print("%-52s %7.3f %7.3f %7.3f %7.3f" % (name, medians[name], min(ratios), max(ratios), bests[name]))
    print("\n%-24s %7s %7s %7s %7s   of its cases' medians; best: the median of its cases' bests" % (
        "workload", "median", "least", "most", "best"))
    for work, ns in sorted(by_work.items()):
        ms = [medians[n] for n in ns]
        print("%-24s %7.3f %7.3f %7.3f %7.3f" % (work, statistics.median(ms), min(ms), max(ms), statistics.median(bests[n] for n in ns)))
    for what, figures in (("medians", medians), ("bests", bests)):
        ms = sorted(figures.values())
        print("all %d cases' %s: median %.3f, least %.3f, most %.3f, middle 90 %% %.3f to %.3f" % (
            len(ms), what, statistics.median(ms), ms[0], ms[-1], ms[len(ms) // 20], ms[-1 - len(ms) // 20]))

if __name__ == "__main__":
    main()
