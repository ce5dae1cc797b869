# Shared by scripts/run, scripts/test and friends: installs what is missing on a
# Debian machine, then configures and builds. Source it; don't run it.

OSTRIVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What a fresh Debian 12 machine needs to build, run and test the program.
OSTRIVANE_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev fonts-dejavu-core
    xvfb xauth
    python3 python3-dnslib iproute2 util-linux procps
    libc-ares-dev libsqlite3-dev sqlite3
    libtomlplusplus-dev nlohmann-json3-dev libcpp-httplib-dev prometheus
    libxml2-dev libarchive-dev libgmime-3.0-dev libssl-dev openssl
    nsd rbldnsd unbound
    libmonitoring-plugin-perl
)

say() { printf '%s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        say "Need root to run: $*"
        return 1
    fi
}

# Installs the packages named (plus scripts/packages-extra.txt) that are not installed yet.
ensure_packages() {
    local wanted=("${OSTRIVANE_PACKAGES[@]}" "$@") missing=() pkg
    if [ -f "$OSTRIVANE_ROOT/scripts/packages-extra.txt" ]; then
        while read -r pkg; do
            [ -n "$pkg" ] && [ "${pkg#\#}" = "$pkg" ] && wanted+=("$pkg")
        done <"$OSTRIVANE_ROOT/scripts/packages-extra.txt"
    fi
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! command -v apt-get >/dev/null 2>&1; then
        say "Missing packages (${missing[*]}) and no apt-get to install them."
        return 1
    fi
    say "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

# configure BUILD_DIR [extra cmake arguments...]
configure() {
    local dir=$1
    shift
    cmake -S "$OSTRIVANE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DOSTRIVANE_WERROR=ON "$@" >/dev/null
}

# build BUILD_DIR [targets...]
build() {
    local dir=$1
    shift
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$dir" "${targets[@]}" -- -j"$(nproc)"
}
