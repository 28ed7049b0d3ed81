#!/usr/bin/python3
"""Static checks of the shipped 32-bit gauge, dist/win32/Dorvane_quadrant_levers.gau.

argv[1]: the dist/win32 folder; argv[2] (optional): the linker map of that
build, which names the routines. Without it the map is looked for in the
usual build folders and must match the file's own export addresses.
Prints every check; exits non-zero on the first group that fails.
"""
import glob
import os
import re
import struct
import subprocess
import sys

import pefile

from pe_checks import check, failures, resources

GAUGE = "Dorvane_quadrant_levers.gau"


def load_map(path):
    """Global symbol addresses from an ld map (listed without the leading
    underscore): name -> VA."""
    symbols = {}
    for line in open(path, errors="replace"):
        m = re.match(r"\s+0x([0-9a-f]+)\s+_?([A-Za-z_][\w@]*)\s*$", line)
        if m:
            symbols[m.group(2)] = int(m.group(1), 16)
    return symbols


def find_map(dist, exports, base):
    candidates = sys.argv[2:3]
    root = os.path.abspath(os.path.join(dist, "..", ".."))
    candidates += sorted(glob.glob(os.path.join(root, "*", "win32", "gauge", "Dorvane_quadrant_levers.map")))
    for path in candidates:
        if not os.path.isfile(path):
            continue
        symbols = load_map(path)
        if all(symbols.get(name) == base + rva for name, rva in exports.items()):
            return path, symbols
    return None, None


class Image:
    def __init__(self, pe):
        self.pe = pe
        self.base = pe.OPTIONAL_HEADER.ImageBase
        self.relocs = set()
        for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
            for entry in block.entries:
                if entry.type == 3:  # IMAGE_REL_BASED_HIGHLOW
                    self.relocs.add(entry.rva)
        self.covered = set()

    def data(self, rva, size):
        return self.pe.get_data(rva, size)

    def u32(self, rva):
        return struct.unpack("<I", self.data(rva, 4))[0]

    def pointer(self, rva):
        """Target RVA of a pointer field, or None for null. A non-null field
        must be relocated, a null one must not be."""
        value = self.u32(rva)
        if value == 0:
            return None if rva not in self.relocs else "relocated null"
        if rva not in self.relocs:
            return "unrelocated 0x%x" % value
        return value - self.base

    def executable(self, rva):
        for s in self.pe.sections:
            if s.VirtualAddress <= rva < s.VirtualAddress + s.Misc_VirtualSize:
                return bool(s.Characteristics & 0x20000000)
        return False


def check_record(img, name, rva, size, fields, targets):
    """fields: (offset, kind, expected); kind u32/i32/f64/ptr. Every byte not
    named by a field must be zero and unrelocated (host-owned or reserved)."""
    ok = True
    named = set()
    for offset, kind, expected in fields:
        at = rva + offset
        if kind == "ptr":
            got = img.pointer(at)
            want = None if expected is None else targets.get(expected, "unknown " + str(expected))
            good = got == want
            named.update(range(offset, offset + 4))
            if not good:
                print("      %s+%d: pointer %r, want %s (%r)" % (name, offset, got, expected, want))
        else:
            fmt, width = {"u32": ("<I", 4), "i32": ("<i", 4), "f64": ("<d", 8)}[kind]
            got = struct.unpack(fmt, img.data(at, width))[0]
            good = got == expected and (kind != "f64" or str(got) == str(float(expected)))
            named.update(range(offset, offset + width))
            if not good:
                print("      %s+%d: %r, want %r" % (name, offset, got, expected))
        ok = ok and good
    raw = img.data(rva, size)
    for offset in range(size):
        if offset not in named and raw[offset] != 0:
            print("      %s+%d: byte 0x%02x, want 0" % (name, offset, raw[offset]))
            ok = False
        if offset not in named and rva + offset in img.relocs:
            print("      %s+%d: relocated, want plain zero" % (name, offset))
            ok = False
    return check(ok, "%s: %d bytes at RVA 0x%x as laid out" % (name, size, rva))


