#include "konvertieren.h"

#include <QLocale>

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
    if (modus == QLatin1String("GUIKORVAL"))
        return guiKorval;
    if (modus == QLatin1String("KORVAL"))
        return korval;
    if (modus == QLatin1String("KORVALSZ"))
        return korvalSz;
    mehrzeichen = true;
    if (modus == QLatin1String("RTF"))
        return rtf;
    if (modus == QLatin1String("KORVALSUCHE"))
        return suche;
    bekannt = false;
    return leer;
}
} // namespace

QString Konvertieren(const QString& text, const QString& modus, bool grossschreiben) {
    QString t = text;
    if (grossschreiben) {
        // Upper-case, but ß stays ß (the platform's upper-casing would make it SS).
        QString gross;
        gross.reserve(t.size());
        for (QChar c : t)
            gross += c == QChar(0xDF) ? c : c.toUpper();
        t = gross;
    }
    bool mehrzeichen = false, bekannt = false;
    const Tabelle& tab = TabelleFuer(modus, mehrzeichen, bekannt);
    for (const auto& [von, nach] : tab)
        t = Ersetzen(t, von, nach, mehrzeichen);
    return t;
}

QString Ersetzen(const QString& text, const QString& suchen, const QString& ersetzen, bool mehrzeichen) {
    if (text.isEmpty())
        return {};
    const QString s = mehrzeichen ? suchen : suchen.left(1);
    const QString e = mehrzeichen ? ersetzen : ersetzen.left(1);
    if (s.isEmpty())
        return text;
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
