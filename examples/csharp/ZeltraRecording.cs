// SPDX-License-Identifier: MIT
// Copyright (c) 2026 the ZELTRA_ScreenTool authors
//
// ZeltraRecording.cs: start and stop a ZELTRA_ScreenTool recording from C# 7,
// .NET's own libraries only, with the caller header's guards.
//
//   using (ZeltraRecording recording = ZeltraRecording.Start(@"C:\Tools\ZELTRA_ScreenTool.exe",
//                                                            "Demo Window", @"C:\rec\clip.avi")) {
//     ...
//     StopResult stopped = recording.Stop();  // one deadline, 30 s by default
//     if (stopped.Taken) { /* this run's file, closed by its encoder */ }
//   }
//
// Built with -define:ZELTRA_RECORDING_MAIN it is a program of its own:
//   ZeltraRecording.exe record <launcher> <title> <output> <seconds>
using System;
using System.ComponentModel;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Microsoft.Win32;

namespace Zeltra.Recording {

// The caller header's refusals, its names without the 'k'.
public enum Refusal {
  None, EmptyTitle, TitleHoldsHash, EmptyOutputPath, OutputPathStartsWithHash, OutputPathHoldsDoubleQuote,
  OutputPathNamesProtocol, OutputPathReadsAsOption, HoldsNul, EmptyLauncherPath, LauncherPathHoldsDoubleQuote,
  NotInLaunchersCodePage, CommandLineTooLong
}

public enum StopOutcome { Stopped, EndedBeforeStop, StopNotAccepted, PostFailed, NotExited }

public sealed class StopResult {
  public StopOutcome Outcome;
  public int PostError;          // GetLastError of a refused post
  public uint? ExitCode;         // once the launcher has exited
  public bool? EncoderAtStop;    // null: no job of its own to look in
  public string Verdict, Why;    // the judge's; Verdict null where it gave none
  public string[] Reasons;       // the launcher's diagnostic lines
  public bool Taken;             // this run's recording, closed by the encoder it had at the stop
}

public sealed class RefusedException : ArgumentException {
  public readonly Refusal Refusal;
  public RefusedException(Refusal refusal) : base("refused: k" + refusal) { Refusal = refusal; }
}

// What needs no Windows.
public static class Composition {
  public const int LongestCommandLine = 32766;  // CreateProcessW's, in UTF-16 units, its NUL not counted

  // The launcher takes everything up to the next quote as its own name.
  public static Refusal RefuseLauncherPath(string launcher) =>
      launcher.Length == 0 ? Refusal.EmptyLauncherPath
      : launcher.IndexOf('\0') >= 0 ? Refusal.HoldsNul
      : launcher.IndexOf('"') >= 0 ? Refusal.LauncherPathHoldsDoubleQuote : Refusal.None;

  public static Refusal RefuseInvocation(string title, string output) {
    if (title.IndexOf('\0') >= 0 || output.IndexOf('\0') >= 0) return Refusal.HoldsNul;
    if (title.Length == 0) return Refusal.EmptyTitle;
    if (title.IndexOf('#') >= 0) return Refusal.TitleHoldsHash;  // a leading one too: '#' ends the title
    if (output.Length == 0) return Refusal.EmptyOutputPath;
    if (output[0] == '#') return Refusal.OutputPathStartsWithHash;
    if (output.IndexOf('"') >= 0) return Refusal.OutputPathHoldsDoubleQuote;
    // The encoder reads a path beginning with '-' as an option, and one whose
    // run of these characters is followed by ':' as a protocol, but for a drive.
    if (output[0] == '-') return Refusal.OutputPathReadsAsOption;
    int run = 0;
    while (run < output.Length && (IsLetter(output[run]) || (output[run] >= '0' && output[run] <= '9') ||
                                   "+-.".IndexOf(output[run]) >= 0)) ++run;
    bool drive = run == 1 && IsLetter(output[0]);
    return run < output.Length && output[run] == ':' && !drive ? Refusal.OutputPathNamesProtocol : Refusal.None;
  }

