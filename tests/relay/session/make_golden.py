#!/usr/bin/env python3
"""Writes tests/vectors/relay_session.txt: the golden records of one recipient session, computed
without the library: MT19937 (init_genrand, big-endian words) for the random stream, OAEP-SHA1
and RSA from the record layouts in Python, SEED-CBC by the OpenSSL CLI (legacy provider), HMAC by
Python's hmac. Run it from anywhere; it needs `openssl` on the PATH."""
import hashlib
import hmac
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
RELAY_CERT = os.path.join(TOP, "tests", "fixtures", "pki", "relay.der")
OUT = os.path.join(TOP, "tests", "vectors", "relay_session.txt")

MT_SEED = 0x5EED1234
VERSION = b"\x02\x00"  # a recipient at protocol 2.0


class MT19937:
    def __init__(self, seed):
        self.mt = [0] * 624
        self.mt[0] = seed & 0xFFFFFFFF
        for i in range(1, 624):
            prev = self.mt[i - 1]
            self.mt[i] = (1812433253 * (prev ^ (prev >> 30)) + i) & 0xFFFFFFFF
        self.index = 624

    def word(self):
        if self.index >= 624:
            for i in range(624):
                y = (self.mt[i] & 0x80000000) | (self.mt[(i + 1) % 624] & 0x7FFFFFFF)
                self.mt[i] = self.mt[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
            self.index = 0
        y = self.mt[self.index]
        self.index += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        y ^= y >> 18
        return y

    def bytes(self, n):
        assert n % 4 == 0
        return b"".join(self.word().to_bytes(4, "big") for _ in range(n // 4))


def record(rtype, body):
    return bytes([rtype]) + VERSION + len(body).to_bytes(2, "big") + body


def lv(data):
    return len(data).to_bytes(2, "big") + data


def relay_key():
    text = subprocess.run(["openssl", "x509", "-inform", "DER", "-in", RELAY_CERT, "-noout", "-modulus"],
                          check=True, capture_output=True, text=True).stdout
    n = int(text.strip().split("=", 1)[1], 16)
    return n, 65537


def mgf1_sha1(seed, length):
    out = b""
    counter = 0
    while len(out) < length:
        out += hashlib.sha1(seed + counter.to_bytes(4, "big")).digest()
        counter += 1
    return out[:length]


def oaep_sha1(message, seed, k):
    h = hashlib.sha1(b"").digest()
    db = h + b"\x00" * (k - len(message) - 2 * len(h) - 2) + b"\x01" + message
    masked_db = bytes(a ^ b for a, b in zip(db, mgf1_sha1(seed, len(db))))
    masked_seed = bytes(a ^ b for a, b in zip(seed, mgf1_sha1(masked_db, len(seed))))
    return b"\x00" + masked_seed + masked_db


def seed_cbc(key, iv, data):
    return subprocess.run(["openssl", "enc", "-seed-cbc", "-K", key.hex(), "-iv", iv.hex(), "-provider", "legacy",
                           "-provider", "default"], input=data, check=True, capture_output=True).stdout


def main():
    n, e = relay_key()
    k = (n.bit_length() + 7) // 8
    mt = MT19937(MT_SEED)
    key, iv, oaep_seed, mac_key = mt.bytes(16), mt.bytes(16), mt.bytes(20), mt.bytes(32)

    key_body = b"\x00\x10" + key + b"\x00\x10" + iv
    em = oaep_sha1(key_body, oaep_seed, k)
    rsa_record = record(4, pow(int.from_bytes(em, "big"), e, n).to_bytes(k, "big"))

    inner = record(5, lv(b"123456"))
    envelope = record(11, seed_cbc(key, iv, inner))

    target = record(8, lv(b"certificate") + lv(b"") + lv(b""))
    digest = hashlib.sha256(target[5:]).digest()
    items_block = lv(b"\x00" + lv(b"hi") + b"\x01" + lv(b"key"))
    items_mac = hmac.new(mac_key, digest + items_block, hashlib.sha256).digest()

    fields = [
        ("mt_seed", MT_SEED.to_bytes(4, "big")), ("key", key), ("iv", iv), ("oaep_seed", oaep_seed),
        ("mac_key", mac_key), ("session_key_body", key_body), ("rsa_record", rsa_record), ("inner", inner),
        ("envelope", envelope), ("target", target), ("digest", digest), ("items_block", items_block),
        ("items_mac", items_mac),
    ]
    with open(OUT, "w") as f:
        f.write("# One recipient session at protocol 2.0 whose system random source is MT19937 seeded with\n"
                "# mt_seed: the draws (key, iv, OAEP seed, MAC key), the RecipientServerKey record to\n"
                "# relay.der, an AuthCode record sealed as an Envelope, and the Items MAC over items_block\n"
                "# after the transcript digest of target. Made by tests/relay/session/make_golden.py.\n\n")
        for name, value in fields:
            f.write("%s = %s\n" % (name, value.hex()))


if __name__ == "__main__":
    main()
