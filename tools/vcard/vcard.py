#!/usr/bin/env python3
"""A virtual IC card for the smart-card store's tests, standard library only.

  vcard.py --ports-file FILE [--connect PORT] [--image FILE] [--log FILE] [--owner PID]

It plays the card in a reader slot of vsmartcard's vpcd driver: with --connect it connects to
the slot's port on 127.0.0.1 (inserting the card); without, it listens on 127.0.0.1 for the
test winscard.dll of the Windows build, which speaks the same frames. Frames both ways are a
2-byte big-endian length and a payload; a payload of one byte from the reader is a control code
(0 power off, 1 power on, 2 reset, 4 ATR, answered with the ATR), anything longer is a command
APDU answered by a response APDU. When the reader closes the connection the program ends.

A port of its own takes control lines from the tests, each answered by one line starting "ok"
or "error":
  load PATH     replace the card by the image in PATH (power off, PIN forgotten)
  save PATH     write the card's image to PATH
  quirk NAME 0|1
  refuse F3|F4 KIND SW|-   from now on READ RECORD of that record file answers SW (as the image
                line below), or again as stored with -
  refuse verify SW|-       likewise every VERIFY
  clearlog      empty the APDU log
  sync          nothing, once every frame the reader sent before it is handled
  eject, insert take the card out of its vpcd slot and put it back (--connect only)
The ports file gets a "control C" line, and "card P" when it listens.

The card: two dedicated files F300 and F400 selectable by file id (F3 00) and application id
(D4 10 65 09 90 00 30 / 40), each with linear record files addressed by short file id in P2
(kind << 3 | 4): 3 key, 4 certificate, 5 VID random (F300), 6 presence (F300). A PIN with a try
counter (63 Cx, 69 83 when blocked), reference 01 (or 81 with quirk pin_ref_81, which answers
6A 88 to 01). Keys, the VID record and every update need the proven PIN (69 82); power off
forgets it.

Image lines (also what save writes):
  pin HEX             the PIN's bytes as VERIFY compares them (zero-padded to 8)
  tries LEFT MAX
  df F3|F4            the file exists
  ef F3|F4 KIND       the record file exists (empty)
  record F3|F4 KIND N HEX   record N's raw bytes (as READ RECORD returns them)
  capacity F3|F4 KIND N     the record file takes N records (else 82 for kinds 3 and 4, 2 for 5);
                            an UPDATE past them answers 6A 84
  refuse F3|F4 KIND SW      every READ RECORD of the record file answers the status word SW (hex),
                            as a card in a wrong state or with a fault would
  refuse verify SW          every VERIFY answers SW, whatever its PIN or reference (no try spent)
  quirk NAME
Quirks: no_fid (SELECT by file id answers 6A 82), pin_ref_81, resend_6c (the first READ of
each record from 2 on answers 6C with the record's length), update_retry (the first try of
each UPDATE answers 65 81), ignore_le (a record is returned as stored whatever Le asks),
presence_pin (the presence record too reads only with the proven PIN, as on some cards).
"""

import argparse
import os
import selectors
import signal
import socket
import struct
import sys

ATR = bytes.fromhex("3B8880010000000000000000")  # T=1, no historical meaning
KINDS = (3, 4, 5, 6)
CAPACITY = {3: 82, 4: 82, 5: 2, 6: 1}
AIDS = {bytes.fromhex("D4106509900030"): "F3", bytes.fromhex("D4106509900040"): "F4"}
QUIRKS = ("no_fid", "pin_ref_81", "resend_6c", "update_retry", "ignore_le", "presence_pin")
# What needs the proven PIN, per kind: reads of keys and the VID record; every update.
READ_NEEDS_PIN = {3, 5}


def sw(a, b, data=b""):
    return data + bytes([a, b])