def element_list(img, name, rva, count):
    """The element pointers of a null-ended list of count entries."""
    entries = [img.pointer(rva + 4 * i) for i in range(count + 1)]
    good = all(isinstance(e, int) for e in entries[:count]) and entries[count] is None
    check(good, "%s: %d element pointers then null" % (name, count))
    return entries[:count] if good else None


def head_fields(kind, bitmap, x, y, next_list):
    return [(0, "u32", kind), (4, "u32", bitmap), (8, "i32", x), (12, "i32", y),
            (32, "ptr", "header"), (40, "ptr", next_list), (48, "u32", 3)]


def axis_fields(base, token, callback, scale):
    return [(base + 0, "u32", token), (base + 28, "ptr", callback), (base + 32, "f64", scale)]


def check_bitmaps(pe):
    found = resources(pe, 2)  # RT_BITMAP
    sizes = {100: (331, 154), 200: (55, 41), 300: (56, 41), 400: (39, 48), 500: (6, 8), 600: (53, 122)}
    check(sorted(found) == [(i, 1033) for i in sorted(sizes)], "bitmaps 100..600, language 1033, nothing else: %s" % sorted(found))
    for ident, (w, h) in sizes.items():
        data = found.get((ident, 1033))
        if data is None:
            continue
        (hsize, width, height, planes, bpp, comp, image_size, xppm, yppm, used, important) = \
            struct.unpack("<IiiHHIIiiII", data[:40])
        stride = (w + 3) & ~3
        check((hsize, width, height, planes, bpp, comp) == (40, w, h, 1, 8, 0),
              "bitmap %d: 40-byte header, %d x %d, 8 bits, uncompressed" % (ident, w, h))
        check((xppm, yppm) == (3780, 3780), "bitmap %d: 3780 pixels per metre" % ident)
        palette = data[40:40 + 1024]
        check(used in (0, 256) and len(palette) == 1024 and palette[:3] == b"\0\0\0",
              "bitmap %d: 256-entry palette, entry 0 black" % ident)
        bits = data[40 + 1024:]
        check(len(bits) == stride * h, "bitmap %d: %d bytes of pixels" % (ident, stride * h))
        rows = [bits[r * stride:r * stride + w] for r in range(h)][::-1]  # top row first
        if ident != 600:
            check(all(b == 0 for row in rows for b in row), "bitmap %d: every pixel index 0" % ident)
        else:
            grey = lambda i: palette[4 * i]
            top = [grey(b) for row in rows[:26] for b in row]
            shaft = [grey(b) for row in rows[40:] for b in row]
            check(max(top) >= 180 and sum(1 for g in top if 0 < g < 80) >= 40,
                  "bitmap 600: light knob with dark lettering at the top")
            check(80 <= max(shaft) < 180 and shaft.count(0) > len(shaft) // 2,
                  "bitmap 600: grey shaft on black below the knob")
            check(all(grey(rows[y][x]) == 0 for y in (0, h - 1) for x in (0, w - 1)),
                  "bitmap 600: black corners")


def check_precision_guard(path, symbols):
    """Each callback, or the helper it calls, sets the x87 unit to double
    precision (fnstcw, fldcw) before its arithmetic and sets the host's
    control word back (a second fldcw) before it returns."""
    listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", path],
                             capture_output=True, text=True).stdout
    lines = {}
    order = []
    for line in listing.splitlines():
        m = re.match(r"\s*([0-9a-f]+):\s+(.*)", line)
        if m:
            address = int(m.group(1), 16)
            lines[address] = m.group(2)
            order.append(address)
    index = {a: i for i, a in enumerate(order)}

    def body(address):
        out = []
        for a in order[index.get(address, len(order)):]:
            out.append(lines[a])
            if lines[a].startswith("ret"):
                break
        return out

    arithmetic = re.compile(r"f(i?)(add|sub|mul|div)")

    def guarded(address, depth=0):
        text = body(address)
        first_set = next((i for i, t in enumerate(text) if t.startswith("fldcw")), None)
        first_math = next((i for i, t in enumerate(text) if arithmetic.match(t)), None)
        if (first_set is not None and any(t.startswith("fnstcw") for t in text[:first_set])
                and sum(t.startswith("fldcw") for t in text) >= 2
                and (first_math is None or first_set < first_math)):
            return True
        if depth < 2:
            for t in text:
                m = re.match(r"call\s+0x([0-9a-f]+)", t)
                if m and guarded(int(m.group(1), 16), depth + 1):
                    return True
        return False

    for name in ["DragLever1@8", "DragLever2@8", "GripPosition1@4", "GripPosition2@4",
                 "FollowerPosition1@4", "FollowerPosition2@4"]:
        if name in symbols:
            check(guarded(symbols[name]), "%s works in double precision and restores the host's x87 setting" % name)


