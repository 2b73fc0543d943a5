#pragma once
// Finding a text in stored texts whatever the case of any letter: the servers'
// LOWER and LIKE fold only A to Z, so that "BÜRO" would miss "Büro". The
// server narrows with a pattern in which every character beyond ASCII stands
// for any one character; the program then compares with Unicode case folding.
// Both backends give the same rows.

#include <QString>

namespace Suchtext {

// A LIKE pattern (escape character "\") that matches at least every text
// Passt() accepts: A to Z lowered, every other character beyond ASCII as "_",
// LIKE's own characters escaped. `teil`: anywhere in the text, else the whole text.
inline QString Muster(const QString& gesucht, bool teil) {
    QString m;
    for (qsizetype i = 0; i < gesucht.size(); ++i) {
        const QChar c = gesucht[i];
        if (c.unicode() >= 0x80) {
            // One "_" per character, not per UTF-16 unit: LIKE counts characters.
            if (c.isHighSurrogate() && i + 1 < gesucht.size() && gesucht[i + 1].isLowSurrogate()) ++i;
            m += QLatin1Char('_');
            continue;
        }
        if (c == u'\\' || c == u'%' || c == u'_') m += QLatin1Char('\\');
        m += c.toLower();
    }
    return teil ? QLatin1Char('%') + m + QLatin1Char('%') : m;
}

// The pattern alone finds exactly what Passt() accepts: nothing beyond ASCII.
inline bool MusterGenuegt(const QString& gesucht) {
    for (const QChar c : gesucht)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// `text` holds `gesucht` (`teil`) or equals it, case folded; "" matches every text.
inline bool Passt(const QString& text, const QString& gesucht, bool teil) {
    if (gesucht.isEmpty()) return true;
    const QString t = text.toCaseFolded(), g = gesucht.toCaseFolded();
    return teil ? t.contains(g) : t == g;
}

} // namespace Suchtext
