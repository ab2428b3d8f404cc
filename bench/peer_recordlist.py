#!/usr/bin/python3
"""The simplest python-ldap peer: LDIFRecordList reads every record into a
list, then each one is checked.

    peer_recordlist.py WORD FILE.ldif
"""

import sys

import ldif

from peer_report import Reporter


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: peer_recordlist.py WORD FILE.ldif")
    reporter = Reporter(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        records = ldif.LDIFRecordList(f)
        records.parse()
    for dn, entry in records.all_records:
        reporter.record(dn, entry)
    sys.stdout.flush()


if __name__ == "__main__":
    main()