  static bool IsLetter(char c) => (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');

  // Refused in the caller header's order. holdsExactly says whether the
  // launcher's code page holds a text as it is; the launcher reads its own
  // path wide, so only title and output path must be held there.
  public static Refusal Compose(string launcher, string title, string output, Func<string, bool> holdsExactly,
                                out string commandLine) {
    commandLine = null;
    Refusal refusal = RefuseLauncherPath(launcher);
    if (refusal == Refusal.None && !(holdsExactly(title) && holdsExactly(output))) {
      refusal = Refusal.NotInLaunchersCodePage;
    }
    if (refusal == Refusal.None) refusal = RefuseInvocation(title, output);
    if (refusal != Refusal.None) return refusal;
    // Runs of '#' before the title and before the path's head are skipped,
    // and the head ends at the next '#': so the invocation begins with '#',
    // and the path's first '#' is written twice, the tail keeping it.
    int hash = output.IndexOf('#');
    string path = hash < 0 ? output : output.Substring(0, hash) + "#" + output.Substring(hash);
    string line = "\"" + launcher + "\" #" + title + "#" + path;
    if (line.Length > LongestCommandLine) return Refusal.CommandLineTooLong;
    commandLine = line;
    return Refusal.None;
  }

  // The judge's verdict from its exit code and its line ("<verdict>: <why>");
  // null where the two disagree or the code is none of the judge's verdicts.
  public static string VerdictOf(int exitCode, string said, out string why) {
    string line = said.Trim();
    int colon = line.IndexOf(": ", StringComparison.Ordinal);
    string verdict = colon < 0 ? line : line.Substring(0, colon);
    why = colon < 0 ? "" : line.Substring(colon + 2);
    string[][] verdicts = { new[] { "finished" }, new[] { "unfinished" }, new[] { "not-judged" },
                            new[] { "missing", "empty" }, new[] { "not-this-run" } };
    if (exitCode >= 0 && exitCode < verdicts.Length && Array.IndexOf(verdicts[exitCode], verdict) >= 0) return verdict;
    why = "the judge exited with " + exitCode + ", saying \"" + line + "\"";
    return null;
  }
}

// A file's size and last-write FILETIME (100 ns units since 1601); 0 and 0 where there is none.
public struct FileState {
  public long Size, LastWrite;
  public static FileState Of(string path) {
    var file = new FileInfo(path);  // a directory is no file
    return file.Exists ? new FileState { Size = file.Length, LastWrite = file.LastWriteTimeUtc.ToFileTimeUtc() }
                       : new FileState();
  }
}

public sealed class ZeltraRecording : IDisposable {
  public const int DefaultStopDeadlineMs = 30000;  // above the launcher's worst case from the stop to its exit, 23 s
  const int JudgeTimeoutMs = 10000;
  const string ControlWindow = "ZELTRA_ScreenTool";  // its class and its title
  const uint StopMessage = 0x0401;                  // WM_USER + 1

  readonly string launcher, output;
  readonly FileState before;
  readonly uint processId, codePage;
  IntPtr process, job, pipe;
  bool windowSeen, accepted, encoderLookedFor;
  bool? encoderAtStop;

  ZeltraRecording(string launcher, string output, FileState before, Native.ProcessInformation started, IntPtr job,
                  IntPtr pipe, uint codePage) {
    this.launcher = launcher; this.output = output; this.before = before; this.job = job; this.pipe = pipe;
    this.codePage = codePage; process = started.process; processId = started.processId;
  }

  public uint ProcessId => processId;

