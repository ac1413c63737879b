#!/usr/bin/env bash
# Builds every build type (Debug, Release, RelWithDebInfo, MinSizeRel) with GCC and with clang, warnings as errors,
# each into build-types/COMPILER-TYPE/. Arguments narrow it: scripts/build-types.sh gcc Release
set -euo pipefail
cd "$(dirname "$0")/.."

compilers=(gcc clang)
types=(Debug Release RelWithDebInfo MinSizeRel)
[ $# -ge 1 ] && compilers=("$1")
[ $# -ge 2 ] && types=("$2")
for compiler in "${compilers[@]}"; do
  case "$compiler" in
    gcc) cc=gcc cxx=g++ ;;
    clang) cc=clang-14 cxx=clang++-14 ;;
    *) echo "unknown compiler '$compiler' (known: gcc, clang)" >&2; exit 2 ;;
  esac
  for type in "${types[@]}"; do
    dir="build-types/$compiler-$type"
    echo "== $compiler $type"
    CC=$cc CXX=$cxx cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUILLMERE_WERROR=ON >/dev/null
    cmake --build "$dir" -j "$(nproc)"
  done
done
