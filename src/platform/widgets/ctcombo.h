#pragma once
// The editable combo boxes of the windows: they keep exactly what the user
// typed (no completion, no silent choice of a similar entry) and are filled
// in one step through their model.

#include <QString>
#include <QStringList>

class QComboBox;

// Makes `box` editable the program's way.
void EingabeKomboEinrichten(QComboBox* box);

// A new box set up so, with its object name and the name it keeps for screen
// readers whatever it shows.
QComboBox* EingabeKombo(const QString& name, const QString& beschreibung);
// Replaces every entry at once and puts `text` back into the field. The
// current entry is the one equal to `text` (case counts), else none, so that
// the Down key starts at the first entry.
void KomboFuellen(QComboBox* box, const QStringList& eintraege, const QString& text);
