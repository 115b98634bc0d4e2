# SPDX-License-Identifier: MIT
# Copyright (c) 2026 the ZELTRA_ScreenTool authors
"""Start and stop a ZELTRA_ScreenTool recording from Python 3.8+ with the standard library: recording =
start_recording(launcher, title, output); stopped = recording.stop(); recording.close(). The file is this run's,
closed by its encoder, only where stopped.taken."""
import codecs, collections, ctypes, os, subprocess, sys, time, types  # noqa: E401
from ctypes import Structure, byref, c_int, c_uint16, c_uint32, c_void_p, c_wchar_p, sizeof

LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
VERDICTS = {0: ("finished",), 1: ("unfinished",), 2: ("not-judged",), 3: ("missing", "empty"), 4: ("not-this-run",)}
Stopped = collections.namedtuple("Stopped", "outcome post_error encoder_at_stop verdict reasons taken")

def compose_command_line(launcher, title, output, holds_exactly=lambda text: True):
    """(None, command line), or (refusal, None) for the first fault in the caller header's order."""
    run = len(output) - len(output.lstrip(LETTERS + "0123456789+-."))
    # Runs of '#' before the title and the path's head are skipped, and the head ends at the next '#':
    # so the text begins with '#', and the path's first '#' is written twice, the tail keeping one.
    line = f'"{launcher}" #{title}#' + output.replace("#", "##", 1)
    faults = [(not launcher, "kEmptyLauncherPath"), ("\0" in launcher, "kHoldsNul"),
              ('"' in launcher, "kLauncherPathHoldsDoubleQuote"),  # it would end the launcher's quoted name
              (not (holds_exactly(title) and holds_exactly(output)), "kNotInLaunchersCodePage"),  # its path: read wide
              ("\0" in title + output, "kHoldsNul"), (not title, "kEmptyTitle"), ("#" in title, "kTitleHoldsHash"),
              (not output, "kEmptyOutputPath"), (output[:1] == "#", "kOutputPathStartsWithHash"),
              ('"' in output, "kOutputPathHoldsDoubleQuote"),
              (output[:1] == "-", "kOutputPathReadsAsOption"),  # and such a run before ':' a protocol, but a drive
              (output[run:run + 1] == ":" and not (run == 1 and output[0] in LETTERS), "kOutputPathNamesProtocol"),
              (len(line.encode("utf-16-le", "surrogatepass")) > 2 * 32766, "kCommandLineTooLong")]
    refusal = next((name for fault, name in faults if fault), None)
    return (refusal, None) if refusal else (None, line)

def verdict_of(exit_code, said):
    """The judge's verdict, from its line "<verdict>: <why>" where its exit code says the same; else None."""
    verdict = said.strip().partition(":")[0]
    return verdict if verdict in VERDICTS.get(exit_code, ()) else None

