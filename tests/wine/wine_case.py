"""The base of the Wine test cases: a fresh install directory per test."""
import os
import shutil
import tempfile
import unittest

from winebench.runner import (LAUNCHER, STAND_IN, LauncherRun, StandInLog, TargetWindow, stop_every_encoder,
                              window_manager_running)


class WineTestCase(unittest.TestCase):
    """A fresh install directory per test, with the launcher and (unless told
    otherwise) the stand-in encoder beside it; leftovers are stopped after."""

    with_encoder = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not window_manager_running():
            raise AssertionError(f"no window manager on DISPLAY={os.environ.get('DISPLAY')}: start the display "
                                 "through scripts/wine-env.sh (wine_env_start)")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zeltra-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(stop_every_encoder)
        shutil.copy(LAUNCHER, self.dir)
        if self.with_encoder:
            shutil.copy(STAND_IN, self.dir)
        self.log = StandInLog(self.dir)
        self.output = os.path.join(self.dir, "out.avi")

    def start_launcher(self, arguments, **kwargs):
        run = LauncherRun(self.dir, arguments, **kwargs)
        self.addCleanup(run.stop)
        return run

    def open_target(self, title, x=100, y=80, width=403, height=301, **kwargs):
        target = TargetWindow(title, x, y, width, height, **kwargs)
        self.addCleanup(target.stop)
        return target
