#!/usr/bin/python3
"""Compacts an application manifest for embedding: drops the comments and
the whitespace between tags, keeps everything else byte for byte, and
refuses a manifest that is not well-formed XML. The readable source, with
its comments, stays in the tree; every byte of the embedded copy counts
against the uninstaller's size.

usage: compact_manifest.py SOURCE.manifest OUTPUT
"""
import re
import sys
import xml.dom.minidom


def compact(text):
    text = re.sub(r'<!--.*?-->', '', text, flags=re.DOTALL)
    return re.sub(r'>\s+<', '><', text).strip()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding='utf-8') as source:
        text = compact(source.read())
    try:
        xml.dom.minidom.parseString(text.encode('utf-8'))
    except Exception as error:  # the parser's own exception types vary
        sys.exit('%s: not well-formed: %s' % (sys.argv[1], error))
    data = text.encode('utf-8')
    try:
        with open(sys.argv[2], 'rb') as old:
            if old.read() == data:
                return  # unchanged: the resources need not be compiled again
    except OSError:
        pass
    with open(sys.argv[2], 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main()
