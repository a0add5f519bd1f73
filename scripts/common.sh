# Shared by scripts/run and scripts/test: install what is missing, then build.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

install_missing_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$top/scripts/packages.txt")
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing Debian packages. Run, then try again:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
