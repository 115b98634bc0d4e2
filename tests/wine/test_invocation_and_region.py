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

    def test_a_character_without_an_exact_form_in_the_code_page_records_nothing(self):
        # Code page 1252 would best-fit the fullwidth number sign to "#": the
        # title would be split there, and its rest taken for the output path.
        self.open_target("Bestfit")
        run = self.start_launcher(f"Bestfit\uff03{windows_path(self.dir)}\\x#\\#b.avi")
        self.assertEqual(run.wait_for_exit(), 0)
        self.assertEqual(run.diagnostic_texts(), [
            "the command line's character 8, U+FF03, has no exact form in the ANSI code page (1252); "
            "nothing to record"])
        self.assertEqual(self.log.starts(), [])

    def test_an_output_path_the_encoder_would_read_as_a_protocol_starts_no_encoder(self):
        self.open_target("Streamed")
        run = self.start_launcher("Streamed#tcp://127.0.0.1:9/#x.avi")
        self.assertEqual(run.wait_for_exit(), 0)
        self.assertEqual(run.diagnostic_texts(), [
            "the output path begins with a protocol's name (tcp:), which the encoder would not write as a file; "
            "nothing to record"])
        self.assertEqual(self.log.starts(), [])

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
