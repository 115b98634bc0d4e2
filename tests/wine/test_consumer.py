"""The consumer project's client (tests/consumer), built from this build's ZIP
through its CMake package: run from a folder holding what the package's
zeltra_screentool_copy_beside put beside it and the real encoder, it records a
window into a finished file. tests/consumer/check-consumer.sh builds it."""
import filecmp
import os
import shutil
import subprocess
import time
import unittest

from tests.wine import test_real_recording
from tests.wine.wine_case import WineTestCase
from winebench.runner import LAUNCHER, ReportingProcess, windows_path

CONSUMER_DIR = os.environ.get("ZELTRA_CONSUMER_DIR", "")
PROGRAMS = ["client.exe", "ZELTRA_ScreenTool.exe", "ZELTRA_ScreenTool_check.exe"]


class ConsumerTest(WineTestCase):
    with_encoder = False

    def setUp(self):
        super().setUp()
        self.assertTrue(os.path.isfile(os.path.join(CONSUMER_DIR, "client.exe")),
                        f"no client in {CONSUMER_DIR!r}: run tests/consumer/check-consumer.sh")
        self.assertTrue(os.path.isfile(test_real_recording.REAL_ENCODER), "no real encoder: run scripts/fetch-encoder.sh")
        for program in PROGRAMS:  # over the launcher the base put here
            shutil.copy(os.path.join(CONSUMER_DIR, program), self.dir)
        os.symlink(test_real_recording.REAL_ENCODER, os.path.join(self.dir, "ffmpeg.exe"))

    def test_the_client_built_from_the_zip_records_a_window_into_a_finished_file(self):
        self.assertTrue(filecmp.cmp(os.path.join(self.dir, "ZELTRA_ScreenTool.exe"), LAUNCHER, shallow=False),
                        "the launcher copied beside the client is this build's")
        title = "Consumer Window"
        self.open_target(title, 120, 90, 403, 301)
        client = ReportingProcess([os.path.join(self.dir, "client.exe"), title, windows_path(self.output)],
                                  stdin=subprocess.PIPE)
        self.addCleanup(client.stop)
        client.wait_for(lambda line: line == "started", "started")
        self.wait_for_growth(self.output)
        time.sleep(test_real_recording.RECORD_SECONDS)  # something to record; its length is checked loosely
        client.process.stdin.write(b"\n")
        client.process.stdin.flush()
        self.assertEqual(client.wait_for(lambda line: line.startswith("stopped"), "stopped"), "stopped finished")
        test_real_recording.RealRecordingTest.assert_finished_recording(self, self.output, 400, 300)


if __name__ == "__main__":
    unittest.main()
