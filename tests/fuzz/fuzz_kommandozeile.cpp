// The command line: any text is judged valid or not without a crash, its
// fields are taken apart, and the user-context command built from company,
// branch and code sets exactly those values on the server.

#include "pruefen.h"

#include "database/cacheclient.h"
#include "database/dbzugriff.h"
#include "database/verbindung.h"
#include "server/minterpreter.h"
#include "util/feld.h"

#include <cstdint>

namespace {
class OhneGlobale final : public MGlobalStore {
  public:
    std::optional<QString> getGlobal(const QString&, const QStringList&) override { return std::nullopt; }
    void setGlobal(const QString&, const QStringList&, const QString&) override {}
    void killGlobal(const QString&, const QStringList&) override {}
    void startSession(const QString&, const QString&, const QString&) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 2048) return 0;
    const QString k = QString::fromUtf8(reinterpret_cast<const char*>(daten), static_cast<qsizetype>(groesse));
    KommandozeileGueltig(k);
    QStringList felder;
    for (int i = 1; i <= 9; ++i)
        felder.append(Feld(k, QStringLiteral(" "), i));
    for (const QString& f : felder)
        IstZahl(f);
    OhneGlobale g;
    MInterpreter m(g);
    try {
        m.execute(BenutzerkontextBefehl(felder[0], felder[1], felder[2]));
    } catch (const CacheFehler& e) {
        Pruefen(false, "Benutzerkontext abgewiesen", k);
    }
    Pruefen(m.locals().value(QStringLiteral("FIRMA")) == felder[0] &&
                m.locals().value(QStringLiteral("FIL")) == felder[1] &&
                m.locals().value(QStringLiteral("PERSONAL")) == felder[2],
            "Benutzerkontext verändert", k);
    return 0;
}
