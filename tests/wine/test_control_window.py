"""The control window and its stop protocol, with the real launcher under Wine."""
import os
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import (CONTROL_WINDOW, STOP_MESSAGE, send_to_control_window, top_level_windows,
                              windows_path)


class ControlWindowTest(WineTestCase):
    def start_recording(self, **kwargs):
        self.open_target("Control Target")
        run = self.start_launcher(f"Control Target#{windows_path(self.output)}", **kwargs)
        run.wait_for_diagnostic("starting ")
        self.log.wait_for_ready()
        return run

    def test_the_window_is_found_by_class_and_title_and_stays_out_of_the_way(self):
        run = self.start_recording()
        windows = [w for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW]
        self.assertEqual(len(windows), 1)
        self.assertEqual(windows[0].title, CONTROL_WINDOW)
        self.assertTrue(windows[0].visible and windows[0].iconic, "shown minimized, where it covers nothing")
        self.assertTrue(send_to_control_window(STOP_MESSAGE))
        self.assertEqual(run.wait_for_exit(), 0)

    def test_a_hidden_start_keeps_the_window_hidden(self):
        run = self.start_recording(show=0)
        windows = [w for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW]
        self.assertEqual([w.visible for w in windows], [False])
        send_to_control_window(STOP_MESSAGE)
        self.assertEqual(run.wait_for_exit(), 0)

    def test_a_planted_taskkill_in_the_current_directory_is_not_run(self):
        planted = os.path.join(self.dir, "caller")
        os.makedirs(planted)
        marker = os.path.join(planted, "planted-ran.txt")
        for name in ("taskkill.bat", "taskkill.cmd"):
            with open(os.path.join(planted, name), "w") as f:
                f.write(f"@echo planted > \"{windows_path(marker)}\"\r\n")
        run = self.start_recording(cwd=planted)
        send_to_control_window(STOP_MESSAGE)
        self.assertEqual(run.wait_for_exit(), 0)
        self.log.wait_for("exit")
        self.assertFalse(os.path.exists(marker), "the planted taskkill ran")


if __name__ == "__main__":
    unittest.main()
