#!/usr/bin/env python3
"""Writes the benchmark archive: about 5,000 files in nested folders, about
400 MB: many small text files, a hundred 1 MB incompressible files, three of
20 MB and one compressible file of 200 MB, with the program and the engine's
setup that every installation archive holds."""
import random
import sys
import zipfile

WORDS = ("soubor složka instalace vzory projekty data tabulka sestava "
         "zákazník faktura položka cena množství datum").split()


def text(rng, size):
    parts, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(12)) + f" {rng.randrange(10**6)}\n"
        parts.append(line)
        n += len(line.encode())
    return "".join(parts).encode()[:size]


def main(path):
    rng = random.Random(1998)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for i in range(4896):
            folder = f"Data/d{i % 12}/e{i % 7}/f{i % 5}"
            z.writestr(f"{folder}/soubor{i:04}.txt", text(rng, rng.randrange(200, 16000)))
        for i in range(100):
            z.writestr(f"Binar/b{i % 10}/blob{i:03}.bin", rng.randbytes(1 << 20))
        for i in range(3):
            z.writestr(f"Velke/velky{i}.dat", rng.randbytes(20 << 20))
        line = text(rng, 1 << 20)
        with z.open("Velke/dlouhy.txt", "w") as out:
            for i in range(200):
                out.write(line[:-12] + f"{i:011}\n".encode())
        # The two files an installation archive cannot be without.
        extra = random.Random(1)
        z.writestr("VantorPro.exe", b"MZ" + extra.randbytes(256 << 10))
        z.writestr("Utility/Bde/Setup.exe", b"MZ" + extra.randbytes(128 << 10))


if __name__ == "__main__":
    main(sys.argv[1])
