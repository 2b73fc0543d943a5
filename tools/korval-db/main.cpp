// korval-db: creates the database of the user administration and fills it.

#include "datenbankwerkzeug.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>
#include <cstring>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {
const char* const Hilfe =
    "Aufruf: korval-db BEFEHL [OPTIONEN]\n"
    "\n"
    "Legt die Datenbank der KORVAL Benutzerverwaltung an und füllt sie.\n"
    "\n"
    "Befehle:\n"
    "  init       Datenbank und Schema anlegen (vorhandene Daten bleiben)\n"
    "  upgrade    eine vorhandene Datenbank auf den neuesten Stand des Schemas bringen\n"
    "  demo       die Demofirma anlegen (Anmeldung: 1 0 ADM demo)\n"
    "  generate   eine große, immer gleiche Firma für Messungen anlegen\n"
    "  report mitarbeiter CODE | report stufe P S L | report gruppe NAME | report matrix\n"
    "             wer was darf, als CSV auf die Standardausgabe (Code, Name, Gruppe,\n"
    "             Programm, Unterprogramm, Stufe; UTF-8 mit BOM, \";\" getrennt)\n"
    "  report vergleich CODE1 CODE2\n"
    "             zwei Mitarbeiter verglichen, als CSV (Vergleich \"nur CODE1\", \"beide\"\n"
    "             oder \"nur CODE2\", Code, Name, Gruppe, Programm, Unterprogramm, Stufe)\n"
    "  gruppe-kopieren QUELLE ZIEL [--ohne-mitglieder] [--ohne-stufen]\n"
    "             neue Gruppe ZIEL mit den Mitgliedern und Programmstufen von QUELLE\n"
    "  rechte-uebernehmen --von CODE --nach CODE\n"
    "             CODE (--nach) wird Mitglied in jeder Gruppe von --von, in der er noch fehlt\n"
    "             (gruppe-kopieren, rechte-uebernehmen: Status 0 erledigt, 1 nichts zu tun\n"
    "             oder Fehler des Servers, 2 falsche Angabe)\n"
    "  befristen GRUPPE CODE DATUM [--grund TEXT] | befristen GRUPPE CODE --aufheben\n"
    "             die Mitgliedschaft von CODE in GRUPPE endet nach DATUM (JJJJ-MM-TT oder\n"
    "             TT.MM.JJJJ) von selbst; --aufheben: wieder unbefristet\n"
    "             (Status 0 gespeichert, 1 schon so, 2 falsche Angabe)\n"
    "  ablauf     jede Mitgliedschaft entfernen, deren Datum vorbei ist, und sie nennen\n"
    "             (Status 0 entfernt, 1 nichts fällig, 2 keine Anmeldung)\n"
    "  report befristungen [--tage N]\n"
    "             jede befristete Mitgliedschaft, die nächste zuerst, mit den verbleibenden\n"
    "             Tagen, als CSV; mit --tage nur die in N Tagen endenden\n"
    "  regel anlegen NAME P1 S1 L1 P2 S2 L2 [--beschreibung TEXT] | regel loeschen NAME\n"
    "             eine Regel unvereinbarer Rechte: wer eine Stufe P1/S1/L1 hat, darf keine\n"
    "             Stufe P2/S2/L2 haben (S und L dürfen \"*\" sein: jede)\n"
    "  regel liste\n"
    "             die Regeln als CSV\n"
    "  report unvereinbar\n"
    "             jeder Verstoß gegen eine Regel als CSV, mit Ausnahme, wo eine gilt\n"
    "             (Status 0 keiner ohne Ausnahme, 1 einer oder mehr ohne Ausnahme)\n"
    "  protokoll  das Änderungsprotokoll als CSV auf die Standardausgabe (Zeiten in UTC)\n"
    "  protokoll --pruefen\n"
    "             prüfen, dass kein Eintrag geändert, entfernt oder eingefügt wurde\n"
    "  protokoll-bereinigen --vor DATUM\n"
    "             Einträge des Änderungsprotokolls vor DATUM löschen\n"
    "  rueckgaengig NR [--ja]\n"
    "             zeigt, was das Zurücknehmen der Änderung NR des Protokolls bewirkt;\n"
    "             mit --ja wird sie zurückgenommen (Status 0 erledigt, 1 nichts zu tun, 2 falsche Angabe)\n"
    "\n"
    "Optionen:\n"
    "  --server S       Verzeichnis der eingebetteten Datenbank oder\n"
    "                   PostgreSQL-Server (Vorgabe: localhost)\n"
    "  --port P         Port des PostgreSQL-Servers (Vorgabe: 1973)\n"
    "  --namespace N    Datenbankname (Vorgabe: KORVAL)\n"
    "  --anwendungsrolle NAME\n"
    "                   init, upgrade (PostgreSQL): die Datenbankrolle der Arbeitsplätze; sie\n"
    "                   liest und ändert Berechtigungen nur über die Funktionen\n"
    "  --von CODE       rechte-uebernehmen: von diesem Mitarbeiter\n"
    "  --nach CODE      rechte-uebernehmen: für diesen Mitarbeiter\n"
    "  --ohne-mitglieder, --ohne-stufen\n"
    "                   gruppe-kopieren: Mitglieder oder Programmstufen nicht übernehmen\n"
    "  --firma F        report, rechte-uebernehmen: Firma der Mitarbeiternamen (Vorgabe: 1)\n"
    "  --seit DATUM     protokoll: Einträge ab diesem Tag (JJJJ-MM-TT)\n"
    "  --bis DATUM      protokoll: Einträge bis einschließlich diesem Tag\n"
    "  --benutzer CODE  protokoll: nur Änderungen dieses Personalcodes\n"
    "  --objekt TEXT    protokoll: nur Objekte, deren Name TEXT enthält\n"
    "  --vor DATUM      protokoll-bereinigen: Einträge vor diesem Tag löschen\n"
    "  --employees N    generate: Mitarbeiter (20000)\n"
    "  --groups G       generate: Gruppen (2000)\n"
    "  --members M      generate: höchstens Mitglieder je Gruppe (2000)\n"
    "  --programs P     generate: Programme (500)\n"
    "  --subprograms S  generate: Unterprogramme je Programm (10)\n"
    "  --levels L       generate: Stufen je Unterprogramm (5)\n"
    "  --seed N         generate: Startwert des Zufalls (4711)\n"
    "  --ausnahme GRUND rechte-uebernehmen, rueckgaengig --ja: eine Änderung,\n"
    "                   die unvereinbare Rechte gibt, mit diesem Grund als Ausnahme speichern\n"
    "                   (ohne: nichts gespeichert, Status 2)\n"
    "  --beschreibung TEXT\n"
    "                   regel anlegen: worum es bei der Regel geht\n"
    "  --grund TEXT     befristen: der Grund der Befristung\n"
    "  --aufheben       befristen: die Befristung aufheben\n"
    "  --tage N         report befristungen: nur die in N Tagen endenden\n"
    "  --als CODE       gruppe-kopieren, rechte-uebernehmen, rueckgaengig --ja, befristen,\n"
    "                   ablauf, regel anlegen/loeschen: als dieser\n"
    "                   Verwalter anmelden (Passwort aus KORVAL_PASSWORT oder vom Terminal)\n"
    "  --help           diese Hilfe anzeigen\n"
    "  --version        die Version anzeigen\n"
    "\n"
    "Benutzer, Passwort und TLS des PostgreSQL-Servers kommen aus PGUSER,\n"
    "PGPASSWORD, ~/.pgpass, PGSSLMODE oder einer Dienstdatei.\n";

