#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it: the
# file list, the dependencies, lintian (when installed) and, as root, that it
# installs, answers --version and --help, and removes cleanly.
set -euo pipefail
bau="${1:-build-test}"
cd "$bau"
rm -f benutzerverwaltung_*.deb
cpack -G DEB > cpack.log
deb=$(ls benutzerverwaltung_*_*.deb)
echo "Paket: $deb"

inhalt=$(dpkg-deb -c "$deb")
for datei in ./usr/bin/benutzerverwaltung ./usr/bin/korval-db \
    ./usr/share/applications/de.korval.benutzerverwaltung.desktop \
    ./usr/share/icons/hicolor/scalable/apps/de.korval.benutzerverwaltung.svg \
    ./usr/share/metainfo/de.korval.benutzerverwaltung.metainfo.xml \
    ./usr/share/man/man1/benutzerverwaltung.1.gz ./usr/share/man/man1/korval-db.1.gz \
    ./usr/share/doc/benutzerverwaltung/copyright ./usr/share/doc/benutzerverwaltung/changelog.gz \
    ./lib/systemd/system/korval-ablauf.service ./lib/systemd/system/korval-ablauf.timer \
    ./usr/share/doc/benutzerverwaltung/ablauf.conf.beispiel; do
    grep -q " $datei\$" <<< "$inhalt" || { echo "Im Paket fehlt $datei"; exit 1; }
done

# The expiry's units: hourly, enabled by the package, the service running
# korval-db ablauf with "nothing due" (status 1) as success.
einheiten=$(mktemp -d)
dpkg-deb -x "$deb" "$einheiten"
dpkg-deb -e "$deb" "$einheiten/DEBIAN"
timer="$einheiten/lib/systemd/system/korval-ablauf.timer"
dienst="$einheiten/lib/systemd/system/korval-ablauf.service"
grep -qx 'OnCalendar=hourly' "$timer" || { echo "Der Timer läuft nicht stündlich"; exit 1; }
grep -qx 'WantedBy=timers.target' "$timer" || { echo "Der Timer ist nicht einschaltbar"; exit 1; }
grep -qx 'ExecStart=/usr/bin/korval-db ablauf $KORVAL_ABLAUF_OPTIONEN' "$dienst" || { echo "Der Dienst ruft nicht korval-db ablauf"; exit 1; }
grep -qx 'SuccessExitStatus=1' "$dienst" || { echo "Status 1 (nichts fällig) gilt dem Dienst als Fehler"; exit 1; }
grep -q 'deb-systemd-helper enable korval-ablauf.timer' "$einheiten/DEBIAN/postinst" || { echo "Das Paket schaltet den Timer nicht ein"; exit 1; }
if command -v systemd-analyze > /dev/null; then
    # korval-db itself is not installed here yet.
    meldungen=$(SYSTEMD_LOG_LEVEL=err systemd-analyze verify --man=no "$dienst" "$timer" 2>&1 || true)
    meldungen=$(grep -v -e 'korval-db is not executable' <<< "$meldungen" || true)
    [ -z "$meldungen" ] || { echo "systemd-analyze verify: $meldungen"; exit 1; }
fi
rm -rf "$einheiten"

abh=$(dpkg-deb -f "$deb" Depends)
for paket in libqt6core6 libqt6widgets6 libqt6printsupport6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql libqt6svg6 qt6-translations-l10n; do
    grep -Eq "(^|, )$paket( |,|$)" <<< "$abh" || { echo "Abhängigkeit fehlt: $paket ($abh)"; exit 1; }
done

if command -v lintian > /dev/null; then
    lintian --fail-on error --allow-root "$deb"
fi

if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = "true" -o -n "${KORVAL_PAKET_INSTALLIEREN:-}" ]; then
    dpkg -i "$deb"
    # grep reads to the end: "grep -q" stops early, and the writer's SIGPIPE fails the pipe.
    benutzerverwaltung --version | grep '^benutzerverwaltung ' > /dev/null
    benutzerverwaltung --help | grep '^Aufruf: benutzerverwaltung' > /dev/null
    korval-db --version | grep '^korval-db ' > /dev/null
    korval-db --help | grep '^Aufruf: korval-db' > /dev/null
    # It starts: the demo company, signed on, the main window loaded.
    daten=$(mktemp -d)
    korval-db init --server "$daten" > /dev/null
    korval-db demo --server "$daten" > /dev/null
    KORVAL_NACH_LADEN_BEENDEN=1 QT_QPA_PLATFORM=offscreen \
        benutzerverwaltung 1 0 ADM demo "$daten" 1973 KORVAL | grep '^VmHWM' > /dev/null
    rm -rf "$daten"
    # The package enabled the timer.
    [ -L /etc/systemd/system/timers.target.wants/korval-ablauf.timer ] ||
        { echo "Timer nach der Installation nicht eingeschaltet"; exit 1; }
    dpkg -r benutzerverwaltung
    ! command -v benutzerverwaltung > /dev/null
fi
echo "Paket geprüft."
