#!/usr/bin/env python3
"""Runs a program on a pseudo-terminal, as a person at a terminal would: answers its prompts
and records everything it writes. Usage:
  pty_run.py TRANSCRIPT TIMEOUT_S [--answer PATTERN=>TEXT]... [--signal PATTERN=>NAME]
             -- PROGRAM ARGS...
Each --answer waits (in order) until PATTERN has appeared in the output since the previous
answer, then types TEXT and Enter; patterns are looked for in the output without its
terminal control sequences (a Windows console under Wine draws text between them). --signal waits, after the answers, until PATTERN has
appeared and sends the program the signal NAME (INT, TERM, HUP); the milliseconds from the
signal to the program's exit are then written to TRANSCRIPT.ms. The program's exit status
becomes ours (124 on time-out)."""
import fcntl
import os
import pty
import re
import select
import signal
import struct
import sys
import termios
import time


def main() -> int:
    args = sys.argv[1:]
    transcript_path, timeout = args[0], float(args[1])
    answers = []
    stop = None
    i = 2
    while args[i] != "--":
        if args[i] == "--answer":
            pattern, text = args[i + 1].split("=>", 1)
            answers.append((pattern.encode(), text.encode()))
            i += 2
        elif args[i] == "--signal":
            pattern, name = args[i + 1].split("=>", 1)
            stop = (pattern.encode(), getattr(signal, "SIG" + name))
            i += 2
        else:
            raise SystemExit(f"unknown option {args[i]}")
    command = args[i + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        # A terminal of 24 lines of 80 columns, as a person's usually is at least.
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        os.execvp(command[0], command)
    output = b""
    searched_from = 0
    deadline = time.monotonic() + timeout
    status = None
    signalled_at = None
    ended_at = None
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            if status is None:
                os.kill(pid, 9)
                os.waitpid(pid, 0)
                status = 124
            break
        # The program's end is its own exit, not the terminal's hang-up: a helper process
        # that holds the terminal a while longer (Wine's server) must not count.
        if status is None:
            done, raw = os.waitpid(pid, os.WNOHANG)
            if done:
                status = os.waitstatus_to_exitcode(raw)
                ended_at = time.monotonic()
                deadline = min(deadline, ended_at + 0.5)  # what it wrote last, then stop
        ready, _, _ = select.select([fd], [], [], min(left, 0.05 if signalled_at else 0.2))
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                break
            output += chunk
        plain = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", output)
        while answers:
            pattern, text = answers[0]
            found = plain.find(pattern, searched_from)
            if found < 0:
                break
            searched_from = found + len(pattern)
            os.write(fd, text + b"\r")
            answers.pop(0)
        if stop is not None and not answers and signalled_at is None:
            found = plain.find(stop[0], searched_from)
            if found >= 0:
                searched_from = found + len(stop[0])
                os.kill(pid, stop[1])
                signalled_at = time.monotonic()
    if status is None:
        _, raw = os.waitpid(pid, 0)
        status = os.waitstatus_to_exitcode(raw)
        ended_at = time.monotonic()
    if signalled_at is not None:
        with open(transcript_path + ".ms", "w") as elapsed:
            elapsed.write(f"{(ended_at - signalled_at) * 1000:.0f}\n")
    with open(transcript_path, "wb") as transcript:
        transcript.write(output)
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main())
