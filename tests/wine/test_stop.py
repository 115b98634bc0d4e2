"""The stop, seen through to the end of the launcher's own encoder: asked once
more through its console, ended after the time limit, on every way out of the
message loop; the control window gone as soon as the stop is accepted; the
stop command through the system's interpreter where %ComSpec% cannot start,
and its interpreter hung: %ComSpec% names a helper that starts a child and
never returns, which the launcher ends at its bound, says so only once both
are gone, and goes on."""
import os
import shutil
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import (BENCH_TOOL, STOP_MESSAGE, ReportingProcess, StandInLog, bench_tool, control_window_exists,
                              linux_pids, send, send_to_control_window, wait_until, windows_path)

WM_QUIT = 0x0012
ERROR_INVALID_WINDOW_HANDLE = 1400
TITLE = "Stop Target"
ENDED = "the stop command had not returned within 3 s; ended its interpreter and all it started"


class StopTest(WineTestCase):
    def test_an_encoder_that_hears_nothing_is_ended_and_leaves_no_encoder_behind(self):
        # Asked first through the system's interpreter, as %ComSpec% cannot start.
        run = self.start_recording(TITLE, behaviour={"ZELTRA_STAND_IN_IGNORE": "all"},
                                   windows_env={"ComSpec": "C:\\nowhere\\cmd.exe"})
        watcher = ReportingProcess(bench_tool("exit-code", self.log.first_start()["pid"]))
        self.addCleanup(watcher.stop)
        watcher.wait_for(lambda line: line == "watching", "the encoder watched")
        self.stop_recording(run)
        self.assertEqual(watcher.first("exit "), "exit 1", "the exit code of the termination")
        self.assertEqual(self.log.reasons("ignored"), ["WM_CLOSE", "Q", "CTRL_C"])
        fallback = [t for t in run.diagnostic_texts() if t.startswith("%ComSpec% could not be started")]
        self.assertEqual(len(fallback), 1, "at the stop")
        self.assertEqual(run.finish(), ("ended", None))
        wait_until(lambda: not linux_pids("ffmpeg.exe"), "no encoder left running")

    def test_a_second_launcher_keeps_recording_while_the_first_re_asks_and_ends(self):
        first = self.start_recording("First Target", behaviour={"ZELTRA_STAND_IN_IGNORE": "close",
                                                                "ZELTRA_STAND_IN_CLOSE_MS": "3000"})
        second_dir = self.install(name="second")
        second_log = StandInLog(second_dir)
        send_to_control_window(STOP_MESSAGE)
        wait_until(lambda: not control_window_exists(), "the first control window vanished")
        self.open_target("Second Target")
        second = self.start_launcher(f"Second Target#{windows_path(self.output)}",
                                     launcher=os.path.join(second_dir, "ZELTRA_ScreenTool.exe"))
        second_log.wait_for_ready()
        self.assertEqual(first.wait_for_exit(), 0)
        self.assertEqual(self.log.reasons("close"), ["Q"])
        self.assertEqual(second_log.reasons("close"), [], "the second recording runs on")
        self.stop_recording(second)
        self.assertEqual(second_log.reasons("close"), ["WM_CLOSE"])

    def test_a_quit_posted_to_the_launchers_thread_makes_its_encoder_finish(self):
        run = self.start_recording(TITLE)
        send_to_control_window(WM_QUIT, how="thread")
        self.assertEqual(run.wait_for_exit(), 0)
        self.assertEqual(self.log.reasons("close"), ["Q"])
        self.assertEqual(run.stop_commands(), 0, "the stop command would reach other recordings")

    def test_a_sent_stop_is_taken_once_and_the_window_is_gone_while_the_encoder_finishes(self):
        run = self.start_recording(TITLE, behaviour={"ZELTRA_STAND_IN_CLOSE_MS": "1500"})
        _, (first, second) = send(STOP_MESSAGE, "send:5000", count=2)
        self.assertEqual(first[2], "1", "the first stop is taken")
        self.assertEqual(second[2:4], ["0", str(ERROR_INVALID_WINDOW_HANDLE)], "the window is gone, not hung")
        self.assertFalse(control_window_exists(), "FindWindow no longer finds it")
        self.assertEqual(run.wait_for_exit(), 0)
        self.assertEqual(run.stop_commands(), 1)
        finished = self.log.records("exit")
        self.assertEqual(len(finished), 1)
        self.assertLess(int(second[4]), finished[0].tick, "the window went before the encoder finished")

    def end_interpreters(self):
        """The hung interpreter and its child, by their Linux processes, where a failed test left them."""
        for pid in set(linux_pids(os.path.basename(self.dir))) & set(linux_pids("cmd.exe")):
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    def test_a_stop_ends_the_hung_interpreter_and_the_own_encoder_finishes(self):
        # Named cmd.exe, so the launcher composes its line as for the real one, and bench_tool plays it.
        interpreter = os.path.join(self.dir, "cmd.exe")
        shutil.copy(BENCH_TOOL, interpreter)
        self.addCleanup(self.end_interpreters)
        # In a job that forbids breaking away, the interpreter cannot leave the launcher's job:
        # the run takes the fallbacks (a nested job, or ending it and its child by parent id).
        for in_job in (False, True):
            with self.subTest(job_without_breakaway=in_job):
                self.log.clear()
                run = self.start_recording(f"Hung Target {int(in_job)}", job_without_breakaway=in_job,
                                           processes_at=ENDED, windows_env={"ComSpec": windows_path(interpreter)})
                self.stop_recording(run)  # the launcher exits, the hung interpreter holding it no longer
                self.assertEqual(run.processes_at()["cmd.exe"], 0, "the interpreter and its child had gone by then")
                self.assertEqual(self.log.reasons("close"), ["Q"], "asked by the launcher itself")
                self.assertEqual(len(self.log.records("exit")), 1, "the own encoder finished")
                self.assertFalse([t for t in run.diagnostic_texts() if "after the stop command" in t])
                with open(os.path.join(self.dir, "hung-interpreter.log"), encoding="ascii") as f:
                    started, child = [line.split(" ") for line in f.read().splitlines()][-2:]
                self.assertEqual((started[0], child[0]), ("interpreter", "child"), "its child started before the bound")
                command = bytes.fromhex(started[2]).decode("cp1252")
                self.assertTrue(command.endswith('cmd.exe" /d /c taskkill /IM ffmpeg.exe'), command)
                run.stop()


if __name__ == "__main__":
    unittest.main()
