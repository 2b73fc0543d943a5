#pragma once
// The maintenance commands on the server. Each runs in one transaction: it
// stores all of its change or none of it, reports a failure through the
// program's error report and returns false then.

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace Pflege {

// True while a save or delete runs; other commands then do nothing.
bool BefehlLaeuft();


// Why a command stored nothing without an error report: the record is not
// as the window knew it, or a level would grant a group that has no record.
struct Verstoss {
    QString code, regel;
    QStringList seite1, seite2; // the groups that grant each side
};

struct Konflikt {
    enum Art { Keiner, Geaendert, Geloescht, Vorhanden, GruppeFehlt, Unvereinbar };
    Art art = Keiner;
    QString beschreibung;
    QStringList gruppen; // GruppeFehlt: the groups without record
    std::vector<Verstoss> verstoesse; // Unvereinbar: what the change would make
};

// A change refused as incompatible (`k`): asks "Unvereinbare Rechte", and for
// "Trotzdem speichern" the reason. True with the reason when the change is to
// be stored as an exception; a missing reason is refused with a message.
bool AusnahmeErfragen(const Konflikt& k, QString& grund);
// The violations a refusal (error 120) names.
std::vector<Verstoss> VerstoesseLesen(const QString& beschreibung);

// What the window knows of the record. With `geladen` (its list as loaded) or
// `abwesend` (no record when the window looked, or a name it never loaded) the
// command first checks, under lock and in its own transaction, that the server
// agrees; if not it stores nothing, shows nothing, and `konflikt` says why.
// Lists are compared as multisets: the order is not a change.
struct Stand {
    const QStringList* geladen = nullptr;
    bool abwesend = false;
    // Level saves: the user agreed to grant groups that have no record.
    bool fehlendeGruppenErlaubt = false;
    Konflikt* konflikt = nullptr;
    // Deletes: set when the record was gone already (the delete still succeeds).
    bool* warSchonWeg = nullptr;
    // The reason for an exception to the rules of incompatible rights, once asked.
    QString ausnahme;
};

bool GruppeSpeichern(const QString& gruppe, const QStringList& codes, const Stand& stand = {});
bool GruppeLoeschen(const QString& gruppe, const Stand& stand = {});
bool ProgrammStufeSpeichern(const QString& p, const QString& s, const QString& l, const QStringList& gruppen,
                            const Stand& stand = {});
// `warSchonWeg`: set when there was no level left to delete.
bool ProgrammLoeschen(const QString& p, bool* warSchonWeg = nullptr);
bool SubProgrammLoeschen(const QString& p, const QString& s, bool* warSchonWeg = nullptr);
bool StufeLoeschen(const QString& p, const QString& s, const QString& l, const Stand& stand = {});

// A new group `ziel` like `quelle`: its members in their order and a grant on
// each of its levels, as asked, in one transaction on the server. An empty
// name, one against the naming rules or one that exists is refused with a
// message; false then, and after a reported failure.
bool GruppeKopieren(const QString& quelle, const QString& ziel, bool mitglieder, bool stufen);

// Appends `code` to each group, in one transaction; `gruppen` holds each
// group's member list as it was read for the preview. When one of them
// changed meanwhile, nothing is stored and `konflikt` says which.
struct GruppeGelesen {
    QString gruppe;
    QStringList mitglieder;
};
bool RechteUebernehmen(const QString& code, const std::vector<GruppeGelesen>& gruppen, Konflikt& konflikt,
                       const QString& ausnahme = QString());

// A member's end date: `bis` a date, or null to remove it. The code must be
// a stored member of the group; refused with a message otherwise.
bool Befristen(const QString& gruppe, const QString& code, const QDate& bis, const QString& grund);

// The reason stored with a member's end date, "" without one.
QString BefristungsGrund(const QString& gruppe, const QString& code);

// A membership that ended by its date.
struct Abgelaufen {
    QString gruppe, code, bis, grund;
};
// Every membership whose end date lies before `heute` ends, each logged;
// nullopt after a reported failure.
std::optional<std::vector<Abgelaufen>> Ablauf(const QDate& heute);

// A rule of incompatible rights: each side program, sub-program and level
// ("*" for any sub-program or level).
struct Regel {
    QString name, beschreibung;
    QStringList seite1, seite2;
};
// Every rule by name; nullopt after a reported failure.
std::optional<std::vector<Regel>> RegelnLesen();
// A rule created (`neu`) or changed, or deleted; false after a reported
// refusal (a rule that exists already or is gone, missing parts) or failure.
bool RegelSpeichern(const Regel& r, bool neu);
bool RegelLoeschen(const QString& name);

// A group or level as the server holds it now.
struct Serverstand {
    bool vorhanden = false;
    QStringList liste;
};
// nullopt when it cannot be read.
std::optional<Serverstand> ListeLesen(const QString& klasse, const QString& id);
// Who changed a record last and when, from the change log: named only when
// that entry left the record as it is now (`jetzt`), "" otherwise. `objekt`
// as the log names it ("Gruppe Lager", "Stufe P||S||L").
QString LetzteAenderung(const QString& objekt, const Serverstand& jetzt);
// The same values, each as often, in any order.
bool GleicheMenge(QStringList a, QStringList b);

// Refuses names with "||", or beginning or ending with "|", and names or list
// values (`werte`) with NUL or a lone surrogate, with a message; true when
// they may be used.
bool NamenPruefen(const QStringList& teile, const QStringList& werte = {});

} // namespace Pflege
