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
rm -rf build/wincov/counts
mkdir -p build/wincov/counts

# The simulator listens on the build's fixed loopback ports: one scenario at
# a time per loopback. Where network namespaces are allowed, the scenarios
# run in LUMENDOR_SHARDS shards side by side, each with a loopback of its
# own (a scenario mostly waits on Wine and the client: one keeps about a
# quarter of a core busy); elsewhere in one, holding the machine's port lock.
# With a time limit each shard is interrupted when it is reached, and ends
# its running scenario as pytest does on Ctrl+C.
#   scenarios SHARDS LIMIT LOCK LOGS PYTEST-ARGS...   (LIMIT as for timeout, 0: none)
scenarios() {
    local shards="$1" limit="$2" lock="$3" logs="$4"
    shift 4
    rm -rf "$logs"
    mkdir -p "$logs"
    local run=(timeout -s INT -k 120 "$limit")
    if [ "$shards" -le 1 ] || ! unshare -n ip link set lo up 2>/dev/null; then
        flock "$lock" "${run[@]}" /usr/bin/python3 -m pytest -q -p no:cacheprovider --basetemp="$logs/tmp" "$@"
        return
    fi
    local pids=() i rc=0
    for ((i = 0; i < shards; i++)); do
        LUMENDOR_SHARD="$i/$shards" "${run[@]}" unshare -n bash -c 'ip link set lo up && exec "$@"' _ \
            /usr/bin/python3 -m pytest -q -p no:cacheprovider --basetemp="$logs/tmp-$i" "$@" \
            > "$logs/shard-$i.log" 2>&1 &
        pids+=("$!")
    done
    for ((i = 0; i < shards; i++)); do
        local code=0
        wait "${pids[$i]}" || code=$?
        [ "$code" -eq 0 ] || [ "$rc" -eq 124 ] || rc=$code
        echo "-- shard $((i + 1)) of $shards"
        cat "$logs/shard-$i.log"
    done
    return "$rc"
}

status=0
scenarios "${LUMENDOR_SHARDS:-2}" 0 /tmp/lumendor-ports.lock build/windows/scenarios \
    tests/harness tests/blackbox || status=$?

(
    export LUMENDOR_BUILD="$PWD/build/wincov" LUMENDOR_COVERAGE_DIR="Z:$PWD/build/wincov/counts"
    ctest --preset windows-coverage > build/wincov/ctest.log 2>&1 || true
    # The import table of the instrumented client is not the shipped one's.
    # On a slow machine the run is cut at LUMENDOR_COVERAGE_MINUTES: the
    # report then holds what ran until then (the counts are written as the
    # programs run).
    scenarios "${LUMENDOR_SHARDS:-2}" "${LUMENDOR_COVERAGE_MINUTES:-25}m" /tmp/lumendor-ports-coverage.lock \
        build/wincov/scenarios tests/blackbox \
        --deselect tests/blackbox/test_windows_xp.py::test_the_executable_asks_only_for_what_windows_xp_sp3_has \
        > build/wincov/blackbox.log 2>&1 || { [ $? -ne 124 ] || echo "coverage run: cut at its time limit" >> build/wincov/blackbox.log; }
)
echo
echo "== Coverage run (the instrumented client; it does not decide the result)"
grep -E "tests passed|tests failed|^[0-9]+/[0-9]+ Test .*(Failed|Timeout)" build/wincov/ctest.log || true
grep -E "^(FAILED|ERROR) |^[0-9]+ (passed|failed)|^=+ .*(passed|failed)|^coverage run: " build/wincov/blackbox.log || true
/usr/bin/python3 devtools/coverage_report.py || echo "coverage report: not made (it does not decide the result)"
exit "$status"
