#!/usr/bin/env bash
# Sets everything up, builds, and shows what runs today: a calibrated measurement with
# vna-cli against the simulator (cli/demo.sh; results in build/demo/).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

# TrueType files looked up under FONTS/ of the start directory.
mkdir -p build/FONTS
ln -sfn /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf build/FONTS/default.ttf
ln -sfn /usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc build/FONTS/notobd.ttf

echo
bash cli/demo.sh build
