#!/usr/bin/env bash
# Measures the client on this machine and writes BENCHMARKS.md: start-up to
# the login window beside a bare dialog program and beside the floor (the
# browser control on the login page in a dialog), the start-up's steps from
# the client's traced build, the executables' sizes, the
# socket downloader beside curl, and the main window's answer to a page
# hand-over with fast and with slow beacon hosts. About 2.5 minutes on a
# quiet machine; longer when other work shares it.
#
# The simulator listens on the build's fixed loopback ports: the port lock is
# taken around each phase that runs it, and released in between.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
lock=/tmp/lumendor-ports.lock

bash devtools/setup.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target Lumendor LumendorTraced bench_bare bench_browser lmbench lmdriver

results=build/windows/bench/results
rm -rf "$results"
mkdir -p "$results"

echo "== $(date -u +%H:%M:%S) machine and sizes"
python3 devtools/benchmarks.py facts --json "$results/facts.json"
echo "== $(date -u +%H:%M:%S) start-up to the first window"
flock "$lock" /usr/bin/python3 devtools/bench_first_window.py --runs 12 --json "$results/first_window.json"
echo "== $(date -u +%H:%M:%S) downloads"
flock "$lock" /usr/bin/python3 devtools/benchmarks.py download --runs 7 --large-mb 8 --large-runs 5 \
    --json "$results/download.json"
echo "== $(date -u +%H:%M:%S) page hand-over"
flock "$lock" /usr/bin/python3 devtools/benchmarks.py handover --runs 5 --delay 4 --json "$results/handover.json"

python3 devtools/benchmarks.py report --results "$results" --out BENCHMARKS.md \
    --command "bash devtools/bench.sh" --seconds $(( $(date +%s) - started )) >/dev/null
echo "== $(date -u +%H:%M:%S) wrote BENCHMARKS.md"
