"""Measures the launcher under Wine: the cost of an idle wait, how fast it
finds a window, starts the encoder and stops, and what of the window's life
the file misses at its start and end, each beside a reference taken in the
same run. Run through bench/run.sh; not part of the tests.
Usage: bench.py [idle] [timing] [fidelity] [file]   (all of them when none is named)"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from winebench.runner import (LAUNCHER, STAND_IN, STOP_MESSAGE, WINE, WM_CLOSE, LauncherRun, ReportingProcess,
                              StandInLog, TargetWindow, bench_tool, control_window_exists, expected_parameters, hexed,
                              linux_pids, read_back, send, send_to_control_window, stop_every_encoder, windows_path)

RUNS = int(os.environ.get("ZELTRA_BENCH_RUNS", "10"))
FILE_RUNS = int(os.environ.get("ZELTRA_BENCH_FILE_RUNS", "20"))
CLOCK_WINDOW = (80, 60, 403, 301)  # recorded as 400x300 at 80,60


def cpu_seconds(pid):
    """CPU time of the process's main thread and its other threads, in ns resolution."""
    total = 0
    for thread in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{thread}/schedstat") as f:
            total += int(f.read().split()[0])
    return total / 1e9


def install():
    directory = tempfile.mkdtemp(prefix="zeltra-bench-")
    shutil.copy(LAUNCHER, directory)
    shutil.copy(STAND_IN, directory)
    return directory


def own_wineserver():
    """The wineserver of this run's prefix: other runs on the machine have their own, and their
    work is no part of this run's figures."""
    prefix = os.environ.get("WINEPREFIX", "").encode()
    own = []
    for pid in linux_pids("wineserver"):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if b"WINEPREFIX=" + prefix in f.read().split(b"\0"):
                    own.append(pid)
        except OSError:
            pass
    return own


def idle_server(seconds=10):
    """wineserver's own CPU over the same time with nothing waiting: the reference."""
    server = own_wineserver()
    before = sum(cpu_seconds(p) for p in server)
    time.sleep(seconds)
    return sum(cpu_seconds(p) for p in server) - before


def idle_wait(seconds=10):
    directory = install()
    run = LauncherRun(directory, "Absent Window#" + windows_path(os.path.join(directory, "x.avi")))
    run.wait_for_diagnostic("waiting for the window")
    time.sleep(0.5)
    # This run's launcher alone: its command line names the install folder.
    launcher = [p for p in linux_pids(os.path.basename(directory)) if p != run.process.pid]
    server = own_wineserver()
    before = [cpu_seconds(p) for p in launcher + server]
    time.sleep(seconds)
    after = [cpu_seconds(p) for p in launcher + server]
    send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    run.stop()
    shutil.rmtree(directory, True)
    n = len(launcher)
    return sum(after[:n]) - sum(before[:n]), sum(after[n:]) - sum(before[n:])


def one_recording(index):
    """Times of one whole run: window to found, window to encoder start, stop message to exit."""
    directory = install()
    log = StandInLog(directory)
    title = f"Bench Window {index}"
    run = LauncherRun(directory, f"{title}#" + windows_path(os.path.join(directory, "x.avi")))
    run.wait_for_diagnostic("waiting for the window")
    time.sleep(0.3)
    target = TargetWindow(title, 50, 50, 320, 240)
    found = run.wait_for_diagnostic("found the window")
    started = log.first_start()["tick"]
    log.wait_for_ready()
    time.sleep(0.3)
    sent = send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    for p in (run, target):
        p.stop()
    shutil.rmtree(directory, True)
    return found - target.created_tick, started - target.created_tick, run.exit_tick - sent