  // Starts the launcher to record the window titled title into output. Throws
  // RefusedException (nothing started) or Win32Exception (Windows refused it).
  public static ZeltraRecording Start(string launcher, string title, string output) {
    uint codePage = LaunchersCodePage();
    Refusal refusal = Composition.Compose(launcher, title, output, text => HoldsExactly(text, codePage),
                                          out string commandLine);
    if (refusal != Refusal.None) throw new RefusedException(refusal);
    output = Path.GetFullPath(output);  // as the encoder resolves it, against this current directory
    FileState before = FileState.Of(output);
    if (!Native.CreatePipe(out IntPtr readEnd, out IntPtr writeEnd, IntPtr.Zero, 65536)) throw new Win32Exception();
    // bInheritHandles hands the launcher every inheritable handle of this
    // process: only the write end is made one (.NET's own are not), so the
    // pipe ends once the launcher, its one writer, has exited, and the read
    // end never leaves this process. Start no other process from another
    // thread meanwhile: it would take the write end along.
    Native.SetHandleInformation(writeEnd, 1, 1);  // HANDLE_FLAG_INHERIT
    var startup = new Native.StartupInfo { cb = Marshal.SizeOf(typeof(Native.StartupInfo)), flags = 0x100,
                                           stdError = writeEnd };  // STARTF_USESTDHANDLES
    // Suspended, so it runs nothing before it is in the job; the application named apart: no search.
    bool created = Native.CreateProcessW(launcher, new StringBuilder(commandLine), IntPtr.Zero, IntPtr.Zero, true,
                                         0x4, IntPtr.Zero, null, ref startup, out Native.ProcessInformation started);
    int error = Marshal.GetLastWin32Error();
    Native.CloseHandle(writeEnd);
    if (!created) {
      Native.CloseHandle(readEnd);
      throw new Win32Exception(error);
    }
    // Kill-on-close: a caller that dies takes the launcher and its encoder along.
    IntPtr job = Native.CreateJobObjectW(IntPtr.Zero, null);
    if (!(SetJobLimits(job, 0x2000) && Native.AssignProcessToJobObject(job, started.process))) {
      if (job != IntPtr.Zero) Native.CloseHandle(job);
      job = IntPtr.Zero;  // in no job of its own, it outlives a caller that dies
    }
    Native.ResumeThread(started.thread);
    Native.CloseHandle(started.thread);
    return new ZeltraRecording(launcher, output, before, started, job, readEnd, codePage);
  }

  // Posts the stop to this launcher's own control window, waiting for the
  // window first, then waits for the window to go and the launcher to exit,
  // all within one deadline. May be called again after StopNotAccepted,
  // PostFailed or NotExited. The encoder is looked for as the first stop
  // begins; the file is judged as the stop returns.
  public StopResult Stop(int deadlineMs = DefaultStopDeadlineMs) {
    Stopwatch clock = Stopwatch.StartNew();
    Func<uint> left = () => (uint)Math.Max(0, deadlineMs - clock.ElapsedMilliseconds);
    if (!encoderLookedFor) { encoderAtStop = EncoderRuns(); encoderLookedFor = true; }
    var result = new StopResult { Outcome = StopOutcome.Stopped, EncoderAtStop = encoderAtStop };
    if (!accepted) result.Outcome = Deliver(left, out result.PostError);
    if (accepted && Native.WaitForSingleObject(process, left()) != 0) result.Outcome = StopOutcome.NotExited;
    if (Exited() && Native.GetExitCodeProcess(process, out uint code)) result.ExitCode = code;
    result.Reasons = ReadReasons();
    result.Verdict = Judge(out result.Why);
    result.Taken = result.Outcome == StopOutcome.Stopped && result.EncoderAtStop == true && result.Verdict == "finished";
    return result;
  }

  // Closing before the stop was accepted ends the launcher and its encoder with the job.
  public void Dispose() {
    foreach (IntPtr handle in new[] { pipe, job, process }) if (handle != IntPtr.Zero) Native.CloseHandle(handle);
    pipe = job = process = IntPtr.Zero;
  }

  // Stopped here means accepted; the exit is waited for after.
  StopOutcome Deliver(Func<uint> left, out int postError) {
    postError = 0;
    if (Exited()) return StopOutcome.EndedBeforeStop;
    IntPtr window = AwaitWindow(left);
    if (window != IntPtr.Zero) {
      if (!Native.PostMessageW(window, StopMessage, IntPtr.Zero, IntPtr.Zero)) {
        postError = Marshal.GetLastWin32Error();
        if (Owns(window)) return StopOutcome.PostFailed;  // else it went meanwhile, stopped from elsewhere
      } else if (!AwaitGone(window, left)) {
        return StopOutcome.StopNotAccepted;
      }
    } else if (!windowSeen) {
      return Exited() ? StopOutcome.EndedBeforeStop : StopOutcome.StopNotAccepted;
    }
    accepted = true;
    // From here the launcher finishes the file by itself: a caller that dies
    // now must not take the file with it.
    SetJobLimits(job, 0);
    return StopOutcome.Stopped;
  }

