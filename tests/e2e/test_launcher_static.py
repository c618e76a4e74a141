"""The 32-bit deliverable dist/ZorvanFix.exe checked without running it: its signature, its
resources (payload, checksum, icons, manifest, version record) and its import table."""
import io
import os
import re
import subprocess
import tarfile
import unittest
import zlib

import harness

import pefile  # Debian's python3-pefile, installed by scripts/install-deps

EXE = harness.DIST / "ZorvanFix.exe"
UK_ENGLISH = 2057
SIGNING_CERT = harness.BUILD / "signing" / "test-signing.crt"
# DLLs that Windows always takes from the system directory, whatever lies beside the program.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll",
              "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
              "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll",
              "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll"}
VISTA = "{e2011457-1546-43c5-a5fe-008deee3d3f0}"
WINDOWS_7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"


def verify(path):
    args = ["osslsigncode", "verify", "-in", str(path)]
    if not os.environ.get("ZF_SIGN_PFX"):
        args[2:2] = ["-CAfile", str(SIGNING_CERT)]
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)


class Signature(unittest.TestCase):
    def test_signature_verifies_and_breaks_with_one_changed_byte(self):
        proc = verify(EXE)
        self.assertEqual(proc.returncode, 0, proc.stdout.decode("utf-8", "replace"))
        self.assertIn(b"Succeeded", proc.stdout)

        image = bytearray(EXE.read_bytes())
        archive = (harness.DIST / "payload.tar.gz").read_bytes()
        image[image.find(archive) + len(archive) // 2] ^= 0x01
        tampered = harness.artifact("ZorvanFix-tampered.exe")
        tampered.write_bytes(bytes(image))
        self.assertNotEqual(verify(tampered).returncode, 0)


class Resources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(EXE))
        cls.entries = {}  # (type, id) -> {language: bytes}
        for rtype in cls.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            tname = str(rtype.name) if rtype.name is not None else rtype.id
            for res in rtype.directory.entries:
                for lang in res.directory.entries:
                    data = cls.pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                    cls.entries.setdefault((tname, res.id), {})[lang.id] = data

    def resource(self, rtype, rid):
        langs = self.entries.get((rtype, rid))
        self.assertIsNotNone(langs, f"no resource {rtype} {rid}")
        self.assertEqual(list(langs), [UK_ENGLISH], f"languages of {rtype} {rid}")
        return langs[UK_ENGLISH]

    def test_32_bit_gui_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_payload_and_checksum(self):
        archive = self.resource("FILE", 104)
        checksum = self.resource("FILE", 105)
        self.assertEqual(archive, (harness.DIST / "payload.tar.gz").read_bytes())
        self.assertEqual(checksum, (harness.DIST / "payload.crc").read_bytes())
        self.assertEqual(checksum, zlib.crc32(archive).to_bytes(4, "little"))
        self.assertEqual(archive[:4], b"\x1f\x8b\x08\x08")  # gzip with a stored file name
        with tarfile.open(fileobj=io.BytesIO(archive), mode="r:gz") as tar:
            self.assertEqual(tar.getnames(), ["Mendrel.exe", "go.bat", "Readme.txt"])
            self.assertEqual(tar.extractfile("go.bat").read(),
                             (harness.ROOT / "payload" / "go.bat").read_bytes())
            self.assertEqual(tar.extractfile("Readme.txt").read(),
                             (harness.ROOT / "payload" / "Readme.txt").read_bytes())

    def test_group_icons(self):
        rt_icon, rt_group = pefile.RESOURCE_TYPE["RT_ICON"], pefile.RESOURCE_TYPE["RT_GROUP_ICON"]
        for group, sizes in [(106, {16, 24, 32, 48, 64, 256}), (107, {16, 24, 32})]:
            with self.subTest(group=group):
                data = self.resource(rt_group, group)
                reserved, kind, count = int.from_bytes(data[0:2], "little"), \
                    int.from_bytes(data[2:4], "little"), int.from_bytes(data[4:6], "little")
                self.assertEqual((reserved, kind, len(data)), (0, 1, 6 + 14 * count))
                seen = set()
                for i in range(count):
                    entry = data[6 + 14 * i: 20 + 14 * i]
                    width = entry[0] or 256
                    size = int.from_bytes(entry[8:12], "little")
                    icon = self.resource(rt_icon, int.from_bytes(entry[12:14], "little"))
                    self.assertEqual(len(icon), size)
                    # Each image is a PNG (the 256-pixel one) or a bitmap of that width.
                    if icon[:8] == b"\x89PNG\r\n\x1a\n":
                        self.assertEqual(int.from_bytes(icon[16:20], "big"), width)
                    else:
                        self.assertEqual(int.from_bytes(icon[4:8], "little"), width)
                    seen.add(width)
                self.assertEqual(seen, sizes)

    def test_manifest(self):
        manifest = self.resource(pefile.RESOURCE_TYPE["RT_MANIFEST"], 1).decode("utf-8")
        self.assertRegex(manifest, r'<requestedExecutionLevel\s+level="requireAdministrator"\s+'
                                   r'uiAccess="false"\s*/>')
        for os_id in (VISTA, WINDOWS_7):
            self.assertIn(f'<supportedOS Id="{os_id}"/>', manifest)

    def test_version_record(self):
        strings = {}
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.assertEqual(strings.get("CompanyName"), "Zorvan")
        self.assertEqual(strings.get("FileDescription"), "Zorvan Orvalis Extractor")
        self.assertRegex(strings.get("ProductVersion", ""), r"^\d+\.\d+\.\d+\.\d+$")


class Imports(unittest.TestCase):
    def test_only_known_dlls_are_imported(self):
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(EXE)], check=True,
                              stdout=subprocess.PIPE, timeout=60).stdout.decode("ascii", "replace")
        dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertIn("kernel32.dll", dlls)
        self.assertEqual(dlls - KNOWN_DLLS, set())


if __name__ == "__main__":
    unittest.main()
