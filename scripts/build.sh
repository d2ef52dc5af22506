#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh [BUILD_DIR] [--target NAME ...] [extra CMake arguments...]
# Without --target every target is built.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
targets=()
cmake_args=()
while (($#)); do
  if [ "$1" = "--target" ] && (($# >= 2)); then
    targets+=(--target "$2")
    shift 2
  else
    cmake_args+=("$1")
    shift
  fi
done
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cmake_args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