  bool Exited() => Native.WaitForSingleObject(process, 0) == 0;

  bool Owns(IntPtr window) => Native.GetWindowThreadProcessId(window, out uint owner) != 0 && owner == processId;

  // This launcher's control window, waited for while it runs; zero once it
  // exited, the time ran out or the window has gone.
  IntPtr AwaitWindow(Func<uint> left) {
    for (;;) {
      IntPtr window = IntPtr.Zero;
      do {  // any launcher's window has the same class and title: only its owner tells
        window = Native.FindWindowExW(IntPtr.Zero, window, ControlWindow, ControlWindow);
      } while (window != IntPtr.Zero && !Owns(window));
      if (window != IntPtr.Zero) { windowSeen = true; return window; }
      if (windowSeen || Native.WaitForSingleObject(process, Math.Min(10u, left())) == 0 || left() == 0) {
        return IntPtr.Zero;
      }
    }
  }

  bool AwaitGone(IntPtr window, Func<uint> left) {
    while (Owns(window) && !Exited()) {
      if (left() == 0) return false;
      Native.WaitForSingleObject(process, Math.Min(10u, left()));
    }
    return true;
  }

  static bool SetJobLimits(IntPtr job, uint killOnClose) {
    // JOB_OBJECT_LIMIT_BREAKAWAY_OK lets the launcher give its helpers jobs of their own.
    var limits = new Native.JobLimits { flags = 0x800 | killOnClose };
    return job != IntPtr.Zero &&
           Native.SetInformationJobObject(job, 9, ref limits, Marshal.SizeOf(typeof(Native.JobLimits)));
  }

  bool? EncoderRuns() {
    if (job == IntPtr.Zero) return null;
    int size = 8 + 64 * IntPtr.Size;  // JOBOBJECT_BASIC_PROCESS_ID_LIST with room for 64
    IntPtr list = Marshal.AllocHGlobal(size);
    try {
      if (!Native.QueryInformationJobObject(job, 3, list, size, IntPtr.Zero)) return null;
      for (int i = 0; i < Math.Min(Marshal.ReadInt32(list, 4), 64); ++i) {
        try {
          using (Process listed = Process.GetProcessById((int)Marshal.ReadIntPtr(list, 8 + i * IntPtr.Size))) {
            if (string.Equals(listed.ProcessName, "ffmpeg", StringComparison.OrdinalIgnoreCase)) return true;
          }
        } catch (ArgumentException) {  // gone since
        } catch (InvalidOperationException) {
        }
      }
      return false;
    } finally {
      Marshal.FreeHGlobal(list);
    }
  }

  // What the pipe holds, never waiting: the launcher wrote its lines there.
  string[] ReadReasons() {
    var data = new MemoryStream();
    while (data.Length < 1 << 20 &&
           Native.PeekNamedPipe(pipe, IntPtr.Zero, 0, IntPtr.Zero, out int available, IntPtr.Zero) && available > 0) {
      var chunk = new byte[available];
      if (!Native.ReadFile(pipe, chunk, available, out int read, IntPtr.Zero)) break;
      data.Write(chunk, 0, read);
    }
    string text = Decode(data.ToArray(), codePage, 0) ?? "";
    return text.Split(new[] { "\r\n", "\n" }, StringSplitOptions.RemoveEmptyEntries);
  }

