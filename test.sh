#!/usr/bin/env bash
# Builds with warnings as errors and runs every test with CTest, the
# PostgreSQL tests against a throw-away server from pg_virtualenv.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/pakete.sh
korval_pakete_installieren

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAL_WERROR=ON
cmake --build build-test -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# pg_virtualenv sets PGHOST, PGPORT, PGUSER and PGPASSWORD for the command it runs.
pg_virtualenv -- ctest --test-dir build-test --output-on-failure -j 2 "$@"
