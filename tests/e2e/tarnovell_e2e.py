"""Driving the real stub under Wine on an X screen (Xvfb): containers, processes, windows,
keys, screenshots. Python standard library plus xdotool and ImageMagick's `import`.

Small API (every wait polls with a timeout; nothing sleeps a fixed time to "let things settle"):

    work = work_dir("name")                       # fresh folder under the build's e2e area
    exe = write_container(work / "movie", header_texts("movie.avi", 5000), [payload0, ...])
    proc = start_stub(exe)                        # wine process (Popen), output captured
    win = wait_window(r"^Tarnovell! - MOVIE\\.EXE$", proc=proc)
    window_name(win); window_geometry(win)        # -> "title", (x, y, width, height)
    send_keys(win, "Return")                      # focus it, then real key events
    type_path(dialog, windows_path(work / "out.bin"))   # ctrl+a, type, Return
    shot = screenshot(); shot.client_pixel(win, 16, 66)  # (r, g, b) at client coordinates
    code = wait_exit(proc, timeout=20)            # exit code of the Windows program
    kill_wine()                                   # ends whatever a case left running

Which Wine runs the stub, and so which build of it, is decided by tools/wine-run.sh: 32-bit
Wine and the 32-bit stub, natively where the machine runs 32-bit programs, else under qemu-i386;
64-bit Wine and the 64-bit build of the same sources when asked or as the fallback. Every wait
is scaled by how much slower that way is (slowness(): 4 under qemu), so a timeout means the same
on every way; nothing is retried to hide a slow start. Relay logs are shown as the 32-bit build
prints them: the 64-bit registers of 64-bit Wine are cut to their low 32 bits (see relay_calls).

Configuration comes from the environment (set by tests/e2e/CMakeLists.txt):
    TARNOVELL_BUILD_DIR         the native build folder; the padded stubs are
                                windows/tarnovell_stub.bin (32-bit) and windows64/... (64-bit)
    TARNOVELL_WINE_ARCH         32 or 64, as chosen when the build was configured (else
                                tools/wine-run.sh chooses); TARNOVELL_WINE_QEMU=1 and QEMU_CPU
                                as tools/wine-run.sh reads them
    TARNOVELL_E2E_WORK          where work folders are made (default /tmp/tarnovell-e2e)
    TARNOVELL_E2E_WINEPREFIX    the Wine prefix of end-to-end runs (default: the project's prefix
                                with "-e2e" appended, so `wineserver -k` here never ends the
                                programs of other Wine tests running at the same time)
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "tools" / "wine-run.sh"


def layout_constant(name):
    """A constant of the container layout, read from container/layout.h (the one place)."""
    match = re.search(r"^\s*" + name + r"\s*=\s*(\d+),", (ROOT / "container" / "layout.h").read_text(), re.M)
    if not match:
        raise AssertionError(f"{name} not found in container/layout.h")
    return int(match.group(1))


STUB_SIZE = layout_constant("StubSize")
HEADER_RECORD_SIZE = layout_constant("HeaderRecordSize")
PAYLOAD_OFFSET = layout_constant("PayloadOffset")

# FILETIME counts 100-ns ticks from 1601-01-01; this is 1970-01-01 (base/file_time.h says the same).
FILETIME_UNIX_EPOCH = 116444736000000000


def filetime(unix_seconds):
    """(low, high) 32-bit words of the FILETIME of a Unix time in seconds."""
    ticks = FILETIME_UNIX_EPOCH + unix_seconds * 10 ** 7
    return ticks & 0xFFFFFFFF, ticks >> 32

# The main window: outer size, and where its client area lies inside (frame 3, caption 19).
WINDOW_WIDTH, WINDOW_HEIGHT = 288, 210
CLIENT_OFFSET = (3, 22)
CLIENT_SIZE = (282, 185)

# Calls whose arguments a relay log (start_stub(relay=True)) shows; see set_relay_include. The
# stub's texts and paths go through the wide (W) calls; the failure report is a MessageBoxA.
_FILE_CALLS = ["CreateFileW", "DeleteFileW", "SetFileTime", "GetModuleFileNameW", "FindFirstFileW", "ExitProcess"]
DEFAULT_RELAY_INCLUDE = [
    "user32.MessageBoxA", "user32.MessageBoxW", "user32.SetWindowTextW", "user32.CreateWindowExW",
    "user32.DrawTextW", "user32.DrawEdge", "user32.EnableWindow", "gdi32.Rectangle", "shell32.ShellExecuteW",
    "comdlg32.GetSaveFileNameW", "comdlg32.GetOpenFileNameW",
] + [dll + "." + call for call in _FILE_CALLS for dll in ("kernel32", "kernelbase")]  # forwarded to kernelbase


class E2EError(AssertionError):
    pass


# ---------------------------------------------------------------- environment

_FACTS = {}


def wine_facts():
    """What tools/wine-run.sh says of the way Windows programs run here: mode (native32, qemu32 or
    wine64), arch ("32" or "64"), slowness (how many times longer things take than natively)."""
    if not _FACTS:
        out = _run(["bash", str(WINE_RUN), "--facts"])
        _FACTS.update(line.split("=", 1) for line in out.splitlines() if "=" in line)
        if _FACTS.get("arch") not in ("32", "64"):
            raise E2EError(f"unknown Wine kind in {out!r}")
    return _FACTS


def wine_arch():
    """"32" or "64": which Wine (and which build of the stub) runs here."""
    return wine_facts()["arch"]


def slowness():
    """How many times longer a Windows program takes on the way taken here (4 under qemu-i386)."""
    return int(wine_facts()["slowness"])


def stub_path(arch=None):
    """The padded stub of the build that runs here (or of arch: "32" is what containers carry)."""
    build = os.environ.get("TARNOVELL_BUILD_DIR", str(ROOT / "build"))
    folder = "windows" if (arch or wine_arch()) == "32" else "windows64"
    return pathlib.Path(build) / folder / "tarnovell_stub.bin"


def stub_image(arch=None):
    """Bytes of the padded stub (see stub_path)."""
    path = stub_path(arch)
    data = path.read_bytes()
    if len(data) != STUB_SIZE:
        raise E2EError(f"{path} is {len(data)} bytes, not {STUB_SIZE}")
    return data


def put_stub(container):
    """Puts the stub of the build that runs here in front of a container (a tool-made set starts
    with the 32-bit stub; under 64-bit Wine the 64-bit build takes its place, same size)."""
    with open(container, "r+b") as f:
        f.write(stub_image())


def image_range(arch=None):
    """(first, end) addresses of the stub's image once loaded, low 32 bits as relay_calls shows
    them: from its PE header (ImageBase, SizeOfImage)."""
    data = stub_image(arch)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    optional = pe + 24
    if int.from_bytes(data[optional:optional + 2], "little") == 0x20B:  # PE32+
        base = int.from_bytes(data[optional + 24:optional + 32], "little")
    else:
        base = int.from_bytes(data[optional + 28:optional + 32], "little")
    size = int.from_bytes(data[optional + 56:optional + 60], "little")
    return base & 0xFFFFFFFF, (base + size) & 0xFFFFFFFF


def wine_prefix_base():
    """The e2e prefix as given to tools/wine-run.sh, which appends "64" for 64-bit Wine."""
    prefix = os.environ.get("TARNOVELL_E2E_WINEPREFIX")
    if not prefix:
        base = os.environ.get("TARNOVELL_WINEPREFIX", str(pathlib.Path.home() / ".tarnovell-wine"))
        prefix = base + "-e2e"
    return prefix


def wine_prefix():
    """The folder of the Wine prefix that the runs use."""
    return _run(["bash", str(WINE_RUN), "--prefix"], env=wine_env()).strip()


def wine_env(extra=None):
    """The environment for tools/wine-run.sh, which sets up the rest (prefix, locale, loader)."""
    env = dict(os.environ)
    env["TARNOVELL_WINEPREFIX"] = wine_prefix_base()
    env["TARNOVELL_WINE_ARCH"] = wine_arch()
    env.setdefault("WINEDEBUG", "-all")
    if extra:
        env.update(extra)
    return env


def wine_server(*args, timeout=60):
    """The wineserver of the Wine that runs here, on the e2e prefix: wine_server("-k")."""
    return subprocess.run(["bash", str(WINE_RUN), "--server", *args], env=wine_env(), capture_output=True,
                          timeout=timeout * slowness())


def require_display():
    if not os.environ.get("DISPLAY"):
        raise E2EError("no DISPLAY: run under xvfb-run -s '-screen 0 1024x768x24'")


def screen_size():
    out = _run(["xdotool", "getdisplaygeometry"]).split()
    return int(out[0]), int(out[1])


def expected_window_origin():
    """Where the main window's outer top-left corner belongs on this screen."""
    width, height = screen_size()
    return (width - WINDOW_WIDTH) // 2, (height - WINDOW_HEIGHT) // 2


