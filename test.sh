#!/usr/bin/env bash
# Installs what is missing, builds, runs every test; then builds and runs
# them again under AddressSanitizer and UndefinedBehaviorSanitizer; then
# builds the program as a plain Release build and packages it (a .deb,
# unpacked into a scratch root and used there).  Warnings are errors here
# (TARNIVOX_WERROR), not in a build without the option.
set -euo pipefail
cd "$(dirname "$0")"
source ./scripts_common.sh
need_packages "${TARNIVOX_PACKAGES[@]}"
jobs=$(nproc)

echo "== layering: no include reaches past the include roots"
if grep -rnE '#include "\.\.?/' src app; then
    echo "an include by relative path bypasses the layering of the subsystems" >&2
    exit 1
fi

echo "== named codes: no bare command number, no code defined twice"
python3 scripts/check_named_codes.py

echo "== build and test"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIVOX_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== build and test with sanitizers"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNIVOX_SANITIZE=ON -DTARNIVOX_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
echo "== release build of the program (as a packager builds it), warning-clean"
configure build-release -DCMAKE_BUILD_TYPE=Release -DTARNIVOX_WERROR=ON -DTARNIVOX_TESTS=OFF -DTARNIVOX_BENCH=OFF
cmake --build build-release -j "$jobs" --target tarnivox tarnivox-simulate
echo "== Debian package: built, unpacked into a scratch root, used"
packaging/check_package.sh build-release
echo "== all tests passed"
