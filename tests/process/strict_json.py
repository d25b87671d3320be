#!/usr/bin/env python3
"""Checks JSON Lines strictly: the bytes must be valid UTF-8 and every line one JSON object with
an "event" member (no NaN or Infinity, no lone surrogate escapes). Usage:
  strict_json.py FILE [EVENT.MEMBER]...
With EVENT.MEMBER arguments, prints the value of that member of each such event, one a line
(strings as they are, others as JSON), so that a shell test can compare them."""
import json
import re
import sys


def refuse_constant(name):
    raise ValueError(f"not JSON: {name}")


def main() -> int:
    path, wanted = sys.argv[1], sys.argv[2:]
    raw = open(path, "rb").read()
    try:
        text = raw.decode("utf-8", errors="strict")
    except UnicodeDecodeError as error:
        print(f"{path}: not UTF-8: {error}", file=sys.stderr)
        return 1
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    events = []
    for number, line in enumerate(lines, 1):
        if re.search(r"\\u[dD][89abAB][0-9a-fA-F]{2}(?!\\u[dD][c-fC-F])", line):
            print(f"{path}:{number}: a lone surrogate escape: {line}", file=sys.stderr)
            return 1
        try:
            event = json.loads(line, parse_constant=refuse_constant)
        except ValueError as error:
            print(f"{path}:{number}: not JSON ({error}): {line!r}", file=sys.stderr)
            return 1
        if not isinstance(event, dict) or "event" not in event:
            print(f"{path}:{number}: not an event object: {line}", file=sys.stderr)
            return 1
        events.append(event)
    sys.stdout.reconfigure(encoding="utf-8")
    for item in wanted:
        name, member = item.split(".", 1)
        for event in events:
            if event["event"] == name and member in event:
                value = event[member]
                print(value if isinstance(value, str) else json.dumps(value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
