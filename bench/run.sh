#!/usr/bin/env bash
# Builds the bench preset (optimised library and benchmarks), runs kvstore and
# its peers on the synthetic configurations and prints one markdown table.
#   bench/run.sh                 all sizes (1k, 10k, 100k, 1M properties)
#   KV_BENCH_SIZES=1000,10000 bench/run.sh
# Progress goes to standard error, the table to standard output. The raw
# results stay in build/bench/results/. Installs what it needs (as root), like
# scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
kv_require_packages build bench

sizes=${KV_BENCH_SIZES:-1000,10000,100000,1000000}
results=build/bench/results
echo "== configure and build (preset bench)" >&2
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 >&2
mkdir -p "$results"

echo "== benchmarks ($sizes properties)" >&2
build/bench/bin/kv_bench --kv_sizes="$sizes" \
  --benchmark_out="$results/bench.json" --benchmark_out_format=json >&2

# DOC documents against libgsf, up to 100k properties.
doc_sizes=$(tr , '\n' <<<"$sizes" | awk '$1 <= 100000' | paste -sd, -)
echo "== DOC benchmarks ($doc_sizes properties)" >&2
build/bench/bin/kv_bench_doc --kv_sizes="$doc_sizes" \
  --benchmark_out="$results/doc.json" --benchmark_out_format=json >&2

echo "== DPIA files and the Huffman codec" >&2
build/bench/bin/kv_bench_dpia \
  --benchmark_out="$results/dpia.json" --benchmark_out_format=json >&2

echo "== legacy readers (${KV_BENCH_LINES:-100,1000,10000} key lines)" >&2
build/bench/bin/kv_bench_legacy --kv_lines="${KV_BENCH_LINES:-100,1000,10000}" \
  --benchmark_out="$results/legacy.json" --benchmark_out_format=json >&2

echo "== memory, one tree per process" >&2
: >"$results/memory.jsonl"
for lib in kvstore ptree; do
  for n in ${sizes//,/ }; do
    build/bench/bin/kv_bench_mem "$lib" "$n" >>"$results/memory.jsonl"
  done
done

echo "== distinct names ($sizes properties)" >&2
build/bench/bin/kv_bench_distinct --kv_sizes="$sizes" \
  --benchmark_out="$results/distinct.json" --benchmark_out_format=json >&2

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
compiler=$(grep -m1 '^CMAKE_CXX_COMPILER:' build/bench/CMakeCache.txt | cut -d= -f2-)
echo "Machine: $(nproc) cores, ${cpu:-unknown CPU}, $("$compiler" --version | head -1)," \
  "$(grep -m1 '^CMAKE_BUILD_TYPE:' build/bench/CMakeCache.txt | cut -d= -f2-) build."
echo
python3 bench/report.py "$results/bench.json" "$results/memory.jsonl" "$results/legacy.json" \
  --dpia="$results/dpia.json" \
  "$results/doc.json"

echo "== driver description import" >&2
build/bench/bin/kv_bench_pdt --kv_lines="${KV_BENCH_PDT_LINES:-100,1000,10000,100000}" \
  --benchmark_out="$results/pdt.json" --benchmark_out_format=json >&2
echo
python3 bench/report_pdt.py "$results/pdt.json"
echo
python3 bench/report_distinct.py "$results/distinct.json"