// A wrong call of a known command: the help's lines on it, not the whole help.
int FalscherAufruf(const QStringList& args) {
    const QString befehl =
        args.value(0) == QLatin1String("report") && args.size() > 1 ? args.mid(0, 2).join(QLatin1Char(' ')) : args.value(0);
    QStringList zeilen;
    bool dabei = false;
    for (const QString& z : QString::fromUtf8(Hilfe).split(QLatin1Char('\n'))) {
        // A command's line starts two blanks in, its continuation lines further.
        if (z.startsWith(QLatin1String("  ")) && !z.startsWith(QLatin1String("   ")))
            dabei = !befehl.isEmpty() && (z.mid(2) + QLatin1Char(' ')).startsWith(befehl + QLatin1Char(' '));
        else if (!z.startsWith(QLatin1String("   ")))
            dabei = false;
        if (dabei) zeilen.append(z);
    }
    if (zeilen.isEmpty()) {
        std::fputs(Hilfe, stderr);
    } else {
        QTextStream(stderr) << "korval-db: falscher Aufruf; so geht es:\n"
                            << zeilen.join(QLatin1Char('\n')) << "\n(korval-db --help zeigt alles)" << Qt::endl;
    }
    return 2;
}
} // namespace

// The administrator's password: from KORVAL_PASSWORT, else typed at the
// terminal without echo, else the first line of standard input.
static QString Passwort(const QString& code) {
    const QString umgebung = qEnvironmentVariable("KORVAL_PASSWORT");
    if (!umgebung.isEmpty()) return umgebung;
    QTextStream ein(stdin), frage(stderr);
#if defined(Q_OS_WIN)
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    DWORD modus = 0;
    const bool terminal = GetConsoleMode(h, &modus) != 0;
    if (terminal) {
        frage << "Passwort für " << code << ": " << Qt::flush;
        SetConsoleMode(h, modus & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    const QString zeile = ein.readLine();
    if (terminal) {
        SetConsoleMode(h, modus);
        frage << Qt::endl;
    }
#else
    termios alt{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &alt) == 0;
    if (terminal) {
        frage << "Passwort für " << code << ": " << Qt::flush;
        termios ohneEcho = alt;
        ohneEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &ohneEcho);
    }
    const QString zeile = ein.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &alt);
        frage << Qt::endl;
    }
