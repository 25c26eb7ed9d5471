#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing. Tests install nothing: what they need (Slurm, Chromium) comes from here.
# Waits for a package manager that another process is using instead of failing.
set -euo pipefail
packages=(g++ cmake make libgtest-dev libbenchmark-dev pkg-config nlohmann-json3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg clang libpng-dev python3
  pybind11-dev python3-dev python3-numpy python3-pytest libtomlplusplus-dev
  pandoc man-db dpkg-dev file
  slurmctld slurmd slurm-client munge chromium
  prometheus-cpp-dev libcurl4-openssl-dev prometheus
  libsqlite3-dev python3-distributed)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
# Up to 10 minutes for the locks another apt or dpkg holds (unattended upgrades, another build).
apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq
  -o DPkg::Lock::Timeout="${FRAMEPROBE_APT_LOCK_TIMEOUT:-600}")
"${apt[@]}" update
"${apt[@]}" install -y --no-install-recommends "${missing[@]}"
