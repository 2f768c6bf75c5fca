#!/usr/bin/env bash
# Checks the C++ sources without building them: layout by clang-format (the
# repository's .clang-format) and cppcheck's warning, style, performance and
# portability checks. Prints what it finds and fails if anything is found.
#   scripts/lint.sh [--fix]     --fix rewrites the layout instead of failing on it
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')

if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${sources[@]}"
else
    clang-format --dry-run -Werror "${sources[@]}"
fi
# The program and its tools, each file with the headers it includes; the
# tests' framework macros are beyond cppcheck. Benchmark callbacks must take
# a non-const state.
mapfile -t units < <(git ls-files 'src/*.cpp' 'tools/*.cpp' 'fuzz/*.cpp' 'bench/*.cpp')
# cppcheck 2.11 and later follow only some branches of a long function unless
# told to follow them all; older versions follow all and know no such option.
depth=()
[[ $(cppcheck --help) == *--check-level* ]] && depth=(--check-level=exhaustive)
cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ "${depth[@]}" \
    --enable=warning,style,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --suppress=constParameterCallback -I src -I tools "${units[@]}"
echo "lint: ${#sources[@]} files, layout and cppcheck clean"
