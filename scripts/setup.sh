# Shared set-up of ./run and ./test: installs the Debian packages that are missing, checks that
# the outside programs of the tests work, configures and builds. Sourced, not run.

# What ./run needs to build and start the program; fonts-liberation2 is the face with Arial's
# metrics that every picture asks for.
OSTRINEL_PACKAGES=(
    cmake g++ ninja-build pkg-config binutils
    qt6-base-dev qt6-svg-dev libgl-dev
    libjpeg-dev libuemf-dev libemf2svg-dev
    fonts-liberation2
)

# What only ./test needs: the sanitizer and fuzzer toolchain, the independent metafile readers
# (ImageMagick reads WMF only with the coders of its -extra package, which it merely recommends),
# Ghostscript to read printed PDFs back, the SVG and PDF readers that check the renderer's
# pictures, the XML checker that every SVG picture must pass, the checkers of the installed
# desktop files, and MMseqs2, which finds the homologs of the map's genes from their proteins.
OSTRINEL_TEST_PACKAGES=(
    clang libclang-rt-14-dev
    libwmf-bin emf2svg ghostscript imagemagick libmagickcore-6.q16-6-extra
    librsvg2-bin poppler-utils libxml2-utils
    desktop-file-utils appstream
    mmseqs2
    clang-format
)

# ostrinel_install_packages [PACKAGE...]: installs those that are missing; by default the ./run list.
ostrinel_install_packages() {
    [ $# -eq 0 ] && set -- "${OSTRINEL_PACKAGES[@]}"
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# --- Probes ----------------------------------------------------------------------------------
# A package can be installed and still not do what the tests ask of it (a coder left out, a
# runtime library of another version). Each probe runs the tool the way the tests do, on a small
# file, and stops the set-up with a message that names the missing piece.

ostrinel_probe_failed() {
    echo "Set-up check failed: $1" >&2
    [ -n "${2:-}" ] && sed 's/^/    /' "$2" >&2
    return 1
}

# A placeable WMF of one rectangle, 32 by 32 units at 96 per inch; libwmf reads it.
ostrinel_write_probe_wmf() {
    printf '\xd7\xcd\xc6\x9a\x00\x00\x00\x00\x00\x00\x20\x00\x20\x00\x60\x00\x00\x00\x00\x00\x71\x57' >"$1"
    printf '\x01\x00\x09\x00\x00\x03\x1d\x00\x00\x00\x00\x00\x07\x00\x00\x00\x00\x00' >>"$1"
    printf '\x05\x00\x00\x00\x0b\x02\x00\x00\x00\x00' >>"$1"
    printf '\x05\x00\x00\x00\x0c\x02\x20\x00\x20\x00' >>"$1"
    printf '\x07\x00\x00\x00\x1b\x04\x18\x00\x18\x00\x08\x00\x08\x00' >>"$1"
    printf '\x03\x00\x00\x00\x00\x00' >>"$1"
}

# ostrinel_probe_test_tools: the outside programs that the tests, the fuzzer and the install
# check call.
ostrinel_probe_test_tools() {
    local tmp status=0
    tmp=$(mktemp -d) || return 1
    (
        set +e
        ostrinel_write_probe_wmf "$tmp/probe.wmf"
        wmf2svg -o "$tmp/probe.svg" "$tmp/probe.wmf" >"$tmp/log" 2>&1 && [ -s "$tmp/probe.svg" ] ||
            { ostrinel_probe_failed "wmf2svg (package libwmf-bin) cannot read a WMF" "$tmp/log"; exit 1; }
        emf2svg-conv -i resources/about.emf -o "$tmp/about.svg" >"$tmp/log" 2>&1 && [ -s "$tmp/about.svg" ] ||
            { ostrinel_probe_failed "emf2svg-conv (package emf2svg) cannot read an EMF" "$tmp/log"; exit 1; }
        convert -density 96 "$tmp/probe.wmf" "$tmp/probe.png" >"$tmp/log" 2>&1 && [ -s "$tmp/probe.png" ] ||
            { ostrinel_probe_failed "ImageMagick cannot read WMF (convert is in imagemagick, its WMF coder in libmagickcore-6.q16-6-extra)" "$tmp/log"; exit 1; }
        printf '%%!PS\n/Helvetica findfont 12 scalefont setfont 72 72 moveto (probe) show showpage\n' |
            gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite -sOutputFile=- - >"$tmp/log" 2>&1 &&
            grep -q probe "$tmp/log" ||
            { ostrinel_probe_failed "Ghostscript cannot read text back from a page" "$tmp/log"; exit 1; }
        printf '<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><text x="1" y="7">p</text></svg>\n' >"$tmp/probe.svg"
        rsvg-convert -f png -o "$tmp/svg.png" "$tmp/probe.svg" >"$tmp/log" 2>&1 && [ -s "$tmp/svg.png" ] ||
            { ostrinel_probe_failed "rsvg-convert (package librsvg2-bin) cannot read an SVG" "$tmp/log"; exit 1; }
        xmllint --noout "$tmp/probe.svg" >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "xmllint (package libxml2-utils) cannot read an SVG" "$tmp/log"; exit 1; }
        printf '%%!PS\n/Helvetica findfont 12 scalefont setfont 72 72 moveto (probe) show showpage\n' |
            gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$tmp/probe.pdf" - >"$tmp/log" 2>&1 &&
            pdftoppm -r 72 -png -singlefile "$tmp/probe.pdf" "$tmp/pdf" >>"$tmp/log" 2>&1 && [ -s "$tmp/pdf.png" ] &&
            pdffonts "$tmp/probe.pdf" >>"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "pdftoppm or pdffonts (package poppler-utils) cannot read a PDF" "$tmp/log"; exit 1; }
        printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' >"$tmp/fuzz.cpp"
        clang++ -fsanitize=fuzzer,address,undefined "$tmp/fuzz.cpp" -o "$tmp/fuzz" >"$tmp/log" 2>&1 &&
            "$tmp/fuzz" -runs=1 >>"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "clang cannot build a sanitized fuzzer (clang++ is in clang, its runtime in libclang-rt-14-dev)" "$tmp/log"; exit 1; }
        objcopy --version >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "objcopy (package binutils) does not run" "$tmp/log"; exit 1; }
        desktop-file-validate resources/desktop/org.ostrinel.Ostrinel.desktop >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "desktop-file-validate (package desktop-file-utils) does not run" "$tmp/log"; exit 1; }
        appstreamcli --version >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "appstreamcli (package appstream) does not run" "$tmp/log"; exit 1; }
        mmseqs version >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "mmseqs (package mmseqs2) does not run" "$tmp/log"; exit 1; }
    ) || status=1
    rm -rf "$tmp"
    return $status
}

