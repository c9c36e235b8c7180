#!/usr/bin/env bash
# Installs what is missing, builds and starts Tarnivox.  Arguments are
# passed to the program (for example --script FILE).
set -euo pipefail
cd "$(dirname "$0")"
source ./scripts_common.sh
need_packages "${TARNIVOX_PACKAGES[@]}"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target tarnivox
exec ./build/tarnivox "$@"
