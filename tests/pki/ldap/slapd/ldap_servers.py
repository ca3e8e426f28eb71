#!/usr/bin/env python3
"""The directory servers of the LDAP client tests, on 127.0.0.1.

  ldap_servers.py start --work DIR --fixtures DIR --ports-file FILE --pid-file FILE
  ldap_servers.py stop --pid-file FILE

start loads a fresh slapd database from directory.ldif.in (values from the test PKI), starts
slapd on a free port and a scripted server (this program, "serve") that plays what slapd never
does: a refused bind, a BER-only length, silence, an oversized length, a reply that is not an
entry, a connection dropped mid-message, unusable values, replies that drip in pieces. Each scripted case has a port of its
own. The ports file gets one "name port" line per server. The scripted server owns slapd: it
stops it when it is stopped itself, when its lifetime ends or when the test runner that started
it is gone. Standard library only.
"""

import argparse
import base64
import os
import re
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(HERE, "../../../fixtures/pki"))
from der_helper import tlv as der  # noqa: E402  (the test PKI's own DER writer)
sys.path.insert(0, os.path.join(HERE, "../../../harness"))
from service_pids import alive, read_pid, stop_pid  # noqa: E402
SLAPD = "/usr/sbin/slapd"
SLAPADD = "/usr/sbin/slapadd"


# --- BER pieces of the replies -------------------------------------------------------------

def octets(b):
    return der(0x04, b)


def message(msg_id, op):
    return der(0x30, der(0x02, msg_id) + op)


def result(tag, code):
    return der(tag, der(0x0A, bytes([code])) + octets(b"") + octets(b""))


def entry(msg_id, dn, attributes):
    attrs = b"".join(der(0x30, octets(t) + der(0x31, b"".join(octets(v) for v in vals)))
                     for t, vals in attributes)
    return message(msg_id, der(0x64, octets(dn) + der(0x30, attrs)))


def done(msg_id, code=0):
    return message(msg_id, result(0x65, code))


BIND_OK = message(b"\x01", result(0x61, 0))
BIND_REFUSED = message(b"\x01", result(0x61, 49))  # invalidCredentials


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def read_message(conn):
    head = read_exact(conn, 2)
    if head[1] < 0x80:
        length = head[1]
    else:
        length = int.from_bytes(read_exact(conn, head[1] & 0x7F), "big")
    return read_exact(conn, length)


def message_id(contents):
    """The id of a message, from its contents (the INTEGER comes first)."""
    if len(contents) < 3 or contents[0] != 0x02:
        raise EOFError
    return contents[2:2 + contents[1]]


# --- Scripted cases: each is what the server does after accepting -------------------------

def fixture(args, name):
    with open(os.path.join(args.fixtures, name), "rb") as f:
        return f.read()


def bind_then_search(conn):
    read_message(conn)
    conn.sendall(BIND_OK)
    return message_id(read_message(conn))


def case_bind_refused(conn, args):
    read_message(conn)
    conn.sendall(BIND_REFUSED)


def case_ber_length(conn, args):
    mid = bind_then_search(conn)
    small = entry(mid, b"cn=x", [(b"cACertificate", [b"\x30\x03\x02\x01\x05"])])
    # The entry's outer length in the long form although it is below 128: BER, not DER.
    conn.sendall(b"\x30\x81" + bytes([len(small) - 2]) + small[2:] + done(mid))


def hold_until_closed(conn):
    """Reads whatever comes until the client closes: a client that waits for more from here
    waits until its own deadline, never until the server gives up."""
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def case_silent(conn, args):
    read_message(conn)
    hold_until_closed(conn)


def case_oversize(conn, args):
    mid = bind_then_search(conn)
    conn.sendall(b"\x30\x84\x7f\xff\xff\xff" + der(0x02, mid))
    hold_until_closed(conn)


def case_not_entry(conn, args):
    mid = bind_then_search(conn)
    reference = message(mid, der(0x73, octets(b"ldap://127.0.0.1/c=KR")))
    conn.sendall(reference + done(mid))


def case_wrong_id(conn, args):
    mid = bind_then_search(conn)
    other = bytes([(mid[0] ^ 0x01)]) + mid[1:]
    conn.sendall(entry(other, b"cn=x", [(b"cACertificate", [fixture(args, "ca.der")])]) + done(mid))


