// Benutzerverwaltung: who may run which program of the KORVAL suite.

#include "auswertung/frmuebersicht.h"
#include "auswertung/frmvergleich.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/frmbefristen.h"
#include "mainwindow/frmunvereinbar.h"
#include "platform/clock.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"
#include "util/programmverlauf.h"

#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// A server error that no handler caught is reported like every other one;
// the program goes on instead of ending with the error.
class Anwendung final : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* empfaenger, QEvent* ereignis) override {
        try {
            return QApplication::notify(empfaenger, ereignis);
        } catch (const CacheFehler& e) {
            CacheFehlermeldung(e, QStringLiteral("Benutzerverwaltung"));
        } catch (const std::exception& e) {
            CacheFehlermeldung(CacheFehler(0, QString::fromLocal8Bit(e.what())),
                               QStringLiteral("Benutzerverwaltung"));
        }
        return false;
    }
};
} // namespace

namespace {
const char* const Hilfe =
    "Aufruf: benutzerverwaltung [FIRMA FILIALE CODE PASSWORT [SERVER [PORT [NAMESPACE [WJ]]]]]\n"
    "\n"
    "Die Benutzerverwaltung der KORVAL-Anwendungen: Berechtigungsgruppen, ihre\n"
    "Mitarbeiter und die Gruppen jeder Programmstufe pflegen.\n"
    "\n"
    "Ohne Argumente meldet sich das Programm über den Anmeldedialog an. Mit einer\n"
    "Befehlszeile (Firma und Filiale als Zahlen, ein Personalcode von höchstens\n"
    "drei Zeichen) erscheint kein Anmeldedialog. Vorgaben: Server localhost,\n"
    "Port 1973, Namespace KORVAL. Ein Server, der mit /, ~ oder . beginnt, wählt\n"
    "die eingebettete Datenbank SERVER/NAMESPACE.sqlite, jeder andere einen\n"
    "PostgreSQL-Server.\n"
    "\n"
    "Das Passwort auf der Befehlszeile ist für andere Benutzer kurz sichtbar;\n"
    "sicherer ist der Anmeldedialog.\n"
    "\n"
    "  --help     diese Hilfe anzeigen\n"
    "  --version  die Version anzeigen\n"
    "\n"
    "Beide werden nur als einziges Argument erkannt.\n";

// --help and --version as the sole argument; every other command line keeps its meaning.
bool Auskunft(int argc, char** argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Hilfe, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("benutzerverwaltung %s\n", KORVAL_VERSION);
        return true;
    }
    return false;
}
} // namespace

namespace {
// Ends the program at the first paint of the window it watches.
class ErstesBild final : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !m_gemeldet) {
            m_gemeldet = true;
            QFile status(QStringLiteral("/proc/self/status"));
            QByteArray hwm = "VmHWM: unbekannt";
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray& zeile : status.readAll().split('\n'))
                    if (zeile.startsWith("VmHWM")) hwm = zeile;
            std::printf("gezeichnet\n%s\n", hwm.constData());
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return QObject::eventFilter(o, e);
    }

  private:
    bool m_gemeldet = false;
};
} // namespace

