"""The stand-in Zorvan product suite in the session's Wine prefix, and the scenario helpers of the
repair program's end-to-end tests.

`prepare()` installs the suite once per prefix (the three installer packages, the service, the
update client's COM server, the product's registry values) and is cheap when the prefix already
holds this build of the testbed. `reset()` brings the endpoint back to its healthy state before
each scenario: the service running with no switches set, the product's registry values, the
detection-data files ("qirm-ost.ide" present, "tulov-ek.ide" and "prad-wen.ide" absent), the
quarantine list, the connection configuration (a folder update location) and empty records.

What the testbed is made of: testbed/README.md. The programs come from the Windows build of the
bitness that Wine runs here (harness.WINDOWS_BUILD / "testbed", or ZF_TESTBED_DIR).
"""
import hashlib
import os
import pathlib
import re
import shutil
import sys
import time
import unittest

import harness

sys.path.insert(0, str(harness.ROOT / "testbed"))
from update_server import Request, UpdateServer  # noqa: E402,F401  (for the tests)

BUILD_DIR = pathlib.Path(os.environ.get("ZF_TESTBED_DIR", harness.WINDOWS_BUILD / "testbed"))
PACKAGES = BUILD_DIR / "packages"
GOOD_IDE_SOURCE = harness.ROOT / "payload" / "repair" / "data" / "tulov-ek.ide"

# -- The suite's names and places (Windows paths) ---------------------------------------------
ZORVAN_FOLDER = r"C:\Program Files (x86)\Zorvan"
ZAV_FOLDER = ZORVAN_FOLDER + r"\Zorvan Anti-Virus"
ZAU_FOLDER = ZORVAN_FOLDER + r"\AutoUpdate"
RMS_FOLDER = ZORVAN_FOLDER + r"\Remote Management System"
ZAV_LOG_DIR = r"C:\ProgramData\Zorvan\Zorvan Anti-Virus\Logs"
QUARANTINE_FOLDER = r"C:\ProgramData\Zorvan\Zorvan Anti-Virus\Config"
QUARANTINE_FILE = QUARANTINE_FOLDER + r"\Quarantine.xml"
ZAU_DATA_PATH = r"C:\ProgramData\Zorvan\AutoUpdate"
ZAU_CONFIG_FOLDER = ZAU_DATA_PATH + r"\config"
FOLDER_CID = r"C:\ZorvanUpdate\CIDs\S000\ZAVZCFXP"  # the folder update location
RECORDS_FOLDER = r"C:\ProgramData\ZorvanTestbed"

SERVICE = "ZAVService"
ZAV_NAME, ZAV_VERSION = "Zorvan Anti-Virus", "10.0.8"
RMS_NAME = "Zorvan Remote Management System"
ZAU_NAME, ZAU_VERSION = "Zorvan AutoUpdate", "5.1.12"
PRODUCT_CODES = {
    ZAV_NAME: "{3455BA48-DA59-4BAB-A844-B4796C4E7427}",
    RMS_NAME: "{BD9FEC90-19F4-4EFA-8BCA-D4C9F17ABBB2}",
    ZAU_NAME: "{11DA360A-467C-462A-90D1-B6FF75C9F034}",
}
CLIENT_DLL = ZAU_FOLDER + r"\AmbrixonClientUpdate.dll"

PROBLEM_IDE, GOOD_IDE, NEWER_IDE = "qirm-ost.ide", "tulov-ek.ide", "prad-wen.ide"

ZAV_KEY = r"HKLM\SOFTWARE\Zorvan\ZAVService\Application"
ZAU_KEY = r"HKLM\SOFTWARE\Zorvan\AutoUpdate"
# The product's values, all strings in the 32-bit view (Wow6432Node on this 64-bit prefix).
PRODUCT_VALUES = [
    (ZAV_KEY, "Path", ZAV_FOLDER),
    (ZAV_KEY, "LogDir", ZAV_LOG_DIR),
    (ZAU_KEY, "ProductVersion", ZAU_VERSION),
    (ZAU_KEY, "Data Path", ZAU_DATA_PATH),
    (ZAU_KEY, "Installation Path", ZAU_FOLDER + "\\"),
]
SWITCHES_KEY = r"HKLM\SOFTWARE\ZorvanTestbed"

