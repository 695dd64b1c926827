#!/bin/bash
# Mutation check of the platform-free core: applies each one-line fault of
# tests/mutation/faults.txt to a copy of the source tree, rebuilds the native
# tests incrementally and runs them. A fault is
#   caught      the tests fail, crash or hang (timeout)
#   missed      the tests pass although the fault changes behaviour
#   equivalent  the tests pass and the fault is marked as unable to change
#               behaviour (a marked fault that is caught is reported as such)
#   invalid     the faulty tree does not build
# The working tree is never modified: the tracked and untracked (not ignored)
# files, or with -r the files of a commit, are copied once into a temporary
# directory, and every worker builds in a copy of its own (Debug, ASan and
# UBSan as in the regular native build).
#
# Usage: scripts/mutation-check.sh [options] [FILTER...]
#   FILTER          run only faults whose name contains FILTER (glob
#                   characters allowed: 'decoder.*size')
#   -j N            N faults at a time, each worker in its own copy
#                   (default: the number of cores)
#   -t SECONDS      time limit of one test run (default 60)
#   -f FILE         fault list (default tests/mutation/faults.txt)
#   -r REV          check the files of commit REV (such as HEAD) instead of
#                   the working tree; the fault list is still read from -f
#   -l              list the selected faults and exit
#   -d              show each selected fault as a diff and exit (no build)
#   -k              keep the temporary directory (copies, build logs)
#   -h              this help
# Exit status: 0 when no fault was missed or invalid, 1 otherwise, 2 for an
# unusable fault list or a baseline that does not build or pass.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
faults_file="$root/tests/mutation/faults.txt"
jobs="$(nproc)"
test_timeout=60
list_only=0
diff_only=0
keep=0
revision=""

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

while getopts ":j:t:f:r:ldkh" opt; do
    case "$opt" in
        j) jobs="$OPTARG" ;;
        t) test_timeout="$OPTARG" ;;
        f) faults_file="$OPTARG" ;;
        r) revision="$OPTARG" ;;
        l) list_only=1 ;;
        d) diff_only=1 ;;
        k) keep=1 ;;
        h) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
filters=("$@")
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || { echo "-j needs a positive number" >&2; exit 2; }
[[ "$test_timeout" =~ ^[1-9][0-9]*$ ]] || { echo "-t needs a positive number of seconds" >&2; exit 2; }
[ -f "$faults_file" ] || { echo "no fault list at $faults_file" >&2; exit 2; }

# --- Fault list -------------------------------------------------------------
# Entries are separated by blank lines; '#' starts a comment line. Keys:
#   fault: name   file: path   [after: text]   find: text   replace: text
#   [equivalent: reason]
# Values are taken verbatim after the key, without surrounding blanks.
names=() files=() afters=() finds=() replaces=() equivalents=()

trim() {
    local s="$1"
    s="${s#"${s%%[![:space:]]*}"}"
    s="${s%"${s##*[![:space:]]}"}"
    printf '%s' "$s"
}

parse_faults() {
    local line key value lineno=0 start=0
    local name="" file="" after="" find="" replace="" equivalent="" has_replace=0
    flush() {
        if [ -z "$name$file$after$find$replace$equivalent" ] && [ "$has_replace" = 0 ]; then return; fi
        if [ -z "$name" ] || [ -z "$file" ] || [ -z "$find" ] || [ "$has_replace" = 0 ]; then
            echo "$faults_file:$start: an entry needs fault:, file:, find: and replace:" >&2
            exit 2
        fi
        if [ "$find" = "$replace" ]; then
            echo "$faults_file:$start: fault '$name' replaces its text by itself" >&2
            exit 2
        fi
        local n
        for n in "${names[@]}"; do
            [ "$n" != "$name" ] || { echo "$faults_file:$start: fault '$name' is listed twice" >&2; exit 2; }
        done
        names+=("$name") files+=("$file") afters+=("$after") finds+=("$find") replaces+=("$replace")
        equivalents+=("$equivalent")
        name="" file="" after="" find="" replace="" equivalent="" has_replace=0
    }
    while IFS= read -r line || [ -n "$line" ]; do
        lineno=$((lineno + 1))
        case "$line" in
            '#'*) continue ;;
        esac
        if [ -z "$(trim "$line")" ]; then
            flush
            continue
        fi
        if [ -z "$name$file$after$find$replace$equivalent" ] && [ "$has_replace" = 0 ]; then start=$lineno; fi
        key="${line%%:*}"
        value="$(trim "${line#*:}")"
        case "$key" in
            fault) name="$value" ;;
            file) file="$value" ;;
            after) after="$value" ;;
            find) find="$value" ;;
            replace) replace="$value"; has_replace=1 ;;
            equivalent) equivalent="$value" ;;
            *) echo "$faults_file:$lineno: unknown key '$key'" >&2; exit 2 ;;
        esac
    done < "$faults_file"
    flush
}
parse_faults

