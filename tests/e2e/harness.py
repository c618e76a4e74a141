"""Shared harness for the end-to-end tests: one Wine prefix per test session, a persistent
wineserver, an Xvfb display, and a waiter program that reports a Windows exit code in full.

Bitness: the product is 32-bit. Where the host kernel cannot run 32-bit code (Wine's 32-bit
loader then fails with "Exec format error"), Wine runs only 64-bit programs; the tests then run
the x86_64 build of the same sources (build/dist64/, preset "windows64") and say so once. The
32-bit dist/ files are still checked without running them (imports, resources, signature).

Environment:
  ZF_E2E_ARCH     "32" or "64" to force the bitness of the programs run under Wine
  ZF_WINEPREFIX   the prefix to use (default: build/wine-prefix); created on first use
  ZF_KEEP_WINE    when set, leave wineserver and Xvfb running at the end
  ZF_DIST_DIR     the folder of the 32-bit deliverables checked statically (default: dist/)
  ZF_WINDOWS_BUILD, ZF_PRODUCT_DIR
                  a Windows build folder (test tools, testbed) and a product folder other
                  than the presets' (for a private build while developing)
"""
import atexit
import getpass
import os
import pathlib
import shutil
import subprocess
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
DIST = pathlib.Path(os.environ.get("ZF_DIST_DIR") or ROOT / "dist")


def _detect_arch():
    forced = os.environ.get("ZF_E2E_ARCH")
    if forced in ("32", "64"):
        return forced
    try:
        subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=True)
        return "32"
    except (OSError, subprocess.SubprocessError):
        return "64"


ARCH = _detect_arch()
WINE = "/usr/lib/wine/wine" if ARCH == "32" else "/usr/lib/wine/wine64"
WINDOWS_BUILD = pathlib.Path(os.environ.get("ZF_WINDOWS_BUILD") or
                             BUILD / ("windows" if ARCH == "32" else "windows64"))
PRODUCT_DIR = pathlib.Path(os.environ.get("ZF_PRODUCT_DIR") or
                           (DIST if ARCH == "32" else BUILD / "dist64"))
TOOLS = WINDOWS_BUILD / "e2e-tools"
ARTIFACTS = BUILD / "e2e-artifacts"
PREFIX = pathlib.Path(os.environ.get("ZF_WINEPREFIX", BUILD / "wine-prefix"))
DISPLAY_NUMBER = os.environ.get("ZF_DISPLAY", "97")

_started = False
_xvfb = None
_wineserver = None


def product(name):
    """The product program of that name in the bitness that this host's Wine can run."""
    return PRODUCT_DIR / name


def wine_env(extra=None):
    env = dict(os.environ)
    for k in ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
        env.pop(k, None)
    env.update({
        "WINEPREFIX": str(PREFIX),
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
        "WINEARCH": "win64",
        "WINELOADER": WINE,
        "DISPLAY": ":" + DISPLAY_NUMBER,
    })
    if extra:
        env.update(extra)
    return env


