"""Static checks of the repair program's executables: console programs of the right machine type
whose import tables name only KnownDLLs, the DLLs that the loader always takes from the system
directory. Mendrel.exe runs in a work directory that its user can write to; any other DLL it
imported statically could be planted there. winhttp.dll, msi.dll and the rest are loaded at run
time from the system directory instead."""
import re
import subprocess
import unittest

import harness

# KnownDLLs from Windows 7 on.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "imagehlp.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}

# (executable, objdump, file format, PE magic)
BINARIES = [
    (harness.DIST / "Mendrel.exe", "i686-w64-mingw32-objdump", "pei-i386", "010b"),
    (harness.BUILD / "dist64" / "Mendrel.exe", "x86_64-w64-mingw32-objdump", "pei-x86-64", "020b"),
]


def headers(exe, objdump):
    return subprocess.run([objdump, "-p", str(exe)], check=True, capture_output=True,
                          text=True).stdout


def imported_dlls(dump):
    """Every DLL named in the import and delay-import tables."""
    return {name.lower() for name in re.findall(r"^\s*DLL Name:\s*(\S+)", dump, re.M)}


class RepairBinaryTest(unittest.TestCase):
    def test_console_program_importing_known_dlls_only(self):
        for exe, objdump, file_format, magic in BINARIES:
            with self.subTest(exe=str(exe)):
                self.assertTrue(exe.is_file(), f"{exe} is missing: build it with make first")
                dump = headers(exe, objdump)
                self.assertIn(f"file format {file_format}", dump)
                self.assertRegex(dump, rf"Magic\s+{magic}\b")
                self.assertRegex(dump, r"Subsystem\s+00000003\b", "not a console program")
                dlls = imported_dlls(dump)
                self.assertIn("kernel32.dll", dlls, "import table not read")
                self.assertEqual(set(), dlls - KNOWN_DLLS, "imports outside the KnownDLLs")


if __name__ == "__main__":
    unittest.main()
