#!/usr/bin/env python3
"""The smart-card stack of the card store's tests: pcscd with the vpcd driver and tools/vcard.

  card_services.py start [--listen-only] --work DIR --vcard PATH
  card_services.py stop --work DIR

--listen-only starts the virtual card alone, listening on 127.0.0.1 for the Windows build's test
winscard.dll (a "card P" line in DIR/vcard.ports); it stops when the test runner is gone.

start refuses when a pcscd already serves the machine-wide socket /run/pcscd/pcscd.comm (pcscd
cannot be given another one; the client library can, but the daemon always takes this path), and
says which pcscd that is: its pid and, for one that these scripts started, the checkout's work
folder (pcscd 1.9 has no option or variable for its socket path). The check and the start hold
a machine-wide lock until the card is in, so two checkouts starting at once cannot both find the
socket free (the second would remove the first one's socket as a stale one). Otherwise it writes
a reader configuration of its own for vpcd on a free pair of ports, starts `pcscd -f -c` with it,
and puts the virtual card into vpcd's second slot ("Virtual PCD 00 01"; the first stays empty, so
the store must pass over a reader without a card). It returns once PC/SC reports the card present. vcard writes its control port into DIR/vcard.ports and logs its
APDUs into DIR/apdu.log. stop ends both by their process ids. Standard library only.

vpcd listens for the card on all interfaces: the driver has no setting for the address. The
ports are free ones chosen for this run and live only while the tests do.
"""

import argparse
import ctypes
import fcntl
import os
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(HERE, "../../harness"))
from service_pids import alive, read_pid, stop_pid  # noqa: E402

PCSCD = "/usr/sbin/pcscd"
DRIVER = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so"
SOCKET = "/run/pcscd/pcscd.comm"
DAEMON_PID = "/run/pcscd/pcscd.pid"
LOCK = os.path.join(tempfile.gettempdir(), "v7-card-services.lock")  # one for the machine
CARD_READER = b"Virtual PCD 00 01"


def socket_served():
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.connect(SOCKET)
        return True
    except OSError:
        return False
    finally:
        s.close()


def pcscd_processes():
    """The pids of the pcscd processes running on the machine, the pid file's first."""
    pids = []
    named = read_pid(DAEMON_PID)
    if alive(named, "pcscd"):
        pids.append(named)
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) not in pids and alive(int(entry)):
            try:
                with open("/proc/%s/comm" % entry) as f:
                    if f.read().strip() == "pcscd":
                        pids.append(int(entry))
            except OSError:
                pass
    return pids


