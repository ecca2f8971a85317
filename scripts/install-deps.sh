#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test.
# This is the one list of packages: ./dev and CI both go through here.
# Usage: scripts/install-deps.sh [--fuzz]   (--fuzz adds clang for fuzzing)
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    zlib1g-dev liblzma-dev libdeflate-dev
    xvfb xauth desktop-file-utils
    dpkg-dev file
)
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
        sudo=(sudo)
    else
        echo "error: missing packages (${missing[*]}) and not root; install them as root." >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
