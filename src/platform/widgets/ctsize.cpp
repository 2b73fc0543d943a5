#include "ctsize.h"

#include "../plattform.h"

#include <QHBoxLayout>
#include <QLabel>

CtSize::CtSize(int designBreite, int designHoehe, QWidget* parent)
    : QWidget(parent), m_breite(designBreite), m_hoehe(designHoehe) {}

void CtSize::Platzieren(QWidget* w, int links, int oben, int breite, int hoehe, int wachsen) {
    w->setParent(this);
    m_plaetze.push_back({w, links, oben, breite, hoehe, wachsen});
    Anordnen();
}

void CtSize::Anordnen() {
    const int extraB = std::max(0, width() - Plattform::Pixel(m_breite));
    const int extraH = std::max(0, height() - Plattform::Pixel(m_hoehe));
    for (const Platz& p : m_plaetze) {
        int x = Plattform::Pixel(p.links), y = Plattform::Pixel(p.oben);
        int b = Plattform::Pixel(p.breite), h = Plattform::Pixel(p.hoehe);
        if (p.wachsen & Breiter) b += extraB;
        if (p.wachsen & Hoeher) h += extraH;
        if (p.wachsen & Unten) y += extraH;
        // Buttons right of a growing control move with its right edge.
        if (!(p.wachsen & Breiter) && p.links >= 2900) x += extraB;
        p.w->setGeometry(x, y, b, h);
    }
}

void CtSize::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Anordnen();
}

HyperLink::HyperLink(const QString& text, const QString& ziel, QWidget* parent)
    : QWidget(parent), m_ziel(ziel) {
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    auto* l = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(ziel.toHtmlEscaped(), text.toHtmlEscaped()), this);
    l->setOpenExternalLinks(true);
    l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    l->setAccessibleName(text);
    lay->addWidget(l);
}