#endif
    return zeile;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Hilfe, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korval-db %s\n", KORVAL_VERSION);
            return 0;
        }
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korval-db"));
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Legt die Datenbank der Benutzerverwaltung an und füllt sie.\n"
                       "Befehle: init, upgrade, demo, generate"));
    parser.addPositionalArgument(QStringLiteral("befehl"), QStringLiteral("init | upgrade | demo | generate"));
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Verzeichnis (eingebettete Datenbank) oder PostgreSQL-Server"), QStringLiteral("S"),
        QStringLiteral("localhost"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port"), QStringLiteral("P"),
                                  QStringLiteral("1973"));
    const QCommandLineOption ns(QStringLiteral("namespace"), QStringLiteral("Namespace (Datenbank)"),
                                QStringLiteral("N"), QStringLiteral("KORVAL"));
    const QCommandLineOption mitarbeiter(QStringLiteral("employees"), QStringLiteral("Mitarbeiter"),
                                         QStringLiteral("N"), QStringLiteral("20000"));
    const QCommandLineOption gruppen(QStringLiteral("groups"), QStringLiteral("Gruppen"), QStringLiteral("G"),
                                     QStringLiteral("2000"));
    const QCommandLineOption mitglieder(QStringLiteral("members"),
                                        QStringLiteral("höchstens Mitglieder je Gruppe"), QStringLiteral("M"),
                                        QStringLiteral("2000"));
    const QCommandLineOption programme(QStringLiteral("programs"), QStringLiteral("Programme"),
                                       QStringLiteral("P"), QStringLiteral("500"));
    const QCommandLineOption sub(QStringLiteral("subprograms"), QStringLiteral("Unterprogramme je Programm"),
                                 QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption stufen(QStringLiteral("levels"), QStringLiteral("Stufen je Unterprogramm"),
                                    QStringLiteral("L"), QStringLiteral("5"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Startwert des Zufalls"),
                                  QStringLiteral("N"), QStringLiteral("4711"));
    const QCommandLineOption firma(QStringLiteral("firma"), QStringLiteral("Firma"), QStringLiteral("F"),
                                   QStringLiteral("1"));
    const QCommandLineOption seit(QStringLiteral("seit"), QStringLiteral("ab Datum"), QStringLiteral("DATUM"));
    const QCommandLineOption bis(QStringLiteral("bis"), QStringLiteral("bis Datum"), QStringLiteral("DATUM"));
    const QCommandLineOption benutzer(QStringLiteral("benutzer"), QStringLiteral("Personalcode"),
                                      QStringLiteral("CODE"));
    const QCommandLineOption objekt(QStringLiteral("objekt"), QStringLiteral("Objekttext"), QStringLiteral("TEXT"));
    const QCommandLineOption vor(QStringLiteral("vor"), QStringLiteral("vor Datum"), QStringLiteral("DATUM"));
    const QCommandLineOption vonOption(QStringLiteral("von"), QStringLiteral("von Personalcode"), QStringLiteral("CODE"));
    const QCommandLineOption nachOption(QStringLiteral("nach"), QStringLiteral("für Personalcode"),
                                        QStringLiteral("CODE"));
    const QCommandLineOption ohneMitglieder(QStringLiteral("ohne-mitglieder"),
                                            QStringLiteral("gruppe-kopieren: ohne Mitglieder"));
    const QCommandLineOption ohneStufen(QStringLiteral("ohne-stufen"), QStringLiteral("gruppe-kopieren: ohne Stufen"));
    const QCommandLineOption ja(QStringLiteral("ja"), QStringLiteral("rueckgaengig: wirklich zurücknehmen"));
    const QCommandLineOption als(QStringLiteral("als"), QStringLiteral("als Verwalter anmelden"), QStringLiteral("CODE"));
    const QCommandLineOption pruefen(QStringLiteral("pruefen"),
                                     QStringLiteral("protokoll: die Kette der Prüfsummen prüfen"));
    const QCommandLineOption anwendungsrolle(QStringLiteral("anwendungsrolle"),
                                             QStringLiteral("init/upgrade: Datenbankrolle der Arbeitsplätze"),
                                             QStringLiteral("NAME"));
    const QCommandLineOption grund(QStringLiteral("grund"), QStringLiteral("befristen: Grund"), QStringLiteral("TEXT"));
    const QCommandLineOption aufheben(QStringLiteral("aufheben"), QStringLiteral("befristen: aufheben"));
    const QCommandLineOption tage(QStringLiteral("tage"), QStringLiteral("report befristungen: Tage"), QStringLiteral("N"));
    const QCommandLineOption ausnahme(QStringLiteral("ausnahme"), QStringLiteral("Grund einer Ausnahme"),
                                      QStringLiteral("GRUND"));
    const QCommandLineOption beschreibung(QStringLiteral("beschreibung"), QStringLiteral("regel: Beschreibung"),
                                          QStringLiteral("TEXT"));
    parser.addOptions({grund, aufheben, tage, ausnahme, beschreibung});
    parser.addOptions({anwendungsrolle, server, port, ns, firma, mitarbeiter, gruppen, mitglieder, programme, sub, stufen, seed, seit,
                       bis, benutzer, objekt, vor, ja, pruefen, als, vonOption, nachOption, ohneMitglieder, ohneStufen});
    // Wrong options are wrong input: a German message and status 2, as for
    // every other wrong input (process() would answer in English with 1).
    if (!parser.parse(QCoreApplication::arguments())) {
        QString text = parser.errorText();
        static const QList<std::pair<QRegularExpression, QString>> deutsch = {
            {QRegularExpression(QStringLiteral("^Unknown options?:? '?(.*?)'?\\.?$")), QStringLiteral("unbekannte Option: %1")},
            {QRegularExpression(QStringLiteral("^Missing value after '(.*)'\\.?$")), QStringLiteral("Wert fehlt nach %1")},
            {QRegularExpression(QStringLiteral("^Unexpected value after '(.*)'\\.?$")),
             QStringLiteral("%1 nimmt keinen Wert")}};
        for (const auto& [muster, uebersetzung] : deutsch) {
            const auto m = muster.match(text);
            if (m.hasMatch()) {
                text = uebersetzung.arg(m.captured(1));
                break;
            }
        }
        QTextStream(stderr) << "korval-db: " << text << " (korval-db --help zeigt die Optionen)" << Qt::endl;
        return 2;
    }
    const QStringList args = parser.positionalArguments();
    const bool bericht = !args.isEmpty() && args.front() == QLatin1String("report");
    const bool rueckgaengig = !args.isEmpty() && args.front() == QLatin1String("rueckgaengig");
    const bool kopieren = !args.isEmpty() && args.front() == QLatin1String("gruppe-kopieren");
    const bool befristen = !args.isEmpty() && args.front() == QLatin1String("befristen");
    const bool regel = !args.isEmpty() && args.front() == QLatin1String("regel");
    // An empty date is a mistake (an unset variable in a script), not --aufheben.
    if (befristen && (args.size() != (parser.isSet(aufheben) ? 3 : 4) ||
                      (!parser.isSet(aufheben) && args[3].trimmed().isEmpty())))
        return FalscherAufruf(args);
    if (args.isEmpty() || (!bericht && !rueckgaengig && !kopieren && !befristen && !regel && args.size() != 1) ||
        (rueckgaengig && args.size() != 2) || (kopieren && args.size() != 3))
        return FalscherAufruf(args);
    DatenbankZiel ziel;
    ziel.server = parser.value(server);
    ziel.port = parser.value(port);
    ziel.ns = parser.value(ns);
    ziel.firma = parser.value(firma);
    ziel.anwendungsrolle = parser.value(anwendungsrolle);
    ziel.ausnahme = parser.value(ausnahme).trimmed();
    if (parser.isSet(ausnahme) && ziel.ausnahme.isEmpty()) {
        QTextStream(stderr) << "korval-db: --ausnahme braucht einen Grund" << Qt::endl;
        return 2;
    }
    if (parser.isSet(als)) {
        ziel.als = parser.value(als);
        ziel.passwort = Passwort(ziel.als);
    }
    const QString befehl = args.front();
    if (kopieren) {
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::GruppeKopieren(ziel, args[1], args[2], !parser.isSet(ohneMitglieder),
                                                 !parser.isSet(ohneStufen), out, fehler);
    }
    if (regel) {
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::Regel(ziel, args.mid(1), parser.value(beschreibung), out, fehler);
    }
    if (bericht && args.value(1) == QLatin1String("unvereinbar")) {
        QTextStream fehler(stderr);
        if (args.size() != 2) {
            return FalscherAufruf(args);
        }
        return Datenbankwerkzeug::Unvereinbar(ziel, parser.value(firma), out, fehler);
    }
    if (befristen) {
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::Befristen(ziel, args[1], args[2], parser.isSet(aufheben) ? QString() : args[3],
                                            parser.isSet(grund) ? parser.value(grund) : QString(), out, fehler);
    }
    if (befehl == QLatin1String("ablauf")) {
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::Ablauf(ziel, out, fehler);
    }
    if (bericht && args.value(1) == QLatin1String("befristungen")) {
        QTextStream fehler(stderr);
        bool zahl = true;
        const int n = parser.isSet(tage) ? parser.value(tage).toInt(&zahl) : -1;
        if (args.size() != 2 || !zahl || (parser.isSet(tage) && n < 0)) {
            return FalscherAufruf(args);
        }
        return Datenbankwerkzeug::BefristungenBericht(ziel, parser.value(firma), n, out, fehler);
    }
    if (befehl == QLatin1String("rechte-uebernehmen")) {
        QTextStream fehler(stderr);
        if (!parser.isSet(vonOption) || !parser.isSet(nachOption)) {
            return FalscherAufruf(args);
        }
        return Datenbankwerkzeug::RechteUebernehmen(ziel, parser.value(firma), parser.value(vonOption),
                                                    parser.value(nachOption), out, fehler);
    }
    if (bericht && args.value(1) == QLatin1String("vergleich")) {
        QTextStream fehler(stderr);
        if (args.size() != 4) {
            return FalscherAufruf(args);
        }
        return Datenbankwerkzeug::Vergleich(ziel, parser.value(firma), args[2], args[3], out, fehler);
    }
    if (bericht) {
        // Selection: code, group, program, sub-program, level.
        const QString art = args.value(1);
        QStringList auswahl(5);
        bool passt = true;
        if (art == QLatin1String("mitarbeiter") && args.size() == 3)
            auswahl[0] = args[2];
        else if (art == QLatin1String("gruppe") && args.size() == 3)
            auswahl[1] = args[2];
        else if (art == QLatin1String("stufe") && args.size() == 5)
            auswahl = {QString(), QString(), args[2], args[3], args[4]};
        else
            passt = art == QLatin1String("matrix") && args.size() == 2;
        if (!passt) {
            return FalscherAufruf(args);
        }
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::Bericht(ziel, parser.value(firma), auswahl, out, fehler);
    }
    if (rueckgaengig) {
        QTextStream fehler(stderr);
        return Datenbankwerkzeug::Rueckgaengig(ziel, args[1], parser.isSet(ja), out, fehler);
    }
    if (befehl == QLatin1String("protokoll")) {
        QTextStream fehler(stderr);
        if (parser.isSet(pruefen)) return Datenbankwerkzeug::ProtokollPruefen(ziel, out, fehler) ? 0 : 1;
        return Datenbankwerkzeug::Protokoll(ziel,
                                            {parser.value(seit), parser.value(bis), parser.value(benutzer),
                                             parser.value(objekt)},
                                            out, fehler)
                   ? 0
                   : 1;
    }
    if (befehl == QLatin1String("protokoll-bereinigen")) {
        if (!parser.isSet(vor)) {
            out << "korval-db: protokoll-bereinigen braucht --vor DATUM" << Qt::endl;
            return 2;
        }
        return Datenbankwerkzeug::ProtokollBereinigen(ziel, parser.value(vor), out) ? 0 : 1;
    }
    if (befehl == QLatin1String("init")) return Datenbankwerkzeug::Init(ziel, out) ? 0 : 1;
    if (befehl == QLatin1String("upgrade")) return Datenbankwerkzeug::Upgrade(ziel, out) ? 0 : 1;
    if (befehl == QLatin1String("demo")) return Datenbankwerkzeug::Demo(ziel, out) ? 0 : 1;
    if (befehl == QLatin1String("generate")) {
        GenerierParameter p;
        bool ok = true;
        auto zahl = [&](const QCommandLineOption& o, int min) {
            bool z = false;
            const int v = parser.value(o).toInt(&z);
            if (!z || v < min) ok = false;
            return v;
        };
        p.mitarbeiter = zahl(mitarbeiter, 1);
        p.gruppen = zahl(gruppen, 1);
        p.maxMitglieder = zahl(mitglieder, 0);
        p.programme = zahl(programme, 0);
        p.subprogramme = zahl(sub, 1);
        p.stufen = zahl(stufen, 1);
        p.seed = static_cast<std::uint32_t>(zahl(seed, 0));
        if (!ok) {
            out << "korval-db: Zahlen der Optionen ungültig" << Qt::endl;
            return 2;
        }
        return Datenbankwerkzeug::Generieren(ziel, p, out) ? 0 : 1;
    }
    out << "korval-db: unbekannter Befehl " << befehl << Qt::endl;
    return 2;
}
