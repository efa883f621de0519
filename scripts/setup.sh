# Shared set-up of ./run and ./test: installs the Debian packages that are missing, then
# configures and builds in build/. Sourced, not run.

OSTRINEL_PACKAGES=(
    cmake g++ ninja-build pkg-config binutils
    qt6-base-dev qt6-svg-dev libgl-dev
    libjpeg-dev libuemf-dev libemf2svg-dev
    libwmf-bin emf2svg ghostscript imagemagick
    xvfb xauth xdotool
    clang libclang-rt-14-dev
)

ostrinel_install_packages() {
    local missing=()
    local p
    for p in "${OSTRINEL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# ostrinel_build DIR [cmake options...]
ostrinel_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja "$@" || return 1
    fi
    cmake --build "$dir" --parallel "$(nproc)" || return 1
}

# --- Sanitizer build -------------------------------------------------------------------------
# One clang folder serves the whole test suite under AddressSanitizer and UndefinedBehavior-
# Sanitizer and the coordinate file fuzzer, so the sources are compiled once. -O1 keeps the
# stacks readable and the build short; the program and the benchmarks are not built there.

# ostrinel_build_sanitized DIR
ostrinel_build_sanitized() {
    local dir=$1
    if [ ! -f "$dir/build.ninja" ]; then
        CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
            -DOSTRINEL_SANITIZE=ON -DOSTRINEL_FUZZ=ON || return 1
    fi
    local targets=(fuzz_coordinate_file) src
    for src in tests/tst_*.cpp; do
        targets+=("$(basename "$src" .cpp)")
    done
    cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}" || return 1
}

# Any report stops the program with a failing exit status; leaks are reports too. The
# suppressions name only system libraries whose own allocations outlive the program.
ostrinel_sanitizer_env() {
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
}

# ostrinel_test_sanitized DIR: the whole test suite of the sanitizer build.
ostrinel_test_sanitized() {
    local dir=$1
    (
        ostrinel_sanitizer_env
        export QT_QPA_PLATFORM=offscreen
        local start=$SECONDS
        ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" || exit 1
        echo "Sanitized test suite: $((SECONDS - start)) s"
    )
}

# ostrinel_fuzz DIR SECONDS: runs the coordinate file fuzzer for a bounded time on a scratch
# copy of the seed corpus (the corpus in the tree stays as committed). A crash, a sanitizer
# report, an input taking over 10 s or a process over 2 GB is a finding: the input is kept in
# DIR/fuzz/run/findings and the call fails.
ostrinel_fuzz() {
    local dir=$1 seconds=$2
    local run=$dir/fuzz/run
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/findings" "$run/tmp"
    cp tests/fuzz/corpus/* examples/*.txt "$run/corpus/"
    local status=0
    (
        ostrinel_sanitizer_env
        export TMPDIR=$PWD/$run/tmp
        exec "$dir/fuzz/fuzz_coordinate_file" -max_total_time="$seconds" -max_len=4096 \
            -timeout=10 -rss_limit_mb=2048 -dict=tests/fuzz/coordinate.dict \
            -artifact_prefix="$run/findings/" -print_final_stats=1 "$run/corpus"
    ) >"$run/log" 2>&1 || status=$?
    local runs rate
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log" | tail -n 1)
    echo "Fuzzer: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s (log: $run/log)"
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$run/findings")" ]; then
        tail -n 60 "$run/log"
        echo "Fuzzer finding (exit status $status):" "$run"/findings/*
        return 1
    fi
}