  string Judge(out string why) {
    string judge = Path.Combine(Path.GetDirectoryName(Path.GetFullPath(launcher)), "ZELTRA_ScreenTool_check.exe");
    // The path holds no quote (refused); backslashes before the closing quote are doubled.
    string quoted = "\"" + output + new string('\\', output.Length - output.TrimEnd('\\').Length) + "\"";
    string since = before.Size.ToString(CultureInfo.InvariantCulture) + "," +
                   before.LastWrite.ToString(CultureInfo.InvariantCulture);
    var start = new ProcessStartInfo(judge, "--judge " + quoted + " --since " + since) {
        UseShellExecute = false, RedirectStandardOutput = true, CreateNoWindow = true };
    try {
      using (Process ran = Process.Start(start)) {
        Task<string> said = ran.StandardOutput.ReadToEndAsync();
        if (!ran.WaitForExit(JudgeTimeoutMs) || !said.Wait(JudgeTimeoutMs)) {
          if (!ran.HasExited) ran.Kill();
          why = "the judge did not answer within " + JudgeTimeoutMs / 1000 + " s";
          return null;
        }
        return Composition.VerdictOf(ran.ExitCode, said.Result, out why);
      }
    } catch (Win32Exception e) {
      why = "the judge did not start: " + e.Message;
      return null;
    }
  }

  // The system's ANSI code page, which the launcher reads its invocation in:
  // this process's own, unless its manifest made that UTF-8.
  public static uint LaunchersCodePage() {
    uint own = Native.GetACP();
    if (own != 65001) return own;
    using (RegistryKey key = Registry.LocalMachine.OpenSubKey(@"SYSTEM\CurrentControlSet\Control\Nls\CodePage")) {
      return key?.GetValue("ACP") is string value && uint.TryParse(value, out uint found) && found != 0 ? found : own;
    }
  }

  // Windows' own conversion: no best-fit stand-in, no default character, and
  // back again. UTF-8 fails the call with either: there the way back catches
  // what it cannot hold (a lone surrogate).
  public static bool HoldsExactly(string text, uint codePage) {
    if (text.Length == 0) return true;
    char[] wide = text.ToCharArray();
    bool utf8 = codePage == 65001;
    uint flags = utf8 ? 0u : 0x400u;  // WC_NO_BEST_FIT_CHARS
    int[] usedDefault = utf8 ? null : new int[1];
    int needed = Native.WideCharToMultiByte(codePage, flags, wide, wide.Length, null, 0, IntPtr.Zero, null);
    if (needed <= 0) return false;
    var bytes = new byte[needed];
    return Native.WideCharToMultiByte(codePage, flags, wide, wide.Length, bytes, needed, IntPtr.Zero,
                                      usedDefault) == needed &&
           (usedDefault == null || usedDefault[0] == 0) && Decode(bytes, codePage, 8) == text;  // MB_ERR_INVALID_CHARS
  }