def reference(index):
    """The bare encoder start, and the bare stop command run while that encoder listens, to its exit."""
    directory = install()
    log = StandInLog(directory)
    helper_run = ReportingProcess(bench_tool("reference", hexed(windows_path(os.path.join(directory, "ffmpeg.exe")))),
                                  stdin=subprocess.PIPE)
    before_launch = int(helper_run.wait_for(lambda l: l.startswith("started "), "the encoder's launch").split()[1])
    started = log.first_start()["tick"]
    log.wait_for_ready()
    helper_run.process.stdin.write(b"\n")
    helper_run.process.stdin.flush()
    before_stop, after_stop, exited = map(int, helper_run.wait_for(lambda l: l.startswith("reference "),
                                                                   "the reference stop").split()[1:])
    assert exited, "the encoder had not exited on the bare stop command"
    helper_run.stop()
    stop_every_encoder()
    shutil.rmtree(directory, True)
    # The start's reference: the stop command, which the launcher may run before it, and the encoder's start.
    return after_stop - before_stop, (after_stop - before_stop) + (started - before_launch), exited - before_stop


def fidelity(real_encoder, seconds=5):
    """Frames in a real recording against 30 a second between the encoder's start and the stop."""
    directory = install()
    os.symlink(real_encoder, os.path.join(directory, "ffmpeg-real.exe"))
    log = StandInLog(directory)
    target = TargetWindow("Fidelity Window", 80, 60, 403, 301)
    run = LauncherRun(directory, "Fidelity Window#" + windows_path(os.path.join(directory, "f.avi")))
    started = log.first_start()["tick"]
    log.wait_for_ready()
    time.sleep(seconds)
    sent = send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    for p in (run, target):
        p.stop()
    frames = int(read_back(os.path.join(directory, "f.avi"), real_encoder)["frames"])
    shutil.rmtree(directory, True)
    return frames, (sent - started) / 1000


def recording_install(real_encoder):
    directory = install()
    os.symlink(real_encoder, os.path.join(directory, "ffmpeg-real.exe"))
    return directory