def _run(args, env=None, check=True, timeout=30):
    result = subprocess.run(args, env=env, capture_output=True, timeout=timeout)
    if check and result.returncode != 0:
        raise E2EError(f"{args} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return result.stdout.decode("utf-8", errors="replace")


def ensure_prefix():
    """Makes the e2e Wine prefix once (about 15-25 s the first time), with the relay list set."""
    marker = pathlib.Path(wine_prefix()) / ".tarnovell-relay"
    wanted = ";".join(DEFAULT_RELAY_INCLUDE)
    if marker.exists() and marker.read_text() == wanted:
        return
    _run([str(WINE_RUN), "cmd", "/c", "exit", "0"], env=wine_env(), check=False, timeout=300 * slowness())
    set_relay_include(DEFAULT_RELAY_INCLUDE)
    marker.write_text(wanted)


def set_relay_include(calls):
    """Which calls a relay log shows (a prefix-wide registry value)."""
    _run([str(WINE_RUN), "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t", "REG_SZ",
          "/d", ";".join(calls), "/f"], env=wine_env(), timeout=120 * slowness())
    wine_server("-w")


def kill_wine():
    """Ends every process of the e2e prefix (what a failed case may have left running)."""
    wine_server("-k", timeout=30)
    wine_server("-w", timeout=30)


def use_locale(locale):
    """What follows runs under another system locale: ru_RU (ANSI code page 1251), en_US (1252)
    or ja_JP (932), each with a prefix of its own (tools/wine-run.sh). Whatever runs under the
    current one is ended first."""
    kill_wine()
    os.environ["TARNOVELL_WINE_LOCALE"] = locale
    ensure_prefix()
    kill_wine()


# ---------------------------------------------------------------- containers

def work_dir(name):
    """A fresh, empty folder for one case."""
    base = pathlib.Path(os.environ.get("TARNOVELL_E2E_WORK", "/tmp/tarnovell-e2e"))
    path = base / name
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def header_record(text, filler=b"\0"):
    """One 256-byte record: length byte, text (bytes or CP1251 text), filler."""
    data = text if isinstance(text, bytes) else text.encode("cp1251")
    if len(data) > 255:
        raise E2EError("a header record text is at most 255 bytes")
    return bytes([len(data)]) + data + filler * (255 - len(data))


def header_texts(name, total_size, creation=(0, 0), last_access=(0, 0), last_write=(0, 0)):
    """The eight texts of a well-formed header; times as (low, high) 32-bit words."""
    return [name, str(total_size), str(creation[0]), str(creation[1]), str(last_access[0]),
            str(last_access[1]), str(last_write[0]), str(last_write[1])]


def write_container(base, texts, payloads=(b"",), stub=None, filler=b"\0", suffix=".exe"):
    """Writes base + suffix (stub, header, payloads[0]) and base.c001, ... for the others.
    Returns the container's path."""
    base = pathlib.Path(base)
    stub = stub_image() if stub is None else stub
    header = b"".join(header_record(t, filler) for t in texts)
    if len(header) != 8 * HEADER_RECORD_SIZE:
        raise E2EError("a header has eight records")
    payloads = list(payloads) or [b""]
    container = base.parent / (base.name + suffix)
    container.write_bytes(stub + header + payloads[0])
    for n, payload in enumerate(payloads[1:], start=1):
        (base.parent / f"{base.name}.c{n:03d}").write_bytes(payload)
    return container


def windows_path(path):
    """The Windows form of a POSIX path (Wine maps Z: to /)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


# ---------------------------------------------------------------- processes

def start_stub(exe, relay=False, cwd=None, env=None):
    """Starts a program under Wine. Its stdout and stderr go to files beside it (see output()).
    relay=True logs the calls of set_relay_include with their arguments to stderr."""
    require_display()
    ensure_prefix()
    exe = pathlib.Path(exe)
    extra = dict(env or {})
    # Wine's own errors about its display driver stay on, so that start_window can tell them.
    extra["WINEDEBUG"] = "+relay" if relay else "-all,err+winediag"
    log_base = exe.parent / (exe.name + ".log")
    stdout = open(str(log_base) + ".out", "wb")
    stderr = open(str(log_base) + ".err", "wb")
    proc = subprocess.Popen([str(WINE_RUN), str(exe)], cwd=str(cwd or exe.parent), env=wine_env(extra),
                            stdout=stdout, stderr=stderr)
    proc.log_paths = (str(log_base) + ".out", str(log_base) + ".err")
    stdout.close()
    stderr.close()
    return proc


# What Wine prints when its display driver did not come up for a program (seen when a fresh,
# relay-logged session starts on a loaded machine): the program never ran as it would.
_NO_DISPLAY_DRIVER = "no driver could be loaded"


def start_window(exe, title_regex, relay=False, cwd=None, timeout=20):
    """Starts a program and waits for its window (title_regex). When Wine could not load its
    display driver for it (the program then ends without a window, and stderr says so), Wine is
    ended and the program started once more. Returns (proc, window)."""
    for attempt in (1, 2):
        proc = start_stub(exe, relay=relay, cwd=cwd)
        try:
            return proc, wait_window(title_regex, timeout=timeout, proc=proc)
        except E2EError:
            if attempt == 2 or proc.poll() is None or _NO_DISPLAY_DRIVER not in output(proc)[1]:
                raise
            print("note: Wine's display driver did not load; starting again", file=sys.stderr)
            kill_wine()


def start_sample(work, base, name, total_size, payload, title=r"^Tarnovell! - "):
    """Writes work/base.exe, a container of one piece (payload) whose header gives name and
    total_size, starts it and waits for its window (title: a regex). Returns (proc, window)."""
    exe = write_container(work / base, header_texts(name, total_size), [payload])
    return start_window(exe, title)


def output(proc):
    """(stdout, stderr) of a started program so far, as text."""
    return tuple(pathlib.Path(p).read_text(errors="replace") for p in proc.log_paths)


# A value of 64-bit Wine's relay log wider than 8 hex digits (an argument or a return address).
_REGISTER = re.compile(r"(?<=[(,=])[0-9a-f]{1,8}([0-9a-f]{8})(?=[,) ]|$)")


def relay_calls(proc, name):
    """Relay log lines of one call: relay_calls(proc, "user32.MessageBoxW"), or by the bare name
    from whichever DLL serves it: relay_calls(proc, "CreateFileW"). Values are shown in 8 hex
    digits whichever Wine runs: 64-bit Wine prints 64-bit registers, whose upper halves may hold
    leftovers for 32-bit arguments, so only their low 32 bits are kept."""
    needle = f"Call {name}(" if "." in name else f".{name}("
    return [_REGISTER.sub(r"\1", line) for line in output(proc)[1].splitlines() if needle in line and "Call " in line]


def relay_text(text):
    """A text as the relay log shows a wide string argument (between L" and "): each UTF-16 unit
    outside printable ASCII as \\ and four hex digits, CR, LF and tab as \\r, \\n and \\t, a
    backslash and a quote escaped."""
    special = {0x0D: "\\r", 0x0A: "\\n", 0x09: "\\t", 0x5C: "\\\\", 0x22: '\\"'}
    units = text.encode("utf-16-le")
    codes = [units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)]
    return "".join(special.get(c) or (chr(c) if 0x20 <= c < 0x7F else f"\\{c:04x}") for c in codes)


_MESSAGE_BOX = re.compile(r'MessageBox[AW]\(([0-9a-f]{8}),[0-9a-f]{8} L?"(.*?)"(\.\.\.)?,[0-9a-f]{8} L?"(.*?)",([0-9a-f]{8})\)')


def message_boxes():
    """Message boxes on the screen: windows titled "Tarnovell!" of another size than the main
    window's. A window that closes while it is looked at is left out."""
    boxes = []
    for window in find_windows("^Tarnovell!$"):
        try:
            if window_geometry(window)[2:] != CLIENT_SIZE:
                boxes.append(window)
        except E2EError:  # gone between the listing and the question
            pass
    return boxes


def message_box_call(line):
    """The arguments of a relayed MessageBoxW (or MessageBoxA) call line: (owner, text, cut, caption, style), the
    owner and the style as 8 hex digits, the texts as relay_text shows them; cut: the log
    shortened the text (it then ends early)."""
    match = _MESSAGE_BOX.search(line)
    if not match:
        raise E2EError(f"not a MessageBoxA call with two texts: {line}")
    owner, text, cut, caption, style = match.groups()
    return owner, text, cut is not None, caption, style


def own_calls(proc, name):
    """The calls of relay_calls made by the stub's own code (the return address lies inside its
    image), not by Wine's DLLs on its behalf."""
    first, end = image_range()
    def own(line):
        match = re.search(r" ret=([0-9a-f]{8})\b", line)
        return match and first <= int(match.group(1), 16) < end
    return [line for line in relay_calls(proc, name) if own(line)]


def wait_exit(proc, timeout=30):
    """The exit code of the program; fails when it is still running after timeout seconds
    (scaled by slowness)."""
    timeout *= slowness()
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise E2EError(f"the program is still running after {timeout} s")


def still_running(proc):
    return proc.poll() is None


# ---------------------------------------------------------------- windows

def wait_until(predicate, timeout=20, interval=0.1, what="condition"):
    """Polls predicate until it returns something true, and returns that. The timeout is the
    one of native Wine; the way taken here scales it (slowness)."""
    timeout *= slowness()
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise E2EError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def find_windows(title_regex):
    """Visible windows whose title matches (xdotool regex, extended syntax)."""
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title_regex],
                            capture_output=True, timeout=10)
    return [int(w) for w in result.stdout.decode().split()]


