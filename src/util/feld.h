#pragma once
// One field of a delimited text; selecting the whole text of an input field.

#include <QString>

class QLineEdit;

QString Feld(const QString& text, const QString& trenner, int nummer, const QString& vorgabe = {});
void FeldMarkieren(QLineEdit* feld, bool ohneFokus);
