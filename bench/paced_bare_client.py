#!/usr/bin/env python3
"""The floor of the paced serial benchmark: a bare client that does nothing but the terminal's
protocol over the pseudo-terminal. It sends the start line and the erase command, then COUNT
data records of 64 bytes (73 bytes on the line, as the loader frames a binary image) and the
end record, each sent the moment the previous answer's CR arrives, and prints the wall time.
Whatever the virtual terminal's pacing adds beyond the line time shows here as well as in the
loader's run.

Usage: paced_bare_client.py DEVICE COUNT
Prints "bare SECONDS" on success; exits 1 on a wrong or missing answer (5 s per answer)."""
import os
import select
import sys
import termios
import time
import tty


def record(address: int, data: bytes, kind: bytes = b"3") -> bytes:
    body = bytes([4 + len(data) + 1]) + address.to_bytes(4, "big") + data
    return b"S" + kind + body + bytes([0xFF - (sum(body) & 0xFF)]) + b"\r"


def answer(fd: int) -> bytes:
    line = b""
    deadline = time.monotonic() + 5
    while not line.endswith(b"\r"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            sys.exit("no answer")
        line += os.read(fd, 64)
    return line


def main() -> None:
    device, count = sys.argv[1], int(sys.argv[2])
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    termios.tcflush(fd, termios.TCIFLUSH)
    data = bytes((i * 7 + 1) % 255 for i in range(64))
    frames = [record(0x00100000 + 64 * i, data) for i in range(count)]
    started = time.monotonic()
    os.write(fd, b"\r")
    answer(fd)
    os.write(fd, b":ERASE\r")
    if answer(fd) != b"FA\r":
        sys.exit("erase refused")
    for frame in frames + [record(0, b"", b"7")]:
        os.write(fd, frame)
        if answer(fd) != b"FA\r":
            sys.exit("record refused")
    print(f"bare {time.monotonic() - started:.4f}")


if __name__ == "__main__":
    main()
