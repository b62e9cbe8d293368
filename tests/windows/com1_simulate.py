#!/usr/bin/env python3
"""vantor-cli.exe simulating a slave on COM1 under Wine, polled by a real master.

Wine's COM1 is a symbolic link in the prefix's dosdevices folder; here it leads to the slave
side of a fresh pseudo-terminal, whose master side this script keeps and plays the Modbus
master on: it sends a read of holding register 0 from slave 1 and expects the value given
with --value, in a frame with a good CRC.

    com1_simulate.py <wine64> <vantor-cli.exe> <work folder>

WINEPREFIX must name the (private) prefix to use. Prints one line per step and exits 0 when
the reply was right.
"""
import os
import select
import subprocess
import sys
import time
import tty

REQUEST = bytes.fromhex("01 03 00 00 00 01 84 0A")  # slave 1, read 1 holding register at 0
REPLY = bytes.fromhex("01 03 02 12 34 B5 33")  # 0x1234, CRC B5 33
OPEN_LIMIT = 120.0  # Wine's first start in a prefix is slow
REPLY_WAIT = 1.0


def crc16(frame: bytes) -> bytes:
    crc = 0xFFFF
    for byte in frame:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes([crc & 0xFF, crc >> 8])


def read_reply(master: int, wait: float) -> bytes:
    """What the slave sent back within `wait`, ending at a gap of 50 ms after the first byte."""
    got = b""
    deadline = time.monotonic() + wait
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.05 if got else deadline - time.monotonic())
        if not ready:
            if got:
                break
            continue
        try:
            got += os.read(master, 256)
        except OSError:
            break
    return got


def main() -> int:
    wine, cli, work = sys.argv[1:4]
    prefix = os.environ["WINEPREFIX"]
    assert crc16(REQUEST[:-2]) == REQUEST[-2:] and crc16(REPLY[:-2]) == REPLY[-2:]

    master, slave = os.openpty()
    tty.setraw(slave)
    slave_name = os.ttyname(slave)
    com1 = os.path.join(prefix, "dosdevices", "com1")
    if os.path.lexists(com1):
        os.remove(com1)
    os.symlink(slave_name, com1)
    print(f"COM1 is {slave_name}")

    ini = os.path.join(work, "empty.ini")
    open(ini, "wb").close()
    ini_windows = "Z:" + ini.replace("/", "\\")
    stderr_path = os.path.join(work, "simulate.stderr")
    with open(stderr_path, "wb") as stderr:
        simulator = subprocess.Popen(
            [wine, cli, "simulate", "--port", "1", "--setting", "9600,n,8,1",
             "--value", "1=0x1234", "--module", "1602", "--ini", ini_windows],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
    ok = False
    try:
        # Serving once it says so; a request sent before the port is opened would be purged.
        deadline = time.monotonic() + OPEN_LIMIT
        said = b""
        while time.monotonic() < deadline and simulator.poll() is None:
            with open(stderr_path, "rb") as f:
                said = f.read()
            if b"Simulating" in said:
                break
            time.sleep(0.2)
        if b"Simulating" not in said:
            print("vantor-cli.exe did not start serving:", said.decode(errors="replace").strip())
            return 1
        print(said.decode(errors="replace").strip())
        reply = b""
        for _ in range(3):  # a line that just opened may lose the first bytes
            os.write(master, REQUEST)
            reply = read_reply(master, REPLY_WAIT)
            if reply:
                break
        print(f"sent {REQUEST.hex(' ')}, got {reply.hex(' ') or 'nothing'}")
        ok = reply == REPLY
    finally:
        simulator.terminate()
        try:
            simulator.wait(timeout=20)
        except subprocess.TimeoutExpired:
            simulator.kill()
            simulator.wait()
        os.close(master)
        os.close(slave)
        os.remove(com1)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
