#!/usr/bin/env bash
# Builds the client and runs it under Wine against the portal simulator.
# The first call runs the client's first run in build/windows/run/prefix;
# later calls are ordinary starts. Without $DISPLAY it runs under Xvfb and
# writes screenshots; extra arguments go to devtools/run_client.py.
set -euo pipefail
cd "$(dirname "$0")/.."
bash devtools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
# The simulator listens on fixed loopback ports: one run at a time.
exec flock /tmp/lumendor-ports.lock /usr/bin/python3 devtools/run_client.py "$@"