# ostrinel_check_format: every C++ source of the tree as .clang-format lays it out; the run names
# the files that deviate and fails.
ostrinel_check_format() {
    local bad=() f
    while IFS= read -r f; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
    done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    [ ${#bad[@]} -eq 0 ] && return 0
    echo "Not formatted as .clang-format asks (run clang-format -i on them): ${bad[*]}" >&2
    return 1
}

# ostrinel_build DIR [cmake options...]
ostrinel_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja "$@" || return 1
    elif [ $# -gt 0 ]; then
        cmake "$dir" "$@" >/dev/null || return 1
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

# The window draws and rebuilds on a thread of its own: its tests and the session's run under
# ThreadSanitizer, any report failing the run. Qt itself is not instrumented; the suppressions
# name only its libraries.
ostrinel_tsan_tests=(tst_gui_chartwidget tst_gui_mainwindow tst_gui_hostile tst_map_session)

# ostrinel_build_tsan DIR
ostrinel_build_tsan() {
    local dir=$1
    if [ ! -f "$dir/build.ninja" ]; then
        CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" -DOSTRINEL_TSAN=ON || return 1
    fi
    cmake --build "$dir" --parallel "$(nproc)" --target "${ostrinel_tsan_tests[@]}" || return 1
}

# ostrinel_test_tsan DIR
ostrinel_test_tsan() {
    local dir=$1
    (
        export TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/sanitizer/tsan.supp"
        export QT_QPA_PLATFORM=offscreen
        local start=$SECONDS
        local regex
        regex="^($(IFS='|'; echo "${ostrinel_tsan_tests[*]}"))\$"
        ctest --test-dir "$dir" --output-on-failure -R "$regex" || exit 1
        echo "ThreadSanitizer suite: $((SECONDS - start)) s"
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

# --- Install ---------------------------------------------------------------------------------

# ostrinel_check_install DIR: installs the build of DIR into a scratch folder and checks that it
# holds what the installed program loads and what the desktop reads: the program with all its
# shared libraries found, the help file where the program looks (../share/ostrinel beside bin/),
# a valid desktop entry whose command and icon are installed, the icons at the sizes their
# folders name, and valid AppStream metainfo.
ostrinel_check_install() {
    local dir=$1 id=org.ostrinel.Ostrinel tmp status=0
    tmp=$(mktemp -d) || return 1
    (
        set +e
        cmake --install "$dir" --prefix "$tmp/usr" >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "cmake --install $dir failed" "$tmp/log"; exit 1; }
        local root=$tmp/usr f size
        for f in bin/ostrinel share/ostrinel/OSTRINEL.HLP share/applications/$id.desktop \
            share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg; do
            [ -s "$root/$f" ] || { ostrinel_probe_failed "the install lacks $f"; exit 1; }
        done
        [ -x "$root/bin/ostrinel" ] || { ostrinel_probe_failed "bin/ostrinel is not executable"; exit 1; }
        ldd "$root/bin/ostrinel" >"$tmp/log" 2>&1 && ! grep -q 'not found' "$tmp/log" ||
            { ostrinel_probe_failed "the installed program misses shared libraries" "$tmp/log"; exit 1; }
        cmp -s resources/OSTRINEL.HLP "$root/share/ostrinel/OSTRINEL.HLP" ||
            { ostrinel_probe_failed "the installed help file differs from resources/OSTRINEL.HLP"; exit 1; }
        local exec icon
        exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/share/applications/$id.desktop")
        icon=$(sed -n 's/^Icon=//p' "$root/share/applications/$id.desktop")
        [ -x "$root/bin/$exec" ] ||
            { ostrinel_probe_failed "the desktop entry starts \"$exec\", which is not installed"; exit 1; }
        for size in 16 32 48 64 128 256; do
            f=$root/share/icons/hicolor/${size}x${size}/apps/$icon.png
            # Width and height, big-endian, at bytes 16 and 20 of a PNG.
            [ "$(od -An -tx1 -j16 -N8 "$f" 2>/dev/null | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
                { ostrinel_probe_failed "the install lacks a ${size}x${size} PNG icon \"$icon\""; exit 1; }
        done
        desktop-file-validate "$root/share/applications/$id.desktop" >"$tmp/log" 2>&1 && ! [ -s "$tmp/log" ] ||
            { ostrinel_probe_failed "the desktop entry is not valid" "$tmp/log"; exit 1; }
        appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >"$tmp/log" 2>&1 ||
            { ostrinel_probe_failed "the AppStream metainfo is not valid" "$tmp/log"; exit 1; }
        echo "Install tree checked: $(find "$root" -type f | wc -l) files"
    ) || status=1
    rm -rf "$tmp"
    return $status
}
