#!/bin/bash
# Runs the libFuzzer targets (tests/fuzz/) for a bounded time each, one after the other, prints the
# executions of each and exits non-zero when one failed.
# Usage: scripts/fuzz/run.sh [--check] [seconds per target] [target ...]   (default: 60 s, every target)
#
# The targets are built by CMake in the clang sanitizer build, build-asan/ unless FUZZ_BUILD_DIR names
# another folder. Seeds are read from tests/fuzz/corpus/<target>/ (never written); what a run learns is kept
# for the next one in <build>/tests/fuzz/corpus/<target>/, a failing input goes to
# <build>/tests/fuzz/artifacts/<target>/ and the output to <build>/tests/fuzz/logs/<target>.log.
# --check is the test suite's short run: nothing is built, the run starts from the seeds alone, and the
# output of a failed run is printed.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build-asan}
work=$out/tests/fuzz
# The longest input each target is given: what its code reads, so no time goes to bytes it ignores.
declare -A maxLength=([fuzz_number]=512 [fuzz_date]=128 [fuzz_pinyin]=2048 [fuzz_qr]=7300
                      [fuzz_orderline]=4096 [fuzz_lanserve]=16384)

check=0
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_number fuzz_date fuzz_pinyin fuzz_qr fuzz_orderline fuzz_lanserve)
fi
for target in "${targets[@]}"; do
    if [ -z "${maxLength[$target]:-}" ]; then
        echo "run.sh: unknown target $target" >&2
        exit 2
    fi
done

if [ $check -eq 0 ]; then
    build=()
    for target in "${targets[@]}"; do
        build+=(--target "$target")
    done
    # CXX picks the compiler of a new folder only; a configured one keeps its own.
    if ! CXX=clang++ "$root/scripts/build" --dir "$out" -DCJ_BUILD_TESTS=ON -DCJ_SANITIZE=ON "${build[@]}"; then
        echo "run.sh: building failed; the fuzz targets need a sanitizer build folder made with clang" >&2
        exit 1
    fi
fi

# As in the sanitizer tests, but reports go to the output, where libFuzzer adds the input that made them.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
mkdir -p "$work/logs"
failed=0
printf '%-16s %12s %10s %8s  %s\n' target executions per_s new result
for target in "${targets[@]}"; do
    corpus=$work/corpus/$target
    if [ $check -eq 1 ]; then
        corpus=$work/check/$target
        rm -rf "$corpus"
    fi
    artifacts=$work/artifacts/$target
    log=$work/logs/$target.log
    mkdir -p "$corpus" "$artifacts"
    # New inputs go to the first folder; the server target keeps its database under /dev/shm or TMPDIR
    # and removes it at exit.
    "$work/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -max_len="${maxLength[$target]}" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
    if [ $status -ne 0 ]; then
        input=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
        result="FAILED (exit $status${input:+, input $input}), see $log"
    elif [ "${runs:-0}" -le 0 ]; then
        # A harness that stopped before fuzzing, or a program that is no fuzzer at all.
        result="FAILED (no input ran), see $log"
    else
        result=ok
    fi
    printf '%-16s %12s %10s %8s  %s\n' "$target" "${runs:-?}" "${rate:-?}" "${added:-?}" "$result"
    if [ "$result" != ok ]; then
        failed=1
        [ $check -eq 1 ] && tail -n 80 "$log"
    fi
done
exit $failed
