#!/usr/bin/python3
"""Appends the default log-name tail to a freshly linked uninstaller.

The program reads the name of its uninstall log from the NUL-terminated
names after its image; the last name counts. The shipped program carries
"uninstall.ini" and then "uninstal.ini", so it reads "uninstal.ini". An
installer appends its own name after these. Running this twice on the same
file changes nothing.

usage: append_log_tail.py PROGRAM.exe
"""
import sys

TAIL = b'uninstall.ini\0uninstal.ini\0'


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], 'r+b') as program:
        data = program.read()
        if not data.endswith(TAIL):
            program.write(TAIL)


if __name__ == '__main__':
    main()
