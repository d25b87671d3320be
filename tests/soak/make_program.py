#!/usr/bin/env python3
"""Writes one random program of a given type from a seed, small enough that an upload takes a
second or two:

  make_program.py shx|bin|qbx SEED OUT_PATH
  make_program.py plan SEED SLOW_SHARE   (the upload's settings, as shell assignments)

shx: S-record text with an S0 header, data in S1, S2 or S3 lines (mixed), gaps between runs,
     an optional S5 count, ended by S9, S8 or S7; CR LF or LF line ends.
bin: one to four sections of "TOLVEXSTART", address, length, data, "TOLVEXEND", with runs of
     0xFF inside the data and now and then an empty section or one below address 256.
qbx: header, counts N and M, (N + (N + 1) / 2 + M) pieces of 64 bytes, and the companion
     settings file OUT_PATH with ".ini" in place of its extension, of random length.
Addresses never overlap, so the memory image the file describes is unambiguous."""
import random
import struct
import sys
from pathlib import Path


def srec_line(kind: int, address_bytes: int, address: int, data: bytes) -> bytes:
    """One S-record line without its line end."""
    count = address_bytes + len(data) + 1
    body = bytes([count]) + address.to_bytes(address_bytes, "big") + data
    checksum = 0xFF - (sum(body) & 0xFF)
    return f"S{kind}{body.hex().upper()}{checksum:02X}".encode()


def random_bytes(rng: random.Random, size: int) -> bytes:
    """Program bytes with, now and then, a run of erased flash (0xFF) inside."""
    out = bytearray(rng.randrange(256) for _ in range(size))
    for _ in range(rng.randrange(3)):
        if size > 4:
            start = rng.randrange(size)
            end = min(size, start + rng.randrange(1, 140))
            out[start:end] = b"\xff" * (end - start)
    return bytes(out)


def make_shx(rng: random.Random) -> bytes:
    """S-record text: every run of data uses one address width that can hold its addresses."""
    width = rng.choice(["S1", "S2", "S3", "mixed"])
    top = {"S1": 0xFFFF, "S2": 0xFFFFFF}.get(width, 0xFFFFFFFF)
    newline = b"\r\n" if rng.random() < 0.6 else b"\n"
    lines = [srec_line(0, 2, 0, b"soak.shx")] if rng.random() < 0.8 else []
    address = rng.randrange(0, min(top, 0x10000) // 2)
    data_lines = 0
    for _ in range(rng.randint(1, 4)):
        run = random_bytes(rng, rng.randint(1, 700))
        if address + len(run) > top:
            break
        offset = 0
        while offset < len(run):
            piece = run[offset:offset + rng.randint(1, 64)]
            at = address + offset
            kind = {"S1": 1, "S2": 2, "S3": 3}.get(width) or (
                1 if at + len(piece) <= 0xFFFF and rng.random() < 0.3 else
                2 if at + len(piece) <= 0xFFFFFF and rng.random() < 0.5 else 3)
            lines.append(srec_line(kind, kind + 1, at, piece))
            data_lines += 1
            offset += len(piece)
        address += len(run) + rng.randint(1, 3000)  # a gap: the next run starts elsewhere
    if rng.random() < 0.3:
        lines.append(srec_line(5, 2, data_lines & 0xFFFF, b""))
    end = {"S1": 9, "S2": 8, "S3": 7}.get(width, rng.choice([7, 8, 9]))
    lines.append(srec_line(end, 11 - end, 0, b""))
    return newline.join(lines) + newline


def make_bin(rng: random.Random) -> bytes:
    """Sections back to back at ascending, separate addresses."""
    out = b""
    address = rng.choice([rng.randrange(0, 256), rng.randrange(0x1000, 0x100000)])
    for _ in range(rng.randint(1, 4)):
        size = 0 if rng.random() < 0.05 else rng.randint(1, 1200)
        data = random_bytes(rng, size)
        out += b"TOLVEXSTART" + struct.pack(">II", address, size) + data + b"TOLVEXEND"
        address += size + rng.randint(1, 0x4000)
    return out


def make_qbx(rng: random.Random) -> tuple[bytes, bytes]:
    """A BASIC program and its companion settings file."""
    n, m = rng.randint(0, 16), rng.randint(0, 8)
    p = (n + 1) // 2
    header = bytes(rng.randrange(256) for _ in range(8))
    program = header + struct.pack("<H", n) + random_bytes(rng, 64 * (n + p))
    program += struct.pack("<H", m) + random_bytes(rng, 64 * m)
    companion = bytes(rng.randrange(32, 127) for _ in range(rng.randint(0, 160)))
    return program, companion


def plan(seed: int, slow_share: float) -> str:
    """File type, link, terminal behaviour and faults of one upload. The slow faults (silent,
    late, a lost datagram) each cost the loader an 8 s deadline, so only SLOW_SHARE of the
    uploads may draw them."""
    rng = random.Random(f"plan:{seed}")
    kind = ("shx", "bin", "qbx")[seed % 3]
    link = ("pty", "udp")[(seed // 3) % 2]
    kinds = ["fn", "ff", "nak", "garbage", "split"]
    if link == "udp":
        kinds += ["dup", "reorder"]
    if rng.random() < slow_share:
        kinds += ["silent", "late"] + (["drop"] if link == "udp" else [])
    kinds = rng.sample(kinds, rng.randint(1, len(kinds)))
    rate = rng.choice([0.0, 0.01, 0.02, 0.05, 0.1, 0.2])
    args = ["--seed", str(seed), "--fault-rate", str(rate), "--fault-kinds", ",".join(kinds)]
    if rate and rng.random() < 0.2:
        args.append("--fault-commands")
    args += ["--entry", rng.choice(["ready-fn", "ready-ff", "long"])]
    if kind == "qbx":
        args += ["--basic", rng.choice(["plain", "checksum"])]
    elif rng.random() < 0.2:
        args += ["--erase-ms", str(rng.choice([100, 1500]))]
    if rng.random() < 0.3:
        args += ["--split-gap-ms", str(rng.choice([50, 300, 1500]))]
    if rng.random() < 0.15:
        args += ["--write-ms", str(rng.choice([5, 30]))]
    # Answers to the retry question: none (No), or one Yes and then No.
    retries = 1 if rng.random() < 0.3 else 0
    return (f"type={kind}\nlink={link}\nretries={retries}\n"
            f"terminal_args=({' '.join(args)})\n")


def main() -> None:
    if sys.argv[1] == "plan":
        print(plan(int(sys.argv[2]), float(sys.argv[3])), end="")
        return
    kind, seed, out = sys.argv[1], int(sys.argv[2]), Path(sys.argv[3])
    rng = random.Random(f"{kind}:{seed}")
    if kind == "shx":
        out.write_bytes(make_shx(rng))
    elif kind == "bin":
        out.write_bytes(make_bin(rng))
    elif kind == "qbx":
        program, companion = make_qbx(rng)
        out.write_bytes(program)
        out.with_suffix(".ini").write_bytes(companion)
    else:
        sys.exit(f"unknown type {kind}")


if __name__ == "__main__":
    main()
