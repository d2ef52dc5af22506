#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  libmatio-dev zlib1g-dev libfftw3-dev libserialport-dev libssl-dev
  python3 python3-numpy python3-scipy octave
  clang libclang-rt-14-dev
  locales
  qt6-base-dev qt6-tools-dev qt6-svg-dev libqcustomplot-dev libqcustomplot2.1-qt6 libqt6opengl6-dev libgl-dev
  fonts-dejavu-core
  pybind11-dev python3-dev python3-pytest python3-jsonschema
  libbtbb-dev
  libsoapysdr-dev
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Tests check that numbers in files and SCPI text ignore a decimal-comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not generate the de_DE.UTF-8 locale"
fi
