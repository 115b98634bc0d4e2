"""The Python client's parts that need no Windows: its composition against
the shared vectors, its reading of the judge's answer and of a file's state."""
import ctypes
import os
import pathlib
import re
import sys
import tempfile
import unittest
from unittest import mock

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples" / "python"))
import zeltra_recording as zr  # noqa: E402

ESCAPES = {"\\": "\\", "t": "\t", "0": "\0"}


def unescape(field):
    """\\\\, \\t, \\0 and \\uXXXX; anything else after a backslash is a fault of the file."""
    return re.sub(r"\\(u[0-9A-Fa-f]{4}|.|$)",
                  lambda m: chr(int(m[1][1:], 16)) if len(m[1]) == 5 else ESCAPES[m[1]], field)


class FakeWindows:
    """kernel32 and user32 as far as a stop calls them: another launcher's
    control window (8) first, and this launcher's (7, process 42) from the
    given look on, gone with the launcher once a post is taken."""

    def __init__(self, window_at=None, post_error=0, exited=False):
        self.window_at, self.post_error, self.exited, self.looks, self.posts, self.limits = \
            window_at, post_error, exited, 0, [], []

    def FindWindowExW(self, parent, after, class_name, title):
        self.looks += after is None
        return 8 if after is None else 7 if after == 8 and self.window_at and self.looks >= self.window_at else None

    def GetWindowThreadProcessId(self, window, owner):
        owner._obj.value = {8: 99, 7: 42}[window]
        return window == 8 or bool(self.window_at)

    def PostMessageW(self, window, message, wparam, lparam):
        self.posts.append((window, message))
        if not self.post_error:
            self.window_at, self.exited = None, True
        return not self.post_error

    def WaitForSingleObject(self, handle, ms):
        return 0 if self.exited else 0x102

    def SetInformationJobObject(self, job, kind, limits, size):
        self.limits.append(limits._obj.flags)
        return 1

    def GetExitCodeProcess(self, process, code):
        return 1

    def QueryInformationJobObject(self, *arguments):
        return 0


class PythonClientTest(unittest.TestCase):
    def test_composes_and_refuses_as_the_vectors_say(self):
        lines = (ROOT / "tests/caller/caller_vectors.tsv").read_text(encoding="utf-8").splitlines()
        cases = [(number, line.split("\t")) for number, line in enumerate(lines, 1) if not line.startswith("#")]
        self.assertGreater(len(cases), 0)
        for number, fields in cases:
            self.assertEqual(len(fields), 4, f"line {number}")
            refusal, line = zr.compose_command_line(*map(unescape, fields[:3]))
            self.assertEqual(line if refusal is None else f"refused:{refusal}", unescape(fields[3]), f"line {number}")

    def test_refuses_a_text_the_code_page_lacks_before_its_own_faults_and_counts_utf16_units(self):
        def no_omega(text):
            return "\u03a9" not in text
        self.assertIsNone(zr.compose_command_line("C:\\\u03a9\\L.exe", "T", "a.avi", no_omega)[0])
        self.assertEqual(zr.compose_command_line("L", "", "\u03a9.avi", no_omega)[0], "kNotInLaunchersCodePage")
        # '"L" #T#' is 7 units; a character past U+FFFF is two.
        self.assertIsNone(zr.compose_command_line("L", "T", "a" * 32757 + "\U0001f600")[0])
        self.assertEqual(zr.compose_command_line("L", "T", "a" * 32758 + "\U0001f600")[0], "kCommandLineTooLong")

    def test_stops_its_own_window_once_it_appears_and_tells_a_refused_post_from_a_timeout(self):
        cases = [(FakeWindows(window_at=3), "stopped", [(7, 0x401)], [0x800]),
                 (FakeWindows(window_at=1, post_error=5), "post-failed", [(7, 0x401)], []),
                 (FakeWindows(exited=True), "ended-before-stop", [], []),
                 (FakeWindows(), "stop-not-accepted", [], [])]
        for fake, outcome, posts, limits in cases:
            with mock.patch.object(zr, "_api", (fake, fake)), \
                    mock.patch.object(zr.ctypes, "get_last_error", lambda: fake.post_error, create=True), \
                    mock.patch.object(zr.Recording, "_read_reasons", lambda self: []), \
                    mock.patch.object(zr.Recording, "_judge", lambda self: (None, "")):
                stopped = zr.Recording("L.exe", "a.avi", (0, 0), 1, 42, 3, 4, 1252).stop(100)
            self.assertEqual((stopped.outcome, stopped.post_error), (outcome, fake.post_error))
            self.assertEqual((fake.posts, fake.limits), (posts, limits), outcome)  # kill-on-close lifted once accepted

    def test_reads_the_judges_verdict_from_its_exit_code_and_line(self):
        for code, said, expected in [(0, "finished: closed by the encoder\r\n", ("finished", "closed by the encoder")),
                                     (3, "empty: 0 bytes", ("empty", "0 bytes")), (3, "missing: none", ("missing", "none")),
                                     (4, "not-this-run: unchanged", ("not-this-run", "unchanged"))]:
            self.assertEqual(zr.verdict_of(code, said), expected)
        for code, said in [(1, "finished: closed"), (0, "unfinished: open"), (64, "usage: --judge FILE"), (-1, "")]:
            self.assertIsNone(zr.verdict_of(code, said)[0], (code, said))

    def test_notes_a_files_size_and_last_write_filetime(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "clip.avi")
            self.assertEqual(zr.file_state(path), (0, 0))
            self.assertEqual(zr.file_state(folder), (0, 0))
            pathlib.Path(path).write_bytes(b"abc")
            os.utime(path, ns=(0, 1_000_000_100))
            self.assertEqual(zr.file_state(path), (3, 116444736010000001))

    @unittest.skipUnless(ctypes.sizeof(ctypes.c_void_p) == 8, "Win64's sizes: a 64-bit Python lays them out alike")
    def test_lays_out_the_structures_windows_reads_at_their_sizes(self):
        sizes = [ctypes.sizeof(s) for s in (zr._StartupInfo, zr._ProcessInformation, zr._JobLimits, zr._JobProcessIds)]
        self.assertEqual(sizes, [104, 24, 144, 8 + 64 * 8])


if __name__ == "__main__":
    unittest.main()
