#!/usr/bin/env bash
# Builds the parsers' libFuzzer target with clang (ASan, UBSan) and runs it
# for a bounded time. FUZZ_SECONDS sets the time (default 30).
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."
out=build/fuzz
mkdir -p "$out/corpus"
src=(app/run_mode.cpp settings/settings_keys.cpp stats/beacons.cpp net/http_address.cpp tests/fuzz/parsers_fuzz.cpp)
clang++ -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "${src[@]}" -o "$out/parsers_fuzz"
# A few seeds as UTF-16 text: stored dates, encoded setpauth arguments,
# addresses, command lines.
for seed in '2026/12/8' 'u%7Cpauth%2Dv%7Crest' 'http://h:8080/x?y' '/gmhall h12345' 'AAPPMD'; do
  name=$(printf '%s' "$seed" | md5sum | cut -c1-8)
  printf '%s' "$seed" | iconv -f utf-8 -t utf-16le >"$out/corpus/$name"
done
"$out/parsers_fuzz" -max_total_time="${FUZZ_SECONDS:-30}" -max_len=512 "$out/corpus" 2>&1 | grep -E '^Done|ERROR|SUMMARY' 