def wait_window(title_regex, timeout=20, proc=None):
    """The first visible window whose title matches; fails early when proc has ended."""
    def look():
        found = find_windows(title_regex)
        if found:
            return found[0]
        if proc is not None and proc.poll() is not None:
            raise E2EError(f"the program ended (code {proc.returncode}) before a window {title_regex!r} appeared")
        return None
    return wait_until(look, timeout, what=f"a window titled {title_regex!r}")


def wait_no_window(title_regex, timeout=20):
    wait_until(lambda: not find_windows(title_regex), timeout, what=f"no window titled {title_regex!r}")


def window_name(window):
    return _run(["xdotool", "getwindowname", str(window)]).rstrip("\n")


def window_geometry(window):
    """(x, y, width, height) of the X window, which for a Wine top-level is its client area."""
    out = _run(["xdotool", "getwindowgeometry", "--shell", str(window)])
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def focus(window, timeout=10):
    def focused():
        subprocess.run(["xdotool", "windowfocus", str(window)], capture_output=True, timeout=10)
        out = subprocess.run(["xdotool", "getwindowfocus"], capture_output=True, timeout=10).stdout.decode().strip()
        return out == str(window)
    wait_until(focused, timeout, interval=0.2, what=f"focus on window {window}")


def send_keys(window, *keys):
    """Focuses the window and sends real (XTEST) key events, e.g. send_keys(w, "alt+F4")."""
    focus(window)
    _run(["xdotool", "key", "--delay", "50", *keys])