# Bumped whenever prepare() lays the prefix out differently, so old prefixes are redone.
_LAYOUT = "testbed layout 1"

PROBLEM_IDE_BYTES = b"ZORV\x01\x00qirm-ost testbed detection data\r\n"
NEWER_IDE_BYTES = b"ZORV\x02\x00prad-wen testbed detection data\r\n"
QUARANTINE_XML = (
    '<?xml version="1.0" encoding="utf-8"?>\r\n'
    "<Quarantine>\r\n"
    '  <Item Id="1" Detection="Vyx/Generic" Path="C:\\Program Files (x86)\\Zorvan\\AutoUpdate\\Brastel.exe" />\r\n'
    "</Quarantine>\r\n").encode("utf-8")


# -- Paths ------------------------------------------------------------------------------------
def unix(windows_path):
    """The Unix path of a C:\\ path inside the prefix."""
    if not re.match(r"^[cC]:\\", windows_path):
        raise ValueError(f"not a C: path: {windows_path}")
    rel = windows_path[3:].replace("\\", "/")
    return harness.drive_c() / rel if rel else harness.drive_c()


def zav_file(name):
    return unix(ZAV_FOLDER + "\\" + name)


def work_dir(name):
    """An empty folder in the prefix (C:\\zorvan_work\\<name>) to run the repair program in."""
    folder = harness.drive_c() / "zorvan_work" / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


# -- Running Windows tools --------------------------------------------------------------------
def _tool(*args, timeout=120, check=True):
    proc = harness.wine(*args, timeout=timeout)
    if check and proc.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, args))} failed with {proc.returncode}: "
                             f"{proc.stdout[-400:]!r} {proc.stderr[-400:]!r}")
    return proc


def reg_add(key, name, data, kind="REG_SZ", view=32):
    _tool("reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f", f"/reg:{view}")


def reg_delete(key, name=None, view=32):
    """Deletes one value (or the whole key); nothing to delete is no error."""
    args = ["reg", "delete", key] + (["/v", name] if name else []) + ["/f", f"/reg:{view}"]
    _tool(*args, check=False)


# -- The anti-virus service -------------------------------------------------------------------
_STATE = re.compile(r"STATE\s*:\s*\d+\s+(\w+)")


def service_state():
    """"RUNNING", "STOPPED", "START_PENDING", "STOP_PENDING", ... or None without a service."""
    proc = _tool("sc", "query", SERVICE, check=False)
    match = _STATE.search(proc.stdout.decode("utf-8", "replace"))
    return match.group(1) if match else None


def wait_service(state, timeout=30):
    deadline = time.monotonic() + timeout
    current = service_state()
    while current != state and time.monotonic() < deadline:
        time.sleep(0.2)
        current = service_state()
    if current != state:
        raise AssertionError(f"{SERVICE} is {current}, not {state}, after {timeout} s")


def set_service(start_delay_ms=None, stop_delay_ms=None, fail_start=None, exit_at_start=None,
                refuse_stop=None):
    """The service's switches (see testbed/service/zav_service.c); None leaves one as it is."""
    for name, value in (("StartDelayMs", start_delay_ms), ("StopDelayMs", stop_delay_ms),
                        ("FailStart", fail_start), ("ExitAtStart", exit_at_start),
                        ("RefuseStop", refuse_stop)):
        if value is not None:
            reg_add(SWITCHES_KEY + r"\ZAVService", name, int(value), "REG_DWORD", view=64)


def ensure_service_running():
    state = service_state()
    if state in ("START_PENDING", "STOP_PENDING"):
        deadline = time.monotonic() + 30
        while state in ("START_PENDING", "STOP_PENDING") and time.monotonic() < deadline:
            time.sleep(0.2)
            state = service_state()
    if state == "STOPPED":
        _tool("sc", "start", SERVICE)
    wait_service("RUNNING")


def service_events():
    """The service's recorded state changes in order, e.g. ["stop-requested", "stop-pending", ...]."""
    return [event for _, event in _records("ZAVService")]


