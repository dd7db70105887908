#!/usr/bin/env bash
# Builds the engine's fuzz targets with clang (libFuzzer, AddressSanitizer,
# UBSan) and runs each for its share of SECONDS (default 90), seeded with the
# committed corpora and dictionaries in engine/fuzz/.
#   engine/fuzz/run.sh [SECONDS] [TARGET...]
# Targets: sdbexpr (expression language), sdbsql (SQL through the C API),
# connstr (connection strings). The build and the growing corpora live in
# $FUZZ_BUILD_DIR (default build-engine-fuzz/ at the repository root); a
# crash leaves its input there too. Engine objects are rebuilt only when a
# source or header changed.
set -euo pipefail
seconds=${1:-90}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(sdbexpr sdbsql connstr)
here=$(cd "$(dirname "$0")" && pwd)
engine=$(dirname "$here")
top=$(dirname "$engine")
out=${FUZZ_BUILD_DIR:-$top/build-engine-fuzz}
mkdir -p "$out/obj"

cxx=$(command -v clang++ || command -v clang++-14)
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined
  -fno-sanitize-recover=undefined -I"$engine/include" -I"$engine")

# The engine's library sources (tests excluded), built for fuzzing.
newest_header=$(ls -t "$engine"/*.h "$engine"/include/*.h | head -1)
objects=()
for src in "$engine"/*.cpp; do
  case "$src" in *_test.cpp) continue ;; esac
  obj="$out/obj/$(basename "${src%.cpp}").o"
  objects+=("$obj")
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ "$newest_header" -nt "$obj" ]; then
    echo "compiling $(basename "$src")"
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
  fi
done
rm -f "$out/libsdbengine_fuzz.a"
ar rcs "$out/libsdbengine_fuzz.a" "${objects[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
for t in "${targets[@]}"; do
  "$cxx" "${flags[@]}" -fsanitize=fuzzer "$here/${t}_fuzz.cpp" "$out/libsdbengine_fuzz.a" \
    -lsqlite3 -lcrypto -lz -o "$out/${t}_fuzz"
  mkdir -p "$out/corpus/$t"
  # Handles are never reused and the connection caches prepared statements,
  # so an SQL input may allocate more than it frees, which would make
  # libFuzzer scan for leaks after nearly every run; LeakSanitizer still
  # checks the whole run at exit.
  extra=()
  [ "$t" != sdbsql ] || extra=(-detect_leaks=0)
  echo "== $t: $share s"
  # FUZZ_SEED fixes the mutation sequence, so a run from an empty corpus
  # retraces one checked before (CI uses it); unset, every run explores anew.
  [ -z "${FUZZ_SEED:-}" ] || extra+=(-seed="$FUZZ_SEED")
  "$out/${t}_fuzz" "${extra[@]}" -max_total_time="$share" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -dict="$here/$t.dict" \
    -artifact_prefix="$out/$t-" "$out/corpus/$t" "$here/seeds/$t"
done
