#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ make libgdal-dev gdal-bin libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev nlohmann-json3-dev bc qt6-base-dev fonts-dejavu-core
          dpkg-dev file debootstrap python3-numpy python3-gdal clang-14 libclang-rt-14-dev locales hyperfine
          pybind11-dev python3-dev python3-pytest qgis python3-qgis)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi
# A locale whose decimal mark is a comma, for the test that output does not follow the
# process locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: generating the de_DE.UTF-8 locale"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE.UTF-8 locale; that test will skip"
fi
