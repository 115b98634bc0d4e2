"""The machine check, run under Wine as a person runs it, with the real
encoder: every step passing but the framed window's, which Wine cannot show,
each failure where it belongs (exit 1, its one clear line, nothing left
running), and step 5 not run while another viewer holds the debug-output
buffer."""
import os
import shutil
import subprocess
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import (BOUND, BUILD_DIR, LAUNCHER, STAND_IN, WINE, ReportingProcess, StandInLog, helper,
                              linux_pids, windows_path)

CHECK = os.path.join(BUILD_DIR, "ZELTRA_ScreenTool_check.exe")
REAL_ENCODER = os.environ.get("ZELTRA_REAL_ENCODER", "")
STEP_5_NOT_RUN = "[skip] not run: another debug-output viewer holds the buffer"
# Under Wine the window manager frames windows, not Windows: the framed window's step cannot run.
STEP_7 = "step 7 (A framed window, recorded without what lies behind it)"
STEP_7_NOT_RUN = "[skip] not run: under Wine "


class CheckTest(WineTestCase):
    with_encoder = False

    def install(self, encoder):
        """A fresh folder with the launcher, the check and the encoder: "real" alone, the "adapter"
        (the stand-in before the real one), the "stand-in" alone, or none."""
        folder = os.path.join(self.dir, f"install-{len(os.listdir(self.dir))}")
        os.makedirs(folder)
        shutil.copy(LAUNCHER, folder)
        shutil.copy(CHECK, folder)
        if encoder in ("adapter", "stand-in"):
            shutil.copy(STAND_IN, folder)
        if encoder in ("real", "adapter"):
            os.symlink(REAL_ENCODER, os.path.join(folder, "ffmpeg.exe" if encoder == "real" else "ffmpeg-real.exe"))
        return folder

    def run_check(self, folder, *args, env=None):
        """The exit code and the lines printed; fails unless nothing it started is left running."""
        result = subprocess.run([WINE, os.path.join(folder, "ZELTRA_ScreenTool_check.exe"), *args],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=3 * BOUND, check=False, env=env)
        lines = result.stdout.decode("cp1252").splitlines()
        deadline = time.monotonic() + BOUND
        while self.left_running() - self.others:
            self.assertLess(time.monotonic(), deadline, f"left running: {self.left_running()}; report: {lines}")
            time.sleep(0.05)
        return result.returncode, lines

    others = set()  # what the test itself runs

    def left_running(self):
        """Launchers and encoders of this test's folders (not other tests' on the machine)."""
        return {pid for pid in linux_pids(os.path.basename(self.dir)) if pid != os.getpid()}

    def assert_says(self, lines, start):
        self.assertTrue(any(line.strip().startswith(start) for line in lines), f"no '{start}' in {lines}")

    def test_every_step_passes_with_the_real_encoder(self):
        rows = [("real", "[ok]   the launcher's Ctrl+C finished the encoder"),
                ("adapter", "[ok]   the stop command alone finished the encoder")]
        for encoder, finish in rows:
            with self.subTest(encoder=encoder):
                code, lines = self.run_check(self.install(encoder))
                self.assertEqual((code, lines[-1]), (0, f"verdict: passed; not run: {STEP_7}"), lines)
                self.assert_says(lines, STEP_7_NOT_RUN)
                self.assert_says(lines, finish)
                self.assert_says(lines, "running under Wine ")
                self.assert_says(lines, "[ok]   Z:")  # the version line of the real encoder, through the adapter too
                self.assertFalse(any("[FAIL]" in line for line in lines), lines)

    def test_each_failure_is_named_in_its_step(self):
        running = self.install("stand-in")
        rows = [("an encoder without libxvid", "stand-in", "[FAIL] ffmpeg.exe has no libxvid encoder", 3),
                ("no ffmpeg.exe", None, "[FAIL] no ffmpeg.exe beside the launcher", 3),
                ("an output folder the encoder cannot write into", "real", "[FAIL] the encoder ended before the file grew",
                 4),
                ("an ffmpeg.exe running", "real", "[FAIL] an ffmpeg.exe is running", 2)]  # last: it stays running
        for name, encoder, failure, step in rows:
            with self.subTest(name):
                folder = self.install(encoder)
                args, env = [], dict(os.environ, ZELTRA_STAND_IN_WITHOUT="libxvid")
                if name == "an ffmpeg.exe running":
                    other = ReportingProcess([os.path.join(running, "ffmpeg.exe"), "-i", "desktop"])
                    self.addCleanup(other.stop)
                    StandInLog(running).wait_for("start")
                    self.others = self.left_running()
                if name.startswith("an output folder"):
                    os.makedirs(os.path.join(folder, "out", "check-recording.avi"))  # a directory where the file goes
                    args = [windows_path(os.path.join(folder, "out"))]
                code, lines = self.run_check(folder, *args, env=env)
                self.assertEqual(code, 1, lines)
                self.assert_says(lines, failure)
                self.assertTrue(lines[-1].startswith(f"verdict: FAILED at step {step} "), lines)
                if name.startswith("an output folder"):
                    self.assert_says(lines, "launcher says: the encoder ended on its own")
                if name == "an ffmpeg.exe running":
                    self.assertEqual(self.left_running(), self.others, "the running encoder is left alone")

    def test_step_5_is_not_run_while_another_viewer_holds_the_buffer(self):
        viewer = ReportingProcess([helper("debug_viewer")])
        self.addCleanup(viewer.stop)
        self.assertEqual(viewer.wait_for(lambda line: True, "the viewer's first line"), "holding")
        code, lines = self.run_check(self.install("real"))
        self.assertEqual(code, 0, lines)
        self.assert_says(lines, STEP_5_NOT_RUN)
        self.assertEqual(lines[-1], f"verdict: passed; not run: step 5 (The launcher's diagnostic lines), {STEP_7}")


if __name__ == "__main__":
    unittest.main()
