#!/bin/sh
# Builds the mail decoder fuzzer (clang, libFuzzer, ASan, UBSan) and runs it.
# usage: scripts/fuzz.sh <seconds>
# The build, the seed corpus, the growing corpus and any crash artifacts stay
# in $ZOBRIK_FUZZ_BUILD_DIR (default: a directory under ${TMPDIR:-/tmp}).
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 <seconds>" >&2
    exit 2
fi
seconds="$1"
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZOBRIK_FUZZ_BUILD_DIR:-${TMPDIR:-/tmp}/zobrik-fuzz-build}"

cmake -S "$repo" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DZOBRIK_FUZZ=ON -DZOBRIK_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target mail_decoder_fuzzer make_mail_corpus -j2

mkdir -p "$build/seeds" "$build/corpus" "$build/artifacts"
"$build/fuzz/make_mail_corpus" "$build/seeds"

cd "$build"
exec ./fuzz/mail_decoder_fuzzer corpus seeds \
    -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/" -print_final_stats=1
