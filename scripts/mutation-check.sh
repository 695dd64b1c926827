#!/bin/bash
# Mutation check: applies each one-line fault of tests/mutation/faults.txt to
# a copy of the source tree, rebuilds incrementally and runs the tests that
# cover the faulty file. The area of a fault follows its file's path:
#   windows     a file under a win/ folder: the Windows tree (windows preset,
#               MinGW) is rebuilt and the fault's ctest entries run under Wine
#   linux       a file under a posix/ folder or freerdp/: the native tree
#               with all its tests, then, if they pass, the Linux tree (linux
#               preset) with the fault's ctest entries
#   native      every other file: the native tree with all its tests
# The ctest entries of a fault are its tests: regex, or else the default of
# its folder (default_tests below). A fault is
#   caught      the tests fail, crash or hang (timeout)
#   missed      the tests pass although the fault changes behaviour
#   equivalent  the tests pass and the fault is marked as unable to change
#               behaviour (a marked fault that is caught is reported as such)
#   invalid     the faulty tree does not build
# The working tree is never modified: the tracked and untracked (not ignored)
# files, or with -r the files of a commit, are copied once into a temporary
# directory (under build/ of the checked tree, so that ccache with
# CCACHE_BASEDIR at or above it finds the regular builds' objects), and every
# worker builds in a copy of its own: one copy per worker, one build tree per
# area it needs (native: Debug, ASan and UBSan as in the regular native build;
# windows and linux: their presets). Before its first fault of an area, a
# worker builds that area's tree without any fault and runs the tests its
# faults select there; they must pass.
#
# Usage: scripts/mutation-check.sh [options] [FILTER...]
#   FILTER          run only faults whose name contains FILTER (glob
#                   characters allowed: 'decoder.*size')
#   -j N            N faults at a time, each worker in its own copy
#                   (default: the number of cores)
#   -t SECONDS      time limit of one native test run (default 60)
#   -T SECONDS      time limit of one ctest run in the Windows or Linux tree
#                   (default 1800; each entry also has its own TIMEOUT)
#   -f FILE         fault list (default tests/mutation/faults.txt)
#   -r REV          check the files of commit REV (such as HEAD) instead of
#                   the working tree; the fault list is still read from -f
#   -a AREA         run only faults of AREA (native, windows or linux)
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
ctest_timeout=1800
area_filter=""
list_only=0
diff_only=0
keep=0
revision=""

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

while getopts ":j:t:T:a:f:r:ldkh" opt; do
    case "$opt" in
        j) jobs="$OPTARG" ;;
        t) test_timeout="$OPTARG" ;;
        T) ctest_timeout="$OPTARG" ;;
        a) area_filter="$OPTARG" ;;
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
[[ "$ctest_timeout" =~ ^[1-9][0-9]*$ ]] || { echo "-T needs a positive number of seconds" >&2; exit 2; }
case "$area_filter" in
    ""|native|windows|linux) ;;
    *) echo "-a takes native, windows or linux" >&2; exit 2 ;;
esac
[ -f "$faults_file" ] || { echo "no fault list at $faults_file" >&2; exit 2; }

# --- Fault list -------------------------------------------------------------
# Entries are separated by blank lines; '#' starts a comment line. Keys:
#   fault: name   file: path   [after: text]   find: text   replace: text
#   [tests: ctest -R regex]   [equivalent: reason]
# Values are taken verbatim after the key, without surrounding blanks.
names=() files=() afters=() finds=() replaces=() equivalents=() tests=() areas=()

