"""Measures the launcher under Wine: the cost of an idle wait, how fast it
finds a window, starts the encoder and stops, each beside a reference taken
in the same run. Run through bench/run.sh; not part of the tests."""
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "wine"))
from winebench import (LAUNCHER, STAND_IN, STOP_MESSAGE, LauncherRun, StandInLog, TargetWindow,  # noqa: E402
                       helper, linux_pids, send_to_control_window, stop_every_encoder, wine, windows_path)

RUNS = int(os.environ.get("ZELTRA_BENCH_RUNS", "10"))


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


def idle_server(seconds=10):
    """wineserver's own CPU over the same time with nothing waiting: the reference."""
    server = linux_pids("wineserver")
    before = sum(cpu_seconds(p) for p in server)
    time.sleep(seconds)
    return sum(cpu_seconds(p) for p in server) - before


def idle_wait(seconds=10):
    directory = install()
    run = LauncherRun(directory, "Absent Window#" + windows_path(os.path.join(directory, "x.avi")))
    run.wait_for_diagnostic("waiting for the window")
    time.sleep(0.5)
    launcher = [p for p in linux_pids("ZELTRA_ScreenTool.exe") if p != run.process.pid]
    server = linux_pids("wineserver")
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
    time.sleep(0.3)
    sent = send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    for p in (run, target):
        p.stop()
    shutil.rmtree(directory, True)
    return found - target.created_tick, started - target.created_tick, run.exit_tick - sent


def reference(index):
    directory = install()
    log = StandInLog(directory)
    out = wine(helper("bench_reference"), windows_path(os.path.join(directory, "ffmpeg.exe"))
               .encode("cp1252").hex()).stdout.decode().split()
    before_stop, after_stop = int(out[1]), int(out[2])
    started = log.first_start()["tick"]
    stop_every_encoder()
    shutil.rmtree(directory, True)
    return after_stop - before_stop, started - before_stop


def fidelity(real_encoder, seconds=5):
    """Frames in a real recording against 30 a second between the encoder's start and the stop."""
    from recording_check import probe
    directory = install()
    os.symlink(real_encoder, os.path.join(directory, "ffmpeg-real.exe"))
    log = StandInLog(directory)
    target = TargetWindow("Fidelity Window", 80, 60, 403, 301)
    run = LauncherRun(directory, "Fidelity Window#" + windows_path(os.path.join(directory, "f.avi")))
    started = log.first_start()["tick"]
    time.sleep(seconds)
    sent = send_to_control_window(STOP_MESSAGE)
    run.wait_for_exit()
    for p in (run, target):
        p.stop()
    frames = int(probe(os.path.join(directory, "f.avi"))["streams"][0]["nb_read_frames"])
    shutil.rmtree(directory, True)
    return frames, (sent - started) / 1000


def main():
    stop_every_encoder()
    launcher_cpu, server_cpu = idle_wait()
    baseline = idle_server()
    print(f"idle wait: launcher {launcher_cpu:.3f} s CPU, wineserver {server_cpu:.3f} s CPU over 10 s "
          f"(target: at most 0.05 s together); reference, wineserver with nothing waiting: {baseline:.3f} s")
    runs = [one_recording(i) for i in range(RUNS)]
    references = [reference(i) for i in range(RUNS)]
    median = statistics.median
    print(f"detection: window created to found, median {median(r[0] for r in runs)} ms "
          f"(runs: {sorted(r[0] for r in runs)}; target: at most 20 ms)")
    print(f"start: window created to encoder started, median {median(r[1] for r in runs)} ms; "
          f"reference, bare stop command plus bare encoder start: {median(r[1] for r in references)} ms")
    print(f"stop: message sent to launcher exit, median {median(r[2] for r in runs)} ms; "
          f"reference, bare stop command: {median(r[0] for r in references)} ms")
    real_encoder = os.environ.get("ZELTRA_REAL_ENCODER")
    if real_encoder:
        frames, seconds = fidelity(real_encoder)
        print(f"fidelity: {frames} frames in the file for {seconds:.2f} s from encoder start to stop: "
              f"{frames / (30 * seconds):.2f} of 30 fps (encoder start-up included)")


if __name__ == "__main__":
    main()
