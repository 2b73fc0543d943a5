#pragma once
// Who may do what, read from the server: the overview of one employee, one
// group or one level, and the whole matrix. Each is one server query.

#include "database/cacheclient.h"
#include "platform/widgets/ctfilter.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class Fortschritt;

namespace Uebersicht {

struct Auswahl {
    QString code; // a member code in window form
    QString gruppe;
    QString programm, subprogramm, stufe;
};

struct Mitglied {
    QString gruppe, code;
    QString name; // as the window shows it (first name first)
    bool stamm = false; // has an employee record in the company
};

struct Stufe {
    QString gruppe, programm, subprogramm, stufe;
};

// Sorted: groups ascending, members by group and code, levels by program,
// sub-program, level and group.
struct Ergebnis {
    QStringList gruppen; // each once
    std::vector<Mitglied> mitglieder;
    std::vector<Stufe> stufen;
};

// One of code, group or level. Throws CacheFehler.
Ergebnis Lesen(const Auswahl& auswahl);

// The matrix rows (code, name as stored, group, program, sub-program, level)
// for any part of the selection given; each row is handed on as it is read.
// Throws CacheFehler; `je` returning false stops the reading.
void Matrix(const Auswahl& auswahl, const std::function<bool(const QStringList& zeile)>& je);
QStringList MatrixSpalten();
// The employees for a filter list: code and name, the text "code;name" as data.
std::vector<CtFilterList::Eintrag> MitarbeiterEintraege(bool abteilungen);
// The matrix rows of the selection as a CSV file, written whole or not at all.
// False with the reason when the file cannot be written; throws CacheFehler
// when the server fails (the file then stays as it was).
// With `fortschritt` the rows are counted and shown; a cancel throws
// Fortschritt::Abgebrochen and leaves no file behind (an earlier one stays).
bool MatrixSchreiben(const QString& pfad, const Auswahl& auswahl, QString& fehler,
                     Fortschritt* fortschritt = nullptr);

// Every dated membership, soonest first, as the list shows it: group, code,
// name (as the window shows it), date (TT.MM.JJJJ), days left from `heute`,
// reason, who set it. Throws CacheFehler.
std::vector<QStringList> Befristungen(const QDate& heute);
QStringList BefristungenSpalten();

// Every current violation of the rules of incompatible rights, one row per
// employee and rule (the columns of Verstosszeilen, the name as the window
// shows it). Throws CacheFehler.
std::vector<QStringList> Verstoesse();

// What a member shows in the name column: its name, or that it has no record.
QString Name(const Mitglied& m);

} // namespace Uebersicht
