#pragma once
// One field of a delimited text; selecting the whole text of an input field.

#include <QString>

class QLineEdit;

QString Feld(const QString& text, const QString& trenner, int nummer, const QString& vorgabe = {});
void FeldMarkieren(QLineEdit* feld, bool ohneFokus);
// A plain decimal number: optional blanks around, an optional sign, digits with
// at most one decimal point or comma. "NAN", "INF", "1e0" and line breaks are not.
bool IstZahl(const QString& text);
