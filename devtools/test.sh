#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (ASan, UBSan),
# Windows-side tests under Wine, black-box scenarios of the real client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash devtools/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" bash devtools/fuzz.sh

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

# The simulator listens on the build's fixed loopback ports: one scenario
# run at a time on this machine.
flock /tmp/lumendor-ports.lock /usr/bin/python3 -m pytest -q -p no:cacheprovider \
  tests/harness tests/blackbox
