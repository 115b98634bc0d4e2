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


# The clock target_window --clock paints: 8 by 4 cells of 40 by 30 pixels in
# its top left corner, bit 0 first, row by row.
CLOCK_COLUMNS, CLOCK_ROWS, CLOCK_CELL = 8, 4, (40, 30)
CLOCK_SIZE = (CLOCK_COLUMNS * CLOCK_CELL[0], CLOCK_ROWS * CLOCK_CELL[1])


def clock_tick(gray):
    """The tick a clock picture shows (bytes of its luma, CLOCK_SIZE), or None when unreadable."""
    width = CLOCK_SIZE[0]
    bits = 0
    for i in range(CLOCK_COLUMNS * CLOCK_ROWS):
        # The middle of the cell: its edges blur under compression.
        cx = (i % CLOCK_COLUMNS) * CLOCK_CELL[0] + CLOCK_CELL[0] // 2
        cy = (i // CLOCK_COLUMNS) * CLOCK_CELL[1] + CLOCK_CELL[1] // 2
        samples = [gray[(cy + dy) * width + cx + dx] for dy in range(-4, 5) for dx in range(-6, 7)]
        if sum(samples) / len(samples) > 128:
            bits |= 1 << i
    if not bits >> 31 or bin(bits & 0x7FFFFFFF).count("1") % 2:
        return None
    return (bits & 0x3FFFFFFF) * 4


def clock_ticks(path):
    """The window's tick shown in each frame of the recording, in order (None where unreadable)."""
    width, height = CLOCK_SIZE
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vf", f"crop={width}:{height}:0:0", "-f", "rawvideo",
                          "-pix_fmt", "gray", "-"], capture_output=True, check=True).stdout
    size = width * height
    return [clock_tick(raw[i:i + size]) for i in range(0, len(raw) - size + 1, size)]


def avi_chunks(path):
    """The AVI file's RIFF chunks, each (form, declared size, whether it fits in the file), and the ids of
    the chunks inside the first: what the encoder writes into it only when it finishes the file."""
    with open(path, "rb") as f:
        data = f.read()
    riffs, inner, at = [], [], 0
    while at + 12 <= len(data) and data[at:at + 4] == b"RIFF":
        size = int.from_bytes(data[at + 4:at + 8], "little")
        riffs.append((data[at + 8:at + 12], size, at + 8 + size <= len(data)))
        if at == 0:
            inside, end = 12, min(8 + size, len(data))
            while inside + 8 <= end:
                inner.append(data[inside:inside + 4])
                length = int.from_bytes(data[inside + 4:inside + 8], "little")
                inside += 8 + length + (length & 1)  # chunks are padded to even sizes
        at += 8 + size + (size & 1)
        if size == 0xFFFFFFFF:
            break
    return riffs, inner
