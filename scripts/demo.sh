#!/usr/bin/env bash
# Installs what is missing, builds pelix, lays out the sample node of demo/
# in build/demo-node and runs pelix there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target pelix pelixcfg
node=build/demo-node
rm -rf "$node"
mkdir -p "$node"
build/tools/pelixcfg write demo/node.cfg.txt "$node"
if [ -x demo/prepare.sh ]; then bash demo/prepare.sh "$node"; fi
echo "== pelix run in $node"
status=0
(cd "$node" && ../processor/pelix "$@") || status=$?
echo "== exit status: $status"
echo "== log ($node/pelix.log):"
cat "$node/pelix.log" 2>/dev/null || true
exit "$status"
