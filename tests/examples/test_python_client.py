"""The Python client's parts that run anywhere: its composition against the shared vectors, its reading of the
judge's answer and the file's state it hands the judge, and its stop against a stand-in for Windows."""
import ctypes, os, pathlib, re, sys, tempfile, unittest  # noqa: E401
from unittest import mock

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples" / "python"))
import zeltra_recording as zr  # noqa: E402

def unescape(field):  # \\, \t, \0 and \uXXXX; anything else after a backslash is a fault of the file
    escapes = {"\\": "\\", "t": "\t", "0": "\0"}
    return re.sub(r"\\(u[0-9A-Fa-f]{4}|.|$)", lambda m: chr(int(m[1][1:], 16)) if len(m[1]) == 5 else escapes[m[1]],
                  field)

class FakeWindows:
    """kernel32 and user32 as a stop calls them: another launcher's control window (8) always, this launcher's (7, of
    process 42) from the given look on; a post it takes ends the launcher. Posts and job limits are kept in order."""

    def __init__(self, appears_at, post_error, exited):
        self.appears_at, self.post_error, self.exited, self.looks, self.calls = appears_at, post_error, exited, 0, []
    def FindWindowExW(self, parent, after, *names):
        self.looks += after is None
        return {None: 8, 8: 7 if self.appears_at and self.looks >= self.appears_at else None}.get(after)
    def GetWindowThreadProcessId(self, window, owner):
        owner._obj.value = {8: 99, 7: 42}[window]
        return window == 8 or bool(self.appears_at)
    def PostMessageW(self, window, message, *_):
        self.calls.append(("post", window, message))
        self.appears_at, self.exited = (self.appears_at, self.exited) if self.post_error else (None, True)
        return not self.post_error
    def WaitForSingleObject(self, process, ms):
        return 0 if self.exited else 0x102
    def SetInformationJobObject(self, job, kind, limits, size):
        self.calls.append(("limits", limits._obj[4]))
        return 1

class PythonClientTest(unittest.TestCase):
    def test_composes_and_refuses_as_the_vectors_say(self):
        lines = (ROOT / "tests/caller/caller_vectors.tsv").read_text(encoding="utf-8").splitlines()
        cases = [(number, line.split("\t")) for number, line in enumerate(lines, 1) if not line.startswith("#")]
        self.assertGreater(len(cases), 40)
        for number, fields in cases:
            self.assertEqual(len(fields), 4, f"line {number}")
            refusal, line = zr.compose_command_line(*map(unescape, fields[:3]))
            self.assertEqual(f"refused:{refusal}" if refusal else line, unescape(fields[3]), f"line {number}")
        # The code page is asked of the title and the path only, before their own faults; UTF-16 units are counted.
        no_omega = lambda text: "\u03a9" not in text  # noqa: E731
        self.assertIsNone(zr.compose_command_line("C:\\\u03a9\\L.exe", "T", "a.avi", no_omega)[0])
        self.assertEqual(zr.compose_command_line("L", "", "\u03a9.avi", no_omega)[0], "kNotInLaunchersCodePage")
        self.assertIsNone(zr.compose_command_line("L", "T", "a" * 32757 + "\U0001f600")[0])  # '"L" #T#': 7 units
        self.assertEqual(zr.compose_command_line("L", "T", "a" * 32758 + "\U0001f600")[0], "kCommandLineTooLong")

    def test_hands_the_judge_the_files_state_and_reads_its_exit_code_with_its_line(self):
        for code, said, verdict in [(0, "finished: closed by the encoder\r\n", "finished"), (64, "usage: x", None),
                                    (1, "unfinished: x", "unfinished"), (2, "not-judged: x", "not-judged"),
                                    (3, "missing: no such file", "missing"), (3, "empty: 0 bytes", "empty"),
                                    (4, "not-this-run: x", "not-this-run"), (1, "finished: x", None),
                                    (3, "unfinished: x", None), (0, "unfinished: x", None)]:
            self.assertEqual(zr.verdict_of(code, said), verdict, (code, said))
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "clip.avi")
            self.assertEqual((zr.file_state(path), zr.file_state(folder)), ((0, 0), (0, 0)))
            pathlib.Path(path).write_bytes(b"abc")
            os.utime(path, ns=(0, 1_000_000_100))
            self.assertEqual(zr.file_state(path), (3, 116444736010000001))

    def test_posts_to_its_own_window_once_it_appears_and_lifts_kill_on_close_only_once_it_has_gone(self):
        posted, lifted = ("post", 7, 0x401), ("limits", 0x800)
        for appears_at, post_error, exited, encoder, outcome, taken, calls in [
                (3, 0, False, True, "stopped", True, [posted, lifted]),  # the stop came before the window
                (1, 0, False, False, "stopped", False, [posted, lifted]),  # no encoder ran: not this recording
                (1, 5, False, True, "post-failed", False, [posted]),  # the job still ends the launcher with the caller
                (None, 0, False, True, "stop-not-accepted", False, []),
                (None, 0, True, True, "ended-before-stop", False, [])]:
            fake = FakeWindows(appears_at, post_error, exited)
            with mock.patch.multiple(zr, kernel32=fake, user32=fake, create=True), \
                    mock.patch.object(zr.ctypes, "get_last_error", lambda: fake.post_error, create=True), \
                    mock.patch.multiple(zr.Recording, encoder_runs=lambda self: encoder, judge=lambda self: "finished",
                                        reasons=lambda self: []):
                stopped = zr.Recording(process=1, process_id=42, job=3).stop(100)
            self.assertEqual((stopped.outcome, stopped.post_error, stopped.taken, fake.calls),
                             (outcome, post_error, taken, calls))

    @unittest.skipUnless(ctypes.sizeof(ctypes.c_void_p) == 8, "Win64's layout: a 64-bit Python lays it out alike")
    def test_lays_out_startupinfo_as_windows_reads_it(self):
        self.assertEqual((ctypes.sizeof(zr.StartupInfo), zr.StartupInfo.flags.offset, zr.StartupInfo.stderr.offset),
                         (104, 60, 96))

if __name__ == "__main__":
    unittest.main()
