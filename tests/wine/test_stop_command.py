"""The stop command's interpreter, hung: %ComSpec% names a helper that starts a
child and never returns. The launcher ends both at its bound and goes on: on a
stop, its own encoder finishes on its Ctrl+C; before a launch, the encoder is
started once they are gone."""
import os
import shutil
import subprocess
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import BENCH_TOOL, BOUND, STAND_IN, WINE, StandInLog, linux_pids, stop_every_encoder, windows_path

ENDED = "the stop command had not returned within 3 s; ended its interpreter and all it started"
NOT_AGAIN = "not running the stop command again: it had not returned within 3 s before"
# The launcher's worst stop: the command's bound (3 s), the wait for what it started to be gone
# (5 s), the encoder's time limit after its Ctrl+C (10 s) and the wait after ending it (5 s).
WORST_STOP_MS = 23000


class HungInterpreterTest(WineTestCase):
    def setUp(self):
        super().setUp()
        # Named cmd.exe, so the launcher composes its line as for the real one, and bench_tool plays it.
        self.interpreter = os.path.join(self.dir, "cmd.exe")
        shutil.copy(BENCH_TOOL, self.interpreter)
        self.addCleanup(self.end_interpreters)

    def end_interpreters(self):
        for pid in self.interpreter_pids():
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    def interpreter_pids(self):
        """The hung interpreter and its child, by their Linux processes."""
        return [pid for pid in linux_pids(os.path.basename(self.dir)) if pid in linux_pids("cmd.exe")]

    def interpreter_log(self):
        with open(os.path.join(self.dir, "hung-interpreter.log"), "rb") as f:
            return [line.decode("ascii").split(" ") for line in f.read().splitlines()]

    def record_with_hung_interpreter(self, title="Hung Target", **kwargs):
        return self.start_recording(title, windows_env={"ComSpec": windows_path(self.interpreter)}, **kwargs)

    def test_a_stop_ends_the_hung_interpreter_and_the_own_encoder_finishes_within_the_worst_case(self):
        # In a job that forbids breaking away, the interpreter cannot leave the launcher's job:
        # the run takes the fallbacks (a nested job, or ending it and its child by parent id).
        for in_job in (False, True):
            with self.subTest(job_without_breakaway=in_job):
                self.log.clear()
                run = self.record_with_hung_interpreter(f"Hung Target {int(in_job)}", job_without_breakaway=in_job)
                sent = self.stop_recording(run)
                self.assertLessEqual(run.exit_tick - sent, WORST_STOP_MS)
                self.assertIn(ENDED, run.diagnostic_texts())
                self.assertEqual(self.log.reasons("close"), ["Q"], "asked by the launcher itself")
                self.assertEqual(len(self.log.records("exit")), 1, "the own encoder finished")
                self.assertFalse([t for t in run.diagnostic_texts() if "after the stop command" in t])
                kinds = [line[0] for line in self.interpreter_log()]
                self.assertEqual(kinds[-2:], ["interpreter", "child"], "it started its child before the bound")
                command = bytes.fromhex(self.interpreter_log()[-2][2]).decode("cp1252")
                self.assertTrue(command.endswith('cmd.exe" /d /c taskkill /IM ffmpeg.exe'), command)
                self.assertEqual(self.interpreter_pids(), [], "the interpreter and its child are gone")
                run.stop()

    def test_with_a_stale_encoder_the_launch_goes_on_once_the_hung_interpreter_is_gone(self):
        stale_dir = os.path.join(self.dir, "stale")
        os.makedirs(stale_dir)
        shutil.copy(STAND_IN, stale_dir)
        stale = subprocess.Popen([WINE, os.path.join(stale_dir, "ffmpeg.exe"), "stale"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(stale.wait, BOUND)
        self.addCleanup(stop_every_encoder)  # the hung stop command never reached it
        StandInLog(stale_dir).wait_for_ready()
        run = self.record_with_hung_interpreter(processes_at="starting ")
        names = [name.lower() for name in run.processes_at()]
        self.assertIn("ffmpeg.exe", names, "the stale encoder, which the hung command never reached")
        self.assertNotIn("cmd.exe", names, "the interpreter and its child had gone before the launch")
        self.assertEqual([line[0] for line in self.interpreter_log()], ["interpreter", "child"])
        texts = run.diagnostic_texts()
        self.assertLess(texts.index(ENDED), texts.index(run.launches()[0]))
        self.stop_recording(run)
        self.assertIn(NOT_AGAIN, run.diagnostic_texts(), "the same hung interpreter is not waited for twice")
        self.assertEqual(self.log.reasons("close"), ["Q"])


if __name__ == "__main__":
    unittest.main()
