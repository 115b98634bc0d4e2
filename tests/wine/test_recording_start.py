"""The recording start, from invocation to a running encoder and back to the
stop, with the real launcher and the stand-in encoder under Wine: the
invocation as the start-up code and the code page give it, the wait for a
window created later, the control window, the exact launch, the lines on a
standard error handed over. The window
recorded is the one with the title as it is shown: not while it is still
minimized, and not a hidden window of the same title above a shown one; of a
window partly off the screen, the part on it."""
import os
import shutil
import subprocess
import unittest

from tests.wine.wine_case import WineTestCase
from winebench.runner import (BOUND, CONTROL_WINDOW, ENCODING, STAND_IN, WINE, StandInLog, expected_parameters,
                              top_level_windows, windows_path)


class RecordingStartTest(WineTestCase):
    def record_and_stop(self, title, path_text=None, **kwargs):
        """A launcher started for title once its windows are set up, recording and stopped: the run, the
        encoder's start and the control windows while it recorded."""
        run = self.start_launcher(f"{title}#{path_text or windows_path(self.output)}", **kwargs)
        self.log.wait_for_ready()
        control_windows = [w for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW]
        self.stop_recording(run)
        return run, self.log.starts()[0], control_windows

    def record_region(self, title, region):
        """The run, once it has recorded that region (x, y, width, height) of the window of that title."""
        run, start, _ = self.record_and_stop(title)
        self.assertIn(" -offset_x {} -offset_y {} -video_size {}x{} ".format(*region), start["parameters"])
        return run

    def test_the_encoder_gets_the_exact_parameter_line_and_starts_minimized_without_focus(self):
        # A taskkill planted in the caller's current directory, which the stop command must not run.
        caller_dir = os.path.join(self.dir, "caller")
        os.makedirs(caller_dir)
        marker = os.path.join(caller_dir, "planted-ran.txt")
        for name in ("taskkill.bat", "taskkill.cmd"):
            with open(os.path.join(caller_dir, name), "w") as f:
                f.write(f"@echo planted > \"{windows_path(marker)}\"\r\n")
        # "#" in the path's tail, blanks, and a trailing backslash before the closing quote.
        path = windows_path(self.dir) + "\\with blanks\\#hash#\\"
        head, _, tail = path.partition("\\")
        self.open_target("Exact Target")
        run, start, control_windows = self.record_and_stop("Exact Target", f"{head}\\#{tail}", cwd=caller_dir)
        self.assertEqual(start["parameters"], expected_parameters(100, 80, 400, 300, f'"{path}\\"'))
        self.assertEqual(start["last_argument"], path)
        self.assertTrue(start["uses_show"])
        self.assertEqual(start["show"], 7, "SW_SHOWMINNOACTIVE")
        # The encoder beside the launcher ran, in the caller's current directory.
        self.assertEqual(start["cwd"].lower(), windows_path(caller_dir).lower())
        self.assertEqual([t for t in run.diagnostic_texts() if t.startswith("starting ")],
                         [f"starting {windows_path(self.dir)}\\ffmpeg.exe {start['parameters']}"])
        # One control window, found by class and title, shown minimized, where it covers nothing.
        self.assertEqual([(w.title, w.visible, w.iconic) for w in control_windows], [(CONTROL_WINDOW, True, True)])
        self.assertFalse(os.path.exists(marker), "the planted taskkill ran")

    def test_a_standard_error_handed_over_gets_every_line_and_ends_with_the_launcher(self):
        run = self.start_recording("Reasons Target", stderr_pipe=True)
        self.stop_recording(run)
        # Read to the pipe's end, which comes with the launcher's exit: nothing it started holds the pipe.
        lines = bytes.fromhex(run.first("stderr ")[len("stderr "):]).decode(ENCODING).split("\n")
        self.assertEqual(lines[-1], "", "whole lines only")
        self.assertTrue(all(line.startswith("ZELTRA_ScreenTool: ") for line in lines[:-1]), lines)
        self.assertEqual([line[len("ZELTRA_ScreenTool: "):] for line in lines[:-1]], run.diagnostic_texts())

    def test_a_launcher_started_first_and_hidden_waits_for_a_title_beginning_with_a_non_ascii_letter(self):
        # The program name is skipped on the wide command line, and the rest found in the ANSI code
        # page by FindWindowEx; the window, created while the launcher waits, wakes its window watch.
        title = "\u00c4pfel \u00bbFenster\u00ab"
        run = self.start_launcher(f"{title}#{windows_path(self.output)}", show=0)
        run.wait_for_diagnostic(f'waiting for the window titled "{title}"')
        self.assertEqual(self.log.starts(), [])
        self.assertEqual([w.visible for w in top_level_windows(run.pid) if w.class_name == CONTROL_WINDOW], [False],
                         "a hidden start keeps the control window hidden")
        self.open_target(title, 64, 48, 320, 240)
        run.wait_for_diagnostic("found the window: rectangle 64,48 to 384,288, capturing 320x240 at 64,48")
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

    def test_an_encoder_still_finishing_its_file_is_waited_for_before_the_new_one_starts(self):
        other = os.path.join(self.dir, "other")
        os.makedirs(other)
        # Named as taskkill matches it, without regard to case.
        shutil.copy(STAND_IN, os.path.join(other, "FFmpeg.EXE"))
        earlier_log = StandInLog(other)
        # It takes its time to finish, as an encoder writing a long file's end does.
        earlier = subprocess.Popen([WINE, os.path.join(other, "FFmpeg.EXE"), "earlier"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env=dict(os.environ, ZELTRA_STAND_IN_CLOSE_MS="1500"))
        self.addCleanup(earlier.wait, BOUND)
        earlier_log.wait_for_ready()  # the stop command before the launch asks it to close
        self.open_target("Second Target")
        run, start, _ = self.record_and_stop("Second Target")
        self.assertEqual(run.stop_commands(), 2, "one before the launch, one for the stop")
        self.assertLess(earlier_log.wait_for("close")[0].tick, start["tick"])
        self.assertLess(earlier_log.wait_for("exit")[0].tick, start["tick"], "the earlier one had finished")
        gone = [t for t in run.diagnostic_texts() if t.startswith("the ffmpeg.exe asked to close had gone ")]
        self.assertEqual(len(gone), 1, run.diagnostic_texts())

    def test_a_minimized_window_partly_off_the_screen_is_recorded_once_restored_and_clipped(self):
        target = self.open_target("Restored Late", -50, 700, 403, 301, minimized_for_ms=4000)
        run = self.record_region("Restored Late", (0, 700, 352, 100))
        target.first("restored ")
        self.assertIn('a window titled "Restored Late" exists but is minimized; waiting for it to be shown',
                      run.diagnostic_texts())

    def test_a_hidden_window_above_a_shown_one_of_the_same_title_is_passed_over(self):
        self.open_target("Twin", 120, 90, 323, 243)
        self.open_target("Twin", 500, 300, 160, 120, never_show=True)  # created last: above
        run = self.record_region("Twin", (120, 90, 320, 240))
        self.assertFalse(any("exists but is" in text for text in run.diagnostic_texts()))

    def test_without_an_encoder_the_stop_is_still_served_and_no_box_shown(self):
        os.remove(os.path.join(self.dir, "ffmpeg.exe"))
        self.open_target("Lonely Target")
        run = self.start_launcher(f"Lonely Target#{windows_path(self.output)}")
        run.wait_for_diagnostic("could not start ")
        titles = [(w.class_name, w.title) for w in top_level_windows(run.pid) if w.visible]
        self.assertEqual(titles, [("ZELTRA_ScreenTool", "ZELTRA_ScreenTool")])
        self.stop_recording(run)
        self.assertEqual(run.stop_commands(), 1)



if __name__ == "__main__":
    unittest.main()
