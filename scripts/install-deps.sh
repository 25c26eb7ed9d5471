#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing, waiting
# for the package manager when another install holds its lock.
set -euo pipefail
packages=(g++ cmake make libgtest-dev libbenchmark-dev pkg-config nlohmann-json3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg clang libpng-dev
  pandoc man-db dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600)
"${apt[@]}" update
"${apt[@]}" install -y "${missing[@]}"
