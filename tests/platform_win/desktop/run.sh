#!/usr/bin/env bash
# Runs the desktop check (its program is $1) on a private virtual X server, which is always
# stopped on the way out. A missing server is a failure: scripts/setup installs it.
set -euo pipefail
program=$1

for tool in Xvfb xwd; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup installs it)" >&2; exit 1; }
done

scratch=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# The server picks a free display number itself and writes it to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/server.log" &
server=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$server" 2>/dev/null || { echo "FAIL: Xvfb did not start:" >&2; cat "$scratch/server.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$scratch/display" ] || { echo "FAIL: Xvfb gave no display within 10 s" >&2; exit 1; }
display=":$(head -n1 "$scratch/display")"

DISPLAY=$display SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy timeout 40 "$program" "$scratch"
