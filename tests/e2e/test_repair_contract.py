"""The repair seam's contract suite against the Win32 backend, under Wine: the same cases that
run on the host against the in-memory endpoint (tests/contract), plus the backend's own checks,
among them HTTP against a loopback server started here."""
import base64
import http.server
import threading
import unittest

import harness

PROGRAM = harness.TOOLS / "repair_contract_tests.exe"
# Basic credentials the "/private/" answers accept; the client may send the password's "é" in
# UTF-8 or in the ANSI code page.
ACCEPTED = {"Basic " + base64.b64encode("admin:s\u00e9cret".encode(codec)).decode()
            for codec in ("utf-8", "latin-1")}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def do_GET(self):
        if self.path == "/zavxp/tulov-ek.ide":
            self.answer(200, "OK", b"ZORV-probe")
        elif self.path.startswith("/private/"):
            if self.headers.get("Authorization") in ACCEPTED:
                self.answer(200, "OK", b"granted")
            else:
                self.answer(401, "Unauthorized", b"denied",
                            {"WWW-Authenticate": 'Basic realm="cid"'})
        else:
            self.answer(404, "Not Found", b"")

    def answer(self, status, text, body, headers=None):
        self.send_response(status, text)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class RepairContractTest(unittest.TestCase):
    def setUp(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()

    def test_win32_backend_keeps_the_seam_contract(self):
        self.assertTrue(PROGRAM.is_file(), f"{PROGRAM} is missing: build the windows presets")
        address = f"http://127.0.0.1:{self.server.server_address[1]}"
        proc = harness.wine(PROGRAM, "--gtest_brief=1", timeout=300,
                            env={"ZF_CONTRACT_HTTP": address})
        out = proc.stdout.decode("utf-8", "replace")
        harness.artifact("repair_contract_tests.txt").write_text(out)
        self.assertEqual(0, proc.returncode, out)
        self.assertIn("[  PASSED  ]", out)
        self.assertNotIn("Win32Http", out.split("[  PASSED  ]", 1)[1], "HTTP cases skipped")


if __name__ == "__main__":
    unittest.main()
