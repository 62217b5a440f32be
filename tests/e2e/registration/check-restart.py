#!/usr/bin/env python3
# After the real restart run: the driver answered the restart question Yes (its
# marker is there) and the run passed, which it does only when the session ended
# under it: left alive, it fails 30 seconds after answering. (The replacements
# that Wine's restart then performs race with the harness ending the prefix's
# wineserver, so they are not looked at here; the copy step's tests cover them.)
#   check-restart.py PREFIX
import os
import sys


def main():
    marker = os.path.join(sys.argv[1], "drive_c", "kx-restart-answered.txt")
    try:
        with open(marker, "rb") as f:
            answered = f.read() == b"Yes"
    except OSError:
        answered = False
    if not answered:
        print("the restart question was not answered Yes")
    return 0 if answered else 1


if __name__ == "__main__":
    sys.exit(main())
