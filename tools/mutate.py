#!/usr/bin/env python3
"""Mutation testing for qovant: how many small faults in src/ does the suite catch?

  tools/mutate.py --source DIR --build DIR --count 60 --seed 1 [--report FILE]

Each mutant (a flipped comparison, an integer literal moved by one, or an
inverted boolean) is applied alone, the build is updated, and the unit tests
run; only if they pass do the e2e and ldap_* tests run. A mutant that does
not compile is discarded and another drawn. A failing test is then rerun on
the restored tree: if it fails there too it is flaky, and the mutant is set
aside as inconclusive instead of counted as caught. Tests run two at a time
(two GoogleTest shards, ctest -j2), niced. A developer tool, not CI.
"""
import argparse, os, random, re, signal, subprocess, sys, time
from pathlib import Path

KINDS = ("comparison", "bound", "boolean")
FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
LITERAL = re.compile(r"(?<![\w.'])\d+(?![\w.'])")
BOOLEAN = re.compile(r"\b(true|false)\b|(?<=\s)(&&|\|\|)(?=\s)|(?<![\w)\]])!(?=[\w(])")
PURE_VIRTUAL = re.compile(r"\)( const)?( override)? = 0;")
ARRAY_FIELD = re.compile(r"^\s*[\w:<>, ]+[\w>]\s+\w+\[\d+\];")
TIMEOUT = 300  # seconds of testing per mutant; running out counts as caught


def mask(text):
    """The text with comments and string/char literals blanked, same length."""
    out, i, n = list(text), 0, len(text)
    blank = lambda a, b: out.__setitem__(slice(a, b), [c if c == "\n" else " " for c in text[a:b]])
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif m := re.compile(r'R"([^(\s]*)\(').match(text, i):
            j = text.find(")" + m.group(1) + '"', m.end())
            j = n if j < 0 else j + len(m.group(1)) + 2
        elif text[i] in "\"'" and not (text[i] == "'" and i and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != text[i] and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j += 1
        else:
            i += 1
            continue
        blank(i, j)
        i = j
    return "".join(out)


def sites(source):
    """Every candidate mutation: (kind, path, line number, column, original, mutated)."""
    found = {kind: [] for kind in KINDS}
    # Only what the Linux build compiles: a mutant in a Windows file would survive.
    for path in sorted(p for p in (source / "src").rglob("*")
                       if p.suffix in (".cc", ".h") and not p.name.endswith("_windows.cc")):
        skip_until_semicolon = continued = False
        for number, line in enumerate(mask(path.read_text()).split("\n"), 1):
            code = line.strip()
            directive = continued or code.startswith("#")
            continued = directive and code.endswith("\\")
            if "static_assert" in code:
                skip_until_semicolon = True
            if directive or skip_until_semicolon or code.startswith("template") or "operator" in code:
                skip_until_semicolon = skip_until_semicolon and not code.endswith(";")
                continue
            rel = path.relative_to(source)
            for m in COMPARISON.finditer(line):
                found["comparison"].append((rel, number, m.start(), m.group(), FLIP[m.group()]))
            if not ARRAY_FIELD.match(line):
                for m in LITERAL.finditer(line):
                    if len(m.group()) > 1 and m.group()[0] == "0":
                        continue  # octal
                    if m.group() == "0" and PURE_VIRTUAL.search(line, m.start() - 12):
                        continue
                    found["bound"].append((rel, number, m.start(), m.group(), None))
            for m in BOOLEAN.finditer(line):
                text = m.group()
                swap = {"true": "false", "false": "true", "&&": "||", "||": "&&", "!": ""}[text]
                found["boolean"].append((rel, number, m.start(), text, swap))
    return found


def apply(source, site, mutated):
    """Writes the mutant into its file."""
    rel, number, column, original, _ = site
    path = source / rel
    text = path.read_text()
    lines = text.split("\n")
    line = lines[number - 1]
    assert line[column:column + len(original)] == original, site
    lines[number - 1] = line[:column] + mutated + line[column + len(original):]
    path.write_text("\n".join(lines))


def run(command, timeout, shards=1):
    """(exit code, or None on timeout, and the output). With shards > 1 the
    GoogleTest binary runs as that many concurrent shards, failing if any does."""
    processes = [subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, errors="replace", start_new_session=True,
                                  env={**os.environ, "GTEST_TOTAL_SHARDS": str(shards),
                                       "GTEST_SHARD_INDEX": str(i)})
                 for i in range(shards)]
    deadline = time.monotonic() + timeout
    try:
        output = "".join(p.communicate(timeout=max(deadline - time.monotonic(), 1))[0] for p in processes)
        return next((p.returncode for p in processes if p.returncode), 0), output
    except subprocess.TimeoutExpired:
        for process in processes:
            stop(process)
        return None, ""
    except BaseException:
        for process in processes:
            stop(process)
        raise


