#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on its seeds, its regression inputs and the corpus it
# grew before.
# Usage: fuzz/run_one.sh <target> [seconds]   (target without the _fuzz suffix)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
t="$1"; secs="${2:-300}"
out="$here/out"
mkdir -p "$out/run/$t" "$here/crashes"
[[ -d "$here/corpus/${t}_fuzz" ]] || "$out/make_seeds" "$here/corpus"
cp -n "$here/corpus/${t}_fuzz/"* "$out/run/$t/" 2>/dev/null || true
# Inputs that found faults before run first: a fault that comes back shows at once.
cp -n "$here/regressions/$t/"* "$out/run/$t/" 2>/dev/null || true
cp "$out/${t}_fuzz" "$out/run/$t.bin"  # a rebuild does not disturb a running target
cd "$here/crashes"
exec "$out/run/$t.bin" -max_total_time="$secs" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$here/crashes/$t-" "$out/run/$t"
