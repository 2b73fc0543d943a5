#pragma once
// The one schema of the server classes, for SQLite and PostgreSQL alike, and
// opening a database for a connection target.

#include "verbindungsziel.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>

namespace Schema {

// 1: the records; 2: the change log; 3: references between log entries (undo);
// 4: once the functions (now kept apart, see funktionen()); 5: the functions' fingerprint;
// 6: the log's chain of hashes and the role that wrote each entry; 7: the
// naming rules on the server, and (PostgreSQL) the signed-on sessions; 8: (PostgreSQL)
// the undo's plans kept between its preview and its confirmation; 9: the end
// dates of memberships, the rules of incompatible rights and their exceptions.
constexpr int Version = 9;
// Memberships with an end date need at least this version.
constexpr int VersionBefristungen = 9;
// The schema changes need at least: the change log with its references.
constexpr int VersionFuerAenderungen = 3;

// PostgreSQL: the functions of the commands, one statement each, from the
// files under sql/ (funktionen.cpp), and the fingerprint of those files.
QStringList funktionen();
QString fingerabdruck();
// The functions the workstations' role may call; the rest are their helpers.
QStringList einstiege();
// SQL of the names of the roles of a secured database: the owner (no login)
// of the tables, the log and the functions, and the group role whose members
// (the workstations' login roles) read and call the entry points.
QString eigentuemerrolleSql();
QString anwendungsrolleSql();
// SQL of one value: the hash of the uv_ functions there now, signatures and bodies.
QString funktionsstandSql();
// The statements of an SQL text: split at semicolons outside quotes and comments.
QStringList anweisungen(const QString& text);

// Whether the database runs this program's functions: `bekannt` is the
// fingerprint it holds; when it differs they are all recreated in one transaction.
enum class Funktionen { Aktuell, Erneuert, Fehlen };
Funktionen funktionenAbgleichen(QSqlDatabase& db, const QString& bekannt, QString& reason);

// Opens (does not create) the database the target names under connection name
// `name`. Returns an invalid/closed database and sets `reason` on failure.
QSqlDatabase open(const ConnectionTarget& target, const QString& name, QString& reason);

// Creates the SQLite file or the PostgreSQL database when missing.
bool createDatabase(const ConnectionTarget& target, QString& reason);

// Runs `arbeit` in one transaction: commits when it returns true, else rolls
// back; `reason` says why it failed.
bool transaktion(QSqlDatabase& db, QString& reason, const std::function<bool()>& arbeit);

// Creates the tables when they are missing and records the version; an
// existing database is brought to the current version.
bool create(QSqlDatabase& db, QString& reason);

// Applies the missing steps, each in its own transaction; `erreicht` is the
// version the database has afterwards.
// `bekannt`: the version just read, if the caller has it.
bool upgrade(QSqlDatabase& db, QString& reason, int& erreicht, int bekannt = -1);
// Whether the change log's table is there.
bool logDa(QSqlDatabase& db);
// The server's time now, in UTC, as the log stores it (SQL expression).
QString zeitSql(const QSqlDatabase& db);

// The schema version of an open database, or -1 when it holds no schema of ours.
int version(QSqlDatabase& db);
// The same; when the database could not be read at all (a full disk, a
// read-only file), `fehler` says why instead. `fingerabdruck`: that of the
// functions, empty when none is recorded.
int version(QSqlDatabase& db, QString& fehler, QString* fingerabdruck = nullptr);
// The same; on PostgreSQL `sitzung` also gets this connection's server process
// and its start ("pid|start"), read in the same request, and `ungesichert`
// whether this connection's role may change permissions past the functions.
int version(QSqlDatabase& db, QString& fehler, QString* fingerabdruck, QString* sitzung,
            bool* ungesichert = nullptr);

// How long a statement waits for another workstation's lock before it gives
// up with error 118 (PostgreSQL's lock_timeout, SQLite's busy timeout). Tests shorten it.
void setSperrfrist(int ms);
int sperrfrist();

// A subselect of the values of a JSON array given as one bound parameter.
QString jsonWerteSql(const QSqlDatabase& db);

// The same for a JSON array of [program, sub-program, level] triples: three columns.
QString jsonTripelSql(const QSqlDatabase& db);

// A SELECT of the rows of a JSON array of arrays given as one bound
// parameter: `spalten` columns, column `zahl` (from 0) an integer.
QString jsonZeilenSql(const QSqlDatabase& db, int spalten, int zahl);

// The text column type: byte order for sorting on both backends.
QString textType(const QSqlDatabase& db);

bool isPostgres(const QSqlDatabase& db);

} // namespace Schema
