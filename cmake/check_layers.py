#!/usr/bin/env python3
"""Checks every #include of the product code against the layer table (cmake/layers.txt).

Usage: check_layers.py [--root DIR] [--table FILE]
Prints one line per include the table does not allow (file:line: what and why) and exits 1
when there is any; exits 0 and prints a one-line summary when the code keeps to the table.
"""
import argparse
import os
import re
import sys

# The C++ library's own headers; any other <header> is an OS or toolkit header.
STANDARD_HEADERS = set("""
algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable
coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar
cwctype deque exception execution expected filesystem format forward_list fstream functional
future initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale
map memory memory_resource mutex new numbers numeric optional ostream queue random ranges
ratio regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector
version
""".split())

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
OS_TEST = re.compile(r'^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__APPLE__|'
                     r'__unix__|_MSC_VER|__MINGW32__|__MINGW64__)\b')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def read_table(path):
    """Returns (allowed, generated, outside, problems): allowed maps folder -> set of words."""
    allowed, generated, outside, problems = {}, set(), set(), []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if ":" not in line:
                problems.append(f"{path}:{number}: expected 'folder: folders it may include'")
                continue
            folder, words = line.split(":", 1)
            folder, words = folder.strip(), set(words.split())
            if folder == "generated":
                generated |= words
            elif folder == "outside":
                outside |= words
            elif folder in allowed:
                problems.append(f"{path}:{number}: {folder} is listed twice")
            else:
                allowed[folder] = words
    return allowed, generated, outside, problems


def table_cycles(allowed):
    """Every cycle of may-include edges between table folders, each as a list of folders."""
    cycles, state = [], {}

    def visit(folder, trail):
        state[folder] = "open"
        for target in sorted(allowed.get(folder, ())):
            if target not in allowed:
                continue
            if state.get(target) == "open":
                cycles.append(trail[trail.index(target):] + [target])
            elif target not in state:
                visit(target, trail + [target])
        state[folder] = "done"

    for folder in sorted(allowed):
        if folder not in state:
            visit(folder, [folder])
    return cycles


def owner(path, folders):
    """The table folder a path belongs to: the longest folder that is a prefix of it."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def check(root, table_path):
    allowed, generated, outside, problems = read_table(table_path)
    for cycle in table_cycles(allowed):
        problems.append(f"{table_path}: layers include each other: {' -> '.join(cycle)}")
    folders = set(allowed)
    checked = 0
    for directory, subdirectories, files in os.walk(root):
        relative_directory = os.path.relpath(directory, root).replace(os.sep, "/")
        top = relative_directory.split("/")[0]
        if relative_directory != "." and (top.startswith(".") or owner(relative_directory, outside)):
            subdirectories[:] = []
            continue
        subdirectories.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            relative = name if relative_directory == "." else f"{relative_directory}/{name}"
            folder = owner(relative, folders)
            if folder is None:
                problems.append(f"{relative}: in no folder of the layer table")
                continue
            checked += 1
            problems += check_file(root, relative, folder, allowed, generated)
    return checked, problems


def check_file(root, relative, folder, allowed, generated):
    problems = []
    words = allowed[folder]
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            where = f"{relative}:{number}"
            if OS_TEST.match(line) and "system" not in words:
                problems.append(f"{where}: asks which OS it is; only platform folders may")
            found = INCLUDE.match(line)
            if not found:
                continue
            kind, name = found.groups()
            if kind == "<":
                if name not in STANDARD_HEADERS and "system" not in words:
                    problems.append(f"{where}: <{name}> is an OS or toolkit header; "
                                    f"{folder}/ may include only the C++ library")
                continue
            if "/" not in name:
                continue  # a file beside this one
            top = name.split("/")[0]
            target = owner(name, set(allowed)) or (top if top in generated else None)
            if target is None:
                problems.append(f"{where}: \"{name}\" is in no folder of the layer table")
            elif target != folder and target not in words:
                problems.append(f"{where}: {folder}/ may not include \"{name}\" ({target}/ is "
                                f"not below it in the layer table)")
    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.dirname(here))
    parser.add_argument("--table", default=os.path.join(here, "layers.txt"))
    arguments = parser.parse_args()
    checked, problems = check(arguments.root, arguments.table)
    for problem in problems:
        print(problem)
    if problems:
        print(f"layer check: {len(problems)} problem(s) in {checked} files")
        return 1
    print(f"layer check: {checked} files keep to {os.path.relpath(arguments.table, arguments.root)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