def case_drop_mid_message(conn, args):
    mid = bind_then_search(conn)
    reply = entry(mid, b"cn=x", [(b"cACertificate", [fixture(args, "ca.der")])])
    conn.sendall(reply[:len(reply) // 2])
    conn.shutdown(socket.SHUT_WR)
    hold_until_closed(conn)


def case_skip_value(conn, args):
    mid = bind_then_search(conn)
    ca = fixture(args, "ca.der")
    # Not a SEQUENCE, cut short, with a byte after it: only the last value counts.
    values = [b"\x04\x03abc", ca[:len(ca) // 2], ca + b"\x00", fixture(args, "root_kisa.der")]
    conn.sendall(entry(mid, b"cn=x", [(b"userCertificate;binary", [ca]),
                                      (b"cACertificate;binary", values)]) + done(mid))


def case_no_value(conn, args):
    mid = bind_then_search(conn)
    values = [b"\x04\x03abc", b"\x30\x03\x02\x01\x05"]
    conn.sendall(entry(mid, b"cn=x", [(b"cACertificate;binary", values)]) + done(mid))


def case_chunked(conn, args):
    """A good entry sent a few bytes at a time: TCP is a stream."""
    mid = bind_then_search(conn)
    reply = entry(mid, b"cn=x", [(b"cACertificate;binary", [fixture(args, "ca.der")])]) + done(mid)
    for i in range(0, len(reply), 7):
        conn.sendall(reply[i:i + 7])
        time.sleep(0.001)
    read_message(conn)  # the unbind


def case_drip(conn, args):
    """A good entry sent one byte every 0.2 s: each byte comes within the wait, the whole never."""
    mid = bind_then_search(conn)
    reply = entry(mid, b"cn=x", [(b"cACertificate;binary", [fixture(args, "ca.der")])]) + done(mid)
    for i in range(len(reply)):
        conn.sendall(reply[i:i + 1])
        time.sleep(0.2)


def send_in_two(conn, msg, pause):
    conn.sendall(msg[:len(msg) // 2])
    time.sleep(pause)
    conn.sendall(msg[len(msg) // 2:])
    time.sleep(pause)


def case_drip_pieces(conn, args):
    """Every message in two pieces 0.15 s apart: each whole well within a 0.5 s message limit, the
    search's end (after twenty references) only after some 6.6 s."""
    read_message(conn)
    send_in_two(conn, BIND_OK, 0.15)
    mid = message_id(read_message(conn))
    reference = message(mid, der(0x73, octets(b"ldap://127.0.0.1/c=KR")))
    send_in_two(conn, entry(mid, b"cn=x", [(b"cACertificate;binary", [fixture(args, "ca.der")])]), 0.15)
    for _ in range(20):
        send_in_two(conn, reference, 0.15)
    send_in_two(conn, done(mid), 0.15)


def case_split_message(conn, args):
    """The entry in the three reads of a message (head, length bytes, body), 0.3 s apart: each
    read within a 0.5 s limit, the whole message not."""
    mid = bind_then_search(conn)
    reply = entry(mid, b"cn=x", [(b"cACertificate;binary", [fixture(args, "ca.der")])])
    assert reply[1] == 0x82
    for piece in (reply[:2], reply[2:4]):
        conn.sendall(piece)
        time.sleep(0.3)
    conn.sendall(reply[4:] + done(mid))
    read_message(conn)  # the unbind


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def make_server(name, fn, args):
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            try:
                fn(self.request, args)
            except (EOFError, OSError):
                pass

    class Server(socketserver.ThreadingTCPServer):
        daemon_threads = True
        allow_reuse_address = True

    return Server(("127.0.0.1", 0), Handler)


# --- slapd ----------------------------------------------------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_ldif(fixtures, sources, path):
    """The LDIF files joined, each @name.der@ replaced by that fixture's base64."""
    text = ""
    for source in sources:
        with open(source) as f:
            text += f.read() + "\n"

    def value(m):
        with open(os.path.join(fixtures, m.group(1)), "rb") as g:
            return base64.b64encode(g.read()).decode()

    with open(path, "w") as f:
        f.write(re.sub(r"@([A-Za-z0-9_]+\.der)@", value, text))


def answers(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def start_slapd_at(work, fixtures, ldif_sources, port):
    """A fresh database in work from the LDIF sources, and slapd on 127.0.0.1:port; returns once
    it answers and has written its pid file (work/slapd.pid)."""
    work = os.path.abspath(work)
    db = os.path.join(work, "db")
    os.makedirs(db, exist_ok=True)
    for name in os.listdir(db):
        os.unlink(os.path.join(db, name))
    with open(os.path.join(HERE, "slapd.conf.in")) as f:
        conf = f.read().replace("@WORK@", work).replace("@HERE@", HERE)
    conf_path = os.path.join(work, "slapd.conf")
    with open(conf_path, "w") as f:
        f.write(conf)
    ldif = os.path.join(work, "directory.ldif")
    write_ldif(fixtures, ldif_sources, ldif)
    subprocess.run([SLAPADD, "-q", "-f", conf_path, "-l", ldif], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run([SLAPD, "-f", conf_path, "-h", "ldap://127.0.0.1:%d/" % port], check=True)
    deadline = time.time() + 10
    while time.time() < deadline:
        if answers(port) and os.path.exists(os.path.join(work, "slapd.pid")):
            return
        time.sleep(0.1)
    raise RuntimeError("slapd did not start")


def start_slapd(args):
    port = free_port()
    start_slapd_at(args.work, args.fixtures, [os.path.join(HERE, "directory.ldif.in")], port)
    return port


# --- commands -------------------------------------------------------------------------------

def serve(args):
    servers = {name: make_server(name, fn, args) for name, fn in sorted(CASES.items())}
    for s in servers.values():
        threading.Thread(target=s.serve_forever, daemon=True).start()
    lines = ["slapd %d" % args.slapd_port]
    lines += ["%s %d" % (name, s.server_address[1]) for name, s in servers.items()]
    with open(args.pid_file, "w") as f:
        f.write("%d\n" % os.getpid())
    tmp = args.ports_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, args.ports_file)

    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    deadline = time.time() + args.lifetime
    while not stopping.is_set() and time.time() < deadline and alive(args.owner):
        stopping.wait(1)
    stop_pid(read_pid(os.path.join(args.work, "slapd.pid")), "slapd")
    for path in (args.pid_file, args.ports_file):
        try:
            os.unlink(path)
        except OSError:
            pass


def start(args):
    # Servers an earlier run left behind go first.
    stop_pid(read_pid(args.pid_file), "ldap_servers.py")
    stop_pid(read_pid(os.path.join(args.work, "slapd.pid")), "slapd")
    if os.path.exists(args.ports_file):
        os.unlink(args.ports_file)
    port = start_slapd(args)
    log = open(os.path.join(args.work, "servers.log"), "w")
    subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--work", args.work,
                      "--fixtures", args.fixtures, "--ports-file", args.ports_file,
                      "--pid-file", args.pid_file, "--slapd-port", str(port),
                      "--owner", str(os.getppid()), "--lifetime", str(args.lifetime)],
                     stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    deadline = time.time() + 10
    while time.time() < deadline:
        if os.path.exists(args.ports_file):
            return 0
        time.sleep(0.05)
    print("scripted server did not start", file=sys.stderr)
    stop_pid(read_pid(os.path.join(args.work, "slapd.pid")), "slapd")
    return 1


def stop(args):
    stop_pid(read_pid(args.pid_file), "ldap_servers.py")
    if args.work:
        stop_pid(read_pid(os.path.join(args.work, "slapd.pid")), "slapd")
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["start", "stop", "serve"])
    p.add_argument("--work", default="")
    p.add_argument("--fixtures", default=os.path.join(HERE, "../../../fixtures/pki"))
    p.add_argument("--ports-file", default="")
    p.add_argument("--pid-file", required=True)
    p.add_argument("--slapd-port", type=int, default=0)
    p.add_argument("--owner", type=int, default=0)
    p.add_argument("--lifetime", type=int, default=900)
    args = p.parse_args()
    if args.command == "start":
        os.makedirs(args.work, exist_ok=True)
        return start(args)
    if args.command == "stop":
        return stop(args)
    serve(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
