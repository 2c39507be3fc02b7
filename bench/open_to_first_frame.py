#!/usr/bin/env python3
"""Time from launch to the first frame that shows a big file's text: Vesk against vim in xterm.

Benchmarks OpenToFirstFrame/100MB (100 MB of ASCII, 1.6 M lines) and OpenToFirstFrame/20MBMixed
(20 MB of CJK, emoji, combining marks and code, 163 k lines). Each round launches `vesk FILE`
and then `xterm -e vim FILE` on a private Xvfb, one after the other (interleaved, so a busy
moment of the machine hits both). The display's pixels are polled every few milliseconds; once
the screen has stopped changing, its frame is the reference, and the clock stops at the first
frame that matched it. A frame matches when it differs from the reference in no more pixels than
a blinking caret covers. Every program runs with an empty home folder, so no saved state or
configuration of the user's plays a part.

    bench/open_to_first_frame.py --vesk build/vesk [--rounds 3] [--display 90] [--keep-files DIR]

Prints one line per round and program, then the medians:
    OpenToFirstFrame/100MB  vesk 612 ms  vim 757 ms
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 1400, 900
SETTLE_SECONDS = 2.0     # unchanged this long: the screen has stopped changing
TIMEOUT_SECONDS = 60.0
CARET_BITS = 24 * 400    # a caret's worth of changed pixels (24 bits each) still matches


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong), ("obdata", ctypes.c_void_p),
                ("create_image", ctypes.c_void_p), ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p))]


class Screen:
    """Grabs the root window of an X display as one integer of its pixels."""

    def __init__(self, display):
        self.x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.display)

    def grab(self):
        image = self.x.XGetImage(self.display, self.root, 0, 0, WIDTH, HEIGHT, 0xFFFFFFFF, 2)  # ZPixmap
        data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * HEIGHT)
        image.contents.destroy_image(ctypes.cast(image, ctypes.c_void_p))
        return int.from_bytes(data, "little")


def differing_bits(a, b):
    return (a ^ b).bit_count()


def write_files(folder):
    ascii_path = os.path.join(folder, "big.txt")
    line = b"    value = compute(alpha, beta) + offset * 42; // note abcdefgh\n"  # 64 bytes
    with open(ascii_path, "wb") as f:
        block = line * 16384
        for _ in range(100_000_000 // len(block) + 1):
            f.write(block)
    mixed_path = os.path.join(folder, "mixed.txt")
    lines = ("    // 漢字かな交じり文 café e\u0301 👍🏽 👨\u200d👩\u200d👧 🇫🇷 한국어 — Ünïcödé текст\n"
             "    value = compute(alpha, beta) + offset * 42; // an ASCII line of code, words\n").encode()
    with open(mixed_path, "wb") as f:
        block = lines * 4096
        for _ in range(20_000_000 // len(block) + 1):
            f.write(block)
    return {"100MB": ascii_path, "20MBMixed": mixed_path}


def clean_environment(home, display):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "QT_", "WAYLAND"))}
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env.update(HOME=home, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
    return env


def wait_blank(screen, blank):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and differing_bits(screen.grab(), blank) > CARET_BITS:
        time.sleep(0.02)


def measure(screen, blank, command, env):
    """Milliseconds from launch to the first frame matching the settled screen."""
    frames = []  # (seconds since launch, pixels) for every change seen
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    last = blank
    last_change = time.monotonic()
    try:
        while True:
            pixels = screen.grab()
            now = time.monotonic()
            if pixels != last:
                frames.append((now - start, pixels))
                last = pixels
                last_change = now
            if frames and now - last_change >= SETTLE_SECONDS and differing_bits(last, blank) > CARET_BITS:
                break
            if now - start > TIMEOUT_SECONDS:
                raise RuntimeError("the screen never settled: " + " ".join(command))
            time.sleep(0.002)
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    reference = last
    for seconds, pixels in frames:
        if differing_bits(pixels, reference) <= CARET_BITS:
            return seconds * 1000.0
    return frames[-1][0] * 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vesk", default=os.path.join(os.path.dirname(__file__), "..", "build", "vesk"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--display", default="90")
    parser.add_argument("--only", choices=["100MB", "20MBMixed"])
    parser.add_argument("--keep-files", help="folder for the test files (kept between runs)")
    args = parser.parse_args()
    vesk = os.path.abspath(args.vesk)
    for tool in ("Xvfb", "xterm", "vim"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/setup.sh")
    display = ":" + args.display.lstrip(":")
    work = tempfile.mkdtemp(prefix="vesk-first-frame-")
    files_dir = args.keep_files or work
    os.makedirs(files_dir, exist_ok=True)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", f"{WIDTH}x{HEIGHT}x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        files = write_files(files_dir) if not args.keep_files or not os.path.exists(
            os.path.join(files_dir, "mixed.txt")) else {"100MB": os.path.join(files_dir, "big.txt"),
                                                          "20MBMixed": os.path.join(files_dir, "mixed.txt")}
        screen = None
        for _ in range(200):
            try:
                screen = Screen(display)
                break
            except RuntimeError:
                time.sleep(0.05)
        if screen is None:
            sys.exit("Xvfb did not start on " + display)
        blank = screen.grab()
        results = {}
        for name, path in files.items():
            if args.only and name != args.only:
                continue
            for round_number in range(args.rounds):
                for program in ("vesk", "vim"):
                    home = tempfile.mkdtemp(dir=work, prefix=program + "-home-")
                    env = clean_environment(home, display)
                    if program == "vesk":
                        command = [vesk, path]
                    else:
                        command = ["xterm", "-geometry", "172x56+0+0", "-e", "vim", "-i", "NONE", "-n", path]
                    wait_blank(screen, blank)
                    ms = measure(screen, blank, command, env)
                    results.setdefault((name, program), []).append(ms)
                    print(f"OpenToFirstFrame/{name} round {round_number + 1} {program}: {ms:.0f} ms", flush=True)
        for name in files:
            if (name, "vesk") in results:
                vesk_ms = statistics.median(results[(name, "vesk")])
                vim_ms = statistics.median(results[(name, "vim")])
                print(f"OpenToFirstFrame/{name}  vesk {vesk_ms:.0f} ms  vim {vim_ms:.0f} ms  "
                      f"(vesk/vim {vesk_ms / vim_ms:.2f})")
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