# The tree a file is checked in.
area_of() {
    case "$1" in
        win/* | */win/*) echo windows ;;
        posix/* | */posix/* | freerdp/*) echo linux ;;
        *) echo native ;;
    esac
}

# The ctest entries (a ctest -R regex) that cover a file of the Windows or
# Linux tree when its fault names none.
default_tests() {
    case "$1" in
        plugin/win/*) echo '^(plugin_|worker_limits|stress_idle|policy\.)' ;;
        exec/win/*) echo '^(plugin_mapi_present\.Exec|plugin_own_shares|policy\.|policy_without_display|event_log_writes)' ;;
        mail/win/*) echo '^(mail_pipeline|faults|worker_limits|outlook_handover\.OutlookHandOver|utf8_comparison)' ;;
        common/win/*) echo '^(plugin_mapi_|planting_|outlook_handover|event_log_|mail_pipeline)' ;;
        selftest/win/*) echo '^(selftest_|outlook_handover\.SelfTest)' ;;
        server/mapi/win/*) echo '^mapi_provider64_(outside_session|in_session|client_refuses)$' ;;
        server/open/win/*) echo '^zobrik_open' ;;
        server/setup/win/*) echo '^server_msi_install_restore$' ;;
        freerdp/*) echo '^(freerdp3?_e2e|freerdp[23])\.' ;;
        *) echo '.' ;;  # every entry of the tree
    esac
}

# The targets a faulty file of the Windows or Linux tree makes stale (the
# baseline builds everything): the plug-in DLL, which the test programs load,
# and the programs that compile the file themselves. "all" for the rest.
build_targets() {
    case "$1" in
        exec/win/url_idna.cpp) echo ZobrikWTSDVC zobrik-open ;;
        mail/win/utf8_to_utf16.cpp) echo ZobrikWTSDVC utf8_comparison_test ;;
        plugin/win/* | exec/win/* | mail/win/* | common/win/* | selftest/win/*) echo ZobrikWTSDVC ;;
        *) echo all ;;
    esac
}

trim() {
    local s="$1"
    s="${s#"${s%%[![:space:]]*}"}"
    s="${s%"${s##*[![:space:]]}"}"
    printf '%s' "$s"
}

parse_faults() {
    local line key value lineno=0 start=0
    local name="" file="" after="" find="" replace="" equivalent="" tests_re="" has_replace=0
    flush() {
        if [ -z "$name$file$after$find$replace$equivalent$tests_re" ] && [ "$has_replace" = 0 ]; then return; fi
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
        local area
        area="$(area_of "$file")"
        if [ -n "$tests_re" ] && [ "$area" = native ]; then
            echo "$faults_file:$start: fault '$name': tests: applies to files of the Windows or Linux tree" >&2
            exit 2
        fi
        [ "$area" = native ] || [ -n "$tests_re" ] || tests_re="$(default_tests "$file")"
        names+=("$name") files+=("$file") afters+=("$after") finds+=("$find") replaces+=("$replace")
        equivalents+=("$equivalent") tests+=("$tests_re") areas+=("$area")
        name="" file="" after="" find="" replace="" equivalent="" tests_re="" has_replace=0
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
        if [ -z "$name$file$after$find$replace$equivalent$tests_re" ] && [ "$has_replace" = 0 ]; then start=$lineno; fi
        key="${line%%:*}"
        value="$(trim "${line#*:}")"
        case "$key" in
            fault) name="$value" ;;
            file) file="$value" ;;
            after) after="$value" ;;
            find) find="$value" ;;
            replace) replace="$value"; has_replace=1 ;;
            equivalent) equivalent="$value" ;;
            tests) tests_re="$value" ;;
            *) echo "$faults_file:$lineno: unknown key '$key'" >&2; exit 2 ;;
        esac
    done < "$faults_file"
    flush
}
parse_faults

selected=()
for i in "${!names[@]}"; do
    [ -z "$area_filter" ] || [ "${areas[$i]}" = "$area_filter" ] || continue
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
[ ${#selected[@]} -gt 0 ] || { echo "no fault matches: ${area_filter:+-a $area_filter }${filters[*]}" >&2; exit 2; }

if [ "$list_only" = 1 ]; then
    for i in "${selected[@]}"; do
        printf '%-48s %-8s %-36s%s\n' "${names[$i]}" "${areas[$i]}" "${files[$i]}" "${equivalents[$i]:+  (equivalent)}"
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
mkdir -p "$root/build"
work="$(mktemp -d "$root/build/mutation.XXXXXX")"
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
        echo "== ${names[$i]} [${areas[$i]}${tests[$i]:+: ${tests[$i]}}]${equivalents[$i]:+ (equivalent: ${equivalents[$i]})}"
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

# The build tree of an area in the copy $1 (Windows and Linux: where their
# presets put it).
tree_of() {
    case "$2" in
        native) echo "$1/build" ;;
        *) echo "$1/src/build/$2" ;;
    esac
}

configure_tree() {  # dir area log
    case "$2" in
        native) cmake -S "$1/src" -B "$1/build" -DCMAKE_BUILD_TYPE=Debug >>"$3" 2>&1 ;;
        *) (cd "$1/src" && cmake --preset "$2") >>"$3" 2>&1 ;;
    esac
}

# Runs the ctest entries that the ctest options $5... select (-R regex or
# -I numbers) in the tree of area $2 of copy $1, output to $3; $4 is "stop"
# to end at the first failure. Entries that fail run once more on their
# own, one at a time (Wine entries that wait for windows or timers can fail
# under a heavy load): only a failure that repeats counts. Exit status 0 when
# all pass, 124/137 on the time limit, otherwise that of ctest.
run_ctest() {
    local status=0 stop=() tree log="$3"
    tree="$(tree_of "$1" "$2")"
    [ "$4" != stop ] || stop=(--stop-on-failure)
    shift 4
    timeout -k 10 "$ctest_timeout" ctest --test-dir "$tree" "$@" --no-tests=error \
        --output-on-failure -j"$build_jobs" "${stop[@]}" >"$log" 2>&1 || status=$?
    case "$status" in
        0 | 124 | 137) return "$status" ;;
    esac
    echo "--- the failed entries once more:" >>"$log"
    status=0
    timeout -k 10 "$ctest_timeout" ctest --test-dir "$tree" --rerun-failed --output-on-failure \
        >>"$log" 2>&1 || status=$?
    if [ "$status" = 0 ] && [ ${#stop[@]} -gt 0 ]; then
        # The entries after the one that failed have not run yet.
        echo "--- passed; the failed entries once more: all entries, without stopping" >>"$log"
        timeout -k 10 "$ctest_timeout" ctest --test-dir "$tree" "$@" --output-on-failure -j"$build_jobs" \
            >>"$log" 2>&1 || status=$?
    fi
    return "$status"
}

# The first entry that ctest's log $1 lists as failed, with its reason.
first_failed_entry() {
    sed -n '/^--- the failed entries once more:/,$ {/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \(.*\)$/\1/p}' "$1" |
        head -n 1
}

# The numbers of the ctest entries in the tree of area $2 of copy $1 that
# the faults $3... of that area select, as "-I 0,0,0,<number>,...": one
# regex of them all would pass the ten groups that ctest's regular
# expressions hold.
area_entries() {
    local tree area="$2" i
    tree="$(tree_of "$1" "$2")"
    shift 2
    local numbers="" found
    for i in "$@"; do
        [ "${areas[$i]}" = "$area" ] || continue
        found="$(ctest --test-dir "$tree" -N -R "${tests[$i]}" | sed -n 's/^ *Test *#\([0-9]*\):.*/\1/p')"
        if [ -z "$found" ]; then
            echo "fault '${names[$i]}': no ctest entry of the $area tree matches '${tests[$i]}'" >&2
            return 1
        fi
        numbers+="$found"$'\n'
    done
    echo "0,0,0,$(printf '%s' "$numbers" | sort -un | paste -sd, -)"
}

