"""The update trigger under Wine: the repair program calls the real in-process COM server of
"Ambrixon.ClientUpdate" (UpdateNow(0, 1)); its failures arrive through EXCEPINFO or the thread's
IErrorInfo, and a missing registration through CLSIDFromProgID."""
import unittest

import testbed
from testbed import RepairTestCase

BUSY = 0x80042F05
BUSY_TEXT = "Ambrixon: an update is already running (testbed)"


class UpdateTrigger(RepairTestCase):
    def test_update_accepted(self):
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 0, run)
        self.assertLinesInOrder(run, ["Starting ZAV service", "Triggering update of product"])
        self.assertNoLine(run, "Script encountered an error, details:")
        # Both arguments in the caller's order: UpdateNow(0, 1).
        self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 accepted"])

    def test_busy_update_is_a_warning_and_a_later_run_succeeds(self):
        for mode in ("excepinfo", "errorinfo"):
            with self.subTest(mode=mode):
                testbed.reset()
                testbed.set_update_client(BUSY, BUSY_TEXT, mode)
                run = self.run_repair("/halvern:true")
                self.assertEqual(run.code, 1, run)
                self.assertLinesInOrder(run, ["Triggering update of product",
                                              "Script encountered an error, details:",
                                              "Number = 0x80042F05",
                                              "Description = " + BUSY_TEXT])
                self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 failed 0x80042F05"])
                self.assertEqual(testbed.service_state(), "RUNNING")

                # Once the running update has ended the same repair succeeds.
                testbed.set_update_client(None)
                again = self.run_repair("/halvern:true")
                self.assertEqual(again.code, 0, again)
                self.assertNoLine(again, "Write IDE that fixes the issue")
                self.assertEqual(testbed.update_calls()[-1], "UpdateNow 0 1 accepted")

    def test_option_order_decides_the_trigger(self):
        cases = [
            (["/updateNow:false", "/halvern:true"], True),
            (["/halvern:true", "/updateNow:false"], False),
        ]
        for args, triggered in cases:
            with self.subTest(args=args):
                testbed.reset()
                run = self.run_repair(*args)
                self.assertEqual(run.code, 0, run)
                self.assertEqual("Triggering update of product" in run.lines, triggered, run)
                self.assertEqual(testbed.update_calls(), ["UpdateNow 0 1 accepted"] if triggered else [])

    def test_unregistered_client(self):
        testbed.unregister_update_client()
        self.addCleanup(testbed.register_update_client)
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 1, run)
        self.assertLinesInOrder(run, ["Triggering update of product",
                                      "Script encountered an error, details:",
                                      "Number = 0x800401F3"])
        self.assertEqual(testbed.update_calls(), [])


if __name__ == "__main__":
    unittest.main()
