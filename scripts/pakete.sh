# Installs the Debian packages the build, the tests and the program need,
# when any is missing. Sourced by run.sh and test.sh; "test" adds what
# building and checking the Debian package needs.
korval_pakete_installieren() {
    local pakete=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql
        libqt6svg6 libsqlite3-dev qt6-translations-l10n libgl-dev xvfb xauth postgresql postgresql-common gzip)
    [ "${1:-}" = "test" ] && pakete+=(dpkg-dev file lintian clang libclang-rt-dev postgresql-15-plpgsql-check)
    local fehlend=()
    local p
    for p in "${pakete[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || fehlend+=("$p")
    done
    [ ${#fehlend[@]} -eq 0 ] && return 0
    echo "Installiere: ${fehlend[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${fehlend[@]}"
}
