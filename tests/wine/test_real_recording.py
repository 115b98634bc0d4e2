"""Real recordings: the launcher and the real encoder, with nothing between
them, finishing its file on the launcher's Ctrl+C. That a recording shows its
window exactly is the machine check's to prove (test_check)."""
import os
import shutil
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import REAL_ENCODER, STAND_IN, read_back, windows_path

RECORD_SECONDS = 3


class RealRecordingTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.assertTrue(os.path.isfile(REAL_ENCODER), "no real encoder: run scripts/fetch-encoder.sh")
        os.symlink(REAL_ENCODER, os.path.join(self.dir, "ffmpeg-real.exe"))

    def record(self, title, adapter, launcher_options):
        """The launcher run, once it has exited: the file must be finished by now."""
        self.open_target(title, 120, 90, 403, 301)
        run = self.start_launcher(f"{title}#{windows_path(self.dir)}\\#rec.avi", **launcher_options)
        run.wait_for_diagnostic("starting ")
        if adapter:  # the real encoder alone writes no log: the seconds recorded give it time to listen
            self.log.wait_for_ready()
        self.wait_for_growth(os.path.join(self.dir, "rec.avi"))
        time.sleep(RECORD_SECONDS)  # something to record; the length is checked loosely below
        self.stop_recording(run)
        return run

    def assert_finished_recording(self, path, width, height):
        """Read back as the machine check reads it: one video stream, mpeg4 (xvid) at 30 fps, and a finished AVI
        file, its sizes written and its index there."""
        facts = read_back(path)
        self.assertEqual(facts["container"], "avi", facts)
        self.assertEqual(facts["avi"], "finished", "the encoder's placeholders: its file was left unfinished")
        duration = float(facts["duration"]) if facts["duration"] != "none" else 0
        self.assertGreater(duration, 1.0, "the duration of a finished file")
        self.assertEqual((facts["streams"], facts["codec"], facts["tag"].lower()), ("1", "mpeg4", "xvid"), facts)
        self.assertEqual(facts["size"], f"{width}x{height}")
        self.assertEqual(float(facts["rate"]), 30)
        self.assertGreaterEqual(int(facts["frames"]), 30, "at least one second of frames")

    def test_the_real_encoder_alone_finishes_its_file_on_its_stop_key_and_on_ctrl_c(self):
        # No adapter: under Wine the stop command cannot make the console
        # encoder finish, so only what the launcher types or sends through its
        # console can: the stop key, q, and, where that is not read (standard
        # input not the console), Ctrl+C. Started in a process group of its own,
        # as job runners start programs, the launcher would pass on ignoring
        # Ctrl+C to its encoder if it did not clear that.
        cases = {"stop-key": dict(adapter=False, launcher_options={}),
                 "ctrl-c": dict(adapter=True, launcher_options={"new_group": True,
                                                               "env": dict(os.environ, ZELTRA_STAND_IN_IGNORE="close,q")})}
        for finish, options in cases.items():
            with self.subTest(finish=finish):
                encoder = os.path.join(self.dir, "ffmpeg.exe")
                os.remove(encoder)
                # Alone, or behind the adapter, whose console the real encoder shares.
                if options["adapter"]:
                    shutil.copy(STAND_IN, encoder)
                else:
                    os.symlink(REAL_ENCODER, encoder)
                run = self.record(f"Recorded Window {finish}", **options)
                self.assertEqual(run.finish()[0], finish, run.diagnostic_texts())
                path = os.path.join(self.dir, "rec.avi")
                self.assert_finished_recording(path, 400, 300)
                os.remove(path)

if __name__ == "__main__":
    unittest.main()
