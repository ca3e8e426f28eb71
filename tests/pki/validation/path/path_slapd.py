#!/usr/bin/env python3
"""The directory server of the path-validation tests: slapd on 127.0.0.1:38389, the port that the
path fixtures' distribution points name.

  path_slapd.py start --work DIR --fixtures DIR
  path_slapd.py stop --work DIR

The directory holds the directory client's test entries plus path.ldif.in; the directory
client's launcher (tests/pki/ldap/slapd/ldap_servers.py) loads and starts it.

The port is fixed by the fixtures, so every test run on the machine (native and cross-built, of
every checkout) needs the same server. One run stopping it while another still validates against
it failed the other's directory cases at random, so the server belongs to no run: it lives in a
machine-wide folder (SHARED below) with one lease per run, each naming its work folder and the
process that started the run (the test runner). start takes a lease, starting the server when
none runs; stop gives the lease back and stops the server with the last one. A lease whose
runner is gone no longer counts, so a run that was killed holds nothing. A run whose directory
content differs from what the server holds is refused with the names of the runs using it, rather
than validating against entries it did not load. Every step holds the folder's lock.
Standard library only.
"""

import argparse
import fcntl
import hashlib
import os
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
LDAP_DIR = os.path.join(HERE, "..", "..", "ldap", "slapd")
sys.path.insert(0, LDAP_DIR)
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "harness"))
import ldap_servers  # noqa: E402
from service_pids import alive, read_pid, start_time, stop_pid  # noqa: E402

PORT = 38389
SHARED = os.path.join(tempfile.gettempdir(), "v7-path-slapd-%d" % PORT)
SERVER = os.path.join(SHARED, "server")
LEASES = os.path.join(SHARED, "leases")
CONTENT = os.path.join(SHARED, "content")


def lease_path(work):
    return os.path.join(LEASES, hashlib.sha256(work.encode()).hexdigest()[:16])


def read_lease(path):
    """(runner pid, its start time, work folder), or None for a file that is not a lease."""
    try:
        with open(path) as f:
            pid, ticks, work = f.read().rstrip("\n").split(" ", 2)
        return int(pid), int(ticks), work
    except (OSError, ValueError):
        return None


def live_leases():
    """The work folders of the runs still holding a lease; the leases of runners that are gone
    are removed."""
    works = []
    for name in sorted(os.listdir(LEASES)):
        path = os.path.join(LEASES, name)
        lease = read_lease(path)
        if lease is not None and lease[1] != 0 and start_time(lease[0]) == lease[1]:
            works.append("%s (runner pid %d)" % (lease[2], lease[0]))
        else:
            os.unlink(path)
    return works


def digest(paths):
    h = hashlib.sha256()
    for path in paths:
        with open(path, "rb") as f:
            h.update(f.read())
    return h.hexdigest()


def read_text(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return ""


def server_pid():
    pid = read_pid(os.path.join(SERVER, "slapd.pid"))
    return pid if alive(pid, "slapd") else 0


def listener(port):
    """"pid N: command line" of the process listening on 127.0.0.1:port, or "" when not found."""
    inodes = set()
    try:
        with open("/proc/net/tcp") as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[1] == "0100007F:%04X" % port and fields[3] == "0A":  # LISTEN
                    inodes.add("socket:[%s]" % fields[9])
    except (OSError, IndexError):
        return ""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            fds = os.listdir("/proc/%s/fd" % pid)
            if any(os.readlink("/proc/%s/fd/%s" % (pid, fd)) in inodes for fd in fds):
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    return "pid %s: %s" % (pid, f.read().replace(b"\0", b" ").decode().strip())
        except OSError:
            continue
    return ""


def start(args, work):
    sources = [os.path.join(LDAP_DIR, "directory.ldif.in"), os.path.join(HERE, "path.ldif.in")]
    ldif = os.path.join(work, "directory.ldif")
    ldap_servers.write_ldif(args.fixtures, sources, ldif)
    wanted = digest([ldif, os.path.join(LDAP_DIR, "trust-list.schema")])
    runner = os.getppid()
    lease = lease_path(work)
    if os.path.exists(lease):
        os.unlink(lease)  # this work folder's earlier run
    users = live_leases()
    pid = server_pid()
    if pid != 0 and read_text(CONTENT) != wanted:
        if users:
            print("path_slapd: the slapd on 127.0.0.1:%d (pid %d) holds another checkout's "
                  "directory and is in use by %s; run these tests when that run has ended"
                  % (PORT, pid, ", ".join(users)), file=sys.stderr)
            return 1
        stop_pid(pid, "slapd")
        pid = 0
    if pid == 0:
        if ldap_servers.answers(PORT):
            print("path_slapd: 127.0.0.1:%d is taken by a program this script did not start "
                  "(%s); the path fixtures need that port"
                  % (PORT, listener(PORT) or "see `ss -ltnp sport = :%d`" % PORT), file=sys.stderr)
            return 1
        os.makedirs(SERVER, exist_ok=True)
        try:
            ldap_servers.start_slapd_at(SERVER, args.fixtures, sources, PORT)
        except (RuntimeError, OSError, ldap_servers.subprocess.CalledProcessError) as e:
            print("path_slapd: %s" % e, file=sys.stderr)
            return 1
        with open(CONTENT, "w") as f:
            f.write(wanted + "\n")
    with open(lease, "w") as f:
        f.write("%d %d %s\n" % (runner, start_time(runner), work))
    return 0


def stop(args, work):
    lease = lease_path(work)
    if os.path.exists(lease):
        os.unlink(lease)
    if not live_leases():
        stop_pid(server_pid(), "slapd")
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["start", "stop"])
    p.add_argument("--work", required=True)
    p.add_argument("--fixtures", default=os.path.join(HERE, "..", "..", "..", "fixtures", "pki"))
    args = p.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    os.makedirs(LEASES, exist_ok=True)
    with open(os.path.join(SHARED, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return start(args, work) if args.command == "start" else stop(args, work)


if __name__ == "__main__":
    sys.exit(main())
