#!/usr/bin/env bash
# Installs what is missing, builds, and runs every check, stage by stage:
#   main   the normal build and the whole test suite (build/), which must leave the working
#          copy and the build folder as it found them
#   asan   the suite again under the address and undefined-behaviour checkers (build-asan/)
#   tsan   the meter and link tests under the thread checker (build-tsan/)
#   fuzz   each fuzz target on its seed inputs, then for a while on new ones (build-fuzz/)
#   soak   the driver against a misbehaving virtual meter (build/)
#   install  the main build installed into a temporary folder, and as a Debian package (build/)
# Fails when any stage fails; the last line sums up the tests of all stages.
#
#   KLM704_STAGES        the stages to run (default: all of them, in the order above)
#   KLM704_FUZZ_SECONDS  time per fuzz target (default 60)
#   KLM704_SOAK_SECONDS  time of the soak test (default 120)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

stages=${KLM704_STAGES:-main asan tsan fuzz soak install}
fuzz_seconds=${KLM704_FUZZ_SECONDS:-60}
export KLM704_SOAK_SECONDS=${KLM704_SOAK_SECONDS:-120}
fuzz_targets=(receive decode settings csv import)

passed=0
failed=0
summary=()

# Runs ctest with the given arguments and adds its counts to the totals.
counted_ctest() {
    local build=$1
    shift
    local log
    log=$(mktemp)
    (cd "$build" && ctest --no-tests=error "$@") 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    local line
    line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
    rm -f "$log"
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=$((failed + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    elif [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    return "$status"
}

# Configures and builds one build directory; a failure counts as one failed test.
build() {
    local dir=$1
    shift
    local targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        targets+=("$1")
        shift
    done
    shift || true
    local target_args=()
    [ ${#targets[@]} -eq 0 ] || target_args=(--target "${targets[@]}")
    if bash tools/configure.sh "$dir" "$@" &&
        cmake --build "$dir" "${target_args[@]}"; then
        return 0
    fi
    failed=$((failed + 1))
    return 1
}

# The checkers' settings, for every instrumented program the stages build or run (tools that
# run during the build included): stop at the first finding; leaks are reported, except Qt's
# own at exit. Programs built without the checkers ignore them.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# What the working copy holds beyond its commit, and the files of a build folder with their
# times of change, CTest's own logs (Testing/) aside.
working_copy_state() {
    git status --porcelain --ignored=no
}
build_state() {
    (cd "$1" && find . -path ./Testing -prune -o -type f -printf '%p %T@\n' | sort)
}

# The suite leaves the working copy and the build folder as it found them (the states before
# are in the files given), so that the first start of a fresh build is a first start; counts as
# one test.
check_left_alone() {
    local copy_before=$1 build_before=$2 changes
    changes=$(diff "$copy_before" <(working_copy_state) | grep '^[<>]'
        diff "$build_before" <(build_state build) | grep '^[<>]')
    if [ -z "$changes" ]; then
        echo "The suite left the working copy and build/ as it found them."
        passed=$((passed + 1))
        return 0
    fi
    echo "FAIL: the suite changed the working copy or build/ (< before, > after):"
    head -n 40 <<<"$changes"
    failed=$((failed + 1))
    return 1
}

stage_main() {
    local states status
    states=$(mktemp -d)
    working_copy_state >"$states/copy"
    build build -- || {
        rm -rf "$states"
        return 1
    }
    build_state build >"$states/build"
    counted_ctest build --output-on-failure -LE soak
    status=$?
    check_left_alone "$states/copy" "$states/build" || status=1
    rm -rf "$states"
    return "$status"
}

stage_asan() {
    build build-asan -- -DKLM704_SANITIZE=address,undefined &&
        counted_ctest build-asan --output-on-failure -LE soak
}

# Only the tests that run threads and links, and what they need.
stage_tsan() {
    bash tools/configure.sh build-tsan -DKLM704_SANITIZE=thread >/dev/null || {
        failed=$((failed + 1))
        return 1
    }
    local tests
    mapfile -t tests < <(cd build-tsan && ctest -N -L '^(meter|links|threads)$' | awk '/Test +#/ {print $3}')
    build build-tsan "${tests[@]}" -- -DKLM704_SANITIZE=thread &&
        counted_ctest build-tsan --output-on-failure -L '^(meter|links|threads)$'
}

# One fuzz target for the set time, on a working copy of its corpus; counts as one test.
run_fuzzer() {
    local target=$1
    local work=build-fuzz/runs/$target
    mkdir -p "$work/corpus"
    "build-fuzz/fuzz_$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$target" >"$work/log" 2>&1
    local status=$?
    local runs
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/log")
    if [ "$status" -eq 0 ]; then
        echo "fuzz_$target: ${runs:-?} executions in ${fuzz_seconds} s, no finding"
    else
        echo "fuzz_$target: FAILED after ${runs:-?} executions; log $work/log"
        grep -E -m 20 'ERROR|SUMMARY|fuzz_|runtime error' "$work/log"
        ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* 2>/dev/null
    fi
    return "$status"
}

stage_fuzz() {
    build build-fuzz klm704_fuzzers -- -DCMAKE_CXX_COMPILER=clang++ -DKLM704_FUZZ=ON || return 1
    counted_ctest build-fuzz --output-on-failure -L fuzz
    local status=$?
    # Two at a time, one per core.
    local i
    for ((i = 0; i < ${#fuzz_targets[@]}; i += 2)); do
        local pair=("${fuzz_targets[@]:i:2}")
        local logs=()
        local pids=()
        local target
        for target in "${pair[@]}"; do
            logs+=("$(mktemp)")
            run_fuzzer "$target" >"${logs[-1]}" 2>&1 &
            pids+=($!)
        done
        local j
        for j in "${!pids[@]}"; do
            if wait "${pids[j]}"; then
                passed=$((passed + 1))
            else
                failed=$((failed + 1))
                status=1
            fi
            cat "${logs[j]}"
            rm -f "${logs[j]}"
        done
    done
    return "$status"
}

stage_soak() {
    [ -x build/tst_soak ] || build build -- || return 1
    counted_ctest build --verbose -L soak
}

# The install checks, each one test: the installed tree and program, then the package.
stage_install() {
    build build -- || return 1
    local status=0
    local check
    for check in install_tree install_package; do
        if bash "tests/$check.sh" build; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            status=1
        fi
    done
    return "$status"
}

bash tools/install-deps.sh || exit 1
for stage in $stages; do
    printf '\n==== stage %s ====\n' "$stage"
    start=$SECONDS
    failed_before=$failed
    if "stage_$stage" && [ "$failed" -eq "$failed_before" ]; then
        result=ok
    else
        result=FAILED
    fi
    summary+=("$(printf '%-5s %-6s %5d s' "$stage" "$result" $((SECONDS - start)))")
done

printf '\n==== summary ====\n'
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && ! printf '%s\n' "${summary[@]}" | grep -q FAILED
