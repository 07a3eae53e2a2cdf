#!/usr/bin/env bash
# Configures and builds everything into $KAVROL_BUILD_DIR (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KAVROL_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KAVROL_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