  static string Decode(byte[] bytes, uint codePage, uint flags) {
    if (bytes.Length == 0) return "";
    int needed = Native.MultiByteToWideChar(codePage, flags, bytes, bytes.Length, null, 0);
    var wide = new char[Math.Max(needed, 0)];
    return needed > 0 && Native.MultiByteToWideChar(codePage, flags, bytes, bytes.Length, wide, needed) == needed
               ? new string(wide) : null;
  }

#if ZELTRA_RECORDING_MAIN
  public static int Main(string[] args) {
    if (args.Length != 5 || args[0] != "record") {
      Console.Error.WriteLine("usage: ZeltraRecording record <launcher> <title> <output> <seconds>");
      return 64;
    }
    StopResult stopped;
    try {
      using (ZeltraRecording recording = Start(args[1], args[2], args[3])) {
        Thread.Sleep(TimeSpan.FromSeconds(double.Parse(args[4], CultureInfo.InvariantCulture)));
        stopped = recording.Stop();
      }
    } catch (RefusedException refused) {
      Console.Error.WriteLine(refused.Message);
      return 2;
    }
    foreach (string reason in stopped.Reasons) Console.WriteLine(reason);
    Console.WriteLine("stop: " + stopped.Outcome + " (post error " + stopped.PostError + "), exit code " +
                      stopped.ExitCode + ", encoder at the stop " + stopped.EncoderAtStop + "; file: " +
                      stopped.Verdict + ": " + stopped.Why);
    return stopped.Taken ? 0 : 1;
  }
#endif
}

static class Native {
  [StructLayout(LayoutKind.Sequential)]
  public struct StartupInfo {
    public int cb;
    public IntPtr reserved, desktop, title;
    public int x, y, width, height, columns, rows, fill, flags;
    public short show, reserved2Size;
    public IntPtr reserved2, stdInput, stdOutput, stdError;
  }
  [StructLayout(LayoutKind.Sequential)]
  public struct ProcessInformation { public IntPtr process, thread; public uint processId, threadId; }
  // JOBOBJECT_EXTENDED_LIMIT_INFORMATION, its basic part and I/O counters inline.
  [StructLayout(LayoutKind.Sequential)]
  public struct JobLimits {
    public long processTime, jobTime;
    public uint flags;
    public UIntPtr minSet, maxSet;
    public uint processes;
    public UIntPtr affinity;
    public uint priority, scheduling;
    public ulong io0, io1, io2, io3, io4, io5;
    public UIntPtr processMemory, jobMemory, peakProcess, peakJob;
  }
  const string K = "kernel32.dll", U = "user32.dll";
  [DllImport(K)] public static extern uint GetACP();
  [DllImport(K, SetLastError = true)] public static extern bool CloseHandle(IntPtr handle);
  [DllImport(K, SetLastError = true)] public static extern uint WaitForSingleObject(IntPtr handle, uint ms);
  [DllImport(K, SetLastError = true)]
  public static extern bool CreatePipe(out IntPtr read, out IntPtr write, IntPtr attributes, int size);
  [DllImport(K, SetLastError = true)] public static extern bool SetHandleInformation(IntPtr h, uint mask, uint flags);
  [DllImport(K, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
  public static extern bool CreateProcessW(string application, StringBuilder commandLine, IntPtr processAttributes,
                                           IntPtr threadAttributes, bool inheritHandles, uint flags,
                                           IntPtr environment, string directory, ref StartupInfo startup,
                                           out ProcessInformation started);
  [DllImport(K, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
  public static extern IntPtr CreateJobObjectW(IntPtr attributes, string name);
  [DllImport(K, SetLastError = true)]
  public static extern bool SetInformationJobObject(IntPtr job, int infoClass, ref JobLimits info, int size);
  [DllImport(K, SetLastError = true)]
  public static extern bool QueryInformationJobObject(IntPtr job, int infoClass, IntPtr info, int size, IntPtr used);
  [DllImport(K, SetLastError = true)] public static extern bool AssignProcessToJobObject(IntPtr job, IntPtr process);
  [DllImport(K, SetLastError = true)] public static extern uint ResumeThread(IntPtr thread);
  [DllImport(K, SetLastError = true)] public static extern bool GetExitCodeProcess(IntPtr process, out uint code);
  [DllImport(K, SetLastError = true)]
  public static extern bool PeekNamedPipe(IntPtr pipe, IntPtr buffer, int size, IntPtr read, out int available,
                                          IntPtr leftInMessage);
  [DllImport(K, SetLastError = true)]
  public static extern bool ReadFile(IntPtr file, [Out] byte[] buffer, int size, out int read, IntPtr overlapped);
  [DllImport(K, SetLastError = true, CharSet = CharSet.Unicode)]
  public static extern int WideCharToMultiByte(uint codePage, uint flags, char[] text, int length,
                                               [Out] byte[] bytes, int size, IntPtr defaultChar,
                                               [Out] int[] usedDefault);
  [DllImport(K, SetLastError = true, CharSet = CharSet.Unicode)]
  public static extern int MultiByteToWideChar(uint codePage, uint flags, byte[] bytes, int length,
                                               [Out] char[] text, int size);
  [DllImport(U, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
  public static extern IntPtr FindWindowExW(IntPtr parent, IntPtr after, string className, string title);
  [DllImport(U, SetLastError = true)] public static extern uint GetWindowThreadProcessId(IntPtr window, out uint id);
  [DllImport(U, SetLastError = true, ExactSpelling = true)]
  public static extern bool PostMessageW(IntPtr window, uint message, IntPtr wParam, IntPtr lParam);
}

}  // namespace Zeltra.Recording
