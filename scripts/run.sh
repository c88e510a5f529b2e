#!/bin/bash
# Sets up the machine, builds the project and shows how to call a component.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null

bin=build/release/bin
"$bin/comcall" 2>&1 | head -20 || true
echo
echo "example: $bin/comcall vornet.WebUrl rightUrl http://site/news/list.html ../d.html"
"$bin/comcall" vornet.WebUrl rightUrl http://site/news/list.html ../d.html || true
