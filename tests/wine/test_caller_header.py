"""The caller header, through its example program record_window: a stop sent
at once or asked for before the launcher's window exists, two launchers each
stopped through its own header, a program that ends at once, texts the
launcher's code page holds and cannot; what became of this run's file (an old
one, an unfinished one, none at all), and a caller ended from outside. A real
recording through the header to a finished file is the machine check's to prove."""
import os
import shutil
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import (BENCH_TOOL, BOUND, CONTROL_WINDOW, REAL_ENCODER, CallerRun, StandInLog, linux_pids,
                              top_level_windows, wait_until, windows_path)


class CallerHeaderTest(WineTestCase):
    def record(self, title, target=True, real=False, ready=False, launcher=None, mode=None, output=None, env=None):
        """record_window recording the window of that title, opened here unless target is False, the real encoder
        behind the stand-in where real; with ready, once the stand-in hears requests."""
        if real:
            os.symlink(REAL_ENCODER, os.path.join(self.dir, "ffmpeg-real.exe"))
        if target:
            self.open_target(title)
        run = CallerRun(launcher or os.path.join(self.dir, "ZELTRA_ScreenTool.exe"), title,
                        windows_path(output or self.output), mode, env)
        self.addCleanup(run.stop)
        if ready:
            self.log.wait_for_ready()
        return run

    def assert_stopped(self, stopped):
        self.assertEqual((stopped["outcome"], stopped["exit"]), ("stopped", "0"), stopped)
        return stopped

    def assert_no_encoder_left(self):
        exited = {record.pid for record in self.log.records("exit")}
        self.assertTrue(all(record.pid in exited for record in self.log.records("start")), "no encoder left running")

    def test_an_old_file_and_a_title_no_window_has_is_not_this_runs(self):
        with open(self.output, "wb") as old:
            old.write(b"RIFF left by an earlier run")
        run = self.record("No Window Has This Title", target=False, mode="--at-once")
        self.assertEqual(run.fields("job")["where"], "own")
        stopped = self.assert_stopped(run.stop_recording())
        self.assertEqual((stopped["output"], stopped["encoder"]), ("not-this-run", "none"), stopped)

    def test_an_encoder_ended_at_the_launchers_time_limit_leaves_an_unfinished_file(self):
        # A title held by the launcher's code page, converted on the way.
        run = self.record("D\u00e9af \u00c9ncoder", real=True, ready=True,
                          env=dict(os.environ, ZELTRA_STAND_IN_IGNORE="all"))
        window, recording = int(run.fields("window")["ms"]), run.fields("recording")
        self.assertEqual(recording["state"], "begun", recording)
        self.assertGreaterEqual(int(recording["ms"]), window, "the file begins after the window appears")
        stopped = self.assert_stopped(run.stop_recording())
        reasons = [line for line in run.lines if isinstance(line, str) and line.startswith("reason ")]
        self.assertTrue(reasons[-1].endswith("[finish=ended]"), reasons)  # ended at the launcher's limit
        self.assertEqual((stopped["output"], stopped["encoder"]), ("unfinished", "running"), stopped)

    def test_an_encoder_refusing_its_path_had_ended_before_the_stop(self):
        os.makedirs(self.output)  # a folder where the file would go
        run = self.record("Refused Path", real=True)
        self.assertIn(run.fields("recording")["state"], ("encoder-ended", "not-yet"))
        stopped = self.assert_stopped(run.stop_recording())
        self.assertEqual((stopped["output"], stopped["encoder"]), ("missing", "none"), stopped)
        # Why, from the launcher's standard error, handed over by the header.
        reasons = [line[len("reason "):] for line in run.lines if isinstance(line, str) and line.startswith("reason ")]
        self.assertTrue(any(r.startswith("the encoder ended on its own with exit code ") for r in reasons), reasons)
        self.assertTrue(any(r.startswith("starting ") for r in reasons), reasons)

    def test_a_caller_ended_from_outside_takes_its_launcher_and_encoder_with_it(self):
        run = self.record("Orphan Target", ready=True)
        self.assertTrue(linux_pids(windows_path(self.dir)), "the launcher and its encoder run")
        run.process.kill()  # as a crash ends it: no destructor runs
        wait_until(lambda: not linux_pids(windows_path(self.dir)), "neither launcher nor encoder is left")

    def test_a_caller_that_dies_once_its_stop_is_accepted_leaves_the_launcher_to_finish(self):
        # An encoder deaf to every close keeps the launcher at its work for its 10 s limit after the stop.
        run = self.record("Stopped Then Orphaned", real=True, ready=True, mode="--request-on-enter",
                          env=dict(os.environ, ZELTRA_STAND_IN_IGNORE="all"))
        launcher = windows_path(os.path.join(self.dir, "ZELTRA_ScreenTool.exe"))
        run.process.stdin.write(b"\n")
        run.process.stdin.flush()
        # Accepted as the header saw it: the control window can be gone a poll before the header lets go.
        self.assertEqual(run.fields("request-ended")["state"], "accepted")
        run.process.kill()  # as a crash ends it, the stop accepted, the launcher still at work
        run.process.wait(BOUND)
        for _ in range(20):  # two seconds of looks, well inside the launcher's 10 s
            self.assertTrue(linux_pids(launcher), "the launcher was ended with its caller")
            time.sleep(0.1)
        wait_until(lambda: not linux_pids(windows_path(self.dir)), "the launcher saw its encoder through and ended")

    def test_a_stop_sent_at_once_is_not_lost_and_leaves_no_encoder(self):
        self.assert_stopped(self.record("At Once", mode="--at-once").fields("stopped"))
        self.assert_no_encoder_left()

    def test_a_stop_asked_for_before_the_window_exists_is_posted_once_it_appears(self):
        run = self.record("Request First", real=True, mode="--request-first")
        self.assertEqual(run.fields("requested")["state"], "kept")
        self.assertEqual(run.fields("request-ended")["state"], "accepted", "posted by a later ask, not by stop()")
        stopped = run.fields("stopped")
        self.assert_stopped(stopped)
        # Posted as the window appears: the launcher may take it before its encoder starts, or just after.
        self.assertIn(stopped["output"], ("missing", "finished"), stopped)
        self.assertEqual(stopped["post-error"], "none", stopped)
        self.assert_no_encoder_left()

    def test_two_launchers_each_stopped_through_its_own_header_in_either_order(self):
        for first, second in ((0, 1), (1, 0)):
            with self.subTest(first_stopped=first):
                runs = []
                for name in ("First", "Second"):
                    directory = self.install()
                    launcher = os.path.join(directory, "ZELTRA_ScreenTool.exe")
                    runs.append(self.record(f"{name} Target {first}", launcher=launcher,
                                            output=os.path.join(directory, "out.avi")))
                    StandInLog(directory).wait_for_ready()
                # The second launcher's stop command before its launch ends the first's encoder, as meant:
                # the first file is not checked.
                self.assert_stopped(runs[first].stop_recording())
                windows = top_level_windows(runs[second].launcher_pid)
                self.assertIn(CONTROL_WINDOW, [w.class_name for w in windows], "the other launcher runs on")
                self.assert_stopped(runs[second].stop_recording())

    def test_a_program_that_ends_at_once_is_reported_with_its_exit_code(self):
        ends_at_once = os.path.join(self.dir, "ends-at-once", "ZELTRA_ScreenTool.exe")  # as which bench_tool ends
        os.makedirs(os.path.dirname(ends_at_once))
        shutil.copy(BENCH_TOOL, ends_at_once)
        run = self.record("Any Window", target=False, launcher=ends_at_once)
        self.assertEqual(run.first("window"), "window state=launcher-ended")
        stopped = run.stop_recording()
        self.assertEqual((stopped["outcome"], stopped["exit"]), ("ended-before-stop", "3"))

    def test_characters_the_launchers_code_page_cannot_hold_are_refused(self):
        # Code page 1252 holds neither; the first has a best-fit stand-in ("A").
        for title in ("\u0100 Window", "\u2713 Window"):
            with self.subTest(title=title):
                refused = self.record(title, target=False).first("refused")
                self.assertIn("the system's ANSI code page cannot hold", refused)


if __name__ == "__main__":
    unittest.main()
