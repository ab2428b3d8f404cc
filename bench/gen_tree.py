#!/usr/bin/python3
"""Writes a seeded synthetic directory tree as LDIF and prints the number of
objects qovant must report for a word.

    gen_tree.py --entries N --seed S --word W --out FILE [--fold 76|0] [--jobs J] [--reuse]

The tree: one organization; organizational units nested up to six levels
below it, three of them very large; 90% users (inetOrgPerson), about 1%
aliases (alias + extensibleObject, 30% of them aliasing containers), the
rest units. About 60% of users and 40% of units (and 30% of aliases) carry a
login script of 3 to 40 CRLF lines, so the value is base64. Of the scripts,
about 1% hold Latin-1 bytes and 3% the word in some line in some case; a few
hold a NUL byte (the word hidden behind it in half of them) or are empty, and
three per tree run past 60,000 bytes with the word at, across and beyond that
limit. Entries come parent before child: all units first, then each unit's
users and aliases. Lines longer than 76 columns are folded as exporters fold
them (--fold 0: never).

The output depends only on N, the seed, the word and the fold width, not on
--jobs. Standard output gets the expected count alone; a summary goes to
standard error, and FILE.meta.json records what was written, so that
--reuse can skip a file that is already there.

The expected count follows qovant's rule: aliases are never examined; for
every other object with a login script, the first 60,000 bytes, up to the
first NUL byte, upper-cased in the C locale (ASCII letters only, Latin-1
bytes stay) must contain the word upper-cased. An empty script never matches.
"""

import argparse
import base64
import bisect
import json
import multiprocessing
import os
import random
import sys
import time

GENERATOR_VERSION = 4
MAX_DEPTH = 6
TOP_UNITS = 8
CHUNK_ENTRIES = 20000
SCRIPT_READ = 60000
M64 = (1 << 64) - 1

DEPARTMENTS = [
    "Sales", "Engineering", "Finance", "Marketing", "Support", "Legal",
    "Operations", "Research", "Logistics", "Human Resources", "Facilities",
    "Procurement", "Training", "Quality", "Accounting", "Purchasing",
    "Warehouse", "Field Service", "Design", "Security",
]
# Unit names that exercise escaping: "," and "+" are escaped in a DN, "." in
# qovant's dotted names.
ODD_DEPARTMENTS = ["R+D", "Sales, East", "Dept. 7", "Ops & Facilities", "Plant #2"]
GIVEN = [
    "Ann", "Bob", "Carl", "Dana", "Eve", "Frank", "Grace", "Hal", "Ivy", "Jack",
    "Kim", "Liam", "Mia", "Ned", "Olga", "Paul", "Quinn", "Rosa", "Sam", "Tina",
    "Uma", "Vic", "Wendy", "Xavier", "Yara", "Zack", "Alice", "Brian", "Chloe",
    "David", "Emma", "Felix",
]
SURNAMES = [
    "Archer", "Baker", "Cole", "Dunn", "Evans", "Fisher", "Green", "Hughes",
    "Irwin", "Jones", "Klein", "Lopez", "Moore", "Nash", "Owens", "Price",
    "Quint", "Reed", "Stone", "Turner", "Underwood", "Vance", "Walsh", "Young",
    "Zimmer", "Brooks", "Carter", "Doyle", "Ellis", "Foster", "Grant", "Hayes",
]
GIVEN_UTF8 = ["José", "Zoë", "Søren", "Łukasz", "Renée", "Jürgen", "Ångström", "Élodie"]
SURNAMES_UTF8 = ["Müller", "Núñez", "Ødegård", "Kowalczyk", "Françoise", "Dvořák", "Åberg", "Gómez"]
LATIN1_LINES = [
    b"REM Gr\xfc\xdfe an die B\xe4ckerei",
    b"WRITE \"Bienvenue \xe0 l'\xe9quipe, %LOGIN_NAME\"",
    b"REM Se\xf1or Pe\xf1a: a\xf1o fiscal cerrado",
    b"MAP P:=FS2/\xc9TUDES:PROJETS",
    b"WRITE \"K\xf8benhavn kontor \xe5bner kl. 8\"",
    b"REM \xa9 Bench Corp, \xbd day on Fridays",
]
WORD_LINES = [
    "MAP L:={w}/VOL1:APPS",
    "MAP ROOT S:=FS3/{w}:",
    "IF MEMBER OF \"{w}\" THEN",
    "REM moved to {w} in March",
    "WRITE \"Connecting to {w}...\"",
    "#CAPTURE Q={w} NB TI=10",
    "  MAP S16:={w}\\PUBLIC",
]
LATIN1_WORD_LINES = [b"REM \xe9t\xe9: {w} ferm\xe9", b"WRITE \"\xdcber {w} drucken\""]


