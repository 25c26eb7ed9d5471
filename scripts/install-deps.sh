#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
set -euo pipefail
packages=(g++ cmake make libgtest-dev libbenchmark-dev pkg-config nlohmann-json3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg clang libpng-dev
  prometheus-cpp-dev libcurl4-openssl-dev prometheus)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
