# Shared by scripts/test and scripts/run: package installation and the private Wine prefix.
# shellcheck shell=bash

LOGSMITH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LOGSMITH_BUILD="$LOGSMITH_ROOT/build/mingw"

# Installs the Debian packages that are missing; a warm machine skips apt entirely.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest
    libcli11-dev nlohmann-json3-dev wixl msitools python3 cabextract cmark-gfm)
# The second compiler (the clang preset): Clang and lld on the same mingw-w64 runtime.
BUILD_PACKAGES+=(clang lld)

configure_and_build() {
    cd "$LOGSMITH_ROOT"
    [ -f "$LOGSMITH_BUILD/CMakeCache.txt" ] || cmake --preset mingw >/dev/null
    cmake --build --preset mingw "$@"
}

# The clang preset's build tree, beside the GCC one.
configure_and_build_clang() {
    cd "$LOGSMITH_ROOT"
    [ -f "$LOGSMITH_ROOT/build/clang/CMakeCache.txt" ] || cmake --preset clang >/dev/null
    cmake --build --preset clang
}

# Wine settings for every program we start; the prefix lives inside the build folder.
wine_environment() {
    export WINEPREFIX="${WINEPREFIX:-$LOGSMITH_BUILD/wineprefix}"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates the prefix once. Wine's background processes inherit our streams unless they are
# redirected, which makes callers that wait on pipes (ctest) hang.
wine_prepare_prefix() {
    wine_environment
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating Wine prefix in $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wine wineboot --init </dev/null >/dev/null 2>&1
        wineserver -w
    fi
}

# Graphics driver of the prefix: "null" for tests (no X server), "x11" for real windows.
wine_set_graphics_driver() {
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f </dev/null >/dev/null 2>&1
}

wine_start_server() {
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
}

wine_stop_server() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}
