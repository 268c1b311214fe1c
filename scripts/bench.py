#!/usr/bin/env python3
"""Runs the benchmark and rewrites docs/PERFORMANCE.md.

    scripts/bench.py [--quick]

1. Writes 64 MiB of seeded random bytes to build/bench/random.bin.
2. Runs build/native/bin/hexbin_bench on them: every kernel of both
   conversions on every input, warm and cold, and the memset / memcpy
   limits, each case repeated, the repetitions of all cases in random
   order; the median repetition counts.
3. Times other tools on the first 64 MiB of the same bytes: Python's
   bytes.hex / bytes.fromhex and binascii in this process, and xxd and
   basenc as whole processes beside whole-process runs of ours (hexfile:
   the whole file at once as the program works, and for bin2hex also a
   slice at a time as the streaming tools work). Their files are on a tmpfs
   where there is one, so that writing back to disk does not time them.
4. Prints the tables and writes them, with the machine, compiler and date,
   to docs/PERFORMANCE.md.
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


def run_bench(random_path, repetitions):
    out = os.path.join(WORK, "results.json")
    cmd = [os.path.join(BIN, "hexbin_bench"), random_path,
           "--benchmark_out=" + out, "--benchmark_out_format=json",
           "--benchmark_repetitions=%d" % repetitions,
           # Repetitions of all cases in random order: a burst of other work on
           # the machine then spoils one repetition of several cases, not every
           # repetition of one.
           "--benchmark_enable_random_interleaving=true",
           "--benchmark_report_aggregates_only=false"]
    with open(os.path.join(WORK, "bench.log"), "w") as log:
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


COMMENT_FREE = ["parse_layout", "parse_xxd", "parse_od", "parse_python"]


def chosen_kernel(best, work, size, temp="warm"):
    """The last kernel with a result: the one cpuid chooses here."""
    present = [k for k in KERNELS if "convert/%s/%s/%s/%s" % (work, size, k, temp) in best]
    return present[-1] if present else None


def speedup(best, work, size, kernel, temp="warm"):
    ref = best.get("convert/%s/%s/scalar/%s" % (work, size, temp))
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    return ref["s"] / k["s"] if ref and k else None


def of_limit(best, work, size, kernel, temp="warm"):
    k = best.get("convert/%s/%s/%s/%s" % (work, size, kernel, temp))
    lim, _ = limit_for(best, work, size, temp)
    return lim / k["s"] if k and lim else None


def targets(best, enc, ours_enc, dec, ours_dec):
    rows = []

    def row(name, value, floor):
        rows.append((name, value, None if value is None else value >= floor))

    for work in COMMENT_FREE:
        kernel = chosen_kernel(best, work, "64MiB")
        row("hex2bin, %s, 64 MiB: %s of a memcpy of the text ≥ 0.5 (aim 0.8)" % (work[6:], kernel),
            of_limit(best, work, "64MiB", kernel), 0.5)
    for work in COMMENT_FREE:
        row("hex2bin, %s, 1 MiB: AVX-512 ≥ 4 × reference" % work[6:], speedup(best, work, "1MiB", "avx512"), 4)
        row("hex2bin, %s, 1 MiB: AVX2 ≥ 2 × reference (aim 3)" % work[6:], speedup(best, work, "1MiB", "avx2"), 2)
    for size in ("1MiB", "64MiB"):
        kernel = chosen_kernel(best, "parse_commented", size)
        row("hex2bin, commented, %s: %s ≥ 1.5 × reference" % (size, kernel), speedup(best, "parse_commented", size, kernel), 1.5)
    slowest = min(((speedup(best, work, size, k, temp), "%s %s %s %s" % (work, size, k, temp))
                   for work in WORKLOADS for size in SIZES for k in KERNELS[1:] for temp in ("warm", "cold")
                   if speedup(best, work, size, k, temp) is not None), default=(None, ""))
    row("no kernel slower than the reference on any input, size, warm or cold (slowest: %s)" % slowest[1], slowest[0], 1)
    kernel = chosen_kernel(best, "parse_layout", "64MiB")
    row("hex2bin, the formatter's layout, 64 MiB: %s of a memcpy ≥ 0.9" % kernel, of_limit(best, "parse_layout", "64MiB", kernel), 0.9)
    kernel = chosen_kernel(best, "format", "64MiB")
    row("bin2hex, 64 MiB: %s of the output-write limit ≥ 0.8" % kernel, of_limit(best, "format", "64MiB", kernel), 0.8)
    row("bin2hex, 64 MiB: AVX2 ≥ 3.5 × reference", speedup(best, "format", "64MiB", "avx2"), 3.5)
    fromhex = [t for n, _, _, t in dec if "fromhex" in n][0]
    row("hex2bin, layout, 64 MiB: ≥ 5 × `bytes.fromhex`", fromhex / best_kernel_time(best, "parse_layout", "warm"), 5)

    pw = best_kernel_time(best, "parse_layout", "warm")
    pc = best_kernel_time(best, "parse_layout", "cold")
    fc = best_kernel_time(best, "format", "cold")
    # Like for like: our warm kernel against conversions in a warm process,
    # our streaming run against streaming tools. The program's own way (the
    # cold block, the whole file at once) is shown beside it.
    rows.append(("bin2hex ahead of every other tool (ours warm; as a process, streaming)", None,
                 all(t > (ours_enc["stream"] if how == "process" else best_kernel_time(best, "format", "warm")) for _, how, t in enc)))
    rows.append(("bin2hex ahead of every other tool (ours cold; as a process, the whole file as the program works)", None,
                 all(t > (ours_enc["whole"] if how == "process" else fc) for _, how, t in enc)))
    rows.append(("hex2bin ahead of every other tool (ours warm; as a process, the whole file)", None,
                 all(t > (ours_dec if how == "process" else pw) for _, _, how, t in dec)))
    rows.append(("hex2bin ahead of every other tool (ours cold; as a process, the whole file)", None,
                 all(t > (ours_dec if how == "process" else pc) for _, _, how, t in dec)))
    lines = ["Warm unless said otherwise; each figure is the median of its repetitions. A kernel this processor",
             "lacks has no figure and is marked *not measured*.", "",
             "| target | measured | met |", "|---|---:|---|"]
    for name, value, ok in rows:
        # Three digits, so that none is rounded across the line its target draws.
        shown = "" if value is None else "%.3f" % value
        met = "*not measured*" if ok is None else "yes" if ok else "**no**"
        lines.append("| %s | %s | %s |" % (name, shown, met))
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


def main():
    quick = "--quick" in sys.argv
    os.makedirs(WORK, exist_ok=True)
    random_path = os.path.join(WORK, "random.bin")
    print("bench: writing the random bytes", flush=True)
    write_random(random_path)
    print("bench: running hexbin_bench (log in build/bench/bench.log)", flush=True)
    context, best = run_bench(random_path, 1 if quick else 5)
    print("bench: timing other tools on 64 MiB", flush=True)
    enc, ours_enc, dec, ours_dec = time_tools(random_path)

    body = ["# Performance", "",
            "Regenerate with `make bench` (a few minutes). Every figure in the tables below comes from one run of",
            "it; the notes at the end record experiments measured apart from it.", ""]
    body += machine(context)
    body += ["", "## Targets", ""] + targets(best, enc, ours_enc, dec, ours_dec)
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
             "comment line holding a TAB and UTF-8); and the formatter's text with a TAB at the start of its middle",
             "line, where the parse stops (in and out count only what is read and written up to the stop).", ""]
    body += conversion_tables(best)
    body += ["## Limits", ""] + limit_table(best)
    body += ["", "## Other tools", ""] + tools_tables(best, enc, ours_enc, dec, ours_dec)
    body += ["", "## Notes", "",
             "- Texts from 16 MiB up (`HEX_STREAM_MIN_CHARS`) are written by the AVX2 formatter with non-temporal",
             "  stores: 32 lines, which are 51 vectors of 32 bytes, go into a buffer in L1 and are streamed out from",
             "  there, as memset streams past the cache. Ordinary stores read every destination line in before",
             "  writing it. Measured by hand (64 MiB, 21 runs a process, medians, six processes each): ordinary",
             "  stores 0.52 to 0.57 of memset, streamed 0.82 to 0.90. The buffer must lie inside one 4 KiB page:",
             "  placed where it crossed into the next one, the same loop ran at 0.35 to 0.52 of memset, and where",
             "  the stack put it varied from process to process (0.41 to 0.91 before the buffer was placed). An",
             "  earlier trial of this design, with a buffer placed by the compiler, measured no gain.",
             "  Cold, into fresh zero-filled pages as the program allocates them, streaming is slower here: Linux",
             "  zeroes each page at its first touch, which leaves its lines in the cache, where ordinary stores",
             "  find them and streaming ones must first put them out (64 MiB, medians of 9, two rounds: 117 to",
             "  122 ms with ordinary stores, 130 to 134 streamed). Windows serves such faults first from its list",
             "  of pages zeroed in the background, which are not in the cache, as in the warm case; not measured.",
             "  On the Xeon the gap is wider (64 MiB, medians of 9, GB/s of text): warm, streamed 10.3, ordinary",
             "  stores 8.2 to 8.6, memset 11.3; cold, streamed 1.8 to 2.0, ordinary stores 2.9 to 3.0, the",
             "  reference 1.9 to 2.1. So there, cold, the AVX2 formatter at 64 MiB can come out below the reference.",
             "  Ordinary stores with a prefetch of the line 2 or 4 KiB ahead narrow the warm gap there (64 MiB, one",
             "  process, medians of 11 to 15): warm 0.78 to 0.85 of memset against 0.83 streamed for AVX2 and 1.14",
             "  for AVX-512; cold 0.65 to 0.79 GB/s of bytes against 0.50 to 0.55 streamed. The formatters still",
             "  stream: on the AMD machine ordinary stores made 0.52 to 0.57 of memset warm, below the 0.8 floor,",
             "  and the program's own cold case on Windows, with pages zeroed ahead, is not measured.",
             "- As a process, the whole-file run spends most of its time on page faults: the program's zero-filled",
             "  blocks are touched for the first time by the read and by the conversion (about 69,000 faults of 4 KiB",
             "  for 64 MiB), while the conversion itself takes about 11 ms. The streaming run, like basenc, spends",
             "  most of its time handing the text to the file system: written to /dev/null instead, it took 14 ms",
             "  against basenc's 85 ms (measured by hand, best of 7).",
             "- The AVX-512 kernel (VBMI and VBMI2) runs only where cpuid and XCR0 say the processor has it and the",
             "  system saves its registers. Where it does not, as on a virtual machine that hides AVX-512, it has no",
             "  rows here and its targets read *not measured*; the tests and the parse fuzzer then check its code on",
             "  stand-ins for its instructions (`tests/emulation/`), which prove it right but say nothing of its speed.",
             "  It was first measured on an Intel Xeon (Ice Lake server, 2.8 GHz) on 2026-12-08. With the AVX2",
             "  code for the runs of pairs its figures were the AVX2 kernel's (1 MiB: od 3.6, `xxd -p` 5.1, Python",
             "  4.1 × the reference); with runs of its own (below), `xxd -p` and Python gain about half.",
             "  Its formatter takes four lines, 204 characters, from one 64-byte load: two vpermb look up the",
             "  digits, then one vpermi2b per 64 characters places them and, through its index table, the",
             "  separators. By hand on the Xeon, best of many runs, against the AVX2 formatter (GB/s of text):",
             "  4 KiB 40-45 against 30-36, 64 KiB 30-31 against 26-27, 256 KiB 27-30 against 24-26, 1 MiB 18-20",
             "  against 20-21; at 64 MiB, streamed, 12.3-12.8 against 9.2-9.6, with memset at 10.4-10.5: a",
             "  64-byte non-temporal store writes a whole line of memory at once. To fit it, the 32-bit program",
             "  is built at -O2 (CMake's Release default of -O3 unrolled the kernels for nothing) and without",
             "  the compiler's name in each object.",
             "- How the AVX2 and SSSE3 parsers reach their figures (measured by hand, warm, 1 MiB of bytes, a parse",
             "  run 1000 times): picking each pair's value out of the characters, eight characters at a time through a",
             "  table, ran at 3.7 to 4.3 GB/s with AVX2 and below the table-driven routine with SSSE3. Two characters",
             "  make a slot instead: at most one of them starts a pair, so a block's 64 characters become 32 slots",
             "  whose values come from `pmaddubsw` on the characters as they stand and moved by one, and the slots",
             "  are squeezed with half the table lookups (AVX2 4.4 to 4.8 GB/s, SSSE3 1.4 to 1.9). Keeping the call",
             "  to strnlen out of the block loop, so that the constants stay in registers, brought SSSE3 to 2.7 to",
             "  2.9 GB/s.",
             "- Runs of pairs in the shapes tools write go around the blocks, in the AVX2 parser and the AVX-512",
             "  one: the formatter's own lines, 51 characters each by their fixed shape;",
             "  pairs each followed by one separator (od, hexdump, `bytes.hex(' ')`), 16 from 48 characters; and",
             "  pairs with none between them (`xxd -p`, base16), 32 from 64. Each takes the separator after it, so",
             "  the next run starts right there. By hand (256 KiB of bytes, best of 40, the code before and after in",
             "  alternating processes): `xxd -p` from 5.2 to 10.1-11.2 GB/s, od from 5.2 to 9.0-9.6, Python from 5.0",
             "  to 8.7-9.4, the formatter's layout from 14.3 to 15.2, the commented text 4.7 and 4.5-4.8. Where the next run starts",
             "  depends on how long this one was: done plainly, each run waited for the one before, and `xxd -p`",
             "  went no faster than the blocks (4.9 GB/s; 16.4 with the same runs at a fixed stride). The loop",
             "  therefore assumes each run is as long as the last and checks it in a branch, which the processor",
             "  predicts, so that the next run's loads need not wait. A run counts only from 12 pairs: lines of 8",
             "  pairs (od -w8) went 4.3 GB/s as runs of 8, 4.8 through the blocks, 5.3 before. A text where runs are not",
             "  found looks for them after 1, 2, 4, ... up to 64 blocks, and pays 5 to 9 % against the blocks alone",
             "  (pairs in groups of two, pairs between two spaces, 4 bytes a line: 4.8 against 5.2 GB/s). While",
             "  runs are looked for, a block ends after its last LF, so that after a comment line the next run",
             "  starts with a line; without that, the commented text went 3.7 GB/s.",
             "  The AVX-512 parser's runs take one register: plain pairs 32 from 64 characters, as with AVX2, and",
             "  spaced pairs 21 from 63 characters (one vpermb gathers their digits), classified by the vpermi2b",
             "  of its blocks. The loop of runs is the AVX2 one, compiled for each. By hand on the Xeon (256 KiB of",
             "  bytes, best of 300, no address randomisation, three alternating rounds), against the same kernel",
             "  with the AVX2 runs: `xxd -p` 8.7 to 12.9 GB/s, Python 8.4 to 10.9, od 8.4 to 8.6, the layout 13.2",
             "  both, the commented text 4.6 to 4.2. A spaced run's length first came from dividing the place of",
             "  its first bad character by 3: od then went 7.8, below the AVX2 runs. Reading it with pext, one bit",
             "  a pair, brought 8.6: where the next run starts does wait for this one's length after all, if not",
             "  through the branch that guesses it. A run's length taken as 21 whenever every pair was whole made",
             "  Python 12.2 but od 7.4.",
             "  Where two registers hold 32 pairs in a fixed shape, the AVX-512 parser takes them at once: two lines",
             "  of od's (49 characters each, the second load at 49), 32 spaced pairs in a row (the second load at",
             "  48), or two of the formatter's lines (at 51); one vptestmb a load checks the classes against the",
             "  shape and one vpermi2b gathers the 64 digits. Where the second load starts is a branch of its own: as",
             "  a sum of the offsets, the load waited for the classes (od 11.9 and Python 12.5 GB/s against 20.4 and",
             "  18.8). By hand on the Xeon (256 KiB of bytes; the last step's two versions in one process,",
             "  alternating, best of 400): od 8.6 before to 21.1 GB/s, Python 10.8 to 20.2, the layout 13.0 to",
             "  19.7, the commented text 4.3 to 6.6, `xxd -p` 11.9 to 11.6. With steps that long, one prefetch a",
             "  step left every other line of memory to the hardware: prefetching two lines made 64 MiB 4 to 6 %",
             "  faster (layout 10.1 to 10.7 GB/s, od 10.3 to 10.7, Python 10.0 to 10.4; same process, best of 9).",
             "- Between runs, the AVX2 and AVX-512 parsers skip a comment line whole (an LF search a register at a",
             "  time) instead of leaving it to a block and coming back. By hand on the Xeon, both versions in one",
             "  process, alternating, medians: the commented text at 1 MiB, AVX-512 5.3 to 9.7 GB/s, AVX2 2.6 to 4.0;",
             "  with a comment of 100 or 200 characters every fourth line, AVX-512 4 to 6 GB/s before, 11.5 after.",
             "  The AVX-512 blocks now store a pair that straddles into them as one byte, as the other kernels do,",
             "  not moved in front of the others by a vpermb (commented text 5.5 to 6.2 GB/s at 256 KiB). Both",
             "  parsers ask for the output's lines 2 KiB ahead, as for the text: at 64 MiB, warm, 1 to 5 % faster,",
             "  cold level (medians of 21 to 31).",
             "- Plain runs (no separators between pairs): where the AVX-512 kernel's register holds 32 pairs, the",
             "  run goes on into the next 64 characters in the same step, so base16 lines of 76 digits (38 bytes, as",
             "  basenc wraps them) no longer leave each line's last 12 digits to a block: 2.1 to 3.1 GB/s before,",
             "  6.3 to 10.1 after; one line of 128 digits went 7.8 to 18.2. The same step in the AVX2 kernel made",
             "  `xxd -p` 4 to 11 % slower in every form tried (a constant of the runs loop went to the stack). The",
             "  AVX2 kernel instead takes the rest of such a line as a run of any length, tried only where a run",
             "  fails right after a full register: base16 lines of 76 digits 1.5 to 2.7 GB/s, of 200 digits 2.8 to",
             "  4.1, `xxd -p` level (both versions in one process, alternating which runs first, medians of 41; in",
             "  the 32-bit build under Wine, 1.67 and 1.42 times as fast). A plain run also takes the LF of a CR",
             "  LF after it, which was costing the next run a try: `xxd -p` text with CR LF, AVX-512 3.6 to 6.5",
             "  GB/s, AVX2 4.2 to 7.4; with LF, AVX2 level and AVX-512 6 % slower (measured again alternating which",
             "  runs first: with one version always first, the second measured 8 to 28 % faster even where both",
             "  were the same code). Fewer pairs for a run (4 instead of 12) made groups of 4 to 8 pairs",
             "  between spaces two to three times slower, and was left.",
             "- The parsers' output at 64 MiB, where the formatter's text reaches 0.78 to 0.99 of a memcpy (the",
             "  target is 0.9): the parser as it was before the general loop, AVX2, measured 0.39 to 0.47 of a",
             "  memcpy on this Xeon at 32 and 64 MiB (by hand, warm, medians of 21 to 31, beside the present",
             "  AVX-512 kernel's 0.77 to 0.87 in the same runs). A throwaway loop that reads the text and writes",
             "  a third of it, both prefetched as the parsers do, reached 0.86 to 0.93 with ordinary stores and",
             "  1.03 to 1.06 streaming whole lines (non-temporal); cold, into fresh pages, 4.5 GB/s against 3.9.",
             "  In the parsers themselves, staging the output in whole lines on the stack and streaming the",
             "  finished ones out after each 4 KiB stretch (from 8 MiB of text on) was no faster warm (the",
             "  formatter's text 0.93 to 1.01 times the speed, `xxd -p` 0.85 to 1.04, both kernels, three runs)",
             "  and every form 0.75 to 0.90 times the speed cold. Left out.",
             "- The vector parsers store whole registers: up to 8 bytes past the count of the pairs written so far,",
             "  which the next block overwrites. Storing only the bytes counted (the last 16 kept in a register, each",
             "  16 characters' pairs shifted in) ran at 1.8 to 2.9 GB/s with the same picking. A block is parsed only with more than",
             "  64 characters before the terminator, so these stores stay inside the output's ceil(length / 2) bytes.",
             "- The parser looks for the terminator 4 KiB at a time (strnlen) instead of once over the whole text, so",
             "  the stretch just measured is parsed while in cache and a text that stops early is not read to its end.",
             "- The Windows program, measured under Wine on the Xeon (a small timing program built as the program is,",
             "  32-bit and 64-bit; 256 KiB of bytes, every kernel alternating, best of 100 to 150): with the C",
             "  runtime's strnlen, which goes a character at a time (1.4 to 1.7 GB/s; memchr 3.4), every kernel",
             "  parsed slower than the reference (64-bit: AVX-512 1.1 to 1.5 GB/s, AVX2 1.0 to 1.5, SSSE3 0.7 to",
             "  1.0, the reference 2.0). There the kernels now look with aligned 64-byte lines of their own: 64-bit,",
             "  AVX-512 7.6 to 18.5 GB/s, AVX2 6.2 to 12.2, SSSE3 2.5 to 3.7. In the 32-bit build the AVX-512",
             "  kernels parsed at 3.1 to 3.4 GB/s and formatted at 14, against AVX2's 6.4 to 11.3 and 25: eight",
             "  vector registers, and 64-bit masks that go through memory. The 32-bit program leaves them out.",
             "  The SSSE3 parser's loops over its four registers are unrolled (`HEX_UNROLL`): at -O2 GCC kept them",
             "  loops and the registers in memory. Natively it went 2.7 to 3.75 GB/s, in the 32-bit build 1.9 to",
             "  2.7 (its reference 2.0).",
             "  Each block asks for the line 4 KiB ahead (a prefetch, which reads nothing the program sees), so the",
             "  next stretch is on its way while this one is parsed. At 64 MiB that took the AVX2 parser from 1.9 to",
             "  3.8 GB/s to 4.7 to 5.1 on the comment-free forms, its speed at 1 MiB (by hand, medians of 15; 2 KiB",
             "  ahead was slower, 8 KiB no faster). On the Xeon 8 KiB ahead was faster, and is what the parsers ask",
             "  for now: at 64 MiB, best of 9 in alternating processes, the AVX-512 kernel went from 9.4 to 10.1",
             "  GB/s on the formatter's text, 8.1 to 9.2 on `xxd -p`, 8.5 to 9.3 on Python's and 7.7 to 8.1 on od's;",
             "  16 KiB was no better, and at 1 MiB nothing changed.",
             "- The AVX2 parser's block loop is about 150 instructions for 64 characters and runs at about 40 cycles",
             "  a block whatever the form (on an AMD EPYC, Zen 3, which runs at about 3.2 GHz, measured by a chain",
             "  of dependent adds, not at the 2.45 GHz it reports): a block's pairs wait on its classification, then on the",
             "  scalar pairing, then on the table lookups, and few blocks fit in the processor's window at once.",
             "  Tried by hand and left out, each within noise or slower: constants kept in memory rather than",
             "  rebuilt in the loop; `andn` and the other BMI instructions; the slots left in lane order (no `vpermq`) with each quarter",
             "  stored on its own; and writing each block's pairs one turn later, after the next block's",
             "  classification (8 % slower: its state no longer fitted in registers).",
             "- The copy the parser is held against is glibc's memcpy, which runs at 8.6 to 9.7 GB/s on texts up to",
             "  192 MiB and at 14 to 17 GB/s on larger ones, where it switches to its non-temporal loop (measured by",
             "  hand on 130 and 196 MiB). At 64 MiB of bytes, the texts of `xxd -p` and Python are below that line",
             "  and those of od, the formatter and the commented text above it, so the same parser speed reads as",
             "  a smaller fraction of the copy for the latter. That was on the AMD machine; on the Xeon the copy ran",
             "  at 10 to 11 GB/s on every text at 64 MiB.",
             "- The machine is shared with other work; each figure is the median of its repetitions, which run in",
             "  random order among all cases, and single runs vary by up to a factor of two at 64 MiB. Ratios near a",
             "  target's line can fall either side of it from one run of `make bench` to the next.", ""]
    text = "\n".join(body)
    os.makedirs(os.path.dirname(DOC), exist_ok=True)
    with open(DOC, "w") as f:
        f.write(text)
    print(text)
    print("bench: wrote docs/PERFORMANCE.md")


if __name__ == "__main__":
    main()