selected=()
for i in "${!names[@]}"; do
    if [ ${#filters[@]} -eq 0 ]; then
        selected+=("$i")
        continue
    fi
    for f in "${filters[@]}"; do
        # shellcheck disable=SC2053  # the filter may hold glob characters
        if [[ "${names[$i]}" == *$f* ]]; then
            selected+=("$i")
            break
        fi
    done
done
[ ${#selected[@]} -gt 0 ] || { echo "no fault matches: ${filters[*]}" >&2; exit 2; }

if [ "$list_only" = 1 ]; then
    for i in "${selected[@]}"; do
        printf '%-48s %-36s%s\n' "${names[$i]}" "${files[$i]}" "${equivalents[$i]:+  (equivalent)}"
    done
    echo "${#selected[@]} faults"
    exit 0
fi

# Number of non-overlapping occurrences of $2 in the text $1.
count_occurrences() {
    local rest="$1" count=0
    while [[ "$rest" == *"$2"* ]]; do
        count=$((count + 1))
        rest="${rest#*"$2"}"
    done
    echo "$count"
}

read_file() { IFS= read -r -d '' "$1" < "$2" || true; }

# Prints why fault $1 cannot be applied to the text $2, or nothing.
fault_problem() {
    local i="$1" text="$2" n
    if [ -n "${afters[$i]}" ]; then
        n="$(count_occurrences "$text" "${afters[$i]}")"
        if [ "$n" != 1 ]; then
            echo "after: '${afters[$i]}' occurs $n times in ${files[$i]} (must be once)"
            return
        fi
        text="${text#*"${afters[$i]}"}"
        [[ "$text" == *"${finds[$i]}"* ]] || echo "'${finds[$i]}' does not occur after '${afters[$i]}' in ${files[$i]}"
        return
    fi
    n="$(count_occurrences "$text" "${finds[$i]}")"
    [ "$n" = 1 ] || echo "'${finds[$i]}' occurs $n times in ${files[$i]} (must be once)"
}

# Prints the text $2 with fault $1 applied.
apply_fault() {
    local i="$1" text="$2" head=""
    if [ -n "${afters[$i]}" ]; then
        head="${text%%"${afters[$i]}"*}${afters[$i]}"
        text="${text#*"${afters[$i]}"}"
    fi
    printf '%s%s' "$head" "${text/"${finds[$i]}"/"${replaces[$i]}"}"
}

# --- Copy of the source tree ------------------------------------------------
work="$(mktemp -d "${TMPDIR:-/tmp}/zobrik-mutation.XXXXXX")"
worker_pids=()
cleanup() {
    local pid
    for pid in "${worker_pids[@]}"; do
        kill -- "-$pid" 2>/dev/null || true  # the worker's process group
    done
    wait 2>/dev/null || true
    if [ "$keep" = 1 ]; then
        echo "kept: $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/pristine" "$work/results"
if [ -n "$revision" ]; then
    git -C "$root" archive --format=tar "$revision" | tar -C "$work/pristine" -xf -
else
    (cd "$root" && git ls-files -z --cached --others --exclude-standard) |
        while IFS= read -r -d '' f; do
            [ -f "$root/$f" ] && printf '%s\0' "$f"
        done |
        tar -C "$root" --null -T - -cf - | tar -C "$work/pristine" -xf -
fi

# Every selected fault must name its text exactly once, checked before any
# build so that a stale entry fails at once.
bad=0
for i in "${selected[@]}"; do
    path="$work/pristine/${files[$i]}"
    if [ ! -f "$path" ]; then
        echo "fault '${names[$i]}': no file ${files[$i]}" >&2
        bad=1
        continue
    fi
    read_file content "$path"
    problem="$(fault_problem "$i" "$content")"
    if [ -n "$problem" ]; then
        echo "fault '${names[$i]}': $problem" >&2
        bad=1
    fi
done
[ "$bad" = 0 ] || exit 2

if [ "$diff_only" = 1 ]; then
    for i in "${selected[@]}"; do
        echo "== ${names[$i]}${equivalents[$i]:+ (equivalent: ${equivalents[$i]})}"
        read_file content "$work/pristine/${files[$i]}"
        apply_fault "$i" "$content" >"$work/faulty"
        (cd "$work/pristine" && diff -U0 --label "a/${files[$i]}" --label "b/${files[$i]}" "${files[$i]}" "$work/faulty") |
            sed '1,2d' || true
    done
    exit 0
fi

[ "$jobs" -le ${#selected[@]} ] || jobs=${#selected[@]}
build_jobs=$(( $(nproc) / jobs ))
[ "$build_jobs" -ge 1 ] || build_jobs=1
export ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1"

echo "${#selected[@]} faults, $jobs at a time, sources: ${revision:-working tree}; copies in $work"
started=$SECONDS

# --- Workers ----------------------------------------------------------------
run_tests() {  # dir log -> exit status of the test run
    local status=0
    timeout -k 5 "$test_timeout" "$1/build/native_tests" --gtest_brief=1 --gtest_fail_fast >"$2" 2>&1 || status=$?
    return "$status"
}

worker() {
    local w="$1"
    shift
    local dir="$work/w$w"
    mkdir "$dir"
    cp -a "$work/pristine" "$dir/src"
    if ! cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Debug >"$dir/baseline.log" 2>&1 ||
        ! cmake --build "$dir/build" -j"$build_jobs" >>"$dir/baseline.log" 2>&1; then
        echo "baseline build failed (worker $w), see $dir/baseline.log" >&2
        return 3
    fi
    if ! run_tests "$dir" "$dir/baseline-tests.log"; then
        echo "baseline tests fail without any fault (worker $w):" >&2
        tail -n 20 "$dir/baseline-tests.log" >&2
        return 3
    fi

    local i path content outcome detail status t0 seconds log
    for i in "$@"; do
        t0=$SECONDS
        path="$dir/src/${files[$i]}"
        log="$work/results/$i.log"
        read_file content "$path"
        apply_fault "$i" "$content" >"$path"
        detail=""
        if ! cmake --build "$dir/build" -j"$build_jobs" >"$log" 2>&1; then
            outcome=invalid
            detail="does not build"
        else
            status=0
            run_tests "$dir" "$log" || status=$?
            if [ "$status" = 0 ]; then
                outcome=missed
                [ -z "${equivalents[$i]}" ] || outcome=equivalent
            else
                outcome=caught
                case "$status" in
                    124|137) detail="timeout" ;;
                    1) detail="$(sed -n 's/^\[  FAILED  \] \([^ ]*\).*/\1/p' "$log" | head -n 1)" ;;
                    *) detail="exit $status" ;;
                esac
                [ -z "${equivalents[$i]}" ] || detail="${detail:+$detail; }marked equivalent"
            fi
        fi
        # Revert; the next build recompiles what depended on the fault.
        cp "$work/pristine/${files[$i]}" "$path"
        seconds=$((SECONDS - t0))
        printf '%s\t%s\t%s\n' "$outcome" "$detail" "$seconds" >"$work/results/$i"
        printf '%-10s %-48s %4ss %s\n' "$outcome" "${names[$i]}" "$seconds" "${detail:+($detail)}"
    done
}

set -m  # each worker in a process group of its own, so that it can be stopped whole
for ((w = 0; w < jobs; w++)); do
    shard=()
    for ((k = w; k < ${#selected[@]}; k += jobs)); do
        shard+=("${selected[$k]}")
    done
    worker "$w" "${shard[@]}" &
    worker_pids+=($!)
done
failed=0
for pid in "${worker_pids[@]}"; do
    wait "$pid" || failed=1
done
worker_pids=()
set +m
[ "$failed" = 0 ] || exit 2

# --- Summary ----------------------------------------------------------------
caught=0 missed=0 equivalent=0 invalid=0
missed_list=() invalid_list=() marked_caught=()
for i in "${selected[@]}"; do
    IFS=$'\t' read -r outcome detail _ <"$work/results/$i"
    case "$outcome" in
        caught)
            caught=$((caught + 1))
            [ -z "${equivalents[$i]}" ] || marked_caught+=("$i")
            ;;
        missed) missed=$((missed + 1)); missed_list+=("$i") ;;
        equivalent) equivalent=$((equivalent + 1)) ;;
        invalid) invalid=$((invalid + 1)); invalid_list+=("$i") ;;
    esac
done

show() {
    local i="$1"
    echo "  ${names[$i]} (${files[$i]})"
    [ -z "${afters[$i]}" ] || echo "      after:   ${afters[$i]}"
    echo "      find:    ${finds[$i]}"
    echo "      replace: ${replaces[$i]}"
}
if [ ${#missed_list[@]} -gt 0 ]; then
    echo
    echo "Missed:"
    for i in "${missed_list[@]}"; do show "$i"; done
fi
if [ ${#invalid_list[@]} -gt 0 ]; then
    echo
    echo "Invalid (do not build; logs kept with -k):"
    for i in "${invalid_list[@]}"; do show "$i"; done
fi
if [ ${#marked_caught[@]} -gt 0 ]; then
    echo
    echo "Marked equivalent but caught (the marker is wrong):"
    for i in "${marked_caught[@]}"; do show "$i"; done
fi

judged=$((caught + missed))
elapsed=$((SECONDS - started))
echo
printf 'faults %d: caught %d, missed %d, equivalent %d, invalid %d\n' \
    "${#selected[@]}" "$caught" "$missed" "$equivalent" "$invalid"
if [ "$judged" -gt 0 ]; then
    printf 'caught %d of %d non-equivalent faults: %d.%d %%\n' "$caught" "$judged" \
        $((caught * 100 / judged)) $(((caught * 1000 / judged) % 10))
fi
printf 'time %dm%02ds with %d workers\n' $((elapsed / 60)) $((elapsed % 60)) "$jobs"
[ "$missed" = 0 ] && [ "$invalid" = 0 ]
