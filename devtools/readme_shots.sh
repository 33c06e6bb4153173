#!/usr/bin/env bash
# Takes the README's screenshots from the real client under Wine and Xvfb
# against the portal simulator (tests/blackbox/test_readme_shots.py) and
# writes them to docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash devtools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
mkdir -p docs/screenshots
# The simulator listens on the build's fixed loopback ports: take the lock.
LUMENDOR_SHOTS_DIR="$PWD/docs/screenshots" flock /tmp/lumendor-ports.lock \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/blackbox/test_readme_shots.py
ls -l docs/screenshots/*.png
