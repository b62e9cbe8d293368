#!/usr/bin/env python3
"""vantor.exe and vantor-cli.exe end at once when they are done, whatever port they opened.

vantor.exe, from a copy of the packed folder, on a virtual display with a window manager: its
window opens with COM1 (a pseudo-terminal, as in com1_simulate.py) chosen; the keys press
Connect and Disconnect, Connect alone, or Listen and Stop listening, then Alt+F4 closes the
window; the process must be gone within 2 s of that. Then vantor-cli.exe listens on COM1 and
must end within 2 s of Ctrl+C.

    window_exit.py <wine64> <packed folder> <work folder>

WINEPREFIX must name the (private) prefix to use. Prints one line per case; exits 0 when
each ended in time.
"""
import os
import shutil
import signal
import subprocess
import sys
import time
import tty

OPEN_LIMIT = 120.0  # Wine's first start in a prefix is slow
END_LIMIT = 2.0
CASES = {
    "Connect, Disconnect": ["alt+c", "alt+c"],
    "Connect": ["alt+c"],
    "Listen, Stop listening": ["alt+i", "alt+i"],
    "nothing opened": [],
}


def xdotool(*args: str) -> str:
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def ended_within(process: subprocess.Popen, limit: float) -> float | None:
    start = time.monotonic()
    while time.monotonic() - start < limit:
        if process.poll() is not None:
            return time.monotonic() - start
        time.sleep(0.05)
    return None


def window_case(wine: str, folder: str, keys: list[str]) -> str | None:
    """What went wrong, or None when the program ended in time."""
    with open(os.path.join(folder, "modlcd.ini"), "wb") as f:
        f.write(b"[Settings]\r\nCommPort=1\r\nSetting=9600,n,8,1\r\n[LCD]\r\nModule=1602\r\n")
    env = {k: v for k, v in os.environ.items() if k != "QT_QPA_PLATFORM"}
    program = subprocess.Popen([wine, os.path.join(folder, "vantor.exe")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + OPEN_LIMIT
        window = ""
        while not window and time.monotonic() < deadline and program.poll() is None:
            window = xdotool("search", "--name", "^Vantor$").split("\n")[0]
            time.sleep(0.3)
        if not window:
            return "no window"
        time.sleep(2)  # drawn and taking keys
        xdotool("windowactivate", "--sync", window)
        for key in keys:
            xdotool("key", "--window", window, key)
            time.sleep(2)
        xdotool("windowactivate", "--sync", window)
        xdotool("key", "alt+F4")
        took = ended_within(program, END_LIMIT)
        return None if took is not None else f"still running {END_LIMIT} s after its window closed"
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def cli_case(wine: str, folder: str) -> str | None:
    cli = subprocess.Popen([wine, os.path.join(folder, "vantor-cli.exe"), "listen", "--port", "1",
                            "--setting", "9600,n,8,1"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + OPEN_LIMIT
        said = b""
        os.set_blocking(cli.stderr.fileno(), False)
        while b"Ctrl+C" not in said and time.monotonic() < deadline and cli.poll() is None:
            said += cli.stderr.read() or b""
            time.sleep(0.2)
        if b"Ctrl+C" not in said:
            return "did not start listening: " + said.decode(errors="replace").strip()
        cli.send_signal(signal.SIGINT)
        took = ended_within(cli, END_LIMIT)
        return None if took is not None else f"still running {END_LIMIT} s after Ctrl+C"
    finally:
        if cli.poll() is None:
            cli.kill()
            cli.wait()


def main() -> int:
    wine, packed, work = sys.argv[1:4]
    prefix = os.environ["WINEPREFIX"]
    folder = os.path.join(work, "programs")
    shutil.copytree(packed, folder)
    master, slave = os.openpty()
    tty.setraw(slave)
    com1 = os.path.join(prefix, "dosdevices", "com1")
    ports_key = r"HKLM\Software\Wine\Ports"
    subprocess.run([wine, "reg", "add", ports_key, "/v", "COM1", "/d", os.ttyname(slave), "/f"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if os.path.lexists(com1):
        os.remove(com1)
    os.symlink(os.ttyname(slave), com1)
    failed = 0
    try:
        for name, keys in CASES.items():
            wrong = window_case(wine, folder, keys)
            print(f"vantor.exe after {name}: {wrong or 'ended within 2 s of its window closing'}")
            failed += wrong is not None
        wrong = cli_case(wine, folder)
        print(f"vantor-cli.exe listen: {wrong or 'ended within 2 s of Ctrl+C'}")
        failed += wrong is not None
    finally:
        subprocess.run([wine, "reg", "delete", ports_key, "/v", "COM1", "/f"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(master)
        os.close(slave)
        if os.path.lexists(com1):
            os.remove(com1)
    print("each program ended in time" if failed == 0 else f"{failed} did not end in time")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
