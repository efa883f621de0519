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
