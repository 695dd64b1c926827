#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs one.
# usage: scripts/fuzz.sh <seconds> [decoder|reassembly|names|exec-policy|staging-refusal|linux-addin]
# The build, the seed corpus, the growing corpus and any crash artifacts stay
# in $ZOBRIK_FUZZ_BUILD_DIR (default: a directory under ${TMPDIR:-/tmp}).
set -eu
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 <seconds> [decoder|reassembly|names|exec-policy|staging-refusal|linux-addin]" >&2
    exit 2
fi
seconds="$1"
kind="${2:-decoder}"
case "$kind" in
    decoder) target=mail_decoder_fuzzer; max_len=4096 ;;
    reassembly) target=mail_reassembly_fuzzer; max_len=8192 ;;
    names) target=staged_file_names_fuzzer; max_len=2048 ;;
    exec-policy) target=exec_admin_policy_fuzzer; max_len=4096 ;;
    staging-refusal) target=exec_staging_refusal_fuzzer; max_len=2048 ;;
    linux-addin) target=linux_addin_fuzzer; max_len=4096 ;;
    *) echo "unknown target $kind" >&2; exit 2 ;;
esac
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${ZOBRIK_FUZZ_BUILD_DIR:-${TMPDIR:-/tmp}/zobrik-fuzz-build}"

(cd "$repo" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" --target "$target" make_mail_corpus -j2

work="$build/$kind"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
"$build/fuzz/make_mail_corpus" "$work/seeds" "$kind"

cd "$work"
exec "$build/fuzz/$target" corpus seeds \
    -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1
