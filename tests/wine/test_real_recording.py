"""A real recording, read back as the machine check reads it, by a launcher
installed in a folder whose name code page 1252 cannot hold, as a per-user
install under such a user name is, started with the exact command line
through the wide call, where only its Ctrl+C can finish the file. Started
from such a folder through the caller header, and recording its window
exactly, it is the machine check's to prove (test_check)."""
import os
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import ENCODING, REAL_ENCODER, StandInLog, read_back, wait_until, windows_path

RECORD_SECONDS = 3
FOLDER = "\u0141\u00f3d\u017a \u015al\u0119\u017ca"  # Polish; cp1252 best-fits it to "Lódz Sleza"
TITLE = "Recorded Window"


class RealRecordingTest(WineTestCase):
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

    def test_started_with_the_exact_command_line_it_finishes_its_file_on_its_ctrl_c(self):
        self.assertTrue(os.path.isfile(REAL_ENCODER), "no real encoder: run scripts/fetch-encoder.sh")
        self.assertRaises(UnicodeEncodeError, FOLDER.encode, ENCODING)
        # The real encoder behind the bench's console adapter, which finds it beside itself wide.
        install = self.install("adapter", FOLDER)
        log = StandInLog(install)
        output = os.path.join(self.dir, "rec.avi")  # the invocation's texts stay in the code page
        self.open_target(TITLE, 120, 90, 403, 301)
        # Under Wine the stop command cannot make the console encoder finish, and this adapter hears
        # neither it nor q: only the launcher's Ctrl+C, through the console the adapter shares with the
        # real encoder, can. Started in a process group of its own, as job runners start programs, the
        # launcher would pass on ignoring Ctrl+C to its encoder if it did not clear that.
        run = self.start_launcher(f"{TITLE}#{windows_path(self.dir)}\\#rec.avi",
                                  launcher=os.path.join(install, "ZELTRA_ScreenTool.exe"),
                                  new_group=True, env=dict(os.environ, ZELTRA_STAND_IN_IGNORE="close,q"))
        # The lines name the encoder in the ANSI code page, as they always have (best fit: "L\u00f3dz Sleza").
        run.wait_for_diagnostic(f"starting {windows_path(self.dir)}\\L\u00f3dz Sleza\\ffmpeg.exe ")
        log.wait_for_ready()
        # The encoder has begun writing: the recording's seconds count from here, not from its slower start.
        wait_until(lambda: os.path.isfile(output) and os.path.getsize(output) > 0, "the file grew")
        time.sleep(RECORD_SECONDS)  # something to record; its length is checked loosely
        self.stop_recording(run)
        self.assertEqual(run.finish()[0], "ctrl-c", run.diagnostic_texts())
        self.assert_finished_recording(output, 400, 300)


if __name__ == "__main__":
    unittest.main()