int main(int argc, char** argv) {
    // Answered before any window: no display is needed for them.
    if (Auskunft(argc, argv)) return 0;
    Anwendung app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Benutzerverwaltung"));
    QApplication::setOrganizationName(QStringLiteral("KORVAL"));
    QApplication::setApplicationVersion(QStringLiteral(KORVAL_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/bilder/korval.svg")));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator qtDeutsch;
    if (qtDeutsch.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtDeutsch);

    QStringList felder = QApplication::arguments().mid(1);
    Anwendungszustand& z = Zustand();
    z.ProgrammKommandozeile = felder.join(QLatin1Char(' '));
    // Field 4 is the password, also inside one argument holding the whole line:
    // read, it no longer shows in the process list.
    Plattform::ArgumentVerbergen(argc, argv, 4);
    z.FactoryErzeugen = [] { return NeueCacheFactory(); };

    FMServer server;
    FMPass login(&server);
    frmProgrammverlauf verlauf;
    FMStart start(&login, &verlauf);
    login.setHauptfenster(&start);
    z.Login = &login;
    z.ServerFenster = &server;
    Verlauf::setZiel([&verlauf](const QString& eintrag) { verlauf.Eintragen(eintrag); });
    z.AlleFensterEntladen = [&] {
        verlauf.setEntladen(true);
        const auto fenster = QApplication::topLevelWidgets();
        for (auto it = fenster.rbegin(); it != fenster.rend(); ++it)
            (*it)->hide();
    };
    z.Beenden = [] {
        std::fflush(nullptr);
        Zustand().CacheFactory.reset();
        std::exit(0);
    };

    start.Form_Load();
    start.show();

    // For measuring start-up: end at the loaded main window's first paint,
    // printing the peak memory until then.
    if (qEnvironmentVariableIsSet("KORVAL_NACH_LADEN_BEENDEN")) {
        auto* erstesBild = new ErstesBild(&start);
        start.installEventFilter(erstesBild);
        start.update();
        const int rc = QApplication::exec();
        z.CacheFactory.reset();
        return rc;
    }

    // For a picture of the loaded window without a display (run.sh under xvfb).
    const QString bild = qEnvironmentVariable("KORVAL_SCREENSHOT");
    if (!bild.isEmpty()) {
        QTimer::singleShot(1500, &start, [&start, bild] {
            start.grab().save(bild);
            std::printf("%s\n", qPrintable(QDir::toNativeSeparators(bild)));
            // The permission overview beside it, with the first employee chosen.
            start.mUebersicht->trigger();
            if (frmUebersicht* f = start.UebersichtFenster()) {
                f->ctListMitarbeiter->Liste()->Auswaehlen(0);
                QTimer::singleShot(500, &start, [&start, f, bild] {
                    const QString neben = QFileInfo(bild).dir().filePath(QStringLiteral("uebersicht.png"));
                    f->grab().save(neben);
                    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(neben)));
                    // The comparison of two employees of the demo company.
                    start.mVergleich->trigger();
                    frmVergleich* v = start.VergleichFenster();
                    if (!v) {
                        start.close();
                        return;
                    }
                    auto waehlen = [](CtFilterList* l, const QString& code) {
                        for (int i = 0; i < l->Angezeigt(); ++i)
                            if (l->Gezeigt(i)->daten.toStringList().value(0) == code)
                                l->Liste()->Auswaehlen(i);
                    };
                    waehlen(v->ctListA, QStringLiteral("USR"));
                    waehlen(v->ctListB, QStringLiteral("ADM"));
                    QTimer::singleShot(500, &start, [&start, v, bild] {
                        const QString vergleich =
                            QFileInfo(bild).dir().filePath(QStringLiteral("vergleich.png"));
                        v->grab().save(vergleich);
                        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(vergleich)));
                        // The dated memberships, and the dialog that dates one.
                        if (frmUebersicht* u = start.UebersichtFenster()) {
                            u->tabUebersicht->setCurrentWidget(u->ctListBefristungen);
                            const QString befristungen =
                                QFileInfo(bild).dir().filePath(QStringLiteral("befristungen.png"));
                            u->grab().save(befristungen);
                            std::printf("%s\n", qPrintable(QDir::toNativeSeparators(befristungen)));
                        }
                        frmBefristen d(QStringLiteral("Lager"), QStringLiteral("OEZ"),
                                       QStringLiteral("Ayşe Özdemir"), QDate(), Uhr().Now().date(), &start);
                        d.txtGrund->setText(QStringLiteral("Urlaubsvertretung"));
                        d.show();
                        const QString befristen = QFileInfo(bild).dir().filePath(QStringLiteral("befristen.png"));
                        d.grab().save(befristen);
                        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(befristen)));
                        // The rules of incompatible rights, and who violates them.
                        frmUnvereinbar regeln(&start);
                        regeln.show();
                        const QString unvereinbar = QFileInfo(bild).dir().filePath(QStringLiteral("unvereinbar.png"));
                        regeln.grab().save(unvereinbar);
                        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(unvereinbar)));
                        if (frmUebersicht* u = start.UebersichtFenster()) {
                            u->tabUebersicht->setCurrentWidget(u->ctListVerstoesse);
                            const QString verstoesse = QFileInfo(bild).dir().filePath(QStringLiteral("verstoesse.png"));
                            u->grab().save(verstoesse);
                            std::printf("%s\n", qPrintable(QDir::toNativeSeparators(verstoesse)));
                        }
                        start.close();
                    });
                });
                return;
            }
            start.close();
        });
    }
    return QApplication::exec();
}
