#!/usr/bin/env python3
"""Writes the example programs of each type: app.shx (S-record text), app.bin (sectioned
binary image), app.qbx with its companion app.ini (BASIC object program). The contents are
made here from a fixed seed, so the files are the same on every run."""
import random
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
rng = random.Random(1131)


def srec_line(kind: str, address_bytes: int, address: int, data: bytes) -> str:
    count = address_bytes + len(data) + 1
    body = bytes([count]) + address.to_bytes(address_bytes, "big") + data
    checksum = 0xFF - (sum(body) & 0xFF)
    return f"S{kind}{body.hex().upper()}{checksum:02X}\r\n"


def make_shx() -> None:
    program = bytes(rng.randrange(256) for _ in range(2048))
    lines = [srec_line("0", 2, 0, b"app.shx")]
    base = 0x00010000
    for offset in range(0, len(program), 32):
        lines.append(srec_line("3", 4, base + offset, program[offset:offset + 32]))
    # A second block of code after a gap, to show records being split at the gap.
    tail = bytes(rng.randrange(256) for _ in range(100))
    for offset in range(0, len(tail), 20):
        lines.append(srec_line("3", 4, 0x00020000 + offset, tail[offset:offset + 20]))
    lines.append(srec_line("7", 4, base, b""))
    (HERE / "app.shx").write_bytes("".join(lines).encode())


def make_bin() -> None:
    sections = []
    # A section with code, then erased flash (0xFF runs the loader skips), then more code.
    data = bytes(rng.randrange(256) for _ in range(700)) + b"\xFF" * 300 + bytes(range(64))
    sections.append((0x00008000, data))
    sections.append((0x00040000, bytes(rng.randrange(256) for _ in range(130))))
    image = b"".join(b"TOLVEXSTART" + struct.pack(">II", address, len(payload)) + payload +
                     b"TOLVEXEND" for address, payload in sections)
    (HERE / "app.bin").write_bytes(image)


def make_qbx() -> None:
    n, m = 3, 2
    p = (n + 1) // 2
    header = b"QBX\x01" + struct.pack("<I", 12 + 64 * (n + p + m))
    program = header + struct.pack("<H", n)
    program += bytes(rng.randrange(256) for _ in range(64 * (n + p)))
    program += struct.pack("<H", m) + bytes(rng.randrange(256) for _ in range(64 * m))
    (HERE / "app.qbx").write_bytes(program)
    (HERE / "app.ini").write_bytes(b"[Settings]\r\nBeep=1\r\nBacklight=30\r\n")


if __name__ == "__main__":
    make_shx()
    make_bin()
    make_qbx()
