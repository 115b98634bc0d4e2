// SPDX-License-Identifier: MIT
// Copyright (c) 2026 the ZELTRA_ScreenTool authors
// Start and stop a ZELTRA_ScreenTool recording from C# 7 with .NET's own libraries (Start, then Stop and Dispose).
using System;
using System.ComponentModel;
using System.Diagnostics;
using System.IO;
using System.IO.Pipes;
using System.Runtime.InteropServices;

namespace Zeltra.Recording {
public enum StopOutcome { Stopped, EndedBeforeStop, StopNotAccepted, PostFailed, NotExited }
public sealed class StopResult {  // Taken: this run's file, closed by the encoder that ran as the stop went out
  public StopOutcome Outcome; public int PostError; public bool? EncoderAtStop; public bool Taken;
  public string Verdict; public string[] Reasons;  // the judge's, and the launcher's lines on standard error
}

public sealed class ZeltraRecording : IDisposable {
  const string Letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", Window = "ZELTRA_ScreenTool";
  string launcher, output, before;  // before: the file's state as the judge's --since takes it
  IntPtr process, job; uint processId, codePage; bool seen, accepted; bool? encoder; AnonymousPipeServerStream pipe;

  // The caller header's name for the first fault in its order, or null and the command line. The launcher skips
  // '#'s before the title and the path and ends the path's head at the next: so '#' first, the path's first doubled.
  public static string Compose(string launcher, string title, string output, Func<string, bool> holdsExactly,
                               out string line) {
    int run = 0, hash = output.IndexOf('#');
    while (run < output.Length && (Letters + "0123456789+-.").IndexOf(output[run]) >= 0) ++run;
    line = "\"" + launcher + "\" #" + title + "#" + (hash < 0 ? output : output.Insert(hash, "#"));
    return launcher.Length == 0 ? "kEmptyLauncherPath" : launcher.IndexOf('\0') >= 0 ? "kHoldsNul"
        : launcher.IndexOf('"') >= 0 ? "kLauncherPathHoldsDoubleQuote"  // it would end the launcher's quoted name
        : !(holdsExactly(title) && holdsExactly(output)) ? "kNotInLaunchersCodePage"  // its own path is read wide
        : (title + output).IndexOf('\0') >= 0 ? "kHoldsNul" : title.Length == 0 ? "kEmptyTitle"
        : title.IndexOf('#') >= 0 ? "kTitleHoldsHash" : output.Length == 0 ? "kEmptyOutputPath"
        : output[0] == '#' ? "kOutputPathStartsWithHash" : output.IndexOf('"') >= 0 ? "kOutputPathHoldsDoubleQuote"
        : output[0] == '-' ? "kOutputPathReadsAsOption"  // and such a run before ':' a protocol, but a drive letter
        : run < output.Length && output[run] == ':' && !(run == 1 && Letters.IndexOf(output[0]) >= 0)
            ? "kOutputPathNamesProtocol"
        : line.Length > 32766 ? "kCommandLineTooLong" : null;  // CreateProcessW's bound, in UTF-16 units
  }

  // The judge's verdict, from its line "<verdict>: <why>" where its exit code says the same; else null.
  public static string VerdictOf(int exitCode, string said) {
    string verdict = said.Trim().Split(':')[0];
    string[] known = { "finished", "unfinished", "not-judged", "missing empty", "not-this-run" };
    return exitCode >= 0 && exitCode < 5 && Array.IndexOf(known[exitCode].Split(' '), verdict) >= 0 ? verdict : null;
  }
  public static string NotedState(string path) {  // as the judge's --since takes it; 0,0 where no file is
    var file = new FileInfo(path);
    return file.Exists ? file.Length + "," + file.LastWriteTimeUtc.ToFileTimeUtc() : "0,0";
  }

  public static ZeltraRecording Start(string launcher, string title, string output) {  // refused: ArgumentException
    uint codePage = GetACP();
    if (codePage == 65001)  // a manifest made this process's code page UTF-8; the launcher reads the system's
      codePage = uint.Parse((string)Microsoft.Win32.Registry.GetValue(
          @"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Nls\CodePage", "ACP", "65001"));
    string refusal = Compose(launcher, title, output, text => HoldsExactly(text, codePage), out string line);
    if (refusal != null) throw new ArgumentException("refused: " + refusal);
    output = Path.GetFullPath(output);  // as the encoder resolves it, against this current directory
    // Only the pipe's write end is inheritable (.NET's own handles are not): the launcher alone takes it.
    var recording = new ZeltraRecording { launcher = launcher, output = output, before = NotedState(output),
        codePage = codePage, pipe = new AnonymousPipeServerStream(PipeDirection.In, HandleInheritability.Inheritable) };
    var startup = new StartupInfo { cb = Marshal.SizeOf(typeof(StartupInfo)), flags = 0x100,  // STARTF_USESTDHANDLES
                                    stdError = recording.pipe.ClientSafePipeHandle.DangerousGetHandle() };
    // Suspended, so it runs nothing before it is in the job; the application named apart, so nothing is searched.
    bool created = CreateProcessW(launcher, new System.Text.StringBuilder(line), IntPtr.Zero, IntPtr.Zero, true, 0x4,
                                  IntPtr.Zero, null, ref startup, out ProcessInformation started);
    int error = Marshal.GetLastWin32Error();
    recording.pipe.DisposeLocalCopyOfClientHandle();
    if (!created) { recording.Dispose(); throw new Win32Exception(error); }
    recording.process = started.process; recording.processId = started.processId;
    recording.job = CreateJobObjectW(IntPtr.Zero, IntPtr.Zero);  // kill-on-close: a caller that dies takes it along
    if (!(SetJobLimits(recording.job, 0x2000) && AssignProcessToJobObject(recording.job, started.process))) {
      CloseHandle(recording.job); recording.job = IntPtr.Zero;  // in no job of its own, it outlives a caller that dies
    }
    ResumeThread(started.thread); CloseHandle(started.thread);
    return recording;
  }

