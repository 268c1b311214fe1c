#!/usr/bin/env python3
"""Runs the benchmark and rewrites docs/PERFORMANCE.md.

    scripts/bench.py [--quick]
    scripts/bench.py --notes   (only puts the notes, edited, into the last tables)

1. Writes 64 MiB of seeded random bytes to build/bench/random.bin.
2. Runs build/native/bin/hexbin_bench on them: every kernel of both
   conversions on every input, warm and cold, and the memset / memcpy
   limits, each case repeated, the repetitions of all cases in random
   order; the median repetition counts.
3. Runs the Windows programs' timing (build/<preset>/bin/hexbin_timing.exe)
   under Wine: the 64-bit one under wine64, and the 32-bit one under the
   32-bit Wine where make setup found that it runs and WIN32 is not off:
   every kernel of each build on the same inputs of 1 MiB.
4. Times other tools on the first 64 MiB of the same bytes: Python's
   bytes.hex / bytes.fromhex and binascii in this process, and xxd and
   basenc as whole processes beside whole-process runs of ours (hexfile:
   the whole file at once as the program works, and for bin2hex also a
   slice at a time as the streaming tools work). Their files are on a tmpfs
   where there is one, so that writing back to disk does not time them.
5. Prints the tables and writes them, with the machine, compiler and date,
   the targets of bench/targets.md as measured and the notes of
   docs/performance-notes.md, to docs/PERFORMANCE.md.
"""

import binascii
import datetime
import json
import os
import platform
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "build", "native", "bin")
WORK = os.path.join(ROOT, "build", "bench")
DOC = os.path.join(ROOT, "docs", "PERFORMANCE.md")
NOTES = os.path.join(ROOT, "docs", "performance-notes.md")
TARGETS = os.path.join(ROOT, "bench", "targets.md")
WINE = os.path.join(ROOT, "scripts", "wine.sh")

MIB = 1 << 20
RANDOM_SIZE = 64 * MIB
TOOL_SIZE = 64 * MIB
SIZES = ["4KiB", "1MiB", "64MiB"]
KERNELS = ["scalar", "ssse3", "avx2", "avx512"]
WORKLOADS = {
    "format": "BytesToHexText, random bytes",
    "parse_layout": "HexTextToBytes, the formatter's text",
    "parse_xxd": "HexTextToBytes, the text of `xxd -p`",
    "parse_od": "HexTextToBytes, the text of `od -An -v -tx1`",
    "parse_python": "HexTextToBytes, the text of Python's `bytes.hex(' ')`",
    "parse_commented": "HexTextToBytes, a text with comment lines holding TABs and UTF-8",
    "parse_loose": "HexTextToBytes, a loose text: runs of 1 to 40 pairs between random separators",
    "parse_loose_commented": "HexTextToBytes, the loose text with `;` comment lines",
    "parse_groups2": "HexTextToBytes, groups of 2 pairs between spaces",
    "parse_groups4": "HexTextToBytes, groups of 4 pairs between spaces",
    "parse_early": "HexTextToBytes, text with a bad character halfway",
}


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def first_line(cmd):
    try:
        out = subprocess.run(cmd, capture_output=True, text=True)
        return (out.stdout or out.stderr).strip().splitlines()[0]
    except (OSError, IndexError):
        return "not found"