class Card:
    def __init__(self):
        self.pin = b"1234".ljust(8, b"\0")
        self.tries = 3
        self.max_tries = 3
        self.files = {"F3": {k: {} for k in KINDS}, "F4": {k: {} for k in (3, 4)}}
        self.quirks = set()
        self.capacity = {}
        self.refusals = {}
        self.verify_refusal = None
        self.power_off()

    def power_off(self):
        self.verified = False
        self.current = None
        self.asked = set()  # (file, kind, record) read once already (resend_6c)
        self.tried = set()  # update commands tried once already (update_retry)

    # --- image --------------------------------------------------------------------------
    def load(self, path):
        card = Card()
        card.files = {}
        card.quirks = set()
        card.capacity = {}
        card.refusals = {}
        card.verify_refusal = None
        with open(path) as f:
            for number, line in enumerate(f, 1):
                words = line.split()
                if not words or words[0].startswith("#"):
                    continue
                try:
                    card.apply(words)
                except (ValueError, KeyError, IndexError) as e:
                    raise ValueError("%s:%d: %s" % (path, number, e))
        self.__dict__.update(card.__dict__)
        self.power_off()

    def apply(self, words):
        key = words[0]
        if key == "pin":
            self.pin = bytes.fromhex(words[1]).ljust(8, b"\0")
        elif key == "tries":
            self.tries, self.max_tries = int(words[1]), int(words[2])
        elif key == "df":
            self.files.setdefault(words[1], {})
        elif key == "ef":
            self.files.setdefault(words[1], {})[int(words[2])] = {}
        elif key == "record":
            ef = self.files.setdefault(words[1], {}).setdefault(int(words[2]), {})
            ef[int(words[3])] = bytes.fromhex(words[4] if len(words) > 4 else "")
        elif key == "capacity":
            self.capacity[(words[1], int(words[2]))] = int(words[3])
        elif key == "refuse":
            status = bytes.fromhex(words[-1])
            if len(status) != 2:
                raise ValueError("a status word is two bytes")
            if words[1] == "verify":
                self.verify_refusal = status
            else:
                self.refusals[(words[1], int(words[2]))] = status
        elif key == "quirk":
            if words[1] not in QUIRKS:
                raise ValueError("unknown quirk " + words[1])
            self.quirks.add(words[1])
        else:
            raise ValueError("unknown line " + key)

    def save(self, path):
        lines = ["pin " + self.pin.hex().upper(), "tries %d %d" % (self.tries, self.max_tries)]
        for name in sorted(self.files):
            lines.append("df " + name)
            for kind in sorted(self.files[name]):
                lines.append("ef %s %d" % (name, kind))
                for n, rec in sorted(self.files[name][kind].items()):
                    lines.append("record %s %d %d %s" % (name, kind, n, rec.hex().upper()))
        for (name, kind), n in sorted(self.capacity.items()):
            lines.append("capacity %s %d %d" % (name, kind, n))
        for (name, kind), status in sorted(self.refusals.items()):
            lines.append("refuse %s %d %s" % (name, kind, status.hex().upper()))
        if self.verify_refusal is not None:
            lines.append("refuse verify " + self.verify_refusal.hex().upper())
        lines += ["quirk " + q for q in sorted(self.quirks)]
        tmp = path + ".tmp"
        with open(tmp, "w") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(tmp, path)

    # --- commands -----------------------------------------------------------------------
    def process(self, apdu):
        if len(apdu) < 4:
            return sw(0x67, 0x00)
        cla, ins, p1, p2 = apdu[:4]
        body = apdu[4:]
        data, le = b"", None
        if len(body) == 1:
            le = body[0] or 256
        elif len(body) > 1:
            lc = body[0]
            data = body[1:1 + lc]
            if len(data) != lc or len(body) > 2 + lc:
                return sw(0x67, 0x00)
            if len(body) == 2 + lc:
                le = body[-1] or 256
        if cla != 0x00:
            return sw(0x6E, 0x00)
        handler = {0xA4: self.select, 0x20: self.verify, 0xB2: self.read_record,
                   0xDC: self.update_record}.get(ins)
        if handler is None:
            return sw(0x6D, 0x00)
        return handler(p1, p2, data, le)

    def select(self, p1, p2, data, le):
        if p1 == 0x00 and p2 == 0x00 and len(data) == 2:
            if "no_fid" in self.quirks:
                return sw(0x6A, 0x82)
            name = "%02X" % data[0] if data[1] == 0 else None
        elif p1 == 0x04 and p2 == 0x00:
            name = AIDS.get(bytes(data))
        else:
            return sw(0x6A, 0x86)
        if name not in self.files:
            return sw(0x6A, 0x82)
        self.current = name
        return sw(0x90, 0x00)

    def verify(self, p1, p2, data, le):
        if self.verify_refusal is not None:
            return self.verify_refusal
        ref = 0x81 if "pin_ref_81" in self.quirks else 0x01
        if p1 != 0x00 or p2 != ref:
            return sw(0x6A, 0x88)
        if len(data) != 8:
            return sw(0x67, 0x00)
        if self.tries == 0:
            return sw(0x69, 0x83)
        if data == self.pin:
            self.tries = self.max_tries
            self.verified = True
            return sw(0x90, 0x00)
        self.tries -= 1
        self.verified = False
        return sw(0x63, 0xC0 | self.tries) if self.tries else sw(0x69, 0x83)

    def record_file(self, p2):
        if self.current is None:
            return None, sw(0x69, 0x86)
        kind = p2 >> 3
        if p2 & 7 != 4 or kind not in self.files[self.current]:
            return None, sw(0x6A, 0x82)
        return kind, None

    def read_record(self, p1, p2, data, le):
        kind, error = self.record_file(p2)
        if error:
            return error
        if (self.current, kind) in self.refusals:
            return self.refusals[(self.current, kind)]
        needs_pin = kind in READ_NEEDS_PIN or (kind == 6 and "presence_pin" in self.quirks)
        if needs_pin and not self.verified:
            return sw(0x69, 0x82)
        rec = self.files[self.current][kind].get(p1)
        if rec is None:
            return sw(0x6A, 0x83)
        key = (self.current, kind, p1)
        if "resend_6c" in self.quirks and p1 >= 2 and key not in self.asked:
            self.asked.add(key)
            return sw(0x6C, len(rec) & 0xFF)
        if "ignore_le" not in self.quirks and le != len(rec):
            return sw(0x6C, len(rec) & 0xFF)
        return sw(0x90, 0x00, rec)

    def update_record(self, p1, p2, data, le):
        kind, error = self.record_file(p2)
        if error:
            return error
        if not self.verified:
            return sw(0x69, 0x82)
        if p1 < 1 or p1 > self.capacity.get((self.current, kind), CAPACITY[kind]):
            return sw(0x6A, 0x84)  # not enough memory
        key = (self.current, kind, p1, bytes(data))
        if "update_retry" in self.quirks and key not in self.tried:
            self.tried.add(key)
            return sw(0x65, 0x81)
        self.files[self.current][kind][p1] = bytes(data)
        return sw(0x90, 0x00)


