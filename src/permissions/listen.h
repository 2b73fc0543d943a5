#pragma once
// The lists the main window and the overview both read from the server:
// employees, groups, programs, sub-programs and levels. Filling a window's own
// widgets is left to the window.

#include <QString>
#include <QStringList>

#include <functional>

// The company's employees in the server's order, each as "code;name" in window
// form with its stored code; department entries only when asked. Throws CacheFehler.
// `vorgang` names the step that was running, for the error report.
void MitarbeiterLesen(bool AbteilungenAnzeigen,
                      const std::function<void(QString zeile, const QString& code)>& je,
                      QString* vorgang = nullptr);
// The entries of a choice box, ascending: the query "Gruppen", "Programme" or
// "SubProgramme" (with the program as argument). Throws CacheFehler; `vorgang`
// as above.
// Asks the server for the employees, groups and programs at once, so that the
// three reads that follow cost no request each (on a slow line); a failure
// here is left to those reads to report.
void ListenVorab();
QStringList AuswahlLesen(const QString& abfrage, const QStringList& argumente, QString* vorgang = nullptr);
// The levels of a program's sub-program, ascending; false when they could not be read.
bool StufenLesen(const QString& programm, const QString& subprogramm, QStringList& stufen);
// A name stored as surname and first name, shown as first name and surname.
QString Anzeigename(const QString& name);
