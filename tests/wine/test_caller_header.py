"""The caller header, through its example program record_window: a real
recording to a finished file, a stop sent at once, two launchers each stopped
through its own header, a program that ends at once, and texts the launcher's
code page cannot hold."""
import os
import shutil
import time
import unittest

from tests.wine import test_real_recording
from tests.wine.wine_case import WineTestCase
from winebench.runner import (CONTROL_WINDOW, LAUNCHER, STAND_IN, CallerRun, StandInLog, helper,
                              top_level_windows, windows_path)


class CallerHeaderTest(WineTestCase):
    def record(self, title, launcher=None, at_once=False, output=None):
        run = CallerRun(launcher or os.path.join(self.dir, "ZELTRA_ScreenTool.exe"), title,
                        windows_path(output or self.output), at_once)
        self.addCleanup(run.stop)
        return run

    def assert_stopped(self, stopped):
        self.assertEqual((stopped["outcome"], stopped["exit"]), ("stopped", "0"), stopped)

    def test_a_window_is_recorded_with_the_real_encoder_into_a_finished_file(self):
        os.symlink(test_real_recording.REAL_ENCODER, os.path.join(self.dir, "ffmpeg-real.exe"))
        title = "Récord Wïndow"  # held by the launcher's code page, converted on the way
        self.open_target(title, 120, 90, 403, 301)
        run = self.record(title)
        self.log.wait_for_ready()
        time.sleep(test_real_recording.RECORD_SECONDS)  # something to record; its length is checked loosely
        stopped = run.stop_recording()
        self.assert_stopped(stopped)
        self.assertEqual(stopped["output"], "written")
        test_real_recording.RealRecordingTest.assert_finished_recording(self, self.output, 400, 300)

    def test_a_stop_sent_at_once_is_not_lost_and_leaves_no_encoder(self):
        self.open_target("At Once")
        stopped = self.record("At Once", at_once=True).fields("stopped")
        self.assert_stopped(stopped)
        exited = {record.pid for record in self.log.records("exit")}
        self.assertTrue(all(record.pid in exited for record in self.log.records("start")), "no encoder left running")

    def stop_two_launchers(self, order):
        runs = []
        for name in ("First", "Second"):
            directory = os.path.join(self.dir, name)
            os.makedirs(directory)
            shutil.copy(LAUNCHER, directory)
            shutil.copy(STAND_IN, directory)
            self.open_target(f"{name} Target")
            runs.append(self.record(f"{name} Target", launcher=os.path.join(directory, "ZELTRA_ScreenTool.exe"),
                                    output=os.path.join(directory, "out.avi")))
            StandInLog(directory).wait_for_ready()
        # The second launcher's stop command before its launch ends the first's encoder, as meant:
        # the first file is not checked.
        first, second = order
        self.assert_stopped(runs[first].stop_recording())
        windows = top_level_windows(runs[second].launcher_pid)
        self.assertIn(CONTROL_WINDOW, [w.class_name for w in windows], "the other launcher runs on")
        self.assert_stopped(runs[second].stop_recording())

    def test_two_launchers_each_stopped_through_its_own_header_first_started_first(self):
        self.stop_two_launchers([0, 1])

    def test_two_launchers_each_stopped_through_its_own_header_last_started_first(self):
        self.stop_two_launchers([1, 0])

    def test_a_program_that_ends_at_once_is_reported_with_its_exit_code(self):
        run = self.record("Any Window", launcher=helper("exit_at_once"))
        self.assertEqual(run.first("window"), "window state=launcher-ended")
        stopped = run.stop_recording()
        self.assertEqual((stopped["outcome"], stopped["exit"]), ("ended-before-stop", "3"))

    def test_characters_the_launchers_code_page_cannot_hold_are_refused(self):
        # Code page 1252 holds neither; the first has a best-fit stand-in ("A").
        for title in ("\u0100 Window", "\u2713 Window"):
            with self.subTest(title=title):
                refused = self.record(title).first("refused")
                self.assertIn("the system's ANSI code page cannot hold", refused)


if __name__ == "__main__":
    unittest.main()
