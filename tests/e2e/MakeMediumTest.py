#!/usr/bin/env python3
"""The medium builder, run as a user runs it: on real folders, reading the
archive it writes back with zipfile and with Info-ZIP's unzip."""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "make-medium")
# The wizard's place for its archive's stamp (install/MediumStamp.h): the
# length, chunk size and count, and room for 1024 chunk digests.
MARKER = b"SetupVantor:Vaninst.pak:SHA-256:"
BLANK = bytes(16 + 1024 * 32)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class MakeMediumTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="make-medium-")
        self.payload = os.path.join(self.root, "payload")
        self.medium = os.path.join(self.root, "medium")
        self.wizard = os.path.join(self.root, "SetupVantor.exe")
        write(self.wizard, b"MZ wizard " + MARKER + BLANK + b" rest")
        write(os.path.join(self.payload, "VantorPro.exe"), b"MZ app")
        write(os.path.join(self.payload, "VantorPro.hlp"), b"help")
        write(os.path.join(self.payload, "Vzory", "Faktury", "Faktura.vzr"), b"invoice")
        write(os.path.join(self.payload, "Vzory", "Účetnictví", "Pokladní doklad.vzr"), b"cash")
        write(os.path.join(self.payload, "Priklady", "Obchod", "Firma.vpr"), b"x" * 5000)
        os.makedirs(os.path.join(self.payload, "Navod", "Prazdna"))
        write(os.path.join(self.payload, "Utility", "Bde", "Setup.exe"), b"MZ bde")

    def tearDown(self):
        shutil.rmtree(self.root)

    def run_tool(self, *extra):
        return subprocess.run([sys.executable, TOOL, self.payload, self.medium, *extra],
                              capture_output=True, text=True)

    def test_medium_holds_wizard_and_archive_with_every_folder(self):
        # Incompressible: the archive spans three chunks.
        write(os.path.join(self.payload, "Navod", "Video.bin"), os.urandom(2_500_000))
        r = self.run_tool("--setup", self.wizard)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(self.medium)), ["SetupVantor.exe", "Vaninst.pak"])
        # The medium's copy carries the length and the digest of each MiB of
        # the archive beside it; the wizard given stays as it was.
        with open(os.path.join(self.medium, "Vaninst.pak"), "rb") as f:
            archive = f.read()
        chunks = [archive[i:i + (1 << 20)] for i in range(0, len(archive), 1 << 20)]
        self.assertEqual(len(chunks), 3)
        stamp = (len(archive).to_bytes(8, "little") + (1 << 20).to_bytes(4, "little") +
                 (3).to_bytes(4, "little") + b"".join(hashlib.sha256(c).digest() for c in chunks))
        with open(os.path.join(self.medium, "SetupVantor.exe"), "rb") as f:
            self.assertEqual(f.read(), b"MZ wizard " + MARKER + stamp + BLANK[len(stamp):] +
                             b" rest")
        with open(self.wizard, "rb") as f:
            self.assertEqual(f.read(), b"MZ wizard " + MARKER + BLANK + b" rest")

        with zipfile.ZipFile(os.path.join(self.medium, "Vaninst.pak")) as z:
            self.assertIsNone(z.testzip())
            infos = z.infolist()
            names = [i.filename for i in infos]
            folders = {i.filename for i in infos if i.filename.endswith("/")}
            self.assertEqual(folders, {
                "Navod/", "Navod/Prazdna/", "Priklady/", "Priklady/Obchod/", "Utility/",
                "Utility/Bde/", "Vzory/", "Vzory/Faktury/", "Vzory/Účetnictví/"})
            for i in infos:
                if i.filename.endswith("/"):
                    self.assertTrue(i.external_attr & 0x10, i.filename)
                    self.assertEqual(i.file_size, 0)
                # Every folder entry comes before anything inside it.
                parts = i.filename.rstrip("/").split("/")
                for depth in range(1, len(parts)):
                    parent = "/".join(parts[:depth]) + "/"
                    self.assertLess(names.index(parent), names.index(i.filename), i.filename)
            self.assertEqual(z.read("Vzory/Účetnictví/Pokladní doklad.vzr"), b"cash")
            self.assertEqual(z.read("Priklady/Obchod/Firma.vpr"), b"x" * 5000)
            self.assertEqual(z.read("Utility/Bde/Setup.exe"), b"MZ bde")
            accented = z.getinfo("Vzory/Účetnictví/Pokladní doklad.vzr")
            self.assertTrue(accented.flag_bits & 0x800, "non-ASCII names must be marked UTF-8")

        if shutil.which("unzip"):
            out = os.path.join(self.root, "unpacked")
            u = subprocess.run(["unzip", "-q", os.path.join(self.medium, "Vaninst.pak"), "-d", out],
                               capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
            self.assertEqual(u.returncode, 0, u.stderr)
            self.assertTrue(os.path.isdir(os.path.join(out, "Navod", "Prazdna")))
            with open(os.path.join(out, "Vzory", "Účetnictví", "Pokladní doklad.vzr"), "rb") as f:
                self.assertEqual(f.read(), b"cash")

    def test_refuses_payload_without_engine_setup(self):
        os.remove(os.path.join(self.payload, "Utility", "Bde", "Setup.exe"))
        r = self.run_tool("--setup", self.wizard)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Utility\\Bde\\Setup.exe", r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.medium, "Vaninst.pak")))
        self.assertFalse(os.path.exists(os.path.join(self.medium, "SetupVantor.exe")))

    def test_refuses_missing_payload_and_missing_wizard(self):
        r = subprocess.run([sys.executable, TOOL, os.path.join(self.root, "none"), self.medium],
                           capture_output=True, text=True)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("does not exist", r.stderr)
        r = self.run_tool("--setup", os.path.join(self.root, "missing.exe"))
        self.assertNotEqual(r.returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(self.medium, "Vaninst.pak")))

    def test_refuses_a_wizard_it_cannot_stamp(self):
        for what, data in (("no place for the digest", b"MZ wizard"),
                           ("too little room after the marker", b"MZ " + MARKER + bytes(32)),
                           ("two places", b"MZ " + (MARKER + BLANK) * 2)):
            with self.subTest(what):
                write(self.wizard, data)
                r = self.run_tool("--setup", self.wizard)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn("no single place for the archive's digest", r.stderr)
                self.assertFalse(os.path.exists(self.medium))

    def test_engine_setup_found_in_any_letter_case(self):
        # The wizard looks the program up on Windows, where case does not matter.
        os.rename(os.path.join(self.payload, "Utility"), os.path.join(self.payload, "UTILITY"))
        os.rename(os.path.join(self.payload, "UTILITY", "Bde", "Setup.exe"),
                  os.path.join(self.payload, "UTILITY", "Bde", "SETUP.EXE"))
        r = self.run_tool("--setup", self.wizard)
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_rebuild_replaces_the_archive(self):
        self.assertEqual(self.run_tool("--setup", self.wizard).returncode, 0)
        os.remove(os.path.join(self.payload, "Vzory", "Faktury", "Faktura.vzr"))
        self.assertEqual(self.run_tool("--setup", self.wizard).returncode, 0)
        with zipfile.ZipFile(os.path.join(self.medium, "Vaninst.pak")) as z:
            self.assertNotIn("Vzory/Faktury/Faktura.vzr", z.namelist())
            self.assertIn("Vzory/Faktury/", z.namelist())

    def test_warns_about_missing_shortcut_targets(self):
        os.remove(os.path.join(self.payload, "VantorPro.hlp"))
        r = self.run_tool("--setup", self.wizard)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("VantorPro.hlp", r.stderr)


if __name__ == "__main__":
    unittest.main()
