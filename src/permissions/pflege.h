#pragma once
// The maintenance commands on the server. Each runs in one transaction: it
// stores all of its change or none of it, reports a failure through the
// program's error report and returns false then.

#include <QString>
#include <QStringList>

#include <optional>

namespace Pflege {

// True while a save or delete runs; other commands then do nothing.
bool BefehlLaeuft();

// With `geladen` (the list as this window loaded it, in stored order) the
// command first checks, under lock and in its own transaction, that the record
// is still so; if not it stores nothing, shows nothing, and `konflikt` says
// what happened.
struct Stand {
    const QStringList* geladen = nullptr;
    QString* konflikt = nullptr;
};

bool GruppeSpeichern(const QString& gruppe, const QStringList& codes, const Stand& stand = {});
bool GruppeLoeschen(const QString& gruppe, const Stand& stand = {});
bool ProgrammStufeSpeichern(const QString& p, const QString& s, const QString& l, const QStringList& gruppen,
                            const Stand& stand = {});
bool ProgrammLoeschen(const QString& p);
bool SubProgrammLoeschen(const QString& p, const QString& s);
bool StufeLoeschen(const QString& p, const QString& s, const QString& l, const Stand& stand = {});

// The list a group or level holds on the server now; nullopt when it cannot be read.
std::optional<QStringList> ListeLesen(const QString& klasse, const QString& id);
// Who changed a record last and when, from the change log ("" when unknown).
// `objekt` as the log names it ("Gruppe Lager", "Stufe P||S||L").
QString LetzteAenderung(const QString& objekt);

// Refuses names with "||", or beginning or ending with "|", with a message;
// true when they may be used.
bool NamenPruefen(const QStringList& teile);

} // namespace Pflege
