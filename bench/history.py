#!/usr/bin/env python3
"""Times orrery against git on history workloads.

  log      `log --oneline` over a linear history of 5,000 commits
  checkout switching between two commits that differ in 100 of 10,000 files

Both repositories are generated directly (orrery's objects with hashlib,
zlib and json, git's through fast-import), so setting up costs seconds, not
thousands of process runs. git runs single-threaded. Each figure is the
median of five runs; the ratio is orrery's median over git's.

    bench/history.py [--orrery build/orrery] [--only log|checkout]
"""

import argparse
import hashlib
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

GIT = ["git", "-c", "core.preloadIndex=false", "-c", "index.threads=1",
       "-c", "core.untrackedCache=false", "-c", "core.fsmonitor=false",
       "-c", "gc.auto=0", "-c", "advice.detachedHead=false"]
RUNS = 5
EPOCH_1601 = 11644473600


def dumps(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=False)


class OrreryStore:
    """Writes loose objects the way orrery stores them."""

    def __init__(self, root):
        self.root = root
        self.made = set()

    def put(self, kind, content):
        raw = f"{kind} {len(content)}\0".encode() + content
        oid = hashlib.sha256(raw).hexdigest()
        folder = os.path.join(self.root, ".orrery", "objects", oid[:2])
        if folder not in self.made:
            os.makedirs(folder, exist_ok=True)
            self.made.add(folder)
        path = os.path.join(folder, oid[2:])
        if not os.path.exists(path):
            with open(path, "wb") as out:
                out.write(zlib.compress(raw, 9))
        return oid

    def tree(self, entries):
        entries = sorted(entries, key=lambda e: e["path"].encode())
        return self.put("tree", dumps(entries).encode())

    def commit(self, tree, parent, message, timestamp):
        body = {"author": "bench", "message": message, "timestamp": timestamp, "tree": tree}
        if parent:
            body["parent"] = parent
            body["parents"] = [parent]
        return self.put("commit", dumps(body).encode())


def run(args, cwd, stdin=None):
    subprocess.run(args, cwd=cwd, input=stdin, check=True, stdout=subprocess.DEVNULL)