def start_stale_encoder():
    """An ffmpeg.exe left from an earlier run, idle until asked to close."""
    directory = install()
    process = subprocess.Popen([WINE, os.path.join(directory, "ffmpeg.exe"), "stale"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    StandInLog(directory).wait_for_ready()  # the launcher's stop command asks it to close
    return process, directory


def missed_and_lost(path, real_encoder, findable, sent):
    """Missed start and lost tail of a recording, each None where its frame's clock is unreadable."""
    ticks = read_back(path, real_encoder, clock=True)["clock"]
    first, last = (ticks[0], ticks[-1]) if ticks else (None, None)
    return (None if first is None else first - findable), (None if last is None else sent - last)


def launcher_in_file(index, real_encoder, window_first, stale, seconds=1.0):
    """Missed start (first frame's tick minus the moment the window could be found by a launcher
    already running, or the launcher's start when the window was there first) and lost tail
    (1025 sent minus the last frame's tick), the launcher started as callers start it."""
    directory = recording_install(real_encoder)
    output = os.path.join(directory, "c.avi")
    title = f"Clock Window {index}"
    arguments = f"{title}#{windows_path(output)}"
    stale_encoder = start_stale_encoder() if stale else None
    if window_first:
        target = TargetWindow(title, *CLOCK_WINDOW, clock=True)
        time.sleep(0.3)
        run = LauncherRun(directory, arguments, plain=True)
        findable = run.launch_tick
    else:
        run = LauncherRun(directory, arguments, plain=True)
        while not control_window_exists():
            time.sleep(0.05)
        time.sleep(0.3)  # waiting for the window by now
        target = TargetWindow(title, *CLOCK_WINDOW, clock=True)
        findable = target.created_tick
    StandInLog(directory).wait_for_ready()
    time.sleep(seconds)
    sent = send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    for p in (run, target):
        p.stop()
    if stale_encoder:
        stale_encoder[0].wait(timeout=60)
        shutil.rmtree(stale_encoder[1], True)
    result = missed_and_lost(output, real_encoder, findable, sent)
    shutil.rmtree(directory, True)
    return result


def reference_in_file(index, real_encoder, seconds=1.0):
    """The same, with the encoder started by the window itself when it has its title, through the
    same adapter, launch record and parameter line, and stopped by a close request sent to it."""
    directory = recording_install(real_encoder)
    output = os.path.join(directory, "c.avi")
    log = StandInLog(directory)
    target = TargetWindow(f"Reference Window {index}", *CLOCK_WINDOW, clock=True,
                          start_encoder=(windows_path(os.path.join(directory, "ffmpeg.exe")),
                                         expected_parameters(80, 60, 400, 300, f'"{windows_path(output)}"')))
    log.wait_for_ready()
    time.sleep(seconds)
    sent, _ = send(WM_CLOSE, window=("ZeltraStandInEncoder", "stand-in encoder"))
    log.wait_for("exit")
    target.stop()
    result = missed_and_lost(output, real_encoder, target.created_tick, sent)
    shutil.rmtree(directory, True)
    return result


def spread(values):
    values = sorted(v for v in values if v is not None)
    if not values:
        return "no readable runs"
    return f"min {values[0]}, median {statistics.median(values):g}, max {values[-1]} ms ({len(values)} runs)"


def in_the_file(real_encoder):
    flows = {
        "window appears while the launcher waits": dict(window_first=False, stale=False),
        "window there before the launcher starts": dict(window_first=True, stale=False),
        "window appears while it waits, a stale ffmpeg.exe running": dict(window_first=False, stale=True),
        "window there before it starts, a stale ffmpeg.exe running": dict(window_first=True, stale=True),
    }
    results = {name: [] for name in flows}
    references = []
    for i in range(FILE_RUNS):  # interleaved, so that drifts of the machine fall on all alike
        references.append(reference_in_file(i, real_encoder))
        for name, flow in flows.items():
            results[name].append(launcher_in_file(i, real_encoder, **flow))
    reference_start = [r[0] for r in references]
    print(f"in the file, reference (encoder started by the window itself): missed start {spread(reference_start)}; "
          f"lost tail {spread(r[1] for r in references)}")
    for name, runs in results.items():
        costs = [run[0] - ref for run, ref in zip(runs, reference_start) if run[0] is not None and ref is not None]
        print(f"in the file, {name}: missed start {spread(r[0] for r in runs)}; launcher's cost over the "
              f"reference run beside it {spread(costs)}; lost tail {spread(r[1] for r in runs)}")


def main(parts):
    parts = set(parts) or {"idle", "timing", "fidelity", "file"}
    stop_every_encoder()
    if "idle" in parts:
        launcher_cpu, server_cpu = idle_wait()
        baseline = idle_server()
        print(f"idle wait: launcher {launcher_cpu:.3f} s CPU, wineserver {server_cpu:.3f} s CPU over 10 s "
              f"(target: at most 0.05 s together); reference, wineserver with nothing waiting: {baseline:.3f} s")
    if "timing" in parts:
        runs, references = [], []
        for i in range(RUNS):  # interleaved, so that drifts of the machine fall on both alike
            runs.append(one_recording(i))
            references.append(reference(i))
        median = statistics.median
        print(f"detection: window created to found, median {median(r[0] for r in runs)} ms "
              f"(runs: {sorted(r[0] for r in runs)}; target: at most 20 ms)")
        print(f"start: window created to encoder started, median {median(r[1] for r in runs)} ms; "
              f"reference, bare stop command plus bare encoder start: {median(r[1] for r in references)} ms")
        costs = [run[2] - ref[2] for run, ref in zip(runs, references)]
        print(f"stop: message sent to launcher exit, median {median(r[2] for r in runs)} ms; reference, bare stop "
              f"command run while the encoder listens, to that encoder's exit: {median(r[2] for r in references)} ms "
              f"(the command alone {median(r[0] for r in references)} ms); the launcher's own cost, each run "
              f"minus its reference: median {median(costs)} ms (min {min(costs)}, max {max(costs)})")
    real_encoder = os.environ.get("ZELTRA_REAL_ENCODER")
    if real_encoder and "fidelity" in parts:
        frames, seconds = fidelity(real_encoder)
        print(f"fidelity: {frames} frames in the file for {seconds:.2f} s from encoder start to stop: "
              f"{frames / (30 * seconds):.2f} of 30 fps (encoder start-up included)")
    if real_encoder and "file" in parts:
        in_the_file(real_encoder)


if __name__ == "__main__":
    main(sys.argv[1:])
