#!/usr/bin/env python3
"""The browser control under Wine: registration by regsvr32 read back from the registry, and a
page's script (control_client.js under cscript) calling every member against the stand-in relay
library, whose log is compared line by line.

usage: control_wine_test.py registration|script --emulator <wine-run.sh> --arch win32|win64
           --ocx <host path> --stub-dir <host path> --work <host dir> [--client <js>]
           [--system-language <primary id>]
"""
import argparse
import os
import subprocess
import sys

CLSID = "{648BFFBF-DB89-4088-92EE-CD1E4C88F95F}"
PAGE_CLSID = "{167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}"
LIBID = "{6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}"
PROGID = "CERTRELAYACTIVEX.CertRelayActiveXCtrl.1"
PAGE_PROGID = "CERTRELAYACTIVEX.CertRelayActiveXPropPage.1"
SAFE_SCRIPTING = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
SAFE_INIT = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, args):
        self.emulator = [args.emulator, args.arch]
        self.env = dict(os.environ)
        # The stand-in library is found on the search path; the real one must not be beside the
        # control.
        self.env["WINEPATH"] = windows_path(args.stub_dir)
        self.env.setdefault("WINEDEBUG", "-all")

    def run(self, *argv, env=None, check=True):
        full = dict(self.env)
        full.update(env or {})
        done = subprocess.run(self.emulator + list(argv), env=full, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=240)
        out = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        if check and done.returncode != 0:
            raise AssertionError(f"{argv} exited {done.returncode}: {out}"
                                 f"{done.stderr.decode('utf-8', 'replace')}")
        return done.returncode, out

    def query(self, key, *options):
        """The `reg query` text of key, or None when the key does not exist."""
        rc, out = self.run("reg", "query", key, *options, check=False)
        return out if rc == 0 else None


failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def value_of(text, name):
    """The data of value `name` in reg query output (first match)."""
    for line in (text or "").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
            return parts[2] if len(parts) == 3 else ""
    return None


def registration(wine, args):
    ocx = windows_path(args.ocx)
    wine.run("regsvr32", "/s", args.ocx)
    key = "HKCR\\CLSID\\" + CLSID
    cls = wine.query(key)
    expect(value_of(cls, "(Default)") == "velmora7 CertRelay Control", "class type name")
    server = wine.query(key + "\\InprocServer32")
    expect(value_of(server, "(Default)") == ocx, f"server path {value_of(server, '(Default)')}")
    expect(value_of(server, "ThreadingModel") == "Apartment", "apartment threaded")
    expect(wine.query(key + "\\Control") is not None, "marked as a control")
    expect(value_of(wine.query(key + "\\ProgID"), "(Default)") == PROGID, "class names its ProgID")
    expect(value_of(wine.query(key + "\\MiscStatus\\1"), "(Default)") == "131473", "miscellaneous status 0x20191")
    expect(value_of(wine.query(key + "\\MiscStatus"), "(Default)") == "0", "miscellaneous status default")
    expect(value_of(wine.query(key + "\\TypeLib"), "(Default)") == LIBID, "class names its type library")
    expect(value_of(wine.query(key + "\\Version"), "(Default)") == "1.0", "class version")
    expect(value_of(wine.query(key + "\\ToolboxBitmap32"), "(Default)") == ocx + ", 1", "toolbox bitmap")
    for catid in (SAFE_SCRIPTING, SAFE_INIT):
        expect(wine.query(key + "\\Implemented Categories\\" + catid) is not None, f"implements {catid}")
    expect(value_of(wine.query("HKCR\\Component Categories\\" + SAFE_SCRIPTING), "949") ==
           "Controls that are safely scriptable", "scripting category described")
    expect(value_of(wine.query("HKCR\\Component Categories\\" + SAFE_INIT), "949") ==
           "Controls safely initializable from persistent data", "initialising category described")
    expect(value_of(wine.query("HKCR\\" + PROGID + "\\CLSID"), "(Default)") == CLSID, "ProgID names the class")
    page = "HKCR\\CLSID\\" + PAGE_CLSID
    expect(value_of(wine.query(page), "(Default)") == "CertRelayActiveX Property Page", "page type name")
    expect(value_of(wine.query(page + "\\InprocServer32"), "ThreadingModel") == "Apartment", "page apartment")
    expect(value_of(wine.query("HKCR\\" + PAGE_PROGID + "\\CLSID"), "(Default)") == PAGE_CLSID, "page ProgID")
    lib = wine.query("HKCR\\TypeLib\\" + LIBID + "\\1.0")
    expect(value_of(lib, "(Default)") == "CertRelayActiveX ActiveX Control module", "type library help string")
    platform = "win64" if args.arch == "win64" else "win32"
    expect(value_of(wine.query("HKCR\\TypeLib\\" + LIBID + "\\1.0\\0\\" + platform), "(Default)") == ocx,
           "type library file")
    for iid in ("{29471C0E-361F-46C7-8E5B-541B23F04ABE}", "{CFB347CF-01B3-4FA8-9A22-2AD342C23CD8}"):
        expect(value_of(wine.query("HKCR\\Interface\\" + iid + "\\TypeLib"), "(Default)") == LIBID,
               f"interface {iid} registered")

    # A second registration is harmless.
    wine.run("regsvr32", "/s", args.ocx)
    wine.run("regsvr32", "/s", "/u", args.ocx)
    for gone in (key, page, "HKCR\\" + PROGID, "HKCR\\" + PAGE_PROGID, "HKCR\\TypeLib\\" + LIBID + "\\1.0"):
        expect(wine.query(gone) is None, f"{gone} removed")
    # The categories are shared with other controls and stay.
    expect(wine.query("HKCR\\Component Categories\\" + SAFE_SCRIPTING) is not None, "category stays")
    # Unregistering what is not registered succeeds: nothing of ours is left to remove.
    rc, _ = wine.run("regsvr32", "/s", "/u", args.ocx, check=False)
    expect(rc == 0, f"second unregistration exits {rc}")