def describe(pid):
    """"pid N", with the work folder of a pcscd that card_services.py started (its -c folder)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            argv = f.read().decode(errors="replace").split("\0")
    except OSError:
        argv = []
    if "-c" in argv and argv.index("-c") + 1 < len(argv):
        return "pid %d, started for %s" % (pid, os.path.dirname(argv[argv.index("-c") + 1]))
    return "pid %d" % pid


def free_port_pair():
    """Two consecutive ports free on every interface (vpcd binds the wildcard address)."""
    for _ in range(100):
        with socket.socket() as a:
            a.bind(("", 0))
            port = a.getsockname()[1]
            if port >= 65535:
                continue
            with socket.socket() as b:
                try:
                    b.bind(("", port + 1))
                except OSError:
                    continue
            return port
    raise RuntimeError("no two free consecutive ports")


class ReaderState(ctypes.Structure):
    # pcsclite's SCARD_READERSTATE: DWORD is unsigned long there.
    _fields_ = [("reader", ctypes.c_char_p), ("user", ctypes.c_void_p),
                ("current", ctypes.c_ulong), ("event", ctypes.c_ulong),
                ("atr_len", ctypes.c_ulong), ("atr", ctypes.c_ubyte * 33)]


def wait_card_present(seconds):
    """Waits, through PC/SC's own change notification, until the card's reader has a card."""
    lib = ctypes.CDLL("libpcsclite.so.1")
    ctx = ctypes.c_long()
    if lib.SCardEstablishContext(2, None, None, ctypes.byref(ctx)) != 0:
        return False
    try:
        state = ReaderState(CARD_READER, None, 0, 0, 0)
        deadline = time.time() + seconds
        while time.time() < deadline:
            timeout_ms = int((deadline - time.time()) * 1000)
            rc = lib.SCardGetStatusChange(ctx, ctypes.c_ulong(max(timeout_ms, 1)),
                                          ctypes.byref(state), ctypes.c_ulong(1)) & 0xFFFFFFFF
            if rc == 0 and state.event & 0x20:  # SCARD_STATE_PRESENT
                return True
            if rc not in (0, 0x8010000A, 0x80100009):  # timeout, unknown reader (not yet added)
                return False
            if rc == 0x80100009:
                time.sleep(0.05)  # the reader is not there yet: nothing to wait on
            state.current = state.event & ~0x2  # known now; wait for the next change
        return False
    finally:
        lib.SCardReleaseContext(ctx)


def start_alone(args, work):
    vlog = open(os.path.join(work, "vcard.out"), "w")
    vcard = subprocess.Popen([sys.executable, args.vcard,
                              "--ports-file", os.path.join(work, "vcard.ports"),
                              "--log", os.path.join(work, "apdu.log"),
                              "--owner", str(os.getppid())],
                             stdin=subprocess.DEVNULL, stdout=vlog, stderr=vlog,
                             start_new_session=True)
    with open(os.path.join(work, "vcard.pid"), "w") as f:
        f.write("%d\n" % vcard.pid)
    deadline = time.time() + 10
    while not os.path.exists(os.path.join(work, "vcard.ports")):
        if vcard.poll() is not None or time.time() > deadline:
            print("card_services: the virtual card did not start (see %s)" % work,
                  file=sys.stderr)
            stop(args)
            return 1
        time.sleep(0.05)
    return 0


def start(args):
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    stop(args)  # what an earlier run left behind
    for name in ("vcard.ports", "apdu.log", "winscard.log"):
        if os.path.exists(os.path.join(work, name)):
            os.unlink(os.path.join(work, name))
    if args.listen_only:
        return start_alone(args, work)
    with open(LOCK, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return start_pcscd(args, work)


def start_pcscd(args, work):
    others = pcscd_processes()
    if socket_served() or others:
        print("card_services: another pcscd (%s) already serves %s: it may be another checkout's "
              "card tests; run these when it has stopped (they start their own)"
              % ("; ".join(describe(p) for p in others) or "pid unknown", SOCKET), file=sys.stderr)
        return 1
    if os.path.exists(SOCKET):
        os.unlink(SOCKET)  # left by a pcscd that is gone: it would refuse to start
    port = free_port_pair()
    conf = os.path.join(work, "reader.conf.d")
    os.makedirs(conf, exist_ok=True)
    with open(os.path.join(conf, "vpcd"), "w") as f:
        f.write('FRIENDLYNAME "Virtual PCD"\nDEVICENAME /dev/null:%d\nLIBPATH %s\n'
                'CHANNELID %d\n' % (port, DRIVER, port))
    log = open(os.path.join(work, "pcscd.log"), "w")
    pcscd = subprocess.Popen([PCSCD, "-f", "-c", conf], stdin=subprocess.DEVNULL, stdout=log,
                             stderr=log, start_new_session=True)
    with open(os.path.join(work, "pcscd.pid"), "w") as f:
        f.write("%d\n" % pcscd.pid)
    deadline = time.time() + 10
    while not socket_served():
        if pcscd.poll() is not None or time.time() > deadline:
            print("card_services: pcscd did not start (see %s/pcscd.log)" % work,
                  file=sys.stderr)
            stop(args)
            return 1
        time.sleep(0.05)

    vlog = open(os.path.join(work, "vcard.out"), "w")
    vcard = subprocess.Popen([sys.executable, args.vcard, "--connect", str(port + 1),
                              "--ports-file", os.path.join(work, "vcard.ports"),
                              "--log", os.path.join(work, "apdu.log"),
                              "--owner", str(pcscd.pid)],
                             stdin=subprocess.DEVNULL, stdout=vlog, stderr=vlog,
                             start_new_session=True)
    with open(os.path.join(work, "vcard.pid"), "w") as f:
        f.write("%d\n" % vcard.pid)
    if not wait_card_present(10) or not os.path.exists(os.path.join(work, "vcard.ports")):
        print("card_services: the virtual card did not come up (see %s)" % work, file=sys.stderr)
        stop(args)
        return 1
    return 0


def stop(args):
    work = os.path.abspath(args.work)
    stop_pid(read_pid(os.path.join(work, "vcard.pid")), "vcard.py")
    stop_pid(read_pid(os.path.join(work, "pcscd.pid")), "pcscd")
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("command", choices=["start", "stop"])
    p.add_argument("--work", required=True)
    p.add_argument("--vcard", default="")
    p.add_argument("--listen-only", action="store_true")
    args = p.parse_args()
    return start(args) if args.command == "start" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
