#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds, and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" build
if [ -x "$root/build/bin/tonewright" ]; then
  exec "$root/build/bin/tonewright" "$@"
fi
exec "$root/build/bin/tonewright-cli" "${@:---help}"
