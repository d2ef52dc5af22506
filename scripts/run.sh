#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job. With a display
# ($DISPLAY or $WAYLAND_DISPLAY): the desktop application, with the built-in
# instrument simulator on a free loopback port as its LAN instrument.
# Without one: generate the default waveform and write it to a file, then
# download and play it on the simulator and show what the instrument holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only the programs the job runs, in the tree and with the options of
# scripts/test.sh, so that the test command reuses every object built here.
programs=(--target btgen --target ixo-sim)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then programs+=(--target btgen-gui); fi
scripts/build.sh build -DBTGEN_WERROR=ON "${programs[@]}"

out=build/main-job
mkdir -p "$out"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Generate the default waveform =="
  build/apps/btgen generate -o "$out/default.mat"
fi

# The simulator listens on a free loopback port, printed on its first line.
portfile="$out/ixo-sim.port"
: >"$portfile"
build/apps/ixo-sim --port 0 >"$portfile" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$portfile" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "ixo-sim did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$portfile" ] || { echo "ixo-sim did not report its port" >&2; exit 1; }
instrument="127.0.0.1:$(head -n1 "$portfile")"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== The desktop application, with the simulated instrument at $instrument =="
  # Run from the job folder: the application keeps its rfIOConfig.mat there.
  app="$PWD/build/apps/btgen-gui"
  (cd "$out" && "$app" --tcpip "$instrument")
  exit 0
fi

echo "== Download and play it on the simulated instrument ($instrument) =="
build/apps/btgen download --tcpip "$instrument"
echo "== What the instrument holds =="
build/apps/btgen status --tcpip "$instrument"
