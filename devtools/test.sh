#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (ASan, UBSan),
# Windows-side tests under Wine, black-box scenarios of the real client;
# then prints the coverage report (devtools/coverage_report.py).
#
# The coverage of the Windows code comes from a second, instrumented build
# of the client (preset windows-coverage, on ports of its own) that runs the
# Windows-side tests and the scenarios again, after the run that tests the
# shipped client: run beside it, its load made the shipped run's timed
# checks (the mute poll) miss. Only the shipped client's run decides the
# result; the coverage run's failures are listed with the report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash devtools/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native
find build/native -name '*.gcda' -delete
ctest --preset native
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" bash devtools/fuzz.sh

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

cmake --preset windows-coverage >/dev/null
cmake --build --preset windows-coverage
rm -rf build/wincov/counts build/wincov/pytest-tmp
mkdir -p build/wincov/counts

# The simulator listens on the build's fixed loopback ports: one scenario
# run at a time per build on this machine.
status=0
flock /tmp/lumendor-ports.lock /usr/bin/python3 -m pytest -q -p no:cacheprovider \
  tests/harness tests/blackbox || status=$?

(
    export LUMENDOR_BUILD="$PWD/build/wincov" LUMENDOR_COVERAGE_DIR="Z:$PWD/build/wincov/counts"
    ctest --preset windows-coverage > build/wincov/ctest.log 2>&1 || true
    # The import table of the instrumented client is not the shipped one's.
    # On a slow machine the run is cut at LUMENDOR_COVERAGE_MINUTES: the
    # report then holds what ran until then (the counts are written as the
    # programs run).
    flock /tmp/lumendor-ports-coverage.lock timeout -s INT -k 120 "${LUMENDOR_COVERAGE_MINUTES:-25}m" \
        /usr/bin/python3 -m pytest -q -p no:cacheprovider \
        --basetemp=build/wincov/pytest-tmp tests/blackbox \
        --deselect tests/blackbox/test_windows_xp.py::test_the_executable_asks_only_for_what_windows_xp_sp3_has \
        > build/wincov/blackbox.log 2>&1 || { [ $? -ne 124 ] || echo "coverage run: cut at its time limit" >> build/wincov/blackbox.log; }
)
echo
echo "== Coverage run (the instrumented client; it does not decide the result)"
grep -E "tests passed|tests failed|^[0-9]+/[0-9]+ Test .*(Failed|Timeout)" build/wincov/ctest.log || true
grep -E "^(FAILED|ERROR) |^[0-9]+ (passed|failed)|^=+ .*(passed|failed)|^coverage run: " build/wincov/blackbox.log || true
/usr/bin/python3 devtools/coverage_report.py
exit "$status"
