#!/usr/bin/env bash
# Takes the README's pictures of setup's Links and File Echoes dialogs:
# setup on the sample node of demo/, under a virtual X server (xvfb-run),
# with the Fusion style and the DejaVu Sans font, so anyone gets the same
# pictures. Installs what is missing; writes docs/setup-links.png and
# docs/setup-file-echoes.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/install-deps.sh xvfb xauth fonts-dejavu-core

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target pelixcfg setup_screenshots
node=$(mktemp -d)
trap 'rm -rf "$node"' EXIT
build/tools/pelixcfg write demo/node.cfg.txt "$node"
mkdir -p docs
root=$(pwd)
(cd "$node" && QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$node" \
  xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$root/build/tools/setup_screenshots" "$root/docs")
echo "Written: docs/setup-links.png docs/setup-file-echoes.png"
