#!/usr/bin/env python3
"""The directory server of the path-validation tests: slapd on 127.0.0.1:38389, the port that the
path fixtures' distribution points name.

  path_slapd.py start --work DIR --fixtures DIR
  path_slapd.py stop --work DIR

The directory holds the directory client's test entries plus path.ldif.in; the directory
client's launcher (tests/pki/ldap/slapd/ldap_servers.py) loads and starts it. The port is fixed by
the fixtures, so a native and a cross-built test run share one server: start leaves a server that
already answers there alone, and stop stops only a slapd this work folder started.
Standard library only.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
LDAP_DIR = os.path.join(HERE, "..", "..", "ldap", "slapd")
sys.path.insert(0, LDAP_DIR)
import ldap_servers  # noqa: E402

PORT = 38389


def start(args):
    if ldap_servers.answers(PORT):
        return 0
    sources = [os.path.join(LDAP_DIR, "directory.ldif.in"), os.path.join(HERE, "path.ldif.in")]
    try:
        ldap_servers.start_slapd_at(args.work, args.fixtures, sources, PORT)
    except RuntimeError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


def stop(args):
    pid_file = os.path.join(os.path.abspath(args.work), "slapd.pid")
    ldap_servers.stop_pid(ldap_servers.read_pid(pid_file), "slapd")
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["start", "stop"])
    p.add_argument("--work", required=True)
    p.add_argument("--fixtures", default=os.path.join(HERE, "..", "..", "..", "fixtures", "pki"))
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    return start(args) if args.command == "start" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
