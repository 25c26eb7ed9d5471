#!/usr/bin/env bash
# Installs the Debian packages frameprobe needs, only those missing:
#   scripts/install-deps.sh            building and running the program, its FFmpeg
#                                      module, the library and the Python module
#   scripts/install-deps.sh --package  and making the Debian package (man pages, dependencies)
#   scripts/install-deps.sh --tests    and everything the tests and benchmarks need
#                                      (GoogleTest, Slurm, Chromium, Prometheus, ...);
#                                      tests install nothing themselves
# Waits for a package manager that another process is using instead of failing.
set -euo pipefail
# Building and running: the compiler and build tools, FFmpeg's libraries and the
# libraries the program links, and the interpreter the Python module is built for.
packages=(g++ cmake make pkg-config nlohmann-json3-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libpng-dev zlib1g-dev libtomlplusplus-dev
  prometheus-cpp-dev libcurl4-openssl-dev libsqlite3-dev libebur128-dev
  python3 python3-dev pybind11-dev python3-numpy)
# The Debian package: man pages made by pandoc, dependencies found by dpkg-shlibdeps.
package_tools=(pandoc dpkg-dev file)
# The tests and benchmarks: GoogleTest and Google Benchmark, the ffmpeg program for
# fixtures, clang with its sanitizer and fuzzer runtimes, clang-format for CI's check of changed lines,
# pytest and pandas for the Python module, man for the man page test, a one-node Slurm cluster,
# Chromium for the report, Prometheus for the monitor's metrics, Dask's distributed for frameprobe.map
# on a cluster.
test_tools=(libgtest-dev libbenchmark-dev ffmpeg clang libclang-rt-14-dev clang-format python3-pytest python3-pandas man-db
  slurmctld slurmd slurm-client munge chromium prometheus python3-distributed)
for arg in "$@"; do
  case $arg in
    --package) packages+=("${package_tools[@]}") ;;
    --tests) packages+=("${package_tools[@]}" "${test_tools[@]}") ;;
    -h|--help) sed -n '2,9p' "$0" | cut -c3-; exit 0 ;;
    *) echo "install-deps.sh: unknown option $arg (--package, --tests)" >&2; exit 2 ;;
  esac
done
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