def write_random(path):
    if os.path.exists(path) and os.path.getsize(path) == RANDOM_SIZE:
        return
    rng = random.Random(2024)
    with open(path, "wb") as f:
        for _ in range(RANDOM_SIZE // MIB):
            f.write(rng.randbytes(MIB))


def run_bench(random_path, repetitions, exe=os.path.join(BIN, "hexbin_bench"), name="results", extra=()):
    """Runs hexbin_bench (exe) with its output in WORK/<name>.json and its log in
    WORK/<name>.log: the context, and the median repetition of every case."""
    out = os.path.join(WORK, name + ".json")
    cmd = [exe, random_path,
           "--benchmark_out=" + out, "--benchmark_out_format=json",
           "--benchmark_repetitions=%d" % repetitions,
           # Repetitions of all cases in random order: a burst of other work on
           # the machine then spoils one repetition of several cases, not every
           # repetition of one.
           "--benchmark_enable_random_interleaving=true",
           "--benchmark_report_aggregates_only=false"] + list(extra)
    with open(os.path.join(WORK, name + ".log"), "w") as log:
        subprocess.run(cmd, check=True, stdout=log, stderr=subprocess.STDOUT)
    with open(out) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        # convert/format/64MiB/avx2/warm/iterations:8/manual_time -> key
        name = "/".join(p for p in b["run_name"].split("/") if not p.startswith(("iterations:", "manual_time", "min_time:")))
        seconds = b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        runs.setdefault(name, []).append({"s": seconds, "in": b["bytes_in"], "out": b["bytes_out"]})
    # The median repetition of each case (the upper one of an even count).
    best = {name: sorted(rs, key=lambda r: r["s"])[len(rs) // 2] for name, rs in runs.items()}
    return data["context"], best


def best_of(fn, runs=3):
    best = None
    for _ in range(runs):
        t0 = time.perf_counter()
        fn()
        dt = time.perf_counter() - t0
        best = dt if best is None else min(best, dt)
    return best


def time_process(cmd, stdout_path, runs=5):
    def once():
        with open(stdout_path, "wb") as f:
            subprocess.run(cmd, check=True, stdout=f)
    return best_of(once, runs)


def time_tools(random_path):
    """Other tools on the first 64 MiB of the random bytes."""
    with open(random_path, "rb") as f:
        data = f.read(TOOL_SIZE)
    d = tempfile.mkdtemp(prefix="hexbin-tools-", dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else WORK)
    try:
        data_bin = os.path.join(d, "data.bin")
        ours_txt = os.path.join(d, "layout.txt")
        upper_txt = os.path.join(d, "plain_upper.txt")
        out = os.path.join(d, "out")
        with open(data_bin, "wb") as f:
            f.write(data)
        hexfile = os.path.join(BIN, "hexfile")
        subprocess.run([hexfile, "bin2hex", data_bin, ours_txt], check=True)
        spaced = data.hex(" ")
        upper = data.hex().upper().encode()
        with open(upper_txt, "wb") as f:
            f.write(upper)

        def same_bytes(path):
            with open(path, "rb") as f:
                return f.read() == data

        enc, dec = [], []
        enc.append(("Python `bytes.hex(' ')`", "in process", best_of(lambda: data.hex(" "))))
        enc.append(("Python `binascii.hexlify`", "in process", best_of(lambda: binascii.hexlify(data))))
        enc.append(("`xxd -p`", "process", time_process(["xxd", "-p", data_bin], out)))
        enc.append(("`basenc --base16`", "process", time_process(["basenc", "--base16", data_bin], out)))
        ours_enc = {"whole": time_process([hexfile, "bin2hex", data_bin, out], os.devnull),
                    "stream": time_process([hexfile, "--stream", "bin2hex", data_bin, out], os.devnull)}
        with open(out, "rb") as f, open(ours_txt, "rb") as g:
            if f.read() != g.read():
                raise SystemExit("hexfile --stream bin2hex wrote another text than hexfile bin2hex")

        assert bytes.fromhex(spaced) == data and binascii.unhexlify(upper) == data
        dec.append(("Python `bytes.fromhex`", "pairs separated by spaces", "in process", best_of(lambda: bytes.fromhex(spaced))))
        dec.append(("Python `binascii.unhexlify`", "plain uppercase hex", "in process", best_of(lambda: binascii.unhexlify(upper))))
        dec.append(("`xxd -r -p`", "our layout", "process", time_process(["xxd", "-r", "-p", ours_txt], out)))
        if not same_bytes(out):
            raise SystemExit("xxd -r -p did not give back the bytes")
        dec.append(("`basenc -d --base16`", "plain uppercase hex", "process", time_process(["basenc", "-d", "--base16", upper_txt], out)))
        if not same_bytes(out):
            raise SystemExit("basenc -d did not give back the bytes")
        ours_dec = time_process([hexfile, "hex2bin", ours_txt, out], os.devnull)
        if not same_bytes(out):
            raise SystemExit("hexfile hex2bin did not give back the bytes")
    finally:
        shutil.rmtree(d)
    return enc, ours_enc, dec, ours_dec


def gbps(nbytes, seconds):
    return nbytes / seconds / 1e9


def limit_for(best, work, size, temp):
    """The slower of writing the output alone and copying the input."""
    ms = best.get("memset/%s/%s/%s" % (work, size, temp))
    mc = best.get("memcpy/%s/%s/%s" % (work, size, temp))
    cands = [(r["s"], n) for r, n in ((ms, "memset"), (mc, "memcpy")) if r]
    return max(cands) if cands else (None, None)


def conversion_tables(best):
    lines = []
    for work, title in WORKLOADS.items():
        lines.append("### %s\n" % title)
        lines.append("| size | kernel | warm in GB/s | warm out GB/s | × reference | of limit | cold in GB/s | cold out GB/s | of limit |")
        lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|")
        for size in SIZES:
            ref = best.get("convert/%s/%s/scalar/warm" % (work, size))
            for kernel in KERNELS:
                if not any("convert/%s/%s/%s/%s" % (work, size, kernel, t) in best for t in ("warm", "cold")):
                    continue
                row = ["%s" % size, kernel]
                for temp in ("warm", "cold"):
                    r = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
                    if not r:
                        row += ["–", "–"] + (["–"] if temp == "warm" else []) + ["–"]
                        continue
                    row.append("%.2f" % gbps(r["in"], r["s"]))
                    row.append("%.2f" % gbps(r["out"], r["s"]))
                    if temp == "warm":
                        row.append("%.2f" % (ref["s"] / r["s"]) if ref else "–")
                    lim, _ = limit_for(best, work, size, temp)
                    row.append("%.2f" % (lim / r["s"]) if lim else "–")
                lines.append("| " + " | ".join(row) + " |")
        lines.append("")
    return lines


def limit_table(best):
    lines = ["| workload | size | memset of output, warm GB/s | cold GB/s | memcpy of input, warm GB/s | cold GB/s | the limit is |",
             "|---|---|---:|---:|---:|---:|---|"]
    for work in WORKLOADS:
        for size in SIZES:
            row = [work, size]
            for op in ("memset", "memcpy"):
                for temp in ("warm", "cold"):
                    r = best.get("%s/%s/%s/%s" % (op, work, size, temp))
                    row.append("%.2f" % gbps(r["out"], r["s"]) if r else "–")
            _, which = limit_for(best, work, size, "warm")
            row.append(which or "–")
            lines.append("| " + " | ".join(row) + " |")
    return lines


def best_kernel_time(best, work, temp, size="64MiB"):
    times = [best[k]["s"] for k in ("convert/%s/%s/%s/%s" % (work, size, kn, temp) for kn in KERNELS) if k in best]
    return min(times) if times else None


def tools_tables(best, enc, ours_enc, dec, ours_dec):
    fw, fc = best_kernel_time(best, "format", "warm"), best_kernel_time(best, "format", "cold")
    pw, pc = best_kernel_time(best, "parse_layout", "warm"), best_kernel_time(best, "parse_layout", "cold")
    lines = ["Ours in process is the fastest kernel at 64 MiB, warm and cold (medians). Ours as a process is `bench/hexfile`,",
             "which reads the file, converts it and writes the result, timed beside tools that do the same: as the",
             "program works (the whole file in a zero-filled block, the text in another, then written), and for",
             "bin2hex also as the streaming tools work (`--stream`: 64 KiB at a time through two blocks that stay",
             "in cache; the same text). × is the other tool's time over ours: above 1, ours is faster.", "",
             "| bin2hex, 64 MiB | timed as | time ms | ours ms | × ours warm / streaming | × ours cold / whole file |",
             "|---|---|---:|---:|---:|---:|"]
    for name, how, t in enc:
        if how == "process":
            lines.append("| %s | whole process | %.1f | %.1f / %.1f | %.1f | %.1f |" % (
                name, t * 1e3, ours_enc["stream"] * 1e3, ours_enc["whole"] * 1e3, t / ours_enc["stream"], t / ours_enc["whole"]))
        else:
            lines.append("| %s | in process | %.1f | %.1f / %.1f | %.1f | %.1f |" % (name, t * 1e3, fw * 1e3, fc * 1e3, t / fw, t / fc))
    lines += ["", "| hex2bin, 64 MiB | reads | timed as | time ms | ours ms | × ours warm / whole file | × ours cold |",
              "|---|---|---|---:|---:|---:|---:|"]
    for name, form, how, t in dec:
        if how == "process":
            lines.append("| %s | %s | whole process | %.1f | %.1f | %.1f | |" % (name, form, t * 1e3, ours_dec * 1e3, t / ours_dec))
        else:
            lines.append("| %s | %s | in process | %.1f | %.1f / %.1f | %.1f | %.1f |" % (name, form, t * 1e3, pw * 1e3, pc * 1e3, t / pw, t / pc))
    lines.append("")
    lines.append("Ours always reads the formatter's own layout here (`HexTextToBytes` on it, or `hexfile hex2bin`).")
    return lines


def chosen_kernel(best, work, size, temp="warm"):
    """The last kernel with a result: the one cpuid chooses here."""
    present = [k for k in KERNELS if "convert/%s/%s/%s/%s" % (work, size, k, temp) in best]
    return present[-1] if present else None


def pick_kernel(best, work, size, temp, kernel):
    """kernel itself, or the one cpuid chooses here (chosen), or the fastest."""
    if kernel == "fastest":
        present = [k for k in KERNELS if "convert/%s/%s/%s/%s" % (work, size, k, temp) in best]
        return min(present, key=lambda k: best["convert/%s/%s/%s/%s" % (work, size, k, temp)]["s"], default=None)
    return chosen_kernel(best, work, size, temp) if kernel == "chosen" else kernel


def speedup(best, work, size, kernel, temp="warm"):
    ref = best.get("convert/%s/%s/scalar/%s" % (work, size, temp))
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    return ref["s"] / k["s"] if ref and k else None


def of_limit(best, work, size, kernel, temp="warm"):
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    lim, _ = limit_for(best, work, size, temp)
    return lim / k["s"] if k and lim else None


def over_fromhex(best, work, size, kernel, temp, tools):
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    fromhex = [t for n, _, _, t in tools[2] if "fromhex" in n][0]
    return fromhex / k["s"] if k else None


def over_tools(best, work, size, kernel, temp, tools):
    """The least of every other tool's time over ours: in process, the kernel's
    at this warmth; as a process, hexfile's, for bin2hex warm streaming and
    cold the whole file as the program works."""
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    if not k:
        return None
    enc, ours_enc, dec, ours_dec = tools
    if work == "format":
        ours_process = ours_enc["stream" if temp == "warm" else "whole"]
        return min(t / (ours_process if how == "process" else k["s"]) for _, how, t in enc)
    return min(t / (ours_dec if how == "process" else k["s"]) for _, _, how, t in dec)


MEASURES = {
    "× reference": lambda best, w, s, k, t, tools: speedup(best, w, s, k, t),
    "of limit": lambda best, w, s, k, t, tools: of_limit(best, w, s, k, t),
    "× bytes.fromhex": over_fromhex,
    "× tools": over_tools,
}


def read_tables(path):
    """The tables of a Markdown file, each a list of its rows as dicts by its header."""
    tables, header = [], None
    with open(path) as f:
        for line in f:
            if not line.startswith("|"):
                header = None
                continue
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if header is None:
                header = cells
                tables.append([])
            elif not set(cells[0]) <= set("-: "):
                tables[-1].append(dict(zip(header, cells)))
    return tables


def target_cases(row, sets, best, win32):
    """Every case a target names, with its figure where one was measured."""
    kernel, results = row["kernel"], best
    if kernel.startswith("win32:"):
        kernel, results = kernel[len("win32:"):].strip(), win32 or {}
    for work in sets.get(row["workload"], [row["workload"]]):
        for size in SIZES if row["size"] == "every" else [row["size"]]:
            for temp in ("warm", "cold") if row["warmth"] == "both" else [row["warmth"]]:
                kernels = KERNELS[1:] if kernel == "every" else [pick_kernel(results, work, size, temp, kernel)]
                for k in kernels:
                    yield "%s %s %s %s" % (work, size, k, temp), MEASURES[row["measure"]](results, work, size, k, temp, row["tools"])


def targets(best, win32, tools):
    lines = ["The targets are the rows of `bench/targets.md`, which says what each column means. A row's figure",
             "is the least over every case it names (the case is given where there are several). A kernel this",
             "processor lacks has no figure, and where no case has one the target is *not measured*. Each figure",
             "is the median of its repetitions.", "",
             "| workload | size | kernel | warmth | measure | target | aim | measured | least at | met |",
             "|---|---|---|---|---|---:|---:|---:|---|---|"]
    set_rows, rows = read_tables(TARGETS)
    sets = {r["set"]: r["workloads"].split() for r in set_rows}
    sets["every"] = list(WORKLOADS)
    for row in rows:
        row["tools"] = tools
        cases = [(v, name) for name, v in target_cases(row, sets, best, win32) if v is not None]
        value, where = min(cases) if cases else (None, "")
        # Three digits, so that none is rounded across the line its target draws.
        shown = "" if value is None else "%.3f" % value
        met = "*not measured*" if value is None else "yes" if value >= float(row["threshold"]) else "**no**"
        lines.append("| %s | %s | %s | %s | %s | ≥ %s | %s | %s | %s | %s |" % (
            row["workload"], row["size"], row["kernel"], row["warmth"], row["measure"], row["threshold"], row["aim"],
            shown, where if len(cases) > 1 else "", met))
    return lines


def machine(context):
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    try:
        mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / (1 << 30)
    except (ValueError, OSError):
        mem = 0
    caches = ", ".join("L%d %s %d KiB" % (c["level"], c["type"].lower(), c["size"] // 1024) for c in context.get("caches", []))
    return [
        "- Date: %s" % datetime.datetime.now().strftime("%Y-%m-%d %H:%M %Z").strip(),
        "- Processor: %s, %d logical cores at %.0f MHz; %s" % (model, context.get("num_cpus", 0), context.get("mhz_per_cpu", 0), caches),
        "- Memory: %.0f GiB; system: %s %s" % (mem, platform.system(), platform.release()),
        "- Compiler: %s, CMake RelWithDebInfo (-O2 -g), the `native` preset's plain core (no sanitizers)" % first_line(["g++", "--version"]),
        "- Kernel chosen by cpuid on this machine: %s" % first_line([os.path.join(BIN, "hexfile"), "--kernel"]),
        "- Other tools: Python %s; %s; %s" % (platform.python_version(), first_line(["xxd", "--version"]), first_line(["basenc", "--version"])),
    ]


def timing_program(preset):
    return os.path.join(ROOT, "build", preset, "bin", "hexbin_timing.exe")


def timing_skip_reason(preset):
    """Why a Windows build's timing does not run here, or None where it does."""
    if preset == "win32":
        if os.environ.get("WIN32", "on") == "off":
            return "WIN32=off"
        try:
            with open(os.path.join(ROOT, "build", "wine32", "status")) as f:
                status = f.read().strip()
        except OSError:
            status = "make setup has not looked"
        if status != "ok":
            return status
    return None if os.path.exists(timing_program(preset)) else "build/%s/bin/hexbin_timing.exe is not built" % preset


def run_timing(preset, random_path):
    """A Windows build's timing under Wine (wine.sh picks the loader): its cases
    as run_bench gives them, or None and the reason it did not run."""
    reason = timing_skip_reason(preset)
    if reason:
        return None, reason
    prefix = os.path.join(ROOT, "build", preset, "wineprefix")
    try:
        out = run([WINE, "run", prefix, timing_program(preset), os.path.relpath(random_path, ROOT)], cwd=ROOT, timeout=900)
    finally:
        subprocess.run([WINE, "stop", prefix], check=False)
    cases = {}
    for line in out.splitlines():
        name, seconds, cb_in, cb_out = line.split()
        cases[name] = {"s": float(seconds), "in": float(cb_in), "out": float(cb_out)}
    return cases, None


TIMING_BUILDS = {
    "win64": "the 64-bit program, under wine64: every kernel",
    "win32": "the 32-bit program, under the 32-bit Wine: every kernel that build has (it leaves out the AVX-512 ones)",
}


def timing_tables(timings):
    lines = ["`bench/hex_timing.cpp` built by each Windows preset as its program is (-O2), run on this machine",
             "on hexbin_bench's inputs of 1 MiB, warm, in rounds of every kernel in turn whose order is reversed",
             "every round, each turn a batch of about 20 ms; the median of 15 rounds. × reference is that build's",
             "own reference routine's time over the kernel's."]
    for preset, (cases, reason) in timings.items():
        lines += ["", "**`%s`**, %s." % (preset, TIMING_BUILDS[preset]), ""]
        if cases is None:
            lines.append("Not measured: %s." % reason)
            continue
        lines += ["| workload | kernel | in GB/s | out GB/s | × reference |", "|---|---|---:|---:|---:|"]
        for work in WORKLOADS:
            for kernel in KERNELS:
                r = cases.get("convert/%s/1MiB/%s/warm" % (work, kernel))
                if r:
                    lines.append("| %s | %s | %.2f | %.2f | %.2f |" % (work, kernel, gbps(r["in"], r["s"]), gbps(r["out"], r["s"]),
                                                                   speedup(cases, work, "1MiB", kernel)))
    return lines


def notes():
    """The hand-written notes, without the comment that opens their file."""
    with open(NOTES) as f:
        text = f.read()
    if text.startswith("<!--"):
        text = text[text.index("-->") + 3:]
    return text.strip("\n").splitlines() + [""]


def main():
    if "--notes" in sys.argv:
        # The notes alone, put into the tables of the last run.
        with open(DOC) as f:
            text = f.read()
        with open(DOC, "w") as f:
            f.write(text[:text.index("\n## Notes\n")] + "\n".join(["", "## Notes", ""] + notes()))
        print("bench: put docs/performance-notes.md into docs/PERFORMANCE.md")
        return
    quick = "--quick" in sys.argv
    os.makedirs(WORK, exist_ok=True)
    random_path = os.path.join(WORK, "random.bin")
    print("bench: writing the random bytes", flush=True)
    write_random(random_path)
    print("bench: running hexbin_bench (log in build/bench/results.log)", flush=True)
    context, best = run_bench(random_path, 1 if quick else 5)
    timings = {}
    for preset in TIMING_BUILDS:
        print("bench: timing the %s program under Wine" % preset, flush=True)
        timings[preset] = run_timing(preset, random_path)
        if timings[preset][0] is None:
            print("bench: SKIP the %s program's timing: %s" % (preset, timings[preset][1]), flush=True)
    win32 = timings["win32"][0]
    print("bench: timing other tools on 64 MiB", flush=True)
    enc, ours_enc, dec, ours_dec = time_tools(random_path)

    body = ["# Performance", "",
            "Regenerate with `make bench` (a few minutes). Every figure in the tables below comes from one run of",
            "it; the notes at the end (`docs/performance-notes.md`) record experiments measured apart from it.",
            "Two commits are compared, case by case, by `scripts/bench-ab.py BASE [FILTER]`, which runs the",
            "benchmark of each in turn (see the script).", ""]
    body += machine(context)
    body += ["", "## Targets", ""] + targets(best, win32, (enc, ours_enc, dec, ours_dec))
    body += ["", "## Conversions", "",
             "Throughput is given per input byte (in) and per output byte (out), in 10⁹ bytes a second.",
             "Warm: the output block is allocated and touched once, then reused. Cold: each conversion gets a freshly",
             "allocated zero-filled block, as the program allocates it, and only the conversion call is timed (the",
             "program's timed window), so first-touch page faults fall inside it. × reference is the table-driven",
             "routine's warm time over the kernel's. \"Of limit\" is the limit's time over the conversion's, where the",
             "limit is the slower of writing the output alone (memset of the output size) and copying the input",
             "(memcpy), measured on the same buffers in the same run (next section). For the parser the limit is the",
             "copy, which writes as many bytes as it reads while the parser writes a third of that, so the parser",
             "can pass 1. Each case is the median of its repetitions, which run interleaved with those of every",
             "other case. A kernel this processor lacks has no row.", "",
             "Inputs, all from the same seeded random bytes: the formatter's text of them (uppercase, 16 pairs a",
             "line); the texts `xxd -p` (30 lowercase pairs a line, LF), `od -An -v -tx1` (16 pairs a line, each",
             "after a space, LF) and Python's `bytes.hex(' ')` (pairs between single spaces, one line) write of them;",
             "a commented text (16 lowercase pairs a line between spaces, CR LF, and before every fourth line a `;`",
             "comment line holding a TAB and UTF-8); a loose text (runs of 1 to 40 pairs, each run in either case,",
             "between separators drawn from none, one, two and CR LF, on lines of 1 to 80 pairs ended by LF or CR",
             "LF), and the same with a `;` comment line before every fourth line; groups of 2 and of 4 pairs",
             "between spaces, 32 pairs a line, LF; and the formatter's text with a TAB at the start of its middle",
             "line, where the parse stops (in and out count only what is read and written up to the stop). The",
             "texts but the formatter's are the layouts of `tests/convert/hex_random_text.h`, drawn from a fixed",
             "seed.", ""]
    body += conversion_tables(best)
    body += ["## Limits", ""] + limit_table(best)
    body += ["", "## The Windows programs under Wine", ""] + timing_tables(timings)
    body += ["", "## Other tools", ""] + tools_tables(best, enc, ours_enc, dec, ours_dec)
    body += ["", "## Notes", ""] + notes()
    text = "\n".join(body)
    os.makedirs(os.path.dirname(DOC), exist_ok=True)
    with open(DOC, "w") as f:
        f.write(text)
    print(text)
    print("bench: wrote docs/PERFORMANCE.md")


if __name__ == "__main__":
    main()
