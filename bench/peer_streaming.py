#!/usr/bin/python3
"""The streaming python-ldap peer: an LDIFParser subclass that checks each
record as it is parsed, so memory stays flat.

    peer_streaming.py WORD FILE.ldif
"""

import sys

import ldif

from peer_report import Reporter


class ScriptSearch(ldif.LDIFParser):
    def __init__(self, input_file, reporter):
        super().__init__(input_file)
        self.reporter = reporter

    def handle(self, dn, entry):
        self.reporter.record(dn, entry)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: peer_streaming.py WORD FILE.ldif")
    reporter = Reporter(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        ScriptSearch(f, reporter).parse()
    sys.stdout.flush()


if __name__ == "__main__":
    main()
