"""What a python-ldap user writes to get qovant's report from LDIF records:
shared by peer_recordlist.py and peer_streaming.py, which differ only in how
they read the file.

Per record: aliases are skipped; the first loginScript value, cut to 60,000
bytes and at its first NUL byte, upper-cased (ASCII, as in the C locale), is
searched for the upper-cased word; a hit prints "<display name> (<line>)".
Report lines come in file order, not qovant's walk order.
"""

import sys

import ldap.dn

SCRIPT_READ = 60000


def full_name(dn):
    """qovant's dotted name: RDNs joined by ".", types upper-cased, values
    unescaped with ".", "+" and "\\" given a backslash (NUL as \\00)."""
    parts = []
    for rdn in ldap.dn.str2dn(dn):
        avas = []
        for attr_type, value, _flags in rdn:
            v = value.encode("utf-8") if isinstance(value, str) else value
            v = (v.replace(b"\\", b"\\\\").replace(b".", b"\\.")
                 .replace(b"+", b"\\+").replace(b"\x00", b"\\00"))
            avas.append(attr_type.upper().encode("ascii") + b"=" + v)
        parts.append(b"+".join(avas))
    return b".".join(parts)


def display_name(name):
    for prefix in (b"CN=", b"OU=", b"C=", b"O="):
        while prefix in name:
            name = name.replace(prefix, b"", 1)
    return name


class Reporter:
    def __init__(self, word, out=None):
        self.word = word.encode("latin-1").upper()
        self.out = out or sys.stdout.buffer
        self.count = 0

    def record(self, dn, entry):
        classes = script = None
        for key, values in entry.items():
            lowered = key.lower()
            if lowered == "objectclass":
                classes = values
            elif lowered == "loginscript":
                script = values[0]
        if script is None:
            return
        if classes and any(c.lower() == b"alias" for c in classes):
            return
        data = script[:SCRIPT_READ]
        nul = data.find(b"\x00")
        if nul >= 0:
            data = data[:nul]
        if not data:
            return
        upper = data.upper()
        at = upper.find(self.word)
        if at < 0:
            return
        end = len(upper)
        for brk in (b"\r", b"\n"):
            k = upper.find(brk, at)
            if 0 <= k < end:
                end = k
        start = max(upper.rfind(b"\r", 0, at), upper.rfind(b"\n", 0, at)) + 1
        self.out.write(display_name(full_name(dn)) + b" (" + upper[start:end] + b")\n")
        self.count += 1
