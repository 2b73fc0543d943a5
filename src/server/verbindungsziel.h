#pragma once
// Where a connection string points: an embedded SQLite file or a PostgreSQL server.

#include <QString>

#include <optional>

struct ConnectionTarget {
    enum class Backend { Sqlite, Postgres };
    Backend backend = Backend::Sqlite;
    QString server; // as written in the string
    QString port;
    QString ns;       // namespace: database name or file base name
    QString filePath; // SQLite only: SERVER/NAMESPACE.sqlite, "~" expanded

    // "cn_iptcp:SERVER[PORT]:NAMESPACE", split at the first "[" that digits (or
    // nothing) and "]:" follow; anything else is refused.
    static std::optional<ConnectionTarget> parse(const QString& connStrg);
    static bool isPath(const QString& server);
};
