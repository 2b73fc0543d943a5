// The command interpreter behind Xecute: any line is run or refused with an
// M error, never a crash; globals live in memory here.

#include "database/cacheclient.h"
#include "server/minterpreter.h"

#include <QHash>

#include <cstdint>

namespace {
class Speicher final : public MGlobalStore {
  public:
    std::optional<QString> getGlobal(const QString& name, const QStringList& subs) override {
        const auto it = m_werte.constFind(name + QChar(0x1F) + subs.join(QChar(0x1F)));
        if (it == m_werte.constEnd()) return std::nullopt;
        return *it;
    }
    void setGlobal(const QString& name, const QStringList& subs, const QString& wert) override {
        if (m_werte.size() < 1000) m_werte.insert(name + QChar(0x1F) + subs.join(QChar(0x1F)), wert);
    }
    void killGlobal(const QString& name, const QStringList& subs) override {
        m_werte.remove(name + QChar(0x1F) + subs.join(QChar(0x1F)));
    }
    void startSession(const QString&, const QString&, const QString&) override {}

  private:
    QHash<QString, QString> m_werte;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 4096) return 0;
    Speicher s;
    MInterpreter m(s);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(daten), static_cast<qsizetype>(groesse));
    // Several lines: locals carry over as on one connection.
    for (const QString& zeile : text.split(QLatin1Char('\n'))) {
        try {
            m.execute(zeile);
        } catch (const CacheFehler&) {
        }
    }
    return 0;
}
