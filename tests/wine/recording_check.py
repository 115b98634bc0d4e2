"""Reading a recording back with the Debian ffprobe and ffmpeg, and comparing
its pictures with the target window's known pattern."""
import json
import subprocess

CELL = 16
QUADRANTS = [(220, 40, 40), (40, 200, 60), (50, 80, 230), (240, 220, 40)]
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def probe(path):
    """Container and stream facts, frames counted by decoding."""
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_format", "-show_streams", "-of", "json",
                          path], capture_output=True, check=True, text=True).stdout
    return json.loads(out)


def frame_rgb(path, seconds, width, height):
    """One decoded frame as rows of (r, g, b)."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-ss", f"{seconds:.3f}", "-i", path, "-frames:v", "1", "-f",
                          "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout
    assert len(raw) == width * height * 3, f"frame of {len(raw)} bytes, not {width}x{height}"
    return [[tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]


def pattern_colour(x, y, window_width, window_height):
    """The target window's colour at window pixel (x, y), as target_window paints it."""
    side = min(window_width, window_height) // 4
    cx, cy = window_width // 2, window_height // 2
    if cx - side // 2 <= x < cx + side // 2 and cy - side // 2 <= y < cy + side // 2:
        return WHITE
    if ((x // CELL) + (y // CELL)) % 2 == 1:
        return BLACK
    return QUADRANTS[(2 if y >= window_height // 2 else 0) + (1 if x >= window_width // 2 else 0)]


def mean_difference(frame, window_size, offset=(0, 0)):
    """Mean absolute difference per channel between the frame and the window's
    pattern, the frame's pixel (x, y) standing for window pixel (x, y) + offset."""
    width, height = window_size
    dx, dy = offset
    total = count = 0
    for y, row in enumerate(frame):
        for x, pixel in enumerate(row):
            wx, wy = x + dx, y + dy
            if 0 <= wx < width and 0 <= wy < height:
                expected = pattern_colour(wx, wy, width, height)
                total += sum(abs(a - b) for a, b in zip(pixel, expected))
                count += 3
    return total / count


def colour_near(pixel, expected, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, expected))


def bar_position(frame):
    """Where the moving bar of an animated target stands in the middle row, or None."""
    row = frame[len(frame) // 2]
    for x, (r, g, b) in enumerate(row):
        if r > 200 and g < 80 and b > 200:
            return x
    return None
