"""The base of the Wine test cases: a fresh install directory per test, and a
watchdog that makes a hung suite fail with a word on what still runs."""
import os
import shutil
import sys
import tempfile
import threading
import time
import unittest

from winebench.runner import (CHECK, LAUNCHER, REAL_ENCODER, STAND_IN, STOP_MESSAGE, LauncherRun, StandInLog,
                              TargetWindow, send_to_control_window, stop_every_encoder, windows_path, wine_processes)

# ctest ends a suite at its TIMEOUT without a word; the watchdog fires a tenth
# of it (at least 5 s) earlier, says what is still running under Wine, and
# fails the suite.
WATCHDOG_LEAD_MIN_S = 5


def _watchdog_fires(suite_began, timeout_s):
    lines = [f"watchdog: the suite has run {time.monotonic() - suite_began:.0f} s, close to its timeout of "
             f"{timeout_s} s; failing it now. Running under Wine:"] + [f"  {line}" for line in wine_processes()]
    sys.stderr.write("\n".join(lines) + "\n")
    sys.stderr.flush()
    os._exit(3)  # the test in progress would never return


def _start_watchdog():
    """Armed once per suite (one process), from the timeout ctest gives it; none when run by hand."""
    timeout_s = int(os.environ.get("ZELTRA_TEST_TIMEOUT", "0"))
    lead_s = max(WATCHDOG_LEAD_MIN_S, timeout_s // 10)
    if timeout_s <= lead_s:
        return
    timer = threading.Timer(timeout_s - lead_s, _watchdog_fires, (time.monotonic(), timeout_s))
    timer.daemon = True
    timer.start()


_start_watchdog()


class WineTestCase(unittest.TestCase):
    """A fresh install directory per test, with the launcher and the stand-in
    encoder beside it; leftovers are stopped after."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zeltra-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(stop_every_encoder)
        shutil.copy(LAUNCHER, self.dir)
        shutil.copy(STAND_IN, self.dir)
        self.log = StandInLog(self.dir)
        self.output = os.path.join(self.dir, "out.avi")

    def install(self, encoder="stand-in", name=None):
        """A fresh folder in the test's (of that name) with the launcher, the machine check and the encoder: the
        "stand-in" alone, the "real" one alone, the "adapter" (the stand-in before the real one), or None."""
        folder = os.path.join(self.dir, name or f"install-{len(os.listdir(self.dir))}")
        os.makedirs(folder)
        shutil.copy(LAUNCHER, folder)
        shutil.copy(CHECK, folder)
        if encoder in ("adapter", "stand-in"):
            shutil.copy(STAND_IN, folder)
        if encoder in ("real", "adapter"):
            os.symlink(REAL_ENCODER, os.path.join(folder, "ffmpeg.exe" if encoder == "real" else "ffmpeg-real.exe"))
        return folder

    def start_launcher(self, arguments, **kwargs):
        run = LauncherRun(self.dir, arguments, **kwargs)
        self.addCleanup(run.stop)
        return run

    def open_target(self, title, x=100, y=80, width=403, height=301, **kwargs):
        target = TargetWindow(title, x, y, width, height, **kwargs)
        self.addCleanup(target.stop)
        return target

    def start_recording(self, title, behaviour=None, **kwargs):
        """The launcher recording a target of that title into self.output, its stand-in encoder behaving as
        behaviour (its environment) says and hearing requests."""
        self.open_target(title)
        run = self.start_launcher(f"{title}#{windows_path(self.output)}", env=dict(os.environ, **(behaviour or {})),
                                  **kwargs)
        self.log.wait_for_ready()
        return run

    def stop_recording(self, run):
        """Posts the stop to the control window, which must be there, and waits for the launcher to exit with 0:
        the tick the stop was posted at."""
        sent = send_to_control_window(STOP_MESSAGE)
        self.assertIsNotNone(sent, "no control window to stop")
        self.assertEqual(run.wait_for_exit(), 0)
        return sent
