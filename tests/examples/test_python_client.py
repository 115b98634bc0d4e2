"""The Python client's parts that need no Windows: its composition against
the shared vectors, its reading of the judge's answer and of a file's state."""
import ctypes
import os
import pathlib
import re
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples" / "python"))
import zeltra_recording as zr  # noqa: E402

ESCAPES = {"\\": "\\", "t": "\t", "0": "\0"}


def unescape(field):
    """\\\\, \\t, \\0 and \\uXXXX; anything else after a backslash is a fault of the file."""
    return re.sub(r"\\(u[0-9A-Fa-f]{4}|.|$)",
                  lambda m: chr(int(m[1][1:], 16)) if len(m[1]) == 5 else ESCAPES[m[1]], field)


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
