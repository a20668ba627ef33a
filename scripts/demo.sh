#!/usr/bin/env bash
# The demo: sets up, builds, brings up a simulated device segment and runs the program on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
echo "demo: the simulated segment is not built yet" >&2
exit 1
