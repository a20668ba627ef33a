#!/usr/bin/env bash
# The main window's steady cost at a /16: a virtual segment with N simulated devices (65,000 by
# default) and the window on it (offscreen, from a private copy of the module folder, with the
# GUI test driver to read its device count). Once every device is counted as online, it takes
# the window process's CPU time (utime + stime of /proc/PID/stat, all its threads) over a
# number of seconds (20 by default) and prints it as a share of one core, with the load average
# beside it (other work on the machine slows the window but does not add to its CPU time).
# A benchmark, not a test: it prints figures. With IPS_BENCH_PERF=FILE, perf records the window
# over those seconds into FILE (the figures then include perf's own cost).
#
#   bench/bench_window_idle.sh [module folder, default build/bin] [devices, default 65000] [seconds, default 20]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/bin}
devices=${2:-65000}
seconds=${3:-20}
[ "$(id -u)" -eq 0 ] || { echo "bench_window_idle: needs root (network namespaces)" >&2; exit 1; }
for exe in devsim ipscanner; do
  [ -x "$bin/$exe" ] || { echo "bench_window_idle: $bin/$exe not built" >&2; exit 1; }
done
driver=$(cd "$bin/../tests/driver" 2>/dev/null && pwd)
[ -f "$driver/libips_gui_driver.so" ] && [ -x "$driver/ips-gui-ctl" ] ||
  { echo "bench_window_idle: the GUI test driver is not built" >&2; exit 1; }
work=$(mktemp -d /tmp/ips-bench-window-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mod/Download/Rom" "$work/run"
chmod 700 "$work/run"
cp "$bin/ipscanner" "$work/mod/"
for dir in skin Language config Tools Tools-Install; do
  [ -d "$bin/$dir" ] && cp -r "$bin/$dir" "$work/mod/"
done

IPS_DEVSIM="$bin/devsim" "$root/scripts/segment.sh" --quiet \
  --devsim "--count $devices --seed 3" \
  -- bash -c '
    work=$1 driver=$2 devices=$3 seconds=$4
    printf "[NET_CONN_SETTING]\nInterface=%s\nAdapterName=%s\nIP=%s\n" \
      "$IPS_SEGMENT_IF" "$IPS_SEGMENT_IF" "$IPS_SEGMENT_APP_IP" >"$work/mod/config/SystemSetting.ini"
    XDG_RUNTIME_DIR=$work/run HOME=$work QT_QPA_PLATFORM=offscreen \
      LD_PRELOAD="$driver/libips_gui_driver.so" IPS_GUI_DRIVER="$work/gui.sock" \
      "$work/mod/ipscanner" >"$work/gui.log" 2>&1 &
    gui=$!
    count() { "$driver/ips-gui-ctl" "$work/gui.sock" text lab_device_count 2>/dev/null | tr -dc "0-9 " | awk "{ print \$1 + 0 }"; }
    t0=$(date +%s.%N)
    filled=
    for _ in $(seq 1 240); do
      [ "$(count)" -ge "$devices" ] 2>/dev/null && { filled=$(date +%s.%N); break; }
      sleep 0.5
    done
    [ -n "$filled" ] || { echo "bench_window_idle: the window counts $(count) of $devices devices after 2 minutes" >&2; kill $gui; wait $gui; exit 1; }
    cpu() { awk "{ print \$14 + \$15 }" "/proc/$gui/stat"; }
    rss() { awk "/VmRSS/ { print \$2 }" "/proc/$gui/status"; }
    # Per thread: id, name, utime + stime (the name may hold spaces: fields counted from the end).
    threads() { for t in /proc/$gui/task/*; do
      awk -v t="${t##*/}" -v ui="$gui" "{ n = NF; name = t == ui ? \"(UI)\" : \$2; print t, name, \$(n - 38) + \$(n - 37) }" "$t/stat" 2>/dev/null; done; }
    threads >"$work/t0"
    c0=$(cpu); w0=$(date +%s.%N); l0=$(cut -d" " -f1 /proc/loadavg)
    if [ -n "${IPS_BENCH_PERF:-}" ]; then
      # A profile of the window over the same seconds (it costs CPU time of its own).
      perf record -q -g -p "$gui" -o "$IPS_BENCH_PERF" -- sleep "$seconds" >/dev/null 2>&1
    else
      sleep "$seconds"
    fi
    c1=$(cpu); w1=$(date +%s.%N); l1=$(cut -d" " -f1 /proc/loadavg)
    threads >"$work/t1"
    # The threads that used any CPU meanwhile, busiest first: the UI thread, the feed of the list
    # (list-feed) and the threads of the control core and the capture (unnamed).
    awk -v s="$(echo "$w1 - $w0" | bc)" -v hz="$(getconf CLK_TCK)" "NR == FNR { a[\$1] = \$3; next }
      { d = \$3 - a[\$1]; if (d > 0) printf \"  thread %s %s: %.1f %% of one core\\n\", \$1, \$2, d / hz * 100 / s }" \
      "$work/t0" "$work/t1" | sort -t: -k2 -rn >"$work/threads.txt"
    awk -v d="$devices" -v t0="$t0" -v f="$filled" -v c0="$c0" -v c1="$c1" -v w0="$w0" -v w1="$w1" \
        -v hz="$(getconf CLK_TCK)" -v l0="$l0" -v l1="$l1" -v rss="$(rss)" "BEGIN {
      printf \"devices %d: counted online after %.1f s; then over %.0f s the window used %.1f %% of one core (load average %s -> %s, %d MB resident)\\n\",
        d, f - t0, w1 - w0, (c1 - c0) / hz * 100 / (w1 - w0), l0, l1, rss / 1024 }"
    cat "$work/threads.txt"
    kill $gui; wait $gui
  ' _ "$work" "$driver" "$devices" "$seconds"
