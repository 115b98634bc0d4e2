# SPDX-License-Identifier: MIT
# Copyright (c) 2026 the ZELTRA_ScreenTool authors
"""Start and stop a ZELTRA_ScreenTool recording from Python 3.8+, standard
library only, with the caller header's guards. Imports anywhere; starts on Windows.

    recording = start_recording(r"C:\\Tools\\ZELTRA_ScreenTool.exe", "Demo Window", r"C:\\rec\\clip.avi")
    stopped = recording.stop()  # one deadline, 30 s by default; stopped.reasons: the launcher's lines
    recording.close()
    if stopped.taken: ...       # this run's file, closed by its encoder

    python zeltra_recording.py record <launcher> <title> <output> <seconds>
"""
import codecs
import ctypes
import os
import stat
import subprocess
import sys
import time
from ctypes import POINTER, Structure, byref, c_int, c_int64, c_size_t, c_ssize_t, c_uint16, c_uint32, c_uint64
from ctypes import c_void_p, c_wchar_p, sizeof
from dataclasses import dataclass, field
from typing import List, Optional

DEFAULT_STOP_DEADLINE_MS = 30000  # above the launcher's worst case from the stop to its exit, 23 s
JUDGE_TIMEOUT_S = 10
CONTROL_WINDOW = "ZELTRA_ScreenTool"  # its class and its title
STOP_MESSAGE = 0x0401  # WM_USER + 1
LONGEST_COMMAND_LINE = 32766  # CreateProcessW's limit in UTF-16 units, its NUL not counted
ASCII_LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
PROTOCOL_CHARACTERS = frozenset(ASCII_LETTERS + "0123456789+-.")
# The judge's exit codes and the verdicts each stands for.
JUDGE_VERDICTS = {0: ("finished",), 1: ("unfinished",), 2: ("not-judged",), 3: ("missing", "empty"),
                  4: ("not-this-run",)}


class Refused(ValueError):
    """A text the launcher would read differently: nothing was started. Its
    argument is the caller header's name for the refusal."""


def refusal_of_launcher_path(launcher):
    # The launcher takes everything up to the next quote as its own name.
    faults = [(not launcher, "kEmptyLauncherPath"), ("\0" in launcher, "kHoldsNul"),
              ('"' in launcher, "kLauncherPathHoldsDoubleQuote")]
    return next((refusal for found, refusal in faults if found), None)


def refusal_of_invocation(title, output):
    # The encoder reads a path beginning with '-' as an option, and one whose
    # run of these characters is followed by ':' as a protocol, but for a drive.
    run = next((i for i, c in enumerate(output) if c not in PROTOCOL_CHARACTERS), len(output))
    faults = [("\0" in title + output, "kHoldsNul"), (not title, "kEmptyTitle"),
              ("#" in title, "kTitleHoldsHash"),  # a leading one too: '#' ends the title wherever it is
              (not output, "kEmptyOutputPath"), (output[:1] == "#", "kOutputPathStartsWithHash"),
              ('"' in output, "kOutputPathHoldsDoubleQuote"), (output[:1] == "-", "kOutputPathReadsAsOption"),
              (output[run:run + 1] == ":" and not (run == 1 and output[0] in ASCII_LETTERS),
               "kOutputPathNamesProtocol")]
    return next((refusal for found, refusal in faults if found), None)


def compose_command_line(launcher, title, output, holds_exactly=lambda text: True):
    """(None, command line) or (refusal, None), refused in the caller header's
    order. holds_exactly(text) says whether the launcher's code page holds the
    text as it is; the launcher reads its own path wide, so only title and
    output path must be held there."""
    refusal = refusal_of_launcher_path(launcher)
    if refusal is None and not (holds_exactly(title) and holds_exactly(output)):
        refusal = "kNotInLaunchersCodePage"
    refusal = refusal or refusal_of_invocation(title, output)
    if refusal:
        return refusal, None
    # Runs of '#' before the title and before the path's head are skipped, and
    # the head ends at the next '#': so the invocation begins with '#', and the
    # path's first '#' is written twice, the tail keeping it.
    head, hash_, tail = output.partition("#")
    line = f'"{launcher}" #{title}#{head}' + ("##" + tail if hash_ else "")
    if len(line.encode("utf-16-le", "surrogatepass")) // 2 > LONGEST_COMMAND_LINE:
        return "kCommandLineTooLong", None
    return None, line


