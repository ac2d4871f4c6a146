#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, skipping those
# already present, so that a bare machine and CI get the same tool chain.
set -euo pipefail

# clang and its runtime libraries (libFuzzer, the sanitizers) build the fuzz targets.
packages=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev libboost-dev libsqlite3-dev clang-format
          clang libclang-rt-14-dev)

# The libraries of the engines that bench/compare measures Mox against.
packages+=(liblmdb-dev libdb-dev)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
