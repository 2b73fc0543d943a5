#pragma once
// The work behind korval-db: create the schema, add the demo company, fill a
// large generated company. Reports go to the given text stream.

#include <QDate>
#include <QString>
#include <QTextStream>

#include <cstdint>

struct DatenbankZiel {
    QString server = QStringLiteral("localhost");
    QString port = QStringLiteral("1973");
    QString ns = QStringLiteral("KORVAL");
    // Who signs on for the commands that change permissions (an administrator
    // of company `firma`), and the password, which is never sent.
    QString firma = QStringLiteral("1");
    QString als = {};
    QString passwort = {};
    // The reason for exceptions to the rules of incompatible rights (--ausnahme).
    QString ausnahme = {};
    // PostgreSQL, init/upgrade: the login role of the workstations.
    QString anwendungsrolle = {};
    QString connStrg() const {
        return QStringLiteral("cn_iptcp:") + server + QLatin1Char('[') + port + QStringLiteral("]:") + ns;
    }
};

struct GenerierParameter {
    int mitarbeiter = 20000;
    int gruppen = 2000;
    int maxMitglieder = 2000;
    int programme = 500;
    int subprogramme = 10;
    int stufen = 5;
    int gruppenJeStufe = 3;
    std::uint32_t seed = 4711;
};

namespace Datenbankwerkzeug {
bool Init(const DatenbankZiel& ziel, QTextStream& out);
// Brings an existing database to the current schema version; a current one stays as it is.
bool Upgrade(const DatenbankZiel& ziel, QTextStream& out);
bool Demo(const DatenbankZiel& ziel, QTextStream& out);
// Takes back log entry `nr` after printing the plan (stored only with `ja`):
// 0 done (or shown), 1 nothing to take back, 2 bad input.
int Rueckgaengig(const DatenbankZiel& ziel, const QString& nr, bool ja, QTextStream& out, QTextStream& fehler);
// A new group like `quelle` (members and levels as asked): 0 done, 1 the
// server failed, 2 bad input (a name against the rules, an existing target,
// a source that does not exist).
int GruppeKopieren(const DatenbankZiel& ziel, const QString& quelle, const QString& neu, bool mitglieder, bool stufen,
                   QTextStream& out, QTextStream& fehler);
// `nach` joins every group of `von` that it is not in yet, in one
// transaction: 0 done, 1 nothing to do (or the server failed, or a group
// changed meanwhile), 2 bad input.
int RechteUebernehmen(const DatenbankZiel& ziel, const QString& firma, const QString& von, const QString& nach,
                      QTextStream& out, QTextStream& fehler);
// Two employees compared as CSV: Vergleich ("nur CODE1", "beide", "nur
// CODE2"), code, name, group, program, sub-program, level. 0 done, 1 the
// server failed, 2 bad input.
int Vergleich(const DatenbankZiel& ziel, const QString& firma, const QString& code1, const QString& code2,
              QTextStream& out, QTextStream& fehler);
bool Generieren(const DatenbankZiel& ziel, const GenerierParameter& p, QTextStream& out);
// Who may do what, as CSV (code, name, group, program, sub-program, level),
// through the client interface like the program. `auswahl` holds code, group,
// program, sub-program and level, each "" for any. Status 0 written, 1 a
// server error, 2 a selection that names no employee, group or level there.
int Bericht(const DatenbankZiel& ziel, const QString& firma, const QStringList& auswahl, QTextStream& out,
            QTextStream& fehler);
// The change log as CSV, oldest first; each filter "" for any. Dates are
// "JJJJ-MM-TT" (local midnight) or a full ISO time.
struct ProtokollFilter {
    QString seit, bis, benutzer, objekt;
};
bool Protokoll(const DatenbankZiel& ziel, const ProtokollFilter& filter, QTextStream& out, QTextStream& fehler);
// Walks the log's chain: true when every entry fits (says how many and the
// last hash), false naming the first that does not, or when it cannot be read.
bool ProtokollPruefen(const DatenbankZiel& ziel, QTextStream& out, QTextStream& fehler);
// Deletes the log entries older than `vor`; says how many.
bool ProtokollBereinigen(const DatenbankZiel& ziel, const QString& vor, QTextStream& out);
// A date or time of the command line as the log stores times (UTC), or "" when invalid.
QString ProtokollZeit(const QString& datum, bool tagesende = false);
// A date of the command line: JJJJ-MM-TT or TT.MM.JJJJ; invalid otherwise.
QDate Datum(const QString& text);
// A member's end date (`datum` "" removes it; `grund` null keeps the stored reason), signed on with --als: 0
// stored, 1 already so (or the server failed), 2 bad input (no date, a date
// past, a code that is not a member).
int Befristen(const DatenbankZiel& ziel, const QString& gruppe, const QString& code, const QString& datum,
              const QString& grund, QTextStream& out, QTextStream& fehler);
// Every membership whose end date has passed ends; prints each: 0 some
// ended, 1 none was due (or the server failed), 2 no sign-on.
int Ablauf(const DatenbankZiel& ziel, QTextStream& out, QTextStream& fehler);
// Every dated membership, soonest first, as CSV with the days left; `tage`
// >= 0: only those ending within that many days.
int BefristungenBericht(const DatenbankZiel& ziel, const QString& firma, int tage, QTextStream& out,
                        QTextStream& fehler);
// Rules of incompatible rights: "anlegen NAME P1 S1 L1 P2 S2 L2", "loeschen
// NAME" (signed on with --als) or "liste" (CSV). 0 done, 1 nothing to do or a
// server failure, 2 bad input or no sign-on.
int Regel(const DatenbankZiel& ziel, const QStringList& args, const QString& beschreibung, QTextStream& out,
          QTextStream& fehler);
// Every current violation as CSV: 0 none without an exception, 1 some
// without one (a nightly job alerts), 2 the database cannot be read.
int Unvereinbar(const DatenbankZiel& ziel, const QString& firma, QTextStream& out, QTextStream& fehler);
// Window text to the server's 7-bit form (ä → { and so on).
QString Siebenbit(const QString& text);
} // namespace Datenbankwerkzeug