class Server:
    def __init__(self, args):
        self.args = args
        self.card = Card()
        if args.image:
            self.card.load(args.image)
        self.sel = selectors.DefaultSelector()
        self.log = open(args.log, "a") if args.log else None
        self.control = self.listen(0)
        self.buffers = {}
        self.reader = None
        if args.connect:
            self.connect_reader(register=False)
        else:
            self.listener = self.listen(0)

    def listen(self, port):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        s.listen(4)
        return s

    def connect_reader(self, register=True):
        self.reader = socket.create_connection(("127.0.0.1", self.args.connect))
        self.reader.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if register:
            self.buffers[self.reader] = b""
            self.sel.register(self.reader, selectors.EVENT_READ, ("slot", "reader"))

    def note(self, text):
        if self.log:
            self.log.write(text + "\n")
            self.log.flush()

    def serve(self):
        self.sel.register(self.control, selectors.EVENT_READ, ("accept", "control"))
        ports = ["control %d" % self.control.getsockname()[1]]
        if self.reader:
            self.buffers[self.reader] = b""
            self.sel.register(self.reader, selectors.EVENT_READ, ("slot", "reader"))
        else:
            self.sel.register(self.listener, selectors.EVENT_READ, ("accept", "reader"))
            ports.append("card %d" % self.listener.getsockname()[1])
        tmp = self.args.ports_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("\n".join(ports) + "\n")
        os.replace(tmp, self.args.ports_file)
        while True:
            for key, _ in self.sel.select(timeout=1 if self.args.owner else None):
                self.event(key)
            if self.args.owner and not alive(self.args.owner):
                return

    def event(self, key):
        what, slot = key.data
        if what == "accept":
            conn, _ = key.fileobj.accept()
            self.buffers[conn] = b""
            self.sel.register(conn, selectors.EVENT_READ, ("slot" if slot != "control" else
                                                           "control", slot))
            return
        conn = key.fileobj
        quick_ack(conn)
        try:
            chunk = conn.recv(65536)
        except OSError:
            chunk = b""
        if not chunk:
            self.sel.unregister(conn)
            del self.buffers[conn]
            conn.close()
            if conn is self.reader:
                sys.exit(0)  # the reader is gone: so is the card's purpose
            return
        self.buffers[conn] += chunk
        if what == "control":
            self.control_lines(conn)
        else:
            self.frames(conn, slot)

    def drain_slots(self):
        """Frames the readers have sent before a control line are handled before it."""
        for conn, (what, slot) in [(k.fileobj, k.data) for k in self.sel.get_map().values()]:
            if what != "slot":
                continue
            conn.setblocking(False)
            try:
                while True:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    self.buffers[conn] += chunk
            except (BlockingIOError, OSError):
                pass
            conn.setblocking(True)
            self.frames(conn, slot)

    def frames(self, conn, slot):
        buf = self.buffers[conn]
        while len(buf) >= 2:
            n = struct.unpack(">H", buf[:2])[0]
            if len(buf) < 2 + n:
                break
            msg, buf = buf[2:2 + n], buf[2 + n:]
            reply = self.frame(slot, msg)
            if reply is not None:
                conn.sendall(struct.pack(">H", len(reply)) + reply)
        self.buffers[conn] = buf

    def frame(self, slot, msg):
        if len(msg) == 1:
            code = msg[0]
            if code == 0:
                self.note("power off")
                self.card.power_off()
            elif code in (1, 2):
                self.note("power on" if code == 1 else "reset")
                self.card.power_off()
            elif code == 4:
                return ATR
            return None
        reply = self.card.process(msg)
        self.note("> " + msg.hex().upper())
        self.note("< " + reply.hex().upper())
        return reply

    def control_lines(self, conn):
        while b"\n" in self.buffers[conn]:
            line, rest = self.buffers[conn].split(b"\n", 1)
            self.buffers[conn] = rest
            self.drain_slots()
            try:
                answer = self.command(line.decode().split())
            except (OSError, ValueError, IndexError) as e:
                answer = "error " + str(e).replace("\n", " ")
            conn.sendall((answer + "\n").encode())

    def command(self, words):
        if not words:
            return "error empty line"
        if words[0] == "load":
            self.card.load(words[1])
            self.note("power off")
            return "ok"
        if words[0] == "save":
            self.card.save(words[1])
            return "ok"
        if words[0] == "quirk":
            if words[1] not in QUIRKS:
                return "error unknown quirk " + words[1]
            (self.card.quirks.add if words[2] == "1" else self.card.quirks.discard)(words[1])
            return "ok"
        if words[0] == "refuse":
            if words[1] == "verify" and words[2] == "-":
                self.card.verify_refusal = None
            elif words[1] != "verify" and words[3] == "-":
                self.card.refusals.pop((words[1], int(words[2])), None)
            else:
                self.card.apply(words)
            return "ok"
        if words[0] == "sync":
            return "ok"  # the readers' frames before it are handled: the log is complete
        if words[0] in ("eject", "insert"):
            if not self.args.connect:
                return "error only a card in a vpcd slot is ejected"
            if words[0] == "eject" and self.reader is not None:
                self.sel.unregister(self.reader)
                del self.buffers[self.reader]
                self.reader.close()
                self.reader = None
                self.note("ejected")
            elif words[0] == "insert" and self.reader is None:
                self.connect_reader()
                self.note("inserted")
            return "ok"
        if words[0] == "clearlog":
            if self.log:
                self.log.truncate(0)
                self.log.seek(0)
            return "ok"
        return "error unknown command " + words[0]


def quick_ack(conn):
    """vpcd writes a frame's length and its payload apart: with delayed acknowledgements the
    payload would wait some 40 ms for each command."""
    if hasattr(socket, "TCP_QUICKACK"):
        try:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        except OSError:
            pass


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except OSError:
        return False


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--ports-file", required=True)
    p.add_argument("--image", default="")
    p.add_argument("--log", default="")
    p.add_argument("--connect", type=int, default=0,
                   help="the port of vpcd's reader slot on 127.0.0.1 (else: listen for one)")
    p.add_argument("--owner", type=int, default=0,
                   help="stop when this process is gone")
    args = p.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    Server(args).serve()


if __name__ == "__main__":
    main()
