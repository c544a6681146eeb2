#!/usr/bin/env bash
# Installs what the build needs (on Debian 12, as root), then builds and runs
# every test twice: with the dev preset (GCC, warnings as errors) and with the
# asan preset (Clang, AddressSanitizer and UndefinedBehaviorSanitizer). The
# tests include a replay of every fuzz target's corpus (fuzz_replay_<target>),
# so every input that once found a bug is run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ clang libclang-rt-14-dev llvm zlib1g-dev libgtest-dev
          libgmock-dev nlohmann-json3-dev libcli11-dev python3 python3-olefile libgsf-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "== installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "missing packages: ${missing[*]}" >&2
    echo "install them (apt-get install ${missing[*]}) or run this script as root" >&2
    exit 1
  fi
fi

for preset in dev asan; do
  echo "== $preset: configure"
  cmake --preset "$preset" >/dev/null
  echo "== $preset: build"
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
echo "== all tests passed"
