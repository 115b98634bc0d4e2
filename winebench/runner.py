"""The Wine bench: runs the real launcher and the bench's Windows helper
program, bench_tool, under Wine and lets the tests, the demo and the benchmark
watch what happens, through the lines bench_tool prints.

Texts reach bench_tool hex-encoded so that no shell, locale or argument rule
alters them. Waits here are bounds against a hung run, not measurements.
"""
import os
import re
import subprocess
import threading
import time
from typing import NamedTuple

BUILD_DIR = os.environ.get("ZELTRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "mingw"))
LAUNCHER = os.path.join(BUILD_DIR, "ZELTRA_ScreenTool.exe")
STAND_IN = os.path.join(BUILD_DIR, "stand-in", "ffmpeg.exe")
BENCH_TOOL = os.path.join(BUILD_DIR, "bench_tool.exe")
CHECK = os.path.join(BUILD_DIR, "ZELTRA_ScreenTool_check.exe")
# The encoder build the launcher records with under Wine, which reads recordings back too.
REAL_ENCODER = os.environ.get("ZELTRA_REAL_ENCODER", "")
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
    return text.encode(ENCODING).hex()


def windows_path(linux_path):
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def bench_tool(*words):
    """The command line of a bench_tool subcommand (see winebench/helpers/)."""
    return [BENCH_TOOL, *map(str, words)]


def flags(**options):
    """Options as bench_tool's flags (minimized_for_ms=4000: --minimized-for-ms 4000): True alone, None and
    False left out, a number as it is, a text hex-encoded, a tuple value by value."""
    words = []
    for name, value in options.items():
        if value is None or value is False:
            continue
        words.append("--" + name.replace("_", "-"))
        if value is not True:
            words += [hexed(v) if isinstance(v, str) else str(v) for v in (value if isinstance(value, tuple) else (value,))]
    return words


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


def ask(*words):
    """The lines a bench_tool subcommand printed, run to its end."""
    return wine(*bench_tool(*words)).stdout.decode("ascii").splitlines()


def read_back(path, encoder=REAL_ENCODER, clock=False):
    """A recording read back as the machine check reads it (bench_tool read-back): each fact by its
    name (container, codec, tag, size, rate, duration, frames, avi), as text; with clock,
    "clock" the tick the target window's clock shows in each frame, None where unreadable."""
    lines = ask("read-back", windows_path(encoder), windows_path(path), *flags(clock=clock))
    facts = dict(line.split(" ", 1) for line in lines if not line.startswith("clock "))
    assert "frames" in facts, f"{path} could not be read back: {lines}"
    facts["clock"] = [None if line == "clock none" else int(line.split()[1]) for line in lines
                      if line.startswith("clock ")]
    return facts


class ReportingProcess:
    """A program under Wine whose report lines are collected as they come."""

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

    def first(self, start):
        """The first line that begins with start, waiting for it."""
        return self.wait_for(lambda line: isinstance(line, str) and line.startswith(start), f"'{start}'")

    def _parse(self, line):
        """A report line as it is kept; a program whose lines carry texts decodes them here, once."""
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
    """The launcher started with an exact command-line text by bench_tool run, which reads its diagnostic
    lines from the debug-output buffer with the check's reader; options are run's flags (cwd, show, plain, console, new_group, job_without_breakaway,
    processes_at), windows_env variables it sets on the Windows side, as Wine's registry wins."""

    launch_tick = None  # GetTickCount just before a plain start
    exit_tick = None  # GetTickCount when the launcher exited, once it has

    def __init__(self, install_dir, arguments, env=None, launcher=None, windows_env=None, **options):
        launcher = launcher or os.path.join(install_dir, "ZELTRA_ScreenTool.exe")
        command_line = f'"{windows_path(launcher)}" {arguments}'.encode("utf-8").hex()
        if options.get("cwd"):
            options["cwd"] = windows_path(options["cwd"])
        args = bench_tool("run", command_line, *flags(**options))
        for name, value in (windows_env or {}).items():
            args += ["--env", name, hexed(value)]
        super().__init__(args, env=env)
        if options.get("plain"):
            self.launch_tick = int(self.first("launch ").split()[1])
        self.pid = int(self.first("pid ").split()[1])

    def stop(self):
        """Also ends a launcher left running by a failed test: ending its starter does not."""
        if self.process.poll() is None or not any(isinstance(l, str) and l.startswith("exit ") for l in self.lines):
            wine("taskkill", "/F", "/PID", str(self.pid))
        super().stop()

    def _parse(self, line):
        if not line.startswith("debug "):
            return line
        _, tick, text = line.split(" ", 2)
        decoded = bytes.fromhex(text).decode(ENCODING)
        if not (decoded.startswith(PREFIX) and decoded.endswith("\n")):
            return line  # not one of the launcher's lines; diagnostic_texts() leaves it out
        return Diagnostic(int(tick), decoded[len(PREFIX):-1])

    def diagnostic_texts(self):
        """The diagnostic lines so far."""
        return [line.text for line in list(self.lines) if isinstance(line, Diagnostic)]

    def wait_for_diagnostic(self, start):
        """The tick of the first diagnostic line that begins so, waiting for it."""
        return self.wait_for(lambda l: isinstance(l, Diagnostic) and l.text.startswith(start),
                             f"diagnostic '{start}'").tick

    def wait_for_exit(self):
        """The exit code (a crash's is its exception's), once its last diagnostic line is in."""
        line = self.wait_for(lambda l: isinstance(l, str) and l.startswith("exit "), "exit")
        self.process.wait(timeout=BOUND)
        self.exit_tick = int(line.split()[2])
        return int(line.split()[1])

    def processes_at(self):
        """How many processes of each image name ran while the launcher was held just after the line
        processes_at names: {"ffmpeg.exe": n, "cmd.exe": n}."""
        return {name: int(count) for name, count in (word.split("=") for word in self.first("processes ").split()[1:])}

    def finish(self):
        return finish_key(self.diagnostic_texts())

    def stop_commands(self):
        return sum(1 for t in self.diagnostic_texts() if t.startswith("asking every ffmpeg.exe to close"))


class CallerRun(ReportingProcess):
    """The caller header's example program, record_window, recording through the header: it stops
    when told (or at once) and reports how the stop ended."""

    def __init__(self, launcher, title, output, mode=None, env=None):
        """mode: "--at-once", "--request-first" or "--request-on-enter" (see record_window.cpp)."""
        args = [os.path.join(BUILD_DIR, "record_window.exe"), windows_path(launcher), title, output]
        super().__init__(args + ([mode] if mode else []), stdin=subprocess.PIPE, env=env)

    def fields(self, key):
        """The key=value words of the first line that begins with key, waiting for it."""
        return dict(word.split("=", 1) for word in self.first(key + " ").split(" ")[1:])

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
    """A window to record, painted with the check's test picture; options are bench_tool window's
    flags: animate, clock (its tick in its top left corner), start_encoder (program, parameter
    line: it starts that encoder itself once it has its title), never_show, minimized_for_ms."""

    def __init__(self, title, x, y, width, height, **options):
        super().__init__(bench_tool("window", hexed(title), x, y, width, height, *flags(**options)))
        self.created_tick = int(self.first("created ").split()[1])


def expected_parameters(x, y, width, height, quoted_path):
    """The encoder's parameter line for a region, built once here for the tests and the benchmark."""
    return (f"-y -rtbufsize 100M -f gdigrab -framerate 30 -offset_x {x} -offset_y {y} -video_size {width}x{height} "
            f"-draw_mouse 1 -i desktop -c:v libxvid -r 30 -qscale:v 10 {quoted_path}")


def send(message, how="post", count=1, window=(CONTROL_WINDOW, CONTROL_WINDOW)):
    """The message to the top-level window of that class and title, count times: posted, sent
    (how="send:<ms>") or posted to its thread; the tick it went at, or None without such a window,
    and the words of each send's line: result, its number, taken (1) or not (0), the error, the tick on return."""
    lines = ask("send", hexed(window[0]), hexed(window[1]), message, how, count)
    words = lines[0].split() if lines else []
    return (int(words[1]) if words[:1] == ["sent"] else None), [line.split() for line in lines[1:]]


def send_to_control_window(message, how="post"):
    """The tick at which the message was posted, or None when there was no control window."""
    return send(message, how)[0]


def control_window_exists():
    return send_to_control_window(0) is not None  # WM_NULL: found, and nothing done


def linux_processes():
    """Each Linux process of this bench's Wine prefix (all of them when none is set) as (pid, command line with
    blanks between its arguments). Other benches on the same machine run their own prefixes and encoders."""
    prefix = os.environ.get("WINEPREFIX")
    processes = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
            if prefix:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if b"WINEPREFIX=" + os.fsencode(prefix) not in f.read().split(b"\0"):
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
    return [Window(w[1] == "1", w[2] == "1", *(bytes.fromhex(text).decode(ENCODING) for text in w[3:5]))
            for w in (line.split(" ") for line in ask("windows", pid)) if w[0] == "window"]


def stop_every_encoder():
    """Ends every ffmpeg.exe left over, so no test sees another's."""
    wine("taskkill", "/F", "/IM", "ffmpeg.exe")


class LogRecord(NamedTuple):
    """One line of the stand-in encoder's log of a kind: start, ready, close, ignored or exit."""
    pid: int
    tick: int
    words: list  # the rest of the line: why it closed or what it ignored first, or an exit's code


class StandInLog:
    """The log the stand-in encoder keeps beside itself (see stand_in_encoder.cpp)."""

    def __init__(self, directory):
        self.path = os.path.join(directory, "stand-in-encoder.log")

    def records(self, kind):
        try:
            with open(self.path, "rb") as f:
                lines = [line.decode("ascii").split(" ") for line in f.read().splitlines()]
        except FileNotFoundError:
            return []
        return [LogRecord(int(w[1]), int(w[2]), w[3:]) for w in lines if w[0] == kind]

    def starts(self):
        """One dict per start of the stand-in encoder."""
        starts = []
        for r in self.records("start"):
            cwd, parameters, last_argument = (bytes.fromhex(text).decode(ENCODING) for text in r.words[2:5])
            starts.append({"pid": r.pid, "tick": r.tick, "uses_show": r.words[0] == "1", "show": int(r.words[1]),
                           "cwd": cwd, "parameters": parameters, "last_argument": last_argument})
        return starts

    def reasons(self, kind):
        """Why each close (or ignored) line's request came: WM_CLOSE, CTRL_C, Q, encoder-ended."""
        return [r.words[0] for r in self.records(kind)]

    def clear(self):
        if os.path.exists(self.path):
            os.remove(self.path)

    def first_start(self):
        """The first start of the stand-in encoder, waiting for it."""
        self.wait_for("start")
        return self.starts()[0]

    def wait_for_ready(self):
        """Waits until a start of the stand-in hears requests: a stop message, Ctrl+C, a quit or a
        close sent before that may go unheard. Every signal to it waits for this first."""
        return self.wait_for("ready")

    def wait_for(self, kind):
        wait_until(lambda: self.records(kind), f"the stand-in encoder's '{kind}' line")
        return self.records(kind)
