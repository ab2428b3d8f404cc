#!/usr/bin/python3
"""Runs the benchmark; bench/run.sh builds qovant and calls this.

    bench.py QOVANT_BINARY [SIZE ...]

For each size (default 10000 100000 1000000): generates the tree (or reuses
it), starts a throwaway slapd loaded with it when qovant can read LDAP, then
runs every contender BENCH_RUNS times (default 3), one round after another so
that each round measures all contenders under the same conditions. Wall time
is taken around the process, peak resident memory from /usr/bin/time -v.
Ratios are taken within a round, and their median is printed.

Every qovant run must exit 0 and print exactly the generator's count of
lines; the peers must print the same count; qovant's lines must equal the
streaming peer's once sorted, and over LDAP they must equal qovant's LDIF
output byte for byte. Any failure of these checks fails the run.

Environment: BENCH_SEED (1), BENCH_WORD (legacyshare), BENCH_RUNS (3),
BENCH_SKIP (comma-separated row keys to leave out, e.g. py-recordlist),
BENCH_WINE (a qovant.exe to run under wine as one more row, whose report
must be qovant's with CR LF line ends).
"""

import datetime
import os
import platform
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
DATA = os.path.join(HERE, "data")
PYTHON = "/usr/bin/python3"
RUN_TIMEOUT = 1800  # seconds for one run of one contender


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def capture(cmd, **kw):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, timeout=60, **kw).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return "?"


class Failure(Exception):
    pass


class Row:
    """One contender: a command, how to judge its exit, and where its
    report lines go (None: not kept)."""

    def __init__(self, key, label, cmd, env=None, ok_exits=(0,), out=None, lines=False):
        self.key, self.label, self.cmd, self.env = key, label, cmd, env or {}
        self.ok_exits, self.out, self.lines = ok_exits, out, lines
        self.walls, self.rss_kb, self.cpus = [], [], []


def measure(row, run_dir):
    """Runs the row once; returns (wall seconds, peak RSS in KiB, CPU seconds)."""
    time_file = os.path.join(run_dir, "time.txt")
    out_path = row.out or os.devnull
    env = dict(os.environ, LC_ALL="C", **row.env)
    with open(out_path, "wb") as out, open(os.path.join(run_dir, "stderr.txt"), "wb") as err:
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-v", "-o", time_file] + row.cmd,
                              stdout=out, stderr=err, env=env, timeout=RUN_TIMEOUT)
        wall = time.perf_counter() - start
    with open(time_file) as f:
        report = f.read()
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", report)
    user = re.search(r"User time \(seconds\): ([\d.]+)", report)
    system = re.search(r"System time \(seconds\): ([\d.]+)", report)
    status = re.search(r"Exit status: (\d+)", report)
    code = int(status.group(1)) if status else proc.returncode
    if code not in row.ok_exits or not rss:
        with open(os.path.join(run_dir, "stderr.txt"), errors="replace") as f:
            tail = f.read()[-2000:]
        raise Failure(f"{row.label}: exit status {code}\n{tail}")
    cpu = float(user.group(1)) + float(system.group(1)) if user and system else float("nan")
    return wall, int(rss.group(1)), cpu


def count_lines(path):
    with open(path, "rb") as f:
        return sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))


def sorted_lines(path):
    with open(path, "rb") as f:
        return sorted(f.read().split(b"\n"))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def qovant_reads_ldap(qovant):
    """An LDAP-less build takes the URI for a file name."""
    proc = subprocess.run([qovant, "x"], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, LC_ALL="C", DIRCLIENT_TREE="ldap://127.0.0.1:1/"))
    return proc.returncode != 0 and "No such file or directory" not in proc.stderr


def source_description():
    source = os.environ.get("BENCH_SOURCE", REPO)
    commit = capture(["git", "-C", source, "rev-parse", "--short", "HEAD"])
    if commit == "?" or not commit:
        return f"source tree {source} (not a git checkout), Release build"
    return f"{source} at commit {commit} plus its uncommitted changes, Release build"


