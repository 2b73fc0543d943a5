#include "dbzugriff.h"

#include "fenster.h"
#include "verbindung.h"
#include "zustand.h"

#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"
#include "util/programmverlauf.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRegularExpression>
#include <QTimer>

namespace {
void LockSchalten(bool an) {
    if (Zustand().ServerFenster)
        if (QTimer* t = Zustand().ServerFenster->Lock()) {
            if (an)
                t->start();
            else
                t->stop();
        }
}
} // namespace

void EreignisseVerarbeiten() {
    QCoreApplication::processEvents();
}

namespace {
int g_eingabesperren = 0;

class Eingabefilter final : public QObject {
  protected:
    bool eventFilter(QObject* ziel, QEvent* e) override {
        if (g_eingabesperren == 0) return QObject::eventFilter(ziel, e);
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::InputMethod:
            return true;
        default:
            return QObject::eventFilter(ziel, e);
        }
    }
};
} // namespace

Eingabesperre::Eingabesperre() {
    static Eingabefilter* filter = nullptr;
    if (!filter && QCoreApplication::instance()) {
        filter = new Eingabefilter;
        filter->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
    ++g_eingabesperren;
}

Eingabesperre::~Eingabesperre() {
    --g_eingabesperren;
}

bool Eingabesperre::Aktiv() {
    return g_eingabesperren > 0;
}

void DbBeginn(bool sanduhr) {
    if (sanduhr) Plattform::setSanduhr(true);
    try {
        Verbinden();
    } catch (...) {
        // Count the operation all the same: its error report ends it.
        LockSchalten(false);
        ++Zustand().DbZugriffe;
        throw;
    }
    LockSchalten(false);
    ++Zustand().DbZugriffe;
}

void DbEnde(bool sanduhr) {
    if (sanduhr) Plattform::setSanduhr(false);
    Anwendungszustand& z = Zustand();
    if (z.DbZugriffe > 0) --z.DbZugriffe;
    if (z.DbZugriffe < 1) LockSchalten(true);
}

QString dbcall(const QString& befehl, bool& fehler) {
    QString ergebnis;
    try {
        DbBeginn(false);
        CacheObjektPtr w = Zustand().CacheFactory->New(QStringLiteral("KV.Windows"));
        ergebnis = w->Methode(QStringLiteral("Xecute"), {befehl});
        ObjektSchliessen(w);
        DbEnde(false);
    } catch (const CacheFehler& e) {
        fehler = true;
        CacheFehlermeldung(e,
                           QStringLiteral("cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\n"
                                          "DBCall Aufruf von KV.Windwos Xecute ") +
                               befehl);
    }
    return ergebnis;
}

QString Fehlermeldungstext(const CacheFehler& fehler, const QString& vorgang) {
    return QStringLiteral("Vorgang: ") + vorgang + QStringLiteral(".\r\n\r\nFehler: ") +
           QString::number(fehler.Nummer()) + QStringLiteral("\r\n") + fehler.Beschreibung() +
           QStringLiteral("\r\n\r\n");
}

void CacheFehlermeldung(const CacheFehler& fehler, const QString& vorgang) {
    // The pointer must not stay an hourglass over the message.
    Plattform::setSanduhr(false);
    Dialoge().MsgBox(Fehlermeldungstext(fehler, vorgang), DialogService::Exclamation,
                     QStringLiteral("Caché Zugriffsfehler"));
    Programmverlauf(QStringLiteral("cacheapi.CacheFehlermeldung"), vorgang,
                    QStringLiteral("Fehler #") + QString::number(fehler.Nummer()) + QLatin1Char(' ') +
                        fehler.Beschreibung());
    DbEnde(true);
}

static QString MWert(const QString& wert) {
    // Anchored for real: "$" alone would also match before a final line break.
    // Only a number that M keeps as written goes bare: "01" would become 1, and
    // long digit strings lose digits as numbers.
    static const QRegularExpression zahl(QRegularExpression::anchoredPattern(QStringLiteral("0|[1-9][0-9]{0,14}")));
    if (zahl.match(wert).hasMatch()) return wert;
    QString q = wert;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString BenutzerkontextBefehl(const QString& firma, const QString& filiale, const QString& personalcode) {
    QString code = personalcode;
    code.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("S FIRMA=") + MWert(firma) + QStringLiteral(",FIL=") + MWert(filiale) +
           QStringLiteral(",PERSONAL=\"") + code + QLatin1Char('"');
}
