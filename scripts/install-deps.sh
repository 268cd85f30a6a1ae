#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # libraries
  qt6-base-dev qt6-declarative-dev libgl-dev
  libcurl4-openssl-dev libicu-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  tinyproxy openssl
  xvfb xdotool xclip x11-utils imagemagick
  # fuzzing
  clang-14 libclang-rt-14-dev
  # fonts so the window's Chinese text renders
  fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
