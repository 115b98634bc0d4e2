"""Stops in a row: N real-encoder recordings through the caller header (record_window), each
stopped as callers stop it, with nothing between the launcher and the real encoder (no Wine
console adapter). For each run it sets the launcher's own line on how its encoder finished beside
the header's judgement of the file, then prints the counts of each pair and the spread of the
stop-to-exit times. Run through bench/stress.sh; not part of the tests.
Usage: python3 -m bench.stress [N]   (ZELTRA_STRESS_RUNS, default 100)"""
import collections
import os
import shutil
import statistics
import sys
import tempfile
import time

from winebench.runner import LAUNCHER, CallerRun, ReportingProcess, TargetWindow, bench_tool, finish_key, \
    stop_every_encoder, windows_path

RECORD_SECONDS = 1.0
class DebugViewer(ReportingProcess):
    """Every program's debug-output lines, read from the buffer that debug viewers read."""

    def __init__(self):
        super().__init__(bench_tool("viewer"))
        self.wait_for(lambda line: line == "holding" or line.startswith("not-holding"), "the buffer")
        assert "holding" in self.lines, f"the debug-output buffer is held by another viewer: {self.lines}"

    def lines_of(self, pid):
        prefix = f"line {pid} "
        texts = [bytes.fromhex(l[len(prefix):]).decode("cp1252") for l in list(self.lines)
                 if isinstance(l, str) and l.startswith(prefix)]
        return [t[len("ZELTRA_ScreenTool: "):].rstrip("\n") for t in texts if t.startswith("ZELTRA_ScreenTool: ")]


def how_finished(lines):
    """The launcher's own word on its encoder's end: the key of its line saying it."""
    key = finish_key(lines)
    return key[0] if key else "no line"


def one_stop(index, install_dir, viewer):
    title = f"Stress Window {index}"
    output = os.path.join(install_dir, f"stress-{index}.avi")
    target = TargetWindow(title, 100, 80, 403, 301, animate=True)
    caller = CallerRun(os.path.join(install_dir, "ZELTRA_ScreenTool.exe"), title, windows_path(output))
    try:
        recording = caller.fields("recording")
        if recording["state"] == "begun":
            time.sleep(RECORD_SECONDS)
        stopped = caller.stop_recording()
        caller.process.wait(timeout=60)
        time.sleep(0.2)  # the viewer's last lines
        lines = viewer.lines_of(caller.launcher_pid)
    finally:
        caller.stop()
        target.stop()
        stop_every_encoder()
    if os.path.exists(output):
        os.remove(output)
    exited = stopped.get("exited-ms", "none")
    return how_finished(lines), stopped["output"], None if exited == "none" else int(exited), lines


def main(runs):
    install_dir = tempfile.mkdtemp(prefix="zeltra-stress-")
    shutil.copy(LAUNCHER, install_dir)
    os.symlink(os.environ["ZELTRA_REAL_ENCODER"], os.path.join(install_dir, "ffmpeg.exe"))
    stop_every_encoder()
    viewer = DebugViewer()
    counts = collections.Counter()
    times = []
    try:
        for i in range(runs):
            try:
                finish, output, exited, lines = one_stop(i, install_dir, viewer)
            except AssertionError as error:  # the bench's own trouble: told, counted, and the row goes on
                finish, output, exited, lines = "bench failed", "not judged", None, [str(error)]
            counts[(finish, output)] += 1
            if exited is not None:
                times.append(exited)
            print(f"run {i + 1}/{runs}: {finish}; file {output}; stop to exit {exited} ms", flush=True)
            unusual = any(l.startswith("let go of the console") or " at attempt " in l for l in lines)
            if unusual or output != "finished" or finish not in ("stop-command", "stop-key", "ctrl-c"):
                print("  the launcher's lines:\n" + "\n".join(f"    {l}" for l in lines), flush=True)
    finally:
        viewer.stop()
        shutil.rmtree(install_dir, True)
    print(f"\n{runs} stops, the launcher's line on its encoder beside the header's judgement of the file:")
    for (finish, output), n in sorted(counts.items(), key=lambda item: -item[1]):
        print(f"  {n:4}  {finish:32} file {output}")
    if times:
        times.sort()
        quantile = lambda q: times[min(len(times) - 1, int(q * len(times)))]
        print(f"stop to exit: min {times[0]}, median {statistics.median(times):g}, 90th {quantile(0.9)}, "
              f"99th {quantile(0.99)}, max {times[-1]} ms ({len(times)} runs)")
    finished = sum(n for (finish, output), n in counts.items() if output == "finished")
    print(f"finished files: {finished} of {runs}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else int(os.environ.get("ZELTRA_STRESS_RUNS", "100")))