def type_text(window, text):
    focus(window)
    _run(["xdotool", "type", "--delay", "20", text])


def type_path(dialog, path):
    """Replaces the file name of a file dialog by path (a Windows path) and confirms it."""
    send_keys(dialog, "ctrl+a")
    type_text(dialog, path)
    send_keys(dialog, "Return")


def click(window, x, y, button=1):
    """A mouse press and release at client coordinates of the window."""
    left, top, _, _ = window_geometry(window)
    _run(["xdotool", "mousemove", str(left + x), str(top + y)])
    _run(["xdotool", "click", str(button)])


# ---------------------------------------------------------------- screenshots

class Screenshot:
    """The whole screen as RGB bytes."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise E2EError(f"pixel ({x}, {y}) is off the screen")
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def client_pixel(self, window, x, y):
        """Pixel at client coordinates of a Wine top-level window (its X window)."""
        left, top, _, _ = window_geometry(window) if not isinstance(window, tuple) else window
        return self.pixel(left + x, top + y)

    def client(self, geometry):
        """The RGB bytes of a window's client area (its X window), row by row."""
        left, top, width, height = geometry
        if left < 0 or top < 0 or left + width > self.width or top + height > self.height:
            raise E2EError(f"window {geometry} is off the screen")
        rows = [self.data[((top + y) * self.width + left) * 3:((top + y) * self.width + left + width) * 3]
                for y in range(height)]
        return b"".join(rows)

    def region(self, window, x0, y0, x1, y1):
        """{(x, y): rgb} for client x0..x1-1, y0..y1-1."""
        geometry = window_geometry(window) if not isinstance(window, tuple) else window
        return {(x, y): self.client_pixel(geometry, x, y) for y in range(y0, y1) for x in range(x0, x1)}


