"""A launcher installed in a folder whose name code page 1252 cannot hold, as a per-user install under such a
user name is, with the real encoder beside it: started with the exact command line through the wide call, and
through the caller header, each records a finished file."""
import os
import shutil
import time
import unittest

from tests.wine import test_real_recording
from tests.wine.wine_case import WineTestCase
from winebench.runner import ENCODING, LAUNCHER, STAND_IN, CallerRun, StandInLog, windows_path

FOLDER = "\u0141\u00f3d\u017a \u015al\u0119\u017ca"  # Polish; cp1252 best-fits it to "Lódz Sleza"
TITLE = "Recorded Window"


class InstallFolderTest(WineTestCase):
    with_encoder = False

    def setUp(self):
        super().setUp()
        self.assertRaises(UnicodeEncodeError, FOLDER.encode, ENCODING)
        self.install = os.path.join(self.dir, FOLDER)
        os.makedirs(self.install)
        shutil.copy(LAUNCHER, self.install)
        self.output = os.path.join(self.dir, "rec.avi")  # the invocation's texts stay in the code page

    def test_started_with_the_exact_command_line_it_records_a_finished_file(self):
        os.symlink(test_real_recording.REAL_ENCODER, os.path.join(self.install, "ffmpeg.exe"))
        self.open_target(TITLE, 120, 90, 403, 301)
        run = self.start_launcher(f"{TITLE}#{windows_path(self.dir)}\\#rec.avi", launcher=os.path.join(
            self.install, "ZELTRA_ScreenTool.exe"))
        # The lines name the encoder in the ANSI code page, as they always have (best fit: "L\u00f3dz Sleza").
        run.wait_for_diagnostic(f"starting {windows_path(self.dir)}\\L\u00f3dz Sleza\\ffmpeg.exe ")
        self.wait_for_growth(self.output)
        time.sleep(test_real_recording.RECORD_SECONDS)
        self.stop_recording(run)
        texts = run.diagnostic_texts()
        self.assertIn(run.finish()[0], ("stop-command", "stop-key", "ctrl-c"), texts)
        test_real_recording.RealRecordingTest.assert_finished_recording(self, self.output, 400, 300)

    def test_started_through_the_caller_header_it_records_a_finished_file(self):
        # The real encoder behind the bench's console adapter, which finds it beside itself wide.
        shutil.copy(STAND_IN, self.install)
        os.symlink(test_real_recording.REAL_ENCODER, os.path.join(self.install, "ffmpeg-real.exe"))
        self.open_target(TITLE, 120, 90, 403, 301)
        run = CallerRun(os.path.join(self.install, "ZELTRA_ScreenTool.exe"), TITLE, windows_path(self.output))
        self.addCleanup(run.stop)
        run.first("started")
        StandInLog(self.install).wait_for_ready()
        self.wait_for_growth(self.output)
        time.sleep(test_real_recording.RECORD_SECONDS)
        stopped = run.stop_recording()
        self.assertEqual((stopped["outcome"], stopped["exit"], stopped["output"]), ("stopped", "0", "finished"))
        test_real_recording.RealRecordingTest.assert_finished_recording(self, self.output, 400, 300)


if __name__ == "__main__":
    unittest.main()