def verdict_of(exit_code, output):
    """(verdict, why) from the judge's exit code and its line; (None, why) where
    the two disagree or the code is none of the judge's verdicts."""
    verdict, _, why = output.strip().partition(": ")
    if verdict in JUDGE_VERDICTS.get(exit_code, ()):
        return verdict, why
    return None, f"the judge exited with {exit_code}, saying {output.strip()!r}"


def file_state(path):
    """(size, last-write FILETIME in 100 ns units since 1601), or (0, 0) where
    there is no file (a directory counts as none)."""
    try:
        info = os.stat(path)
    except OSError:
        return 0, 0
    return (info.st_size, info.st_mtime_ns // 100 + 116444736000000000) if stat.S_ISREG(info.st_mode) else (0, 0)


class _StartupInfo(Structure):
    _fields_ = [("cb", c_uint32), ("reserved", c_wchar_p), ("desktop", c_wchar_p), ("title", c_wchar_p)] + \
               [(name, c_uint32) for name in ("x", "y", "width", "height", "columns", "rows", "fill", "flags")] + \
               [("show", c_uint16), ("reserved2_size", c_uint16), ("reserved2", c_void_p),
                ("stdin", c_void_p), ("stdout", c_void_p), ("stderr", c_void_p)]


class _ProcessInformation(Structure):
    _fields_ = [("process", c_void_p), ("thread", c_void_p), ("process_id", c_uint32), ("thread_id", c_uint32)]


class _JobLimits(Structure):  # JOBOBJECT_EXTENDED_LIMIT_INFORMATION, its basic part and I/O counters inline
    _fields_ = [("process_time", c_int64), ("job_time", c_int64), ("flags", c_uint32), ("min_set", c_size_t),
                ("max_set", c_size_t), ("processes", c_uint32), ("affinity", c_size_t), ("priority", c_uint32),
                ("scheduling", c_uint32)] + [(f"io{i}", c_uint64) for i in range(6)] + \
               [(name, c_size_t) for name in ("process_memory", "job_memory", "peak_process", "peak_job")]


class _JobProcessIds(Structure):  # JOBOBJECT_BASIC_PROCESS_ID_LIST with room for 64
    _fields_ = [("assigned", c_uint32), ("listed", c_uint32), ("ids", c_size_t * 64)]


_api = None


def _win32():
    """kernel32 and user32, every call's types declared, loaded on first use."""
    global _api
    if _api is None:
        k, u = ctypes.WinDLL("kernel32", use_last_error=True), ctypes.WinDLL("user32", use_last_error=True)
        H, U, B = c_void_p, c_uint32, c_int
        for dll, name, restype, argtypes in [
                (k, "GetACP", U, ()), (k, "CloseHandle", B, (H,)), (k, "WaitForSingleObject", U, (H, U)),
                (k, "CreatePipe", B, (POINTER(H), POINTER(H), c_void_p, U)),
                (k, "SetHandleInformation", B, (H, U, U)),
                (k, "CreateProcessW", B, (c_wchar_p, c_wchar_p, c_void_p, c_void_p, B, U, c_void_p, c_wchar_p,
                                          POINTER(_StartupInfo), POINTER(_ProcessInformation))),
                (k, "CreateJobObjectW", H, (c_void_p, c_wchar_p)),
                (k, "SetInformationJobObject", B, (H, c_int, POINTER(_JobLimits), U)),
                (k, "QueryInformationJobObject", B, (H, c_int, POINTER(_JobProcessIds), U, c_void_p)),
                (k, "AssignProcessToJobObject", B, (H, H)), (k, "ResumeThread", U, (H,)),
                (k, "GetExitCodeProcess", B, (H, POINTER(U))), (k, "OpenProcess", H, (U, B, U)),
                (k, "QueryFullProcessImageNameW", B, (H, U, c_wchar_p, POINTER(U))),
                (k, "PeekNamedPipe", B, (H, c_void_p, U, c_void_p, POINTER(U), c_void_p)),
                (k, "ReadFile", B, (H, c_void_p, U, POINTER(U), c_void_p)),
                (u, "FindWindowExW", H, (H, H, c_wchar_p, c_wchar_p)),
                (u, "GetWindowThreadProcessId", U, (H, POINTER(U))),
                (u, "PostMessageW", B, (H, U, c_size_t, c_ssize_t))]:
            function = getattr(dll, name)
            function.restype, function.argtypes = restype, argtypes
        _api = k, u
    return _api


def launchers_code_page():
    """The system's ANSI code page, which the launcher reads its invocation in:
    this process's own, unless its manifest made that UTF-8."""
    own = _win32()[0].GetACP()
    if own != 65001:
        return own
    import winreg
    try:
        with winreg.OpenKey(winreg.HKEY_LOCAL_MACHINE, r"SYSTEM\CurrentControlSet\Control\Nls\CodePage") as key:
            value, kind = winreg.QueryValueEx(key, "ACP")
        return int(value) if kind == winreg.REG_SZ and int(value) else own
    except (OSError, ValueError):
        return own


def holds_exactly(text, code_page):
    """Windows' own conversion, strict: no best-fit stand-in, no default
    character (Python's cp1252 codec is not Windows' code page 1252), and back."""
    try:
        data = codecs.code_page_encode(code_page, text, "strict")[0]
        return codecs.code_page_decode(code_page, data, "strict", True)[0] == text
    except UnicodeError:
        return False


@dataclass
class Stopped:
    outcome: str  # stopped, ended-before-stop, stop-not-accepted, post-failed or not-exited
    post_error: int = 0  # GetLastError of a refused post
    exit_code: Optional[int] = None
    encoder_at_stop: Optional[bool] = None  # None: no job of its own to look in
    verdict: Optional[str] = None  # the judge's, None where it gave none
    why: str = ""
    reasons: List[str] = field(default_factory=list)
    taken: bool = False  # this run's recording, closed by the encoder it had at the stop


class Recording:
    """One started launcher. close() before its stop was accepted ends the
    launcher and its encoder with the job."""

    def __init__(self, launcher, output, before, process, process_id, job, pipe, code_page):
        self.launcher, self.output, self.before, self.process_id = launcher, output, before, process_id
        self._process, self._job, self._pipe, self._code_page = process, job, pipe, code_page
        self._window_seen = self._accepted = self._encoder_looked_for = False
        self._encoder = None

    def stop(self, deadline_ms=DEFAULT_STOP_DEADLINE_MS):
        """Posts the stop to this launcher's own control window, waiting for the
        window first, then waits for the window to go and the launcher to exit,
        all within one deadline. May be called again after stop-not-accepted,
        post-failed or not-exited. The encoder is looked for as the first stop
        begins; the file is judged as the stop returns."""
        kernel32, end = _win32()[0], time.monotonic() + deadline_ms / 1000
        if not self._encoder_looked_for:
            self._encoder, self._encoder_looked_for = self._encoder_runs(), True
        result = Stopped("stopped", encoder_at_stop=self._encoder)
        if not self._accepted:
            result.outcome, result.post_error = self._deliver(end)
        if self._accepted and kernel32.WaitForSingleObject(self._process, _ms_left(end)) != 0:
            result.outcome = "not-exited"
        code = c_uint32()
        if self._exited() and kernel32.GetExitCodeProcess(self._process, byref(code)):
            result.exit_code = code.value
        result.reasons = self._read_reasons()
        result.verdict, result.why = self._judge()
        result.taken = result.outcome == "stopped" and result.encoder_at_stop is True and \
            result.verdict == "finished"
        return result

    def _deliver(self, end):
        """(outcome, post error) of bringing the stop to the window; "stopped" here means accepted."""
        if self._exited():
            return "ended-before-stop", 0
        window = self._await_window(end)
        if window is not None:
            if not _win32()[1].PostMessageW(window, STOP_MESSAGE, 0, 0):
                error = ctypes.get_last_error()
                if self._owns(window):  # else it has gone meanwhile, having taken a stop from elsewhere
                    return "post-failed", error
            elif not self._await_gone(window, end):
                return "stop-not-accepted", 0
        elif not self._window_seen:
            return ("ended-before-stop" if self._exited() else "stop-not-accepted"), 0
        self._accepted = True
        # From here the launcher finishes the file by itself: a caller that
        # dies now must not take the file with it.
        _set_job_limits(self._job, 0)
        return "stopped", 0

    def close(self):
        for handle in (self._pipe, self._job, self._process):
            if handle:
                _win32()[0].CloseHandle(handle)
        self._pipe = self._job = self._process = None

    def _exited(self):
        return _win32()[0].WaitForSingleObject(self._process, 0) == 0

    def _owns(self, window):
        owner = c_uint32()
        return bool(_win32()[1].GetWindowThreadProcessId(window, byref(owner))) and owner.value == self.process_id

    def _await_window(self, end):
        """This launcher's control window, waited for while the launcher runs;
        None once it exited, the time ran out or the window has gone."""
        while True:
            window = None
            while True:  # any launcher's window has the same class and title: only its owner tells
                window = _win32()[1].FindWindowExW(None, window, CONTROL_WINDOW, CONTROL_WINDOW)
                if not window or self._owns(window):
                    break
            if window:
                self._window_seen = True
                return window
            if self._window_seen or _win32()[0].WaitForSingleObject(self._process, min(10, _ms_left(end))) == 0 \
                    or _ms_left(end) == 0:
                return None

    def _await_gone(self, window, end):
        while self._owns(window) and not self._exited():
            if _ms_left(end) == 0:
                return False
            _win32()[0].WaitForSingleObject(self._process, min(10, _ms_left(end)))
        return True

    def _encoder_runs(self):
        if not self._job:
            return None
        kernel32, ids = _win32()[0], _JobProcessIds()
        if not kernel32.QueryInformationJobObject(self._job, 3, byref(ids), sizeof(ids), None):
            return None
        for process_id in ids.ids[:min(ids.listed, 64)]:
            process = kernel32.OpenProcess(0x1000, False, process_id)  # PROCESS_QUERY_LIMITED_INFORMATION
            image, length = ctypes.create_unicode_buffer(1024), c_uint32(1024)
            found = process and kernel32.QueryFullProcessImageNameW(process, 0, image, byref(length))
            if process:
                kernel32.CloseHandle(process)
            if found and image.value.rsplit("\\", 1)[-1].lower() == "ffmpeg.exe":
                return True
        return False

    def _read_reasons(self):
        """What the pipe holds, never waiting: the launcher wrote its lines there."""
        kernel32, data, available, read = _win32()[0], b"", c_uint32(), c_uint32()
        while len(data) < 1 << 20 and kernel32.PeekNamedPipe(self._pipe, None, 0, None, byref(available), None) \
                and available.value:
            chunk = ctypes.create_string_buffer(available.value)
            if not kernel32.ReadFile(self._pipe, chunk, available.value, byref(read), None):
                break
            data += chunk.raw[:read.value]
        return codecs.code_page_decode(self._code_page, data, "replace", True)[0].splitlines()

    def _judge(self):
        judge = os.path.join(os.path.dirname(os.path.abspath(self.launcher)), "ZELTRA_ScreenTool_check.exe")
        since = "%d,%d" % self.before
        try:
            ran = subprocess.run([judge, "--judge", self.output, "--since", since], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, timeout=JUDGE_TIMEOUT_S, creationflags=0x08000000)
        except (OSError, subprocess.TimeoutExpired) as error:
            return None, f"the judge did not answer: {error}"
        return verdict_of(ran.returncode, codecs.code_page_decode(self._code_page, ran.stdout, "replace", True)[0])


def _set_job_limits(job, kill_on_close):
    # JOB_OBJECT_LIMIT_BREAKAWAY_OK lets the launcher give its helpers jobs of their own.
    limits = _JobLimits(flags=0x800 | kill_on_close)
    return bool(job) and _win32()[0].SetInformationJobObject(job, 9, byref(limits), sizeof(limits))


def _ms_left(end):
    return max(0, int((end - time.monotonic()) * 1000))


def start_recording(launcher, title, output):
    """Starts the launcher to record the window titled title into output.
    Raises Refused (nothing started) or OSError (Windows refused the start)."""
    kernel32, code_page = _win32()[0], launchers_code_page()
    refusal, command_line = compose_command_line(launcher, title, output, lambda text: holds_exactly(text, code_page))
    if refusal:
        raise Refused(refusal)
    output = os.path.abspath(output)  # as the encoder resolves it, against this current directory
    before = file_state(output)
    read_end, write_end = c_void_p(), c_void_p()
    if not kernel32.CreatePipe(byref(read_end), byref(write_end), None, 65536):
        raise ctypes.WinError(ctypes.get_last_error())
    # bInheritHandles hands the launcher every inheritable handle of this
    # process: only the write end is made one (Python's own are not), so the
    # pipe ends once the launcher, its one writer, has exited and the read
    # end never leaves this process. Start no other process from another
    # thread meanwhile: it would take the write end along.
    kernel32.SetHandleInformation(write_end, 1, 1)  # HANDLE_FLAG_INHERIT
    startup = _StartupInfo(cb=sizeof(_StartupInfo), flags=0x100, stderr=write_end)  # STARTF_USESTDHANDLES
    started = _ProcessInformation()
    # Suspended, so it runs nothing before it is in the job; the application named apart: no search.
    created = kernel32.CreateProcessW(launcher, ctypes.create_unicode_buffer(command_line), None, None, True,
                                      0x4, None, None, byref(startup), byref(started))  # CREATE_SUSPENDED
    error = ctypes.get_last_error()
    kernel32.CloseHandle(write_end)
    if not created:
        kernel32.CloseHandle(read_end)
        raise ctypes.WinError(error)
    # Kill-on-close: a caller that dies takes the launcher and its encoder along.
    job = kernel32.CreateJobObjectW(None, None)
    if not (_set_job_limits(job, 0x2000) and kernel32.AssignProcessToJobObject(job, started.process)):
        if job:
            kernel32.CloseHandle(job)
        job = None  # in no job of its own, it outlives a caller that dies
    kernel32.ResumeThread(started.thread)
    kernel32.CloseHandle(started.thread)
    return Recording(launcher, output, before, started.process, started.process_id, job, read_end, code_page)


def main(argv):
    if len(argv) != 6 or argv[1] != "record":
        print("usage: zeltra_recording.py record <launcher> <title> <output> <seconds>", file=sys.stderr)
        return 64
    try:
        recording = start_recording(argv[2], argv[3], argv[4])
    except Refused as refused:
        print(f"refused: {refused}", file=sys.stderr)
        return 2
    try:
        time.sleep(float(argv[5]))
        stopped = recording.stop()
    finally:
        recording.close()
    print("\n".join(stopped.reasons))
    print(f"stop: {stopped.outcome} (post error {stopped.post_error}), exit code {stopped.exit_code}, "
          f"encoder at the stop {stopped.encoder_at_stop}; file: {stopped.verdict}: {stopped.why}")
    return 0 if stopped.taken else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
