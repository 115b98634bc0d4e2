"""Real recordings, read back as the machine check reads them, by a launcher
installed in a folder whose name code page 1252 cannot hold, as a per-user
install under such a user name is: started with the exact command line
through the wide call, where only its Ctrl+C can finish the file, and through
the caller header. That a recording shows its window exactly is the machine
check's to prove (test_check)."""
import os
import shutil
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import ENCODING, LAUNCHER, REAL_ENCODER, STAND_IN, CallerRun, StandInLog, read_back, windows_path

RECORD_SECONDS = 3
FOLDER = "\u0141\u00f3d\u017a \u015al\u0119\u017ca"  # Polish; cp1252 best-fits it to "Lódz Sleza"
TITLE = "Recorded Window"


class RealRecordingTest(WineTestCase):
    with_encoder = False

    def setUp(self):
        super().setUp()
        self.assertTrue(os.path.isfile(REAL_ENCODER), "no real encoder: run scripts/fetch-encoder.sh")
        self.assertRaises(UnicodeEncodeError, FOLDER.encode, ENCODING)
        self.install = os.path.join(self.dir, FOLDER)
        os.makedirs(self.install)
        shutil.copy(LAUNCHER, self.install)
        # The real encoder behind the bench's console adapter, which finds it beside itself wide.
        shutil.copy(STAND_IN, self.install)
        os.symlink(REAL_ENCODER, os.path.join(self.install, "ffmpeg-real.exe"))
        self.launcher = os.path.join(self.install, "ZELTRA_ScreenTool.exe")
        self.log = StandInLog(self.install)
        self.output = os.path.join(self.dir, "rec.avi")  # the invocation's texts stay in the code page
        self.open_target(TITLE, 120, 90, 403, 301)

    def assert_finished_recording(self, path, width, height):
        """Read back as the machine check reads it: mpeg4 (xvid) at 30 fps, and a finished AVI file, its sizes
        written and its index there. What the encoder writes is its parameter line's, which the recording
        start's test holds exactly."""
        facts = read_back(path)
        self.assertEqual(facts["container"], "avi", facts)
        self.assertEqual(facts["avi"], "finished", "the encoder's placeholders: its file was left unfinished")
        duration = float(facts["duration"]) if facts["duration"] != "none" else 0
        self.assertGreater(duration, 1.0, "the duration of a finished file")
        self.assertEqual((facts["codec"], facts["tag"].lower()), ("mpeg4", "xvid"), facts)
        self.assertEqual(facts["size"], f"{width}x{height}")
        self.assertEqual(float(facts["rate"]), 30)
        self.assertGreaterEqual(int(facts["frames"]), 30, "at least one second of frames")

    def record_a_while(self):
        """Something to record once the encoder writes; its length is checked loosely."""
        self.log.wait_for_ready()
        self.wait_for_growth(self.output)
        time.sleep(RECORD_SECONDS)

    def test_started_with_the_exact_command_line_it_finishes_its_file_on_its_ctrl_c(self):
        # Under Wine the stop command cannot make the console encoder finish, and this adapter hears
        # neither it nor q: only the launcher's Ctrl+C, through the console the adapter shares with the
        # real encoder, can. Started in a process group of its own, as job runners start programs, the
        # launcher would pass on ignoring Ctrl+C to its encoder if it did not clear that.
        run = self.start_launcher(f"{TITLE}#{windows_path(self.dir)}\\#rec.avi", launcher=self.launcher,
                                  new_group=True, env=dict(os.environ, ZELTRA_STAND_IN_IGNORE="close,q"))
        # The lines name the encoder in the ANSI code page, as they always have (best fit: "L\u00f3dz Sleza").
        run.wait_for_diagnostic(f"starting {windows_path(self.dir)}\\L\u00f3dz Sleza\\ffmpeg.exe ")
        self.record_a_while()
        self.stop_recording(run)
        self.assertEqual(run.finish()[0], "ctrl-c", run.diagnostic_texts())
        self.assert_finished_recording(self.output, 400, 300)

    def test_started_through_the_caller_header_it_records_a_finished_file(self):
        run = CallerRun(self.launcher, TITLE, windows_path(self.output))
        self.addCleanup(run.stop)
        run.first("started")
        self.record_a_while()
        stopped = run.stop_recording()
        self.assertEqual((stopped["outcome"], stopped["exit"], stopped["output"]), ("stopped", "0", "finished"))
        self.assert_finished_recording(self.output, 400, 300)


if __name__ == "__main__":
    unittest.main()
