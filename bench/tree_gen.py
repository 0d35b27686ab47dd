#!/usr/bin/env python3
"""Writes the benchmark working tree: 10,000 text files in 521 nested
directories, about 50 MB, the same bytes on every run and every machine.

    bench/tree_gen.py <empty or missing directory>

The layout is three levels deep (8, 8x8 and 8x8x7 directories) with files
in every directory, so scans see both wide and nested directories. File
sizes follow a skewed distribution (most files a few KB, a few near 30 KB)
and the text is made of source-like lines, so compression does realistic
work. A private xorshift generator keeps the output independent of the
Python version.
"""

import os
import sys

FILE_COUNT = 10_000
WORDS = (
    "return if else for while const auto static int char void struct class "
    "namespace std string vector map size_t uint64_t begin end push_back emplace "
    "read write open close path index tree commit blob object status branch "
    "upstream merge rebase stash hash compress inflate deflate buffer stream "
    "error result value count offset length config remote fetch push pull"
).split()


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


def line_pool(rng, count):
    pool = []
    for _ in range(count):
        indent = "  " * rng.below(4)
        words = [WORDS[rng.below(len(WORDS))] for _ in range(2 + rng.below(9))]
        pool.append(indent + " ".join(words) + ";\n")
    return pool


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


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: tree_gen.py <directory>")
    root = sys.argv[1]
    rng = XorShift(0x0DDBA11)
    pool = line_pool(rng, 4000)
    dirs = directories()
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    total = 0
    for serial in range(FILE_COUNT):
        d = dirs[serial % len(dirs)]
        name = f"file{serial:05d}.{('c', 'h', 'txt', 'md')[serial % 4]}"
        text = file_text(rng, pool, serial).encode()
        with open(os.path.join(root, d, name), "wb") as out:
            out.write(text)
        total += len(text)
    print(f"{FILE_COUNT} files in {len(dirs)} directories, {total} bytes")


if __name__ == "__main__":
    main()
