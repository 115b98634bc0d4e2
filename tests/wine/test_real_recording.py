"""Real recordings: the launcher, the real encoder behind the Wine console
adapter, a target window of known pattern, and the file read back."""
import os
import time
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.recording_check import (bar_position, clock_ticks, colour_near, frame_rgb, mean_difference,
                                       pattern_colour, probe)
from winebench.runner import STOP_MESSAGE, WM_CLOSE, send_to_control_window, windows_path

REAL_ENCODER = os.environ.get("ZELTRA_REAL_ENCODER", "")
RECORD_SECONDS = 3


class RealRecordingTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.assertTrue(os.path.isfile(REAL_ENCODER), "no real encoder: run scripts/fetch-encoder.sh")
        os.symlink(REAL_ENCODER, os.path.join(self.dir, "ffmpeg-real.exe"))

    def record(self, x, y, width, height, stop_message=STOP_MESSAGE, adapter=True, launcher_options=None,
               title="Recorded Window", **target_options):
        self.open_target(title, x, y, width, height, **target_options)
        run = self.start_launcher(f"{title}#{windows_path(self.dir)}\\#rec.avi", **(launcher_options or {}))
        run.wait_for_diagnostic("starting ")
        if adapter:  # the real encoder alone writes no log: the seconds recorded give it time to listen
            self.log.wait_for_ready()
        self.wait_for_growth(os.path.join(self.dir, "rec.avi"))
        time.sleep(RECORD_SECONDS)  # something to record; the length is checked loosely below
        self.assertTrue(send_to_control_window(stop_message))
        self.assertEqual(run.wait_for_exit(), 0)
        self.run = run
        # The launcher has exited: the file must be finished by now.
        return os.path.join(self.dir, "rec.avi")

    def assert_finished_recording(self, path, width, height):
        info = probe(path)
        self.assertEqual(info["format"]["format_name"], "avi")
        self.assertGreater(float(info["format"].get("duration", 0)), 1.0, "duration of a finished file")
        streams = info["streams"]
        self.assertEqual(len(streams), 1)
        video = streams[0]
        self.assertEqual((video["codec_type"], video["codec_name"]), ("video", "mpeg4"))
        self.assertEqual(video["codec_tag_string"].lower(), "xvid")
        self.assertEqual((video["width"], video["height"]), (width, height))
        self.assertEqual(video["r_frame_rate"], "30/1")
        frames = int(video["nb_read_frames"])
        self.assertGreaterEqual(frames, 30, "at least one second of frames")
        return frames

    def assert_shows_window(self, path, frames, window_size):
        video = probe(path)["streams"][0]
        width, height = video["width"], video["height"]
        frame = frame_rgb(path, frames / 2 / 30, width, height)
        for fx, fy in [(width // 2, height // 2), (8, 8), (width - 9, 8), (8, height - 9), (width - 9, height - 9)]:
            expected = pattern_colour(fx, fy, *window_size)
            self.assertTrue(colour_near(frame[fy][fx], expected), f"at {fx},{fy}: {frame[fy][fx]} not {expected}")
        exact = mean_difference(frame, window_size)
        shifted = min(mean_difference(frame, window_size, offset) for offset in [(4, 0), (0, 4), (3, 3)])
        self.assertLess(exact, 12, "the recording shows the window")
        self.assertGreater(shifted, 3 * exact, "a rectangle a few pixels off would look different")

    def test_a_window_is_recorded_exactly_into_a_finished_file(self):
        path = self.record(120, 90, 403, 301)
        frames = self.assert_finished_recording(path, 400, 300)
        self.assert_shows_window(path, frames, (403, 301))

    def test_closing_the_control_window_also_finishes_the_file(self):
        path = self.record(200, 150, 322, 242, stop_message=WM_CLOSE)
        frames = self.assert_finished_recording(path, 320, 240)
        self.assert_shows_window(path, frames, (322, 242))

    def test_the_real_encoder_alone_finishes_its_file_on_the_launchers_ctrl_c(self):
        # No adapter: under Wine the stop command cannot make the console
        # encoder finish, so only the launcher's own Ctrl+C can. Started in a
        # process group of its own, as job runners start programs, the launcher
        # would pass on ignoring Ctrl+C to its encoder if it did not clear that.
        os.remove(os.path.join(self.dir, "ffmpeg.exe"))
        os.symlink(REAL_ENCODER, os.path.join(self.dir, "ffmpeg.exe"))
        for new_group in (False, True):
            with self.subTest(new_group=new_group):
                path = self.record(120, 90, 403, 301, adapter=False, launcher_options={"new_group": new_group},
                                   title=f"Recorded Window {int(new_group)}")
                texts = self.run.diagnostic_texts()
                self.assertIn("the encoder has not finished on the stop command; asking it once more with Ctrl+C "
                              "through its console", texts)
                self.assertFalse([t for t in texts if t.startswith("the encoder was still running")], texts)
                self.assert_finished_recording(path, 400, 300)
                with open(path, "rb") as f:
                    riff_size = int.from_bytes(f.read(8)[4:], "little")
                self.assertNotEqual(riff_size, 0xFFFFFFFF, "the encoder's placeholder: its file was left unfinished")
                os.remove(path)

    def test_the_windows_clock_reads_back_from_the_recording(self):
        # What the benchmark measures the start and the end of a recording with.
        ticks = clock_ticks(self.record(120, 90, 403, 301, clock=True))
        self.assertGreaterEqual(len(ticks), 30)
        self.assertIsNotNone(ticks[0], "the first frame's clock reads")
        self.assertIsNotNone(ticks[-1], "the last frame's clock reads")
        readable = [t for t in ticks if t is not None]
        self.assertEqual(readable, sorted(readable), "the clock never goes back")
        self.assertLess(ticks[0], ticks[-1])

    def test_a_moving_window_is_recorded_moving(self):
        # Nothing may stand over the window while it is recorded (the control
        # window, say): a still copy there would freeze the picture.
        path = self.record(120, 90, 403, 301, animate=True)
        frames = self.assert_finished_recording(path, 400, 300)
        positions = {bar_position(frame_rgb(path, seconds, 400, 300))
                     for seconds in (0.2 * frames / 30, 0.5 * frames / 30, 0.8 * frames / 30)}
        self.assertNotIn(None, positions, "the moving bar is in every frame")
        self.assertEqual(len(positions), 3, f"the bar moved between the frames: {positions}")


if __name__ == "__main__":
    unittest.main()
