#include "feld.h"

#include <QLineEdit>

QString Feld(const QString& text, const QString& trenner, int nummer, const QString& vorgabe) {
    if (text.isEmpty())
        return {};
    QString ergebnis;
    int zaehler = 1;
    for (QChar c : text) {
        // Only a one-character delimiter can match a single character.
        if (trenner.size() == 1 && c == trenner[0]) {
            if (zaehler == nummer)
                break;
            ++zaehler;
        } else if (zaehler == nummer) {
            ergebnis += c;
        }
    }
    return ergebnis.isEmpty() ? vorgabe : ergebnis;
}

void FeldMarkieren(QLineEdit* feld, bool ohneFokus) {
    if (!feld)
        return;
    feld->setSelection(0, static_cast<int>(feld->text().size()));
    if (!ohneFokus)
        feld->setFocus();
}
