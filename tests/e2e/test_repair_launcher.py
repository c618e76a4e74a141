"""The product's launcher (harness.product("ZorvanFix.exe")) run silently on the testbed: its
go.bat runs the carried repair program with the fixed options, the console log lands in the
temporary directory, and the repair's result becomes the launcher's result code."""
import unittest

import harness
import testbed
from testbed import RepairTestCase


class LauncherOnTheTestbed(RepairTestCase):
    def setUp(self):
        super().setUp()
        self.server = testbed.serve_folder_cid()
        self.addCleanup(self.server.stop)
        testbed.write_config(self.server.url)

    def run_launcher(self):
        launcher = harness.product("ZorvanFix.exe")
        self.assertTrue(launcher.is_file(), f"the launcher is not built: {launcher}")
        harness.clear_launcher_traces()
        code, _ = harness.run_exit_code(launcher, "/s", cwd=self.work)
        console = harness.temp_dir() / harness.CONSOLE_LOG
        self.assertTrue(console.is_file(), "no console log in the temporary directory")
        raw = console.read_bytes()
        (harness.artifact("repair") / (self.id() + ".console.txt")).write_bytes(raw)
        run = testbed.RepairRun(code, raw, None)
        run_log = harness.run_logs()
        self.assertEqual(len(run_log), 1)
        return run, run_log[0].read_bytes()

    def test_silent_run_repairs_the_endpoint(self):
        run, run_log = self.run_launcher()
        self.assertEqual(run.code, 0, run)
        self.assertLinesInOrder(run, [
            "Version 6.1", "Fix issues enabled.",
            "No CID specified as a command line argument, using the detected CID location: " + self.server.url,
            "Stopping ZAV service", "Deleting Quarantine.xml file", "Write IDE that fixes the issue",
            "Starting ZAV service", "Triggering update of product"])
        self.assertTrue(run_log.endswith(b"Finishing with code 0x00000000.\r\n"), run_log[-200:])
        # The repair program ran from the work directory and really repaired.
        self.assertTrue((harness.temp_dir() / harness.WORK_DIR / "Mendrel.exe").is_file())
        self.assertEqual(testbed.zav_file(testbed.GOOD_IDE).read_bytes(), testbed.GOOD_IDE_SOURCE.read_bytes())
        self.assertFalse(testbed.unix(testbed.QUARANTINE_FILE).exists())
        self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 accepted"])
        self.assertEqual(testbed.service_state(), "RUNNING")
        self.assertIn(testbed.Request("GET", "/cid/zavxp/tulov-ek.ide", None, 200), self.server.requests)

    def test_failed_repair_gives_the_setup_program_failure(self):
        testbed.set_update_client(0x80042F05, "Update in progress", "errorinfo")
        run, run_log = self.run_launcher()
        # go.bat ends with the repair's 1, which the launcher reports as 1038.
        self.assertEqual(run.code, 1038, run)
        self.assertLinesInOrder(run, ["Triggering update of product", "Script encountered an error, details:",
                                      "Number = 0x80042F05", "Description = Update in progress"])
        self.assertTrue(run_log.endswith(b"Finishing with code 0x0000040e.\r\n"), run_log[-200:])
        self.assertEqual(testbed.service_state(), "RUNNING")


if __name__ == "__main__":
    unittest.main()
