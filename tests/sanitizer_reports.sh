#!/usr/bin/env bash
# Sanitizer reports of a test run (CJ_SANITIZE): the runtimes write them to files in FOLDER, so a finding
# in a program a test starts (Lanserve, the crash driver) counts even when the test only reads its output.
# Usage: sanitizer_reports.sh clear FOLDER   (before the tests)
#        sanitizer_reports.sh check FOLDER   (after them: prints every report, fails when there is one)
set -euo pipefail
mode=$1 folder=$2
case $mode in
clear)
    rm -rf "$folder"
    mkdir -p "$folder"
    ;;
check)
    shopt -s nullglob
    reports=("$folder"/*)
    for report in "${reports[@]}"; do
        echo "==== $report"
        cat "$report"
    done
    if [ ${#reports[@]} -gt 0 ]; then
        echo "FAIL: ${#reports[@]} sanitizer report(s)" >&2
        exit 1
    fi
    echo "no sanitizer reports"
    ;;
*)
    echo "usage: sanitizer_reports.sh clear|check FOLDER" >&2
    exit 2
    ;;
esac