def main():
    dist = sys.argv[1]
    path = os.path.join(dist, GAUGE)
    if not check(os.path.isfile(path), "shipped file " + path):
        return 1
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == 0x14C and pe.OPTIONAL_HEADER.Magic == 0x10B,
          "PE32 for i386")
    check(bool(pe.FILE_HEADER.Characteristics & 0x2000), "a dynamic library")
    exports = {e.name.decode(): e.address for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
    check(sorted(exports) == ["ImportTable", "Linkage"], "exports exactly Linkage and ImportTable: %s" % sorted(exports))
    img = Image(pe)
    check(all(not img.executable(rva) for rva in exports.values()), "both exports are data")
    dlls = sorted(i.dll.decode().lower() for i in pe.DIRECTORY_ENTRY_IMPORT)
    check(set(dlls) <= {"kernel32.dll", "msvcrt.dll"}, "imports only kernel32 and the C runtime: %s" % dlls)
    if failures:
        return 1

    map_path, symbols = find_map(dist, exports, img.base)
    if not check(map_path is not None, "linker map of this very file (names of the routines): %s" % map_path):
        return 1
    routines = ["ModuleStart@0", "ModuleStop@0", "QueryGauge@0", "InstallGauge@4", "InitializeGauge@0",
                "UpdateGauge@0", "GenerateGauge@4", "DrawGauge@0", "KillGauge@0", "DragLever1@8",
                "DragLever2@8", "GripPosition1@4", "GripPosition2@4", "FollowerPosition1@4",
                "FollowerPosition2@4"]
    targets = {}
    for r in routines:
        va = symbols.get(r)
        if check(va is not None and img.executable(va - img.base), "routine %s in code" % r):
            targets[r.split("@")[0]] = va - img.base
    if failures:
        return 1

    linkage, imports = exports["Linkage"], exports["ImportTable"]
    header = img.pointer(linkage + 24)
    targets["header"] = header
    check_record(img, "Linkage", linkage, 32,
                 [(0, "u32", 0x13), (4, "ptr", "ModuleStart"), (8, "ptr", "ModuleStop"), (24, "ptr", "header"),
                  (28, "ptr", None)], targets)
    check_record(img, "ImportTable", imports, 16, [(0, "u32", 0x0F), (4, "ptr", None), (8, "u32", 0), (12, "ptr", None)], targets)
    if not check(isinstance(header, int), "Linkage names a gauge header"):
        return 1
    name = img.pointer(header + 4)
    check(isinstance(name, int) and img.data(name, 24) == b"Dorvane_quadrant_levers\0", "gauge name text")
    targets["name"] = name
    targets["elements"] = img.pointer(header + 8)
    check_record(img, "gauge header", header, 88,
                 [(0, "u32", 610), (4, "ptr", "name"), (8, "ptr", "elements"), (12, "ptr", "QueryGauge"),
                  (16, "ptr", "InstallGauge"), (20, "ptr", "InitializeGauge"), (24, "ptr", "UpdateGauge"),
                  (28, "ptr", "GenerateGauge"), (32, "ptr", "DrawGauge"), (36, "ptr", "KillGauge"),
                  (40, "ptr", None), (44, "u32", 126)], targets)

    # The element tree, followed from the header's element list.
    top = element_list(img, "header element list", targets["elements"], 1)
    if top is None:
        return 1
    bg = top[0]
    tree = {"background": bg}
    lists = {"background": 1, "lever 2 follower": 1, "lever 1 follower": 1, "lever 2 grip": 3}
    follows = {"background": ["lever 2 follower"], "lever 2 follower": ["lever 1 follower"],
               "lever 1 follower": ["lever 2 grip"], "lever 2 grip": ["flap handle", "indicator", "lever 1 grip"]}
    for parent in ["background", "lever 2 follower", "lever 1 follower", "lever 2 grip"]:
        next_rva = img.pointer(tree[parent] + 40)
        targets[parent + " next"] = next_rva
        entries = element_list(img, parent + " next list", next_rva, lists[parent]) if isinstance(next_rva, int) else None
        if entries is None:
            return 1
        tree.update(zip(follows[parent], entries))
    check(len(set(tree.values())) == 7, "seven distinct elements")

    check_record(img, "background", bg, 80, head_fields(0, 100, 0, 0, "background next") + [(60, "ptr", None)], targets)
    sliders = [
        ("lever 2 follower", 400, 225, 43, (163, "FollowerPosition2", -15 / 16384), (163, "FollowerPosition2", -40 / 16384)),
        ("lever 1 follower", 400, 190, 43, (128, "FollowerPosition1", -15 / 16384), (128, "FollowerPosition1", -40 / 16384)),
        ("lever 2 grip", 300, 118, 80, (163, None, -11 / 16384), (163, "GripPosition2", -80 / 16384)),
        ("flap handle", 600, 260, 55, (328, None, 35 / 16384), (328, None, 60 / 16384)),
        ("indicator", 500, 50, 81, (0, None, 0.0), (319, None, 77 / 32768)),
        ("lever 1 grip", 200, 69, 80, (128, None, -11 / 16384), (128, "GripPosition1", -80 / 16384)),
    ]
    for name, bitmap, x, y, xaxis, yaxis in sliders:
        next_list = name + " next" if name + " next" in targets else None
        check_record(img, name, tree[name], 168,
                     head_fields(3, bitmap, x, y, next_list) + axis_fields(60, *xaxis) + axis_fields(104, *yaxis),
                     targets)

    # No record points at the mouse list (only InstallGauge's code does), so
    # it is found as the one record that names DragLever1, 44 bytes in.
    mouse = [
        (1, 0, 0, 0, 0, -1, 42024, 0, 0, None),
        (2, 68, 1, 48, 150, 5, 0, 0x00800000, 0, "DragLever1"),
        (2, 118, 1, 55, 150, 5, 0, 0x00800000, 0, "DragLever2"),
        (2, 255, 30, 80, 50, 1, 0, 0x20000000, 65759, None),
        (2, 255, 90, 80, 63, 2, 0, 0x20000000, 65758, None),
        (3, 0, 0, 0, 0, -1, 0, 0, 0, None),
        (0, 0, 0, 0, 0, -1, 0, 0, 0, None),
    ]
    drag1 = [rva - 36 - 44 for rva in img.relocs if img.pointer(rva) == targets["DragLever1"]]
    check(len(drag1) == 1, "one record names DragLever1: the mouse list at %s" % [hex(r) for r in drag1])
    for i, (kind, bx, by, bw, bh, cursor, helpid, flags, event, callback) in enumerate(mouse):
        if not drag1:
            break
        check_record(img, "mouse record %d" % (i + 1), drag1[0] + 44 * i, 44,
                     [(0, "u32", kind), (4, "i32", bx), (8, "i32", by), (12, "i32", bw), (16, "i32", bh),
                      (20, "i32", cursor), (24, "u32", helpid), (28, "u32", flags), (32, "u32", event),
                      (36, "ptr", callback)], targets)

    check_bitmaps(pe)
    check_precision_guard(path, symbols)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
