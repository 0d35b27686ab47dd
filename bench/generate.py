#!/usr/bin/env python3
"""The one generator of benchmark inputs: the same bytes on every run, every
machine and every Python version (a private xorshift generator, no random
module).

    bench/generate.py tree DIR     the 10,000-file working tree
    bench/generate.py modify DIR   edit 100 files of that tree in place
    bench/generate.py lines DIR    DIR/old.txt (100,000 lines) and DIR/new.txt

bench/run imports it and also uses history_commits() for the log workload
and blame_versions() for the blame workload.

The tree holds 10,000 source-like text files (about 50 MB) in 521 nested
directories, three levels deep (8, 8x8 and 8x8x7 directories) with files
in every directory, so scans see both wide and nested directories. File
sizes follow a skewed distribution (most a few KB, a few near 30 KB) and
the lines come from a pool of source-like lines, so compression does
realistic work. `modify` rewrites three lines and appends one in each of
100 files spread evenly over the tree (every size changes). The line pair
is a file of code-like lines, about one in six a common one ("}", a blank
line, ...), and a copy with 1% of its lines changed in scattered places:
each place rewritten, removed, or preceded by an inserted line.
"""

import os
import sys

FILE_COUNT = 10_000
MODIFIED_FILES = 100
LINE_COUNT = 100_000
WORDS = (
    "return if else for while const auto static int char void struct class "
    "namespace std string vector map size_t uint64_t begin end push_back emplace "
    "read write open close path index tree commit blob object status branch "
    "upstream merge rebase stash hash compress inflate deflate buffer stream "
    "error result value count offset length config remote fetch push pull"
).split()
COMMON_LINES = ["", "}", "  }", "    }", "  return 0;", "    break;", "  else {", "#endif"]


class XorShift:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFFFFFFFFFF
        x ^= x >> 7
        x ^= (x << 17) & 0xFFFFFFFFFFFFFFFF
        self.state = x
        return x

    def below(self, n):
        return self.next() % n


# --- the working tree ---------------------------------------------------------

def directories():
    dirs = [""]
    for a in range(8):
        top = f"mod{a}"
        dirs.append(top)
        for b in range(8):
            mid = f"{top}/pkg{b}"
            dirs.append(mid)
            for c in range(7):
                dirs.append(f"{mid}/part{c}")
    return dirs


def file_path(serial, dirs):
    name = f"file{serial:05d}.{('c', 'h', 'txt', 'md')[serial % 4]}"
    d = dirs[serial % len(dirs)]
    return f"{d}/{name}" if d else name


def source_line(rng):
    indent = "  " * rng.below(4)
    words = [WORDS[rng.below(len(WORDS))] for _ in range(2 + rng.below(9))]
    return indent + " ".join(words) + ";\n"


def file_size(rng):
    # Mostly 1-7 KB with a tail to 31 KB: the mean is close to 5 KB.
    size = 1024 + rng.below(6 * 1024)
    if rng.below(10) == 0:
        size += rng.below(24 * 1024)
    return size


def file_text(rng, pool, serial):
    target = file_size(rng)
    parts = [f"// file {serial}\n"]
    length = len(parts[0])
    while length < target:
        line = pool[rng.below(len(pool))]
        if rng.below(8) == 0:
            line = line[:-2] + f" {rng.below(100000)};\n"
        parts.append(line)
        length += len(line)
    return "".join(parts)


def write_tree(root):
    """Writes the tree under root; returns (files, directories, bytes)."""
    rng = XorShift(0x0DDBA11)
    pool = [source_line(rng) for _ in range(4000)]
    dirs = directories()
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    total = 0
    for serial in range(FILE_COUNT):
        text = file_text(rng, pool, serial).encode()
        with open(os.path.join(root, file_path(serial, dirs)), "wb") as out:
            out.write(text)
        total += len(text)
    return FILE_COUNT, len(dirs), total


def modified_paths(offset=7, count=None):
    """The files modify_tree edits (MODIFIED_FILES when count is None), spread
    evenly over the tree. Other offsets below the spacing (FILE_COUNT //
    count) give disjoint sets."""
    count = MODIFIED_FILES if count is None else count
    dirs = directories()
    step = FILE_COUNT // count
    return [file_path(serial, dirs) for serial in range(offset, FILE_COUNT, step)]


def modify_tree(root, paths=None, seed=0xED17):
    """Rewrites three lines of each file of paths (modified_paths() when
    None) and appends one."""
    rng = XorShift(seed)
    for path in modified_paths() if paths is None else paths:
        full = os.path.join(root, path)
        with open(full, "rb") as src:
            lines = src.read().decode().splitlines(keepends=True)
        for _ in range(3):
            lines[1 + rng.below(len(lines) - 1)] = source_line(rng)
        lines.append(source_line(rng))
        with open(full, "wb") as out:
            out.write("".join(lines).encode())


# --- the line pair --------------------------------------------------------------

def code_line(rng):
    if rng.below(100) < 16:
        return COMMON_LINES[rng.below(len(COMMON_LINES))]
    indent = " " * (2 * (1 + rng.below(4)))
    left = f"{WORDS[rng.below(len(WORDS))]}_{rng.below(1000000)}"
    call = f"{WORDS[rng.below(len(WORDS))]}({rng.below(1000)}, {WORDS[rng.below(len(WORDS))]})"
    return f"{indent}{left} = {call};"


def write_line_pair(out_dir):
    """Writes out_dir/old.txt and out_dir/new.txt; returns their paths."""
    rng = XorShift(0x11E5)
    old = [code_line(rng) for _ in range(LINE_COUNT)]
    new = []
    for line in old:
        if rng.below(100) != 0:  # 1% of the places change
            new.append(line)
            continue
        kind = rng.below(4)
        if kind < 2:
            new.append(code_line(rng))  # rewritten
        elif kind == 2:
            new.extend([code_line(rng), line])  # a line inserted before
        # else: removed
    os.makedirs(out_dir, exist_ok=True)
    paths = []
    for name, lines in (("old.txt", old), ("new.txt", new)):
        path = os.path.join(out_dir, name)
        with open(path, "wb") as out:
            out.write("".join(line + "\n" for line in lines).encode())
        paths.append(path)
    return paths


# --- the history ----------------------------------------------------------------

def history_commits(count):
    """(message, timestamp) of each commit of the linear history, oldest first."""
    return [(f"commit number {i}\n\nbody of {i}", 1700000000 + i) for i in range(count)]


def blame_versions(count):
    """The texts of one file over count commits, oldest first: 1,000 lines,
    then in each commit three lines rewritten and one inserted."""
    rng = XorShift(0xB1A3E)
    lines = [source_line(rng) for _ in range(1000)]
    versions = []
    for _ in range(count):
        versions.append("".join(lines))
        for _ in range(3):
            lines[rng.below(len(lines))] = source_line(rng)
        lines.insert(rng.below(len(lines) + 1), source_line(rng))
    return versions


def main():
    actions = {"tree": write_tree, "modify": modify_tree, "lines": write_line_pair}
    if len(sys.argv) != 3 or sys.argv[1] not in actions:
        sys.exit("usage: generate.py tree|modify|lines DIR")
    result = actions[sys.argv[1]](sys.argv[2])
    if sys.argv[1] == "tree":
        print("%d files in %d directories, %d bytes" % result)


if __name__ == "__main__":
    main()
