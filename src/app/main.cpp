// Benutzerverwaltung: who may run which program of the KORVAL suite.

#include "auxwindows/frmprogrammverlauf.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "platform/plattform.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"
#include "util/programmverlauf.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

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

int main(int argc, char** argv) {
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
    // Field 4 is the password: read, it no longer shows in the process list.
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

    // For measuring start-up: end as soon as the main window is loaded and shown.
    if (qEnvironmentVariableIsSet("KORVAL_NACH_LADEN_BEENDEN")) {
        QApplication::processEvents();
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& zeile : status.readAll().split('\n'))
                if (zeile.startsWith("VmHWM")) std::printf("%s\n", zeile.constData());
        std::fflush(stdout);
        z.CacheFactory.reset();
        return 0;
    }

    // For a picture of the loaded window without a display (run.sh under xvfb).
    const QString bild = qEnvironmentVariable("KORVAL_SCREENSHOT");
    if (!bild.isEmpty()) {
        QTimer::singleShot(1500, &start, [&start, bild] {
            start.grab().save(bild);
            std::printf("%s\n", qPrintable(QDir::toNativeSeparators(bild)));
            start.close();
        });
    }
    return QApplication::exec();
}
