#!/usr/bin/env python3
"""End-to-end checks of the installed editor in a real X server.

Installs the build into a temporary DESTDIR, starts Xvfb on a display number it picks itself,
runs the installed `sonographica` with its own data folder and SDL's disk audio driver, and
drives it with xdotool as a person would: the window's pixels are cut from the screen file the
server keeps (Xvfb -fbdir, the same pixels ImageMagick's `import` would fetch, without a round
trip per screenshot), and the files it writes are read with sox and PIL.

Usage: run_e2e.py BUILD_DIR [CMAKE] [SCENARIO...]
Exit status: 0 all passed, 1 a scenario failed, 77 skipped (a tool is missing).
"""
import array
import ctypes
import io
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN_W, SCREEN_H = 1920, 1080
SETTLE_S = 0.4  # how long a screen must stay unchanged to count as settled
RATE = 44100
TONE_HZ = 1000.0
# The analysis range the default preferences give a sound, bottom and top rows of the picture,
# and the columns of the test sound at their 100 columns a second.
FMIN, FMAX = 27.5, 20000.0
TONE_COLUMNS = 99

try:
    from PIL import Image, ImageChops
except ImportError:
    Image = None


def die_with_parent():
    """Run in each child before it starts: the kernel kills it when the harness goes, even when
    the harness itself is killed (a CTest timeout), so no X server or editor is left behind."""
    try:
        ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, what, timeout=10.0, step=0.05):
    """Polls `condition` until it returns something true; fails naming `what` after `timeout`."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


class Session:
    """The temporary world of one harness run: install tree, X server, files, processes."""

    def __init__(self, build, cmake):
        self.build = build
        self.cmake = cmake
        self.root = tempfile.mkdtemp(prefix="sono-e2e-")
        self.xvfb = None
        self.apps = []
        self.display = None
        self.last_shot = None

    # --- setting up and tearing down -------------------------------------------------------

    def install(self):
        dest = os.path.join(self.root, "dest")
        env = dict(os.environ, DESTDIR=dest)
        r = subprocess.run([self.cmake, "--install", self.build, "--prefix", "/usr"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        check(r.returncode == 0, "cmake --install failed: " + r.stderr)
        self.bin = os.path.join(dest, "usr", "bin")
        for p in ("sonographica", "sonographica-cli"):
            check(os.access(os.path.join(self.bin, p), os.X_OK), "not installed: " + p)
        # The programs run with a PATH that holds no zenity or kdialog, so that the save
        # chooser is the in-app path field, the same on every machine.
        self.empty_bin = os.path.join(self.root, "nobin")
        os.makedirs(self.empty_bin)
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.runtime, mode=0o700)

    def start_x(self):
        # -displayfd lets the server take the first free display number and tell us which.
        rfd, wfd = os.pipe()
        # -fbdir keeps the screen in a memory-mapped XWD file: a screenshot is a read of that
        # file instead of a round trip through the X server. The server's own pointer would be
        # drawn into it: -nocursor leaves the window's pixels as the program drew them.
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0",
                                      "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp",
                                      "-fbdir", self.root, "-nocursor"],
                                     pass_fds=(wfd,), stdout=subprocess.DEVNULL, preexec_fn=die_with_parent,
                                     stderr=open(os.path.join(self.root, "xvfb.log"), "w"))
        os.close(wfd)
        text = b""
        end = time.monotonic() + 15
        while not text.endswith(b"\n") and time.monotonic() < end:
            chunk = os.read(rfd, 64)
            if not chunk:
                break
            text += chunk
        os.close(rfd)
        check(text.strip().isdigit(), "Xvfb did not start (see its log)")
        self.display = ":" + text.decode().strip()

    def close(self):
        for p in self.apps:
            if p.poll() is None:
                p.kill()
                p.wait()
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        if os.environ.get("SONO_E2E_KEEP"):
            print("kept: " + self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # --- tools --------------------------------------------------------------------------------

    def path(self, *names):
        return os.path.join(self.root, *names)

    def x_env(self):
        return dict(os.environ, DISPLAY=self.display)

    def xdo(self, *args):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.x_env(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        return r.stdout.strip() if r.returncode == 0 else None

    def cli(self, *args):
        r = subprocess.run([os.path.join(self.bin, "sonographica-cli")] + list(args),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, cwd=self.root)
        check(r.returncode == 0, "sonographica-cli %s failed: %s" % (" ".join(args), r.stderr))
        return r.stdout

    def sox(self, *args):
        r = subprocess.run(["sox"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        check(r.returncode == 0, "sox %s failed: %s" % (" ".join(args), r.stderr.decode(errors="replace")))
        return r.stdout

    def read_sound(self, path):
        """The first channel of a sound file as floats, read by sox (which must understand it)."""
        raw = self.sox(path, "-t", "raw", "-e", "floating-point", "-b", "32", "-c", "1", "-r", str(RATE),
                       "-L", "-", "remix", "1")
        a = array.array("f")
        a.frombytes(raw[: len(raw) // 4 * 4])
        if sys.byteorder != "little":
            a.byteswap()
        return a


class App:
    """One run of the installed editor in the X server."""

    def __init__(self, s, name, args=(), data=None):
        self.s = s
        self.data = data or s.path(name + "-data")
        os.makedirs(self.data, exist_ok=True)
        self.heard = s.path(name + "-heard.raw")
        self.log = s.path(name + ".log")
        env = dict(s.x_env(), SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.heard,
                   SONOGRAPHICA_DATA_DIR=self.data, SONOGRAPHICA_SCALE="1", HOME=s.root,
                   XDG_DATA_HOME=s.path("xdg"), XDG_RUNTIME_DIR=s.runtime, PATH=s.empty_bin,
                   SDL_VIDEODRIVER="x11")
        for k in ("SONOGRAPHICA_SCRIPT", "SONOGRAPHICA_SCREENSHOT",
                  "SONOGRAPHICA_EXIT_AFTER_FRAMES", "SONOGRAPHICA_WINDOW_SIZE", "GDK_SCALE",
                  "SDL_DISKAUDIODELAY"):
            env.pop(k, None)
        # SDL may replace its first X window by another when the renderer starts: the window
        # is the one that is visible and answers for its size.
        def found():
            self.window = self._find_window()
            return self.window and self.geometry()
        # A busy X server now and then refuses a client's first connection; only that is tried
        # again, a program that fails otherwise fails the scenario.
        for attempt in range(3):
            self.proc = subprocess.Popen([os.path.join(s.bin, "sonographica")] + list(args), env=env, cwd=s.root,
                                         preexec_fn=die_with_parent,
                                         stdout=open(self.log, "w"), stderr=subprocess.STDOUT)
            s.apps.append(self.proc)
            self.window = None
            try:
                wait_for(found, "the window of " + name, timeout=20)
                break
            except Failure:
                if attempt == 2 or "x11 not available" not in self.log_text():
                    raise
                time.sleep(0.5)
        # The keyboard goes to the window: without a window manager xdotool gives it the focus.
        self.s.xdo("windowfocus", "--sync", self.window)

    def _find_window(self):
        check(self.proc.poll() is None, "the program exited early: " + self.log_text())
        out = self.s.xdo("search", "--onlyvisible", "--pid", self.proc.pid, "--name", "^Sonographica")
        return out.split()[-1] if out else None

    def log_text(self):
        with open(self.log, errors="replace") as f:
            return f.read()[-2000:]

    def geometry(self):
        """The window's size; its place on the screen is kept for the screenshots."""
        out = self.s.xdo("getwindowgeometry", self.window)
        if not out:
            return None
        position = size = None
        for line in out.splitlines():
            if "Position:" in line:
                x, y = line.split()[1].split(",")
                position = int(x), int(y)
            if "Geometry:" in line:
                w, h = line.split()[-1].split("x")
                size = int(w), int(h)
        if position and size:
            self.box = (position[0], position[1], position[0] + size[0], position[1] + size[1])
        return size

    def shot(self):
        """The window's pixels as an RGB image, cut from the server's screen file (no window
        lies over another here: there is no window manager and one editor at a time)."""
        if getattr(self, "box", None) is None:
            self.geometry()
        img = screen_file(self.s.path("Xvfb_screen0")).crop(self.box)
        self.s.last_shot = img
        return img

    def settled(self, condition, what, timeout=10.0):
        """A screenshot that satisfies `condition` and equals the one before it, so that a frame
        drawn half-way through a change is never judged."""
        # Screenshots are cheap reads of the screen file: unchanged for a few frames is not yet
        # settled, unchanged for SETTLE_S is.
        previous = [None, 0.0]
        def ready():
            img = self.shot()
            now = time.monotonic()
            same = previous[0] is not None and img.size == previous[0].size and img.tobytes() == previous[0].tobytes()
            if not same:
                previous[0], previous[1] = img, now
                return None
            return img if now - previous[1] >= SETTLE_S and condition(img) else None
        return wait_for(ready, what, timeout)

    def until(self, condition, what, timeout=10.0):
        """The first screenshot that satisfies `condition` (for what only appears or goes, such
        as a window; a picture to compare waits until it has settled)."""
        def ready():
            img = self.shot()
            return img if condition(img) else None
        return wait_for(ready, what, timeout)

    def spectrogram(self):
        """The window once it shows a picture with a bright row (the analysed tone)."""
        def shown(img):
            dashes = label_dashes(img)
            return len(dashes) >= 5 and tone_row(img, dashes[0], dashes[-1])[1] > 120
        return self.settled(shown, "the spectrogram to show")

    # Presses and releases are held long enough for a frame of the program to see them; each
    # gesture is one xdotool run.
    def click(self, x, y, button=1):
        self.s.xdo("mousemove", "--window", self.window, x, y, "sleep", "0.05", "mousedown", button,
                   "sleep", "0.2", "mouseup", button, "sleep", "0.1")

    def drag(self, points, button=1, before_release=()):
        """Presses at the first point, moves through the others, then runs `before_release`
        (more xdotool words) and releases."""
        words = ["mousemove", "--window", self.window, points[0][0], points[0][1], "sleep", "0.05",
                 "mousedown", button, "sleep", "0.1"]
        for x, y in points[1:]:
            words += ["mousemove", "--window", self.window, x, y, "sleep", "0.05"]
        words += list(before_release) + ["mouseup", button, "sleep", "0.1"]
        self.s.xdo(*words)

    def key(self, *keys):
        self.s.xdo("key", "--delay", "30", *keys)

    def type(self, text):
        self.s.xdo("type", "--delay", "8", text)

    def click_changing(self, x, y, box, what):
        """Clicks at x, y until the window's pixels in `box` change (a press and release that
        fell between two frames of a busy program would otherwise be lost)."""
        before = self.shot().crop(box).tobytes()
        for _ in range(3):
            self.click(x, y)
            try:
                return self.settled(lambda i: i.crop(box).tobytes() != before, what, timeout=4)
            except Failure:
                pass
        raise Failure("clicking at %d, %d did not change %s" % (x, y, what))

    # The menu bar: titles along the top, entries 22 pixels tall from 25 pixels down, a
    # separator as tall as the menu line picture. The button is pressed on the title, held
    # while the menu opens, and released over the entry.
    def menu(self, title_x, entry, separators_before=0):
        y = 25 + 22 * entry + self.s.separator_height * separators_before + 11
        box = (max(0, title_x - 20), 23, title_x + 200, 25 + 22 * 4)
        before = self.shot().crop(box).tobytes()
        self.s.xdo("mousemove", "--window", self.window, title_x, 10, "sleep", "0.05", "mousedown", 1)
        try:
            self.settled(lambda i: i.crop(box).tobytes() != before, "the menu to open")
            self.s.xdo("mousemove", "--window", self.window, title_x + 30, y, "sleep", "0.3")
        finally:
            self.s.xdo("mouseup", 1, "sleep", "0.1")

    def park(self):
        """The pointer off the picture, so that no tool outline or readout is drawn over it."""
        _, h = self.geometry()
        self.s.xdo("mousemove", "--window", self.window, 5, h - 5, "sleep", "0.1")

    def save_tiff(self, path):
        self.console('Save "%s"' % path)
        wait_for(lambda: os.path.exists(path), "the TIFF " + os.path.basename(path))
        return read_tiff(path)

    def drawn(self):
        """The window once its menu bar is drawn."""
        return self.settled(lambda i: i.getpixel((2, 2)) != (0, 0, 0), "the window to be drawn")

    def new_window(self, before, what):
        """Waits for a floating window that is not among the title bars `before`; returns the
        window's left and top edges."""
        img = self.until(lambda i: [b for b in title_bars(i) if b not in before], what)
        bar = [b for b in title_bars(img) if b not in before][0]
        return bar[0] - 1, bar[1] - 1

    def console(self, line):
        """Runs a line through the console (F3): shown, typed, run, recorded, hidden again."""
        before = title_bars(self.shot())
        self.key("F3")
        self.new_window(before, "the console to show")
        self.type(line)
        self.key("Return")
        self.wait_history(line)
        self.key("F3")
        self.until(lambda i: title_bars(i) == before, "the console to hide")

    def history(self):
        try:
            with open(os.path.join(self.data, "history.sga"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def wait_history(self, text, timeout=10.0):
        wait_for(lambda: text in self.history(), "the history to record " + repr(text), timeout)

    def quit(self):
        if self.proc.poll() is None:
            self.s.xdo("key", "--window", self.window, "alt+F4")
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def kill9(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait()


# --- reading the window ------------------------------------------------------------------------

# The picture lies between a left margin of 120 and a right margin of 60 pixels; the frequency
# labels end in a dash just left of it.
IMAGE_LEFT, IMAGE_RIGHT_MARGIN = 120, 60
# Where the pointer finds the menu titles "File", "Tools" and "Operations".
FILE_X, TOOLS_X, OPERATIONS_X = 24, 224, 297


TITLE_COLOUR = (60, 70, 88)


def screen_file(path):
    """The screen as an RGB image, read from the XWD file Xvfb keeps with -fbdir."""
    with open(path, "rb") as f:
        data = f.read()
    fields = array.array("I", data[:100])
    if sys.byteorder == "little":
        fields.byteswap()  # the header is big-endian
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
    check(bits_per_pixel == 32, "unexpected screen format: %d bits per pixel" % bits_per_pixel)
    start = header_size + 12 * ncolors
    pixels = data[start:start + bytes_per_line * height]
    mode = "BGRX" if byte_order == 0 else "XRGB"
    return Image.frombuffer("RGB", (width, height), pixels, "raw", mode, bytes_per_line, 1)


def title_bars(img):
    """The title bars of the floating windows on screen, as (left, top, right, bottom) boxes of
    their title colour, from the top down."""
    channels = [c.point(lambda v, want=want: 255 if v == want else 0)
                for c, want in zip(img.split(), TITLE_COLOUR)]
    mask = ImageChops.multiply(ImageChops.multiply(channels[0], channels[1]), channels[2])
    box = mask.getbbox()
    if not box:
        return []
    bars, y = [], box[1]
    while y < box[3]:
        row = mask.crop((0, y, img.size[0], y + 1)).getbbox()
        if not row or row[2] - row[0] < 100:
            y += 1
            continue
        top = y
        while y < box[3] and mask.crop((0, y, img.size[0], y + 1)).getbbox():
            y += 1
        b = mask.crop((0, top, img.size[0], y)).getbbox()
        bars.append((b[0], top, b[2], y))
    return bars


def luminance(img, x, y):
    r, g, b = img.getpixel((x, y))
    return (r + g + b) / 3.0


def row_profile(img, x0, x1, y0, y1):
    """Mean brightness of each row y0..y1-1 over the columns x0..x1-1."""
    grey = img.convert("L").crop((x0, y0, x1, y1))
    w, h = grey.size
    data = grey.tobytes()
    return [sum(data[r * w:(r + 1) * w]) / float(w) for r in range(h)]


def label_dashes(img):
    """Rows of the frequency labels' dashes: bright short runs ending just left of the picture,
    above the button bar (where the left margin's colour ends)."""
    w, h = img.size
    margin = img.getpixel((2, 40))
    rows = []
    for y in range(22, h):
        if y > 200 and img.getpixel((2, y)) != margin:
            break
        run = [luminance(img, x, y) for x in range(IMAGE_LEFT - 9, IMAGE_LEFT - 3)]
        if min(run) > 90:
            rows.append(y)
    # A dash may be two rows thick: keep the first row of each group.
    return [y for i, y in enumerate(rows) if i == 0 or rows[i - 1] != y - 1]


def line_centre(prof):
    """Index of the middle of the bright run around the brightest entry of a profile: a line
    drawn several rows thick at a high zoom is judged by its middle, not its brightest row."""
    best = max(range(len(prof)), key=lambda i: prof[i])
    half = prof[best] / 2.0
    a = b = best
    while a > 0 and prof[a - 1] >= half:
        a -= 1
    while b < len(prof) - 1 and prof[b + 1] >= half:
        b += 1
    return (a + b) // 2, prof[best]


def tone_row(img, top, bottom):
    """The row of the bright line across the picture's middle half (the tone's row) and its
    brightness."""
    w, _ = img.size
    x0 = IMAGE_LEFT + (w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN) // 4
    x1 = w - IMAGE_RIGHT_MARGIN - (w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN) // 4
    centre, level = line_centre(row_profile(img, x0, x1, top, bottom + 1))
    return top + centre, level


def expected_row(top, bottom, hz):
    """Screen row of a frequency on the logarithmic scale from FMIN (bottom) to FMAX (top)."""
    f = math.log(hz / FMIN) / math.log(FMAX / FMIN)
    return bottom - f * (bottom - top)


def axes_and_tone(img, hz=TONE_HZ):
    """Checks that the frequency axis spans the picture and the tone lies where the axis puts
    it; returns (top, bottom, tone row)."""
    dashes = label_dashes(img)
    check(len(dashes) >= 5, "the frequency axis shows %d labels" % len(dashes))
    top, bottom = dashes[0], dashes[-1]
    row, level = tone_row(img, top, bottom)
    check(level > 120, "no bright tone row in the picture (brightest %.0f)" % level)
    want = expected_row(top, bottom, hz)
    check(abs(row - want) <= 3, "the %g Hz tone is drawn at row %d, the axis puts it at %.1f" % (hz, row, want))
    return top, bottom, row


def label_at(img, row):
    """The label left of the picture at a dash row, as a small greyscale picture."""
    return img.convert("L").crop((0, row - 7, IMAGE_LEFT - 2, row + 8))


def same_label(a, b):
    diff = ImageChops.difference(a, b)
    return max(diff.getdata()) < 40


def picture_box(img, top, bottom):
    w, _ = img.size
    return (IMAGE_LEFT, top, w - IMAGE_RIGHT_MARGIN, bottom + 1)


def line_row(img, top, bottom, x0, x1):
    """The row of the bright line between top and bottom over the columns x0..x1-1."""
    return top + line_centre(row_profile(img, x0, x1, top, bottom + 1))[0]


def line_end(img, row, x0, x1):
    """The last column of x0..x1-1 where the line along `row` is at least half as bright as at
    its start."""
    values = [luminance(img, x, row) for x in range(x0, x1)]
    start = sorted(values[: len(values) // 8])[len(values) // 16]
    last = max((i for i, v in enumerate(values) if v >= start / 2), default=0)
    return x0 + last


def label_near(img, row, what):
    """The label whose dash is within 3 rows of `row` (the row of a line of the picture)."""
    rows = [r for r in label_dashes(img) if abs(r - row) <= 3]
    check(rows, "no frequency label at the row of " + what)
    return label_at(img, rows[0])


def labelled_row(img, template, near, within):
    """The dash row within `within` rows of `near` whose label looks like `template`."""
    rows = [r for r in label_dashes(img) if abs(r - near) <= within and same_label(label_at(img, r), template)]
    return rows[0] if rows else None


def time_label_boxes(img, bottom):
    """Column spans of the time labels under the picture, in a strip a few rows below it."""
    grey = img.convert("L")
    w, _ = img.size
    y0, y1 = bottom + 3, bottom + 20
    lit = [max(grey.getpixel((x, y)) for y in range(y0, y1)) > 110 for x in range(w)]
    boxes, x = [], IMAGE_LEFT - 2
    while x < w:
        if lit[x]:
            start, gap = x, 0
            while x < w and gap < 8:
                gap = 0 if lit[x] else gap + 1
                x += 1
            boxes.append((start, x - gap))
        x += 1
    return [(a, b, grey.crop((a, y0, b, y1))) for a, b in boxes]


def time_label_at(img, bottom, template, near, within):
    """Centre column of the time label that looks like `template`, within `within` of `near`."""
    for a, b, crop in time_label_boxes(img, bottom):
        centre = (a + b) / 2.0
        if abs(centre - near) <= within and crop.size == template.size and same_label(crop, template):
            return centre
    return None


def read_tiff(path):
    """A saved picture: (width, height, values row by row from the top)."""
    with Image.open(path) as img:
        check(img.mode == "F", "%s is no 32-bit float picture (%s)" % (path, img.mode))
        return img.size[0], img.size[1], list(img.getdata())


def edited_pixels(a, b, outside):
    """The pixels an edit changed between two saved pictures. A saved TIFF is scaled so that its
    largest value is 1, so an edit that changes the largest value scales every other pixel by
    one factor: that factor is read from the pixels for which `outside(column, row)` holds,
    which must all agree on it. Returns the factor and (column, row, before scaled, after) of
    each pixel that differs from its scaled value."""
    check(a[:2] == b[:2], "the picture changed size: %s, %s" % (a[:2], b[:2]))
    w = a[0]
    ratios = sorted(y / x for i, (x, y) in enumerate(zip(a[2], b[2])) if x > 1e-4 and outside(i % w, i // w))
    check(ratios, "no pixels outside the edit to compare")
    scale = ratios[len(ratios) // 2]
    check(ratios[-1] - ratios[0] <= 1e-4 * scale, "pixels away from the edit changed by %.6f..%.6f" %
          (ratios[0], ratios[-1]))
    changes = []
    for i, (x, y) in enumerate(zip(a[2], b[2])):
        if abs(y - x * scale) > 1e-4 * max(x * scale, 1e-3):
            changes.append((i % w, i // w, x * scale, y))
    return scale, changes


def row_mean(img, row, x0, x1):
    return sum(luminance(img, x, row) for x in range(int(x0), int(x1))) / float(int(x1) - int(x0))


def same_picture(a, b, box):
    return max(ImageChops.difference(a.crop(box), b.crop(box)).convert("L").getdata()) <= 2


def tools_config(data, intensity_percent):
    """A data folder whose preferences set the tool intensity."""
    os.makedirs(data, exist_ok=True)
    with open(os.path.join(data, "config.txt"), "w") as f:
        f.write("Sonographica 1.11\n\nTool\n\tIntensity: %d%%\n" % intensity_percent)
    return data


# --- sounds ----------------------------------------------------------------------------------

def make_tone(s):
    """One second of 1 kHz, with 250 Hz during its first 0.4 s so that flips are visible."""
    a = s.path("a.wav")
    b = s.path("b.wav")
    tone = s.path("tone.wav")
    s.sox("-n", "-r", str(RATE), "-c", "1", a, "synth", "1", "sine", str(TONE_HZ), "vol", "0.4")
    s.sox("-n", "-r", str(RATE), "-c", "1", b, "synth", "0.4", "sine", "250", "vol", "0.3", "pad", "0", "0.6")
    s.sox("-m", a, b, tone)
    return tone


def rms(samples):
    if not samples:
        return 0.0
    return math.sqrt(sum(x * x for x in samples) / len(samples))


def read_heard(path):
    """The first channel of what the disk driver wrote (interleaved stereo floats)."""
    a = array.array("f")
    with open(path, "rb") as f:
        raw = f.read()
    a.frombytes(raw[: len(raw) // 8 * 8])
    return a[0::2]


def sound_span(samples, threshold=1e-4):
    first = next((i for i, x in enumerate(samples) if abs(x) > threshold), None)
    if first is None:
        return None
    last = len(samples) - 1
    while abs(samples[last]) <= threshold:
        last -= 1
    return first, last + 1


# --- scenarios -------------------------------------------------------------------------------

def opened_file_shows_and_plays(s):
    """The file named on the command line shows its spectrogram; Space plays what an offline
    render of the same project gives."""
    app = App(s, "play", [s.tone])
    img = app.spectrogram()
    top, bottom, row = axes_and_tone(img)
    label_near(img, row, "the tone")

    app.key("space")
    # The disk driver writes silence before and after the sound; wait for the sound and then
    # for a quarter second of silence after it.
    def finished():
        heard = read_heard(app.heard)
        span = sound_span(heard)
        return heard if span and len(heard) - span[1] > RATE // 4 and span[1] - span[0] > RATE // 2 else None
    heard = wait_for(finished, "playback to end", timeout=15)
    app.quit()

    render = s.path("render.wav")
    s.cli("--synthesis", "live", "-e", 'Open "%s"' % s.tone, "-e", 'Save "%s"' % render)
    expected = s.read_sound(render)
    h0, h1 = sound_span(heard)
    e0, e1 = sound_span(expected)
    heard_sound, expected_sound = heard[h0:h1], expected[e0:e1]
    check(abs(len(heard_sound) - len(expected_sound)) <= RATE // 50,
          "heard %d samples of sound, the render has %d" % (len(heard_sound), len(expected_sound)))
    notes = compare_levels(heard_sound, expected_sound, "heard")
    # The 250 Hz part ends at 0.4 s in what is heard too.
    late = level_db(heard_sound, 250.0, 0.55, 0.95)
    early = level_db(heard_sound, 250.0, 0.05, 0.35)
    check(late < early - 20, "the 250 Hz part is heard at %.1f dB after it ended (%.1f dB before)" % (late, early))
    return "heard minus rendered: " + ", ".join(notes)


# Live synthesis draws random phases, and a rendering is scaled so that its loudest sample
# reaches full scale, while playback is not: the level of the whole differs by a few dB from
# one rendering to the next (playback measured 0.3 to 5 dB below the render). The balance of
# the bands within the sound does not depend on that scaling: each band is compared as its
# level relative to the whole, over the fractions of the sound's length given, within the
# tolerance given in dB. The weak 250 Hz part varies most (up to 7.5 dB between renderings);
# that it sounds only while it should is checked apart.
SOUND_TOLERANCE_DB = 6.0
BAND_CHECKS = (("1 kHz", TONE_HZ, 0.05, 0.95, 3.0), ("250 Hz part", 250.0, 0.05, 0.35, 10.0))


def compare_levels(got, expected, how):
    """Checks the level of the whole and the balance of the bands against a rendering; the
    differences in dB, as notes."""
    got_all, expected_all = level_db(got, None, 0.0, 1.0), level_db(expected, None, 0.0, 1.0)
    notes = ["sound %+.1f dB" % (got_all - expected_all)]
    check(abs(got_all - expected_all) < SOUND_TOLERANCE_DB,
          "the sound %s at %.1f dB, rendered at %.1f dB" % (how, got_all, expected_all))
    for what, hz, a, b, tolerance in BAND_CHECKS:
        g = level_db(got, hz, a, b) - got_all
        e = level_db(expected, hz, a, b) - expected_all
        notes.append("%s %+.1f dB" % (what, g - e))
        check(abs(g - e) < tolerance, "%s %s %.1f dB from the whole, rendered %.1f dB" % (what, how, g, e))
    return notes


def level_db(samples, hz, start, end):
    """Level in dB of the sound between the fractions `start` and `end` of its length: all of
    it when `hz` is None, else a band of a third of an octave around `hz` (filtered by sox)."""
    a, b = int(start * len(samples)), int(end * len(samples))
    part = samples[a:b]
    if hz is not None:
        raw = array.array("f", part)
        if sys.byteorder != "little":
            raw.byteswap()
        r = subprocess.run(["sox", "-t", "raw", "-e", "floating-point", "-b", "32", "-c", "1", "-r", str(RATE),
                            "-L", "-", "-t", "raw", "-e", "floating-point", "-b", "32", "-L", "-",
                            "sinc", "%g-%g" % (hz * 2 ** (-1 / 6), hz * 2 ** (1 / 6))],
                           input=raw.tobytes(), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        check(r.returncode == 0, "sox could not filter: " + r.stderr.decode(errors="replace"))
        part = array.array("f")
        part.frombytes(r.stdout[: len(r.stdout) // 4 * 4])
        if sys.byteorder != "little":
            part.byteswap()
    return 20 * math.log10(max(rms(part), 1e-9))


def resize_keeps_axes(s):
    """After the window is resized the labels still span the picture and name the tone's row."""
    app = App(s, "resize", [s.tone])
    img = app.spectrogram()
    top0, bottom0, row0 = axes_and_tone(img)
    label0 = label_near(img, row0, "the tone")
    for w, h in ((1400, 900), (1100, 760)):
        app.s.xdo("windowsize", app.window, w, h)
        wait_for(lambda: app.geometry() == (w, h), "the window to take %dx%d" % (w, h))
        img = app.spectrogram()
        check(img.size == (w, h), "the window's picture is %dx%d" % img.size)
        top, bottom, row = axes_and_tone(img)
        check(bottom < bottom0 and abs(top - top0) <= 1, "picture rows %d..%d after resizing, %d..%d before" %
              (top, bottom, top0, bottom0))
        check(labelled_row(img, label0, row, 3) is not None,
              "the label at the tone's row changed after resizing to %dx%d" % (w, h))
    app.quit()


def wheel_zoom_keeps_axes(s):
    """Ctrl and the wheel zoom both axes around the pointer; the frequency and time labels move
    with the picture: each still names the row or column it named before."""
    app = App(s, "zoom", [s.tone])
    img = app.spectrogram()
    top, bottom, row1k = axes_and_tone(img)
    w, _ = img.size
    left = IMAGE_LEFT + 5, IMAGE_LEFT + (w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN) // 4
    row250 = line_row(img, row1k + 20, bottom, *left)
    check(abs(row250 - expected_row(top, bottom, 250)) <= 3,
          "the 250 Hz part is drawn at row %d, the axis puts it at %.1f" % (row250, expected_row(top, bottom, 250)))
    label1k, label250 = label_near(img, row1k, "the 1 kHz tone"), label_near(img, row250, "the 250 Hz part")
    end250 = line_end(img, row250, IMAGE_LEFT + 2, w - IMAGE_RIGHT_MARGIN)
    boxes = time_label_boxes(img, bottom)
    check(len(boxes) >= 5, "the time axis shows %d labels" % len(boxes))
    k = min(range(len(boxes)), key=lambda i: abs((boxes[i][0] + boxes[i][1]) / 2 - end250))
    check(k >= 1, "no time label left of the 250 Hz part's end")
    anchor = (boxes[k][0] + boxes[k][1]) / 2.0
    before = (boxes[k - 1][0] + boxes[k - 1][1]) / 2.0
    anchor_label, before_label = boxes[k][2], boxes[k - 1][2]

    # Two notches with Ctrl held: both axes zoom by 2, around the pointer.
    ax, ay = int(round(anchor)), row1k
    app.s.xdo("mousemove", "--window", app.window, ax, ay, "sleep", "0.1", "keydown", "ctrl", "sleep", "0.1",
              "click", 4, "sleep", "0.1", "click", 4, "sleep", "0.1", "keyup", "ctrl")
    old = img.tobytes()
    img = app.settled(lambda i: i.tobytes() != old and len(label_dashes(i)) >= 5, "the zoomed picture")
    dashes = label_dashes(img)
    ztop, zbottom = dashes[0], dashes[-1]
    check(abs(ztop - top) <= 1 and abs(zbottom - bottom) <= 1, "the picture moved: rows %d..%d" % (ztop, zbottom))
    zrow1k = tone_row(img, top, bottom)[0]
    # The tone was found within 3 rows before the zoom doubled the distances.
    check(abs(zrow1k - ay) <= 6, "the 1 kHz row moved from the pointer's row %d to %d" % (ay, zrow1k))
    check(labelled_row(img, label1k, zrow1k, 5) is not None, "the 1 kHz label left the tone's row after zooming")
    want250 = ay + 2 * (row250 - ay)
    zrow250 = line_row(img, zrow1k + 20, bottom, *left)
    check(abs(zrow250 - want250) <= 8, "the 250 Hz part is at row %d after zooming, twice as far is %d" %
          (zrow250, want250))
    check(labelled_row(img, label250, zrow250, 5) is not None,
          "the 250 Hz label is not at the 250 Hz row after zooming")
    # The view shows whole columns, so the time under the pointer stays within one column (at
    # the new zoom) of the pointer, and the zoom is 2 to within a column of the visible width.
    column = 2.0 * (w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN) / TONE_COLUMNS
    # A label's text sits at a fixed offset from the column of its time, the same for every
    # label of its width; the zoom doubles the distance of every time from the pointer.
    za = time_label_at(img, bottom, anchor_label, ax + 2 * (anchor - ax), column + 20)
    zb = time_label_at(img, bottom, before_label, ax + 2 * (before - ax), column + 20)
    check(za is not None and zb is not None, "the time labels near the pointer vanished after zooming")
    spacing = 2 * (anchor - before)
    check(abs((za - zb) - spacing) <= 3 + spacing * 2 / TONE_COLUMNS,
          "two time labels %.0f columns apart are %.0f apart after zooming twice" % (anchor - before, za - zb))
    shift = za - (ax + 2 * (anchor - ax))
    zend = line_end(img, zrow250, IMAGE_LEFT + 2, w - IMAGE_RIGHT_MARGIN)
    want_end = ax + 2 * (end250 - ax) + shift
    check(abs(zend - want_end) <= 8, "the 250 Hz part ends at column %d after zooming, where the time labels put it "
          "is %.0f" % (zend, want_end))
    check(abs(shift) <= column + 3, "the time under the pointer moved by %.0f columns" % shift)
    app.quit()


def spray_darkens_and_undo_toggles(s):
    """A Dark Spray stroke along the tone darkens it on screen and in the saved TIFF; U undoes
    it and Ctrl+Z redoes it, on screen and in the TIFF, bit for bit."""
    app = App(s, "spray", [s.tone], data=tools_config(s.path("spray-data"), 90))
    app.park()
    shown = app.spectrogram()
    top, bottom, row = axes_and_tone(shown)
    w, _ = shown.size
    box = picture_box(shown, top, bottom)
    original = app.save_tiff(s.path("spray-0.tiff"))
    app.menu(TOOLS_X, 3, separators_before=2)  # Dark Spray
    width = w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN
    x0, x1 = IMAGE_LEFT + int(width * 0.4), IMAGE_LEFT + int(width * 0.6)
    app.drag([(x, row) for x in range(x0, x1 + 1, 16)])
    app.wait_history("Draw dark spray")
    app.park()
    sprayed = app.settled(lambda i: not same_picture(i, shown, box), "the stroke to show")
    inside = row_mean(sprayed, row, x0 + 20, x1 - 20) / row_mean(shown, row, x0 + 20, x1 - 20)
    outside = row_mean(sprayed, row, IMAGE_LEFT + width * 0.1, IMAGE_LEFT + width * 0.3) / \
        row_mean(shown, row, IMAGE_LEFT + width * 0.1, IMAGE_LEFT + width * 0.3)
    check(inside < 0.7 and abs(outside - 1) < 0.1, "the tone's row under the stroke went to %.2f of its brightness,"
          " away from it to %.2f" % (inside, outside))
    stroke = app.save_tiff(s.path("spray-1.tiff"))
    columns = original[0]
    scale = columns / float(width)
    lo, hi = (x0 - IMAGE_LEFT - 20) * scale - 1, (x1 - IMAGE_LEFT + 20) * scale + 1
    _, changes = edited_pixels(original, stroke, lambda c, r: not lo <= c <= hi)
    check(changes, "the saved picture did not change")
    check(all(after < before for _, _, before, after in changes), "the dark spray brightened some pixels")
    stray = [c for c in changes if not lo <= c[0] <= hi]
    check(not stray, "%d pixels changed outside the stroke's columns %.0f..%.0f" % (len(stray), lo, hi))

    app.key("u")
    app.wait_history("Undo")
    app.settled(lambda i: same_picture(i, shown, box), "Undo (U) to show the picture before the stroke")
    undone = app.save_tiff(s.path("spray-2.tiff"))
    check(undone == original, "after U the saved picture differs from the one before the stroke")
    app.key("ctrl+z")
    wait_for(lambda: app.history().count("Undo") >= 2, "the second Undo to be recorded")
    app.settled(lambda i: same_picture(i, sprayed, box), "Ctrl+Z to show the stroke again")
    redone = app.save_tiff(s.path("spray-3.tiff"))
    check(redone == stroke, "after Ctrl+Z the saved picture differs from the one after the stroke")
    app.quit()
    return "%d pixels darkened, the tone's row on screen to %.2f" % (len(changes), inside)


def rectangle_lightens_escape_cancels(s):
    """A right-button rectangle lightens the tone inside it on screen, in the saved TIFF and in
    the saved WAV, in its band and its time; Escape in the middle of a drag changes nothing."""
    app = App(s, "rectangle", [s.tone], data=tools_config(s.path("rectangle-data"), 90))
    app.park()
    shown = app.spectrogram()
    top, bottom, row = axes_and_tone(shown)
    w, _ = shown.size
    box = picture_box(shown, top, bottom)
    original = app.save_tiff(s.path("rect-0.tiff"))
    width = w - IMAGE_LEFT - IMAGE_RIGHT_MARGIN
    xa, xb = IMAGE_LEFT + int(width * 0.5), IMAGE_LEFT + int(width * 0.8)
    ya, yb = row - 30, row + 30
    corners = [(xa, ya), ((xa + xb) // 2, (ya + yb) // 2), (xb, yb)]

    app.menu(TOOLS_X, 2, separators_before=1)  # Rectangle Tool
    words = ["mousemove", "--window", app.window, xa, ya, "sleep", "0.05", "mousedown", 3, "sleep", "0.1"]
    for x, y in corners[1:]:
        words += ["mousemove", "--window", app.window, x, y, "sleep", "0.1"]
    app.s.xdo(*words)
    try:
        # The drag previews its effect on the tone inside the rectangle.
        inside = (xa + 20, row - 3, xb - 20, row + 4)
        app.settled(lambda i: not same_picture(i, shown, inside), "the rectangle's preview while dragging")
        app.key("Escape")
        app.settled(lambda i: same_picture(i, shown, box), "the outline to go after Escape")
    finally:
        app.s.xdo("mouseup", 3, "sleep", "0.1")
    app.park()
    app.settled(lambda i: same_picture(i, shown, box), "the picture after the release")
    check("Draw rectangle" not in app.history(), "Escape in the middle of a drag recorded a rectangle")
    check(app.save_tiff(s.path("rect-escaped.tiff")) == original, "Escape in the middle of a drag changed the picture")

    # Escape chose the cursor: the rectangle tool again, and a whole drag.
    app.menu(TOOLS_X, 2, separators_before=1)
    app.drag(corners, button=3)
    app.wait_history("Draw rectangle")
    app.park()
    lit = app.settled(lambda i: not same_picture(i, shown, box), "the rectangle to show")
    def contrast(img):
        return row_mean(img, row, xa + 10, xb - 10) / row_mean(img, row, IMAGE_LEFT + 10, IMAGE_LEFT + width * 0.4)
    check(contrast(lit) > 1.5 * contrast(shown), "the tone inside the rectangle is %.2f times as bright as outside, "
          "%.2f before" % (contrast(lit), contrast(shown)))
    edited = app.save_tiff(s.path("rect-1.tiff"))
    columns = original[0]
    scale = columns / float(width)
    lo, hi = (xa - IMAGE_LEFT) * scale - 1, (xb - IMAGE_LEFT) * scale + 1
    factor, changes = edited_pixels(original, edited, lambda c, r: not lo <= c <= hi)
    check(changes, "the saved picture did not change")
    ratios = [after / before for _, _, before, after in changes if before > 1e-4]
    check(ratios and all(abs(r - 10) < 0.01 for r in ratios),
          "the rectangle multiplied pixels by %.3f..%.3f, not by 1 / (1 - 90%%)" % (min(ratios), max(ratios)))
    rows = sorted(set(r for _, r, _, _ in changes))
    tone = max(range(original[1]), key=lambda r: original[2][r * columns + columns // 2])
    check(rows[0] < tone < rows[-1], "the rectangle's rows %d..%d miss the tone's row %d" % (rows[0], rows[-1], tone))

    out = s.path("rectangle.wav")
    save_through_menu(app, out, wav=True)
    wait_for(lambda: os.path.exists(out) and "// Save" in app.history(), "the WAV file to be written")
    app.quit()
    sound = s.read_sound(out)
    inside = level_db(sound, TONE_HZ, 0.55, 0.75)
    before = level_db(sound, TONE_HZ, 0.1, 0.4)
    # Ten times brighter is 20 dB; live synthesis's random phases take a few dB either way, and
    # the volume limiter a live rendering goes through holds the loud part down (11 to 20 dB
    # measured).
    check(inside - before > 8, "the 1 kHz tone is %.1f dB inside the rectangle's time, %.1f dB before it" %
          (inside, before))
    low_inside = level_db(sound, 250.0, 0.55, 0.75)
    check(low_inside < inside - 30,
          "the rectangle's band is not the one that got louder (250 Hz at %.1f dB)" % low_inside)
    return "the tone %.1f dB louder in the saved WAV inside the rectangle" % (inside - before)


def save_wav_through_chooser(s):
    """File > Save..., the WAV format, the in-app path field: sox reads what was written."""
    app = App(s, "save", [s.tone])
    app.spectrogram()
    out = s.path("saved.wav")
    save_through_menu(app, out, wav=True)
    wait_for(lambda: os.path.exists(out) and "// Save" in app.history(), "the WAV file to be written")
    app.quit()
    sound = s.read_sound(out)
    render = s.path("render-save.wav")
    s.cli("--synthesis", "live", "-e", 'Open "%s"' % s.tone, "-e", 'Save "%s"' % render)
    expected = s.read_sound(render)
    check(len(sound) == len(expected), "saved %d samples, the render has %d" % (len(sound), len(expected)))
    notes = compare_levels(sound, expected, "saved")
    late = level_db(sound, 250.0, 0.55, 0.95)
    check(late < level_db(sound, 250.0, 0.05, 0.35) - 20, "the saved 250 Hz part goes on after it ended")
    return "saved minus rendered: " + ", ".join(notes)


GROUP_COLOUR, EDGE_COLOUR = (176, 196, 222), (96, 96, 108)


def runs(rows):
    """(first, last) of each run of consecutive numbers."""
    out = []
    for y in rows:
        if out and out[-1][1] == y - 1:
            out[-1][1] = y
        else:
            out.append([y, y])
    return out


def format_radio(img, wx, wy, group):
    """The row of the first radio button under the format window's group label number
    `group`: labels are found by their colour, radio buttons by their boxes' left edges."""
    rows = range(wy + 20, min(img.size[1], wy + 600))
    labels = runs([y for y in rows if any(img.getpixel((x, y)) == GROUP_COLOUR for x in range(wx + 8, wx + 120))])
    boxes = runs([y for y in rows if img.getpixel((wx + 20, y)) == EDGE_COLOUR])
    check(len(labels) >= 3 and boxes, "the format window shows %d group labels" % len(labels))
    below = [(a + b) // 2 for a, b in boxes if a > labels[group][1]]
    check(below, "no radio button under group label %d" % group)
    return below[0]


def proceed_button(img, wx, wy):
    """The row of "Proceed to Save dialog...", the lowest widget of the format window, which
    ends where its left edge line ends."""
    frame = img.getpixel((wx + 8, wy + 30))
    edge = [y for y in range(wy, img.size[1]) if img.getpixel((wx, y)) == EDGE_COLOUR]
    y = edge[-1] - 1
    while y > wy and img.getpixel((wx + 108, y)) == frame:
        y -= 1
    bottom = y
    while y > wy and img.getpixel((wx + 108, y)) != frame:
        y -= 1
    check(bottom - y >= 10, "no button at the bottom of the format window")
    return (y + bottom) // 2


def save_through_menu(app, path, wav):
    """File > Save..., a format radio button, "Proceed to Save dialog...", the path typed."""
    before = title_bars(app.shot())
    app.menu(FILE_X, 4, separators_before=1)
    wx, wy = app.new_window(before, "the Saving Format Selection window")
    # The first radio button under the group label "Sound file" (WAV) or "Image file" (TIFF).
    rx, ry = wx + 26, format_radio(app.shot(), wx, wy, 2 if wav else 1)
    app.click_changing(rx, ry, (rx - 6, ry - 6, rx + 6, ry + 6), "the format's radio button")
    before = title_bars(app.shot())
    app.click(wx + 108, proceed_button(app.shot(), wx, wy))
    app.new_window(before, "the path window")
    # The path field has the keyboard focus with its text selected: typing replaces it.
    app.type(path)
    app.key("Return")


def resume_after_kill(s):
    """Edits made through the console and the menus survive a kill -9: Resume Last Session in
    a new run gives the same picture, bit for bit."""
    data = s.path("resume-data")
    app = App(s, "before-kill", [s.tone], data=data)
    app.spectrogram()
    app.console("Operation vertical flip")
    # Operations > Horizontal Flip (after Invert, Mask Invert and a separator).
    app.menu(OPERATIONS_X, 2, separators_before=1)
    app.wait_history("Operation horizontal flip")
    app.console("Multiply layer by 0.5")
    first = s.path("before.tiff")
    app.console('Save "%s"' % first)
    wait_for(lambda: os.path.exists(first), "the TIFF before the kill")
    # Replaying the history saves that file again: keep what this run wrote.
    kept = s.path("before-kept.tiff")
    shutil.copy(first, kept)
    before_img = app.shot()
    top, bottom, _ = axes_and_tone(before_img, FMAX * FMIN / TONE_HZ)
    app.kill9()

    app = App(s, "after-kill", [], data=data)
    app.drawn()
    app.menu(FILE_X, 2)
    second = s.path("after.tiff")
    flipped = expected_row(top, bottom, FMAX * FMIN / TONE_HZ)
    app.settled(lambda i: abs(tone_row(i, top, bottom)[0] - flipped) <= 3, "the resumed picture to show")
    app.console('Save "%s"' % second)
    wait_for(lambda: os.path.exists(second), "the TIFF after resuming")
    with open(kept, "rb") as f1, open(second, "rb") as f2:
        a, b = Image.open(f1), Image.open(f2)
        check(a.size == b.size, "picture %s before the kill, %s after resuming" % (a.size, b.size))
        check(a.tobytes() == b.tobytes(), "the resumed picture differs from the one before the kill")
    after_img = app.shot()
    app.quit()
    box = picture_box(after_img, top, bottom)
    diff = ImageChops.difference(before_img.crop(box), after_img.crop(box))
    check(max(diff.convert("L").getdata()) <= 2, "the resumed window shows another picture")


SCENARIOS = [
    ("opening a file shows its spectrogram and Space plays it", opened_file_shows_and_plays),
    ("a resize keeps the axes consistent with the picture", resize_keeps_axes),
    ("Ctrl and the wheel zoom around the pointer, the axes follow", wheel_zoom_keeps_axes),
    ("a spray stroke darkens, U and Ctrl+Z toggle it", spray_darkens_and_undo_toggles),
    ("a right-button rectangle lightens, Escape mid-drag changes nothing", rectangle_lightens_escape_cancels),
    ("File > Save... through the path field writes a WAV sox reads", save_wav_through_chooser),
    ("kill -9, then Resume Last Session restores the same picture", resume_after_kill),
]


def missing_tools():
    missing = [t for t in ("Xvfb", "xdotool", "sox") if shutil.which(t) is None]
    if Image is None:
        missing.append("python3-pil")
    return missing


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    missing = missing_tools()
    if missing:
        print("e2e skipped: not installed: " + ", ".join(missing) + " (sh tools/setup.sh installs them)")
        return SKIP
    build = os.path.abspath(argv[1])
    cmake = argv[2] if len(argv) > 2 else "cmake"
    wanted = argv[3:]
    names = [f.__name__ for _, f in SCENARIOS]
    unknown = [w for w in wanted if w not in names]
    if unknown:
        print("unknown scenario: %s; the scenarios: %s" % (", ".join(unknown), ", ".join(names)))
        return 2
    s = Session(build, cmake)
    # Whatever happens, the X server and the programs go and the temporary files with them.
    def on_signal(signum, _frame):
        raise SystemExit(128 + signum)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    failures = 0
    try:
        s.install()
        s.start_x()
        s.tone = make_tone(s)
        with Image.open(os.path.join(s.bin, "..", "share", "sonographica", "gfx", "menu_line.png")) as line:
            s.separator_height = line.size[1]
        for name, scenario in SCENARIOS:
            if wanted and scenario.__name__ not in wanted:
                continue
            start = time.monotonic()
            s.last_shot = None
            try:
                note = scenario(s)
                print("PASS %-65s %.1f s%s" % (name, time.monotonic() - start, ": " + note if note else ""))
            except Failure as e:
                failures += 1
                print("FAIL %-65s %.1f s: %s" % (name, time.monotonic() - start, e))
                if s.last_shot is not None:
                    s.last_shot.save(s.path("failed-%s.png" % scenario.__name__))
            finally:
                for p in s.apps:
                    if p.poll() is None:
                        p.kill()
                        p.wait()
                s.apps = []
            sys.stdout.flush()
    except Failure as e:
        print("FAIL setting up: %s" % e)
        failures += 1
    finally:
        s.close()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
