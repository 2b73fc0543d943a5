#!/usr/bin/env bash
# Builds with warnings as errors and runs every test with CTest, the
# PostgreSQL tests against a throw-away server from pg_virtualenv. With
# CI=true (or KORVAL_SANITIZER=1) the tests that need no PostgreSQL run once
# more in a build with AddressSanitizer, UndefinedBehaviorSanitizer and the
# leak checker; any report fails.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/pakete.sh
korval_pakete_installieren test

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAL_WERROR=ON \
    -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-test -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# pg_virtualenv sets PGHOST, PGPORT, PGUSER and PGPASSWORD for the command it runs.
pg_virtualenv -- ctest --test-dir build-test --output-on-failure -j 2 "$@"

# The Debian package: file list, dependencies, lintian; installed and removed in CI.
scripts/paket-pruefen.sh build-test

if [ "${CI:-}" = "true" ] || [ -n "${KORVAL_SANITIZER:-}" ]; then
    cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAL_WERROR=ON \
        -DKORVAL_SANITIZE=ON -DKORVAL_BENCH=OFF
    cmake --build build-san -j "$(nproc)"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ctest --test-dir build-san --output-on-failure -j 2 -L sqlite
fi
