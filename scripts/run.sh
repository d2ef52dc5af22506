#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job on its default
# settings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
echo "== Default settings =="
build/apps/btgen settings
echo "== Projected length of the default settings =="
build/apps/btgen size
