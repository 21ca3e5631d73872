#!/usr/bin/env python3
"""check_image.py passes each image as built and fails it with its first delay-load slot pointed
6 bytes before its thunk (into the stub before it: the first call loops), at the entry point, or
at the next slot's thunk (the first call loads and calls the wrong function).
usage: test_check_image.py --imports a.dll,b.dll --delayed c,d IMAGE...
"""
import argparse
import struct
import sys

from check_image import Image, check


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('images', nargs='+')
    ap.add_argument('--imports', required=True)
    ap.add_argument('--delayed', required=True)
    args = ap.parse_args()
    wrong = 0
    for path in args.images:
        with open(path, 'rb') as f:
            data = f.read()
        image = Image(data)
        iat = image.delay_descriptors()[0][2]
        at, fmt = image.offset(iat), '<Q' if image.pe32plus else '<I'
        thunk = image.slot_value(iat)
        for case, value in (('as built', thunk), ('6 bytes before its thunk', thunk - 6),
                            ('at the entry point', image.base + image.entry),
                            ("at the next slot's thunk", image.slot_value(iat + image.slot))):
            patched = bytearray(data)
            struct.pack_into(fmt, patched, at, value)
            faults = check(Image(bytes(patched)), args.imports, args.delayed)[0]
            right = bool(faults) == (value != thunk)
            wrong += not right
            print('%s %s: slot %s: %s' % ('ok' if right else 'WRONG', path, case,
                                          faults[0] if faults else 'passes'))
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main())
