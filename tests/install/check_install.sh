#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the layout, and builds a
# separate project against it with find_package(orrery).
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/orrery-install-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
for path in bin/orrery bin/orrery-hub lib/liborrery_core.a lib/liborrery_net.a \
            lib/cmake/orrery/orreryConfig.cmake share/doc/orrery/README.md; do
  [[ -e "$work/prefix/$path" ]] || { echo "missing after install: $path" >&2; exit 1; }
done
cmake -S "$source_dir/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
expected=$(python3 -c 'import hashlib; print(hashlib.sha256(b"blob 5\0hello").hexdigest())')
actual=$("$work/consumer/consumer")
[[ "$actual" == "$expected" ]] || { echo "consumer printed $actual, expected $expected" >&2; exit 1; }
"$work/prefix/bin/orrery" help >/dev/null