def median_seconds(args, cwd, runs=RUNS, alternate=None):
    # Setting up leaves thousands of dirty pages; let them reach the disk
    # first, and warm the caches with one untimed run of the same kind.
    os.sync()
    warm = args if alternate is None else args + [alternate[1]]
    subprocess.run(warm, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    times = []
    for i in range(runs):
        command = args if alternate is None else args + [alternate[i % 2]]
        start = time.perf_counter()
        subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def orrery_init(orrery, root):
    os.makedirs(root)
    run([orrery, "init"], root)


# --- log --------------------------------------------------------------------

def make_log_repos(orrery, work, count):
    ours = os.path.join(work, "log-orrery")
    orrery_init(orrery, ours)
    store = OrreryStore(ours)
    tree = store.tree([{"hash": store.put("blob", b"bench\n"), "mode": "100644",
                        "path": "README", "type": "blob"}])
    parent = None
    for i in range(count):
        parent = store.commit(tree, parent, f"commit number {i}\n\nbody of {i}", 1700000000 + i)
    with open(os.path.join(ours, ".orrery", "refs", "heads", "main"), "w") as out:
        out.write(parent + "\n")

    theirs = os.path.join(work, "log-git")
    run(GIT + ["init", "-q", "-b", "main", theirs], work)
    stream = []
    for i in range(count):
        message = f"commit number {i}\n\nbody of {i}".encode()
        stream.append(b"commit refs/heads/main\n")
        stream.append(f"committer bench <bench@example.invalid> {1700000000 + i} +0000\n".encode())
        stream.append(f"data {len(message)}\n".encode() + message + b"\n")
        if i == 0:
            stream.append(b"M 644 inline README\ndata 6\nbench\n")
        stream.append(b"\n")
    run(GIT + ["fast-import", "--quiet"], theirs, stdin=b"".join(stream))
    return ours, theirs


def bench_log(orrery, work):
    ours, theirs = make_log_repos(orrery, work, 5000)
    lines = subprocess.run([orrery, "log", "--oneline"], cwd=ours, check=True,
                           capture_output=True).stdout.count(b"\n")
    assert lines == 5000, lines
    mine = median_seconds([orrery, "log", "--oneline"], ours)
    packed = median_seconds(GIT + ["log", "--oneline"], theirs)
    # The same history as loose objects, which is how orrery holds it.
    loose = os.path.join(work, "log-git-loose")
    run(GIT + ["init", "-q", "-b", "main", loose], work)
    pack = next(p for p in os.listdir(os.path.join(theirs, ".git/objects/pack")) if p.endswith(".pack"))
    with open(os.path.join(theirs, ".git/objects/pack", pack), "rb") as data:
        run(GIT + ["unpack-objects", "-q"], loose, stdin=data.read())
    run(GIT + ["update-ref", "refs/heads/main",
               subprocess.run(GIT + ["rev-parse", "main"], cwd=theirs, check=True,
                              capture_output=True, text=True).stdout.strip()], loose)
    unpacked = median_seconds(GIT + ["log", "--oneline"], loose)
    report("log --oneline, 5,000 commits (git packed)", mine, packed)
    report("log --oneline, 5,000 commits (git loose)", mine, unpacked)
    # Both packed: orrery after gc against git after fast-import.
    run([orrery, "gc"], ours)
    report("log --oneline, 5,000 commits (both packed)",
           median_seconds([orrery, "log", "--oneline"], ours), packed)


# --- checkout -----------------------------------------------------------------

def file_content(index, version):
    return f"file {index} version {version}\n".encode() * 8


def paths(count):
    return [f"dir{i // 100:03d}/file{i % 100:03d}.txt" for i in range(count)]


def orrery_tree(store, files):
    """files: path -> blob id; returns the root tree id."""
    dirs = {}
    for path, oid in files.items():
        folder, name = path.split("/")
        dirs.setdefault(folder, []).append({"hash": oid, "mode": "100644", "path": name, "type": "blob"})
    root = [{"hash": store.tree(entries), "mode": "40000", "path": folder, "type": "tree"}
            for folder, entries in dirs.items()]
    return store.tree(root)


def make_checkout_repos(orrery, work, count, changed):
    names = paths(count)
    first = {p: file_content(i, 1) for i, p in enumerate(names)}
    second = dict(first)
    for i in range(0, count, count // changed):
        second[names[i]] = file_content(i, 2)

    ours = os.path.join(work, "co-orrery")
    orrery_init(orrery, ours)
    store = OrreryStore(ours)
    ids_first = {p: store.put("blob", c) for p, c in first.items()}
    ids_second = {p: store.put("blob", c) for p, c in second.items()}
    c1 = store.commit(orrery_tree(store, ids_first), None, "first", 1700000000)
    c2 = store.commit(orrery_tree(store, ids_second), c1, "second", 1700000001)
    heads = os.path.join(ours, ".orrery", "refs", "heads")
    for branch, oid in (("main", c1), ("topic", c2)):
        with open(os.path.join(heads, branch), "w") as out:
            out.write(oid + "\n")
    entries = {}
    for path, content in first.items():
        full = os.path.join(ours, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content)
        st = os.stat(full)
        entries[path] = {"hash": ids_first[path], "mode": 33188,
                         "mtime": int(st.st_mtime) + EPOCH_1601, "size": st.st_size}
    # Staged a moment before the index was written, as add leaves it.
    time.sleep(1.1)
    with open(os.path.join(ours, ".orrery", "index"), "w") as out:
        json.dump({"entries": entries, "version": 2}, out, indent=2, sort_keys=True)

    theirs = os.path.join(work, "co-git")
    run(GIT + ["init", "-q", "-b", "main", theirs], work)
    for path, content in first.items():
        full = os.path.join(theirs, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(content)
    run(GIT + ["add", "-A"], theirs)
    run(GIT + ["-c", "user.name=bench", "-c", "user.email=b@example.invalid", "commit", "-qm", "first"], theirs)
    run(GIT + ["checkout", "-q", "-b", "topic"], theirs)
    for path, content in second.items():
        if content != first[path]:
            with open(os.path.join(theirs, path), "wb") as out:
                out.write(content)
    run(GIT + ["-c", "user.name=bench", "-c", "user.email=b@example.invalid", "commit", "-qam", "second"], theirs)
    run(GIT + ["checkout", "-q", "main"], theirs)
    return ours, theirs, second


def bench_checkout(orrery, work):
    ours, theirs, second = make_checkout_repos(orrery, work, 10000, 100)
    mine = median_seconds([orrery, "checkout"], ours, alternate=["topic", "main"])
    git = median_seconds(GIT + ["checkout", "-q"], theirs, alternate=["topic", "main"])
    # An odd number of runs ends on topic: every file must hold its content.
    for path, content in second.items():
        with open(os.path.join(ours, path), "rb") as data:
            assert data.read() == content, path
    report("checkout, 100 of 10,000 files differ", mine, git)


def report(name, mine, git):
    print(f"{name:45s} orrery {mine * 1000:8.1f} ms   git {git * 1000:8.1f} ms   ratio {mine / git:5.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--orrery", default=os.path.join(here, "..", "build", "orrery"))
    parser.add_argument("--only", choices=["log", "checkout"])
    options = parser.parse_args()
    orrery = os.path.abspath(options.orrery)
    work = tempfile.mkdtemp(prefix="orrery-bench-")
    try:
        if options.only in (None, "log"):
            bench_log(orrery, work)
        if options.only in (None, "checkout"):
            bench_checkout(orrery, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
