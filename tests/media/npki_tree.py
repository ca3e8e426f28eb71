#!/usr/bin/env python3
"""A generated NPKI store and an independent listing of it, for the folder-media list tests.

    npki_tree.py generate OUT   writes three NPKI roots, OUT/pf (the Program Files store), OUT/low
                                (the user's LocalLow store) and OUT/removable (a removable disk),
                                and the expected lists: OUT/expected_two_stores.txt (Vista and
                                later: pf then low), OUT/expected_one_store.txt (before Vista: pf
                                alone) and OUT/expected_removable.txt.
    npki_tree.py list TAG=ROOT ...
                                prints the list that walking the roots in this order gives.

A line of a list is "TAG/CA/USER/HOLDER|SERIAL|PARTS": the certificate folder below its root, the
serial number's magnitude in lowercase hex, and the part flags (1 signing certificate, 2 its key,
4 key-management certificate, 8 its key) in decimal.

The listing follows the rules of the store, read from the certificate files themselves:
  - a root holds one folder per CA; "kisa" (any case) is never walked, the maker's "velmora" (any
    case) after all the others, through the path "<root>\\velmora\\USER";
  - each CA folder's USER folder holds one folder per holder; under any CA but the maker's, a holder
    whose folder name contains "o=velmora" (exactly so) is passed over; plain files are passed over;
  - the platform hands out the names of a folder ordered case-blind (by their upper-case UTF-16
    units), as NTFS and Wine do;
  - a holder is listed when its signCert.der decodes as a certificate whose subject has at least
    two RDNs, whose issuer text has "o=" with a comma somewhere after it, whose signature algorithm
    is one the toolkit knows, and whose certificate-policies extension has a first policy other
    than 1.2.410.200005.1.1.3 and 1.2.410.200005.1.3.2;
  - two holders with the same subject are one entry: the one with the greater serial number stays;
    at equal serials the later one takes the earlier one's place, unless it is signed with SHA-1
    with RSA, in which case it is dropped.
"""
import os
import sys

SHA1_RSA = "1.2.840.113549.1.1.5"
SHA256_RSA = "1.2.840.113549.1.1.11"
KNOWN_SIG_ALGS = {SHA1_RSA, SHA256_RSA, "1.2.840.113549.1.1.4", "1.2.840.113549.1.1.12",
                  "1.2.840.113549.1.1.13"}
REFUSED_POLICIES = {"1.2.410.200005.1.1.3", "1.2.410.200005.1.3.2"}
NAME_TYPES = {"2.5.4.6": "c", "2.5.4.10": "o", "2.5.4.11": "ou", "2.5.4.3": "cn", "2.5.4.7": "l",
              "2.5.4.8": "st"}
PART_FILES = [("signPri.key", 2), ("kmCert.der", 4), ("kmPri.key", 8)]

# ---- DER, written -------------------------------------------------------------------------------