def service_record_times(event):
    """The local times (seconds since the epoch) at which the service recorded `event`."""
    return [stamp for stamp, e in _records("ZAVService") if e == event]


# -- The update client ------------------------------------------------------------------------
def set_update_client(fail_hresult=None, description="", mode="excepinfo"):
    """Makes UpdateNow fail with `fail_hresult` and `description` (mode "excepinfo" or
    "errorinfo"), or succeed when `fail_hresult` is None."""
    key = SWITCHES_KEY + r"\ClientUpdate"
    if fail_hresult is None:
        reg_delete(key, view=64)
        return
    reg_add(key, "FailHResult", int(fail_hresult), "REG_DWORD", view=64)
    reg_add(key, "FailDescription", description, view=64)
    reg_add(key, "FailMode", mode, view=64)


_client_unregistered = False


def unregister_update_client():
    """Takes the COM registration away until register_update_client() or the next reset()."""
    global _client_unregistered
    _client_unregistered = True
    _tool("regsvr32", "/u", "/s", CLIENT_DLL)


def register_update_client():
    global _client_unregistered
    _tool("regsvr32", "/s", CLIENT_DLL)
    _client_unregistered = False


def update_calls():
    """The recorded UpdateNow calls, e.g. ["UpdateNow 0 1 accepted"]."""
    return [event for _, event in _records("ClientUpdate")]


def quillon_starts():
    return [event for _, event in _records("Quillon")]


def _records(component):
    path = unix(RECORDS_FOLDER + "\\" + component + ".log")
    if not path.exists():
        return []
    rows = []
    for line in path.read_text(encoding="utf-8").splitlines():
        stamp, _, event = line.partition(" ")
        seconds = time.mktime(time.strptime(stamp[:19], "%Y-%m-%dT%H:%M:%S")) + int(stamp[20:23]) / 1000
        rows.append((seconds, event))
    return rows


def clear_records():
    for component in ("ZAVService", "ClientUpdate", "Quillon"):
        unix(RECORDS_FOLDER + "\\" + component + ".log").unlink(missing_ok=True)


# -- Connection configuration -----------------------------------------------------------------
def config_text(address, allow_local="0", extra_lines=()):
    """A connection configuration file's text: the primary section with the two keys, then a
    second section whose address must never be taken."""
    lines = ["[PPI.Settings]", "Product=Zorvan AutoUpdate", "",
             "[PPI.WebConfig_Primary]", f"ConnectionAddress={address}"]
    if allow_local is not None:
        lines.append(f"AllowLocalConfig={allow_local}")
    lines += list(extra_lines)
    lines += ["", "[PPI.WebConfig_Secondary]", "ConnectionAddress=\\\\decoy\\never\\used",
              "AllowLocalConfig=1", ""]
    return "\r\n".join(lines)


def write_config(address=None, allow_local="0", local_address=None, main_text=None):
    """Writes "telbo.cfg" (and "telbolocal.cfg" when `local_address` is given) in the auto-update
    product's configuration folder as single-byte text with CR LF lines. `address` None removes
    "telbo.cfg"; `main_text` replaces its whole text."""
    folder = unix(ZAU_CONFIG_FOLDER)
    folder.mkdir(parents=True, exist_ok=True)
    main, local = folder / "telbo.cfg", folder / "telbolocal.cfg"
    if main_text is not None:
        main.write_bytes(main_text.encode("cp1252"))
    elif address is None:
        main.unlink(missing_ok=True)
    else:
        main.write_bytes(config_text(address, allow_local).encode("cp1252"))
    if local_address is None:
        local.unlink(missing_ok=True)
    else:
        local.write_bytes(config_text(local_address, None).encode("cp1252"))


# -- Preparing the prefix ---------------------------------------------------------------------
_prepared = False


def _artifacts():
    names = ["ZAVService.exe", "Quillon.exe", "AmbrixonClientUpdate.dll"]
    files = [BUILD_DIR / n for n in names] + [PACKAGES / (n + ".msi") for n in PRODUCT_CODES]
    missing = [str(f) for f in files if not f.is_file()]
    if missing:
        raise AssertionError("the testbed is not built (make dist64 builds it): " + ", ".join(missing))
    return files


