#!/usr/bin/env bash
# Formatting and static analysis of the kit's own sources.
#   scripts/lint.sh format    - clang-format check (scripts/lint.sh fix rewrites the files)
#   scripts/lint.sh analyse   - clang-tidy over the native compile database, then cppcheck
set -uo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.hpp' '*.h' '*.c' 2>/dev/null ||
                       find client compass i2cbus simboard tools examples tests bench -name '*.[ch]pp' -o -name '*.[ch]')

case "${1:-format}" in
format)
    clang-format --dry-run --Werror "${sources[@]}" ;;
fix)
    clang-format -i "${sources[@]}" ;;
analyse)
    db=build/native
    [ -f $db/compile_commands.json ] || { echo "lint.sh: run the native build first ($db)" >&2; exit 1; }
    # What we ship and the examples; the tests are GoogleTest macro soup and get the compiler's eye.
    mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep -E '^(client|compass|i2cbus|simboard|tools|examples)/.*\.(cpp|c)$' |
                         grep -v '^simboard/bridge/.*\.c$')  # not the bridge's kernel module (kbuild's)
    rc=0
    out=$(clang-tidy -p $db --quiet "${units[@]}" 2>&1) || rc=1
    printf '%s\n' "$out" | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' || true
    cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability --inline-suppr \
        --std=c++20 --language=c++ -I i2cbus/include -I simboard/include -I compass/include \
        --suppress=missingIncludeSystem "${units[@]}" || rc=1
    exit $rc ;;
*)
    echo "lint.sh: unknown mode '$1'" >&2; exit 2 ;;
esac
