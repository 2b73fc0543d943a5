#pragma once
// The maintenance commands on the server. Each runs in one transaction: it
// stores all of its change or none of it, reports a failure through the
// program's error report and returns false then.

#include <QString>
#include <QStringList>

namespace Pflege {

// True while a save or delete runs; other commands then do nothing.
bool BefehlLaeuft();

bool GruppeSpeichern(const QString& gruppe, const QStringList& codes);
bool GruppeLoeschen(const QString& gruppe);
bool ProgrammStufeSpeichern(const QString& p, const QString& s, const QString& l, const QStringList& gruppen);
bool ProgrammLoeschen(const QString& p);
bool SubProgrammLoeschen(const QString& p, const QString& s);
bool StufeLoeschen(const QString& p, const QString& s, const QString& l);

// Refuses names with "||", or beginning or ending with "|", with a message;
// true when they may be used.
bool NamenPruefen(const QStringList& teile);

} // namespace Pflege