def _parse_ppm(data):
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1  # the single white-space byte after maxval
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise E2EError("unexpected screenshot format")
    width, height = int(fields[1]), int(fields[2])
    return Screenshot(width, height, data[pos:pos + width * height * 3])


def screenshot():
    result = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], capture_output=True, timeout=30)
    if result.returncode != 0:
        raise E2EError("import failed: " + result.stderr.decode(errors="replace"))
    return _parse_ppm(result.stdout)


SHADOW = (166, 166, 166)  # the sunken frames' shadow edge under Wine's default colours


def wait_painted(window):
    """Waits until the window (or its geometry) has been painted: the separator's shadow edge is
    there. Returns the screenshot that shows it."""
    def painted():
        shot = screenshot()
        return shot if shot.client_pixel(window, 100, 66) == SHADOW else None
    return wait_until(painted, what="the window painted")


def save_window_png(window, path, margin=0):
    """A PNG of the window's client area (plus margin pixels around it)."""
    x, y, w, h = window_geometry(window)
    crop = f"{w + 2 * margin}x{h + 2 * margin}+{x - margin}+{y - margin}"
    _run(["import", "-window", "root", "-crop", crop, "+repage", str(path)])


# ---------------------------------------------------------------- running a case

def run_case(main):
    """Runs one case: kills leftovers before and after, prints the failure, exits 0 or 1."""
    require_display()
    ensure_prefix()
    kill_wine()
    try:
        main()
    except Exception as failure:  # a failed case: report it the way CTest shows output
        print(f"FAILED: {failure}", file=sys.stderr)
        raise
    finally:
        kill_wine()
    print("passed")


def own_call_sequence(proc, names):
    """The stub's own calls of any of names, in the order they were made:
    own_call_sequence(proc, ["user32.SetWindowTextW", "gdi32.Rectangle"]). Own: made by the
    thread that created the main window, from inside the stub's image (the services Wine starts
    beside it log their calls too, and an image with a large zeroed area spans addresses where
    theirs may lie)."""
    first, end = image_range()
    log = output(proc)[1].splitlines()
    window = [line for line in log if 'Call user32.CreateWindowExW(' in line and ' L"Tarnovell",' in line]
    if not window:
        raise E2EError("the relay log shows no main window created")
    thread = window[0].split(":", 1)[0] + ":Call "
    needles = [f"Call {name}(" if "." in name else f".{name}(" for name in names]
    lines = [_REGISTER.sub(r"\1", line) for line in log
             if line.startswith(thread) and any(needle in line for needle in needles)]
    def own(line):
        match = re.search(r" ret=([0-9a-f]{8})\b", line)
        return match and first <= int(match.group(1), 16) < end
    return [line for line in lines if own(line)]
