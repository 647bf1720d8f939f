#!/usr/bin/env python3
"""The release program as a vendor ships it, checked natively: two builds of
the same sources give the same bytes, it imports no DLL that Windows would
look for beside it, tools/sign.sh signs the medium's stamped copy so that
osslsigncode verifies the signature (and refuses a copy without the stamp),
and make sign's steps give a medium whose signed wizard carries the signed
uninstaller.

Run by ctest with SV_SOURCE_DIR, SV_SETUP_EXE, SV_OBJDUMP and, for the
rebuild, SV_TOOLCHAIN, SV_BUILD_TYPE, SV_GENERATOR, SV_DEPS_PREFIX set; the
test class to run is the argument (as unittest takes it)."""

import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

SOURCE = os.environ.get("SV_SOURCE_DIR", "")
PROGRAM = os.environ.get("SV_SETUP_EXE", "")

# KnownDLLs of every Windows from 7 to 11 (HKLM\SYSTEM\CurrentControlSet\
# Control\Session Manager\KnownDLLs): always loaded from the system folder.
# Any other import must be delay-loaded (app/CMakeLists.txt).
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}


# The medium's stamp in the wizard (install/MediumStamp.h), and the id of the
# uninstaller it carries (install/Uninstaller.h).
STAMP_MARKER = b"SetupVantor:Vaninst.pak:SHA-256:"
IDR_UNINSTALLER = 301


def run(*command, env=None, cwd=None):
    return subprocess.run(command, capture_output=True, text=True, env=env, cwd=cwd)


def make_certificate(folder, password):
    """A throwaway code-signing certificate of a made-up vendor: (pem, pfx)."""
    cert = os.path.join(folder, "vendor.pem")
    pfx = os.path.join(folder, "vendor.pfx")
    key = os.path.join(folder, "vendor.key")
    for command in (
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", "/CN=Vantor Test Vendor", "-addext", "extendedKeyUsage=codeSigning",
             "-keyout", key, "-out", cert],
            ["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
             "-passout", "pass:" + password]):
        made = run(*command)
        assert made.returncode == 0, made.stderr
    return cert, pfx


def make_payload(folder):
    """The least payload the medium builder takes."""
    for name, data in (("VantorPro.exe", b"MZ app"), ("VantorPro.hlp", b"help"),
                       (os.path.join("Utility", "Bde", "Setup.exe"), b"MZ bde")):
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return folder


def lay_out(program, payload, medium):
    made = run("python3", os.path.join(SOURCE, "tools", "make-medium"), payload, medium,
               "--setup", program)
    assert made.returncode == 0, made.stderr
    return os.path.join(medium, "SetupVantor.exe")


def rcdata(data, ident):
    """The bytes of a PE program's RCDATA resource of that id."""
    u16 = lambda at: int.from_bytes(data[at:at + 2], "little")
    u32 = lambda at: int.from_bytes(data[at:at + 4], "little")
    pe = u32(0x3C)
    optional = pe + 24
    directories = optional + (112 if u16(optional) == 0x20B else 96)
    sections = [(u32(at + 12), max(u32(at + 8), u32(at + 16)), u32(at + 20))
                for at in range(optional + u16(pe + 20), optional + u16(pe + 20) + 40 * u16(pe + 6),
                                40)]

    def offset(rva):
        return next(raw + rva - va for va, size, raw in sections if va <= rva < va + size)

    root = offset(u32(directories + 2 * 8))

    def child(directory, key):
        for i in range(u16(directory + 12) + u16(directory + 14)):
            entry = directory + 16 + 8 * i
            if key is None or u32(entry) == key:
                return root + (u32(entry + 4) & 0x7FFFFFFF)
        raise KeyError(key)

    leaf = child(child(child(root, 10), ident), None)
    return data[offset(u32(leaf)):offset(u32(leaf)) + u32(leaf + 4)]


def source_files(root):
    """The files of the work tree as git sees them (tracked and new), without
    any build folder inside it."""
    listed = run("git", "-C", root, "ls-files", "-z", "-co", "--exclude-standard")
    if listed.returncode != 0:
        raise RuntimeError(listed.stderr)
    builds = {d for d in os.listdir(root) if os.path.isfile(os.path.join(root, d, "CMakeCache.txt"))}
    for name in listed.stdout.split("\0"):
        if name and name.split("/")[0] not in builds and os.path.isfile(os.path.join(root, name)):
            yield name


