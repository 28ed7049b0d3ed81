#!/usr/bin/python3
"""Static checks of what the three shipped files say about themselves and
of what makes two builds equal: the version resource against VERSION, the
embedded application manifests, no time stamp, no build folder in the bytes,
and the uninstaller's size limit. The test flavour (dist/win64) is checked
too when it is there.

usage: check_release.py DIST_WIN32_FOLDER
"""
import os
import re
import sys
import xml.dom.minidom

import pefile

from pe_checks import check, failures, resources

RT_VERSION, RT_MANIFEST = 16, 24
# 30 KB: the removal guard, the gate and the start-up's own loading of the
# system libraries, built for size (arguments pushed, no stack probes).
UNINSTALLER_LIMIT = 30720
# The linker's default library base; a base hashed from the output path
# would differ from one build folder to the next.
LIBRARY_BASE = {'win32': 0x10000000, 'win64': 0x180000000}
PROGRAM, LIBRARY = 1, 2  # VS_FIXEDFILEINFO file types
FILES = {
    'uninstaller.exe': (PROGRAM, 'requireAdministrator'),
    'uninstlog.exe': (PROGRAM, 'asInvoker'),
    'Dorvane_quadrant_levers.gau': (LIBRARY, None),  # lives in the simulator: no manifest
}
STRING_FIELDS = ['FileDescription', 'FileVersion', 'LegalCopyright', 'OriginalFilename',
                 'ProductName', 'ProductVersion']
WINDOWS_VERSIONS = {  # compatibility section: supportedOS ids
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}': 'Vista',
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': '7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': '8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': '8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': '10 and 11',
}
ASM_V1 = 'urn:schemas-microsoft-com:asm.v1'
ASM_V3 = 'urn:schemas-microsoft-com:asm.v3'
COMPATIBILITY = 'urn:schemas-microsoft-com:compatibility.v1'
DPI_2005 = 'http://schemas.microsoft.com/SMI/2005/WindowsSettings'

def resource_directories(pe):
    """Every directory table of the resource tree (each carries a time stamp)."""
    pending = [getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)]
    while pending:
        directory = pending.pop()
        if directory is None:
            continue
        yield directory
        for entry in directory.entries:
            pending.append(getattr(entry, 'directory', None))


def version_of(root):
    with open(os.path.join(root, 'VERSION')) as source:
        text = source.read().strip()
    numbers = [int(part) for part in text.split('.')]
    return text, numbers + [0] * (4 - len(numbers))