def machine_facts():
    lscpu = capture(["lscpu"]).splitlines()
    model = next((l.split(":", 1)[1].strip() for l in lscpu if l.startswith("Model name")), "?")
    mem_kb = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem_kb = int(line.split()[1])
    def pkg(name):
        return capture(["dpkg-query", "-W", "-f=${Version}", name])
    return [
        ("date", datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")),
        ("machine", f"{capture(['nproc'])} cores ({model}), {mem_kb / 1048576:.1f} GiB, "
                    f"Linux {platform.release()}"),
        ("qovant", source_description()),
        ("g++", capture(["g++", "-dumpfullversion"])),
        ("grep", capture(["grep", "--version"]).splitlines()[0]),
        ("python3 / python3-ldap", f"{platform.python_version()} / {pkg('python3-ldap')}"),
        ("slapd / ldap-utils", f"{pkg('slapd')} / {pkg('ldap-utils')}"),
    ]


def fmt_size(n):
    return f"{n:,}"


def run_size(qovant, entries, seed, word, runs, ldap, skip, steps):
    os.makedirs(DATA, exist_ok=True)
    ldif = os.path.join(DATA, f"tree-{entries}-s{seed}.ldif")
    started = time.monotonic()
    log(f"{entries} entries: generating {ldif} (or reusing it)")
    gen = subprocess.run([PYTHON, os.path.join(HERE, "gen_tree.py"), "--entries", str(entries),
                          "--seed", str(seed), "--word", word, "--out", ldif, "--reuse"],
                         stdout=subprocess.PIPE, text=True, check=True)
    expected = int(gen.stdout.split()[0])
    steps.append((f"{entries}: generate (or reuse) the LDIF", time.monotonic() - started))
    file_bytes = os.path.getsize(ldif)
    # The first timed run should not pay for reading the file from disk.
    with open(ldif, "rb") as f:
        while f.read(1 << 24):
            pass

    out_dir = os.path.join(DATA, "out", str(entries))
    os.makedirs(out_dir, exist_ok=True)
    run_dir = tempfile.mkdtemp(prefix="qovant-bench-run.")
    out = lambda key: os.path.join(out_dir, key + ".txt")
    rows = [
        Row("qovant-ldif", "qovant, LDIF file", [qovant, word], {"DIRCLIENT_TREE": ldif},
            out=out("qovant-ldif"), lines=True),
        Row("grep", "grep -c -i (floor, LDIF)", ["grep", "-c", "-i", word, ldif], ok_exits=(0, 1)),
        Row("py-stream", "python-ldap LDIFParser, streaming",
            [PYTHON, os.path.join(HERE, "peer_streaming.py"), word, ldif],
            out=out("py-stream"), lines=True),
        Row("py-recordlist", "python-ldap LDIFRecordList",
            [PYTHON, os.path.join(HERE, "peer_recordlist.py"), word, ldif],
            out=out("py-recordlist"), lines=True),
    ]
    if os.environ.get("BENCH_WINE"):
        rows.append(Row("qovant-wine", "qovant.exe under wine, LDIF file",
                        ["wine", os.environ["BENCH_WINE"], word],
                        {"DIRCLIENT_TREE": ldif, "WINEDEBUG": "-all"}, out=out("qovant-wine"),
                        lines=True))
        # A prefix's first use sets it up: not a cost of the search.
        subprocess.run(["wine", os.environ["BENCH_WINE"]], capture_output=True, timeout=600)
    slapd_dir = None
    try:
        if ldap:
            slapd_dir = tempfile.mkdtemp(prefix="qovant-bench-slapd.", dir="/tmp")
            t0 = time.monotonic()
            log(f"{entries} entries: loading slapd in {slapd_dir}")
            subprocess.run([os.path.join(HERE, "slapd.sh"), "start", slapd_dir, ldif,
                            str(free_port())], check=True, timeout=RUN_TIMEOUT)
            steps.append((f"{entries}: slapadd -q and slapd start", time.monotonic() - t0))
            tcp, ldapi = capture([os.path.join(HERE, "slapd.sh"), "uris", slapd_dir]).splitlines()
            with open(ldif, "rb") as f:
                suffix = next(l for l in f if l.startswith(b"dn: "))[4:].strip().decode()
            for key, label, uri in (("tcp", "ldap://127.0.0.1", tcp), ("ldapi", "ldapi", ldapi)):
                rows.append(Row(f"qovant-{key}", f"qovant, {label}", [qovant, word],
                                {"DIRCLIENT_TREE": uri}, out=out(f"qovant-{key}"), lines=True))
                rows.append(Row(f"ldapsearch-{key}", f"ldapsearch dump (floor, {label})",
                                ["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-E",
                                 "pr=1000/noprompt", "-H", uri, "-b", suffix,
                                 "objectClass", "loginScript", "aliasedObjectName"]))
        rows = [r for r in rows if r.key not in skip]

        t0 = time.monotonic()
        for round_no in range(1, runs + 1):
            for row in rows:
                wall, rss, cpu = measure(row, run_dir)
                row.walls.append(wall)
                row.rss_kb.append(rss)
                row.cpus.append(cpu)
                log(f"{entries} entries, round {round_no}: {row.label}: {wall:.2f} s wall, "
                    f"{cpu:.2f} s CPU, {rss / 1024:.0f} MiB")
                if row.lines:
                    got = count_lines(row.out)
                    if got != expected:
                        raise Failure(f"{row.label}: {got} report lines, the generator expects {expected}")
            if round_no == 1:
                check_outputs(rows)
        steps.append((f"{entries}: {runs} rounds of {len(rows)} contenders", time.monotonic() - t0))
    finally:
        if slapd_dir:
            subprocess.run([os.path.join(HERE, "slapd.sh"), "stop", slapd_dir], timeout=120)
            subprocess.run(["rm", "-rf", "--", slapd_dir])
        subprocess.run(["rm", "-rf", "--", run_dir])
    return {"entries": entries, "bytes": file_bytes, "expected": expected,
            "rows": {r.key: r for r in rows}}


def check_outputs(rows):
    by_key = {r.key: r for r in rows}
    base = by_key.get("qovant-ldif")
    if base and "py-stream" in by_key:
        if sorted_lines(base.out) != sorted_lines(by_key["py-stream"].out):
            raise Failure("qovant's report lines differ from the streaming peer's (sorted)")
    if base and "qovant-wine" in by_key:
        with open(base.out, "rb") as linux, open(by_key["qovant-wine"].out, "rb") as wine:
            if linux.read().replace(b"\n", b"\r\n") != wine.read():
                raise Failure("qovant.exe's report is not qovant's with CR LF line ends")
    for key in ("qovant-tcp", "qovant-ldapi"):
        if base and key in by_key:
            with open(base.out, "rb") as a, open(by_key[key].out, "rb") as b:
                if a.read() != b.read():
                    raise Failure(f"{by_key[key].label}: output differs from qovant over LDIF")


def median_ratio(a, b):
    """Median over rounds of a[i] / b[i]."""
    return statistics.median(x / y for x, y in zip(a, b) if y > 0)


def table(results, ldap):
    lines = ["| entries | LDIF MB | matches | row | wall s | CPU s | peak RSS MiB | ratio (median of rounds) | target (1M) |",
             "|---:|---:|---:|---|---:|---:|---:|---|---|"]
    for res in results:
        rows = res["rows"]
        first = True

        def cell_head():
            nonlocal first
            if first:
                first = False
                return f"| {fmt_size(res['entries'])} | {res['bytes'] / 1e6:.1f} | {fmt_size(res['expected'])} "
            return "| | | "

        def add(label, key, ratio="", target=""):
            r = rows.get(key)
            if r is None:
                if key.startswith(("qovant-tcp", "qovant-ldapi", "ldapsearch")) and not ldap:
                    lines.append(cell_head() + f"| {label} | n/a | n/a | n/a | n/a: qovant has no LDAP backend yet | {target} |")
                return
            wall = statistics.median(r.walls)
            cpu = statistics.median(r.cpus)
            rss = statistics.median(r.rss_kb) / 1024
            lines.append(cell_head() + f"| {label} | {wall:.2f} | {cpu:.2f} | {rss:.0f} | {ratio} | {target} |")

        q = rows.get("qovant-ldif")
        g = rows.get("grep")
        s = rows.get("py-stream")
        rl = rows.get("py-recordlist")
        file_mb = res["bytes"] / 1048576
        add("qovant, LDIF", "qovant-ldif",
            (f"{median_ratio(q.walls, g.walls):.1f}x grep; RSS {median_ratio(q.rss_kb, [file_mb * 1024] * len(q.rss_kb)):.2f}x file"
             if q and g else ""), "≤ 2x grep; RSS ≤ 1.2x file")
        w = rows.get("qovant-wine")
        add("qovant.exe under wine, LDIF", "qovant-wine",
            f"{median_ratio(w.walls, q.walls):.2f}x qovant" if w and q else "")
        add("grep -c -i (floor)", "grep")
        add("python-ldap LDIFParser (streaming)", "py-stream",
            f"qovant {median_ratio(s.walls, q.walls):.1f}x faster" if s and q else "", "qovant ≥ 10x faster")
        add("python-ldap LDIFRecordList", "py-recordlist",
            f"qovant {median_ratio(rl.walls, q.walls):.1f}x faster" if rl and q else "")
        for key, label in (("tcp", "ldap://127.0.0.1"), ("ldapi", "ldapi")):
            qq = rows.get(f"qovant-{key}")
            ls = rows.get(f"ldapsearch-{key}")
            add(f"qovant, {label}", f"qovant-{key}",
                (f"{median_ratio(qq.walls, ls.walls):.2f}x ldapsearch; RSS {median_ratio(qq.rss_kb, [file_mb * 1024] * len(qq.rss_kb)):.2f}x file"
                 if qq and ls else ""), "≤ 1.1x ldapsearch; RSS ≤ 1.0x file")
            add(f"ldapsearch dump (floor, {label})", f"ldapsearch-{key}")
    return "\n".join(lines)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    qovant = os.path.abspath(sys.argv[1])
    sizes = [int(s) for s in sys.argv[2:]] or [10000, 100000, 1000000]
    seed = int(os.environ.get("BENCH_SEED", "1"))
    word = os.environ.get("BENCH_WORD", "legacyshare")
    runs = int(os.environ.get("BENCH_RUNS", "3"))
    skip = {s for s in os.environ.get("BENCH_SKIP", "").split(",") if s}
    ldap = qovant_reads_ldap(qovant)
    if not ldap:
        log("qovant has no LDAP backend (an ldap:// tree is taken for a file name): LDAP rows are n/a")

    load_before = os.getloadavg()
    steps = []
    results = []
    began = time.monotonic()
    try:
        for entries in sizes:
            results.append(run_size(qovant, entries, seed, word, runs, ldap, skip, steps))
    except (Failure, subprocess.SubprocessError) as e:
        print(f"bench: FAILED: {e}", file=sys.stderr)
        if results:
            print(table(results, ldap))
        sys.exit(1)

    facts = machine_facts()
    load_after = os.getloadavg()
    facts.append(("load average (1, 5, 15 min) before / after",
                  " / ".join(", ".join(f"{x:.2f}" for x in l) for l in (load_before, load_after))))
    print(f"qovant benchmark: word '{word}', seed {seed}, median of {runs} runs, LC_ALL=C\n")
    for name, value in facts:
        print(f"- {name}: {value}")
    print()
    print(table(results, ldap))
    print()
    print("Steps:")
    for name, seconds in steps:
        print(f"- {name}: {seconds:.1f} s")
    print(f"- total: {time.monotonic() - began:.1f} s")


if __name__ == "__main__":
    main()
