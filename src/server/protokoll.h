#pragma once
// The change log's forms: lists as JSON arrays, every value exact, and lists
// compared as multisets (the order of a list is not a change).

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <vector>

class QSqlDatabase;

namespace Protokoll {
QString Json(const std::vector<QString>& werte);
// A JSON array back into its values; empty for anything else.
std::vector<QString> Werte(const QString& json);
// The same values, each as often, in any order.
bool GleicheMenge(std::vector<QString> a, std::vector<QString> b);

// The entries form a chain: each one's hash covers the previous entry's hash
// and its own fields (the columns below, in this order), so that an entry
// changed, removed or inserted afterwards shows.
extern const QString KettenSpalten;
QString EintragHash(const QString& vor, const QStringList& felder);
// Gives the entries from number `ab` on that have no hash theirs, in order:
// the one the program just wrote on a server without the log's functions (never
// an older one: a hash removed by hand must stay missing), or, once, all
// those from before the chain. `lesen` returns rows of `spalten` columns,
// `schreiben` runs a statement.
using Lesen = std::function<std::vector<QStringList>(const QString& sql, const QVariantList& binds, int spalten)>;
using Schreiben = std::function<void(const QString& sql, const QVariantList& binds)>;
void Verketten(const Lesen& lesen, const Schreiben& schreiben, long long ab);
bool Verketten(QSqlDatabase& db, QString& reason, long long ab = 0);
// SQL that makes writers of the log take turns until the transaction ends
// (PostgreSQL; SQLite has one writer anyway): the numbers then follow the chain.
QString KettenSperreSql(const QSqlDatabase& db);
// The database role the entry is written by (SQL expression).
QString RolleSql(const QSqlDatabase& db);

// A purge leaves an entry with this command and object; its "vorher" names
// where the chain now starts ("number:hash before it").
extern const QString BereinigenBefehl;
extern const QString BereinigenObjekt;

struct Kettenbefund {
    long long anzahl = 0;  // entries that fit
    QString letzterHash;   // of the last one that fits
    bool ganz = true;      // every entry fits
    long long bruch = 0;   // else the first that does not
};
bool KettePruefen(QSqlDatabase& db, Kettenbefund& befund, QString& reason);
} // namespace Protokoll
