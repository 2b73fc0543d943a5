#pragma once
// CSV as German spreadsheet programs open it directly: UTF-8 with a byte-order
// mark, ";" between fields, a field quoted when it holds ";", a quote, a line
// break or blanks at its ends, quotes doubled inside. Lines end in CR LF. A
// field that a spreadsheet would take for a formula (it begins with "=", "+",
// "-", "@", a tab or a carriage return) is written with a leading apostrophe,
// so that a name like =HYPERLINK(...) stays text when the file is opened.

#include <QList>
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

// Rows of fields back from CSV text (quotes, ";" and line breaks inside
// quotes); a last line without CR LF is left out. The apostrophe of a
// formula-like field stays: it is part of what the file holds.
inline QList<QStringList> Lesen(const QString& text) {
    QList<QStringList> zeilen;
    QStringList zeile;
    QString feld;
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                feld += c;
                ++i;
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                feld += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
        } else if (c == u';') {
            zeile.append(feld);
            feld.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            zeile.append(feld);
            zeilen.append(zeile);
            zeile.clear();
            feld.clear();
            ++i;
        } else {
            feld += c;
        }
    }
    return zeilen;
}

// The byte-order mark that tells spreadsheet programs the text is UTF-8.
inline QString Anfang() {
    return QString(QChar(0xFEFF));
}

} // namespace Csv