EXPECTED_OUTPUT = """\
SendCert(5) -> 0: 0
SendCert(5) -> 21500: -1
SendCert(5) -> 1001: -1
SendCert(5) -> -1: -1
SetTransferMode(3): -1
ReceiveCert(1, 523): 0
SetTransferMode(2): 0
SendCert(4) with a 70-character version: 0
Recipient(8): 0
Sender() with a nested page call: 0
sendcert(2): 0
SendCert(): error 8002000e
SendCert("x"): error 80020005
NoSuchMember(): error 800a01b6
SetTransferMode("1"): 0
done: 
"""

BANNER = "6164:4249544D41505F56454C4D4F52415F52454C4159 7188:0B02"
VERSION63 = "9504:" + "".join("%02X" % (48 + i % 10) for i in range(63))
ADDRESS = "9568:" + "https://disk.example/setup".encode().hex().upper()
HANGUL31 = "9504:" + "C7D1" * 31


def expected_log(language_default):
    return [
        "SetCharEncoding 1",
        "SendCertificate type=5 flags=1 record=" + BANNER,
        "SendCertificate type=5 flags=1 record=" + BANNER,
        "SendCertificate type=5 flags=1 record=" + BANNER,
        "SendCertificate type=5 flags=1 record=" + BANNER,
        "RecvCertificate type=1 flags=1 media=523 record=zero",
        "SendCertificate type=4 flags=2 record=" + BANNER + " " + VERSION63 + " " + ADDRESS,
        "RecvCertificate type=3 flags=2 media=8 record=" + HANGUL31,
        "SendCertificate type=5 flags=2 record=" + BANNER + " " + HANGUL31,
        "reenter Sender=-1 Recipient=-1 SendCert=-1 ReceiveCert=-1 SetTransferMode=-1 SetLanguage=none "
        "SetCharEncoding=none AboutBox=none",
        "cr_set_lang_id %d" % language_default,
        "cr_set_lang_id 18",
        "cr_set_lang_id 9",
        "SetCharEncoding 0",
        "SetCharEncoding 1",
        "SendCertificate type=2 flags=2 record=" + BANNER + " " + HANGUL31,
    ]


def script(wine, args):
    os.makedirs(args.work, exist_ok=True)
    log = os.path.join(args.work, "stub.log")
    if os.path.exists(log):
        os.remove(log)
    wine.run("regsvr32", "/s", args.ocx)
    try:
        env = {"V7_RELAY_STUB_LOG": windows_path(log),
               "V7_RELAY_STUB_RESULTS": "0,21500,1001,-1,0,0,0,R0,0"}
        _, out = wine.run("cscript", "//nologo", windows_path(args.client), env=env)
    finally:
        wine.run("regsvr32", "/s", "/u", args.ocx, check=False)
    expect(out == EXPECTED_OUTPUT, "script output:\n" + out)
    with open(log, encoding="latin-1") as f:
        got = f.read().splitlines()
    # SetLanguage(1033) passes the system default language of the test's locale.
    want = expected_log(args.system_language)
    for i in range(max(len(got), len(want))):
        g = got[i] if i < len(got) else "<none>"
        w = want[i] if i < len(want) else "<none>"
        expect(g == w, f"log line {i + 1}:\n  got  {g}\n  want {w}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["registration", "script"])
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--ocx", required=True)
    parser.add_argument("--stub-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--client")
    parser.add_argument("--system-language", type=int, default=9,
                        help="primary id of the locale's default language (9 English, 18 Korean)")
    args = parser.parse_args()
    wine = Wine(args)
    (registration if args.what == "registration" else script)(wine, args)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
