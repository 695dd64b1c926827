#!/bin/bash
# Line coverage of the Windows layer (the files under win/ folders that the
# plug-in DLL is built from) under the Wine tests.
#
# Builds the Windows tree as the windows preset does, in build/wincov, with
# only the DLL's own objects instrumented (--coverage; libgcov is linked
# statically like the rest of the MinGW runtime), so every other object comes
# from the compiler cache of the regular build. The test programs write their
# .gcda files next to the objects: the paths compiled in are Unix paths,
# which Wine reaches through the current drive Z:. Then runs the tests and
# prints, per source file, the lines run and the lines there are.
#
# Usage: scripts/windows-coverage.sh [-k] [-u FILE]... [CTEST-REGEX]
#   CTEST-REGEX  run only the ctest entries matching it (default: all)
#   -k           keep the counts of earlier runs (they add up)
#   -u FILE      also list the lines of FILE (such as exec/win/exec_worker.cpp)
#                that no test ran
#   -h           this help
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/wincov"
keep=0
uncovered=()
while getopts "ku:h" option; do
    case "$option" in
        k) keep=1 ;;
        u) uncovered+=("$OPTARG") ;;
        h) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
regex="${1:-}"

# Instruments the DLL's objects once the project's targets exist.
mkdir -p "$build"
cat >"$build/instrument.cmake" <<'EOF'
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zobrik_instrument_windows_layer)
function(zobrik_instrument_windows_layer)
    if(TARGET zobrik_core)
        target_compile_options(zobrik_core PRIVATE --coverage)
        target_compile_options(ZobrikWTSDVC PRIVATE $<$<COMPILE_LANGUAGE:CXX>:--coverage>)
    endif()
endfunction()
EOF
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DZOBRIK_WERROR=ON \
    -DCMAKE_PROJECT_INCLUDE="$build/instrument.cmake" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j2 >/dev/null

objects=("$build/CMakeFiles/zobrik_core.dir" "$build/CMakeFiles/ZobrikWTSDVC.dir")
if [ "$keep" -eq 0 ]; then
    find "${objects[@]}" -name '*.gcda' -delete
fi
(cd "$build" && ctest -j2 ${regex:+-R "$regex"} >"$build/ctest.log" 2>&1) ||
    echo "windows-coverage: some tests failed, see $build/ctest.log" >&2

# gcov runs in the build tree, where the objects' relative source paths
# (../../plugin/win/...) lead to the sources.
report="$build/gcov"
rm -rf "$report"
mkdir -p "$report"
cd "$build"
find "${objects[@]}" -name '*.gcda' | while read -r data; do
    x86_64-w64-mingw32-gcov -p -o "$(dirname "$data")" "$data" >/dev/null 2>&1 || true
done
mv ./*.gcov "$report"/ 2>/dev/null || true
cd "$report"
for file in *win#*.gcov; do
    [ -e "$file" ] || continue
    case "$file" in *"#usr#"*) continue ;; esac
    source="$(echo "$file" | sed 's/^[\^#]*//; s/#/\//g; s/\.gcov$//')"
    lines=$(grep -cE '^ *(#####|[0-9]+\*?):' "$file" || true)
    missed=$(grep -cE '^ *#####:' "$file" || true)
    echo "$source $((lines - missed)) $lines"
done | sort | awk '{
    printf "%-44s %5d/%-5d %5.1f%%\n", $1, $2, $3, $3 ? 100 * $2 / $3 : 100
    run += $2; all += $3
} END { printf "%-44s %5d/%-5d %5.1f%%\n", "total", run, all, all ? 100 * run / all : 100 }'
for source in "${uncovered[@]}"; do
    echo "== lines of $source no test ran"
    grep -E '^ *#####:' "$report/$(echo "$source" | sed 's/\//#/g; s/^/^#^#/').gcov" | sed 's/^ *#####: *//' || true
done