def mix64(x):
    """splitmix64: names derived from an entry's number, so that any worker
    (and an alias elsewhere in the file) can spell any user's DN."""
    x = (x + 0x9E3779B97F4A7C15) & M64
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & M64
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & M64
    return x ^ (x >> 31)


def escape_dn_value(value):
    """RFC 4514 escaping, for the characters these names can hold."""
    out = []
    for i, ch in enumerate(value):
        if ch in ',+"\\<>;=' or (i == 0 and ch in " #") or (i == len(value) - 1 and ch == " "):
            out.append("\\" + ch)
        else:
            out.append(ch)
    return "".join(out)


def is_safe(value):
    """A value that LDIF may write as plain text (RFC 2849 SAFE-STRING)."""
    if not value:
        return True
    if value[0] in " :<" or value[-1] == " ":
        return False
    return all(0x01 <= ord(c) <= 0x7F and c not in "\r\n" for c in value)


class Renderer:
    """Formats LDIF lines, folding them at the configured width."""

    def __init__(self, fold):
        self.fold = fold

    def line(self, text):
        width = self.fold
        if not width or len(text) <= width:
            return text
        parts = [text[:width]]
        step = width - 1
        parts.extend(text[i:i + step] for i in range(width, len(text), step))
        return "\n ".join(parts)

    def attr(self, name, value):
        if is_safe(value):
            return self.line(f"{name}: {value}")
        return self.line(f"{name}:: {base64.b64encode(value.encode('utf-8')).decode('ascii')}")

    def script(self, data):
        if not data:
            return "loginScript:"
        return self.line("loginScript:: " + base64.b64encode(data).decode("ascii"))


# ---------------------------------------------------------------- the plan

class Plan:
    """Everything a worker needs to render any chunk; built once, shared by fork."""


