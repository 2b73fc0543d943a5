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

QString TempVerzeichnis() {
    for (const char* name : {"TEMP", "Temp", "temp", "TMP", "TMPDIR"}) {
        const QString v = qEnvironmentVariable(name);
        if (!v.isEmpty()) return v;
    }
    // Nothing chosen by the user: a folder nobody else can read, never the
    // shared temporary directory.
    const QString laufzeit = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!laufzeit.isEmpty()) return QDir::toNativeSeparators(laufzeit);
    const QString eigen = QDir::tempPath() + QStringLiteral("/korval-") + qEnvironmentVariable("USER");
    QDir().mkpath(eigen);
    QFile::setPermissions(eigen, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QDir::toNativeSeparators(eigen);
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