  // Posts the stop to this launcher's window, then awaits its going and the launcher's exit, in one deadline.
  public StopResult Stop(int deadlineMs = 30000) {  // above the launcher's worst case from the stop to its exit, 23 s
    long end = Stopwatch.GetTimestamp() + deadlineMs * Stopwatch.Frequency / 1000;
    var result = new StopResult();
    if (!accepted) result.Outcome = Deliver(end, out result.PostError);
    if (accepted && !Wait(end, Exited)) result.Outcome = StopOutcome.NotExited;
    result.EncoderAtStop = encoder; result.Reasons = ReadReasons(); result.Verdict = Judge();
    result.Taken = result.Outcome == StopOutcome.Stopped && encoder == true && result.Verdict == "finished";
    return result;
  }
  public void Dispose() {  // closing the job before a stop was accepted ends the launcher and its encoder
    CloseHandle(job); CloseHandle(process); pipe.Dispose();  // a zero handle (no job of its own) is refused, harmlessly
    job = process = IntPtr.Zero;
  }
  StopOutcome Deliver(long end, out int postError) {
    postError = 0;
    bool first = !seen;
    if (first) Wait(end, () => Find() != IntPtr.Zero || Exited());  // a stop before the window exists is lost
    IntPtr window = Find();
    if (window != IntPtr.Zero) {
      if (first) encoder = EncoderRuns();
      bool posted = PostMessageW(window, 0x0401, IntPtr.Zero, IntPtr.Zero);  // WM_USER + 1
      int error = posted ? 0 : Marshal.GetLastWin32Error();
      if (!posted && Owns(window)) { postError = error; return StopOutcome.PostFailed; }  // else it went meanwhile
      if (!Wait(end, () => !Owns(window) || Exited())) return StopOutcome.StopNotAccepted;
    } else if (first) {
      return Exited() ? StopOutcome.EndedBeforeStop : StopOutcome.StopNotAccepted;
    }
    accepted = true;  // the window went: from here the launcher finishes the file by itself,
    SetJobLimits(job, 0);  // and a caller that dies must no longer end it
    return StopOutcome.Stopped;
  }

  IntPtr Find() {  // every launcher's control window has this class and title: only its owner tells them apart
    IntPtr window = IntPtr.Zero;
    do window = FindWindowExW(IntPtr.Zero, window, Window, Window); while (window != IntPtr.Zero && !Owns(window));
    seen |= window != IntPtr.Zero;
    return window;
  }
  bool Wait(long end, Func<bool> done) {  // whether done() came true by the deadline; an exit ends a pause at once
    for (long left; !done() && (left = (end - Stopwatch.GetTimestamp()) * 1000 / Stopwatch.Frequency) > 0;)
      WaitForSingleObject(process, (uint)Math.Min(10, left));
    return done();
  }
  bool Owns(IntPtr window) => GetWindowThreadProcessId(window, out uint owner) != 0 && owner == processId;
  bool Exited() => WaitForSingleObject(process, 0) == 0;
  bool? EncoderRuns() {  // null where there is no job of its own to look in
    if (job == IntPtr.Zero) return null;
    foreach (Process candidate in Process.GetProcessesByName("ffmpeg"))
      using (candidate) try {
        if (IsProcessInJob(candidate.Handle, job, out bool inJob) && inJob) return true;
      } catch (Exception e) when (e is Win32Exception || e is InvalidOperationException) {}  // not ours, or gone
    return false;
  }
  string[] ReadReasons() {  // the launcher's lines on its standard error, read without waiting: it may run on
    bool peeked = PeekNamedPipe(pipe.SafePipeHandle, IntPtr.Zero, 0, IntPtr.Zero, out int size, IntPtr.Zero);
    var data = new byte[peeked ? size : 0];
    int read = data.Length > 0 ? pipe.Read(data, 0, data.Length) : 0;
    return Decode(data, read, codePage, 0).Split(new[] { "\r\n", "\n" }, StringSplitOptions.RemoveEmptyEntries);
  }
  string Judge() {  // the path holds no quote (refused): only its trailing backslashes are doubled
    string judge = Path.Combine(Path.GetDirectoryName(Path.GetFullPath(launcher)), "ZELTRA_ScreenTool_check.exe");
    string quoted = "\"" + output + new string('\\', output.Length - output.TrimEnd('\\').Length) + "\"";
    var start = new ProcessStartInfo(judge, "--judge " + quoted + " --since " + before) {
        UseShellExecute = false, RedirectStandardOutput = true, CreateNoWindow = true };
    try {
      using (Process ran = Process.Start(start)) {  // its one line fits the pipe: read once it has exited
        if (ran.WaitForExit(10000)) return VerdictOf(ran.ExitCode, ran.StandardOutput.ReadToEnd());
        ran.Kill();
      }
    } catch (Win32Exception) {}  // not there, or not startable: no verdict
    return null;
  }
  static bool SetJobLimits(IntPtr job, int killOnClose) {  // BREAKAWAY_OK: the stop command gets a job of its own
    var limits = new int[IntPtr.Size == 8 ? 36 : 28];  // JOBOBJECT_EXTENDED_LIMIT_INFORMATION: LimitFlags at 16
    limits[4] = 0x800 | killOnClose;
    return job != IntPtr.Zero && SetInformationJobObject(job, 9, limits, limits.Length * 4);
  }

