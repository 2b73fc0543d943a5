#pragma once
// CSV as German spreadsheet programs open it directly: UTF-8 with a byte-order
// mark, ";" between fields, a field quoted when it holds ";", a quote, a line
// break or blanks at its ends, quotes doubled inside. Lines end in CR LF. A
// field that a spreadsheet would take for a formula (it begins with "=", "+",
// "-", "@", a tab or a carriage return) is written with a leading apostrophe,
// so that a name like =HYPERLINK(...) stays text when the file is opened.

#include <QString>
#include <QStringList>

namespace Csv {

inline bool WieFormel(const QString& wert) {
    return !wert.isEmpty() && QStringLiteral("=+-@\t\r").contains(wert.front());
}

inline QString Feld(const QString& text) {
    const QString wert = WieFormel(text) ? QLatin1Char('\'') + text : text;
    const bool quoten = wert.contains(QLatin1Char(';')) || wert.contains(QLatin1Char('"')) ||
                        wert.contains(QLatin1Char('\n')) || wert.contains(QLatin1Char('\r')) ||
                        wert.startsWith(QLatin1Char(' ')) || wert.endsWith(QLatin1Char(' '));
    if (!quoten) return wert;
    QString q = wert;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

inline QString Zeile(const QStringList& felder) {
    QStringList f;
    f.reserve(felder.size());
    for (const QString& w : felder)
        f.append(Feld(w));
    return f.join(QLatin1Char(';')) + QStringLiteral("\r\n");
}

// The byte-order mark that tells spreadsheet programs the text is UTF-8.
inline QString Anfang() {
    return QString(QChar(0xFEFF));
}

} // namespace Csv
