#!/usr/bin/env python3
"""Static checks of a Windows executable that need no Windows to run it.

usage: check_image.py IMAGE --imports a.dll,b.dll --delayed c,d

- The load-time import table names exactly --imports.
- The delay-load descriptors name exactly --delayed, and every import slot of theirs initially
  points into code of the image, where its loading thunk is. GNU ld has been seen to drop the
  thunks of an i686 image and leave the slots 0: the first call then jumps to address 0.
GNU ld leaves the delay-import directory empty, so descriptors are found by their shape.
"""
import argparse
import struct
import sys


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE image')
        count, opt_size = struct.unpack_from('<2xH12xH', data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from('<H', data, opt)[0]
        self.pe32plus = magic == 0x20B
        self.slot = 8 if self.pe32plus else 4
        self.base = (struct.unpack_from('<Q', data, opt + 24)[0] if self.pe32plus
                     else struct.unpack_from('<I', data, opt + 28)[0])
        self.size = struct.unpack_from('<I', data, opt + 56)[0]
        dirs = opt + (112 if self.pe32plus else 96)
        self.import_rva = struct.unpack_from('<I', data, dirs + 8)[0]
        self.sections = []
        for i in range(count):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from('<4I', data, s + 8)
            flags = struct.unpack_from('<I', data, s + 36)[0]
            self.sections.append((va, max(vsize, rawsize), raw, rawsize, flags))

    def offset(self, rva):
        for va, size, raw, rawsize, _ in self.sections:
            if va <= rva < va + size:
                return raw + rva - va if rva - va < rawsize else None
        return None

    def is_code(self, rva):
        return any(va <= rva < va + size and flags & 0x20000000
                   for va, size, _, _, flags in self.sections)

    def string(self, rva):
        off = self.offset(rva)
        if off is None:
            return None
        end = self.data.find(b'\0', off, off + 260)
        raw = self.data[off:end] if end > off else b''
        return raw.decode('ascii').lower() if raw and all(32 < c < 127 for c in raw) else None

    def u32(self, rva):
        off = self.offset(rva)
        return None if off is None else struct.unpack_from('<I', self.data, off)[0]

    def slot_value(self, rva):
        off = self.offset(rva)
        fmt = '<Q' if self.pe32plus else '<I'
        return None if off is None else struct.unpack_from(fmt, self.data, off)[0]

    def imports(self):
        names, rva = set(), self.import_rva
        while rva and self.u32(rva + 12):
            names.add(self.string(self.u32(rva + 12)))
            rva += 20
        return names

    def delay_descriptors(self):
        """(dll, IAT rva, name table rva) of every record shaped like a delay-load descriptor."""
        found = []
        for va, size, raw, rawsize, _ in self.sections:
            for off in range(raw, raw + rawsize - 31, 4):
                attrs, name, module, iat, names = struct.unpack_from('<5I', self.data, off)
                if attrs != 1 or not all(self.offset(r) is not None for r in (name, module, iat, names)):
                    continue
                dll = self.string(name)
                if dll and dll.endswith('.dll'):
                    found.append((dll, iat, names))
        return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('image')
    ap.add_argument('--imports', required=True)
    ap.add_argument('--delayed', required=True)
    args = ap.parse_args()
    with open(args.image, 'rb') as f:
        image = Image(f.read())
    faults = []

    want = {n.lower() for n in args.imports.split(',')}
    have = image.imports()
    if have != want:
        faults.append('load-time imports %s, expected %s' % (sorted(have), sorted(want)))

    want = {n.lower() + '.dll' for n in args.delayed.split(',')}
    descriptors = image.delay_descriptors()
    have = {d[0] for d in descriptors}
    if have != want:
        faults.append('delay-loaded %s, expected %s' % (sorted(have), sorted(want)))
    slots = 0
    for dll, iat, names in descriptors:
        i = 0
        while image.slot_value(names + i * image.slot):
            target = image.slot_value(iat + i * image.slot)
            if target is None or not image.base <= target < image.base + image.size \
                    or not image.is_code(target - image.base):
                faults.append('%s: import slot %d holds %#x, not code of the image' % (dll, i, target or 0))
            i += 1
            slots += 1
        if i == 0:
            faults.append('%s: no imports behind its descriptor' % dll)

    for f in faults:
        print('check_image: %s: %s' % (args.image, f))
    if not faults:
        print('check_image: %s: %d load-time DLLs, %d delay-loaded DLLs, %d slots into code: ok'
              % (args.image, len(image.imports()), len(descriptors), slots))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
