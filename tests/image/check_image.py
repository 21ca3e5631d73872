#!/usr/bin/env python3
"""Static checks of a Windows executable that need no Windows to run it.

usage: check_image.py IMAGE --imports a.dll,b.dll --delayed c,d

- The load-time import table names exactly --imports.
- The delay-load descriptors name exactly --delayed, and every import slot of theirs initially
  points at its own loading thunk: code that hands that very slot to the helper of the slot's
  DLL (i686: mov eax, slot; jmp helper. x86_64: lea rax, [rip+slot]; jmp helper), as dlltool's
  delay-import libraries make it (tools/make-delaylib.sh). GNU ld has been seen to drop the
  thunks of an i686 image and leave the slots 0: the first call then jumps to address 0; a slot
  that points anywhere else in the code jumps there at its first call.
GNU ld leaves the delay-import directory empty, so descriptors are found by their shape.
With --discard a failing image is deleted, so that no release ships it.
"""
import argparse
import os
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
        self.entry = struct.unpack_from('<I', data, opt + 16)[0]
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

    def code(self, rva, n):
        off = self.offset(rva)
        return self.data[off:off + n] if off is not None and self.is_code(rva) else b''

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
        """(dll, rva, IAT rva, name table rva) of every record shaped like a delay-load descriptor."""
        found = []
        for va, size, raw, rawsize, _ in self.sections:
            for off in range(raw, raw + rawsize - 31, 4):
                attrs, name, module, iat, names = struct.unpack_from('<5I', self.data, off)
                if attrs != 1 or not all(self.offset(r) is not None for r in (name, module, iat, names)):
                    continue
                dll = self.string(name)
                if dll and dll.endswith('.dll'):
                    found.append((dll, va + off - raw, iat, names))
        return found

    def rel(self, code, at, rva):
        """The rva a rel32 field at code[at:at + 4] leads to, code being read at rva."""
        return rva + at + 4 + struct.unpack_from('<i', code, at)[0]

    def thunk_fault(self, slot, descriptor):
        """Why the import slot at rva slot does not lead to its own loading thunk, or None."""
        target = self.slot_value(slot)
        if target is None or not self.base <= target < self.base + self.size \
                or not self.is_code(target - self.base):
            return 'holds %#x, not code of the image' % (target or 0)
        thunk = target - self.base
        if self.pe32plus:  # lea rax, [rip+disp32]; jmp rel32
            code = self.code(thunk, 12)
            own = len(code) == 12 and code[:3] == b'\x48\x8d\x05' and self.rel(code, 3, thunk) == slot
        else:  # mov eax, imm32; jmp rel32
            code = self.code(thunk, 10)
            own = len(code) == 10 and code[0] == 0xB8 and self.u32(thunk + 1) == self.base + slot
        if not own or code[-5] != 0xE9:
            return 'holds %#x, not a thunk that loads this slot' % target
        # The helper hands the loader its DLL's descriptor: push imm32 first thing, or
        # lea rcx, [rip+disp32] once the argument registers are saved.
        helper = self.rel(code, len(code) - 4, thunk)
        head = self.code(helper, 64)
        if self.pe32plus:
            ok = any(head[i:i + 3] == b'\x48\x8d\x0d' and self.rel(head, i + 3, helper) == descriptor
                     for i in range(len(head) - 6))
        else:
            ok = head[:4] == b'\x51\x52\x50\x68' and self.u32(helper + 4) == self.base + descriptor
        return None if ok else 'has a thunk at %#x that jumps to %#x, not to the helper of its DLL' \
            % (target, self.base + helper)

def check(image, imports, delayed):
    """The image's faults, and the number of delay-load slots it has."""
    faults = []
    want = {n.lower() for n in imports.split(',')}
    have = image.imports()
    if have != want:
        faults.append('load-time imports %s, expected %s' % (sorted(have), sorted(want)))

    want = {n.lower() + '.dll' for n in delayed.split(',')}
    descriptors = image.delay_descriptors()
    have = {d[0] for d in descriptors}
    if have != want:
        faults.append('delay-loaded %s, expected %s' % (sorted(have), sorted(want)))
    slots = 0
    for dll, descriptor, iat, names in descriptors:
        i = 0
        while image.slot_value(names + i * image.slot):
            fault = image.thunk_fault(iat + i * image.slot, descriptor)
            if fault:
                faults.append('%s: import slot %d %s' % (dll, i, fault))
            i += 1
            slots += 1
        if i == 0:
            faults.append('%s: no imports behind its descriptor' % dll)
    return faults, slots


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('image')
    ap.add_argument('--imports', required=True)
    ap.add_argument('--delayed', required=True)
    ap.add_argument('--discard', action='store_true')
    args = ap.parse_args()
    with open(args.image, 'rb') as f:
        image = Image(f.read())
    faults, slots = check(image, args.imports, args.delayed)
    for f in faults:
        print('check_image: %s: %s' % (args.image, f))
    if not faults:
        print('check_image: %s: %d load-time DLLs, %d delay-loaded DLLs, %d slots at their thunks: ok'
              % (args.image, len(image.imports()), len(image.delay_descriptors()), slots))
    elif args.discard:
        os.remove(args.image)
        print('check_image: %s removed' % args.image)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
