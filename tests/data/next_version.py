#!/usr/bin/env python3
"""Copies a client executable with its version record and manifest raised from one version to the
next of the same length (1.0.0.2 -> 1.0.0.3): the update tests' "version N+1"."""
import struct
import sys

src, dst, old, new = sys.argv[1:5]
assert len(old) == len(new)
data = bytearray(open(src, 'rb').read())
count = 0
for a, b in ((old.encode('utf-16-le'), new.encode('utf-16-le')), (old.encode(), new.encode())):
    at = data.find(a)
    while at >= 0:
        data[at:at + len(a)] = b
        count += 1
        at = data.find(a, at + len(b))
# VS_FIXEDFILEINFO: signature, struct version, then file and product versions (MS, LS each).
at = data.find(struct.pack('<I', 0xFEEF04BD))
o, n = [int(x) for x in old.split('.')], [int(x) for x in new.split('.')]
for field in (8, 16):
    ms, ls = struct.unpack_from('<II', data, at + field)
    assert (ms, ls) == ((o[0] << 16) | o[1], (o[2] << 16) | o[3]), 'unexpected fixed version'
    struct.pack_into('<II', data, at + field, (n[0] << 16) | n[1], (n[2] << 16) | n[3])
if count < 3:
    sys.exit('next_version.py: the version text was not found in ' + src)
open(dst, 'wb').write(data)
