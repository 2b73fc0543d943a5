#include "feld.h"

#include <QRegularExpression>

#include <QLineEdit>

QString Feld(const QString& text, const QString& trenner, int nummer, const QString& vorgabe) {
    if (text.isEmpty()) return {};
    // Only a one-character delimiter can match a single character.
    if (trenner.size() != 1) return nummer == 1 ? text : vorgabe;
    const QChar t = trenner[0];
    qsizetype anfang = 0;
    for (int feld = 1; feld < nummer; ++feld) {
        const qsizetype naechster = text.indexOf(t, anfang);
        if (naechster < 0) return vorgabe;
        anfang = naechster + 1;
    }
    qsizetype ende = text.indexOf(t, anfang);
    if (ende < 0) ende = text.size();
    return ende > anfang ? text.mid(anfang, ende - anfang) : vorgabe;
}

void FeldMarkieren(QLineEdit* feld, bool ohneFokus) {
    if (!feld) return;
    feld->setSelection(0, static_cast<int>(feld->text().size()));
    if (!ohneFokus) feld->setFocus();
}

bool IstZahl(const QString& text) {
    static const QRegularExpression zahl(
        QRegularExpression::anchoredPattern(QStringLiteral(" *[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+) *")));
    return zahl.match(text).hasMatch();
}
