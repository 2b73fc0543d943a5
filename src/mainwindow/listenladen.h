#pragma once
// Filling the main window's choice lists from the server. Each returns false
// after reporting a failure; the lists then keep what was loaded.

#include <QString>

#include <functional>

class CtList;
class QComboBox;

bool GruppenLaden(QComboBox* cmbGruppe);
bool ProgrammeLaden(QComboBox* cmbProgramm);
bool SubProgrammeLaden(QComboBox* cmbProgramm, QComboBox* cmbSubProgramm);
bool MitarbeiterLaden(CtList* ctListMitarbeiter, bool AbteilungenAnzeigen);
// The company's employees in the server's order, each as "code;name" in window
// form with its stored code; department entries only when asked. Throws CacheFehler.
// `vorgang` names the step that was running, for the error report.
void MitarbeiterLesen(bool AbteilungenAnzeigen, const std::function<void(QString zeile, const QString& code)>& je,
                      QString* vorgang = nullptr);
// The levels of a program's sub-program, ascending; false when they could not be read.
bool StufenLesen(const QString& programm, const QString& subprogramm, QStringList& stufen);
// A name stored as surname and first name, shown as first name and surname.
QString Anzeigename(const QString& name);