def check_version(pe, label, name, file_type, version_text, version_numbers, seen):
    info = getattr(pe, 'VS_FIXEDFILEINFO', None)
    if not check(info is not None and len(resources(pe, RT_VERSION)) == 1,
                 label + ': one version resource'):
        return
    fixed = info[0]

    def split(ms, ls):
        return [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
    check(split(fixed.FileVersionMS, fixed.FileVersionLS) == version_numbers
          and split(fixed.ProductVersionMS, fixed.ProductVersionLS) == version_numbers,
          label + ': file and product version numbers %s' % version_numbers)
    check((fixed.FileType, fixed.FileFlags, fixed.FileDateMS, fixed.FileDateLS) == (file_type, 0, 0, 0),
          label + ': file type %d, no flags, no date' % file_type)
    strings, translations = {}, []
    for group in pe.FileInfo[0]:
        for table in getattr(group, 'StringTable', []):
            strings[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(group, 'Var', []):
            translations += var.entry.values()
    check([key.lower() for key in strings] == ['040904b0'] and translations == ['0x0409 0x04b0'],
          label + ': one string table, English (US) in Unicode, and its translation entry: %s %s'
          % (list(strings), translations))
    fields = next(iter(strings.values()), {})
    check(sorted(fields) == STRING_FIELDS, label + ': exactly the fields %s: %s' % (STRING_FIELDS, sorted(fields)))
    check(fields.get('FileVersion') == version_text and fields.get('ProductVersion') == version_text,
          label + ': file and product version text "%s"' % version_text)
    check(fields.get('OriginalFilename') == name, label + ': original file name ' + name)
    check(fields.get('LegalCopyright', '').startswith('Copyright (C) '), label + ': a copyright line')
    description = fields.get('FileDescription', '')
    check(len(description) >= 10 and description not in seen['descriptions'],
          label + ': a description of its own: "%s"' % description)
    seen['descriptions'].add(description)
    seen['products'].add(fields.get('ProductName'))


def element(node, namespace, name):
    found = node.getElementsByTagNameNS(namespace, name)
    return found[0] if len(found) == 1 else None


def check_manifest(pe, label, level, program):
    manifests = resources(pe, RT_MANIFEST)
    if level is None:
        check(not manifests, label + ': no application manifest')
        return
    if not check(sorted(key[0] for key in manifests) == [1],
                 label + ': one manifest, resource 1 (read when the process starts)'):
        return
    text = next(iter(manifests.values()))
    try:
        document = xml.dom.minidom.parseString(text)
    except Exception as error:  # the parser's own exception types vary
        check(False, label + ': manifest is well-formed XML: %s' % error)
        return
    check(text.startswith(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?><assembly '),
          label + ': manifest starts with the XML declaration and the assembly')
    check(re.search(rb'>\s+<', text) is None and b'<!--' not in text,
          label + ': manifest embedded compact (%d bytes): no whitespace between tags, no comments' % len(text))
    root = document.documentElement
    check(root.namespaceURI == ASM_V1 and root.localName == 'assembly'
          and root.getAttribute('manifestVersion') == '1.0', label + ': assembly, manifest version 1.0')
    requested = element(root, ASM_V3, 'requestedExecutionLevel')
    trust = element(root, ASM_V3, 'trustInfo')
    check(requested is not None and trust is not None and trust.parentNode is root
          and requested.getAttribute('level') == level and requested.getAttribute('uiAccess') == 'false',
          label + ': execution level %s, uiAccess false' % level)
    compatibility = element(root, COMPATIBILITY, 'compatibility')
    ids = [node.getAttribute('Id') for node in root.getElementsByTagNameNS(COMPATIBILITY, 'supportedOS')]
    check(compatibility is not None and compatibility.parentNode is root
          and sorted(ids) == sorted(WINDOWS_VERSIONS),
          label + ': supported: Windows %s' % ', '.join(WINDOWS_VERSIONS.get(i, i) for i in ids))
    dpi = element(root, DPI_2005, 'dpiAware')
    settings = element(root, ASM_V3, 'windowsSettings')
    controls = [node for node in root.getElementsByTagNameNS(ASM_V1, 'assemblyIdentity')
                if node.getAttribute('name') == 'Microsoft.Windows.Common-Controls']
    if program == 'uninstaller.exe':
        check(dpi is not None and settings is not None and dpi.parentNode is settings
              and dpi.firstChild is not None and dpi.firstChild.data == 'true',
              label + ': DPI aware (dialog units scale with the system font)')
        wanted = {'type': 'win32', 'version': '6.0.0.0', 'processorArchitecture': '*',
                  'publicKeyToken': '6595b64144ccf1df', 'language': '*'}
        check(len(controls) == 1 and controls[0].parentNode.localName == 'dependentAssembly'
              and controls[0].parentNode.parentNode.localName == 'dependency'
              and all(controls[0].getAttribute(k) == v for k, v in wanted.items()),
              label + ': depends on Common Controls 6.0.0.0')
    else:
        check(dpi is None and not controls, label + ': console program: no DPI or Common Controls entries')


def check_reproducible(pe, data, label, root):
    """No time stamp in any header the linker or resource compiler writes,
    no source or build folder inside the file."""
    stamps = {'file header': pe.FILE_HEADER.TimeDateStamp}
    if hasattr(pe, 'DIRECTORY_ENTRY_EXPORT'):
        stamps['export directory'] = pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp
    for entry in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', []):
        stamps['import of ' + entry.dll.decode()] = entry.struct.TimeDateStamp
    for number, directory in enumerate(resource_directories(pe)):
        stamps['resource directory %d' % number] = directory.struct.TimeDateStamp
    check(all(value == 0 for value in stamps.values()),
          label + ': no time stamp (%d headers): %s' % (len(stamps), {k: v for k, v in stamps.items() if v}))
    check(not hasattr(pe, 'DIRECTORY_ENTRY_DEBUG'), label + ': no debug directory')
    folders = {root, root.replace('/', '\\')}
    found = [f for f in folders if f.encode() in data or f.encode('utf-16-le') in data]
    check(not found, label + ': no build folder inside: %s' % found)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    dist32 = os.path.abspath(sys.argv[1])
    root = os.path.dirname(os.path.dirname(dist32))
    version_text, version_numbers = version_of(root)
    print('VERSION: %s' % version_text)
    for flavour, folder in (('win32', dist32), ('win64', os.path.join(root, 'dist', 'win64'))):
        if flavour == 'win64' and not os.path.isdir(folder):
            continue
        seen = {'descriptions': set(), 'products': set()}
        for name, (file_type, level) in FILES.items():
            path = os.path.join(folder, name)
            label = '%s/%s' % (flavour, name)
            if not check(os.path.isfile(path), label + ': present'):
                continue
            with open(path, 'rb') as shipped:
                data = shipped.read()
            pe = pefile.PE(data=data)
            print('      %s: %d bytes' % (label, len(data)))
            check_version(pe, label, name, file_type, version_text, version_numbers, seen)
            check_manifest(pe, label, level, name)
            check_reproducible(pe, data, label, root)
            if file_type == LIBRARY:
                check(pe.OPTIONAL_HEADER.ImageBase == LIBRARY_BASE[flavour],
                      label + ': the default image base 0x%x' % pe.OPTIONAL_HEADER.ImageBase)
            if flavour == 'win32' and name == 'uninstaller.exe':
                check(len(data) <= UNINSTALLER_LIMIT,
                      label + ': %d bytes, at most %d' % (len(data), UNINSTALLER_LIMIT))
        check(len(seen['products']) == 1, flavour + ': one product name: %s' % seen['products'])
    print('%d failed' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