class ReproducibleBuild(unittest.TestCase):
    def test_two_builds_in_other_folders_give_the_same_program(self):
        scratch = tempfile.mkdtemp(prefix="sv-rebuild-")
        self.addCleanup(shutil.rmtree, scratch, True)
        # Source and build folders of different names and depths, so that a
        # path or a link time in the program shows as a difference.
        places = [(os.path.join(scratch, "a", "src"), os.path.join(scratch, "a", "out")),
                  (os.path.join(scratch, "second", "sources"), os.path.join(scratch, "b"))]
        files = list(source_files(SOURCE))
        programs = []
        for source, build in places:
            for name in files:
                os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
                shutil.copy2(os.path.join(SOURCE, name), os.path.join(source, name))
            configure = run("cmake", "-S", source, "-B", build, "-G", os.environ["SV_GENERATOR"],
                            "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source, os.environ["SV_TOOLCHAIN"]),
                            "-DCMAKE_BUILD_TYPE=" + os.environ["SV_BUILD_TYPE"],
                            "-DSV_DEPS_PREFIX=" + os.environ["SV_DEPS_PREFIX"])
            self.assertEqual(configure.returncode, 0, configure.stdout + configure.stderr)
            built = run("cmake", "--build", build, "--target", "SetupVantor", "-j", "2")
            self.assertEqual(built.returncode, 0, built.stdout[-4000:] + built.stderr[-4000:])
            with open(os.path.join(build, "app", "SetupVantor.exe"), "rb") as f:
                programs.append(f.read())
        for data in programs:
            self.assertNotIn(scratch.encode(), data)
            self.assertNotIn(scratch.encode("utf-16-le"), data)
        self.assertEqual(len(programs[0]), len(programs[1]))
        self.assertTrue(programs[0] == programs[1], "the two builds differ")


class ReleaseProgram(unittest.TestCase):
    def imports(self, program):
        dump = run(os.environ["SV_OBJDUMP"], "-p", program)
        self.assertEqual(dump.returncode, 0, dump.stderr)
        return [line.split(":", 1)[1].strip().lower()
                for line in dump.stdout.splitlines() if line.strip().startswith("DLL Name:")]

    def test_imports_only_known_dlls_and_is_lean(self):
        # The uninstaller's elevated copy runs from a temporary folder: it
        # too imports nothing Windows would look for beside it.
        for program in (PROGRAM, os.environ["SV_UNINSTALL_EXE"]):
            with self.subTest(program=os.path.basename(program)):
                imports = self.imports(program)
                self.assertIn("kernel32.dll", imports)
                self.assertEqual([dll for dll in imports if dll not in KNOWN_DLLS], [])
                # A CD's wizard: its code, the pictures, the uninstaller it
                # carries and the medium's chunk stamp, with room to spare.
                self.assertLess(os.path.getsize(program), 2_500_000)


