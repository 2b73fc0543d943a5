#include "schema.h"

#include "protokoll.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace Schema {

namespace {
int g_sperrfrist = 10000;
} // namespace

void setSperrfrist(int ms) {
    g_sperrfrist = ms;
}

int sperrfrist() {
    return g_sperrfrist;
}

bool isPostgres(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

// The only dialect difference: PostgreSQL sorts text by locale unless told otherwise.
QString textType(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("TEXT COLLATE \"C\"") : QStringLiteral("TEXT");
}

// The change log: one row per committed change, written in the change's own
// transaction; times are the server's, in UTC, as sortable text.
static QStringList logStatements(const QSqlDatabase& db) {
    const QString nr = isPostgres(db) ? QStringLiteral("nr BIGSERIAL PRIMARY KEY")
                                      : QStringLiteral("nr INTEGER PRIMARY KEY AUTOINCREMENT");
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS uv_protokoll (") + nr +
                QStringLiteral(", zeit %1 NOT NULL, firma %1 NOT NULL DEFAULT '', filiale %1 NOT NULL DEFAULT '', "
                               "pcode %1 NOT NULL DEFAULT '', rechner %1 NOT NULL DEFAULT '', befehl %1 NOT NULL, "
                               "objekt %1 NOT NULL, vorher %1 NOT NULL DEFAULT '', nachher %1 NOT NULL DEFAULT '')"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS uv_protokoll_zeit ON uv_protokoll (zeit)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS uv_protokoll_objekt ON uv_protokoll (objekt, zeit)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS uv_protokoll_pcode ON uv_protokoll (pcode, zeit)")};
}

static QStringList statements(const QSqlDatabase& db) {
    const QString t = textType(db);
    QStringList s = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS kv_schema (version INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS kv_parpersedv (firma %1 NOT NULL, pcode %1 NOT NULL, "
                       "passwort %1 NOT NULL DEFAULT '', aktiv %1 NOT NULL DEFAULT '', "
                       "pname %1 NOT NULL DEFAULT '', pnr %1 NOT NULL DEFAULT '', "
                       "abtnr %1 NOT NULL DEFAULT '', dw %1 NOT NULL DEFAULT '', "
                       "bergrp %1 NOT NULL DEFAULT '', PRIMARY KEY (firma, pcode))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS kv_parpersedv_pw ON kv_parpersedv (firma, passwort)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS kv_parpersabt (firma %1 NOT NULL, abtnr %1 NOT NULL, "
                       "abtbez %1 NOT NULL DEFAULT '', habtnr %1 NOT NULL DEFAULT '', "
                       "PRIMARY KEY (firma, abtnr))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS kv_persbasis (firma %1 NOT NULL, pnr %1 NOT NULL, "
                       "fax %1 NOT NULL DEFAULT '', email %1 NOT NULL DEFAULT '', PRIMARY KEY (firma, pnr))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS kv_kassasw (sys_id INTEGER NOT NULL PRIMARY KEY, "
                       "firma %1 NOT NULL DEFAULT '', fil %1 NOT NULL DEFAULT '', ip %1 NOT NULL DEFAULT '', "
                       "port %1 NOT NULL DEFAULT '', namespace %1 NOT NULL DEFAULT '', "
                       "type INTEGER NOT NULL DEFAULT 0, bezeichnung %1 NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS uv_gruppen (gruppe %1 NOT NULL PRIMARY KEY)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS uv_gruppen_pcode (gruppe %1 NOT NULL "
                       "REFERENCES uv_gruppen (gruppe) ON DELETE CASCADE, pos INTEGER NOT NULL, "
                       "pcode %1 NOT NULL, PRIMARY KEY (gruppe, pos))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS uv_programm (programmname %1 NOT NULL, "
                       "subprogramm %1 NOT NULL, berechtigungsstufe %1 NOT NULL, "
                       "PRIMARY KEY (programmname, subprogramm, berechtigungsstufe))"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS uv_programm_gruppe (programmname %1 NOT NULL, "
            "subprogramm %1 NOT NULL, berechtigungsstufe %1 NOT NULL, pos INTEGER NOT NULL, "
            "gruppe %1 NOT NULL, PRIMARY KEY (programmname, subprogramm, berechtigungsstufe, pos), "
            "FOREIGN KEY (programmname, subprogramm, berechtigungsstufe) REFERENCES uv_programm "
            "(programmname, subprogramm, berechtigungsstufe) ON DELETE CASCADE)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS uv_programm_gruppe_gruppe ON uv_programm_gruppe (gruppe)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS m_global (name %1 NOT NULL, subs %1 NOT NULL, "
                       "wert %1 NOT NULL, PRIMARY KEY (name, subs))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS m_sitzung (beginn %1 NOT NULL, firma %1 NOT NULL, "
                       "fil %1 NOT NULL, personal %1 NOT NULL)"),
    };
    for (QString& x : s)
        if (x.contains(QLatin1String("%1"))) x = x.arg(t);
    return s;
}

static void configure(QSqlDatabase& db) {
    if (isPostgres(db)) return;
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    // Every commit the program reports as stored is on disk first: in WAL
    // mode NORMAL would sync only at checkpoints, and a power cut could take
    // back changes already reported and logged.
    q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // Up to 64 MB of pages in memory: a large company's lists are read whole.
    q.exec(QStringLiteral("PRAGMA cache_size=-65536"));
}

QSqlDatabase open(const ConnectionTarget& target, const QString& name, QString& reason) {
    if (target.backend == ConnectionTarget::Backend::Sqlite) {
        if (!QFileInfo::exists(target.filePath)) {
            reason = QStringLiteral("Datenbankdatei %1 nicht gefunden").arg(target.filePath);
            return {};
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target.filePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(std::max(1, g_sperrfrist / 2)));
        if (!db.open()) {
            reason = db.lastError().text();
            return db;
        }
        configure(db);
        return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(target.server);
    db.setPort(target.port.toInt());
    db.setDatabaseName(target.ns);
    // A lock wait ends (the caller says so) instead of freezing the window; the
    // server notices a client that vanished while its call waits (it must not
    // commit later, unseen); keepalives notice a server that vanished.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=Benutzerverwaltung;keepalives=1;"
                                        "keepalives_idle=30;keepalives_interval=10;keepalives_count=3;"
                                        "options='-c lock_timeout=%1 -c client_connection_check_interval=2000'")
                             .arg(g_sperrfrist));
    if (!db.open()) reason = db.lastError().databaseText().trimmed();
    return db;
}

bool createDatabase(const ConnectionTarget& target, QString& reason) {
    if (target.backend == ConnectionTarget::Backend::Sqlite) {
        const QFileInfo fi(target.filePath);
        if (!QDir().mkpath(fi.absolutePath())) {
            reason = QStringLiteral("Verzeichnis %1 kann nicht angelegt werden").arg(fi.absolutePath());
            return false;
        }
        return true; // SQLite creates the file when it is opened
    }
    const QString name = QStringLiteral("korval-admin-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(target.server);
        db.setPort(target.port.toInt());
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            reason = db.lastError().databaseText().trimmed();
            ok = false;
        } else {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"));
            q.addBindValue(target.ns);
            if (q.exec() && !q.next()) {
                QString quoted = target.ns;
                quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
                if (!q.exec(QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 ENCODING 'UTF8'")
                                .arg(quoted))) {
                    reason = q.lastError().databaseText().trimmed();
                    ok = false;
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool transaktion(QSqlDatabase& db, QString& reason, const std::function<bool()>& arbeit) {
    if (!db.transaction()) {
        reason = db.lastError().text();
        return false;
    }
    if (!arbeit()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        reason = db.lastError().text();
        return false;
    }
    return true;
}

static bool tabelleDa(QSqlDatabase& db, const QString& tabelle) {
    QSqlQuery q(db);
    q.prepare(isPostgres(db) ? QStringLiteral("SELECT to_regclass(?) IS NOT NULL")
                             : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(tabelle);
    return q.exec() && q.next() && q.value(0).toBool();
}

// The naming rules the program checks, kept by the server as well: no "||"
// in a name or key part, none beginning or ending with "|" (the parts of an id
// could not be told apart), no NUL. PostgreSQL cannot store NUL at all; SQLite
// cannot add a check to a table, so triggers refuse there.
static QStringList namenUndSitzungen(const QSqlDatabase& db) {
    const std::pair<const char*, QStringList> tabellen[] = {
        {"uv_gruppen", {QStringLiteral("gruppe")}},
        {"uv_programm", {QStringLiteral("programmname"), QStringLiteral("subprogramm"), QStringLiteral("berechtigungsstufe")}},
        {"uv_programm_gruppe", {QStringLiteral("gruppe")}},
        {"uv_gruppen_pcode", {}}};
    QStringList s;
    for (const auto& [name, spalten] : tabellen) {
        const QString tabelle = QString::fromLatin1(name);
        // A trigger sees the row as NEW.
        const QString zeile = isPostgres(db) ? QString() : QStringLiteral("NEW.");
        QStringList regeln;
        for (const QString& x : spalten)
            regeln.append(QStringLiteral("%1 NOT LIKE '%||%' AND %1 NOT LIKE '|%' AND %1 NOT LIKE '%|'").arg(zeile + x));
        if (isPostgres(db)) {
            if (regeln.isEmpty()) continue;
            s.append(QStringLiteral("DO $$ BEGIN ALTER TABLE %1 ADD CONSTRAINT %1_namen CHECK (%2) NOT VALID; "
                                    "EXCEPTION WHEN duplicate_object THEN NULL; END $$")
                         .arg(tabelle, regeln.join(QStringLiteral(" AND "))));
            continue;
        }
        for (const QString& x : spalten.isEmpty() ? QStringList{QStringLiteral("pcode")} : spalten)
            regeln.append(QStringLiteral("instr(%1, char(0)) = 0").arg(zeile + x));
        for (const QString& wann : {QStringLiteral("INSERT"), QStringLiteral("UPDATE")})
            s.append(QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_namen_%2 BEFORE %3 ON %1 FOR EACH ROW WHEN NOT "
                                    "(%4) BEGIN SELECT RAISE(ABORT, 'Ungültiger Name'); END")
                         .arg(tabelle, wann.toLower(), wann, regeln.join(QStringLiteral(" AND "))));
    }
    if (isPostgres(db)) {
        // Who is signed on at which server process (sitzung.sql); the proof of a
        // password needs pgcrypto's HMAC.
        s.append(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pgcrypto"));
        s.append(QStringLiteral("CREATE TABLE IF NOT EXISTS uv_sitzung (pid INTEGER PRIMARY KEY, schluessel TEXT NOT NULL, "
                                "beginn TEXT NOT NULL, herausforderung TEXT NOT NULL DEFAULT '', firma TEXT, filiale TEXT, "
                                "pcode TEXT, verwalter BOOLEAN NOT NULL DEFAULT false, rolle TEXT NOT NULL DEFAULT '')"));
    }
    return s;
}

// The schema's steps in order; step n brings a database from version n - 1 to n.
static QStringList schritt(QSqlDatabase& db, int n) {
    if (n == 1) return statements(db);
    // The functions are recreated whenever their files change, not in a step.
    if (n == 4) return {};
    if (n == 5) return {QStringLiteral("ALTER TABLE kv_schema ADD COLUMN funktionen TEXT NOT NULL DEFAULT ''")};
    if (n == 6)
        // The log's chain and who wrote each entry; the entries not yet in the
        // chain are found by the index (the step chains those there now).
        return {QStringLiteral("ALTER TABLE uv_protokoll ADD COLUMN rolle %1 NOT NULL DEFAULT ''").arg(textType(db)),
                QStringLiteral("ALTER TABLE uv_protokoll ADD COLUMN hash %1 NOT NULL DEFAULT ''").arg(textType(db)),
                QStringLiteral("CREATE INDEX IF NOT EXISTS uv_protokoll_offen ON uv_protokoll (nr) WHERE hash = ''")};
    if (n == 7) return namenUndSitzungen(db);
    if (n == 8)
        // PostgreSQL: the plans an undo's preview computed, by what they were
        // computed from, so that the confirmed call need not compute them again.
        return isPostgres(db) ? QStringList{QStringLiteral(
                                    "CREATE TABLE IF NOT EXISTS uv_rz_plaene (eingabe TEXT PRIMARY KEY, "
                                    "zeit TIMESTAMPTZ NOT NULL DEFAULT now(), plan JSONB[] NOT NULL)")}
                              : QStringList{};
    if (n == 9)
        // A membership's end date, kept beside the member list (which the
        // suite's other programs read as it is): group, code, date, why, who and when.
        return {QStringLiteral("CREATE TABLE IF NOT EXISTS uv_befristung (gruppe %1 NOT NULL, pcode %1 NOT NULL, "
                               "bis %1 NOT NULL, grund %1 NOT NULL DEFAULT '', firma %1 NOT NULL DEFAULT '', "
                               "wer %1 NOT NULL DEFAULT '', wann %1 NOT NULL DEFAULT '', PRIMARY KEY (gruppe, pcode))")
                    .arg(textType(db)),
                QStringLiteral("CREATE INDEX IF NOT EXISTS uv_befristung_bis ON uv_befristung (bis)"),
                // Rules of incompatible rights: two sides, each a program level
                // ("*" for any sub-program or level); and the exceptions granted
                // with a change (`nr`: its log entry), by employee and rule.
                QStringLiteral("CREATE TABLE IF NOT EXISTS uv_regel (name %1 NOT NULL PRIMARY KEY, "
                               "beschreibung %1 NOT NULL DEFAULT '', p1 %1 NOT NULL, s1 %1 NOT NULL, l1 %1 NOT NULL, "
                               "p2 %1 NOT NULL, s2 %1 NOT NULL, l2 %1 NOT NULL)")
                    .arg(textType(db)),
                QStringLiteral("CREATE INDEX IF NOT EXISTS uv_regel_p1 ON uv_regel (p1)"),
                QStringLiteral("CREATE INDEX IF NOT EXISTS uv_regel_p2 ON uv_regel (p2)"),
                QStringLiteral("CREATE TABLE IF NOT EXISTS uv_ausnahme (pcode %1 NOT NULL, regel %1 NOT NULL, "
                               "grund %1 NOT NULL, firma %1 NOT NULL DEFAULT '', wer %1 NOT NULL DEFAULT '', "
                               "wann %1 NOT NULL DEFAULT '', nr BIGINT NOT NULL DEFAULT 0, PRIMARY KEY (pcode, regel))")
                    .arg(textType(db))};
    if (n == 3)
        // Which entry an undo takes back, or which group delete a withdrawal belongs to.
        return {QStringLiteral("ALTER TABLE uv_protokoll ADD COLUMN bezug BIGINT NOT NULL DEFAULT 0"),
                QStringLiteral("CREATE INDEX IF NOT EXISTS uv_protokoll_bezug ON uv_protokoll (bezug)")};
    if (n == 2) {
        QStringList s = logStatements(db);
        s.append(QStringLiteral("CREATE INDEX IF NOT EXISTS uv_gruppen_pcode_pcode ON uv_gruppen_pcode (pcode)"));
        for (QString& x : s)
            if (x.contains(QLatin1String("%1"))) x = x.arg(textType(db));
        return s;
    }
    return {};
}

static bool schrittAusfuehren(QSqlDatabase& db, int n, QString& reason) {
    return transaktion(db, reason, [&] {
        QSqlQuery q(db);
        for (const QString& s : schritt(db, n)) {
            // A table that is there already needs no right to create it.
            static const QRegularExpression tabelle(QStringLiteral("^CREATE TABLE IF NOT EXISTS (\\w+)"));
            const auto m = tabelle.match(s);
            if (m.hasMatch() && tabelleDa(db, m.captured(1))) continue;
            // Nor a column that is there (a database set back by hand to an older version).
            static const QRegularExpression spalte(QStringLiteral("^ALTER TABLE (\\w+) ADD COLUMN (\\w+)"));
            const auto s2 = spalte.match(s);
            if (s2.hasMatch() && db.record(s2.captured(1)).indexOf(s2.captured(2)) >= 0) continue;
            if (!q.exec(s)) {
                reason = q.lastError().text();
                return false;
            }
        }
        if (n == 6 && !Protokoll::Verketten(db, reason)) return false;
        if (!q.exec(QStringLiteral("UPDATE kv_schema SET version = %1").arg(n))) {
            reason = q.lastError().text();
            return false;
        }
        return true;
    });
}

bool create(QSqlDatabase& db, QString& reason) {
    const int v = version(db);
    if (v < 0) {
        // A new database: every step in one go.
        return transaktion(db, reason, [&] {
            QSqlQuery q(db);
            for (int n = 1; n <= Version; ++n)
                for (const QString& s : schritt(db, n))
                    if (!q.exec(s)) {
                        reason = q.lastError().text();
                        return false;
                    }
            if (!q.exec(QStringLiteral("INSERT INTO kv_schema (version) VALUES (%1)").arg(Version))) {
                reason = q.lastError().text();
                return false;
            }
            return true;
        }) && (!isPostgres(db) || funktionenAbgleichen(db, QString(), reason) != Funktionen::Fehlen);
    }
    int erreicht = v;
    if (!upgrade(db, reason, erreicht)) return false;
    QString fehler, bekannt;
    version(db, fehler, &bekannt);
    return !isPostgres(db) || funktionenAbgleichen(db, bekannt, reason) != Funktionen::Fehlen;
}

bool upgrade(QSqlDatabase& db, QString& reason, int& erreicht, int bekannt) {
    erreicht = bekannt > 0 ? bekannt : version(db);
    if (erreicht < 1) {
        reason = QStringLiteral("Die Datenbank enthält keine Benutzerverwaltung");
        return false;
    }
    while (erreicht < Version) {
        if (!schrittAusfuehren(db, erreicht + 1, reason)) return false;
        ++erreicht;
    }
    return true;
}

bool logDa(QSqlDatabase& db) {
    return tabelleDa(db, QStringLiteral("uv_protokoll"));
}

QString jsonWerteSql(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("SELECT json_array_elements_text(CAST(? AS json))")
                          : QStringLiteral("SELECT value FROM json_each(?)");
}

QString jsonTripelSql(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("SELECT x->>0, x->>1, x->>2 FROM json_array_elements(CAST(? AS json)) x")
                          : QStringLiteral("SELECT json_extract(value, '$[0]'), json_extract(value, '$[1]'), "
                                           "json_extract(value, '$[2]') FROM json_each(?)");
}

QString jsonZeilenSql(const QSqlDatabase& db, int spalten, int zahl) {
    QStringList s;
    for (int i = 0; i < spalten; ++i)
        s.append(isPostgres(db) ? (i == zahl ? QStringLiteral("CAST(x->>%1 AS INTEGER)") : QStringLiteral("x->>%1")).arg(i)
                                : QStringLiteral("json_extract(value, '$[%1]')").arg(i));
    return QStringLiteral("SELECT %1 FROM %2")
        .arg(s.join(QStringLiteral(", ")), isPostgres(db) ? QStringLiteral("json_array_elements(CAST(? AS json)) x")
                                                          : QStringLiteral("json_each(?)"));
}

QString zeitSql(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("to_char(clock_timestamp() AT TIME ZONE 'UTC', "
                                           "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')")
                          : QStringLiteral("strftime('%Y-%m-%dT%H:%M:%fZ', 'now')");
}

int version(QSqlDatabase& db) {
    QString fehler;
    return version(db, fehler);
}

int version(QSqlDatabase& db, QString& fehler, QString* fingerabdruck) {
    return version(db, fehler, fingerabdruck, nullptr);
}

int version(QSqlDatabase& db, QString& fehler, QString* fingerabdruck, QString* sitzung, bool* ungesichert) {
    fehler.clear();
    QSqlQuery q(db);
    // The usual case in one statement, whichever columns the version has;
    // only when it fails, what is missing (never called inside a
    // transaction, which a failed statement would end).
    // On PostgreSQL the same request hashes the functions that are there
    // (signatures and bodies): one dropped, added or changed by hand makes the
    // stored fingerprint count for nothing.
    // (PostgreSQL: the record as one JSON value, with no table behind it: Qt's
    // driver would ask the server for the table of each column, one more round trip.)
    if (q.exec(isPostgres(db) ? QStringLiteral("SELECT to_jsonb(s)::text AS uv_schema, (") + funktionsstandSql() +
                                    QStringLiteral(") AS uv_stand, pg_backend_pid() || '|' || (SELECT backend_start FROM "
                                               "pg_stat_activity WHERE pid = pg_backend_pid()) AS uv_sitzung, "
                                               "COALESCE(has_table_privilege(to_regclass('uv_gruppen'), 'DELETE'), "
                                               "false) AS uv_ungesichert FROM kv_schema s")
                              : QStringLiteral("SELECT * FROM kv_schema"))) {
        if (!q.next()) return -1;
        QVariantMap satz;
        if (isPostgres(db)) {
            satz = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object().toVariantMap();
            if (sitzung) *sitzung = q.value(2).toString();
            if (ungesichert) *ungesichert = q.value(3).toBool();
        } else {
            for (int i = 0; i < q.record().count(); ++i)
                satz.insert(q.record().fieldName(i), q.value(i));
        }
        // Stored as "fingerprint of the files:hash of the functions as created".
        const QString gespeichert = satz.value(QStringLiteral("funktionen")).toString();
        if (fingerabdruck)
            *fingerabdruck = isPostgres(db) && gespeichert.section(QLatin1Char(':'), 1) != q.value(1).toString()
                                 ? QString()
                                 : gespeichert.section(QLatin1Char(':'), 0, 0);
        return satz.value(QStringLiteral("version")).toInt();
    }
    // Is the table there at all? Only then does a failing read mean something else.
    const QString gibtEs = isPostgres(db)
                              ? QStringLiteral("SELECT to_regclass('kv_schema') IS NOT NULL")
                              : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' "
                                               "AND name = 'kv_schema'");
    if (!q.exec(gibtEs) || !q.next()) {
        fehler = q.lastError().text();
        return -1;
    }
    if (!q.value(0).toBool()) return -1;
    if (!q.exec(QStringLiteral("SELECT version FROM kv_schema"))) {
        fehler = q.lastError().text();
        return -1;
    }
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace Schema