def file_state(path):
    """(size, last-write FILETIME) as the judge's --since takes them; (0, 0) where no file is."""
    info = os.stat(path) if os.path.isfile(path) else None
    return (info.st_size, info.st_mtime_ns // 100 + 116444736000000000) if info else (0, 0)

class StartupInfo(Structure):  # STARTUPINFOW: only its size, its flags and its standard error are set
    _fields_ = [("cb", c_uint32), ("texts", c_void_p * 3), ("place", c_uint32 * 7), ("flags", c_uint32),
                ("show", c_uint16 * 2), ("reserved", c_void_p), ("std", c_void_p * 2), ("stderr", c_void_p)]

class ProcessInformation(Structure):
    _fields_ = [("process", c_void_p), ("thread", c_void_p), ("process_id", c_uint32), ("thread_id", c_uint32)]

if sys.platform == "win32":  # each call's result, then its arguments: Handle or pointer, Dword, int, Wide text
    import msvcrt
    kernel32, user32 = (ctypes.WinDLL(name, use_last_error=True) for name in ("kernel32", "user32"))
    for name, kinds in (entry.split() for entry in """GetACP D|CloseHandle BH|WaitForSingleObject DHD|ResumeThread DH
            |CreateProcessW BWWHHBDHWHH|CreateJobObjectW HHW|SetInformationJobObject BHBHD|AssignProcessToJobObject BHH
            |QueryInformationJobObject BHBHDH|OpenProcess HDBD|QueryFullProcessImageNameW BHDWH|PeekNamedPipe BHHDHHH
            |FindWindowExW HHHWW|GetWindowThreadProcessId DHH|PostMessageW BHDHH""".split("|")):
        function = getattr(kernel32 if hasattr(kernel32, name) else user32, name)
        function.restype, *function.argtypes = [dict(H=c_void_p, D=c_uint32, B=c_int, W=c_wchar_p)[k] for k in kinds]

def set_job_limits(job, kill_on_close):  # BREAKAWAY_OK (0x800) lets the launcher's stop command leave the job
    # JOBOBJECT_EXTENDED_LIMIT_INFORMATION, all zero but its LimitFlags at byte 16
    limits = (c_uint32 * (36 if sizeof(c_void_p) == 8 else 28))(0, 0, 0, 0, 0x800 | kill_on_close)
    return bool(job and kernel32.SetInformationJobObject(job, 9, byref(limits), sizeof(limits)))

def holds_exactly(text, code_page):  # Windows' own conversion, strict: no best-fit stand-in, no default character
    try:
        data = codecs.code_page_encode(code_page, text)[0]
        return codecs.code_page_decode(code_page, data, "strict", True)[0] == text
    except UnicodeError:
        return False

def start_recording(launcher, title, output):
    """Starts the launcher to record the window titled title into output; raises ValueError (refused) or OSError."""
    code_page = kernel32.GetACP()
    if code_page == 65001:  # a manifest made this process's code page UTF-8; the launcher reads the system's
        import winreg
        with winreg.OpenKey(winreg.HKEY_LOCAL_MACHINE, r"SYSTEM\CurrentControlSet\Control\Nls\CodePage") as key:
            code_page = int(winreg.QueryValueEx(key, "ACP")[0])
    refusal, line = compose_command_line(launcher, title, output, lambda text: holds_exactly(text, code_page))
    if refusal:
        raise ValueError(refusal)
    output = os.path.abspath(output)  # as the encoder resolves it, against this current directory
    before, (read_end, write_end), started = file_state(output), os.pipe(), ProcessInformation()
    # Only the write end is made inheritable (Python's own handles are not): the launcher alone takes it.
    os.set_handle_inheritable(msvcrt.get_osfhandle(write_end), True)
    startup = StartupInfo(sizeof(StartupInfo), flags=0x100, stderr=msvcrt.get_osfhandle(write_end))
    # Suspended (0x4), so it runs nothing before it is in the job; the application named apart, so nothing is searched.
    created = kernel32.CreateProcessW(launcher, ctypes.create_unicode_buffer(line), None, None, True, 0x4, None, None,
                                      byref(startup), byref(started))  # 0x100 above: STARTF_USESTDHANDLES
    error = ctypes.get_last_error()
    os.close(write_end)
    if not created:
        os.close(read_end)
        raise ctypes.WinError(error)
    job = kernel32.CreateJobObjectW(None, None)  # kill-on-close: a caller that dies takes the launcher along
    if job and not (set_job_limits(job, 0x2000) and kernel32.AssignProcessToJobObject(job, started.process)):
        kernel32.CloseHandle(job)
        job = None  # in no job of its own, it outlives a caller that dies
    kernel32.ResumeThread(started.thread)
    kernel32.CloseHandle(started.thread)
    return Recording(launcher=launcher, output=output, before=before, process=started.process,
                     process_id=started.process_id, job=job, pipe=read_end, code_page=code_page)

class Recording(types.SimpleNamespace):
    """A started launcher; close() before a stop was accepted ends it and its encoder with the job."""
    seen = accepted = False
    encoder = None  # whether an encoder ran in the job as the stop went out; None: not known

    def stop(self, deadline_ms=30000):  # above the launcher's worst case from the stop to its exit, 23 s
        """Posts the stop to this launcher's window, then awaits its going and the launcher's exit, in one deadline."""
        end = time.monotonic() + deadline_ms / 1000
        outcome, error = ("stopped", 0) if self.accepted else self.deliver(end)
        if self.accepted and not self.wait(end, self.exited):
            outcome = "not-exited"
        verdict = self.judge()
        return Stopped(outcome, error, self.encoder, verdict, self.reasons(),
                       outcome == "stopped" and self.encoder is True and verdict == "finished")

    def deliver(self, end):
        first = not self.seen
        if first:  # a stop posted before the window exists would be lost: wait for it while the launcher runs
            self.wait(end, lambda: self.find() or self.exited())
        window = self.find()
        if window:
            self.encoder = self.encoder_runs() if first else self.encoder
            if not user32.PostMessageW(window, 0x0401, 0, 0):  # WM_USER + 1
                error = ctypes.get_last_error()
                if self.owns(window):  # else it went meanwhile, stopped from elsewhere
                    return "post-failed", error
            if not self.wait(end, lambda: not self.owns(window) or self.exited()):
                return "stop-not-accepted", 0
        elif first:
            return ("ended-before-stop" if self.exited() else "stop-not-accepted"), 0
        self.accepted = True  # the window went: from here the launcher finishes the file by itself,
        set_job_limits(self.job, 0)  # and a caller that dies must no longer end it
        return "stopped", 0

    def find(self):  # every launcher's control window has this class and title: only its owner tells them apart
        window = user32.FindWindowExW(None, None, "ZELTRA_ScreenTool", "ZELTRA_ScreenTool")
        while window and not self.owns(window):
            window = user32.FindWindowExW(None, window, "ZELTRA_ScreenTool", "ZELTRA_ScreenTool")
        self.seen |= bool(window)
        return window

    def wait(self, end, done):  # whether done() came true by the deadline; an exit ends a pause at once
        while not done() and time.monotonic() < end:
            kernel32.WaitForSingleObject(self.process, max(1, min(10, int((end - time.monotonic()) * 1000))))
        return done()

    def owns(self, window):
        owner = c_uint32()
        return bool(user32.GetWindowThreadProcessId(window, byref(owner))) and owner.value == self.process_id

    def exited(self):
        return kernel32.WaitForSingleObject(self.process, 0) == 0

    def encoder_runs(self):  # None where the job cannot be read
        step, ids = sizeof(c_void_p) // 4, (c_uint32 * 130)()  # JOBOBJECT_BASIC_PROCESS_ID_LIST, room for 64
        if not (self.job and kernel32.QueryInformationJobObject(self.job, 3, ids, sizeof(ids), None)):
            return None
        names = []  # 0x1000 below: PROCESS_QUERY_LIMITED_INFORMATION
        for process in [kernel32.OpenProcess(0x1000, False, i) for i in ids[2:2 + step * min(ids[1], 64):step]]:
            image, size = ctypes.create_unicode_buffer(1024), c_uint32(1024)
            if kernel32.QueryFullProcessImageNameW(process, 0, image, byref(size)):
                names.append(image.value.lower())
            kernel32.CloseHandle(process)
        return any(name.endswith("\\ffmpeg.exe") for name in names)

    def reasons(self):  # the launcher's lines on its standard error, read without waiting: it may run on
        size = c_uint32()
        kernel32.PeekNamedPipe(msvcrt.get_osfhandle(self.pipe), None, 0, None, byref(size), None)
        data = os.read(self.pipe, size.value) if size.value else b""
        return codecs.code_page_decode(self.code_page, data, "replace", True)[0].splitlines()

    def judge(self):
        judge = os.path.join(os.path.dirname(os.path.abspath(self.launcher)), "ZELTRA_ScreenTool_check.exe")
        try:  # 0x08000000: CREATE_NO_WINDOW
            ran = subprocess.run([judge, "--judge", self.output, "--since", "%d,%d" % self.before], timeout=10,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, creationflags=0x08000000)
        except (OSError, subprocess.TimeoutExpired):
            return None
        return verdict_of(ran.returncode, ran.stdout.decode("ascii", "replace"))

    def close(self):
        for handle in (self.job, self.process):
            kernel32.CloseHandle(handle)  # None (no job of its own) is refused, harmlessly
        os.close(self.pipe)

if __name__ == "__main__":  # zeltra_recording.py <launcher> <title> <output> <seconds>
    recording = start_recording(*sys.argv[1:4])
    time.sleep(float(sys.argv[4]))
    stopped = recording.stop()
    recording.close()
    print(*stopped.reasons, stopped, sep="\n")
    sys.exit(0 if stopped.taken else 1)