  // Windows' own conversion: no best-fit stand-in (0x400), no default character, and back again; UTF-8 takes
  // neither the flag nor the report, and there the way back catches what it cannot hold (a lone surrogate).
  public static bool HoldsExactly(string text, uint codePage) {
    var bytes = new byte[4 * text.Length]; var usedDefault = new int[1];
    int length = WideCharToMultiByte(codePage, codePage == 65001 ? 0u : 0x400u, text, text.Length, bytes, bytes.Length,
                                     IntPtr.Zero, codePage == 65001 ? null : usedDefault);
    return text.Length == 0 || length > 0 && usedDefault[0] == 0 && Decode(bytes, length, codePage, 8) == text;
  }
  static string Decode(byte[] bytes, int length, uint codePage, uint flags) {  // 8: MB_ERR_INVALID_CHARS
    var text = new char[length];
    return new string(text, 0, Math.Max(0, MultiByteToWideChar(codePage, flags, bytes, length, text, length)));
  }

  [StructLayout(LayoutKind.Sequential)] internal struct StartupInfo {  // STARTUPINFOW
    public int cb; public IntPtr reserved, desktop, title; public int x, y, width, height, columns, rows, fill, flags;
    public short show, reserved2Size; public IntPtr reserved2, stdInput, stdOutput, stdError; }
  [StructLayout(LayoutKind.Sequential)] internal struct ProcessInformation {
    public IntPtr process, thread; public uint processId, threadId; }
  const string K = "kernel32.dll", U = "user32.dll";
  [DllImport(K)] static extern uint GetACP();
  [DllImport(K)] static extern bool CloseHandle(IntPtr handle);
  [DllImport(K)] static extern uint ResumeThread(IntPtr thread);
  [DllImport(K)] static extern uint WaitForSingleObject(IntPtr handle, uint ms);
  [DllImport(K, SetLastError = true, CharSet = CharSet.Unicode)] static extern bool CreateProcessW(string name,
      System.Text.StringBuilder line, IntPtr pa, IntPtr ta, bool inherit, uint flags, IntPtr env, string dir,
      ref StartupInfo startup, out ProcessInformation started);
  [DllImport(K)] static extern IntPtr CreateJobObjectW(IntPtr attributes, IntPtr name);
  [DllImport(K)] static extern bool SetInformationJobObject(IntPtr job, int kind, int[] info, int size);
  [DllImport(K)] static extern bool AssignProcessToJobObject(IntPtr job, IntPtr process);
  [DllImport(K)] static extern bool IsProcessInJob(IntPtr process, IntPtr job, out bool inJob);
  [DllImport(K)] static extern bool PeekNamedPipe(SafeHandle pipe, IntPtr to, int n, IntPtr r, out int all, IntPtr l);
  [DllImport(K, CharSet = CharSet.Unicode)] static extern int WideCharToMultiByte(uint codePage, uint flags,
      string text, int length, [Out] byte[] bytes, int size, IntPtr defaultChar, [Out] int[] usedDefault);
  [DllImport(K, CharSet = CharSet.Unicode)]
  static extern int MultiByteToWideChar(uint codePage, uint flags, byte[] bytes, int n, [Out] char[] text, int size);
  [DllImport(U, CharSet = CharSet.Unicode)]
  static extern IntPtr FindWindowExW(IntPtr parent, IntPtr after, string className, string title);
  [DllImport(U)] static extern uint GetWindowThreadProcessId(IntPtr window, out uint processId);
  [DllImport(U, SetLastError = true)] static extern bool PostMessageW(IntPtr window, uint m, IntPtr w, IntPtr l);
}
}  // namespace Zeltra.Recording
