"""The stop command's interpreter, hung: %ComSpec% names a helper that starts a
child and never returns. The launcher ends both at its bound, says so only once
they are gone, and goes on: its own encoder finishes on its stop key."""
import os
import shutil
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import BENCH_TOOL, linux_pids, windows_path

ENDED = "the stop command had not returned within 3 s; ended its interpreter and all it started"
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
                run = self.record_with_hung_interpreter(f"Hung Target {int(in_job)}", job_without_breakaway=in_job,
                                                        processes_at=ENDED)
                sent = self.stop_recording(run)
                self.assertLessEqual(run.exit_tick - sent, WORST_STOP_MS)
                self.assertEqual(run.processes_at()["cmd.exe"], 0, "the interpreter and its child had gone by then")
                self.assertEqual(self.log.reasons("close"), ["Q"], "asked by the launcher itself")
                self.assertEqual(len(self.log.records("exit")), 1, "the own encoder finished")
                self.assertFalse([t for t in run.diagnostic_texts() if "after the stop command" in t])
                kinds = [line[0] for line in self.interpreter_log()]
                self.assertEqual(kinds[-2:], ["interpreter", "child"], "it started its child before the bound")
                command = bytes.fromhex(self.interpreter_log()[-2][2]).decode("cp1252")
                self.assertTrue(command.endswith('cmd.exe" /d /c taskkill /IM ffmpeg.exe'), command)
                self.assertEqual(self.interpreter_pids(), [], "the interpreter and its child are gone")
                run.stop()


if __name__ == "__main__":
    unittest.main()
