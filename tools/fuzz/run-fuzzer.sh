#!/usr/bin/env bash
# Builds the converter fuzzer with clang (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ and runs it for a bounded time: run-fuzzer.sh [seconds] (default 600).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-600}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DBRIVET_BUILD_FUZZ=ON -DBRIVET_BUILD_TESTS=OFF \
    -DBRIVET_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined" \
    >/dev/null
cmake --build build-fuzz --target converter_fuzzer -j2
mkdir -p build-fuzz/corpus
printf '\x01[b]Hi[/b] -> [URL=http://a/b]site[/URL]\r\nbye' > build-fuzz/corpus/seed-whole-body
printf '\x00[CODE]a<b & "c"\r\nd[/CODE]e [J]nick[/J]' > build-fuzz/corpus/seed-code
printf '\x01[URL=[URL=[URL=x][/URL]x][/URL]x][/URL] [J][L]a[/L][/J] [L][J]b[/J][/L]' \
    > build-fuzz/corpus/seed-nested
# A body of 4 KB converts in milliseconds, even under the sanitizers; an input that takes
# two seconds is a finding.
UBSAN_OPTIONS=halt_on_error=1 build-fuzz/bin/converter_fuzzer build-fuzz/corpus \
    -dict=tools/fuzz/converter.dict -max_len=4096 -len_control=10 -timeout=2 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1