def tlv(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([n])
    elif n < 0x100:
        head = bytes([0x81, n])
    else:
        head = bytes([0x82, n >> 8, n & 0xFF])
    return bytes([tag]) + head + content


def oid(dotted):
    arcs = [int(a) for a in dotted.split(".")]
    out = bytes([arcs[0] * 40 + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.insert(0, 0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(chunk)
    return tlv(0x06, out)


def name(rdns):
    """rdns: [(type, value)] in DER order, e.g. [("c", "KR"), ("o", "KICA"), ("cn", "...")]."""
    ids = {v: k for k, v in NAME_TYPES.items()}
    out = b""
    for kind, value in rdns:
        string = tlv(0x13 if kind == "c" else 0x0C, value.encode("utf-8"))
        out += tlv(0x31, tlv(0x30, oid(ids[kind]) + string))
    return tlv(0x30, out)


def utctime(text):
    return tlv(0x17, text.encode())


def certificate(subject, issuer, serial, sig_alg=SHA256_RSA, policy="1.2.410.200005.1.1.1",
                not_after="491231235959Z"):
    """serial: the INTEGER's content bytes; policy None: no extension."""
    algorithm = tlv(0x30, oid(sig_alg) + b"\x05\x00")
    modulus = b"\x00" + bytes((0xC1 + i) & 0xFF for i in range(128))
    rsa = tlv(0x30, tlv(0x02, modulus) + tlv(0x02, b"\x01\x00\x01"))
    spki = tlv(0x30, tlv(0x30, oid("1.2.840.113549.1.1.1") + b"\x05\x00") + tlv(0x03, b"\x00" + rsa))
    validity = tlv(0x30, utctime("150101000000Z") + utctime(not_after))
    tbs = (tlv(0xA0, tlv(0x02, b"\x02")) + tlv(0x02, serial) + algorithm + name(issuer) + validity +
           name(subject) + spki)
    if policy is not None:
        policies = tlv(0x30, tlv(0x30, oid(policy)))
        tbs += tlv(0xA3, tlv(0x30, tlv(0x30, oid("2.5.29.32") + tlv(0x04, policies))))
    return tlv(0x30, tlv(0x30, tbs) + algorithm + tlv(0x03, b"\x00" + bytes(range(16))))


# ---- DER, read ----------------------------------------------------------------------------------


class Bad(Exception):
    pass


def read_tlv(data, at):
    """(tag, content start, end) of the element at `at`."""
    if at + 2 > len(data):
        raise Bad("short")
    tag, n = data[at], data[at + 1]
    at += 2
    if n & 0x80:
        count = n & 0x7F
        if count == 0 or count > 4 or at + count > len(data):
            raise Bad("length")
        n = int.from_bytes(data[at:at + count], "big")
        at += count
    if at + n > len(data):
        raise Bad("overrun")
    return tag, at, at + n


def children(data, start, end):
    out = []
    while start < end:
        tag, s, e = read_tlv(data, start)
        out.append((tag, s, e))
        start = e
    if start != end:
        raise Bad("trailing")
    return out


def dotted(body):
    arcs = [body[0] // 40, body[0] % 40]
    value = 0
    for b in body[1:]:
        value = value << 7 | (b & 0x7F)
        if not b & 0x80:
            arcs.append(value)
            value = 0
    return ".".join(str(a) for a in arcs)


def name_text(data, start, end):
    """The RDNs from the last to the first as "type=value" joined with ","."""
    parts = []
    for tag, s, e in children(data, start, end):
        if tag != 0x31:
            raise Bad("rdn")
        for _, ts, te in children(data, s, e):
            (otag, os_, oe), (_, vs, ve) = children(data, ts, te)
            kind = NAME_TYPES.get(dotted(data[os_:oe]), dotted(data[os_:oe]))
            parts.append(kind + "=" + data[vs:ve].decode("utf-8"))
    return ",".join(reversed(parts))


def parse(data):
    """What the list needs of a certificate, or Bad."""
    tag, s, e = read_tlv(data, 0)
    if tag != 0x30 or e != len(data):
        raise Bad("certificate")
    tbs, alg, _ = children(data, s, e)
    fields = children(data, tbs[1], tbs[2])
    if fields and fields[0][0] == 0xA0:
        fields = fields[1:]
    serial, _, issuer, _, subject = fields[:5]
    result = {
        "serial": int.from_bytes(data[serial[1]:serial[2]], "big"),
        "issuer": name_text(data, issuer[1], issuer[2]),
        "subject": name_text(data, subject[1], subject[2]),
        "sig_alg": dotted(data[children(data, alg[1], alg[2])[0][1]:children(data, alg[1], alg[2])[0][2]]),
        "policy": None,
    }
    for tag, s2, e2 in fields[5:]:
        if tag != 0xA3:
            continue
        (_, xs, xe), = children(data, s2, e2)
        for _, es, ee in children(data, xs, xe):
            parts = children(data, es, ee)
            if dotted(data[parts[0][1]:parts[0][2]]) != "2.5.29.32":
                continue
            _, ps, pe = read_tlv(data, parts[-1][1])
            policies = children(data, ps, pe)
            if not policies:
                raise Bad("empty policies")
            first = children(data, policies[0][1], policies[0][2])[0]
            result["policy"] = dotted(data[first[1]:first[2]])
    return result


# ---- The listing --------------------------------------------------------------------------------


def platform_order(names):
    return sorted(names, key=lambda n: [ord(c.upper()) if len(c.upper()) == 1 else ord(c) for c in n])


def subdirs(folder):
    try:
        names = os.listdir(folder)
    except OSError:
        return []
    return [n for n in platform_order(names) if os.path.isdir(os.path.join(folder, n))]


def listable(cert):
    issuer = cert["issuer"]
    org = issuer.find("o=")
    return ("," in cert["subject"] and org >= 0 and "," in issuer[org:] and cert["sig_alg"] in KNOWN_SIG_ALGS
            and cert["policy"] is not None and cert["policy"] not in REFUSED_POLICIES)


def read_holder(folder, shown):
    try:
        with open(os.path.join(folder, "signCert.der"), "rb") as f:
            cert = parse(f.read())
    except (OSError, Bad, ValueError, IndexError, UnicodeDecodeError):
        return None
    if not listable(cert):
        return None
    parts = 1
    for file_name, flag in PART_FILES:
        if os.path.isfile(os.path.join(folder, file_name)):
            parts |= flag
    return {"shown": shown, "parts": parts, **cert}


def add_unique(entries, new):
    for i, old in enumerate(entries):
        if old["subject"] != new["subject"]:
            continue
        if old["serial"] > new["serial"] or (old["serial"] == new["serial"] and new["sig_alg"] == SHA1_RSA):
            return
        entries[i] = new
        return
    entries.append(new)


def walk_user(entries, ca_folder, tag, ca_shown, own_ca):
    user = os.path.join(ca_folder, "USER")
    for holder in subdirs(user):
        if not own_ca and "o=velmora" in holder:
            continue
        entry = read_holder(os.path.join(user, holder), "/".join([tag, ca_shown, "USER", holder]))
        if entry is not None:
            add_unique(entries, entry)


def walk_root(entries, tag, root):
    cas = subdirs(root)
    for ca in cas:
        if ca.lower() not in ("velmora", "kisa"):
            walk_user(entries, os.path.join(root, ca), tag, ca, False)
    for ca in cas:
        if ca.lower() == "velmora":
            # The maker's folder is reached by its own spelling of the name, whatever the disk's.
            walk_user(entries, os.path.join(root, ca), tag, "velmora", True)


def listing(roots):
    entries = []
    for tag, root in roots:
        walk_root(entries, tag, root)
    return "".join("%s|%x|%d\n" % (e["shown"], e["serial"], e["parts"]) for e in entries)


# ---- The tree -----------------------------------------------------------------------------------

SHA1_CA = [("c", "KR"), ("o", "SignKorea"), ("ou", "AccreditedCA"), ("cn", "SignKorea CA2")]
SHA256_CAS = {
    "KICA": [("c", "KR"), ("o", "KICA"), ("ou", "AccreditedCA"), ("cn", "signGATE CA5")],
    "CrossCert": [("c", "KR"), ("o", "CrossCert"), ("ou", "AccreditedCA"), ("cn", "CrossCertCA4")],
    "velmora": [("c", "KR"), ("o", "velmora"), ("ou", "AccreditedCA"), ("cn", "velmora CA")],
}


def holder_subject(cn, org):
    return [("c", "KR"), ("o", org), ("ou", "personal4IB"), ("cn", cn)]


def folder_name(rdns):
    return ",".join("%s=%s" % kv for kv in reversed(rdns))


def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def holder(root, ca_folder, cn, org="KICA", issuer=None, serial=b"\x10", sig_alg=SHA256_RSA, parts=("signPri.key",),
           folder=None, **cert_args):
    subject = holder_subject(cn, org)
    issuer = issuer or SHA256_CAS.get(ca_folder, SHA256_CAS["KICA"])
    path = os.path.join(root, ca_folder, "USER", folder or folder_name(subject))
    put(os.path.join(path, "signCert.der"), certificate(subject, issuer, serial, sig_alg, **cert_args))
    for part in parts:
        put(os.path.join(path, part), b"\x30\x00")
    return path


def generate(out):
    pf, low, removable = (os.path.join(out, t) for t in ("pf", "low", "removable"))
    kica = SHA256_CAS["KICA"]
    # The Program Files store.
    holder(pf, "KICA", "홍길동()0001234", serial=b"\x01\x01")
    holder(pf, "KICA", "이영희()0002", serial=b"\x01\x02", parts=("signPri.key", "kmCert.der", "kmPri.key"))
    holder(pf, "KICA", "Expired()0003", serial=b"\x01\x03", not_after="200101000000Z")
    holder(pf, "KICA", "Refused()0004", serial=b"\x01\x04", policy="1.2.410.200005.1.1.3")
    holder(pf, "KICA", "Refused()0005", serial=b"\x01\x05", policy="1.2.410.200005.1.3.2")
    holder(pf, "KICA", "NoPolicy()0006", serial=b"\x01\x06", policy=None)
    holder(pf, "KICA", "KmKeyOnly()0007", serial=b"\x01\x07", parts=("kmPri.key",))
    holder(pf, "KICA", "Skipped()0008", folder="cn=Skipped()0008,o=velmora,c=KR")
    holder(pf, "KICA", "Capitals()0009", folder="cn=Capitals()0009,O=VELMORA,c=KR")
    holder(pf, "KICA", "NoOrg()0010", issuer=[("c", "KR"), ("cn", "No Organisation CA")])
    holder(pf, "KICA", "LastOrg()0011", issuer=[("o", "Odd"), ("cn", "Odd CA")])
    put(os.path.join(pf, "KICA", "USER", "cn=NoCert()0012,o=KICA,c=KR", "signPri.key"), b"\x30\x00")
    put(os.path.join(pf, "KICA", "USER", "cn=Broken()0013,o=KICA,c=KR", "signCert.der"), b"\x30\x82\x01\x00\x30")
    put(os.path.join(pf, "KICA", "USER", "stray.der"), b"\x30\x00")
    # The same holder under two CAs: the later one's greater serial wins, in the first one's place.
    holder(pf, "CrossCert", "김철수()0020", org="KICA", issuer=kica, serial=b"\x09")
    holder(pf, "SignKorea", "김철수()0020", org="KICA", issuer=kica, serial=b"\x0A")
    # Long serials differ as whole numbers, though both show as "0".
    holder(pf, "CrossCert", "Long()0021", serial=b"\x01\x00\x00\x00\x02")
    holder(pf, "SignKorea", "Long()0021", serial=b"\x01\x00\x00\x00\x01", issuer=SHA1_CA, sig_alg=SHA1_RSA)
    # A SHA-1 CA's holder, and the maker's CA copy of a KICA holder at the same serial signed with
    # SHA-1: it does not replace the earlier one.
    holder(pf, "SignKorea", "박민수()0022", org="SignKorea", issuer=SHA1_CA, serial=b"\x22", sig_alg=SHA1_RSA)
    holder(pf, "velmora", "Expired()0003", issuer=kica, serial=b"\x01\x03", sig_alg=SHA1_RSA)
    holder(pf, "velmora", "Own()0023", org="velmora", folder="cn=Own()0023,ou=personal4IB,o=velmora,c=KR")
    holder(pf, "kisa", "Kisa()0024", serial=b"\x24")
    os.makedirs(os.path.join(pf, "NoUser", "Other"), exist_ok=True)
    # The user's LocalLow store: a SHA-256 copy replaces the Program Files one, a SHA-1 copy does not.
    holder(low, "KICA", "홍길동()0001234", serial=b"\x01\x01", parts=("signPri.key", "kmCert.der"))
    holder(low, "KICA", "이영희()0002", serial=b"\x01\x02", sig_alg=SHA1_RSA)
    holder(low, "CrossCert", "최지우()0030", org="CrossCert", serial=b"\x30")
    holder(low, "Kisa", "Kisa()0031", serial=b"\x31")
    # A removable disk, its maker's CA folder spelt in capitals.
    holder(removable, "KICA", "정수빈()0040", serial=b"\x40")
    holder(removable, "KICA", "Refused()0041", serial=b"\x41", policy="1.2.410.200005.1.1.3")
    holder(removable, "CrossCert", "정수빈()0040", serial=b"\x3F")
    holder(removable, "VELMORA", "Own()0042", org="velmora", folder="cn=Own()0042,o=velmora,c=KR")
    holder(removable, "SignKorea", "강하늘()0043", org="SignKorea", issuer=SHA1_CA, serial=b"\x43", sig_alg=SHA1_RSA,
           parts=("signPri.key", "kmCert.der", "kmPri.key"))
    for file_name, roots in (("expected_two_stores.txt", [("pf", pf), ("low", low)]),
                             ("expected_one_store.txt", [("pf", pf)]),
                             ("expected_removable.txt", [("removable", removable)])):
        with open(os.path.join(out, file_name), "w", encoding="utf-8") as f:
            f.write(listing(roots))


def main(argv):
    if len(argv) == 3 and argv[1] == "generate":
        generate(argv[2])
        return 0
    if len(argv) >= 3 and argv[1] == "list":
        sys.stdout.write(listing([tuple(a.split("=", 1)) for a in argv[2:]]))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
