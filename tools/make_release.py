#!/usr/bin/python3
"""Writes the release bundle: RELEASE_FOLDER/dorvane-runtime-VERSION.zip and
RELEASE_FOLDER/SHA256SUMS (the zip's sum).

The zip holds one folder, dorvane-runtime-VERSION/, with the three shipped
32-bit files, PACKAGE-MAKERS.txt (docs/package-makers.md, with Windows line
ends) and SHA256SUMS (the sums of those four files). Two runs on the same files give
the same zip byte for byte: entries in sorted order, every entry dated with
the commit's time (SOURCE_DATE_EPOCH when set, else the time of the commit
checked out, else 1980-01-01), the same attributes for every entry, and
the compression level fixed.

usage: make_release.py DIST_WIN32_FOLDER RELEASE_FOLDER
"""
import hashlib
import os
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHIPPED = ['Dorvane_quadrant_levers.gau', 'uninstaller.exe', 'uninstlog.exe']
NOTES = 'PACKAGE-MAKERS.txt'
MANUAL = os.path.join('docs', 'package-makers.md')
SUMS = 'SHA256SUMS'
ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the earliest time a zip entry can carry
COMPRESS_LEVEL = 9


def read(path):
    with open(path, 'rb') as source:
        return source.read()


def version():
    return read(os.path.join(ROOT, 'VERSION')).decode('ascii').strip()


def entry_time():
    """The entries' date: SOURCE_DATE_EPOCH, else the commit's time."""
    epoch = os.environ.get('SOURCE_DATE_EPOCH', '')
    # Only this tree's own history: a copy without one may lie inside another.
    if not epoch and os.path.exists(os.path.join(ROOT, '.git')):
        try:
            epoch = subprocess.run(['git', '-C', ROOT, 'log', '-1', '--format=%ct'],
                                   capture_output=True, text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            epoch = ''
    seconds = max(int(epoch) if epoch.isdigit() else ZIP_EPOCH, ZIP_EPOCH)
    return time.gmtime(seconds)[:6]


def package_maker_notes():
    """The manual as it stands, with Windows line ends for Notepad."""
    text = read(os.path.join(ROOT, MANUAL)).decode('utf-8')
    return '\r\n'.join(text.rstrip('\n').split('\n')).encode('utf-8') + b'\r\n'


def sums(files):
    """sha256sum's format: hash, two spaces, name; sorted by name."""
    return ''.join('%s  %s\n' % (hashlib.sha256(data).hexdigest(), name)
                   for name, data in sorted(files.items())).encode('ascii')


def write_zip(path, folder, files, date_time):
    with zipfile.ZipFile(path, 'w') as bundle:
        for name in sorted(files):
            info = zipfile.ZipInfo(folder + '/' + name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # the same on every building system
            info.external_attr = 0o100644 << 16  # a plain file, rw-r--r--
            bundle.writestr(info, files[name], compresslevel=COMPRESS_LEVEL)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    dist, out = sys.argv[1], sys.argv[2]
    release_version = version()
    files = {}
    for name in SHIPPED:
        path = os.path.join(dist, name)
        if not os.path.isfile(path):
            sys.exit('make_release: %s is missing; build first' % path)
        files[name] = read(path)
    files[NOTES] = package_maker_notes()
    files[SUMS] = sums(files)

    folder = 'dorvane-runtime-' + release_version
    os.makedirs(out, exist_ok=True)
    for old in os.listdir(out):  # an earlier version's bundle goes
        if old == SUMS or (old.startswith('dorvane-runtime-') and old.endswith('.zip')):
            os.remove(os.path.join(out, old))
    zip_name = folder + '.zip'
    zip_path = os.path.join(out, zip_name)
    write_zip(zip_path, folder, files, entry_time())
    with open(os.path.join(out, SUMS), 'wb') as listing:
        listing.write(sums({zip_name: read(zip_path)}))
    print('make_release: %s (%d bytes)' % (zip_path, os.path.getsize(zip_path)))
    for line in files[SUMS].decode('ascii').splitlines():
        print('  ' + line)


if __name__ == '__main__':
    main()