def level_sizes(units):
    """Units per level 1..6: TOP_UNITS at level 1, growing by one ratio."""
    if units <= 0:
        return []
    levels = min(MAX_DEPTH, units)
    top = min(TOP_UNITS, max(1, units // levels))

    def total(r):
        return sum(top * r ** k for k in range(levels))

    lo, hi = 1.0, 1000.0
    if total(lo) < units:
        for _ in range(200):
            mid = (lo + hi) / 2
            if total(mid) < units:
                lo = mid
            else:
                hi = mid
    sizes = [max(1, int(top * lo ** k)) for k in range(levels)]
    sizes[-1] += units - sum(sizes)
    while sizes[-1] < 1:  # rounding pushed too many into upper levels
        for k in range(levels - 2, -1, -1):
            if sizes[k] > 1:
                sizes[k] -= 1
                sizes[-1] += 1
                break
    return sizes


def make_plan(entries, seed, word, fold):
    rng = random.Random(f"qovant-bench-plan:{seed}")
    p = Plan()
    p.seed = seed
    p.seed_mix = mix64(seed & M64)
    p.word = word
    p.fold = fold
    p.org = "Bench"
    aliases = round(entries * 0.01)
    users = round(entries * 0.90)
    containers = entries - users - aliases
    p.entries, p.users, p.aliases, p.containers = entries, users, aliases, containers

    # Units: the organization is container 0, then level by level.
    parent = [-1]
    level = [0]
    dn = [f"o={p.org}"]
    value = [p.org]
    dept = [""]
    previous = [0]
    for depth, size in enumerate(level_sizes(containers - 1), start=1):
        current = []
        for _ in range(size):
            index = len(parent)
            up = previous[rng.randrange(len(previous))]
            name = rng.choice(ODD_DEPARTMENTS) if rng.random() < 0.03 else rng.choice(DEPARTMENTS)
            v = f"{name} {index}"
            parent.append(up)
            level.append(depth)
            value.append(v)
            dept.append(name)
            dn.append(f"ou={escape_dn_value(v)},{dn[up]}")
            current.append(index)
        previous = current
    p.parent, p.level, p.dn, p.value, p.dept = parent, level, dn, value, dept

    # Users: 14% in three very large units, the rest spread evenly.
    ucount = [0] * containers
    candidates = [c for c in range(containers) if level[c] == 2] or list(range(containers))
    large = rng.sample(candidates, min(3, len(candidates)))
    shares = [8, 4, 2]
    placed = 0
    for c, share in zip(large, shares):
        n = users * share // 100
        ucount[c] += n
        placed += n
    for c in rng.choices(range(containers), k=users - placed):
        ucount[c] += 1
    acount = [0] * containers
    for c in rng.choices(range(containers), k=aliases):
        acount[c] += 1
    p.large = large
    p.ucount, p.acount = ucount, acount

    # Layout: units at 0..containers-1, then per unit its users, its aliases.
    ustart = [0] * containers
    astart = [0] * containers
    ucum = [0] * containers  # users in units before c
    serial = containers
    cum = 0
    for c in range(containers):
        ustart[c] = serial
        serial += ucount[c]
        astart[c] = serial
        serial += acount[c]
        ucum[c] = cum
        cum += ucount[c]
    assert serial == entries
    p.ustart, p.astart, p.ucum = ustart, astart, ucum

    # Alias targets, in alias order: ("c", unit) or ("u", user serial).
    targets = []
    for _ in range(aliases):
        if rng.random() < 0.3:
            targets.append(("c", rng.randrange(containers)))
        else:
            k = rng.randrange(users)
            c = bisect.bisect_right(ucum, k) - 1
            while ucount[c] == 0:  # empty units share their ucum with the next
                c += 1
            targets.append(("u", ustart[c] + (k - ucum[c])))
    p.targets = targets

    # Three long scripts, on users chosen now so that every worker count
    # puts them in the same place.
    p.long_scripts = {}
    if users:
        all_users = [ustart[c] + i for c in large for i in range(min(ucount[c], 50))] or \
                    [ustart[c] for c in range(containers) if ucount[c]]
        for kind, s in zip(("beyond", "across", "before"), rng.sample(all_users, min(3, len(all_users)))):
            p.long_scripts[s] = kind

    # Chunks: units in one run, then whole unit groups up to CHUNK_ENTRIES.
    chunks = []
    for c0 in range(0, containers, CHUNK_ENTRIES):
        chunks.append(("units", c0, min(containers, c0 + CHUNK_ENTRIES)))
    c0 = 0
    alias_ordinal = 0
    while c0 < containers:
        c1 = c0
        size = 0
        while c1 < containers and (size == 0 or size + ucount[c1] + acount[c1] <= CHUNK_ENTRIES):
            size += ucount[c1] + acount[c1]
            c1 += 1
        chunks.append(("groups", c0, c1, alias_ordinal))
        alias_ordinal += sum(acount[c0:c1])
        c0 = c1
    p.chunks = chunks

    # Script lines: one pool for the whole tree.
    p.pool = make_line_pool(random.Random(f"qovant-bench-lines:{seed}"))
    return p


def make_line_pool(rng, size=4096):
    templates = [
        lambda: f"MAP ROOT H:=FS{rng.randint(1, 9)}/HOME:USERS\\%LOGIN_NAME",
        lambda: f"MAP {rng.choice('GIJKMNOPRTUVWXY')}:=FS{rng.randint(1, 9)}/{rng.choice(DEPARTMENTS).upper().replace(' ', '_')}:SHARED",
        lambda: "WRITE \"Good %GREETING_TIME, %LOGIN_NAME\"",
        lambda: f"IF MEMBER OF \"{rng.choice(DEPARTMENTS)} Staff\" THEN",
        lambda: "END",
        lambda: f"#CAPTURE Q=PRN{rng.randint(1, 400)}_{rng.choice(['LASER', 'COLOR', 'PLOT'])} NB TI={rng.randint(5, 30)}",
        lambda: f"REM updated {rng.randint(1, 28)}.{rng.randint(1, 12)}.{rng.randint(1995, 2011)} by {rng.choice(GIVEN).lower()}",
        lambda: "CD /D H:\\",
        lambda: f"SET PATH=\"%PATH;{rng.choice('FGS')}:\\PUBLIC\\{rng.choice(['BIN', 'TOOLS', 'APPS'])}\"",
        lambda: "",
        lambda: f"MAP S{rng.randint(1, 16)}:=FS{rng.randint(1, 9)}/SYS:PUBLIC",
        lambda: f"IF DAY_OF_WEEK = \"{rng.choice(['MONDAY', 'FRIDAY'])}\" THEN",
        lambda: f"   WRITE \"{rng.choice(['Backup tonight', 'Timesheets due', 'Team meeting at 10'])}\"",
        lambda: "SET QUIET=ON",
        lambda: "BREAK OFF",
        lambda: "END",
        lambda: "",
        lambda: "REM end of drive mappings",
        lambda: f"SET TEMP=\"H:\\TMP{rng.randint(0, 99)}\"",
        lambda: f"#{rng.choice(['NETMON', 'INVENTORY', 'VIRSCAN'])}.EXE /Q",
        lambda: "EXIT",
    ]
    return [rng.choice(templates)().encode("ascii") for _ in range(size)]


# --------------------------------------------------------------- rendering

P = None  # the plan, set before the workers fork


def case_variant(rng, word):
    pick = rng.randrange(4)
    if pick == 0:
        return word.upper()
    if pick == 1:
        return word.lower()
    if pick == 2:
        return word[:1].upper() + word[1:].lower()
    return "".join(ch.upper() if rng.random() < 0.5 else ch.lower() for ch in word)


def word_line(rng, latin1):
    w = case_variant(rng, P.word)
    if latin1 and rng.random() < 0.5:
        return rng.choice(LATIN1_WORD_LINES).replace(b"{w}", w.encode("ascii"))
    return rng.choice(WORD_LINES).format(w=w).encode("ascii")


def make_script(rng, word_rate):
    """A script of 3 to 40 CRLF lines, with its odd cases."""
    roll = rng.random()
    if roll < 0.001:
        return b""
    lines = rng.choices(P.pool, k=rng.randint(3, 40))
    latin1 = rng.random() < 0.01
    if latin1:
        for _ in range(rng.randint(1, 2)):
            lines[rng.randrange(len(lines))] = rng.choice(LATIN1_LINES)
    if rng.random() < word_rate:
        lines[rng.randrange(len(lines))] = word_line(rng, latin1)
    if rng.random() < 0.001:
        # A NUL byte hides the rest of the script; half the time the word
        # stands behind it.
        at = rng.randrange(len(lines))
        lines[at] = b"\x00" + lines[at]
        if rng.random() < 0.5:
            lines.insert(rng.randint(at + 1, len(lines)), word_line(rng, latin1))
    return b"\r\n".join(lines) + b"\r\n"


def make_long_script(rng, kind):
    """40 lines of 1,598 bytes (64,000 bytes with CRLF); the word placed
    beyond byte 60,000, across it, or ending right at it."""
    line = b"REM " + b"X" * 1594
    data = bytearray((line + b"\r\n") * 40)
    w = case_variant(rng, P.word).encode("ascii")
    at = {"beyond": SCRIPT_READ + 100, "across": SCRIPT_READ - len(w) // 2,
          "before": SCRIPT_READ - len(w)}[kind]
    data[at:at + len(w)] = w
    return bytes(data)


def matches(script, upper_word):
    if not script:
        return False
    data = script[:SCRIPT_READ]
    nul = data.find(b"\x00")
    if nul >= 0:
        data = data[:nul]
    return upper_word in data.upper()


def user_fields(serial):
    h = mix64(serial ^ P.seed_mix)
    style = (h >> 40) % 1000
    if style < 10:
        given = GIVEN_UTF8[h % len(GIVEN_UTF8)]
        sn = SURNAMES_UTF8[(h >> 8) % len(SURNAMES_UTF8)]
        uid = f"u{serial}"
    else:
        given = GIVEN[h % len(GIVEN)]
        sn = SURNAMES[(h >> 8) % len(SURNAMES)]
        uid = f"{given[0]}{sn}{serial}".lower()
    if 10 <= style < 30:
        cn = f"{given} {chr(65 + (h >> 16) % 26)}. {sn} {serial}"
    else:
        cn = f"{given} {sn} {serial}"
    rdn = f"uid={uid}" if 30 <= style < 130 else f"cn={escape_dn_value(cn)}"
    return h, given, sn, cn, uid, rdn


def user_dn(serial):
    c = bisect.bisect_right(P.ustart, serial) - 1
    while P.ustart[c] + P.ucount[c] <= serial:  # units without users share a start
        c -= 1
    return f"{user_fields(serial)[5]},{P.dn[c]}"


def render_chunk(chunk):
    rng = random.Random(f"qovant-bench-chunk:{P.seed}:{chunk[1]}:{chunk[0]}")
    r = Renderer(P.fold)
    upper_word = P.word.upper().encode("ascii")
    out = []
    expected = 0
    stats = {"scripts": 0, "word_scripts": 0}

    def add_script(lines, script, counted):
        nonlocal expected
        lines.append(r.script(script))
        stats["scripts"] += 1
        if upper_word in script.upper():
            stats["word_scripts"] += 1
        if counted and matches(script, upper_word):
            expected += 1

    if chunk[0] == "units":
        for c in range(chunk[1], chunk[2]):
            has = c == 0 or rng.random() < 0.4
            if c == 0:
                lines = [r.line(f"dn: {P.dn[0]}"), "objectClass: top", "objectClass: organization",
                         "objectClass: loginScriptHolder", f"o: {P.org}",
                         f"description: {P.org} Corporation, synthetic tree, seed {P.seed}"]
            else:
                lines = [r.attr("dn", P.dn[c]), "objectClass: top", "objectClass: organizationalUnit"]
                if has:
                    lines.append("objectClass: loginScriptHolder")
                lines.append(r.attr("ou", P.value[c]))
                lines.append(r.attr("description", f"{P.dept[c]} unit at level {P.level[c]}"))
                lines.append(f"telephoneNumber: +1 555 01{c % 100:02d}")
            if has:
                add_script(lines, make_script(rng, 0.03), True)
            out.append("\n".join(lines))
            out.append("\n\n")
    else:
        _, c0, c1, alias_ordinal = chunk
        for c in range(c0, c1):
            parent_dn = P.dn[c]
            for serial in range(P.ustart[c], P.ustart[c] + P.ucount[c]):
                h, given, sn, cn, uid, rdn = user_fields(serial)
                has = rng.random() < 0.6 or serial in P.long_scripts
                lines = [r.attr("dn", f"{rdn},{parent_dn}"), "objectClass: top", "objectClass: person",
                         "objectClass: organizationalPerson", "objectClass: inetOrgPerson"]
                if has:
                    lines.append("objectClass: loginScriptHolder")
                lines += [r.attr("cn", cn), r.attr("sn", sn), r.attr("givenName", given),
                          f"uid: {uid}", f"mail: {uid}@bench.example"]
                if has:
                    if serial in P.long_scripts:
                        script = make_long_script(rng, P.long_scripts[serial])
                    else:
                        script = make_script(rng, 0.03)
                    add_script(lines, script, True)
                out.append("\n".join(lines))
                out.append("\n\n")
            for serial in range(P.astart[c], P.astart[c] + P.acount[c]):
                kind, target = P.targets[alias_ordinal]
                alias_ordinal += 1
                if kind == "c":
                    v = f"Link {serial}"
                    lines = [r.attr("dn", f"ou={v},{parent_dn}"), "objectClass: top", "objectClass: alias",
                             "objectClass: extensibleObject", f"ou: {v}",
                             r.attr("aliasedObjectName", P.dn[target])]
                else:
                    v = f"Alias {serial}"
                    lines = [r.attr("dn", f"cn={v},{parent_dn}"), "objectClass: top", "objectClass: alias",
                             "objectClass: extensibleObject", f"cn: {v}",
                             r.attr("aliasedObjectName", user_dn(target))]
                # Aliases are never examined: their scripts, the word in a
                # quarter of them, must not count.
                if rng.random() < 0.3:
                    add_script(lines, make_script(rng, 0.25), False)
                out.append("\n".join(lines))
                out.append("\n\n")
    return "".join(out).encode("ascii"), expected, stats


# -------------------------------------------------------------------- main

def main():
    global P
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--entries", type=int, required=True)
    ap.add_argument("--seed", type=int, required=True)
    ap.add_argument("--word", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--fold", type=int, default=76, help="fold width (0: never fold)")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--reuse", action="store_true",
                    help="keep OUT when its .meta.json says it was made with these arguments")
    args = ap.parse_args()
    if args.entries < 100:
        ap.error("--entries must be at least 100")
    if not args.word or not all(0x21 <= ord(ch) <= 0x7E for ch in args.word) or len(args.word) > 99:
        ap.error("--word must be 1 to 99 printable ASCII characters without blanks")
    if args.fold and args.fold < 8:
        ap.error("--fold must be 0 or at least 8")

    meta_path = args.out + ".meta.json"
    wanted = {"generator": GENERATOR_VERSION, "entries": args.entries, "seed": args.seed,
              "word": args.word, "fold": args.fold}
    if args.reuse and os.path.exists(meta_path) and os.path.exists(args.out):
        with open(meta_path) as f:
            meta = json.load(f)
        if {k: meta.get(k) for k in wanted} == wanted and meta.get("bytes") == os.path.getsize(args.out):
            print(meta["expected"])
            print(f"gen_tree: reusing {args.out}", file=sys.stderr)
            return

    started = time.monotonic()
    P = make_plan(args.entries, args.seed, args.word, args.fold)
    planned = time.monotonic()
    expected = 0
    totals = {"scripts": 0, "word_scripts": 0}
    written = 0
    tmp = args.out + ".part"
    with open(tmp, "wb") as f:
        f.write(b"# Synthetic directory tree for qovant's benchmark (bench/gen_tree.py)\n")
        f.write(f"# entries={args.entries} seed={args.seed} fold={args.fold}\n\n".encode("ascii"))
        if args.jobs > 1:
            ctx = multiprocessing.get_context("fork")
            with ctx.Pool(args.jobs) as pool:
                results = pool.imap(render_chunk, P.chunks)
                for data, n, stats in results:
                    f.write(data)
                    written += len(data)
                    expected += n
                    for k in totals:
                        totals[k] += stats[k]
        else:
            for chunk in P.chunks:
                data, n, stats = render_chunk(chunk)
                f.write(data)
                written += len(data)
                expected += n
                for k in totals:
                    totals[k] += stats[k]
    os.replace(tmp, args.out)
    size = os.path.getsize(args.out)
    with open(meta_path, "w") as f:
        json.dump(dict(wanted, expected=expected, bytes=size), f)
        f.write("\n")
    done = time.monotonic()
    print(expected)
    print(f"gen_tree: {args.out}: {args.entries} entries ({P.containers} units, {P.users} users, "
          f"{P.aliases} aliases), {totals['scripts']} scripts, {totals['word_scripts']} holding the word, "
          f"{size / 1e6:.1f} MB; expected matches {expected}; "
          f"plan {planned - started:.1f} s, total {done - started:.1f} s", file=sys.stderr)


if __name__ == "__main__":
    main()
