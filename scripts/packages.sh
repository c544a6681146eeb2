#!/usr/bin/env bash
# The one list of Debian 12 packages that the project's scripts need, by
# purpose, and the function that makes sure they are there. Sourced by
# scripts/test.sh, scripts/demo.sh, scripts/fuzz.sh, scripts/valgrind.sh and
# bench/run.sh:
#
#   source scripts/packages.sh
#   kv_require_packages build test      # the groups this script needs
#
# Missing packages are installed with apt-get when the script runs as root
# (one `apt-get update` per run); otherwise the script stops and prints the
# apt-get command that installs them.

# Groups (bash 4 associative array: group -> space-separated packages).
declare -A KV_PACKAGES=(
  # Configure and build the library, kvtool and the demo host.
  [build]="cmake ninja-build g++ zlib1g-dev nlohmann-json3-dev libcli11-dev python3"
  # Unit tests, the sanitizer builds and the independent readers the tests
  # check our files with; pkg-config and man for the tests of an installed kvstore.
  [test]="clang libclang-rt-14-dev llvm libgtest-dev libgmock-dev python3-olefile libgsf-bin pkg-config man-db"
  # The benchmarks and their peers.
  [bench]="clang libbenchmark-dev libboost-dev libgsf-1-dev pkg-config"
  # The libFuzzer targets.
  [fuzz]="clang libclang-rt-14-dev llvm"
  # scripts/valgrind.sh.
  [valgrind]="valgrind"
)

# kv_missing_packages GROUP...: prints the packages of the groups that are not
# installed, one per line.
kv_missing_packages() {
  local group p
  local -A seen=()
  for group in "$@"; do
    if [[ -z ${KV_PACKAGES[$group]+set} ]]; then
      echo "scripts/packages.sh: unknown package group '$group'" >&2
      return 2
    fi
    for p in ${KV_PACKAGES[$group]}; do
      [[ -n ${seen[$p]+set} ]] && continue
      seen[$p]=1
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        echo "$p"
    done
  done
}

# kv_require_packages GROUP...: installs what the groups need, or explains what
# to install and returns non-zero.
kv_require_packages() {
  local missing
  missing=$(kv_missing_packages "$@") || return 2
  [[ -z $missing ]] && return 0
  # shellcheck disable=SC2086
  set -- $missing
  if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
    echo "== installing: $*" >&2
    if [[ -z ${KV_APT_UPDATED:-} ]]; then
      apt-get update -qq >&2
      export KV_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >&2
  else
    echo "missing packages: $*" >&2
    echo "install them (apt-get install $*) or run this script as root" >&2
    return 1
  fi
}
