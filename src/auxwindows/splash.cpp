#include "splash.h"

#include "platform/plattform.h"
#include "platform/widgets/zugang.h"

#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

Splash::Splash(QWidget* parent) : QWidget(parent, Qt::Window), Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("Splash"));
    setWindowTitle(QStringLiteral("Bitte warten "));
    AlsFensterZeigen(this);
    setFixedSize(Plattform::Pixel(2790), Plattform::Pixel(4545));
    auto* bild = new QLabel(this);
    bild->setPixmap(
        QIcon(QStringLiteral(":/bilder/splash.svg")).pixmap(Plattform::Pixel(2790), Plattform::Pixel(3960)));
    bild->setGeometry(0, 0, Plattform::Pixel(2790), Plattform::Pixel(3960));
    bild->setScaledContents(true);
    lblC = new QLabel(QStringLiteral("KORVAL Software – Benutzerverwaltung"), this);
    lblC->setAlignment(Qt::AlignCenter);
    lblC->setGeometry(0, Plattform::Pixel(3960), Plattform::Pixel(2775), Plattform::Pixel(255));
    // The line is narrow: the font shrinks until the whole text fits.
    QFont f = lblC->font();
    while (f.pointSizeF() > 5 && QFontMetrics(f).horizontalAdvance(lblC->text()) > lblC->width() - 4)
        f.setPointSizeF(f.pointSizeF() - 0.25);
    lblC->setFont(f);
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    m_status = new QLabel(StatusBar);
    StatusBar->addWidget(m_status, 1);
    StatusBar->setGeometry(0, Plattform::Pixel(4290), Plattform::Pixel(2790), Plattform::Pixel(255));
    Timer1->setInterval(125);
    connect(Timer1, &QTimer::timeout, this, &Splash::Timer1_Timer);
    Form_Load();
}

QString Splash::Rotieren(int schritt) {
    switch (schritt) {
    case 1:
    case 5:
        return QStringLiteral("|");
    case 2:
    case 6:
        return QStringLiteral("/");
    case 3:
    case 7:
        return QStringLiteral("-");
    case 4:
    case 8:
        return QStringLiteral("\\");
    default:
        return {};
    }
}

void Splash::Form_Load() {
    m_schritt = 0;
    m_basis = windowTitle();
    Timer1->start();
}

void Splash::Form_Unload() {
    Timer1->stop();
    hide();
}

void Splash::Timer1_Timer() {
    if (++m_schritt > 8) m_schritt = 1;
    setWindowTitle(m_basis + QLatin1Char(' ') + Rotieren(m_schritt));
}

void Splash::setStatus(const QString& text) {
    m_status->setText(text);
}
QString Splash::Status() const {
    return m_status->text();
}
