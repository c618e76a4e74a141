"""The launcher with its progress window under Wine and Xvfb: the bar moves through both passes,
a close request during the extraction cancels the run and the failure box names the refused
read's code, a successful run ends with its box, and a second instance is refused."""
import random
import re
import shutil
import subprocess
import time
import unittest

import harness
from test_launcher_silent import make_payload, read_run_log

WORK = harness.BUILD / "e2e-launcher" / "window"
FAILURE_TEXT = "Could not resolve the issue.\n\nPlease contact Technical Support. Error code: "
# The line written for each read that a cancel request can refuse during the extraction pass.
CANCELLED_READS = {1019: "Extraction failure.", 1020: "Failed to read long filename.",
                   1021: "Missing file after long filename.", 1023: "Extraction failure."}


def bulky_members(count, size, seed):
    """Incompressible members, so that the passes take long enough to watch and to interrupt."""
    rng = random.Random(seed)
    return {f"bulk/part{i:03d}.bin": rng.randbytes(size) for i in range(count)}


def tool(name):
    return harness.TOOLS / f"{name}.exe"


def read_box(caption, timeout_ms=60000):
    """Waits for the message box with that caption, dismisses it; returns (has icon, text)."""
    proc = harness.wine(tool("box_reader"), caption, timeout_ms, timeout=timeout_ms / 1000 + 60)
    out = proc.stdout.decode("utf-8", "replace")
    if proc.returncode != 0 or "text=" not in out:
        raise AssertionError(f"no box {caption!r}: {out!r}")
    head, text = out.split("text=", 1)
    return "icon=1" in head, text[:-1] if text.endswith("\n") else text


def watch_bar(close_at=None, closes=1):
    """Runs the window probe; returns the bar positions it saw and whether it closed."""
    args = [tool("window_probe"), "ZorvanExtractor"]
    if close_at is not None:
        args += [close_at, closes]
    out = harness.wine(*args, timeout=180).stdout.decode("ascii", "replace")
    if not out.startswith("window"):
        raise AssertionError(f"the progress window did not appear: {out!r}")
    positions = [int(m) for m in re.findall(r"^pos=(\d+)", out, re.M)]
    return positions, "closed" in out


def screenshot(name):
    """Saves the progress window as seen on the X display; returns the file."""
    display = {"DISPLAY": harness.wine_env()["DISPLAY"]}
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                          "^Zorvan Orvalis Extractor$"], env=display, stdout=subprocess.PIPE,
                         timeout=30).stdout.split()
    if not ids:
        raise AssertionError("the progress window is not on the display")
    out = harness.artifact(name)
    subprocess.run(["import", "-window", ids[0], str(out)], env=display, check=True, timeout=60)
    return out


