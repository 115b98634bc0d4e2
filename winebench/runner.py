"""The Wine bench: runs the real launcher and the Windows helper programs
under Wine and lets the tests, the demo and the benchmark watch what
happens, through the helpers' report lines.

Texts reach the helpers hex-encoded so that no shell, locale or argument rule
alters them. Waits here are bounds against a hung run, not measurements.
"""
import os
import re
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from typing import NamedTuple

BUILD_DIR = os.environ.get("ZELTRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "mingw"))
LAUNCHER = os.path.join(BUILD_DIR, "ZELTRA_ScreenTool.exe")
STAND_IN = os.path.join(BUILD_DIR, "stand-in", "ffmpeg.exe")
# The loader that runs this build's programs: the 64-bit one is not on PATH.
WINE = os.environ.get("ZELTRA_WINE", "wine")
CONTROL_WINDOW = "ZELTRA_ScreenTool"
STOP_MESSAGE = 1025
WM_CLOSE = 0x0010
ENCODING = "cp1252"  # the ANSI code page Wine takes from LC_ALL=C.UTF-8
PREFIX = "ZELTRA_ScreenTool: "
BOUND = 60  # seconds: the longest any single step may take before a test fails


# The key the launcher ends its one line on how its encoder ended with (launcher/encoder_finish.h).
FINISH_KEY = re.compile(r" \[finish=([a-z-]+)(?: ms=(\d+))?\]$")


def finish_key(texts):
    """How the launcher says its encoder ended: (key, ms after the stop command or None), from the
    last of its lines that carries a key; None when none does."""
    for text in reversed(texts):
        match = FINISH_KEY.search(text)
        if match:
            return match.group(1), None if match.group(2) is None else int(match.group(2))
    return None


def hexed(text):
    if isinstance(text, str):
        text = text.encode(ENCODING)
    return text.hex()


def code_page_holds(text):
    """Whether the ANSI code page holds every character of the text."""
    try:
        text.encode(ENCODING)
        return True
    except UnicodeEncodeError:
        return False


def windows_path(linux_path):
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def helper(name):
    return os.path.join(BUILD_DIR, name + ".exe")


def wait_until(condition, what):
    """Polls condition until it holds; at the bound the test fails, naming what did not happen."""
    deadline = time.monotonic() + BOUND
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {BOUND} s: {what}")
        time.sleep(0.05)


def wine(*args, **kwargs):
    return subprocess.run([WINE, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=BOUND, check=False, **kwargs)


class ReportingProcess:
    """A helper under Wine whose report lines are collected as they come."""

    def __init__(self, args, env=None, stdin=None):
        self.lines = []
        self._changed = threading.Condition()
        self.process = subprocess.Popen([WINE, *args], stdin=stdin, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stdout:
            line = self._parse(raw.decode("ascii", "replace").strip())
            with self._changed:
                self.lines.append(line)
                self._changed.notify_all()
        with self._changed:
            self.lines.append(None)  # end of output
            self._changed.notify_all()

    def wait_for(self, predicate, what):
        """Returns the first line for which predicate holds, waiting for it."""
        deadline = time.monotonic() + BOUND
        with self._changed:
            while True:
                for line in self.lines:
                    if line is not None and predicate(line):
                        return line
                if None in self.lines:
                    raise AssertionError(f"ended without {what}; lines: {self.lines}")
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError(f"no {what} within {BOUND} s; lines: {self.lines}")
                self._changed.wait(left)

    def _parse(self, line):
        """A report line as it is kept; helpers whose lines carry texts decode them here, once."""
        return line

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=BOUND)
        self._reader.join(timeout=BOUND)
        self.process.stdout.close()
        if self.process.stdin:
            self.process.stdin.close()


class Diagnostic(NamedTuple):
    tick: int
    text: str  # without the prefix and the line end


class LauncherRun(ReportingProcess):
    """The launcher started with an exact command-line text, watched by run_verbatim as its debugger."""

    def __init__(self, install_dir, arguments, cwd=None, show=None, env=None, launcher=None, windows_env=None,
                 plain=False, new_group=False, job_without_breakaway=False, processes_at=None, console=False):
        launcher = launcher or os.path.join(install_dir, "ZELTRA_ScreenTool.exe")
        name = '"' + windows_path(launcher) + '" '
        wide = not code_page_holds(name) or (isinstance(arguments, str) and not code_page_holds(arguments))
        if wide:  # texts the code page cannot hold: the command line goes as text, started wide
            text = name + (arguments.decode(ENCODING) if isinstance(arguments, bytes) else arguments)
            command_line = text.encode("utf-16-le")
        else:
            command_line = name.encode(ENCODING) + (
                arguments if isinstance(arguments, bytes) else arguments.encode(ENCODING))
        args = [helper("run_verbatim"), command_line.hex()]
        if len(args[1]) > 16000:  # too long for a command line of its own: hand it over in a file
            with tempfile.NamedTemporaryFile("w", suffix=".hex", delete=False) as f:
                f.write(args[1])
            self.handover = f.name
            args[1] = "@" + windows_path(f.name)
        if cwd:
            args += ["--cwd", hexed(windows_path(cwd))]
        if show is not None:
            args += ["--show", str(show)]
        for name, value in (windows_env or {}).items():  # set on the Windows side, as Wine's registry wins
            args += ["--env", name, hexed(value)]
        if plain:  # started as callers start it: no diagnostic lines, no debugger round trips
            args.append("--plain")
        if new_group:  # as job runners start programs: it ignores Ctrl+C, and passes that on
            args.append("--new-group")
        if job_without_breakaway:
            args.append("--job-without-breakaway")
        if processes_at:  # the processes running while it is held at that diagnostic line
            args += ["--processes-at", hexed(processes_at)]
        if console:  # on a console of its own, its output among these lines
            args.append("--console")
        if wide:
            args.append("--wide")
        super().__init__(args, env=env)
        if plain:
            self.launch_tick = int(self.wait_for(lambda l: isinstance(l, str) and l.startswith("launch "),
                                                 "launch").split()[1])
        self.pid = int(self.wait_for(lambda l: isinstance(l, str) and l.startswith("pid "), "process id").split()[1])

    handover = None  # the file that handed over a long command line
    launch_tick = None  # GetTickCount just before a plain start
    exit_tick = None  # GetTickCount when the launcher exited, once it has

    def stop(self):
        """Also ends a launcher left running by a failed test: ending its starter does not."""
        if self.process.poll() is None or not any(isinstance(l, str) and l.startswith(("exit ", "crash "))
                                                  for l in self.lines):
            wine("taskkill", "/F", "/PID", str(self.pid))
        super().stop()
        if self.handover:
            os.remove(self.handover)
            self.handover = None

    def _parse(self, line):
        if not line.startswith("debug "):
            return line
        _, tick, text = line.split(" ", 2)
        decoded = bytes.fromhex(text).decode(ENCODING)
        if not (decoded.startswith(PREFIX) and decoded.endswith("\n")):
            return line  # not one of the launcher's lines; diagnostics() leaves it out
        return Diagnostic(int(tick), decoded[len(PREFIX):-1])

    def diagnostics(self):
        """The diagnostic lines so far."""
        return [line for line in list(self.lines) if isinstance(line, Diagnostic)]

    def diagnostic_texts(self):
        return [d.text for d in self.diagnostics()]

    def wait_for_diagnostic(self, start):
        """The tick of the first diagnostic line that begins so, waiting for it."""
        return self.wait_for(lambda l: isinstance(l, Diagnostic) and l.text.startswith(start),
                             f"diagnostic '{start}'").tick

    def wait_for_exit(self):
        """The exit code; fails the test on a crash."""
        line = self.wait_for(lambda l: isinstance(l, str) and l.startswith(("exit ", "crash ")), "exit")
        assert line.startswith("exit "), f"the launcher crashed: {line}"
        self.process.wait(timeout=BOUND)
        self.exit_tick = int(line.split()[2])
        return int(line.split()[1])

    def processes_at(self):
        """The image names running while the launcher was held at the line processes_at names."""
        line = self.wait_for(lambda l: isinstance(l, str) and l.startswith("processes "), "process list")
        return bytes.fromhex(line.split(" ", 1)[1]).decode(ENCODING).split("|")

    def finish(self):
        return finish_key(self.diagnostic_texts())

    def stop_commands(self):
        return sum(1 for t in self.diagnostic_texts() if t.startswith("asking every ffmpeg.exe to close"))

    def launches(self):
        return [t for t in self.diagnostic_texts() if t.startswith("starting ")]


class CallerRun(ReportingProcess):
    """The caller header's example program, record_window, recording through the header: it stops
    when told (or at once) and reports how the stop ended."""

    def __init__(self, launcher, title, output, mode=None, env=None):
        """mode: "--at-once" or "--request-first" (see record_window.cpp)."""
        args = [helper("record_window"), windows_path(launcher), title, output]
        super().__init__(args + ([mode] if mode else []), stdin=subprocess.PIPE, env=env)

    def first(self, key):
        """The first line that begins with key (started, window, refused, stopped), waiting for it."""
        return self.wait_for(lambda line: line.split(" ", 1)[0] == key, key)

    def fields(self, key):
        """The key=value words of that line."""
        return dict(word.split("=", 1) for word in self.first(key).split(" ")[1:])

    @property
    def launcher_pid(self):
        return int(self.fields("started")["pid"])

    def stop(self):
        """Also ends a launcher left running by a failed test: it holds this run's output pipe open."""
        started = [line for line in self.lines if line and line.startswith("started ")]
        if started:
            wine("taskkill", "/F", "/PID", started[0].split("=")[1])
        super().stop()

    def stop_recording(self):
        """Tells it to stop; the stopped line's fields."""
        self.process.stdin.write(b"\n")
        self.process.stdin.flush()
        return self.fields("stopped")


class TargetWindow(ReportingProcess):
    """A window to record; with clock its tick shows in its top left corner, with start_encoder
    (program, parameter line) it starts that encoder itself once it has its title. It can stay
    hidden first (show_after_ms, then moved to place (x, y, width, height); or never_show) or start
    minimized and be restored minimized_for_ms later."""

    def __init__(self, title, x, y, width, height, animate=False, clock=False, start_encoder=None,
                 show_after_ms=None, place=None, never_show=False, minimized_for_ms=None):
        args = [helper("target_window"), hexed(title), str(x), str(y), str(width), str(height)]
        if show_after_ms:
            args += ["--show-after", str(show_after_ms)]
        if place:
            args += ["--place", *map(str, place)]
        if never_show:
            args.append("--never-show")
        if minimized_for_ms:
            args += ["--minimized-for", str(minimized_for_ms)]
        if animate:
            args.append("--animate")
        if clock:
            args.append("--clock")
        if start_encoder:
            args += ["--start-encoder", hexed(start_encoder[0]), hexed(start_encoder[1])]
        super().__init__(args)
        self.created_tick = int(self.wait_for(lambda l: l.startswith("created "), "window").split()[1])


def expected_parameters(x, y, width, height, quoted_path):
    """The encoder's parameter line for a region, built once here for the tests and the benchmark."""
    return (f"-y -rtbufsize 100M -f gdigrab -framerate 30 -offset_x {x} -offset_y {y} -video_size {width}x{height} "
            f"-draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 {quoted_path}")


def send_to_control_window(message, wparam=0, lparam=0, count=1, how="post"):
    """The tick at which the message was posted, or None when there was no control window."""
    result = wine(helper("send_message"), hexed(CONTROL_WINDOW), hexed(CONTROL_WINDOW), str(message),
                  str(wparam), str(lparam), str(count), how)
    words = result.stdout.decode().split()
    return int(words[1]) if words[:1] == ["sent"] else None


class SendResult(NamedTuple):
    taken: bool
    error: int
    returned_at: int  # tick


def send_synchronously(message, count, timeout_ms):
    """SendMessageTimeout count times to the one control window: a SendResult each."""
    result = wine(helper("send_message"), hexed(CONTROL_WINDOW), hexed(CONTROL_WINDOW), str(message),
                  "0", "0", str(count), f"send:{timeout_ms}")
    return [SendResult(words[2] == "1", int(words[3]), int(words[4])) for words in map(str.split, result.stdout.decode().splitlines())
            if words[:1] == ["result"]]


def control_window_exists():
    return send_to_control_window(0) is not None  # WM_NULL: found, and nothing done


def linux_processes():
    """Each Linux process of this bench's Wine prefix (all of them when none is set) as (pid, command line with
    blanks between its arguments). Other benches on the same machine run their own prefixes and encoders."""
    prefix = os.environ.get("WINEPREFIX")
    processes = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
                if prefix:
                    with open(f"/proc/{entry}/environ", "rb") as f:
                        if b"\0WINEPREFIX=" + os.fsencode(prefix) + b"\0" not in b"\0" + f.read() + b"\0":
                            continue
                processes.append((int(entry), command))
            except OSError:
                pass
    return processes


def linux_pids(name):
    """Linux processes whose command line holds name (a Windows program's, under Wine)."""
    return [pid for pid, command in linux_processes() if name in command]


def wine_processes():
    """What runs under Wine: every Windows program and Wine's own processes, one line each."""
    return [f"{pid} {command}" for pid, command in linux_processes()
            if ".exe" in command.lower() or "wineserver" in command]


class Window(NamedTuple):
    visible: bool
    iconic: bool
    class_name: str
    title: str


def top_level_windows(pid):
    """Each top-level window of the process."""
    out = wine(helper("list_windows"), str(pid)).stdout.decode()
    windows = []
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == "window":
            parts += [""] * (5 - len(parts))
            windows.append(Window(parts[1] == "1", parts[2] == "1", bytes.fromhex(parts[3]).decode(ENCODING),
                                  bytes.fromhex(parts[4]).decode(ENCODING)))
    return windows


def window_manager_running():
    """Whether the display has a window manager: without one Wine leaves a
    minimized window mapped where it would stand restored, which freezes what
    the windows under it paint, and it waits 2 s on every such window it hides."""
    result = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True)
    return result.returncode == 0 and "window id" in result.stdout


def stop_every_encoder():
    """Ends every ffmpeg.exe left over, so no test sees another's."""
    wine("taskkill", "/F", "/IM", "ffmpeg.exe")


@dataclass
class LogRecord:
    """One line of the stand-in encoder's log: start, ready, close, ignored or exit."""
    kind: str
    pid: int
    tick: int
    words: list  # the rest of the line

    @property
    def detail(self):
        """Why it closed or what it ignored (WM_CLOSE, CTRL_C, encoder-ended), or an exit's code."""
        return self.words[0]


class StandInLog:
    def __init__(self, directory):
        self.path = os.path.join(directory, "stand-in-encoder.log")

    def records(self, kind):
        if not os.path.exists(self.path):
            return []
        with open(self.path, "rb") as f:
            lines = [line.decode("ascii").split(" ") for line in f.read().splitlines()]
        return [LogRecord(w[0], int(w[1]), int(w[2]), w[3:]) for w in lines if w[0] == kind]

    def starts(self):
        """One dict per start of the stand-in encoder."""
        return [{"pid": r.pid, "tick": r.tick, "uses_show": r.words[0] == "1", "show": int(r.words[1]),
                 "cwd": bytes.fromhex(r.words[2]).decode(ENCODING),
                 "parameters": bytes.fromhex(r.words[3]).decode(ENCODING),
                 "last_argument": bytes.fromhex(r.words[4]).decode(ENCODING) if len(r.words) > 4 else ""}
                for r in self.records("start")]

    def reasons(self, kind):
        """The detail of each close (or ignored) line."""
        return [r.detail for r in self.records(kind)]

    def clear(self):
        if os.path.exists(self.path):
            os.remove(self.path)

    def first_start(self):
        """The first start of the stand-in encoder, waiting for it."""
        self.wait_for("start")
        return self.starts()[0]

    def wait_for_ready(self, count=1):
        """Waits until count starts of the stand-in hear requests: a stop message, Ctrl+C, a quit or a
        close sent before that may go unheard. Every signal to it waits for this first."""
        return self.wait_for("ready", count)

    def wait_for(self, kind, count=1):
        deadline = time.monotonic() + BOUND
        while len(self.records(kind)) < count:
            if time.monotonic() > deadline:
                raise AssertionError(f"stand-in encoder logged no '{kind}' within {BOUND} s")
            time.sleep(0.05)
        return self.records(kind)
