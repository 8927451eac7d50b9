#!/usr/bin/env bash
# Installs Debian packages, only those that are missing: the ones the build
# needs, or the ones named as arguments. Another apt run holding the package
# lock is waited for, not failed on.
set -euo pipefail
# The build's packages come with what they recommend (Qt's platform plugins
# among them); named ones alone. dpkg-dev and file make the Debian packages
# (cpack), man-db checks their man pages; libarchive-dev lets pelix-hatch
# read the FILE_ID.DIZ of archives; clang-14 and libclang-rt-14-dev build and
# run the fuzz targets.
if [ $# -gt 0 ]; then
  packages=("$@")
  options=(--no-install-recommends)
else
  packages=(qt6-base-dev qt6-base-dev-tools libgl-dev cmake ninja-build g++ libarchive-dev
            libgtest-dev dpkg-dev file man-db clang-14 libclang-rt-14-dev)
  options=()
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  if apt-get -o DPkg::Lock::Timeout=60 update -qq &&
     apt-get -o DPkg::Lock::Timeout=60 install -y -qq "${options[@]}" "${missing[@]}"; then
    exit 0
  fi
  sleep 10
done
exit 1
