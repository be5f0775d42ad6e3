#!/bin/bash
# Runs each fuzz target for a bounded time, one after the other, and reports the executions of each.
# Usage: scripts/fuzz/run.sh [seconds per target] [target ...]   (default: 60 s, all targets)
# Seeds are read from scripts/fuzz/corpus/<target>/ (never written); what the run learns goes to
# build-fuzz/corpus/<target>/, crashing inputs to build-fuzz/artifacts/<target>/, output to build-fuzz/logs/.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_number fuzz_date fuzz_pinyin fuzz_qr fuzz_orderline fuzz_lanserve)
fi
declare -A maxLength=([fuzz_number]=512 [fuzz_date]=128 [fuzz_pinyin]=2048 [fuzz_qr]=7300
                      [fuzz_orderline]=4096 [fuzz_lanserve]=16384)

missing=()
for target in "${targets[@]}"; do
    [ -x "$out/$target" ] || missing+=("$target")
done
if [ ${#missing[@]} -gt 0 ]; then
    "$root/scripts/fuzz/build.sh" "${missing[@]}" || exit 1
fi

mkdir -p "$out/logs"
failed=0
printf '%-16s %12s %10s %8s  %s\n' target executions per_s new result
for target in "${targets[@]}"; do
    corpus=$out/corpus/$target
    artifacts=$out/artifacts/$target
    log=$out/logs/$target.log
    mkdir -p "$corpus" "$artifacts"
    # The server target keeps its temporary database under /dev/shm or TMPDIR; it removes it at exit.
    "$out/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -max_len="${maxLength[$target]:-4096}" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" "$root/scripts/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
    if [ $status -eq 0 ]; then
        result=ok
    else
        result="FAILED (exit $status): $(ls -t "$artifacts" | head -1), see $log"
        failed=1
    fi
    printf '%-16s %12s %10s %8s  %s\n' "$target" "${runs:-?}" "${rate:-?}" "${added:-?}" "$result"
done
exit $failed
