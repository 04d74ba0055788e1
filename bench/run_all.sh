#!/usr/bin/env bash
# Builds the release folder build/perf (incrementally), runs every benchmark
# and writes the figures, the machine they were taken on and the command
# that reproduces each into docs/performance.md. The notes on what limits
# each figure come from bench/notes/.
#   bench/run_all.sh [--quick]
# --quick takes fewer rounds and samples (for trying the script out).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/deps.sh"
quill_install_deps

quick=0
[ "${1:-}" = "--quick" ] && quick=1
build=build/perf
cd "$QUILL_ROOT"
quill_build "$build" -DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF

bin="$build/bin"
out=docs/performance.md
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export QT_QPA_PLATFORM=offscreen

if [ $quick -eq 1 ]; then
  receiver_args=(300 2) closed_args=(closed 2) latency_args=(60) startup_args=(3) userdir_args=(10000 3) fanout_args=(1000 2)
  presence_args=(3 500) tls_args=(500 2 5)
else
  receiver_args=(1000 9) closed_args=(closed 5) latency_args=(300) startup_args=(15) userdir_args=(10000 7) fanout_args=(1000 7)
  presence_args=(7 500) tls_args=(2000 5 10)
fi

# Runs one benchmark; its table goes to stdout, Qt's chatter to the log.
measure() {
  local status=0
  "$@" 2>>"$log" || status=$?
  [ $status -eq 0 ] || echo "(exit status $status: below a target or a run failed; see the notes)"
}

section() { # title, command, output, notes file
  printf '## %s\n\n' "$1"
  printf 'Reproduce: `%s`\n\n' "$2"
  if [ "${3:0:1}" = "|" ]; then printf '%s\n\n' "$3"; else printf '```\n%s\n```\n\n' "$3"; fi
  [ -f "bench/notes/$4.md" ] && cat "bench/notes/$4.md" && printf '\n'
}

echo "Running the receive throughput benchmark..." >&2
receive=$(measure "$bin/bench_receiver" "${receiver_args[@]}")
echo "Running the closed-loop receive benchmark..." >&2
closed=$(measure "$bin/bench_receiver" "${closed_args[@]}")
closed_off=$(measure "$bin/bench_receiver" "${closed_args[@]}" "" off)
echo "Running the delivery latency benchmark..." >&2
latency=$(measure "$bin/bench_latency" "${latency_args[@]}")
latency_large=$(measure "$bin/bench_latency" "$((latency_args[0] / 3))" 65536)
echo "Running the start-up benchmark..." >&2
startup=$(measure "$bin/bench_startup" "${startup_args[@]}")
echo "Running the memory benchmark..." >&2
memory=$(measure "$bin/bench_memory")
echo "Running the user-list editor benchmark..." >&2
userdir=$(measure "$bin/bench_userdir" "${userdir_args[@]}")
echo "Running the message history benchmark..." >&2
history=$(measure "$bin/bench_history")
echo "Running the command-line fan-out benchmark..." >&2
fanout=$(measure "$bin/bench_fanout" "${fanout_args[@]}")
echo "Running the encryption benchmark..." >&2
tls=$(measure "$bin/bench_tls" "${tls_args[@]}")
echo "Running the people-online benchmark (real avahi-daemon; needs root)..." >&2
presence=$(measure "$bin/bench_presence" "${presence_args[@]}")

model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
memory_total=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo unknown)

mkdir -p docs
{
  printf '# Performance\n\n'
  printf 'Written by `bench/run_all.sh` from a release build (`%s`, `-DCMAKE_BUILD_TYPE=Release -DQUILL_TESTS=OFF`). '  "$build"
  printf 'Every figure is a median (or percentile) over repeated runs, next to a yardstick measured in the same run; '
  printf 'the ratios are what to compare between machines, not the absolute numbers.\n\n'
  printf '| machine | |\n|---|---|\n'
  printf '| date | %s |\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
  printf '| processors (nproc) | %s |\n' "$(nproc)"
  printf '| model | %s |\n' "${model:-unknown}"
  printf '| memory | %s |\n' "$memory_total"
  printf '| kernel | %s |\n' "$(uname -sr)"
  printf '| Qt | %s |\n' "$qt"
  printf '| commit | %s%s |\n\n' "$(git rev-parse --short HEAD 2>/dev/null || echo none)" \
    "$(git diff --quiet -- . ':!docs/performance.md' 2>/dev/null || echo ' (with uncommitted changes)')"
  section "Receive throughput" "$bin/bench_receiver ${receiver_args[*]}" "$receive" receive
  section "Receive throughput in the closed loop" "$bin/bench_receiver ${closed_args[*]}" "$closed" closed
  printf 'With the history off (`%s`):\n\n%s\n\n' "$bin/bench_receiver ${closed_args[*]} \"\" off" "$closed_off"
  section "Delivery latency" "$bin/bench_latency ${latency_args[*]}" "$latency" latency
  printf 'With a 64 KiB payload of prose (`%s`):\n\n%s\n\n' "$bin/bench_latency $((latency_args[0] / 3)) 65536" "$latency_large"
  section "Start-up time and memory" "$bin/bench_startup ${startup_args[*]}" "$startup" startup
  section "Memory with 65 message windows and a long queue" "$bin/bench_memory" "$memory" memory
  section "User-list editor with 10,000 users" "$bin/bench_userdir ${userdir_args[*]}" "$userdir" userdir
  section "The message history" "$bin/bench_history" "$history" history
  section "One message to 1,000 recipients from the command line" "$bin/bench_fanout ${fanout_args[*]}" "$fanout" fanout
  section "People online" "$bin/bench_presence ${presence_args[*]}" "$presence" presence
  section "Encrypted messages" "$bin/bench_tls ${tls_args[*]}" "$tls" tls
} >"$out"
echo "Wrote $out" >&2
