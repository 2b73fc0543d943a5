#include "fortschritt.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

Fortschritt::Fortschritt(QWidget* eltern, QString text)
    : m_dialog(std::make_unique<QProgressDialog>(eltern)), m_text(std::move(text)) {
    m_dialog->setObjectName(QStringLiteral("dlgFortschritt"));
    m_dialog->setWindowTitle(QStringLiteral("Bericht"));
    m_dialog->setLabelText(m_text);
    m_dialog->setCancelButtonText(QStringLiteral("Abbrechen"));
    m_dialog->setRange(0, 0); // the number of rows is not known before the end
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->hide();
    m_uhr.start();
}

Fortschritt::~Fortschritt() {
    m_dialog->hide();
}

void Fortschritt::Zeile() {
    ++m_zeilen;
    // The clock is read every few hundred rows only: it costs more than a row.
    if ((m_zeilen & 255) != 0) return;
    const qint64 jetzt = m_uhr.elapsed();
    if (jetzt - m_zuletzt < 50) return;
    m_zuletzt = jetzt;
    // Short reports finish before anything is shown.
    if (jetzt >= 300 && !m_dialog->isVisible()) m_dialog->show();
    if (m_dialog->isVisible()) Zeigen();
    QCoreApplication::processEvents();
    if (m_dialog->wasCanceled()) throw Abgebrochen{};
}

void Fortschritt::Zeigen() {
    m_dialog->setLabelText(QStringLiteral("%1\n%2 Zeilen geschrieben")
                               .arg(m_text, QLocale(QLocale::German, QLocale::Germany).toString(m_zeilen)));
}
