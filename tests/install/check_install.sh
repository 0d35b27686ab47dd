#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the layout, and builds a
# separate project against it with find_package(orrery).
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/orrery-install-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
for path in bin/orrery bin/orrery-hub "$libdir/liborrery_core.a" "$libdir/liborrery_net.a" \
            "$libdir/cmake/orrery/orreryConfig.cmake" share/doc/orrery/README.md \
            include/orrery/store/object.h include/orrery/net/sync_protocol.h; do
  [[ -e "$work/prefix/$path" ]] || { echo "missing after install: $path" >&2; exit 1; }
done
# Only the library's interface is installed, and it stands on its own: every
# header compiles with nothing but the installed ones.
for path in include/orrery/cli include/orrery/worktree; do
  [[ ! -e "$work/prefix/$path" ]] || { echo "installed but private: $path" >&2; exit 1; }
done
if grep -rq orrery_warnings "$work/prefix/$libdir/cmake/orrery"; then
  echo "the package exports the warnings target" >&2
  exit 1
fi
for header in $(cd "$work/prefix/include/orrery" && find . -name '*.h' | sort); do
  echo "#include \"${header#./}\"" | c++ -std=c++20 -fsyntax-only -I "$work/prefix/include/orrery" \
    -x c++ - || { echo "does not compile alone: $header" >&2; exit 1; }
done
cmake -S "$source_dir/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
expected=$(python3 -c 'import hashlib; print(hashlib.sha256(b"blob 5\0hello").hexdigest())')
actual=$("$work/consumer/consumer")
[[ "$actual" == "$expected" ]] || { echo "consumer printed $actual, expected $expected" >&2; exit 1; }
"$work/prefix/bin/orrery" help >/dev/null
