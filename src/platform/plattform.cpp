#include "plattform.h"

#include <QCursor>
#include <QPointer>
#include <QProxyStyle>
#include <QWidget>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <cmath>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Plattform {

namespace {
bool g_sanduhr = false;
double g_twips = 0;
} // namespace

void setSanduhr(bool an) {
    if (an == g_sanduhr) return;
    g_sanduhr = an;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (an)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
}

bool Sanduhr() {
    return g_sanduhr;
}

double TwipsProPixel() {
    if (g_twips > 0) return g_twips;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* s = app->primaryScreen())
            if (s->logicalDotsPerInchX() > 0) return 1440.0 / s->logicalDotsPerInchX();
    return 15.0;
}

void setTwipsProPixel(double wert) {
    g_twips = wert;
}

int Pixel(double twips) {
    return static_cast<int>(std::lround(twips / TwipsProPixel()));
}

namespace {
// Nothing chosen by the user and no runtime folder: a folder of the user's own
// under the system's temporary directory, never the shared directory itself.
QString Ausweichordner() {
    return QDir::tempPath() + QStringLiteral("/korval-") + qEnvironmentVariable("USER");
}

bool GewaehltOderLaufzeit(QString& ordner) {
    for (const char* name : {"TEMP", "Temp", "temp", "TMP", "TMPDIR"}) {
        ordner = qEnvironmentVariable(name);
        if (!ordner.isEmpty()) return true;
    }
    // Qt hands out the runtime folder only when it is the user's and closed to others.
    ordner = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return !ordner.isEmpty();
}
} // namespace

QString TempVerzeichnis() {
    QString ordner;
    if (GewaehltOderLaufzeit(ordner)) return QDir::toNativeSeparators(ordner);
    const QString eigen = Ausweichordner();
    QString warum;
    EigenerOrdner(eigen, warum);
    return QDir::toNativeSeparators(eigen);
}

bool TempVerzeichnisPruefen(QString& warum) {
    QString ordner;
    return GewaehltOderLaufzeit(ordner) || EigenerOrdner(Ausweichordner(), warum);
}

bool EigenerOrdner(const QString& pfad, QString& warum) {
#ifdef Q_OS_UNIX
    // Made closed; a folder that is already there is taken only when it is the
    // user's own and closed: whoever made it first would own the history file's folder.
    const QByteArray name = QFile::encodeName(pfad);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        warum = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        warum = QStringLiteral("der Ordner %1 ist kein gewöhnlicher Ordner").arg(pfad);
        return false;
    }
    if (st.st_uid != ::getuid()) {
        warum = QStringLiteral("der Ordner %1 gehört einem anderen Benutzer").arg(pfad);
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        warum = QStringLiteral("der Ordner %1 ist für andere Benutzer offen (Modus %2)")
                    .arg(pfad)
                    .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return false;
    }
    return true;
#else
    // The Windows temporary directory belongs to the user alone.
    if (QDir().mkpath(pfad)) return true;
    warum = QStringLiteral("der Ordner %1 kann nicht angelegt werden").arg(pfad);
    return false;
#endif
}

QChar Trennzeichen() {
    return QDir::separator();
}

namespace {
class Sternchen final : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

void SternchenAlsPasswortzeichen(QWidget* feld) {
    // One style for every password field, kept until the application ends.
    static QPointer<Sternchen> stil;
    if (!stil) {
        stil = new Sternchen();
        stil->setParent(QCoreApplication::instance());
    }
    feld->setStyle(stil);
}

void ArgumentVerbergen(int argc, char** argv, int feld) {
#ifdef Q_OS_UNIX
    // The process list reads the arguments from the process's own memory. The
    // fields are those of the arguments joined by blanks: the whole command line
    // may come as one argument ("1 0 ADM pw").
    int nummer = 1;
    for (int i = 1; i < argc && argv[i] && nummer <= feld; ++i, ++nummer)
        for (char* c = argv[i]; *c; ++c) {
            if (*c == ' ')
                ++nummer;
            else if (nummer == feld)
                *c = '\0';
        }
#else
    // Windows keeps its own copy of the command line, out of the program's reach.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(feld);
#endif
}

QString SystemInfoProgramm() {
    for (const char* p :
         {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor", "xfce4-taskmanager", "lxtask"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(p));
        if (!found.isEmpty()) return found;
    }
    return {};
}

} // namespace Plattform
