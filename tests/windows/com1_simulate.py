#!/usr/bin/env python3
"""vantor-cli.exe simulating a slave on COM1 under Wine, polled by a real master.

Wine's COM1 is a symbolic link in the prefix's dosdevices folder, which Wine's mount manager
makes anew from the registry (HKLM\Software\Wine\Ports, else /dev/ttyS0) when it starts;
here both name the slave side of a fresh pseudo-terminal, whose master side this script
keeps and plays the Modbus master on: it sends a read of holding register 0 from slave 1 and expects the value given
with --value, in a frame with a good CRC. Then `vantor-cli.exe send` writes a configuration
frame to COM1, which must arrive as the bytes `vantor-cli.exe frame` prints for the same
settings file.

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


def check_send(wine: str, cli: str, work: str, master: int) -> bool:
    """send's frame arrives whole on the far side, as frame prints it."""
    ini = os.path.join(work, "send.ini")
    with open(ini, "wb") as f:
        f.write(b"[Cfg1602]\r\nCSet=38400,e,8,1\r\nSaddr=17\r\nDT=4\r\n")
    ini_windows = "Z:" + ini.replace("/", "\\")
    frame = subprocess.run([wine, cli, "frame", "--module", "1602", "--ini", ini_windows],
                           capture_output=True, timeout=120)
    expected = bytes.fromhex(frame.stdout.decode(errors="replace"))
    sent = subprocess.run([wine, cli, "send", "--port", "1", "--module", "1602",
                           "--ini", ini_windows], capture_output=True, timeout=120)
    got = read_reply(master, 2.0)
    print(f"send said {sent.stdout.decode(errors='replace').strip()!r} "
          f"(exit {sent.returncode}); {len(got)} of {len(expected)} bytes arrived")
    return sent.returncode == 0 and len(expected) == 48 and got == expected


def simulate(wine: str, cli: str, work: str, master: int, com1: str, slave_name: str) -> bool:
    """The simulator on COM1 answers a poll from the far side."""
    ini = os.path.join(work, "empty.ini")
    open(ini, "wb").close()
    ini_windows = "Z:" + ini.replace("/", "\\")
    stderr_path = os.path.join(work, "simulate.stderr")
    with open(stderr_path, "wb") as stderr:
        simulator = subprocess.Popen(
            [wine, cli, "simulate", "--port", "1", "--setting", "9600,n,8,1",
             "--value", "1=0x1234", "--module", "1602", "--ini", ini_windows],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
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
            return False
        print(said.decode(errors="replace").strip())
        if os.path.realpath(com1) != os.path.realpath(slave_name):
            print(f"COM1 leads to {os.path.realpath(com1)}, not to {slave_name}")
            return False
        reply = b""
        for _ in range(3):  # a line that just opened may lose the first bytes
            os.write(master, REQUEST)
            reply = read_reply(master, REPLY_WAIT)
            if reply:
                break
        print(f"sent {REQUEST.hex(' ')}, got {reply.hex(' ') or 'nothing'}")
        return reply == REPLY
    finally:
        simulator.terminate()
        try:
            simulator.wait(timeout=20)
        except subprocess.TimeoutExpired:
            simulator.kill()
            simulator.wait()


def main() -> int:
    wine, cli, work = sys.argv[1:4]
    prefix = os.environ["WINEPREFIX"]
    assert crc16(REQUEST[:-2]) == REQUEST[-2:] and crc16(REPLY[:-2]) == REPLY[-2:]

    master, slave = os.openpty()
    tty.setraw(slave)
    slave_name = os.ttyname(slave)
    com1 = os.path.join(prefix, "dosdevices", "com1")
    ports_key = r"HKLM\Software\Wine\Ports"
    try:
        # Set in the registry first (which starts Wine's services if they are not running),
        # then as the link itself, so that no start of the mount manager puts the machine's
        # own port back in its place.
        subprocess.run([wine, "reg", "add", ports_key, "/v", "COM1", "/d", slave_name, "/f"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if os.path.lexists(com1):
            os.remove(com1)
        os.symlink(slave_name, com1)
        print(f"COM1 is {slave_name}")
        if not simulate(wine, cli, work, master, com1, slave_name):
            return 1
        if not check_send(wine, cli, work, master):
            print("send's frame did not arrive as frame printed it")
            return 1
        print(f"poll answered {REPLY.hex(' ')}; send's frame arrived as frame printed it")
        return 0
    finally:
        subprocess.run([wine, "reg", "delete", ports_key, "/v", "COM1", "/f"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(master)
        os.close(slave)
        if os.path.lexists(com1):
            os.remove(com1)


if __name__ == "__main__":
    sys.exit(main())
