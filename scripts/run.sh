#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds, and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" build
if [ -x "$root/build/app/Soniverter" ]; then
  exec "$root/build/app/Soniverter" "$@"
fi
exec "$root/build/cli/tonewright-cli" "${@:---help}"
