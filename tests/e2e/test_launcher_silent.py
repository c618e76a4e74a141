"""The launcher run silently under Wine around test payloads: result codes and run-log lines for
the setup program's exit codes, a damaged payload, the files it unpacks, the console log."""
import pathlib
import re
import shutil
import unittest

import harness

WORK = harness.BUILD / "e2e-launcher" / "silent"
PREFIX_RE = re.compile(rb"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ: ")

# Members other than go.bat, in the order of the payload's list file: a name with a folder and
# a blank, and a name long enough to need a long-name record.
LONG_NAME = "deep/" + "n" * 60 + "/" + "m" * 70 + ".dat"
EXTRA_MEMBERS = {
    "docs/read me.txt": b"Plain text for people.\r\n" * 40,
    LONG_NAME: bytes(range(256)) * 9 + b"tail",
    "empty.txt": b"",
}


def read_run_log():
    """The one run log of the last run, as its texts with the time prefix checked and removed."""
    logs = harness.run_logs()
    if len(logs) != 1:
        raise AssertionError(f"expected one run log, found {[p.name for p in logs]}")
    raw = logs[0].read_bytes()
    if not re.fullmatch(r"Zorvan Fix Log_\d{14}\.txt", logs[0].name):
        raise AssertionError(f"run log name {logs[0].name!r}")
    if raw and not raw.endswith(b"\r\n"):
        raise AssertionError(f"run log does not end in CR LF: {raw[-40:]!r}")
    lines = []
    for line in raw.split(b"\r\n")[:-1]:
        if not PREFIX_RE.match(line):
            raise AssertionError(f"run-log line without its UTC prefix: {line!r}")
        lines.append(line[22:].decode("ascii"))
    return lines


def make_payload(folder, go_bat, members=EXTRA_MEMBERS):
    """A payload folder with go.bat first, then the given members, and its list file."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    (folder / "go.bat").write_bytes(go_bat)
    for name, data in members.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(data)
    (folder / "payload.members").write_text("\n".join(["go.bat", *members]) + "\n")
    return folder


def successful_walk(names):
    return (["Begining extraction.", "Extracting files:", *names, "Verifying files:", *names,
             "Running something."])


class SetupProgramExitCodes(unittest.TestCase):
    """One launcher per exit code of go.bat; the result code and the value line follow it."""

    CASES = [  # go.bat's exit code, the launcher's result code
        (0, 0), (1, 1038), (99, 1038), (100, 100), (142, 142), (143, 1038),
    ]

    @classmethod
    def setUpClass(cls):
        harness.start()
        cls.launchers = {}
        for exit_code, _ in cls.CASES:
            folder = make_payload(WORK / f"exit{exit_code}", b"@exit %d\r\n" % exit_code)
            cls.launchers[exit_code] = harness.build_launcher(
                folder, WORK / f"launcher-exit{exit_code}.exe")

    def test_result_code_and_run_log(self):
        names = ["go.bat", *EXTRA_MEMBERS]
        for exit_code, result in self.CASES:
            with self.subTest(go_bat_exit=exit_code):
                harness.clear_launcher_traces()
                code, _ = harness.run_exit_code(self.launchers[exit_code], "/quiet")
                self.assertEqual(code, result)
                value_line = ([] if exit_code == 0 else
                              [f"Setup program failed with code 0x{exit_code:08x}."])
                self.assertEqual(read_run_log(), successful_walk(names) + value_line +
                                 ["Cleaning up.", f"Finishing with code 0x{result:08x}."])

    def test_unpacked_files_stay_in_the_work_directory(self):
        harness.clear_launcher_traces()
        code, _ = harness.run_exit_code(self.launchers[0], "anything at all")
        self.assertEqual(code, 0)
        work = harness.temp_dir() / harness.WORK_DIR
        for name, data in {"go.bat": b"@exit 0\r\n", **EXTRA_MEMBERS}.items():
            with self.subTest(member=name):
                self.assertEqual((work / name).read_bytes(), data)

    def test_earlier_work_directory_is_replaced(self):
        harness.clear_launcher_traces()
        work = harness.temp_dir() / harness.WORK_DIR
        (work / "old" / "older").mkdir(parents=True, exist_ok=True)
        (work / "old" / "older" / "left.txt").write_bytes(b"from an earlier run")
        (work / "go.bat").write_bytes(b"@exit 7\r\n")
        code, _ = harness.run_exit_code(self.launchers[100], "/s")
        self.assertEqual(code, 100)
        self.assertFalse((work / "old").exists())
        self.assertEqual((work / "go.bat").read_bytes(), b"@exit 100\r\n")


class DamagedPayload(unittest.TestCase):
    """A changed byte anywhere in the embedded archive: checksum failure, nothing unpacked."""

    @classmethod
    def setUpClass(cls):
        harness.start()
        folder = make_payload(WORK / "damaged", b"@exit 0\r\n")
        out = WORK / "damaged-out"
        cls.good = harness.build_launcher(folder, WORK / "launcher-damaged.exe", payload_out=out)
        cls.archive = (out / "payload.tar.gz").read_bytes()

    def damaged_copy(self, offset):
        image = bytearray(self.good.read_bytes())
        start = image.find(self.archive)
        self.assertGreater(start, 0, "the archive is not embedded as it was packed")
        self.assertEqual(image.find(self.archive, start + 1), -1)
        image[start + offset] ^= 0x01
        path = WORK / f"launcher-damaged-{offset}.exe"
        path.write_bytes(bytes(image))
        return path

    def test_checksum_failure(self):
        length = len(self.archive)
        for where, offset in [("gzip magic", 0), ("gzip flags", 3), ("deflate data", length // 2),
                              ("trailer length", length - 1)]:
            with self.subTest(byte=where):
                harness.clear_launcher_traces()
                # A work directory from an earlier run must stay untouched.
                marker = harness.temp_dir() / harness.WORK_DIR / "earlier.txt"
                marker.parent.mkdir(parents=True)
                marker.write_bytes(b"earlier run")
                code, _ = harness.run_exit_code(self.damaged_copy(offset), "/s")
                self.assertEqual(code, 1014)
                self.assertEqual(read_run_log(), [
                    "Begining extraction.", "Checksum failed on resource.", "Cleaning up.",
                    "Finishing with code 0x000003f6."])
                self.assertEqual(marker.read_bytes(), b"earlier run")
                self.assertEqual(sorted(p.name for p in marker.parent.iterdir()), ["earlier.txt"])


class ConsoleLog(unittest.TestCase):
    """go.bat's redirection into "../Zorvan Fix Script Log.txt" lands in the temporary
    directory, beside the run log and outside the work directory."""

    def test_console_log_in_temporary_directory(self):
        harness.start()
        folder = make_payload(WORK / "console", b'cmd /c echo Console output of the repair.'
                              b' > "../Zorvan Fix Script Log.txt"\r\n', members={})
        launcher = harness.build_launcher(folder, WORK / "launcher-console.exe")
        harness.clear_launcher_traces()
        code, _ = harness.run_exit_code(launcher, "/s")
        self.assertEqual(code, 0)
        console = harness.temp_dir() / harness.CONSOLE_LOG
        self.assertEqual(console.read_bytes().strip(), b"Console output of the repair.")
        self.assertFalse((harness.temp_dir() / harness.WORK_DIR / harness.CONSOLE_LOG).exists())
        self.assertEqual(read_run_log()[-1], "Finishing with code 0x00000000.")


if __name__ == "__main__":
    unittest.main()