def stop(process):
    """SIGTERM to the group (the LDAP scripts clean up their slapd), then SIGKILL."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
            process.communicate(timeout=15)
            return
        except ProcessLookupError:
            return
        except subprocess.TimeoutExpired:
            pass


def nice(*command):
    return ["nice", "-n", "10", *command]


def build(build_dir):
    return run(nice("cmake", "--build", str(build_dir), "-j2"), 3600)[0] == 0


def test(build_dir, only=None):
    """Runs the suite (or the named tests): (caught, failing test names)."""
    deadline = time.monotonic() + TIMEOUT
    unit = [t for t in only or [] if not is_system(t)]
    if only is None or unit:
        gtest = [str(build_dir / "tests" / "qovant_tests"), "--gtest_brief=1", "--gtest_fail_fast"]
        if unit and "qovant_tests" not in unit:
            gtest.append("--gtest_filter=" + ":".join(unit))
        code, output = run(nice(*gtest), deadline - time.monotonic(), shards=2)
        if code is None:
            return True, ["qovant_tests (timeout)"]
        if code != 0:
            names = re.findall(r"^\[  FAILED  \] ([\w/.]+)(?:,| \(|$)", output, re.M)
            return True, list(dict.fromkeys(names)) or ["qovant_tests"]
    system = [t for t in only or [] if is_system(t)]
    if only is not None and not system:
        return False, []
    select = "^(" + "|".join(system) + ")$" if system else "^(e2e|ldap_.*)$"
    code, _ = run(nice("ctest", "--test-dir", str(build_dir), "-j2", "--stop-on-failure", "--timeout",
                       str(TIMEOUT), "-R", select), deadline - time.monotonic())
    if code is None:
        return True, ["system tests (timeout)"]
    log = build_dir / "Testing" / "Temporary" / "LastTestsFailed.log"
    failed = [l.split(":", 1)[1] for l in log.read_text().split()] if code and log.exists() else []
    return code != 0, failed


def is_system(name):
    return name == "e2e" or name.startswith("ldap_")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--source", type=Path, required=True)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--count", type=int, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--report", type=Path)
    args = parser.parse_args()
    for sig in (signal.SIGINT, signal.SIGTERM):  # restore the file and report, also in background
        signal.signal(sig, signal.default_int_handler)
    source, build_dir = args.source.resolve(), args.build.resolve()
    if subprocess.run(["git", "-C", str(source), "diff", "--quiet"]).returncode:
        sys.exit("the source tree has uncommitted changes")
    pool = sites(source)
    print("sites: " + ", ".join(f"{k} {len(v)}" for k, v in pool.items()), flush=True)
    rng, started = random.Random(args.seed), time.monotonic()
    results, discarded, flaky, inconclusive = [], 0, set(), 0
    try:
        while len(results) < args.count and any(pool.values()):
            kind = rng.choice([k for k in KINDS if pool[k]])
            site = pool[kind].pop(rng.randrange(len(pool[kind])))
            mutated = site[4]
            if kind == "bound":
                n = int(site[3])
                mutated = str(n + 1 if n == 0 or rng.random() < 0.5 else n - 1)
            rel, number, _, original, _ = site
            where = f"{rel}:{number}"
            original_text = (source / rel).read_text()
            try:
                apply(source, site, mutated)
                if not build(build_dir):
                    discarded += 1
                    print(f"  discarded (does not compile): {where} {original} -> {mutated!r}", flush=True)
                    continue
                caught, failing = test(build_dir)
            finally:
                (source / rel).write_text(original_text)
            if caught and not failing[0].endswith("(timeout)"):
                # Confirm on the restored tree that the failure is the mutant's.
                if not build(build_dir):
                    sys.exit("the restored tree does not build")
                again, _ = test(build_dir, failing)
                if again:
                    flaky.update(failing)
                    inconclusive += 1
                    print(f"  inconclusive (fails unmutated too: {', '.join(failing)}): {where}", flush=True)
                    continue
            results.append((kind, where, original, mutated, caught, failing))
            tally = sum(r[4] for r in results)
            print(f"[{len(results)}/{args.count}] {'caught' if caught else 'SURVIVED'} {kind} {where}: "
                  f"{original!r} -> {mutated!r} {', '.join(failing[:3])}   "
                  f"(caught {tally}/{len(results)}, discarded {discarded}, "
                  f"{(time.monotonic() - started) / 60:.1f} min)", flush=True)
    except KeyboardInterrupt:
        print("interrupted: partial results", flush=True)
    finally:
        print("rebuilding the unmutated tree", flush=True)
        build(build_dir)
        clean = subprocess.run(["git", "-C", str(source), "diff", "--quiet"]).returncode == 0
    summary(args, results, discarded, inconclusive, flaky, time.monotonic() - started)
    if not clean:
        sys.exit("the source tree is not clean after the run")
    print("source tree clean")


def summary(args, results, discarded, inconclusive, flaky, seconds):
    caught = sum(r[4] for r in results)
    lines = [f"caught {caught} / {len(results)}"]
    for kind in KINDS:
        of_kind = [r for r in results if r[0] == kind]
        lines.append(f"  {kind}: {sum(r[4] for r in of_kind)} / {len(of_kind)}")
    lines.append(f"discarded (did not compile): {discarded}")
    lines.append(f"inconclusive (a flaky test failed unmutated too): {inconclusive}"
                 + (f" [{', '.join(sorted(flaky))}]" if flaky else ""))
    lines.append(f"time: {seconds / 60:.1f} min")
    survivors = [r for r in results if not r[4]]
    lines.append("survivors:")
    lines += [f"  {r[1]} ({r[0]}): {r[2]} -> {r[3]}" for r in survivors]
    print("\n".join(lines))
    if not args.report:
        return
    md = [f"# Mutation baseline", "",
          f"`tools/mutate.py --count {args.count} --seed {args.seed}`: "
          f"{len(results)} mutants run in {seconds / 60:.0f} min.", "",
          "| kind | caught | total |", "|---|---|---|"]
    for kind in KINDS:
        of_kind = [r for r in results if r[0] == kind]
        md.append(f"| {kind} | {sum(r[4] for r in of_kind)} | {len(of_kind)} |")
    md += [f"| **all** | **{caught}** | **{len(results)}** |", "",
           f"Discarded as not compiling: {discarded}. "
           f"Inconclusive (a failing test failed unmutated too): {inconclusive}"
           + (f" ({', '.join(sorted(flaky))})." if flaky else "."), "",
           "## Survivors", "", "| where | kind | original | mutated |", "|---|---|---|---|"]
    md += [f"| {r[1]} | {r[0]} | {cell(r[2])} | {cell(r[3])} |" for r in survivors]
    md += ["", "## All mutants", "", "| where | kind | original | mutated | result |", "|---|---|---|---|---|"]
    md += [f"| {r[1]} | {r[0]} | {cell(r[2])} | {cell(r[3])} | "
           f"{('caught by ' + ', '.join(r[5][:3])) if r[4] else 'survived'} |" for r in results]
    args.report.write_text("\n".join(md) + "\n")


def cell(code):
    return "`" + code.replace("|", "\\|") + "`" if code else "(removed)"


if __name__ == "__main__":
    main()