class Signing(unittest.TestCase):
    PASSWORD = "tajné heslo"

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="sv-sign-")
        cls.cert, cls.pfx = make_certificate(cls.dir, cls.PASSWORD)
        cls.payload = make_payload(os.path.join(cls.dir, "payload"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def setUp(self):
        # What is signed is the medium's copy, stamped with its archive.
        self.work = tempfile.mkdtemp(dir=self.dir)
        self.program = lay_out(PROGRAM, self.payload, self.work)
        with open(self.program, "rb") as f:
            self.unsigned = f.read()

    def sign(self, **variables):
        env = {k: v for k, v in os.environ.items() if not k.startswith("SIGN_")}
        env.update(variables)
        return run(os.path.join(SOURCE, "tools", "sign.sh"), self.program, env=env)

    def verify(self):
        return run("osslsigncode", "verify", "-CAfile", self.cert, "-in", self.program)

    def test_signs_in_place_and_signs_again_with_one_signature(self):
        for _ in range(2):
            signed = self.sign(SIGN_PFX=self.pfx, SIGN_PASSWORD=self.PASSWORD)
            self.assertEqual(signed.returncode, 0, signed.stderr)
            verified = self.verify()
            self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
            self.assertIn("Signature verification: ok", verified.stdout)
            self.assertIn("Number of verified signatures: 1", verified.stdout)
            self.assertIn("Subject: /CN=Vantor Test Vendor", verified.stdout)
        self.assertNotIn(self.PASSWORD, signed.stdout + signed.stderr)
        # Signing added the signature and changed nothing else.
        stripped = os.path.join(self.work, "stripped.exe")
        self.assertEqual(run("osslsigncode", "remove-signature", "-in", self.program,
                             "-out", stripped).returncode, 0)
        with open(stripped, "rb") as f:
            self.assertEqual(f.read(), self.unsigned)

    def test_without_a_usable_certificate_the_program_stays_unsigned(self):
        for variables in ({}, {"SIGN_PFX": os.path.join(self.dir, "missing.pfx")},
                          {"SIGN_PFX": self.pfx, "SIGN_PASSWORD": "wrong"}):
            result = self.sign(**variables)
            self.assertNotEqual(result.returncode, 0, variables)
            self.assertIn("sign:", result.stderr)
            with open(self.program, "rb") as f:
                self.assertEqual(f.read(), self.unsigned, variables)
            self.assertEqual(sorted(os.listdir(self.work)), ["SetupVantor.exe", "Vaninst.pak"])

    def test_a_wizard_without_its_mediums_digest_is_not_signed(self):
        # The build's own program accepts any archive: a signature on it
        # would vouch for whatever archive lies beside it.
        shutil.copyfile(PROGRAM, self.program)
        result = self.sign(SIGN_PFX=self.pfx, SIGN_PASSWORD=self.PASSWORD)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("carries no digest", result.stderr)
        with open(self.program, "rb") as f, open(PROGRAM, "rb") as built:
            self.assertEqual(f.read(), built.read())
        # Nor is a signed one stamped: its signature would break.
        self.program = lay_out(PROGRAM, self.payload, os.path.join(self.work, "again"))
        self.assertEqual(self.sign(SIGN_PFX=self.pfx, SIGN_PASSWORD=self.PASSWORD).returncode, 0)
        restamped = run("python3", os.path.join(SOURCE, "tools", "make-medium"), self.payload,
                        os.path.join(self.work, "third"), "--setup", self.program)
        self.assertNotEqual(restamped.returncode, 0)
        self.assertIn("signed already", restamped.stderr)


class SignedMedium(unittest.TestCase):
    """make sign's steps on a build of its own: the uninstaller taken out of
    the medium's signed wizard verifies as signed with the same certificate."""

    def test_the_signed_wizard_carries_the_signed_uninstaller_and_its_archive_digest(self):
        scratch = tempfile.mkdtemp(prefix="sv-signed-")
        self.addCleanup(shutil.rmtree, scratch, True)
        build = os.path.join(scratch, "build")
        configure = run("cmake", "-S", SOURCE, "-B", build, "-G", os.environ["SV_GENERATOR"],
                        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE, os.environ["SV_TOOLCHAIN"]),
                        "-DCMAKE_BUILD_TYPE=" + os.environ["SV_BUILD_TYPE"],
                        "-DSV_DEPS_PREFIX=" + os.environ["SV_DEPS_PREFIX"])
        self.assertEqual(configure.returncode, 0, configure.stdout + configure.stderr)
        built = run("cmake", "--build", build, "--target", "SetupVantor", "-j", "2")
        self.assertEqual(built.returncode, 0, built.stdout[-4000:] + built.stderr[-4000:])
        cert, pfx = make_certificate(scratch, "heslo")
        payload = make_payload(os.path.join(scratch, "payload"))
        medium = os.path.join(scratch, "medium")
        env = {k: v for k, v in os.environ.items() if not k.startswith("SIGN_")}
        env.update(SIGN_PFX=pfx, SIGN_PASSWORD="heslo")
        signed = run(os.path.join(SOURCE, "tools", "sign-medium.sh"), build, payload, medium,
                     env=env)
        self.assertEqual(signed.returncode, 0, signed.stdout + signed.stderr)

        wizard = os.path.join(medium, "SetupVantor.exe")
        uninstaller = os.path.join(scratch, "Odinstalovat.exe")
        with open(wizard, "rb") as f:
            data = f.read()
        with open(uninstaller, "wb") as f:
            f.write(rcdata(data, IDR_UNINSTALLER))
        for program in (wizard, uninstaller):
            verified = run("osslsigncode", "verify", "-CAfile", cert, "-in", program)
            self.assertEqual(verified.returncode, 0, program + verified.stdout + verified.stderr)
            self.assertIn("Signature verification: ok", verified.stdout)
            self.assertIn("Subject: /CN=Vantor Test Vendor", verified.stdout)
        with open(os.path.join(medium, "Vaninst.pak"), "rb") as f:
            archive = f.read()
        # The stamp: the length, then the digest of the first MiB among them.
        at = data.index(STAMP_MARKER) + len(STAMP_MARKER)
        self.assertEqual(int.from_bytes(data[at:at + 8], "little"), len(archive))
        self.assertEqual(data[at + 16:at + 48], hashlib.sha256(archive[:1 << 20]).digest())


if __name__ == "__main__":
    unittest.main()
