#!/usr/bin/python3
"""Joins the WOFF subsets of one font face into a single TrueType file.

usage: woff2ttf.py OUT.ttf IN.woff [IN.woff ...]
The first input's names and metrics win; later subsets only add characters.
"""
import sys

from fontTools.merge import Merger
from fontTools.ttLib import TTFont


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    out, inputs = argv[1], argv[2:]
    if len(inputs) == 1:
        font = TTFont(inputs[0])
    else:
        font = Merger().merge(inputs)
    font.flavor = None
    # Keep the source's time stamps so that regenerated files are byte-identical.
    first = TTFont(inputs[0])["head"]
    font["head"].created = first.created
    font["head"].modified = first.modified
    font.recalcTimestamp = False
    font.save(out, reorderTables=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
