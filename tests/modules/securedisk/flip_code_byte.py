#!/usr/bin/env python3
"""Changes one byte inside the first section (the code) of a PE file, leaving its signature as it
was, so that the signed image hash no longer matches. Usage: flip_code_byte.py <file>"""
import struct
import sys

path = sys.argv[1]
data = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
optional_size = struct.unpack_from("<H", data, pe + 20)[0]
first_section = pe + 24 + optional_size
raw = struct.unpack_from("<I", data, first_section + 20)[0]
data[raw + 16] ^= 0xFF
open(path, "wb").write(data)