def _start_xvfb():
    global _xvfb
    lock = pathlib.Path(f"/tmp/.X{DISPLAY_NUMBER}-lock")
    if lock.exists():
        return  # a display of that number is already up (an earlier session's)
    _xvfb = subprocess.Popen(["Xvfb", ":" + DISPLAY_NUMBER, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if lock.exists():
            return
        time.sleep(0.05)


def start():
    """Prepare the display, the prefix and a persistent wineserver (once per process)."""
    global _started, _wineserver
    if _started:
        return
    _started = True
    if ARCH == "64":
        print("e2e: this host cannot run 32-bit code; running the x86_64 build of the programs",
              flush=True)
    _start_xvfb()
    PREFIX.parent.mkdir(parents=True, exist_ok=True)
    fresh = not (PREFIX / "system.reg").exists()
    if fresh:
        subprocess.run([WINE, "wineboot", "-i"], env=wine_env(), check=True, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # wineboot's own (not persistent) wineserver must be gone before the persistent one
        # starts: otherwise "wineserver -p" finds it running and quits, the old one ends a few
        # seconds later, and from then on every command brings up a fresh wineserver that takes
        # the services down with it when the command ends.
        subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=120,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _wineserver = subprocess.Popen(["wineserver", "-p"], env=wine_env(), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Bring the prefix's system processes (services.exe and the services it runs) up now, with
    # no pipes to inherit: started by a later command, they would keep that command's output
    # pipes open and its caller would wait forever for their end.
    subprocess.run([WINE, "wineboot"], env=wine_env(), timeout=300, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if fresh:
        # Without a window manager every hide or destroy stalls about 2 s unless Wine manages
        # nothing itself.
        reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
    if not os.environ.get("ZF_KEEP_WINE"):
        atexit.register(stop)


def stop():
    subprocess.run(["wineserver", "-k"], env=wine_env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if _xvfb is not None:
        _xvfb.terminate()


def wine(*args, timeout=120, cwd=None, env=None, check=False, input=None):
    """Run a program under Wine; returns the CompletedProcess (stdout/stderr as bytes)."""
    start()
    return subprocess.run([WINE, *map(str, args)], env=wine_env(env), cwd=cwd, timeout=timeout,
                          check=check, input=input, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=None if input is not None else subprocess.DEVNULL)


def run_exit_code(program, *args, timeout=300, cwd=None, env=None):
    """Run a Windows program under the waiter; returns (full exit code, CompletedProcess)."""
    program = to_windows_path(program) if isinstance(program, pathlib.Path) else program
    # Each argument stays its own argv entry: Wine quotes it into the Windows command line, and
    # the waiter hands the rest of its line on unchanged. (One pre-joined argument holding a
    # blank would reach the waiter wrapped in quotes, naming a program that does not exist.)
    proc = wine(TOOLS / "waiter.exe", program, *args, timeout=timeout, cwd=cwd, env=env)
    out = proc.stdout.decode("utf-8", "replace")
    for row in out.splitlines():
        if row.startswith("exit="):
            return int(row[5:]), proc
    raise AssertionError(f"waiter did not report an exit code: {out!r} {proc.stderr!r}")


def quote(arg):
    arg = str(arg)
    if arg and not any(c in arg for c in ' \t"'):
        return arg
    return '"' + arg.replace('"', '\\"') + '"'


def reg_add(key, name, data, kind="REG_SZ", view=None):
    args = ["reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"]
    if view:
        args.append(f"/reg:{view}")
    proc = wine(*args)
    if proc.returncode != 0:
        raise AssertionError(f"reg add failed: {key} {name}: {proc.stderr!r}")


def drive_c():
    return PREFIX / "drive_c"


def temp_dir():
    """The Unix path of the Wine user's temporary directory (GetTempPathW)."""
    return drive_c() / "users" / getpass.getuser() / "Temp"


def to_windows_path(path):
    """A Unix path as Wine sees it: inside drive_c as C:\\..., elsewhere through Z:."""
    path = pathlib.Path(path).resolve()
    try:
        rel = path.relative_to(drive_c().resolve())
        return "C:\\" + str(rel).replace("/", "\\")
    except ValueError:
        return "Z:" + str(path).replace("/", "\\")


def artifact(name):
    """A path under the artifacts folder; a name that is a folder of its own
    ("repair") is created too, so that tests can write into it in any order."""
    path = ARTIFACTS / name
    (path if not path.suffix else path.parent).mkdir(parents=True, exist_ok=True)
    return path


def copy_into_prefix(src, rel_dir):
    """Copy a file into drive_c/<rel_dir>/ and return its new Unix path."""
    dest_dir = drive_c() / rel_dir
    dest_dir.mkdir(parents=True, exist_ok=True)
    dest = dest_dir / pathlib.Path(src).name
    shutil.copy2(src, dest)
    return dest


# --- Launchers around test payloads ---------------------------------------------------------

RUN_LOG_PREFIX = "Zorvan Fix Log_"
CONSOLE_LOG = "Zorvan Fix Script Log.txt"
WORK_DIR = "zorvan_temp"


def build_launcher(payload_dir, out_exe, payload_out=None):
    """scripts/build-launcher in this host's bitness (ARCH) around payload_dir; returns out_exe.
    ZF_HOST_BUILD / ZF_WINDOWS_BUILD in the environment name private build folders."""
    args = [str(ROOT / "scripts" / "build-launcher"), "--arch", ARCH]
    if payload_out is not None:
        args += ["--payload-out", str(payload_out)]
    proc = subprocess.run(args + [str(payload_dir), str(out_exe)], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=600)
    if proc.returncode != 0:
        raise AssertionError("build-launcher failed:\n" + proc.stdout.decode("utf-8", "replace"))
    return pathlib.Path(out_exe)


def wine_popen(*args, env=None):
    """Start a program under Wine without waiting; stdout and stderr are pipes."""
    start()
    return subprocess.Popen([WINE, *map(str, args)], env=wine_env(env), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def run_logs():
    """The launcher's run logs in the temporary directory, oldest name first."""
    return sorted(temp_dir().glob(RUN_LOG_PREFIX + "*.txt"))


def clear_launcher_traces():
    """Remove run logs, the console log and the work directory left by earlier launcher runs."""
    for log in run_logs():
        log.unlink()
    (temp_dir() / CONSOLE_LOG).unlink(missing_ok=True)
    shutil.rmtree(temp_dir() / WORK_DIR, ignore_errors=True)
