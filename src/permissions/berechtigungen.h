#pragma once
// Permission records on the server: groups with their members, and program
// levels (program||sub-program||level) with the groups that hold them.

#include "database/cacheclient.h"

#include <QString>
#include <QStringList>

namespace Berechtigung {

inline const QString KlasseGruppen = QStringLiteral("UserVerwaltung.Gruppen");
inline const QString KlasseProgramm = QStringLiteral("UserVerwaltung.Programm");

struct Stufe {
    QString programm, subprogramm, stufe;
    QString Id() const;
};

QString ProgrammId(const QString& p, const QString& s, const QString& l);

// Opens the record; when that fails, creates it with its key properties.
// Returns true when the record had to be created.
bool GruppeSicherstellen(CacheFactory& f, const QString& gruppe);
bool StufeSicherstellen(CacheFactory& f, const Stufe& stufe);

// A new list value, emptied and prepared, filled in order.
SysListPtr ListeBauen(CacheFactory& f, const QStringList& werte);

// Open by id, sys_deleteID with the same id, close.
void DatensatzLoeschen(CacheFactory& f, const QString& klasse, const QString& id);

// Every level of a program (sub-program empty: of all its sub-programs).
std::vector<Stufe> StufenDesProgramms(CacheFactory& f, const QString& programm, const QString& subprogramm);

// No id part may contain the separator or begin or end with "|": the id
// could not be split back into its parts.
bool EnthaeltTrenner(const QStringList& teile);

} // namespace Berechtigung
