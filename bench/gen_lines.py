#!/usr/bin/env python3
"""Writes a text file of source-like lines and a copy with a share of its
lines changed in scattered places: the input of the line diff benchmark.

    bench/gen_lines.py OUT_DIR [--lines 100000] [--percent 1] [--seed 1]

Creates OUT_DIR/old.txt and OUT_DIR/new.txt. The same arguments always give
the same bytes. About one line in six is a common one ("}", a blank line, a
return), so equal lines recur as they do in real code; the rest are nearly
always distinct. Each changed place is, at random, a line rewritten in place,
a line removed or a new line inserted.
"""

import argparse
import os
import random

COMMON_LINES = ["", "}", "  }", "    }", "  return 0;", "    break;", "  else {", "#endif"]
WORDS = ["count", "index", "value", "buffer", "name", "offset", "result", "entry", "node", "size"]


def make_line(rng):
    if rng.random() < 0.16:
        return rng.choice(COMMON_LINES)
    indent = " " * (2 * rng.randint(1, 4))
    left = f"{rng.choice(WORDS)}_{rng.randrange(1000000)}"
    call = f"{rng.choice(WORDS)}({rng.randrange(1000)}, {rng.choice(WORDS)})"
    return f"{indent}{left} = {call};"


def edit(lines, rng, percent):
    places = set(rng.sample(range(len(lines)), len(lines) * percent // 100))
    edited = []
    for i, line in enumerate(lines):
        if i not in places:
            edited.append(line)
            continue
        kind = rng.random()
        if kind < 0.5:
            edited.append(make_line(rng))
        elif kind < 0.75:
            edited.append(make_line(rng))
            edited.append(line)
        # otherwise the line is dropped
    return edited


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--lines", type=int, default=100000)
    parser.add_argument("--percent", type=int, default=1)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    old = [make_line(rng) for _ in range(args.lines)]
    new = edit(old, rng, args.percent)
    os.makedirs(args.out_dir, exist_ok=True)
    for name, lines in (("old.txt", old), ("new.txt", new)):
        with open(os.path.join(args.out_dir, name), "w", newline="\n") as out:
            out.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
