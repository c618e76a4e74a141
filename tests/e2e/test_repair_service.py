"""The repair program and the real anti-virus service under Wine: slow stops and starts, a stop
that is refused, a start that fails, and the service started again after a failed repair step."""
import os
import unittest

import testbed
from testbed import RepairTestCase

FULL_CYCLE = ["stop-requested", "stop-pending", "stopped", "start-pending", "running"]


class ServiceControl(RepairTestCase):
    def test_slow_service_is_waited_for_and_files_change_only_while_it_is_down(self):
        testbed.set_service(stop_delay_ms=6000, start_delay_ms=3000)
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 0, run)
        self.assertLinesInOrder(run, ["Stopping ZAV service", "Write IDE that fixes the issue",
                                      "Starting ZAV service", "Triggering update of product"])
        self.assertEqual(testbed.service_events(), FULL_CYCLE)
        self.assertEqual(testbed.service_state(), "RUNNING")
        # The fixing file was written after the service had stopped and before it was started.
        stopped, = testbed.service_record_times("stopped")
        start, = testbed.service_record_times("start-pending")
        written = os.stat(testbed.zav_file(testbed.GOOD_IDE)).st_mtime
        self.assertLess(stopped, written + 0.5)
        self.assertLess(written, start + 0.5)
        self.assertFalse(testbed.unix(testbed.QUARANTINE_FILE).exists())
        # The update comes after the service runs again.
        self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 accepted"])

    def test_stopped_service_is_not_stopped_but_started(self):
        testbed._tool("sc", "stop", testbed.SERVICE)
        testbed.wait_service("STOPPED")
        testbed.clear_records()
        run = self.run_repair("/clearQuarantine:true")
        self.assertEqual(run.code, 0, run)
        self.assertEqual(testbed.service_events(), ["start-pending", "running"])
        self.assertEqual(testbed.service_state(), "RUNNING")

    def test_refused_stop_ends_the_run_before_any_change(self):
        testbed.set_service(refuse_stop=1)
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 1, run)
        self.assertLinesInOrder(run, ["Stopping ZAV service",
                                      "Failed to stop service with error: 1052",
                                      "Failed to stop ZAV service"])
        self.assertNoLine(run, "Deleting Quarantine.xml file", "Write IDE that fixes the issue",
                          "Triggering update of product")
        self.assertUntouched()

    def test_failed_start_ends_the_run_without_update(self):
        testbed.set_service(exit_at_start=3)
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 1, run)
        self.assertLinesInOrder(run, ["Write IDE that fixes the issue", "Starting ZAV service",
                                      "Failed to start service with error: 1053",
                                      "Failed to start ZAV service"])
        self.assertNoLine(run, "Triggering update of product")
        self.assertEqual(testbed.update_calls(), [])
        self.assertEqual(testbed.service_events(), ["stop-requested", "stop-pending", "stopped", "exit-at-start"])

    def test_service_started_again_after_a_failed_repair_step(self):
        # A folder in the fixing file's place: the write after the stop fails.
        blocker = testbed.zav_file(testbed.GOOD_IDE)
        blocker.mkdir()
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 1, run)
        self.assertLinesInOrder(run, [
            "Stopping ZAV service", "Write IDE that fixes the issue",
            "Failed to write the IDE that fixes the issue to " + testbed.ZAV_FOLDER + "\\" + testbed.GOOD_IDE,
            "Script encountered an error, details:", "Starting ZAV service",
            "Triggering update of product"])
        self.assertEqual(testbed.service_events(), FULL_CYCLE)
        self.assertEqual(testbed.service_state(), "RUNNING")
        self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 accepted"])
        self.assertTrue(blocker.is_dir())


if __name__ == "__main__":
    unittest.main()
