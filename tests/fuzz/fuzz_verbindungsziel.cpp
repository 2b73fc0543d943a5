// The connection string: split at the first "[digits]:"; what it splits into
// and is put together again splits the same way.

#include "pruefen.h"

#include "server/verbindungsziel.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    if (groesse > 2048) return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(daten), static_cast<qsizetype>(groesse));
    const auto ziel = ConnectionTarget::parse(text);
    if (!ziel) return 0;
    const auto wieder = ConnectionTarget::parse(QStringLiteral("cn_iptcp:") + ziel->server + QLatin1Char('[') +
                                                ziel->port + QStringLiteral("]:") + ziel->ns);
    Pruefen(wieder && wieder->server == ziel->server && wieder->port == ziel->port && wieder->ns == ziel->ns,
            "Verbindungszeichenfolge nicht wieder gleich", text);
    return 0;
}
