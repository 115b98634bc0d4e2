// The C# client's parts that need no Windows, under Mono: its composition against the shared vectors, its
// reading of the judge's answer and the file's state it hands the judge. Exits 1 on any failure.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using Zeltra.Recording;

static class VectorsCheck {
  static int failed;

  static void Expect(bool ok, string what) {
    if (ok) return;
    ++failed;
    Console.WriteLine("FAIL: " + what);
  }

  // \\, \t, \0 and \uXXXX; anything else after a backslash is a fault of the file.
  static string Unescape(string field) => Regex.Replace(field, @"\\(u[0-9A-Fa-f]{4}|.|$)", m => {
    string e = m.Groups[1].Value;
    return e.Length == 5 ? ((char)Convert.ToInt32(e.Substring(1), 16)).ToString()
        : e == "\\" ? "\\" : e == "t" ? "\t" : e == "0" ? "\0" : throw new FormatException("escape \\" + e);
  });

  static string Composed(string launcher, string title, string output, Func<string, bool> holdsExactly) =>
      ZeltraRecording.Compose(launcher, title, output, holdsExactly, out string line) is string refusal
          ? "refused:" + refusal : line;

  static int Main(string[] args) {
    string[] lines = File.ReadAllLines(args[0], Encoding.UTF8);
    int vectors = 0;
    for (int i = 0; i < lines.Length; ++i) {
      if (lines[i].StartsWith("#")) continue;
      string[] f = lines[i].Split('\t');
      string got = f.Length == 4 ? Composed(Unescape(f[0]), Unescape(f[1]), Unescape(f[2]), t => true) : "no 4 fields";
      Expect(f.Length == 4 && got == Unescape(f[3]), "line " + (i + 1) + ": " + got);
      ++vectors;
    }
    Expect(vectors > 40, vectors + " vectors read");

    // The code page is asked of the title and the path only, before their own faults; UTF-16 units are counted.
    Func<string, bool> noOmega = t => t.IndexOf('\u03A9') < 0;
    Expect(Composed("C:\\\u03A9\\L.exe", "T", "a.avi", noOmega) == "\"C:\\\u03A9\\L.exe\" #T#a.avi", "wide path");
    Expect(Composed("L", "", "\u03A9.avi", noOmega) == "refused:kNotInLaunchersCodePage", "code page first");
    Expect(!Composed("L", "T", new string('a', 32757) + "\U0001F600", t => true).StartsWith("refused"), "32766 units");
    Expect(Composed("L", "T", new string('a', 32758) + "\U0001F600", t => true) == "refused:kCommandLineTooLong",
           "32767 units");

    string[][] judged = {
      new[] { "0", "finished: closed by the encoder\r\n", "finished" }, new[] { "1", "unfinished: x", "unfinished" },
      new[] { "2", "not-judged: x", "not-judged" }, new[] { "3", "missing: no such file", "missing" },
      new[] { "3", "empty: 0 bytes", "empty" }, new[] { "4", "not-this-run: x", "not-this-run" },
      new[] { "1", "finished: x", null }, new[] { "3", "unfinished: x", null }, new[] { "0", "unfinished: x", null },
      new[] { "64", "usage: ZELTRA_ScreenTool_check --judge FILE", null }, new[] { "-1", "", null } };
    foreach (string[] c in judged) {
      string verdict = ZeltraRecording.VerdictOf(int.Parse(c[0]), c[1]);
      Expect(verdict == c[2], "judge " + c[0] + " \"" + c[1].Trim() + "\": " + (verdict ?? "none"));
    }

    string file = Path.GetTempFileName();
    File.WriteAllBytes(file, new byte[3]);
    File.SetLastWriteTimeUtc(file, new DateTime(1970, 1, 1, 0, 0, 1, DateTimeKind.Utc));
    Expect(ZeltraRecording.NotedState(file) == "3,116444736010000000", "noted " + ZeltraRecording.NotedState(file));
    File.Delete(file);
    Expect(ZeltraRecording.NotedState(file) == "0,0" && ZeltraRecording.NotedState(Path.GetTempPath()) == "0,0",
           "no file noted as 0,0");
    if (IntPtr.Size == 8) {  // Win64's layout: a 64-bit Mono lays it out alike
      Expect(Marshal.SizeOf(typeof(ZeltraRecording.StartupInfo)) == 104 &&
             Marshal.OffsetOf(typeof(ZeltraRecording.StartupInfo), "stdError").ToInt32() == 96, "STARTUPINFOW");
    }

    Console.WriteLine(vectors + " vectors; " + (failed == 0 ? "all checks passed" : failed + " failed"));
    return failed == 0 ? 0 : 1;
  }
}
