#!/usr/bin/env python3
"""Writes a working tree of small source-like files, or edits some of them:
the input of the working-tree benchmarks.

    bench/gen_tree.py DIR [--files 10000] [--seed 1]            create the tree
    bench/gen_tree.py DIR --modify 100 [--files 10000] [--seed 1]  edit files

The tree holds --files files of 20 to 80 lines (about 1-3 KB), 100 to a
directory, two levels deep (d00/d00/f0000.c ...). --modify N rewrites a few
lines in each of N files spread evenly over the tree. The same arguments
always give the same bytes.
"""

import argparse
import os
import random

WORDS = ["count", "index", "value", "buffer", "name", "offset", "result", "entry", "node", "size"]


def make_line(rng):
    if rng.random() < 0.16:
        return rng.choice(["", "}", "  return 0;", "    break;"])
    word = rng.choice(WORDS)
    return f"  {word}_{rng.randrange(100000)} = {rng.choice(WORDS)}({rng.randrange(1000)});"


def file_path(root, number):
    return os.path.join(root, f"d{number // 1000:02d}", f"d{number // 100 % 10:02d}",
                        f"f{number:05d}.c")


def create(root, files, seed):
    for number in range(files):
        rng = random.Random(seed * 1000003 + number)
        path = file_path(root, number)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        lines = [make_line(rng) for _ in range(rng.randint(20, 80))]
        with open(path, "w") as out:
            out.write("\n".join(lines) + "\n")


def modify(root, files, count, seed):
    step = max(1, files // count)
    for number in range(0, step * count, step):
        rng = random.Random(seed * 7919 + number)
        path = file_path(root, number)
        with open(path) as src:
            lines = src.read().split("\n")[:-1]
        for _ in range(3):
            lines[rng.randrange(len(lines))] = make_line(rng)
        lines.insert(rng.randrange(len(lines)), make_line(rng))
        with open(path, "w") as out:
            out.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir")
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--modify", type=int, default=0)
    args = parser.parse_args()
    if args.modify:
        modify(args.dir, args.files, args.modify, args.seed)
    else:
        create(args.dir, args.files, args.seed)


if __name__ == "__main__":
    main()