class WindowedRun(unittest.TestCase):
    """A started launcher; tearDown makes sure that nothing of it is left waiting."""

    def start_launcher(self, exe, *args):
        proc = harness.wine_popen(tool("waiter"), harness.to_windows_path(exe), *args)
        self.addCleanup(self.stop, proc, exe.name)
        return proc

    def exit_code(self, proc, timeout=120):
        out, _ = proc.communicate(timeout=timeout)
        match = re.search(rb"exit=(\d+)", out)
        self.assertIsNotNone(match, out)
        return int(match.group(1))

    def stop(self, proc, image):
        if proc.poll() is None:
            harness.wine("taskkill", "/f", "/im", image, timeout=60)
            try:
                proc.communicate(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()


class ProgressAndSuccess(WindowedRun):
    def test_bar_moves_through_both_passes_and_success_box(self):
        harness.start()
        folder = make_payload(WORK / "moving", b"@exit 0\r\n", bulky_members(120, 64 * 1024, 1))
        exe = harness.build_launcher(folder, WORK / "launcher-moving.exe")
        harness.clear_launcher_traces()

        proc = self.start_launcher(exe)
        positions, _ = watch_bar()
        has_icon, text = read_box("Zorvan")

        self.assertEqual(text, "Halvern script completed.")
        self.assertFalse(has_icon)
        self.assertEqual(self.exit_code(proc), 0)
        self.assertEqual(positions, sorted(positions), "the bar went backwards")
        self.assertTrue(any(0 < p < 500 for p in positions), positions)
        self.assertTrue(any(500 <= p < 1000 for p in positions), positions)
        self.assertLess(max(positions), 1000)
        self.assertEqual(read_run_log()[-1], "Finishing with code 0x00000000.")


class CloseRequest(WindowedRun):
    def test_close_during_extraction_cancels_with_the_refused_reads_code(self):
        harness.start()
        folder = make_payload(WORK / "cancel", b"@exit 0\r\n",
                              bulky_members(48, 512 * 1024, 2))
        exe = harness.build_launcher(folder, WORK / "launcher-cancel.exe")
        harness.clear_launcher_traces()

        proc = self.start_launcher(exe)
        # Three close requests act as one; the window stays on screen behind the failure box.
        positions, closed = watch_bar(close_at=1, closes=3)
        self.assertTrue(closed, positions)
        time.sleep(1)
        shot = screenshot("launcher-window-cancelled.png")
        has_icon, text = read_box("Zorvan")
        code = self.exit_code(proc)

        self.assertIn(code, CANCELLED_READS)
        self.assertEqual(text, FAILURE_TEXT + str(code))
        self.assertTrue(has_icon)
        self.assertTrue(all(p < 500 for p in positions), positions)
        lines = read_run_log()
        self.assertNotIn("Verifying files:", lines)
        self.assertEqual(lines.count("Operation cancelled by user."), 1)
        self.assertEqual(lines[-4:], ["Operation cancelled by user.", CANCELLED_READS[code],
                                      "Cleaning up.", f"Finishing with code 0x{code:08x}."])
        size = subprocess.run(["identify", "-format", "%w %h", str(shot)],
                              stdout=subprocess.PIPE, check=True).stdout.split()
        self.assertEqual([int(v) for v in size], [640, 100])


class PlantedDll(WindowedRun):
    """A comctl32.dll beside the launcher (a downloads folder) is never loaded. Wine prefers its
    own copy of that DLL, so the run tells it to prefer a native one, as Windows would prefer one
    found in the program's folder; a careless load beside it shows that the planted DLL is
    taken then."""

    def test_dll_beside_the_launcher_is_not_loaded(self):
        harness.start()
        folder = make_payload(WORK / "planted", b"@exit 0\r\n", members={})
        downloads = harness.drive_c() / "users" / "Public" / "Downloads" / "zorvan-planted"
        shutil.rmtree(downloads, ignore_errors=True)
        downloads.mkdir(parents=True)
        exe = harness.build_launcher(folder, downloads / "launcher-planted.exe")
        shutil.copy2(harness.TOOLS / "planted" / "comctl32.dll", downloads)
        shutil.copy2(tool("dll_loader"), downloads)
        marker = harness.temp_dir() / "planted-dll-loaded.txt"
        prefer_native = {"WINEDLLOVERRIDES": harness.wine_env()["WINEDLLOVERRIDES"] +
                         ";comctl32=n,b"}

        marker.unlink(missing_ok=True)
        control = harness.wine(downloads / "dll_loader.exe", "comctl32.dll", env=prefer_native)
        self.assertIn(b"loaded=1", control.stdout)
        self.assertTrue(marker.exists(), "the planted DLL is not taken even by a careless load")

        marker.unlink()
        harness.clear_launcher_traces()
        proc = harness.wine_popen(tool("waiter"), harness.to_windows_path(exe), env=prefer_native)
        self.addCleanup(self.stop, proc, exe.name)
        positions, _ = watch_bar()
        has_icon, text = read_box("Zorvan")
        self.assertEqual(text, "Halvern script completed.")
        self.assertEqual(self.exit_code(proc), 0)
        self.assertTrue(positions, "the progress bar was not created")
        self.assertFalse(marker.exists(), "the launcher loaded the DLL planted beside it")


class SecondInstance(WindowedRun):
    def test_second_instance_is_refused_while_the_first_runs(self):
        harness.start()
        folder = make_payload(WORK / "single", b"@exit 0\r\n", members={})
        exe = harness.build_launcher(folder, WORK / "launcher-single.exe")
        harness.clear_launcher_traces()

        # The first instance holds the mutex until its success box is dismissed.
        first = self.start_launcher(exe)
        deadline = time.time() + 60
        while not harness.run_logs() and time.time() < deadline:
            time.sleep(0.1)
        logs_before = harness.run_logs()
        self.assertEqual(len(logs_before), 1)
        time.sleep(1)  # a second run log would get a name of its own

        code, _ = harness.run_exit_code(exe, "/s")
        self.assertEqual(code, 1041)
        second = self.start_launcher(exe)
        has_icon, text = read_box("Zorvan Orvalis Extractor")
        self.assertEqual(text,
                         "This application is already running.\n\nPlease wait for it to complete.")
        self.assertTrue(has_icon)
        self.assertEqual(self.exit_code(second), 1041)
        self.assertEqual(harness.run_logs(), logs_before)

        has_icon, text = read_box("Zorvan")
        self.assertEqual(text, "Halvern script completed.")
        self.assertEqual(self.exit_code(first), 0)


if __name__ == "__main__":
    unittest.main()