# Builds the tree of area $2 in copy $1 without any fault and runs its tests
# (for windows and linux: the entries that the faults $3... select there).
baseline() {
    local dir="$1" area="$2" log="$1/baseline-$2.log"
    shift 2
    if ! configure_tree "$dir" "$area" "$log" || ! cmake --build "$(tree_of "$dir" "$area")" -j"$build_jobs" >>"$log" 2>&1; then
        echo "baseline build of the $area tree failed, see $log" >&2
        return 3
    fi
    if [ "$area" = native ]; then
        run_tests "$dir" "$dir/baseline-native-tests.log" && return 0
    else
        local entries
        entries="$(area_entries "$dir" "$area" "$@")" || return 3
        run_ctest "$dir" "$area" "$dir/baseline-$area-tests.log" all -I "$entries" && return 0
    fi
    echo "baseline tests of the $area tree fail without any fault:" >&2
    tail -n 30 "$dir/baseline-$area-tests.log" >&2
    return 3
}

# Builds the tree of area $2 in copy $1 and runs the tests of fault $3 there;
# appends to the log $4. Sets outcome (built/caught) and detail; returns 1
# when the tree does not build.
check_in_tree() {
    local dir="$1" area="$2" i="$3" log="$4" status=0 tests_log targets=(all) own
    if [ "$area" != native ]; then
        own="$(build_targets "${files[$i]}")"
        # The previous fault's targets were built with it and are stale
        # since its revert.
        # shellcheck disable=SC2207,SC2086  # target names have no blanks
        targets=($(printf '%s\n' $own ${stale_targets[$area]:-} | sort -u))
        stale_targets[$area]="$own"
    fi
    if ! cmake --build "$(tree_of "$dir" "$area")" -j"$build_jobs" --target "${targets[@]}" >>"$log" 2>&1; then
        return 1
    fi
    tests_log="$log.$area-tests"
    if [ "$area" = native ]; then
        run_tests "$dir" "$tests_log" || status=$?
    else
        run_ctest "$dir" "$area" "$tests_log" stop -R "${tests[$i]}" || status=$?
    fi
    cat "$tests_log" >>"$log"
    rm -f "$tests_log"
    outcome=built
    [ "$status" != 0 ] || return 0
    outcome=caught
    case "$status" in
        124|137) detail="$area: timeout" ;;
        *)
            if [ "$area" = native ] && [ "$status" = 1 ]; then
                detail="$(sed -n 's/^\[  FAILED  \] \([^ ]*\).*/\1/p' "$log" | head -n 1)"
            elif [ "$area" != native ]; then
                detail="$area: $(first_failed_entry "$log")"
            else
                detail="exit $status"
            fi
            ;;
    esac
    return 0
}

