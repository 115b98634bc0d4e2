"""The launcher's main job, shown: record a moving window under Wine with the
real encoder, stop by message 1025, and describe the file. Run through
scripts/demo.sh (as python3 -m scripts.demo from the project's root). Every
step is real; a failing one is named and ends it."""
import os
import shutil
import subprocess
import sys
import time

from winebench.runner import (LAUNCHER, STAND_IN, STOP_MESSAGE, LauncherRun, StandInLog, TargetWindow, read_back,
                              send_to_control_window, stop_every_encoder, windows_path)

SECONDS = 5


def step(text):
    print(f"demo: {text}", flush=True)


def fail(text):
    print(f"demo: FAILED: {text}", file=sys.stderr, flush=True)
    sys.exit(1)


def main(real_encoder, out_dir):
    started = time.monotonic()
    install = os.path.join(out_dir, "install")
    shutil.rmtree(out_dir, True)
    os.makedirs(install)
    shutil.copy(LAUNCHER, install)
    # On Windows the real ffmpeg.exe would lie here alone; under Wine the
    # adapter takes its name and passes the close request on (see README).
    shutil.copy(STAND_IN, install)
    os.symlink(real_encoder, os.path.join(install, "ffmpeg-real.exe"))
    stop_every_encoder()

    title = "Zeltra Demo Window"
    step(f"opening the demo window \"{title}\" at 160,120, 483 by 363 pixels, its content moving")
    target = TargetWindow(title, 160, 120, 483, 363, animate=True)
    output = os.path.join(out_dir, "demo-recording.avi")
    arguments = f"{title}#{windows_path(out_dir)}\\#demo-recording.avi"
    step(f"starting ZELTRA_ScreenTool.exe with the command line: {arguments}")
    run = LauncherRun(install, arguments)
    try:
        run.wait_for_diagnostic("starting ")
    except AssertionError as error:
        fail(f"the launcher did not start the encoder: {error}")
    for text in run.diagnostic_texts():
        step(f"  launcher says: {text}")
    StandInLog(install).wait_for_ready()  # a stop sent earlier might go unheard
    step(f"recording for {SECONDS} s")
    time.sleep(SECONDS)
    step("sending message 1025 to the window \"ZELTRA_ScreenTool\"")
    if not send_to_control_window(STOP_MESSAGE):
        fail("no control window to stop")
    code = run.wait_for_exit()
    run.stop()
    target.stop()
    if code != 0:
        fail(f"the launcher exited with {code}")
    step("the launcher exited with 0")
    if not os.path.isfile(output):
        fail(f"no recording at {output}")

    facts = read_back(output, real_encoder)  # as the machine check reads a recording back
    frames = int(facts["frames"])
    step(f"recording: {output}")
    step(f"  container {facts['container']}, {os.path.getsize(output) // 1024} KiB, "
         f"duration {facts['duration']} s")
    step(f"  video {facts['codec']} ({facts['tag']}), {facts['size']}, {facts['rate']} fps, {frames} frames")
    sheet = os.path.join(out_dir, "demo-contact-sheet.png")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", output, "-vf",
                    f"select='not(mod(n\\,{max(frames // 12, 1)}))',scale=240:-1,tile=4x3:padding=4:margin=4",
                    "-frames:v", "1", sheet], check=True)
    step(f"contact sheet of 12 frames: {sheet}")
    step(f"done in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
