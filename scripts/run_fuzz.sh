#!/usr/bin/env bash
# Builds the libFuzzer targets of the input readers (clang++, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS from its committed seed corpus with a
# fixed seed. Any crash, sanitizer report, exception other than the program's own error,
# out-of-memory (-rss_limit_mb) or slow input (-timeout) is a finding: the input is kept as
# ARTIFACT_DIR/<target>-crash-..., and the script fails after running every target.
# Usage: scripts/run_fuzz.sh [SECONDS [TARGET...]]   (default: 25 seconds, every target)
# Environment: FUZZ_BUILD_DIR (default build-fuzz), FUZZ_WORK_DIR (default: a temporary folder,
# removed after a run without findings) for the grown corpora and the artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
shift $(( $# ? 1 : 0 ))
targets=("$@")
((${#targets[@]})) || targets=(intensity_plain intensity_gzip vcf_input snp_info sex_file command_line)
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}

scripts/install_packages.sh --build clang libclang-rt-14-dev
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

work=${FUZZ_WORK_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/tarvix_fuzz.XXXXXX")}
mkdir -p "$work"
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for t in "${targets[@]}"; do
    case $t in
        intensity_*) extra=(-dict=fuzz/intensity.dict -max_len=4096) ;;
        command_line) extra=(-dict=fuzz/command_line.dict -max_len=1024) ;;
        *) extra=(-max_len=1024) ;;
    esac
    mkdir -p "$work/$t"
    log=$work/$t.log
    status=0
    "$build_dir/fuzz/fuzz_$t" -seed=1 -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$t-" "${extra[@]}" \
        "$work/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    if ((status)); then
        failed+=("$t")
        echo "fuzz $t: FINDING (exit $status) after ${runs:-?} executions; log $log"
        grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -20 || true
    else
        echo "fuzz $t: ${runs:-?} executions, ${rate:-?} per second, no finding"
    fi
done
if ((${#failed[@]})); then
    echo "fuzzing found faults in: ${failed[*]} (inputs and logs in $work)"
    exit 1
fi
[[ -n ${FUZZ_WORK_DIR:-} ]] || rm -rf "$work"
echo "fuzzing: ${#targets[@]} targets, no finding"
