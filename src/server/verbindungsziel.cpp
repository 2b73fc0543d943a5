#include "verbindungsziel.h"

#include <QDir>

bool ConnectionTarget::isPath(const QString& server) {
    if (server.startsWith(QLatin1Char('/')) || server.startsWith(QLatin1Char('~')) ||
        server.startsWith(QLatin1Char('.')))
        return true;
    // A drive letter such as C:\ or C:/
    return server.size() >= 3 && server.at(0).isLetter() && server.at(1) == QLatin1Char(':') &&
           (server.at(2) == QLatin1Char('\\') || server.at(2) == QLatin1Char('/'));
}

std::optional<ConnectionTarget> ConnectionTarget::parse(const QString& connStrg) {
    static const QString prefix = QStringLiteral("cn_iptcp:");
    if (!connStrg.startsWith(prefix)) return std::nullopt;
    // The port is digits only: a "[" in a path or a namespace is not where it is.
    qsizetype open = -1, close = -1;
    for (qsizetype i = connStrg.indexOf(QLatin1Char('['), prefix.size()); i >= 0;
         i = connStrg.indexOf(QLatin1Char('['), i + 1)) {
        qsizetype j = i + 1;
        while (j < connStrg.size() && connStrg.at(j).isDigit() && connStrg.at(j).unicode() < 128)
            ++j;
        if (connStrg.mid(j, 2) == QLatin1String("]:")) {
            open = i;
            close = j;
            break;
        }
    }
    if (open < 0) return std::nullopt;
    ConnectionTarget t;
    t.server = connStrg.mid(prefix.size(), open - prefix.size());
    t.port = connStrg.mid(open + 1, close - open - 1);
    t.ns = connStrg.mid(close + 2);
    if (t.server.isEmpty() || t.ns.isEmpty()) return std::nullopt;
    if (isPath(t.server)) {
        // The namespace names a file in that folder, never one elsewhere.
        if (t.ns.contains(QLatin1Char('/')) || t.ns.contains(QLatin1Char('\\')) || t.ns == QLatin1String("..") ||
            t.ns.contains(QChar(0)))
            return std::nullopt;
        t.backend = Backend::Sqlite;
        QString dir = t.server;
        if (dir.startsWith(QLatin1Char('~'))) dir = QDir::homePath() + dir.mid(1);
        t.filePath = QDir(dir).filePath(t.ns + QStringLiteral(".sqlite"));
    } else {
        t.backend = Backend::Postgres;
        bool ok = false;
        const int p = t.port.toInt(&ok);
        if (!ok || p <= 0 || p > 65535) return std::nullopt;
    }
    return t;
}
