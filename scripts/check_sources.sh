#!/usr/bin/env bash
# The build files list their sources by name, so a new file that nobody adds
# to a list would silently not be built (a test file: silently not run). This
# finds every C and C++ source that git tracks under src/, tests/, tools/,
# bench/ and examples/ and fails for each one that no build tree compiles
# (compile_commands.json of build/linux and build/win64; run after make build
# and make dll). Sources that scripts build are listed below.
set -euo pipefail
cd "$(dirname "$0")/.."

built_by_scripts=(
    tests/wine/wine_peer.c                   # scripts/wine_tests.sh
    tests/package/consumer/consumer.c        # scripts/package_tests.sh
    tests/package/consumer/cpp_exports.cpp   # scripts/package_tests.sh
    tests/package/windows_import_test.c      # scripts/package_tests.sh
)

for tree in build/linux build/win64; do
    [ -f "$tree/compile_commands.json" ] ||
        { echo "check_sources: $tree/compile_commands.json is missing (make build dll)" >&2; exit 1; }
done

# A batched (unity) build compiles generated files that include the sources.
files=$(sed -n -E 's/^ *"file": *"(.*)",?$/\1/p' build/linux/compile_commands.json build/win64/compile_commands.json)
compiled=$( { grep -v '/Unity/unity_' <<<"$files"
              grep '/Unity/unity_' <<<"$files" | xargs -r sed -n -E 's/^#include "(.*)"$/\1/p'; } |
    sed "s|^$PWD/||" | LC_ALL=C sort -u)
missing=$(git ls-files -- 'src/*.c' 'src/*.cpp' 'tests/*.c' 'tests/*.cpp' 'tools/*.c' 'tools/*.cpp' \
              'bench/*.cpp' 'examples/*.c' 'examples/*.cpp' |
          grep -v -x -F -f <(printf '%s\n' "${built_by_scripts[@]}") |
          LC_ALL=C sort | LC_ALL=C comm -23 - <(printf '%s\n' "$compiled"))
if [ -n "$missing" ]; then
    echo "check_sources: no build file lists these sources:"
    printf '  %s\n' $missing
    exit 1
fi
echo "check_sources: every source is in a build file's list"
