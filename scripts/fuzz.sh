#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: Clang, ASan and UBSan) and runs
# each for SECONDS (default 60) on a scratch copy of its corpus, so the
# repository's corpus does not grow. Prints "target: N execs, M findings" per
# target and exits non-zero when any target found something (a crash, a
# sanitizer report, a failed check, a leak, a timeout or an allocation past
# the limits); the inputs and logs are kept and their folder is printed.
#
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
#   KV_FUZZ_PARALLEL=N runs N targets at once (default 1). Each target is one
#   process (no -jobs or -workers: they would spawn workers that log into the
#   working folder).
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
kv_require_packages build fuzz || exit 2

seconds=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
parallel=${KV_FUZZ_PARALLEL:-1}

if (($#)); then
  targets=("$@")
else
  # The one list of targets is the one that fuzz/CMakeLists.txt builds.
  mapfile -t targets < <(sed -n '/^set(KV_FUZZ_TARGETS/,/)/p' fuzz/CMakeLists.txt |
    sed -e '1d' -e 's/)//' -e 's/^ *//' | grep -v '^$')
fi

echo "== fuzz: configure and build"
cmake --preset fuzz >/dev/null || exit 2
cmake --build --preset fuzz -j 2 >/dev/null || { cmake --build --preset fuzz -j 1; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kvfuzz.XXXXXX")

# Runs one target; writes its summary line to $scratch/<target>/summary.
run_target() {
  local t=$1
  local dir=$scratch/$t
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  cp fuzz/corpus/"$t"/* "$dir/corpus/"
  # A format's dictionary serves every target of that format: fuzz/pia.dict
  # for pia_load and pia_compressed.
  local dict=()
  [[ -f fuzz/${t%%_*}.dict ]] && dict=(-dict="fuzz/${t%%_*}.dict")
  # Compressed PIA loads make temporary files; they stay in the scratch folder.
  TMPDIR=$dir/tmp build/fuzz/bin/"${t}"_fuzz "$dir/corpus" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "${dict[@]}" \
    >"$dir/log" 2>&1
  local rc=$?
  local execs
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | tail -1 | awk '{print $2}')
  local findings
  findings=$(find "$dir/artifacts" -type f | wc -l)
  if ((rc != 0 && findings == 0)); then findings=1; fi
  echo "$t: ${execs:-0} execs, $findings findings" >"$dir/summary"
  cat "$dir/summary"
}

echo "== fuzz: ${#targets[@]} targets, ${seconds}s each, $parallel at a time (scratch: $scratch)"
running=0
for t in "${targets[@]}"; do
  if [[ ! -x build/fuzz/bin/${t}_fuzz || ! -d fuzz/corpus/$t ]]; then
    mkdir -p "$scratch/$t"
    echo "$t: no target or no corpus" | tee "$scratch/$t/summary"
    continue
  fi
  run_target "$t" &
  running=$((running + 1))
  if ((running >= parallel)); then
    wait -n
    running=$((running - 1))
  fi
done
wait

echo "== fuzz: summary"
failed=0
for t in "${targets[@]}"; do
  line=$(cat "$scratch/$t/summary")
  echo "$line"
  if [[ $line != *" 0 findings" ]]; then
    failed=1
    for a in "$scratch/$t"/artifacts/*; do [[ -e $a ]] && echo "   input: $a"; done
    [[ -f $scratch/$t/log ]] && echo "   log:   $scratch/$t/log"
  fi
done
if ((failed)); then
  echo "== fuzz: findings; inputs and logs kept in $scratch"
  exit 1
fi
rm -rf "$scratch"
echo "== fuzz: no findings"
