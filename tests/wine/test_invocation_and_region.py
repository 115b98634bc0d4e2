"""The invocation, the wait for the target window and its measurement, with
the real launcher under Wine."""
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import windows_path

class TargetWaitTest(WineTestCase):
    def test_a_launcher_started_first_waits_for_the_window_then_records_it(self):
        run = self.start_launcher(f"Late Window#{windows_path(self.output)}")
        run.wait_for_diagnostic('waiting for the window titled "Late Window"')
        self.assertEqual(self.log.starts(), [])
        self.open_target("Late Window", 64, 48, 320, 240)
        run.wait_for_diagnostic("found the window: rectangle 64,48 to 384,288, capturing 320x240 at 64,48")
        self.assertEqual(len(self.log.wait_for_ready()), 1)
        self.stop_recording(run)

    def test_a_title_beginning_with_a_non_ascii_letter_is_found_whole(self):
        # The program name is skipped on the wide command line, and the rest
        # found in the ANSI code page by FindWindowEx.
        title = "\u00c4pfel \u00bbFenster\u00ab"
        self.open_target(title)
        run = self.start_launcher(f"{title}#{windows_path(self.output)}")
        run.wait_for_diagnostic("found the window: ")
        self.assertIn(f'waiting for the window titled "{title}"', run.diagnostic_texts())
        self.assertEqual(len(self.log.wait_for_ready()), 1)
        self.stop_recording(run)

    def test_a_window_partly_off_the_screen_is_clipped(self):
        self.open_target("Off Left", -50, 700, 403, 301)
        run = self.start_launcher(f"Off Left#{windows_path(self.output)}")
        run.wait_for_diagnostic("found the window: rectangle -50,700 to 353,1001, capturing 352x100 at 0,700")
        start = self.log.first_start()
        self.assertIn(" -offset_x 0 -offset_y 700 -video_size 352x100 ", start["parameters"])
        self.log.wait_for_ready()
        self.stop_recording(run)


if __name__ == "__main__":
    unittest.main()
