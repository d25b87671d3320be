#!/usr/bin/python
# -*- coding: utf-8 -*-
# Loads a program into every terminal of one store PC through vorlanth-cli --json --fleet and
# returns each terminal's result; in check mode it has the loader check the list and the
# programs and sends nothing.
# Copyright (c) 2026 The Vorlanth developers; MIT licence (see LICENSE).

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: vorlanth_fleet
short_description: Load a program into every terminal of a store PC with vorlanth-cli
version_added: "1.31.0"
description:
  - Runs C(vorlanth-cli --json --fleet) on the managed host, which uploads to every terminal
    of the list at once, each with its own handshake, erase, transfer and retries, and returns
    one result per terminal.
  - The loader checks every line of the list before anything is sent (its fields, its program
    file decoded whole, no terminal named twice); a list with a bad line uploads nothing and
    the results name the bad lines.
  - The task is C(changed) when any terminal was written, that is when any target got as far
    as its erase or its first record; a failed upload after the erase is a change too, since
    the program that was on the terminal is gone.
  - The host fails when any target did not take the program; the results are returned all the
    same.
  - In check mode the loader checks the list as it would before an upload
    (C(vorlanth-cli --json --check-fleet)), and each program with C(vorlanth-cli --json --check);
    nothing is sent to any terminal. The results then say what would be sent to each target.
