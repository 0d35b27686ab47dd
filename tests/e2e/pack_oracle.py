#!/usr/bin/env python3
"""An independent reader and writer of the object and pack formats.

  pack_oracle.py write <repo> <text>...   stores each text as a loose blob
  pack_oracle.py check <repo>             verifies every pack under .orrery/packs

check rebuilds every object of every pack, compares it with its id (SHA-256 of
the canonical bytes) and with its loose file when one exists, re-derives the
delta decision from the previous record, and compares the index byte for byte
with what the records imply. It prints one line per pack:
"<name>: objects=N full=F delta=D", or a reason on stderr and exit 1.
"""
import hashlib
import json
import os
import sys
import zlib


def loose_path(repo, oid):
    return os.path.join(repo, ".orrery", "objects", oid[:2], oid[2:])


def write_blobs(repo, texts):
    for text in texts:
        content = text.encode()
        canonical = b"blob %d\0" % len(content) + content
        oid = hashlib.sha256(canonical).hexdigest()
        os.makedirs(os.path.dirname(loose_path(repo, oid)), exist_ok=True)
        with open(loose_path(repo, oid), "wb") as f:
            f.write(zlib.compress(canonical, 9))


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def common_prefix(a, b):
    n = 0
    for x, y in zip(a, b):
        if x != y:
            break
        n += 1
    return n


def check_pack(repo, name):
    data = open(os.path.join(repo, ".orrery", "packs", name + ".pack"), "rb").read()
    index_text = open(os.path.join(repo, ".orrery", "packs", name + ".idx.json"), "rb").read()
    expected, pos, prev_id, prev_raw = {}, 0, None, None
    counts = {"full": 0, "delta": 0}
    while pos < len(data):
        end = data.index(b"\n", pos)
        fields = data[pos:end].decode().split(" ")
        start = end + 1
        if fields[0] == "F":
            _, oid, clen, rlen = fields
            stored = data[start:start + int(clen)]
            raw = zlib.decompress(stored)
            if len(raw) != int(rlen):
                fail(oid + ": raw length")
            loose = loose_path(repo, oid)
            if os.path.exists(loose) and open(loose, "rb").read() != stored:
                fail(oid + ": stored bytes differ from the loose file")
            entry = {"compressed": int(clen), "offset": pos, "raw": int(rlen), "type": "full"}
            next_pos = start + int(clen)
        elif fields[0] == "D":
            _, oid, base, plen, slen = fields
            if base != prev_id:
                fail(oid + ": base is not the previous record")
            raw = prev_raw[:int(plen)] + data[start:start + int(slen)]
            entry = {"base": base, "offset": pos, "prefix": int(plen), "suffix": int(slen),
                     "type": "delta"}
            next_pos = start + int(slen)
        else:
            fail("unknown record at %d" % pos)
        if hashlib.sha256(raw).hexdigest() != oid:
            fail(oid + ": content does not match its id")
        prefix = common_prefix(prev_raw, raw) if prev_raw is not None else 0
        want_delta = prefix >= 64 and len(raw) - prefix + 128 < len(raw)
        if want_delta != (fields[0] == "D"):
            fail(oid + ": delta rule broken (prefix %d, raw %d)" % (prefix, len(raw)))
        counts[entry["type"]] += 1
        expected[oid] = entry
        pos, prev_id, prev_raw = next_pos, oid, raw
    if pos != len(data):
        fail("trailing bytes")
    if index_text != json.dumps(expected, indent=2, sort_keys=True).encode():
        fail(name + ": index differs")
    print("%s: objects=%d full=%d delta=%d" % (name, len(expected), counts["full"],
                                              counts["delta"]))


def main():
    command, repo = sys.argv[1], sys.argv[2]
    if command == "write":
        write_blobs(repo, sys.argv[3:])
        return
    names = sorted(f[:-len(".pack")] for f in os.listdir(os.path.join(repo, ".orrery", "packs"))
                   if f.endswith(".pack"))
    for name in names:
        check_pack(repo, name)


main()
