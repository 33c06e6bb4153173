#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan, UBSan) and runs each for a
# bounded time from its committed seeds. FUZZ_SECONDS sets the time per
# target (default 20).
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
out=build/fuzz
mkdir -p "$out"

# target: its sources besides tests/fuzz/<target>.cpp
declare -A sources=(
  [parsers_fuzz]="app/run_mode.cpp settings/settings_keys.cpp stats/beacons.cpp net/http_address.cpp"
  [http_fuzz]="net/http_socket.cpp"
  [icon_fuzz]="install/icon_description.cpp install/install_logic.cpp stats/beacons.cpp settings/settings_keys.cpp"
  [login_fuzz]="html/login_logic.cpp html/ext_login_logic.cpp mainwnd/page_logic.cpp tools/favourite_url.cpp stats/beacons.cpp settings/settings_keys.cpp"
  [hotkey_fuzz]="mainwnd/hotkey_logic.cpp tools/hotkey_names.cpp"
)
# The icon description is read with the system's jsoncpp.
declare -A libs=(
  [icon_fuzz]="-I/usr/include/jsoncpp -ljsoncpp"
)

for target in parsers_fuzz http_fuzz icon_fuzz login_fuzz hotkey_fuzz; do
  # shellcheck disable=SC2086
  clang++ -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    ${sources[$target]} "tests/fuzz/$target.cpp" ${libs[$target]:-} -o "$out/$target"
  # The committed seeds stay untouched; new finds go to a working corpus.
  work="$out/corpus-$target"
  mkdir -p "$work"
  echo "fuzz: $target"
  "$out/$target" -max_total_time="${FUZZ_SECONDS:-20}" -max_len=2048 -artifact_prefix="$out/$target-" "$work" "tests/fuzz/seeds/$target" 2>&1 |
    grep -E '^Done|ERROR|SUMMARY'
done