options:
  targets:
    description:
      - The terminals, one argument text each as a line of a fleet list
        (C(PATH,LINK,PORT,RATE,FILETYPE,1)); blank texts and texts that begin with C(#) are
        skipped as in a list.
      - Written to a temporary file for the loader; its lines keep the order and numbers of
        this list.
      - Exactly one of C(targets) and C(target_list) is given.
    type: list
    elements: str
  target_list:
    description:
      - A fleet list on the managed host, one argument text a line; relative to C(chdir).
    type: path
  programs:
    description:
      - Program files to check in check mode with C(vorlanth-cli --check), each as C(PATH) or
        C(PATH,FILETYPE).
      - By default the programs the targets name (with the file type of the target's line).
    type: list
    elements: str
  chdir:
    description:
      - The folder the loader runs in; the targets' relative program paths start here.
    type: path
  jobs:
    description:
      - At most this many uploads at once (C(--jobs)); by default every target at once.
    type: int
  retries:
    description:
      - Retry a failed target this many times, each with a fresh link (C(--retries)); the
        loader's default is 2.
    type: int
  expected_sha256:
    description:
      - The SHA-256 the program files must have, 64 hexadecimal digits (C(--expect-sha256));
        a program with another digest is refused before anything is sent.
      - Passed to the loader only when given; needs a loader that knows the option.
    type: str
  environment:
    description:
      - Environment of the loader, such as C(VORLANTH_COM3) naming the device of COM port 3
        where a hub's ports are not C(/dev/ttyS<n-1>).
    type: dict
    default: {}
  vorlanth_cli:
    description:
      - The loader, as a path or as a name looked up in the managed host's C(PATH).
    type: str
    default: vorlanth-cli
attributes:
  check_mode:
    description: Can run in check mode and return the changed status without changing a terminal.
    support: full
  diff_mode:
    description: Would return details of what changed in diff mode.
    support: none
  platform:
    description: Target OS/families that can be operated against.
    support: full
    platforms: posix
notes:
  - The loader's exit code is returned as C(rc); 1 means a target did not upload, 2 a list
    that is not good (nothing was sent).
author:
  - The Vorlanth developers (@vorlanth)
"""

EXAMPLES = r"""
- name: Load the release into both terminals of the store
  vorlanth.loader.vorlanth_fleet:
    chdir: /var/tmp/vorlanth
    targets:
      - app.bin,1,3,1,2,1
      - app.bin,3,10.20.0.21,3000,2,1
    environment:
      VORLANTH_COM3: /dev/ttyUSB0
    retries: 3
  register: rollout

- name: Load from the store's own list, four terminals at a time
  vorlanth.loader.vorlanth_fleet:
    target_list: /etc/vorlanth/terminals.txt
    chdir: /srv/release
    jobs: 4

- name: Only say what would be sent (or run the play with --check)
  vorlanth.loader.vorlanth_fleet:
    chdir: /var/tmp/vorlanth
    targets: "{{ terminals }}"
  check_mode: true
"""

RETURN = r"""
results:
  description: One entry per target, in the order of the list.
  returned: always
  type: list
  elements: dict
  contains:
    target:
      description: The target's argument text.
      type: str
      sample: app.bin,1,3,1,2,1
    line:
      description: Its line in the list.
      type: int
      sample: 1
    status:
      description:
        - How it ended, in the loader's words; C(uploaded), C(failed), C(no file), C(no link),
          C(not valid), C(stopped) or C(not started).
        - C(bad line) for a line the loader refused (nothing was uploaded); in check mode
          C(would upload).
      type: str
      sample: uploaded
    attempts:
      description: Attempts made (0 in check mode and for a bad line).
      type: int
      sample: 1
    seconds:
      description: Time from the target's start to its end.
      type: float
      sample: 2.13
    bytes:
      description: Bytes of the program file sent; in check mode the data bytes that would be.
      type: int
      sample: 5442
    message:
      description: The last message, such as C(Uploaded successfully!); in check mode what
        would be sent.
      type: str
      sample: Uploaded successfully!
    detail:
      description: Which object failed and why, when the loader said.
      type: str
      returned: when the loader said why
    exit_code:
      description: The exit code a single upload of this target would have had.
      type: int
      returned: unless in check mode
    written:
      description: Whether the terminal was written (erased or sent a record).
      type: bool
    program:
      description: The program file the target's line names.
      type: str
      returned: in check mode
    sha256:
      description: The SHA-256 of the program file, when the loader gives it.
      type: str
      returned: when the loader gives it
    companion_sha256:
      description: The SHA-256 of a BASIC program's companion settings file.
      type: str
      returned: for a BASIC program, when the loader gives it
summary:
  description: Counts over the targets.
  returned: when the loader ran the list
  type: dict
  sample: {"targets": 2, "succeeded": 2, "failed": 0}
checks:
  description: In check mode, the loader's C(--check) of each program (its JSON C(check) event).
  returned: in check mode
  type: list
  elements: dict
rc:
  description: The loader's exit code.
  returned: when the loader ran or checked the list
  type: int
cmd:
  description: The loader's command line.
  returned: when the loader ran
  type: list
  elements: str
"""

import json
import os
import re
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_native, to_text

# The digests the loader gives of a program and of a BASIC program's companion.
DIGEST_KEYS = ("sha256", "companion_sha256")

# What the loader reads of a list at most.
MOST_LIST_BYTES = 1024 * 1024


def target_lines(list_bytes):
    """(line number, text) of every line of a list that names a target: the loader skips a
    byte-order mark at the start, blank lines and lines that begin with '#'."""
    if list_bytes.startswith(b"\xef\xbb\xbf"):
        list_bytes = list_bytes[3:]
    lines = []
    for number, raw in enumerate(list_bytes.split(b"\n"), start=1):
        if raw.endswith(b"\r"):
            raw = raw[:-1]
        text = raw.strip(b" \t")
        if text and not text.startswith(b"#"):
            lines.append((number, to_text(text, errors="surrogate_or_replace")))
    return lines


def program_of(text):
    """The program a target's line names and its file type as vorlanth-cli --check takes it:
    field 1 and, when it is one of 0, 1, 2, field 5 (a comma is never inside a field)."""
    fields = text.split(",")
    path = fields[0].strip(" ")
    if len(fields) >= 6 and fields[4].strip(" ") in ("0", "1", "2"):
        return path + "," + fields[4].strip(" ")
    return path


def read_events(stdout):
    """The JSON Lines events of the loader's standard output; a line that is not one is left."""
    events = []
    for line in stdout.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if isinstance(event, dict) and "event" in event:
            events.append(event)
    return events


def target_line(event):
    target = event.get("target")
    return target.get("line") if isinstance(target, dict) else None


def last_message(events):
    """The text of the last message event without a target (a usage error, say), or ''."""
    for event in reversed(events):
        if event.get("event") == "message" and target_line(event) is None:
            return event.get("text", "")
    return ""


def list_problems(events):
    """What the loader said of the list as a whole (line 0): it cannot be read, it is too long,
    it names no target."""
    return ["%s (%s)" % (event.get("text", ""), event["detail"]) if "detail" in event
            else event.get("text", "") for event in events
            if event.get("event") == "message" and target_line(event) == 0]


def bad_line_results(events):
    """One result per line the loader refused, from its message events."""
    results = []
    for event in events:
        line = target_line(event)
        if event.get("event") != "message" or not line:
            continue
        text = event["target"].get("text", "")
        result = dict(target=text, line=line, status="bad line", attempts=0, seconds=0.0,
                      bytes=0, message=event.get("text", ""), written=False)
        if "detail" in event:
            result["detail"] = event["detail"]
        results.append(result)
    return results


class Loader(object):
    """vorlanth-cli on the managed host, run with the module's folder and environment."""

    def __init__(self, module):
        self.module = module
        name = module.params["vorlanth_cli"]
        self.path = name if "/" in name else module.get_bin_path(name, required=True)
        self.environment = dict((key, to_native(value))
                                for key, value in module.params["environment"].items())
        self.chdir = module.params["chdir"]

    def run(self, arguments):
        command = [self.path, "--json"] + arguments
        rc, stdout, stderr = self.module.run_command(command, cwd=self.chdir,
                                                     environ_update=self.environment)
        return command, rc, read_events(stdout), stderr

    def digest_options(self):
        expected = self.module.params["expected_sha256"]
        return ["--expect-sha256", expected] if expected else []


def fail_without_list(module, command, rc, events, stderr, **result):
    """Ends the task when the loader did not get as far as the list: usage error, no program."""
    said = last_message(events) or (stderr.strip().splitlines() or [""])[-1]
    module.fail_json(msg="vorlanth-cli exit %d: %s" % (rc, said or "no output"), rc=rc,
                     cmd=command, results=[], **result)


def upload(module, loader, list_path):
    """Runs the list and ends the task with every target's result."""
    arguments = []
    if module.params["jobs"] is not None:
        arguments += ["--jobs", str(module.params["jobs"])]
    if module.params["retries"] is not None:
        arguments += ["--retries", str(module.params["retries"])]
    arguments += loader.digest_options() + ["--fleet", list_path]
    command, rc, events, stderr = loader.run(arguments)
    fleet = [event for event in events if event.get("event") == "fleet"]
    if not fleet:
        fail_without_list(module, command, rc, events, stderr)
    fleet = fleet[-1]
    if "results" not in fleet:
        results = bad_line_results(events)
        said = list_problems(events) + ["#%d %s: %s" % (r["line"], r["target"], r["message"])
                                        for r in results]
        module.fail_json(msg="the list is not good, nothing was uploaded: %s" % "; ".join(said),
                         rc=rc, cmd=command, results=results, changed=False)

    # What each target's own events say: whether the terminal was written, and the digests.
    written = set()
    digests = {}
    for event in events:
        line = target_line(event)
        if line is None:
            continue
        if event.get("event") in ("erase", "transfer") and event.get("state") == "started":
            written.add(line)
        if event.get("event") == "start":
            digests[line] = dict((key, event[key]) for key in DIGEST_KEYS if key in event)

    results = []
    for row in fleet["results"]:
        line = row.get("line")
        result = dict(target=row.get("text", ""), line=line, status=row.get("outcome", ""),
                      exit_code=row.get("exitCode"), attempts=row.get("attempts", 0),
                      seconds=row.get("seconds", 0.0), bytes=row.get("bytes", 0),
                      message=row.get("message", ""),
                      written=line in written or row.get("outcome") == "uploaded")
        if "detail" in row:
            result["detail"] = row["detail"]
        for key in DIGEST_KEYS:
            if key in row or key in digests.get(line, {}):
                result[key] = row.get(key, digests.get(line, {}).get(key))
        results.append(result)
    summary = dict(targets=fleet.get("targets", len(results)),
                   succeeded=fleet.get("succeeded", 0), failed=fleet.get("failed", 0))
    changed = any(result["written"] for result in results)
    if rc != 0:
        not_taken = ["#%s %s (%s: %s)" % (r["line"], r["target"], r["status"], r["message"])
                     for r in results if r["status"] != "uploaded"]
        module.fail_json(msg="%d of %d terminals took the program; not: %s"
                         % (summary["succeeded"], summary["targets"], "; ".join(not_taken)),
                         rc=rc, cmd=command, results=results, summary=summary, changed=changed)
    module.exit_json(changed=changed, rc=rc, cmd=command, results=results, summary=summary,
                     msg="%d of %d terminals took the program"
                     % (summary["succeeded"], summary["targets"]))


def check(module, loader, list_bytes):
    """Check mode: the loader checks the list and each program; nothing is sent."""
    scratch = tempfile.mkdtemp(prefix="vorlanth-check-", dir=module.tmpdir)
    list_path = os.path.join(scratch, "fleet.txt")
    with open(list_path, "wb") as stream:
        stream.write(list_bytes)
    command, rc, events, stderr = loader.run(loader.digest_options()
                                             + ["--check-fleet", list_path])
    fleet = [event for event in events if event.get("event") == "fleet"]
    if rc not in (0, 2) or not fleet:
        fail_without_list(module, command, rc, events, stderr, changed=False)
    bad = bad_line_results(events)
    if list_problems(events):
        module.fail_json(msg="the list is not good: %s" % "; ".join(list_problems(events)),
                         rc=rc, cmd=command, results=bad, changed=False)

    lines = target_lines(list_bytes)
    if not lines:
        module.fail_json(msg="The list names no target!", rc=rc, cmd=command, results=[],
                         changed=False)

    # What would be sent: each program's own check.
    programs = module.params["programs"] or []
    derived = [program_of(text) for _, text in lines]
    checks = {}
    for program in programs or derived:
        if program not in checks:
            _, check_rc, check_events, check_stderr = loader.run(
                loader.digest_options() + ["--check", program])
            found = [event for event in check_events if event.get("event") == "check"]
            report = dict(found[-1]) if found else dict(
                valid=False, exitCode=check_rc,
                error=dict(detail=last_message(check_events) or check_stderr.strip()))
            report.pop("event", None)
            report["program"] = program
            checks[program] = report
    failed_checks = [report for report in checks.values() if not report.get("valid")]

    bad_lines = dict((result["line"], result) for result in bad)
    results = []
    for (number, text), program in zip(lines, derived):
        if number in bad_lines:
            results.append(bad_lines[number])
            continue
        path = text.split(",")[0].strip(" ")
        report = checks.get(program) or next(
            (r for r in checks.values() if r["program"].split(",")[0] == path), {})
        if report.get("valid"):
            pieces = ("%d records" % report["records"] if report.get("records")
                      else "%d blocks" % report.get("blocks", 0))
            message = "would send %s: %d data bytes in %s" % (path, report["dataBytes"], pieces)
        else:
            message = "would send %s" % path
        result = dict(target=text, line=number, status="would upload", attempts=0, seconds=0.0,
                      bytes=report.get("dataBytes", 0), program=path, message=message,
                      written=False)
        for key in DIGEST_KEYS:
            if key in report:
                result[key] = report[key]
        results.append(result)
    summary = dict(targets=len(results), succeeded=0, failed=len(bad))
    if bad or failed_checks:
        said = ["#%d %s: %s" % (r["line"], r["target"], r["message"]) for r in bad]
        said += ["%s: %s" % (report["program"], report.get("error", {}).get("detail", "not valid"))
                 for report in failed_checks]
        module.fail_json(msg="the check found %d problem(s), nothing would be uploaded: %s"
                         % (len(said), "; ".join(said)), rc=rc, cmd=command, results=results,
                         checks=list(checks.values()), summary=summary, changed=False)
    module.exit_json(changed=True, rc=rc, cmd=command, results=results, summary=summary,
                     checks=list(checks.values()),
                     msg="%d terminals would take the program" % len(results))


def list_from_arguments(module):
    """The list's bytes, from the targets or from the list file."""
    if module.params["targets"] is not None:
        for text in module.params["targets"]:
            if re.search(r"[\r\n\x00]", text):
                module.fail_json(msg="a target is one line: %r" % text)
        return "".join(text + "\n" for text in module.params["targets"]).encode("utf-8")
    path = module.params["target_list"]
    if module.params["chdir"] and not os.path.isabs(path):
        path = os.path.join(module.params["chdir"], path)
    try:
        with open(path, "rb") as stream:
            return stream.read(MOST_LIST_BYTES + 1)
    except (IOError, OSError) as error:
        module.fail_json(msg="%s: %s" % (path, to_native(error.strerror or error)))


def main():
    module = AnsibleModule(
        argument_spec=dict(
            targets=dict(type="list", elements="str"),
            target_list=dict(type="path"),
            programs=dict(type="list", elements="str"),
            chdir=dict(type="path"),
            jobs=dict(type="int"),
            retries=dict(type="int"),
            expected_sha256=dict(type="str"),
            environment=dict(type="dict", default={}),
            vorlanth_cli=dict(type="str", default="vorlanth-cli"),
        ),
        required_one_of=[("targets", "target_list")],
        mutually_exclusive=[("targets", "target_list")],
        supports_check_mode=True,
    )
    expected = module.params["expected_sha256"]
    if expected is not None and not re.match(r"^[0-9A-Fa-f]{64}$", expected):
        module.fail_json(msg="expected_sha256 takes 64 hexadecimal digits, not %r" % expected)
    for key in module.params["environment"]:
        if not re.match(r"^[A-Za-z_][A-Za-z0-9_]*$", key):
            module.fail_json(msg="environment: %r is not the name of a variable" % key)
    if module.params["chdir"] and not os.path.isdir(module.params["chdir"]):
        module.fail_json(msg="chdir: %s is not a folder" % module.params["chdir"])
    loader = Loader(module)

    if module.check_mode:
        check(module, loader, list_from_arguments(module))
    if module.params["targets"] is not None:
        list_path = os.path.join(tempfile.mkdtemp(prefix="vorlanth-", dir=module.tmpdir),
                                 "fleet.txt")
        with open(list_path, "wb") as stream:
            stream.write(list_from_arguments(module))
    else:
        # The loader reads the list itself: a FIFO or a pipe stays one.
        list_path = module.params["target_list"]
    upload(module, loader, list_path)


if __name__ == "__main__":
    main()