def _stamp(files):
    digest = hashlib.sha256(_LAYOUT.encode())
    for f in files + [GOOD_IDE_SOURCE]:
        digest.update(f.name.encode() + b"\0" + f.read_bytes())
    return digest.hexdigest()


def prepare():
    """Installs the testbed into the session's prefix (once per prefix and build) and resets it."""
    global _prepared
    if _prepared:
        return
    harness.start()
    files = _artifacts()
    stamp = _stamp(files)
    stamp_file = harness.drive_c() / "ProgramData" / "ZorvanTestbed.prepared"
    if not stamp_file.exists() or stamp_file.read_text() != stamp:
        _install()
        stamp_file.write_text(stamp)
    _prepared = True
    reset()


def _install():
    # Take away an earlier testbed (another build) first.
    if service_state() is not None:
        _tool("sc", "stop", SERVICE, check=False)
        deadline = time.monotonic() + 30
        while service_state() not in ("STOPPED", None) and time.monotonic() < deadline:
            time.sleep(0.2)
        _tool("sc", "delete", SERVICE, check=False)
    if unix(CLIENT_DLL).exists():
        _tool("regsvr32", "/u", "/s", CLIENT_DLL, check=False)
    for code in PRODUCT_CODES.values():
        _tool("msiexec", "/x", code, "/qn", check=False, timeout=300)

    for name in PRODUCT_CODES:
        package = harness.to_windows_path(PACKAGES / (name + ".msi"))
        _tool("msiexec", "/i", package, "/qn", timeout=300)
    _tool("regsvr32", "/s", CLIENT_DLL)
    _tool("sc", "create", SERVICE, "binPath=", ZAV_FOLDER + r"\ZAVService.exe",
          "DisplayName=", "Zorvan Anti-Virus Service")
    for key, name, value in PRODUCT_VALUES:
        reg_add(key, name, value)
    for folder in (ZAV_LOG_DIR, QUARANTINE_FOLDER, ZAU_CONFIG_FOLDER, RECORDS_FOLDER):
        unix(folder).mkdir(parents=True, exist_ok=True)
    # The folder update location holds the product folders; the web update location serves the
    # same tree (serve_folder_cid()).
    cid = unix(FOLDER_CID)
    for product_folder in ("zavxp", "rms", "zau"):
        (cid / product_folder).mkdir(parents=True, exist_ok=True)
    shutil.copyfile(GOOD_IDE_SOURCE, cid / "zavxp" / GOOD_IDE)


def reset():
    """The healthy endpoint: see the module's description."""
    reg_delete(SWITCHES_KEY, view=64)
    ensure_service_running()
    restore_product_values()
    set_detection_data(problem=True, good=False, newer=False)
    quarantine = unix(QUARANTINE_FILE)
    quarantine.parent.mkdir(parents=True, exist_ok=True)
    if quarantine.is_dir():
        shutil.rmtree(quarantine)
    elif quarantine.exists():
        quarantine.chmod(0o644)  # Wine keeps the read-only attribute in the mode bits
    quarantine.write_bytes(QUARANTINE_XML)
    write_config(FOLDER_CID)
    if _client_unregistered:
        register_update_client()
    clear_records()


_changed_values = set()


def remove_product_value(key, name):
    """Deletes one of the product's registry values until the next reset()."""
    reg_delete(key, name)
    _changed_values.add((key, name))


def set_product_value(key, name, value):
    """Gives one of the product's registry values another text until the next reset()."""
    reg_add(key, name, value)
    _changed_values.add((key, name))


def make_read_only(windows_path):
    _tool("cmd", "/c", "attrib", "+r", windows_path)


def restore_product_values():
    if not _changed_values and _values_present():
        return
    for key, name, value in PRODUCT_VALUES:
        reg_add(key, name, value)
    _changed_values.clear()


