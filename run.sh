#!/usr/bin/env bash
# Builds the program and starts it on the embedded demo database, signed on as
# the demo administrator. Without a display it saves a screenshot instead.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/pakete.sh
korval_pakete_installieren

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)"

daten="${XDG_DATA_HOME:-$HOME/.local/share}/KORVAL"
if [ ! -f "$daten/KORVAL.sqlite" ]; then
    ./build/tools/korval-db/korval-db init --server "$daten"
    ./build/tools/korval-db/korval-db demo --server "$daten"
fi

# Company 1, branch 0, user ADM with password demo, the embedded database.
argumente=(1 0 ADM demo "$daten" 1973 KORVAL)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/src/benutzerverwaltung "${argumente[@]}"
fi
mkdir -p screenshots
export KORVAL_SCREENSHOT="$PWD/screenshots/hauptfenster.png"
xvfb-run -a -s "-screen 0 1280x900x24" ./build/src/benutzerverwaltung "${argumente[@]}"
