#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds, and starts the program's window. Without a display the
# window cannot open: the script says so, tells how to start it anyway, and exits with status 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" build
program="$root/build/bin/tonewright"
if [ ! -x "$program" ]; then
  echo "run.sh: the window program was not built (Qt missing?); the command-line tool is $root/build/bin/tonewright-cli" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
run.sh: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the Tonewright window
cannot open. To start it anyway:
  - on a desktop session:         $program
  - under a virtual X server:     xvfb-run -a $program
  - the tools without a window:   $root/build/bin/tonewright-cli --help
MSG
  exit 1
fi
exec "$program" "$@"
