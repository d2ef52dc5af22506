#!/usr/bin/env bash
# Installs the dependencies, builds the project twice (optimised with
# warnings as errors, in the tree scripts/run.sh builds, and under
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs the whole test
# suite in both trees.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DBTGEN_WERROR=ON
scripts/build.sh build-asan -DBTGEN_WERROR=ON -DBTGEN_SANITIZE=ON -DBTGEN_BENCH=OFF -DBTGEN_GUI=OFF

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
echo "== Tests =="
ctest --test-dir build --output-on-failure -j "$(nproc)"
echo "== Tests under the sanitizers =="
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
