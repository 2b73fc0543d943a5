// korval-db: creates the database of the user administration and fills it.

#include "datenbankwerkzeug.h"

#include <QCommandLineParser>
#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korval-db"));
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Legt die Datenbank der Benutzerverwaltung an und füllt sie.\n"
                       "Befehle: init, demo, generate"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("befehl"), QStringLiteral("init | demo | generate"));
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
    parser.addOptions({server, port, ns, mitarbeiter, gruppen, mitglieder, programme, sub, stufen, seed});
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        parser.showHelp(2);
    }
    DatenbankZiel ziel;
    ziel.server = parser.value(server);
    ziel.port = parser.value(port);
    ziel.ns = parser.value(ns);
    const QString befehl = args.front();
    if (befehl == QLatin1String("init")) return Datenbankwerkzeug::Init(ziel, out) ? 0 : 1;
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
