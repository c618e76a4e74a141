"""Update-source discovery and reachability under Wine: the connection configuration files read
from the auto-update product's data folder, and the probe of a real web update location on
loopback (reachable, answering 401 or 404, absent)."""
import unittest

import testbed
from testbed import RepairTestCase

PROBE = "/cid/zavxp/tulov-ek.ide"
DETECTED = "No CID specified as a command line argument, using the detected CID location: "


class ConfiguredLocation(RepairTestCase):
    def test_configuration_files(self):
        cases = [
            # telbo.cfg address, AllowLocalConfig, telbolocal.cfg address, detected location
            (testbed.FOLDER_CID, "0", r"\\local\override", testbed.FOLDER_CID),
            (testbed.FOLDER_CID, "1", r"\\local\override", r"\\local\override"),
            (r"C:\ZorvanUpdate\Café", "0", None, r"C:\ZorvanUpdate\Café"),  # single-byte text
        ]
        for address, allow, local, detected in cases:
            with self.subTest(address=address, allow=allow, local=local):
                testbed.write_config(address, allow, local)
                run = self.run_repair()
                self.assertEqual(run.code, 0, run)
                self.assertIn(DETECTED + detected, run.lines)

    def test_lines_ended_by_lf_alone_give_no_location(self):
        testbed.write_config(main_text=testbed.config_text(testbed.FOLDER_CID, "1").replace("\r\n", "\n"))
        run = self.run_repair()
        self.assertEqual(run.code, 0, run)
        self.assertIn("Missing value AllowLocalConfig in telbo.cfg", run.lines)
        self.assertFalse([line for line in run.lines if line.startswith(DETECTED)], run)

    def test_halvern_without_any_location_ends_before_any_change(self):
        cases = [
            (None, "Option halvern is used but /cid is not specified and no default location can be found"),
            (r"C:\nowhere\cid", r"CID passed at command line is inaccessible, argument value is: C:\nowhere\cid"),
        ]
        for address, message in cases:
            with self.subTest(address=address):
                testbed.write_config(address)
                run = self.run_repair("/halvern:true")
                self.assertEqual(run.code, 1, run)
                self.assertLinesInOrder(run, ["Fix issues enabled.", message,
                                              "Specify /Help to display command line options"])
                self.assertNoLine(run, "Stopping ZAV service")
                self.assertUntouched()


class WebLocation(RepairTestCase):
    def setUp(self):
        super().setUp()
        self.server = testbed.serve_folder_cid()
        self.addCleanup(self.server.stop)

    def test_reachable_web_location(self):
        run = self.run_repair("/halvern:true", "/cid:" + self.server.url, "/username:tester",
                              "/password:Secret1")
        self.assertEqual(run.code, 0, run)
        self.assertIn(f"Overriding default CID {testbed.FOLDER_CID} with CID {self.server.url}", run.lines)
        self.assertNoLine(run, f"Configured CID '{self.server.url}' is not accessible")
        self.assertNotIn("Secret1", run.text)
        # One probe of the fixing file, without credentials whatever the options say.
        self.assertEqual(self.server.requests, [testbed.Request("GET", PROBE, None, 200)])

    def test_unreachable_web_location_is_only_reported(self):
        cases = [
            ("401", lambda: self.server.require_auth("tester", "Secret1"), "401 : Unauthorized"),
            ("404", lambda: self.server.answer(PROBE, 404), "404 : Not Found"),
        ]
        for name, damage, status in cases:
            with self.subTest(answer=name):
                testbed.reset()
                self.server.reset()
                damage()
                testbed.write_config(self.server.url)
                run = self.run_repair("/halvern:true", "/username:tester", "/password:Secret1")
                self.assertLinesInOrder(run, [
                    DETECTED + self.server.url,
                    "Write IDE that fixes the issue",
                    f"Could not access {self.server.url}, error {status}",
                    f"Configured CID '{self.server.url}' is not accessible",
                    "Starting ZAV service", "Triggering update of product"])
                # Only a message: the repair goes on and succeeds.
                self.assertEqual(run.code, 0, run)
                self.assertEqual([(r.path, r.user) for r in self.server.requests], [(PROBE, None)])
                self.assertTrue(testbed.zav_file(testbed.GOOD_IDE).exists())

    def test_web_location_without_a_server(self):
        address = self.server.url
        self.server.stop()
        testbed.write_config(address)
        run = self.run_repair("/halvern:true")
        self.assertEqual(run.code, 0, run)
        failure = [line for line in run.lines if line.startswith(f"Could not access {address}, error 0x")]
        self.assertEqual(len(failure), 1, run)
        self.assertIn(f"Configured CID '{address}' is not accessible", run.lines)


if __name__ == "__main__":
    unittest.main()
