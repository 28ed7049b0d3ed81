#!/usr/bin/python3
"""Checks the shipped uninstaller's resources and tail: it ends in the default
log-name tail and carries the dialog template and icon group (ids from
uninstaller/resources/resource.h) byte for byte (both flavours).

usage: check_uninstaller_resources.py DIST_WIN32_FOLDER
"""
import os
import re
import struct
import sys

import pefile

from pe_checks import check, failures, resources

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'tools'))
import make_icon  # noqa: E402

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
BUTTON, STATIC, LISTBOX = 0x80, 0x82, 0x83


def resource_ids():
    """The ids as the program's resource.h defines them."""
    path = os.path.join(HERE, '..', '..', 'uninstaller', 'resources', 'resource.h')
    with open(path) as header:
        return {name: int(value) for name, value in
                re.findall(r'^#define\s+(ID[A-Z_]+)\s+(\d+)', header.read(), re.M)}


IDS = resource_ids()
DIALOG, ICON = IDS['IDD_UNINSTALL'], IDS['IDI_UNINSTALLER']
# id, class atom, style, x, y, width, height: in template (tab) order.
CONTROLS = [
    (IDS['IDC_CLOSE'], BUTTON, 0x50010000, 248, 177, 50, 14),
    (IDS['IDC_HEADING'], STATIC, 0x50020001, 7, 55, 291, 18),
    (IDS['IDC_LEFTOVERS'], LISTBOX, 0x50B10103, 7, 74, 291, 94),
    (IDS['IDC_REMOVE_ONE'], BUTTON, 0x50010000, 7, 177, 57, 14),
    (IDS['IDC_REMOVE_ALL'], BUTTON, 0x50010000, 71, 177, 57, 14),
    (IDS['IDC_PROGRESS'], LISTBOX, 0x50A10101, 7, 7, 291, 46),
    (IDS['IDC_FINISH'], BUTTON, 0x40010001, 127, 62, 50, 14),
]


def wide(text):
    return (text + '\0').encode('utf-16-le')


def expected_template():
    data = struct.pack('<IIHhhhh', 0x80C808C1, 0, len(CONTROLS), 0, 0, 305, 198)
    data += struct.pack('<HH', 0, 0)            # no menu, standard dialog class
    data += wide('Dialog') + struct.pack('<H', 8) + wide('MS Sans Serif')
    for ident, atom, style, x, y, width, height in CONTROLS:
        data += b'\0' * (-len(data) % 4)        # items start on 4-byte boundaries
        data += struct.pack('<IIhhhhH', style, 0, x, y, width, height, ident)
        data += struct.pack('<HH', 0xFFFF, atom)
        data += struct.pack('<HH', 0, 0)        # empty text, no creation data
    return data


def resource(pe, type_id, name_id):
    """Bytes of the first language of resource type_id/name_id, or None."""
    return next((data for (name, _), data in resources(pe, type_id).items() if name == name_id), None)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = os.path.join(sys.argv[1], 'uninstaller.exe')
    pe = pefile.PE(path)

    # Image, imports and the shared section: check_uninstaller.py.
    with open(path, 'rb') as program:
        check(program.read().endswith(b'uninstall.ini\0uninstal.ini\0'), 'the default log-name tail')

    check_resources(pe, 'win32')
    # The test flavour carries the same resources.
    other = os.path.join(sys.argv[1], '..', 'win64', 'uninstaller.exe')
    if os.path.exists(other):
        check_resources(pefile.PE(other), 'win64')

    print('%d failed' % len(failures))
    sys.exit(1 if failures else 0)


def check_resources(pe, flavour):
    template = resource(pe, RT_DIALOG, DIALOG)
    if check(template is not None, flavour + ': RT_DIALOG %d present' % DIALOG):
        want = expected_template()
        if not check(template == want, flavour + ': dialog %d byte for byte' % DIALOG):
            print('      got  %s\n      want %s' % (template.hex(), want.hex()))

    group = resource(pe, RT_GROUP_ICON, ICON)
    if check(group is not None, flavour + ': RT_GROUP_ICON %d present' % ICON):
        reserved, kind, count = struct.unpack_from('<HHH', group)
        check((reserved, kind, count) == (0, 1, 1), flavour + ': icon group %d holds one icon' % ICON)
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            '<BBBBHHIH', group, 6)
        check((width, height, colours, bits) == (32, 32, 0, 8),
              flavour + ': icon is 32 x 32 in 256 colours')
        image = resource(pe, RT_ICON, icon_id)
        check(image is not None and len(image) == size, flavour + ': icon image present')
        # The image must be the generator's output, so the artwork can be remade.
        generated = make_icon.icon_bytes()[6 + 16:]
        check(image == generated, flavour + ': icon image is the output of tools/make_icon.py')

if __name__ == '__main__':
    main()