def _values_present():
    # One read of the 32-bit view's keys tells whether an earlier session left them changed.
    for key in (ZAV_KEY, ZAU_KEY):
        proc = _tool("reg", "query", key, "/reg:32", check=False)
        text = proc.stdout.decode("utf-8", "replace")
        for k, name, value in PRODUCT_VALUES:
            if k == key and not re.search(r"^\s*" + re.escape(name) + r"\s+REG_SZ\s+" +
                                          re.escape(value) + r"\s*$", text, re.M):
                return False
    return True


def set_detection_data(problem, good, newer):
    """Puts each detection-data file in place (True), or takes it away (False); a file in place
    gets the testbed's content (the fixing file: the bytes the repair program carries)."""
    for name, wanted, content in ((PROBLEM_IDE, problem, PROBLEM_IDE_BYTES),
                                  (GOOD_IDE, good, None), (NEWER_IDE, newer, NEWER_IDE_BYTES)):
        path = zav_file(name)
        if path.is_dir():
            shutil.rmtree(path)
        if wanted:
            path.write_bytes(GOOD_IDE_SOURCE.read_bytes() if content is None else content)
        else:
            path.unlink(missing_ok=True)


def serve_folder_cid(prefix="/cid"):
    """A started web update location serving the folder update location's tree."""
    return UpdateServer(unix(FOLDER_CID), prefix=prefix).start()


# -- Running the repair program ---------------------------------------------------------------
class RepairRun:
    """One run of the repair program: exit code and console lines (UTF-8, CR LF)."""

    def __init__(self, code, raw, proc):
        self.code = code
        self.raw = raw          # the program's console bytes, the waiter's line removed
        self.text = raw.decode("utf-8")
        self.lines = self.text.split("\r\n")
        if self.lines and self.lines[-1] == "":
            self.lines.pop()
        self.proc = proc

    def __repr__(self):
        return f"<exit {self.code}>\n" + "\n".join(self.lines)


def run_repair(*args, cwd, timeout=400):
    """Runs the repair program (harness.product("Mendrel.exe")) in `cwd` with standard output
    to a pipe."""
    program = harness.product("Mendrel.exe")
    if not program.is_file():
        raise AssertionError(f"the repair program is not built: {program}")
    code, proc = harness.run_exit_code(program, *args, cwd=cwd, timeout=timeout)
    raw = proc.stdout
    waiter = raw.rfind(b"exit=")
    return RepairRun(code, raw[:waiter] if waiter >= 0 else raw, proc)


def computer_name():
    """%COMPUTERNAME% as the programs in the prefix see it."""
    proc = _tool("cmd", "/c", "echo", "%COMPUTERNAME%")
    return proc.stdout.decode("utf-8", "replace").strip()


class RepairTestCase(unittest.TestCase):
    """A scenario on the healthy testbed endpoint: the prefix is prepared once per session and
    reset before every test."""

    @classmethod
    def setUpClass(cls):
        prepare()

    def setUp(self):
        reset()
        self.work = work_dir(self.id().rsplit(".", 2)[-1])

    def run_repair(self, *args, **kwargs):
        run = run_repair(*args, cwd=kwargs.pop("cwd", self.work), **kwargs)
        # The console log is the first thing to read when a scenario fails.
        log = harness.artifact("repair") / (self.id() + ".txt")
        log.parent.mkdir(parents=True, exist_ok=True)
        log.write_bytes(run.raw)
        return run

    def assertLinesInOrder(self, run, expected):
        """Every expected line appears, in this order (other lines may come between)."""
        position = 0
        for line in expected:
            try:
                position = run.lines.index(line, position) + 1
            except ValueError:
                self.fail(f"missing line {line!r} (after line {position}) in:\n{run!r}")

    def assertNoLine(self, run, *lines):
        for line in lines:
            self.assertNotIn(line, run.lines, f"{run!r}")

    def assertUntouched(self):
        """Nothing on the endpoint was changed: the service kept running, the quarantine list and
        the detection data are as reset() left them, no update was asked for."""
        self.assertEqual(service_events(), [])
        self.assertEqual(service_state(), "RUNNING")
        self.assertEqual(unix(QUARANTINE_FILE).read_bytes(), QUARANTINE_XML)
        self.assertFalse(zav_file(GOOD_IDE).exists())
        self.assertEqual(update_calls(), [])
