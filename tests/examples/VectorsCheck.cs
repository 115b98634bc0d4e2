// The C# client's parts that need no Windows, under Mono: its composition
// against the shared vectors, its reading of the judge's answer and of a
// file's state. Prints "N passed, M failed"; exits 1 on any failure.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using Zeltra.Recording;

static class VectorsCheck {
  static int passed, failed;

  static void Expect(bool ok, string what) {
    if (ok) { ++passed; return; }
    ++failed;
    Console.WriteLine("FAIL: " + what);
  }

  // \\, \t, \0 and \uXXXX; anything else after a backslash is a fault of the file.
  static string Unescape(string field) =>
      Regex.Replace(field, @"\\(u[0-9A-Fa-f]{4}|.|$)", m => {
        string e = m.Groups[1].Value;
        if (e.Length == 5) return ((char)Convert.ToInt32(e.Substring(1), 16)).ToString();
        if (e == "\\") return "\\";
        if (e == "t") return "\t";
        if (e == "0") return "\0";
        throw new FormatException("unknown escape \\" + e + " in " + field);
      });

  static int Main(string[] args) {
    int line = 0;
    foreach (string text in File.ReadAllLines(args[0], Encoding.UTF8)) {
      ++line;
      if (text.StartsWith("#")) continue;
      string[] f = text.Split('\t');
      if (f.Length != 4) { Expect(false, "line " + line + " has " + f.Length + " fields"); continue; }
      Refusal refusal = Composition.Compose(Unescape(f[0]), Unescape(f[1]), Unescape(f[2]), t => true,
                                            out string composed);
      string got = refusal == Refusal.None ? composed : "refused:k" + refusal;
      Expect(got == Unescape(f[3]), "line " + line + ": " + got);
    }
    Expect(passed > 0, "no vectors read");

    string unused;
    // The launcher's path is read wide, the title and output path in the code page, before their own faults.
    Func<string, bool> noOmega = t => t.IndexOf('\u03A9') < 0;
    Expect(Composition.Compose("C:\\\u03A9\\L.exe", "T", "a.avi", noOmega, out unused) == Refusal.None, "wide path");
    Expect(Composition.Compose("L", "", "\u03A9.avi", noOmega, out unused) == Refusal.NotInLaunchersCodePage,
           "code page before an empty title");
    // "L" #T# is 7 UTF-16 units; a character past U+FFFF is two.
    Expect(Composition.Compose("L", "T", new string('a', 32757) + "\U0001F600", t => true, out unused) ==
           Refusal.None, "32766 units");
    Expect(Composition.Compose("L", "T", new string('a', 32758) + "\U0001F600", t => true, out unused) ==
           Refusal.CommandLineTooLong, "32767 units");

    var judged = new[] { Tuple.Create(0, "finished: closed by the encoder\r\n", "finished"),
                         Tuple.Create(3, "empty: 0 bytes", "empty"), Tuple.Create(3, "missing: none", "missing"),
                         Tuple.Create(4, "not-this-run: unchanged", "not-this-run"),
                         Tuple.Create(1, "finished: closed", (string)null), Tuple.Create(0, "unfinished: open", (string)null),
                         Tuple.Create(64, "usage: --judge FILE", (string)null), Tuple.Create(-1, "", (string)null) };
    foreach (var c in judged) {
      string verdict = Composition.VerdictOf(c.Item1, c.Item2, out string why);
      Expect(verdict == c.Item3 && (verdict == null || why == c.Item2.Substring(verdict.Length + 2).Trim()),
             "judge " + c.Item1 + " \"" + c.Item2.Trim() + "\": " + (verdict ?? "null") + ", " + why);
    }

    string file = Path.GetTempFileName();
    File.WriteAllBytes(file, new byte[3]);
    File.SetLastWriteTimeUtc(file, new DateTime(1970, 1, 1, 0, 0, 1, DateTimeKind.Utc));
    FileState state = FileState.Of(file);
    Expect(state.Size == 3 && state.LastWrite == 116444736010000000L, "file state " + state.Size + "," + state.LastWrite);
    File.Delete(file);
    Expect(FileState.Of(file).Size == 0 && FileState.Of(file).LastWrite == 0, "a missing file");
    Expect(FileState.Of(Path.GetTempPath()).LastWrite == 0, "a folder");

    if (IntPtr.Size == 8) {  // Win64's sizes: a 64-bit Mono lays them out alike
      Expect(Marshal.SizeOf(typeof(Native.StartupInfo)) == 104 && Marshal.SizeOf(typeof(Native.JobLimits)) == 144,
             "structure sizes");
    }

    Console.WriteLine(passed + " passed, " + failed + " failed");
    return failed == 0 ? 0 : 1;
  }
}
