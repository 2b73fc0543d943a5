#!/usr/bin/env bash
# Builds with warnings as errors and runs every test with CTest, the
# PostgreSQL tests against a throw-away server from pg_virtualenv. With
# CI=true (or KORVAL_SANITIZER=1) the tests that need no PostgreSQL run once
# more in a build with AddressSanitizer, UndefinedBehaviorSanitizer and the
# leak checker; any report fails. With CI=true (or KORVAL_FUZZ_SEKUNDEN=N)
# every fuzz target then runs under libFuzzer for a fixed time (20 s each);
# a crash, a sanitizer report or a broken property fails the run.
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

if [ "${CI:-}" = "true" ] || [ -n "${KORVAL_FUZZ_SEKUNDEN:-}" ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAL_FUZZ=ON \
        -DKORVAL_BENCH=OFF
    ziele=(interpreter kommandozeile verbindungsziel einstellungen csv konvertieren)
    cmake --build build-fuzz -j "$(nproc)" --target "${ziele[@]/#/fuzz_}"
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
    for z in "${ziele[@]}"; do
        # New inputs go to a scratch folder; the corpus in the repository stays as it is.
        neu=$(mktemp -d)
        if ! build-fuzz/tests/fuzz/fuzz_"$z" -max_total_time="${KORVAL_FUZZ_SEKUNDEN:-20}" -max_len=4096 \
            -dict=tests/fuzz/m.dict -artifact_prefix="build-fuzz/fund-$z-" -print_final_stats=1 \
            "$neu" tests/fuzz/korpus/"$z" > "build-fuzz/fuzz-$z.log" 2>&1; then
            tail -n 40 "build-fuzz/fuzz-$z.log"
            echo "Fuzzing $z: Befund, siehe build-fuzz/fund-$z-*"
            exit 1
        fi
        echo "Fuzzing $z: $(grep -m1 'stat::number_of_executed_units' "build-fuzz/fuzz-$z.log" | awk '{print $2}') Läufe ohne Befund"
        rm -rf "$neu"
    done
fi
