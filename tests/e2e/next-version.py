#!/usr/bin/env python3
"""next-version.py PAYLOAD: turns a copy of the demo payload into the next
version: one top-level file and one template changed, and a large file
whose copy lasts long enough to be seen and cut off."""

import sys

root = sys.argv[1]
for name in ("Vantor.ini", "Vzory/Faktury/Faktura.vzr"):
    with open(f"{root}/{name}", "a", newline="") as f:
        f.write("; verze 1.3.1\r\n")
with open(f"{root}/huge.dat", "wb") as f:
    f.truncate(32 << 20)
