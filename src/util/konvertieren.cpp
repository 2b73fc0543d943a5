#include "konvertieren.h"

#include <QLocale>

#include <array>
#include <map>

#include <utility>
#include <vector>

namespace {
using Tabelle = std::vector<std::pair<QString, QString>>;

const Tabelle& TabelleFuer(const QString& modus, bool& mehrzeichen, bool& bekannt) {
    static const Tabelle guiKorval = {
        {QStringLiteral("ä"), QStringLiteral("{")}, {QStringLiteral("ö"), QStringLiteral("|")},
        {QStringLiteral("ü"), QStringLiteral("}")}, {QStringLiteral("ß"), QStringLiteral("~")},
        {QStringLiteral("Ä"), QStringLiteral("[")}, {QStringLiteral("Ö"), QStringLiteral("\\")},
        {QStringLiteral("Ü"), QStringLiteral("]")}, {QStringLiteral("§"), QStringLiteral("õ")}};
    static const Tabelle korval = {
        {QStringLiteral("{"), QStringLiteral("ä")}, {QStringLiteral("|"), QStringLiteral("ö")},
        {QStringLiteral("}"), QStringLiteral("ü")}, {QStringLiteral("~"), QStringLiteral("ß")},
        {QStringLiteral("["), QStringLiteral("Ä")}, {QStringLiteral("\\"), QStringLiteral("Ö")},
        {QStringLiteral("]"), QStringLiteral("Ü")}, {QStringLiteral("õ"), QStringLiteral("§")}};
    static const Tabelle korvalSz = {
        {QStringLiteral("{"), QStringLiteral("ä")}, {QStringLiteral("}"), QStringLiteral("ü")},
        {QStringLiteral("~"), QStringLiteral("ß")}, {QStringLiteral("["), QStringLiteral("Ä")},
        {QStringLiteral("]"), QStringLiteral("Ü")}, {QStringLiteral("õ"), QStringLiteral("§")}};
    static const Tabelle rtf = {
        {QStringLiteral("ä"), QStringLiteral("\\'e4")}, {QStringLiteral("ö"), QStringLiteral("\\'f6")},
        {QStringLiteral("ü"), QStringLiteral("\\'fc")}, {QStringLiteral("ß"), QStringLiteral("\\'df")},
        {QStringLiteral("Ä"), QStringLiteral("\\'C4")}, {QStringLiteral("Ö"), QStringLiteral("\\'d6")},
        {QStringLiteral("Ü"), QStringLiteral("\\'dc")}};
    static const Tabelle suche = {{QStringLiteral("ß"), QStringLiteral("SS")},
                                  {QStringLiteral("Ä"), QStringLiteral("AE")},
                                  {QStringLiteral("Ö"), QStringLiteral("OE")},
                                  {QStringLiteral("Ü"), QStringLiteral("UE")}};
    static const Tabelle leer;
    bekannt = true;
    mehrzeichen = false;
    if (modus == QLatin1String("GUIKORVAL")) return guiKorval;
    if (modus == QLatin1String("KORVAL")) return korval;
    if (modus == QLatin1String("KORVALSZ")) return korvalSz;
    mehrzeichen = true;
    if (modus == QLatin1String("RTF")) return rtf;
    if (modus == QLatin1String("KORVALSUCHE")) return suche;
    bekannt = false;
    return leer;
}
using Ascii = std::array<const std::pair<QString, QString>*, 128>;

const Ascii& AsciiTabelle(const Tabelle& tab) {
    static std::map<const Tabelle*, Ascii> tabellen;
    auto it = tabellen.find(&tab);
    if (it != tabellen.end()) return it->second;
    Ascii a{};
    for (const auto& paar : tab)
        if (paar.first[0].unicode() < 128) a[paar.first[0].unicode()] = &paar;
    return tabellen.emplace(&tab, a).first->second;
}
} // namespace

Konverter::Konverter(const QString& modus, bool grossschreiben) : m_gross(grossschreiben) {
    bool bekannt = false;
    m_tab = &TabelleFuer(modus, m_mehrzeichen, bekannt);
    m_ascii = &AsciiTabelle(*m_tab);
}

const Konverter::Paar* Konverter::Suchen(QChar c) const {
    if (c.unicode() < 128) return (*m_ascii)[c.unicode()];
    for (const auto& paar : *m_tab)
        if (c == paar.first[0]) return &paar;
    return nullptr;
}

QString Konvertieren(const QString& text, const QString& modus, bool grossschreiben) {
    return Konverter(modus, grossschreiben)(text);
}

QString Konverter::operator()(const QString& text) const {
    QString t = text;
    if (m_gross) {
        // Upper-case, but ß stays ß (the platform's upper-casing would make it SS).
        QString gross;
        gross.reserve(t.size());
        for (QChar c : t)
            gross += c == QChar(0xDF) ? c : c.toUpper();
        t = gross;
    }
    // No replacement of a mode yields a text that a later one of the same mode
    // searches for, so one walk over the text gives the same result as one walk
    // per replacement. Texts without any searched character stay as they are.
    // ASCII characters are looked up in a table made once per mode, the rest by a short search.
    qsizetype erster = 0;
    while (erster < t.size() && !Suchen(t[erster]))
        ++erster;
    if (erster == t.size()) return t;
    if (!m_mehrzeichen) {
        // One character for one: change a copy in place.
        QString ergebnis = t;
        QChar* d = ergebnis.data();
        for (qsizetype i = erster; i < ergebnis.size(); ++i)
            if (const auto* treffer = Suchen(d[i]); treffer && !treffer->second.isEmpty())
                d[i] = treffer->second[0];
        return ergebnis;
    }
    QString ergebnis = t.left(erster);
    ergebnis.reserve(t.size() + 16);
    for (qsizetype i = erster; i < t.size(); ++i) {
        const QChar c = t[i];
        if (const auto* treffer = Suchen(c))
            ergebnis += treffer->second;
        else
            ergebnis += c;
    }
    return ergebnis;
}

QString Ersetzen(const QString& text, const QString& suchen, const QString& ersetzen, bool mehrzeichen) {
    if (text.isEmpty()) return {};
    const QString s = mehrzeichen ? suchen : suchen.left(1);
    const QString e = mehrzeichen ? ersetzen : ersetzen.left(1);
    if (s.isEmpty()) return text;
    QString ergebnis;
    ergebnis.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (QStringView(text).mid(i, s.size()) == s) {
            ergebnis += e;
            i += s.size();
        } else {
            ergebnis += text[i];
            ++i;
        }
    }
    return ergebnis;
}
