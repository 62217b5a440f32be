#!/usr/bin/env python3
"""Dates every file under a folder with one time (seconds since 1970), so that
the payload archive packed from it does not depend on when its files were built.

    set-file-times.py SECONDS FOLDER
"""
import os
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    when = int(argv[1])
    for root, _, files in os.walk(argv[2]):
        for name in files:
            os.utime(os.path.join(root, name), (when, when))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
