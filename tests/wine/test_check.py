"""The machine check, run under Wine as a person runs it, with the real encoder,
alone and behind the adapter (a build that lists no devices): every step
passing but the framed window's, which Wine cannot show; each failure where it
belongs (exit 1, its one clear line, nothing left running); Ctrl+C during the
recording; step 5 reading the launcher's standard error while another viewer
holds the debug-output buffer; a version.dll planted beside it not loaded;
--judge on files the real encoder wrote."""
import os
import shutil
import subprocess
import unittest

from tests.wine import test_real_recording
from tests.wine.wine_case import WineTestCase
from winebench.runner import (BOUND, BUILD_DIR, WINE, LauncherRun, ReportingProcess, StandInLog, ask, bench_tool,
                              linux_pids, wait_until, windows_path)

PLANTED_DLL = os.path.join(BUILD_DIR, "planted", "version.dll")
# Under Wine the window manager frames windows, not Windows: the framed window's step cannot run.
STEP_7 = "step 7 (A framed window, recorded without what lies behind it)"
STEP_7_NOT_RUN = "[skip] not run: under Wine "


class CheckTest(WineTestCase):
    def run_check(self, folder, *args, env=None):
        """The exit code and the lines printed; fails unless nothing it started is left running."""
        result = subprocess.run([WINE, os.path.join(folder, "ZELTRA_ScreenTool_check.exe"), *args],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=3 * BOUND, check=False, env=env)
        lines = result.stdout.decode("cp1252").splitlines()
        self.assert_nothing_left_running(lines)
        return result.returncode, lines

    def assert_nothing_left_running(self, lines):
        wait_until(lambda: not self.left_running() - self.others, f"nothing left running; report: {lines}")

    others = set()  # what the test itself runs

    def left_running(self):
        """Launchers and encoders of this test's folders (not other tests' on the machine)."""
        return {pid for pid in linux_pids(os.path.basename(self.dir)) if pid != os.getpid()}

    def assert_says(self, lines, start):
        self.assertTrue(any(line.strip().startswith(start) for line in lines), f"no '{start}' in {lines}")

    def test_every_step_passes_with_the_real_encoder(self):
        # The adapter answers the check's questions itself, as a build that lists no devices (some
        # leave gdigrab out of -devices): the check asks about gdigrab by name. It runs from a folder
        # the code page cannot hold, as a per-user install under such a user name does: the check
        # starts the launcher there through the caller header's wide call. In the first row another
        # viewer holds the debug-output buffer: step 5 reads the launcher's standard error instead.
        rows = [("real", None, ["[ok]   the encoder finished on its stop key, typed by the launcher",
                                "another debug-output viewer holds the buffer; the lines from the launcher's "
                                "standard error:", "launcher says: starting "]),
                ("adapter", test_real_recording.FOLDER,
                 ["[ok]   the stop command alone finished the encoder",
                  "[ok]   its standard error, handed over by the caller header, carried the same lines"])]
        viewer = ReportingProcess(bench_tool("viewer"))
        self.addCleanup(viewer.stop)
        self.assertEqual(viewer.wait_for(lambda line: True, "the viewer's first line"), "holding")
        for encoder, name, says in rows:
            with self.subTest(encoder=encoder):
                code, lines = self.run_check(self.install(encoder, name))
                viewer.stop()  # the first row's alone
                self.assertEqual((code, lines[-1]), (0, f"verdict: passed; not run: {STEP_7}"), lines)
                for said in [STEP_7_NOT_RUN, "[ok]   the encoder closed the file", "running under Wine ",
                             "[ok]   Z:", *says]:  # "[ok]   Z:": the encoder's version line
                    self.assert_says(lines, said)
                self.assertFalse(any("[FAIL]" in line for line in lines), lines)

    def test_judge_gives_each_verdict_its_exit_code(self):
        fixtures = os.path.join(os.path.dirname(__file__), "..", "unit", "fixtures")
        cut = os.path.join(self.dir, "cut.avi")
        with open(os.path.join(fixtures, "stopped.avi"), "rb") as f, open(cut, "wb") as out:
            out.write(f.read()[:3000])
        stopped = os.path.join(fixtures, "stopped.avi")
        before = os.stat(stopped)
        noted = f"{before.st_size},{before.st_mtime_ns // 100 + 116444736000000000}"
        rows = [([stopped], 0, "finished: "), ([os.path.join(fixtures, "ended.avi")], 1, "unfinished: "),
                ([cut], 1, "unfinished: "), ([os.path.join(self.dir, "none.avi")], 3, "missing: "),
                ([stopped, "--since", noted], 4, "not-this-run: "), ([stopped, "--since", "0,0"], 0, "finished: "),
                ([stopped, "--since", "12"], 64, "usage: ")]
        for files, code, verdict in rows:
            args = [windows_path(files[0]), *files[1:]]
            with self.subTest(args=args):
                got, lines = self.run_check(self.install(None), "--judge", *args)
                self.assertEqual((got, len(lines), lines[0][:len(verdict)]), (code, 1, verdict), lines)

    def test_each_failure_is_named_in_its_step(self):
        running = self.install("stand-in")
        rows = [("an encoder without libxvid", "stand-in", "libxvid", "[FAIL] ffmpeg.exe has no libxvid encoder", 3),
                ("an encoder without gdigrab", "stand-in", "gdigrab", "[FAIL] ffmpeg.exe has no gdigrab input", 3),
                ("no ffmpeg.exe", None, "", "[FAIL] no ffmpeg.exe beside the launcher", 3),
                ("an output folder the encoder cannot write into", "real", "",
                 "[FAIL] the encoder ended before the file grew", 4),
                ("an ffmpeg.exe running", "real", "", "[FAIL] an ffmpeg.exe is running", 2)]  # last: it stays running
        for name, encoder, without, failure, step in rows:
            with self.subTest(name):
                folder = self.install(encoder)
                args, env = [], dict(os.environ, ZELTRA_STAND_IN_WITHOUT=without)
                if name == "an ffmpeg.exe running":
                    other = ReportingProcess([os.path.join(running, "ffmpeg.exe"), "-i", "desktop"])
                    self.addCleanup(other.stop)
                    StandInLog(running).wait_for("start")
                    self.others = self.left_running()
                if name.startswith("an output folder"):
                    os.makedirs(os.path.join(folder, "out", "check-recording.avi"))  # a directory where the file goes
                    args = [windows_path(os.path.join(folder, "out"))]
                code, lines = self.run_check(folder, *args, env=env)
                self.assertEqual(code, 1, lines)
                self.assert_says(lines, failure)
                if step == 3:  # the encoder's lack named once, nothing after it
                    self.assertEqual(sum("[FAIL]" in line for line in lines), 1, lines)
                self.assertTrue(lines[-1].startswith(f"verdict: FAILED at step {step} "), lines)
                if name.startswith("an output folder"):  # the launcher watched its encoder and read its exit
                    self.assert_says(lines, "launcher says: the encoder ended on its own with exit code 1 after ")
                if name == "an ffmpeg.exe running":
                    self.assertEqual(self.left_running(), self.others, "the running encoder is left alone")

    def test_ctrl_c_during_the_recording_stops_it_and_leaves_nothing(self):
        # On a console of its own, as when started from Explorer: Ctrl+C goes to a console. Under Wine the
        # launcher, a GUI program, shares that console and group, so the Ctrl+C reaches it and its encoder as
        # well (on Windows it has no console); what holds on both: the check says it was interrupted, removes
        # its folder, exits with 1, and nothing runs on.
        folder = self.install("real")
        check = LauncherRun(folder, "", plain=True, console=True,
                            launcher=os.path.join(folder, "ZELTRA_ScreenTool_check.exe"))
        self.addCleanup(check.stop)
        check.wait_for(lambda line: line.startswith("launcher says: starting "), "the encoder's start")
        check.wait_for(lambda line: "s from there" in line, "the recording")
        self.assertEqual(ask("ctrl-c", check.pid), ["sent"])
        exit_line = check.wait_for(lambda line: line.startswith("exit "), "the check's exit")
        lines = [line for line in check.lines if line is not None and line.startswith(("[", "removed", "verdict"))]
        self.assertEqual(exit_line.split()[1], "1", lines)
        self.assertTrue(any(line.startswith("[stop] interrupted by Ctrl+C") for line in lines), lines)
        folder_removed = f"\\ZELTRA_ScreenTool_check-{check.pid}\\ (--keep keeps it)"
        self.assertTrue(any(line.startswith("removed ") and line.endswith(folder_removed) for line in lines), lines)
        self.assertEqual(lines[-1], "verdict: interrupted at step 4 (A real recording through the launcher)")
        self.assert_nothing_left_running(lines)

    def test_the_reader_catches_up_with_a_line_whose_writer_has_returned(self):
        # Step 5 reads the launcher's lines once it has exited: its last line must be handled by then.
        self.assertEqual(ask("viewer", "catch-up"), ["handled"])

    def test_a_version_dll_planted_beside_the_check_is_not_used(self):
        # Wine prefers its own version.dll to one beside a program unless told otherwise; Windows does not.
        # Wine's own DLLs then load the planted one in any program and ask it about the program itself:
        # what the check asks is the launcher's version record.
        folder = self.install(None)
        shutil.copy(PLANTED_DLL, folder)
        overrides = ";".join(filter(None, [os.environ.get("WINEDLLOVERRIDES"), "version=n,b"]))
        code, lines = self.run_check(folder, env=dict(os.environ, WINEDLLOVERRIDES=overrides))
        calls = []
        if os.path.exists(os.path.join(folder, "planted-version-dll-called")):
            with open(os.path.join(folder, "planted-version-dll-called"), encoding="ascii") as f:
                calls = f.read().splitlines()
        launcher = windows_path(os.path.join(folder, "ZELTRA_ScreenTool.exe"))
        self.assertEqual([call for call in calls if call.endswith(launcher)], [],
                         "the check read the launcher's version through the version.dll beside it")
        # The system's version.dll, loaded by its full path, reads it.
        shown = f"launcher: {launcher}, version "
        self.assert_says(lines, shown)
        self.assertFalse(any(line.strip().startswith(shown + "unknown") for line in lines), lines)
        self.assertEqual(code, 1, lines)  # no ffmpeg.exe beside it: step 3 fails, as meant

if __name__ == "__main__":
    unittest.main()
