#include "ctpush.h"

#include "zugang.h"

#include <QIcon>

void CtPush::setBild(const QString& resource, const QString& beschreibung) {
    setIcon(QIcon(resource));
    setIconSize(QSize(20, 20));
    setToolTip(beschreibung);
    setAccessibleName(beschreibung);
}

void CtPush::setZweiZustaende(bool an) {
    // Exposed as a toggle button with its pressed state.
    ZugangEinrichten();
    setCheckable(an);
}

void CtPush::setBeschriftung(const QString& text, const QString& beschreibung) {
    // Voice control finds the button by what it shows; the rest is the description.
    setText(text);
    setAccessibleName(text);
    setAccessibleDescription(beschreibung);
    setToolTip(beschreibung);
}