worker() {
    local w="$1"
    shift
    local dir="$work/w$w"
    mkdir "$dir"
    cp -a "$work/pristine" "$dir/src"
    local ready=" " i path content outcome detail t0 seconds log area trees tree
    declare -A stale_targets=()  # per tree, read by check_in_tree

    for i in "$@"; do
        t0=$SECONDS
        area="${areas[$i]}"
        # The trees the fault is checked in, one after the other.
        case "$area" in
            native) trees=(native) ;;
            windows) trees=(windows) ;;
            linux) trees=(native linux) ;;
        esac
        for tree in "${trees[@]}"; do
            if [[ "$ready" != *" $tree "* ]]; then
                baseline "$dir" "$tree" "$@" || return 3
                ready+="$tree "
            fi
        done

        path="$dir/src/${files[$i]}"
        log="$work/results/$i.log"
        : >"$log"
        read_file content "$path"
        apply_fault "$i" "$content" >"$path"
        outcome="" detail=""
        for tree in "${trees[@]}"; do
            if ! check_in_tree "$dir" "$tree" "$i" "$log"; then
                outcome=invalid
                detail="does not build ($tree tree)"
                break
            fi
            [ "$outcome" != caught ] || break
        done
        if [ "$outcome" = built ]; then
            outcome=missed
            [ -z "${equivalents[$i]}" ] || outcome=equivalent
        elif [ "$outcome" = caught ] && [ -n "${equivalents[$i]}" ]; then
            detail="${detail:+$detail; }marked equivalent"
        fi
        # Revert; the next build recompiles what depended on the fault.
        cp "$work/pristine/${files[$i]}" "$path"
        seconds=$((SECONDS - t0))
        printf '%s\t%s\t%s\n' "$outcome" "$detail" "$seconds" >"$work/results/$i"
        printf '%-10s %-48s %-7s %4ss %s\n' "$outcome" "${names[$i]}" "$area" "$seconds" "${detail:+($detail)}"
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
declare -A area_count=()
for i in "${selected[@]}"; do
    IFS=$'\t' read -r outcome detail _ <"$work/results/$i"
    area_count[${areas[$i]}.$outcome]=$((${area_count[${areas[$i]}.$outcome]:-0} + 1))
    area_count[${areas[$i]}.all]=$((${area_count[${areas[$i]}.all]:-0} + 1))
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
    echo "  ${names[$i]} (${files[$i]}, ${areas[$i]}${tests[$i]:+: ${tests[$i]}})"
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

# caught of judged as "caught C of J non-equivalent faults: P %".
print_rate() {
    local c="$1" judged=$(($1 + $2))
    [ "$judged" -gt 0 ] || return 0
    printf '%scaught %d of %d non-equivalent faults: %d.%d %%\n' "$3" "$c" "$judged" \
        $((c * 100 / judged)) $(((c * 1000 / judged) % 10))
}
elapsed=$((SECONDS - started))
echo
for area in native windows linux; do
    [ -n "${area_count[$area.all]:-}" ] || continue
    printf '%-8s faults %d: caught %d, missed %d, equivalent %d, invalid %d\n' "$area" \
        "${area_count[$area.all]}" "${area_count[$area.caught]:-0}" "${area_count[$area.missed]:-0}" \
        "${area_count[$area.equivalent]:-0}" "${area_count[$area.invalid]:-0}"
    print_rate "${area_count[$area.caught]:-0}" "${area_count[$area.missed]:-0}" "         "
done
printf 'faults %d: caught %d, missed %d, equivalent %d, invalid %d\n' \
    "${#selected[@]}" "$caught" "$missed" "$equivalent" "$invalid"
print_rate "$caught" "$missed" ""
printf 'time %dm%02ds with %d workers\n' $((elapsed / 60)) $((elapsed % 60)) "$jobs"
[ "$missed" = 0 ] && [ "$invalid" = 0 ]
