"""The window recorded is the one with the title as it is shown: not while it
is still hidden or minimized, and not a hidden window of the same title
above a shown one; of a window partly off the screen, the part on it. The
real launcher under Wine."""
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import windows_path


class ShownTargetTest(WineTestCase):
    def record(self, title, region):
        """Starts the launcher for title once its windows are set up and checks the region the
        encoder is given: (x, y, width, height)."""
        run = self.start_launcher(f"{title}#{windows_path(self.output)}")
        parameters = self.log.first_start()["parameters"]
        self.log.wait_for_ready()
        self.stop_recording(run)
        x, y, width, height = region
        self.assertIn(f" -offset_x {x} -offset_y {y} -video_size {width}x{height} ", parameters)
        return run

    def test_a_window_placed_while_hidden_is_recorded_where_it_is_shown(self):
        target = self.open_target("Placed Late", 600, 400, 160, 120, show_after_ms=4000,
                                  place=(200, 150, 403, 301))
        run = self.record("Placed Late", (200, 150, 400, 300))
        target.first("shown ")
        self.assertIn('a window titled "Placed Late" exists but is hidden; waiting for it to be shown',
                      run.diagnostic_texts())

    def test_a_minimized_window_is_recorded_once_restored(self):
        target = self.open_target("Restored Late", 100, 80, 403, 301, minimized_for_ms=4000)
        run = self.record("Restored Late", (100, 80, 400, 300))
        target.first("restored ")
        self.assertIn('a window titled "Restored Late" exists but is minimized; waiting for it to be shown',
                      run.diagnostic_texts())

    def test_a_hidden_window_above_a_shown_one_of_the_same_title_is_passed_over(self):
        self.open_target("Twin", 120, 90, 323, 243)
        self.open_target("Twin", 500, 300, 160, 120, never_show=True)  # created last: above
        run = self.record("Twin", (120, 90, 320, 240))
        self.assertFalse(any("exists but is" in text for text in run.diagnostic_texts()))

    def test_a_window_partly_off_the_screen_is_clipped(self):
        self.open_target("Off Left", -50, 700, 403, 301)
        self.record("Off Left", (0, 700, 352, 100))


if __name__ == "__main__":
    unittest.main()
