#!/usr/bin/env bash
# Installs everything the build, tests, tools and plug-in need (Debian 12).
# Idempotent: when every package is already present, apt is not touched.
set -euo pipefail

packages=(
    build-essential g++ cmake pkg-config ccache git
    libgtest-dev libgmock-dev libbenchmark-dev
    libkissfft-dev libsndfile1-dev libebur128-dev
    juce-modules-source juce-tools
    libasound2-dev libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev
    libxcomposite-dev libfreetype-dev libfontconfig1-dev libgtk-3-dev libcurl4-openssl-dev
    libjack-jackd2-dev ladspa-sdk lv2-dev
    xvfb xauth lilv-utils jalv jackd2
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
