#!/usr/bin/env bash
# Installs what the build needs (on Debian 12, as root), then builds and runs
# every test twice: with the dev preset (GCC, warnings as errors) and with the
# asan preset (Clang, AddressSanitizer and UndefinedBehaviorSanitizer). The
# tests include a replay of every fuzz target's corpus (fuzz_replay_<target>),
# so every input that once found a bug is run again. Last, the tsan preset
# builds the library and the thread stress test alone and runs it under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
kv_require_packages build test

for preset in dev asan tsan; do
  echo "== $preset: configure"
  cmake --preset "$preset" >/dev/null
  echo "== $preset: build"
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
echo "== all tests passed"
