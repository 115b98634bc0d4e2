"""The control window and its stop protocol, with the real launcher under Wine."""
import os
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import CONTROL_WINDOW, ENCODING, top_level_windows, windows_path


class ControlWindowTest(WineTestCase):
    def test_the_window_is_found_by_class_and_title_and_stays_out_of_the_way(self):
        run = self.start_recording("Control Target")
        windows = [w for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW]
        self.assertEqual(len(windows), 1)
        self.assertEqual(windows[0].title, CONTROL_WINDOW)
        self.assertTrue(windows[0].visible and windows[0].iconic, "shown minimized, where it covers nothing")
        self.stop_recording(run)

    def test_a_hidden_start_keeps_the_window_hidden(self):
        run = self.start_recording("Control Target", show=0)
        windows = [w for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW]
        self.assertEqual([w.visible for w in windows], [False])
        self.stop_recording(run)

    def test_a_standard_error_handed_over_gets_every_line_and_ends_with_the_launcher(self):
        run = self.start_recording("Control Target", stderr_pipe=True)
        self.stop_recording(run)
        # Read once the launcher has exited: its end comes then, as nothing it started holds the pipe.
        lines = bytes.fromhex(run.first("stderr ")[len("stderr "):]).decode(ENCODING).split("\n")
        self.assertEqual(lines[-1], "", "whole lines only")
        self.assertEqual([line.removeprefix("ZELTRA_ScreenTool: ") for line in lines[:-1]],
                         run.diagnostic_texts())
        self.assertTrue(all(line.startswith("ZELTRA_ScreenTool: ") for line in lines[:-1]))

    def test_a_planted_taskkill_in_the_current_directory_is_not_run(self):
        planted = os.path.join(self.dir, "caller")
        os.makedirs(planted)
        marker = os.path.join(planted, "planted-ran.txt")
        for name in ("taskkill.bat", "taskkill.cmd"):
            with open(os.path.join(planted, name), "w") as f:
                f.write(f"@echo planted > \"{windows_path(marker)}\"\r\n")
        self.stop_recording(self.start_recording("Control Target", cwd=planted))
        self.log.wait_for("exit")
        self.assertFalse(os.path.exists(marker), "the planted taskkill ran")


if __name__ == "__main__":
    unittest.main()
