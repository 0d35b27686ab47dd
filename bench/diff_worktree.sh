#!/usr/bin/env bash
# orrery diff against git diff on the same work: a 10,000-file tree with 100
# files edited since they were staged, the patch written to /dev/null. git
# runs single-threaded and without its caches and monitors, so both do the
# work on one core. Each command runs once to warm the page cache, then five
# times; the script prints every run (wall-clock and processor time, which a
# busy machine disturbs less), the medians and their ratios.
#
#   bench/diff_worktree.sh [BUILD_DIR] [ARGS...]  (default: build; ARGS go to
#                                                  both diff commands)
set -euo pipefail

cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
orrery=$PWD/$build_dir/orrery
stage=$PWD/$build_dir/bench/stage_tree
for program in "$orrery" "$stage"; do
  if [[ ! -x $program ]]; then
    echo "diff_worktree.sh: $program is missing; build it with: cmake --build $build_dir" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/gen_tree.py "$work/orrery" --files 10000
cp -r "$work/orrery" "$work/git"
# Files written in the same second as the git index would count as racily
# clean and be read on every run; a pause spares git that.
sleep 1.1
(cd "$work/orrery" && "$orrery" init >/dev/null && "$stage" . >/dev/null)
git_cmd=(git -c core.preloadIndex=false -c index.threads=1 -c core.untrackedCache=false
  -c core.fsmonitor=false)
(cd "$work/git" && git init -q && git add -A && "${git_cmd[@]}" -c user.name=b -c user.email=b@b \
  commit -q -m tree)
python3 bench/gen_tree.py "$work/orrery" --files 10000 --modify 100
python3 bench/gen_tree.py "$work/git" --files 10000 --modify 100

changed=$(cd "$work/orrery" && "$orrery" diff --name-only | wc -l || true)
if [[ $changed -ne 100 ]]; then
  echo "diff_worktree.sh: orrery diff lists $changed files, not 100" >&2
  exit 1
fi

orrery_cmd=("$orrery" diff "$@")
git_diff=("${git_cmd[@]}" diff "$@")
# Runs each command once to warm the page cache, then five times, in its own
# tree, measuring wall-clock and processor (user + system) time of each run.
python3 - "$work" "${#orrery_cmd[@]}" "${orrery_cmd[@]}" "${git_diff[@]}" <<'PY'
import os, resource, statistics, subprocess, sys, time

work, count = sys.argv[1], int(sys.argv[2])
commands = {"orrery": sys.argv[3:3 + count], "git": sys.argv[3 + count:]}

def run(tool):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(commands[tool], cwd=os.path.join(work, tool), stdout=subprocess.DEVNULL)
    wall = (time.perf_counter() - start) * 1e3
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1e3
    return wall, cpu

medians = {}
for tool in commands:
    run(tool)
    runs = [run(tool) for _ in range(5)]
    print(f"{tool}: " + " ".join(f"{w:.1f}/{c:.1f}" for w, c in runs) + " (ms wall/processor)")
    medians[tool] = [statistics.median(r[i] for r in runs) for i in (0, 1)]
o, g = medians["orrery"], medians["git"]
print(f"median of 5: orrery {o[0]:.1f} ms wall, {o[1]:.1f} ms processor; "
      f"git {g[0]:.1f} ms wall, {g[1]:.1f} ms processor; "
      f"orrery/git {o[0] / g[0]:.2f} wall, {o[1] / g[1]:.2f} processor")
PY
