#!/usr/bin/env bash
# Installs what Quorvane needs to build, run and test, from Debian's packages. Run as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  clang libclang-rt-14-dev
  locales fonts-dejavu-core
  desktop-file-utils appstream dpkg-dev file
  qt6-svg-dev poppler-utils
  libboost-dev
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal separator is a comma, for the tests of regional formatting.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: could not build the de_DE.UTF-8 locale"
fi
