#!/usr/bin/env bash
# Builds the feed parser fuzz target with clang (libFuzzer, AddressSanitizer,
# UBSan) and runs it for SECONDS (default 60), seeded with the sample feeds.
#   update/fuzz/run.sh [SECONDS]
# The build and the growing corpus live in $FUZZ_BUILD_DIR (default
# build-fuzz/ at the repository root); a crash leaves its input there too.
set -euo pipefail
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
update=$(dirname "$here")
top=$(dirname "$update")
out=${FUZZ_BUILD_DIR:-$top/build-fuzz}
mkdir -p "$out/corpus"

cxx=$(command -v clang++ || command -v clang++-14)
"$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$update/include" -I"$top/framework/include" $(pkg-config --cflags libxml-2.0 libcurl) \
  "$update/RateFeed.cpp" "$here/RateFeed_fuzz.cpp" \
  $(pkg-config --libs libxml-2.0 libcurl) -o "$out/RateFeed_fuzz"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$out/RateFeed_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/xml.dict" \
  -artifact_prefix="$out/" "$out/corpus" "$update/testdata"
