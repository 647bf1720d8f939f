#!/usr/bin/env python3
"""The release program as a vendor ships it, checked natively: two builds of
the same sources give the same bytes, it imports no DLL that Windows would
look for beside it, and tools/sign.sh signs it so that osslsigncode verifies
the signature.

Run by ctest with SV_SOURCE_DIR, SV_SETUP_EXE, SV_OBJDUMP and, for the
rebuild, SV_TOOLCHAIN, SV_BUILD_TYPE, SV_GENERATOR, SV_DEPS_PREFIX set; the
test class to run is the argument (as unittest takes it)."""

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


def run(*command, env=None, cwd=None):
    return subprocess.run(command, capture_output=True, text=True, env=env, cwd=cwd)


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
    def test_imports_only_known_dlls_and_is_lean(self):
        dump = run(os.environ["SV_OBJDUMP"], "-p", PROGRAM)
        self.assertEqual(dump.returncode, 0, dump.stderr)
        imports = [line.split(":", 1)[1].strip().lower()
                   for line in dump.stdout.splitlines() if line.strip().startswith("DLL Name:")]
        self.assertIn("kernel32.dll", imports)
        self.assertEqual([dll for dll in imports if dll not in KNOWN_DLLS], [])
        self.assertLess(os.path.getsize(PROGRAM), 2_000_000)


class Signing(unittest.TestCase):
    PASSWORD = "tajné heslo"

    @classmethod
    def setUpClass(cls):
        # A throwaway code-signing certificate of a made-up vendor.
        cls.dir = tempfile.mkdtemp(prefix="sv-sign-")
        cls.cert = os.path.join(cls.dir, "vendor.pem")
        cls.pfx = os.path.join(cls.dir, "vendor.pfx")
        key = os.path.join(cls.dir, "vendor.key")
        for command in (
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                 "-subj", "/CN=Vantor Test Vendor", "-addext", "extendedKeyUsage=codeSigning",
                 "-keyout", key, "-out", cls.cert],
                ["openssl", "pkcs12", "-export", "-inkey", key, "-in", cls.cert, "-out", cls.pfx,
                 "-passout", "pass:" + cls.PASSWORD]):
            made = run(*command)
            assert made.returncode == 0, made.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def setUp(self):
        self.work = tempfile.mkdtemp(dir=self.dir)
        self.program = os.path.join(self.work, "SetupVantor.exe")
        shutil.copyfile(PROGRAM, self.program)
        with open(PROGRAM, "rb") as f:
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
            self.assertEqual(os.listdir(self.work), ["SetupVantor.exe"])


if __name__ == "__main__":
    unittest.main()
