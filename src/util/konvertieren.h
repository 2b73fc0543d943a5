#pragma once
// Window text <-> the server's 7-bit German form, RTF escapes and search keys.

#include <QString>

QString Konvertieren(const QString& text, const QString& modus, bool grossschreiben);
QString Ersetzen(const QString& text, const QString& suchen, const QString& ersetzen, bool mehrzeichen);
