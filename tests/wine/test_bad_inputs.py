"""Bad inputs and faults, each a whole run of the real launcher under Wine
with a defined outcome: exit code 0 always, whether the stop command ran and
an encoder was launched, which diagnostic line appeared, and no box shown.

Rows covered elsewhere, not repeated here:
- texts without an output path, stop messages repeated or followed by a close:
  the unit tests, where a fault of the logic shows
- an empty command line: test_invocation_and_region.InvocationTest
- a title of non-ASCII characters: test_recording_start (titles with blanks and non-ASCII)
- a path ending in a backslash: test_recording_start (output paths reach the encoder unchanged)
- no encoder beside the launcher: test_recording_start.NoEncoderTest
- a taskkill.bat in the current directory: test_control_window
"""
import os
import shutil
import unittest
from dataclasses import dataclass, field

from tests.wine.wine_case import WineTestCase
from winebench.runner import (LAUNCHER, STAND_IN, STOP_MESSAGE, StandInLog, send_to_control_window,
                              top_level_windows, windows_path)

QUOTE_REFUSED = "the output path holds a double quote"
TARGET = "Row Target"


@dataclass
class Row:
    name: str
    arguments: str
    target: bool = False          # whether a window titled TARGET is open
    stops: list = field(default_factory=list)  # (message, count) sent once the launcher waits or records
    stop_commands: int = 0        # how many times the stop command runs
    launched: bool = False
    diagnostic: str = ""          # a diagnostic line that must appear (its start)
    folder: str = ""              # install the launcher in this subfolder


def rows(output):
    return [
        Row("whole argument quoted", f'"{TARGET}#{output}"', target=True, diagnostic=QUOTE_REFUSED),
        Row("double quote inside the path", f'{TARGET}#C:\\a"b\\#c.avi', target=True, diagnostic=QUOTE_REFUSED),
        Row("title of 30,000 characters", "T" * 30000 + f"#{output}", stops=[(STOP_MESSAGE, 1)],
            stop_commands=1, diagnostic="stopped while waiting for the window"),
        Row("installed in a folder with blanks and non-ASCII characters", f"{TARGET}#{output}", target=True,
            stops=[(STOP_MESSAGE, 1)], stop_commands=1, launched=True, diagnostic="starting ",
            folder="Program Files (x86)\\Zeltra \u00c6r\u00f8 \u00bbTools\u00ab"),
    ]


class BadInputTest(WineTestCase):
    def run_row(self, row):
        install = self.dir
        if row.folder:
            install = os.path.join(self.dir, *row.folder.split("\\"))
            os.makedirs(install)
            shutil.copy(LAUNCHER, install)
            shutil.copy(STAND_IN, install)
        if row.target:
            self.open_target(TARGET)
        run = self.start_launcher(row.arguments, launcher=os.path.join(install, "ZELTRA_ScreenTool.exe"))
        if row.stops:
            run.wait_for_diagnostic("starting " if row.target else "waiting for the window")
            if row.launched:
                StandInLog(install).wait_for_ready()
            boxes = [w for w in top_level_windows(run.pid) if w.visible and w.class_name != "ZELTRA_ScreenTool"]
            self.assertEqual(boxes, [], "the launcher shows no window but its control window")
            for message, count in row.stops:
                self.assertTrue(send_to_control_window(message, count=count))
        # A modal box would keep the launcher from exiting: exiting proves there was none.
        self.assertEqual(run.wait_for_exit(), 0)
        self.assertEqual(run.stop_commands(), row.stop_commands)
        self.assertEqual(bool(run.launches()), row.launched)
        if row.diagnostic:
            self.assertTrue(any(t.startswith(row.diagnostic) for t in run.diagnostic_texts()), run.diagnostic_texts())
        if row.launched and row.folder:
            self.assertIn(windows_path(install) + "\\ffmpeg.exe ", run.launches()[0])
            self.assertEqual(len(StandInLog(install).starts()), 1)

    def test_each_row_has_its_defined_outcome(self):
        for row in rows(windows_path(self.output)):
            with self.subTest(row=row.name):
                self.run_row(row)


if __name__ == "__main__":
    unittest.main()
