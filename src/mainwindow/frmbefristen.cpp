#include "frmbefristen.h"

#include "permissions/pflege.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmBefristen::frmBefristen(const QString& gruppe, const QString& code, const QString& name, const QDate& bis,
                           const QDate& heute, QWidget* parent, const QString& grund)
    : QDialog(parent), m_gruppe(gruppe), m_code(code), m_heute(heute) {
    setObjectName(QStringLiteral("frmBefristen"));
    setWindowTitle(QStringLiteral("Mitgliedschaft befristen"));
    auto* lay = new QVBoxLayout(this);
    lblMitglied = new QLabel(
        QStringLiteral("%1%2 in der Gruppe \"%3\"")
            .arg(code, name.isEmpty() ? QString() : QStringLiteral(" (") + name + QLatin1Char(')'), gruppe));
    lblMitglied->setObjectName(QStringLiteral("lblMitglied"));
    lblMitglied->setWordWrap(true);
    lay->addWidget(lblMitglied);
    auto* form = new QFormLayout();
    txtBis = new QDateEdit();
    txtBis->setObjectName(QStringLiteral("txtBis"));
    txtBis->setCalendarPopup(true);
    txtBis->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    txtBis->setMinimumDate(QDate(2000, 1, 1));
    txtBis->setMaximumDate(QDate(9999, 12, 31));
    txtBis->setDate(bis.isValid() ? bis : heute.addDays(14));
    form->addRow(QStringLiteral("&Mitglied bis einschließlich:"), txtBis);
    txtGrund = new QLineEdit(grund);
    txtGrund->setObjectName(QStringLiteral("txtGrund"));
    txtGrund->setMaxLength(200);
    form->addRow(QStringLiteral("&Grund:"), txtGrund);
    lay->addLayout(form);
    auto* knoepfe = new QHBoxLayout();
    cmdAufheben = new QPushButton(QStringLiteral("Befristung &aufheben"));
    cmdAufheben->setObjectName(QStringLiteral("cmdAufheben"));
    cmdAufheben->setEnabled(bis.isValid());
    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdAbbrechen = new QPushButton(QStringLiteral("Abbrechen"));
    cmdAbbrechen->setObjectName(QStringLiteral("cmdAbbrechen"));
    knoepfe->addWidget(cmdAufheben);
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdOK);
    knoepfe->addWidget(cmdAbbrechen);
    lay->addLayout(knoepfe);
    txtBis->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmBefristen::cmdOK_Click);
    connect(cmdAufheben, &QPushButton::clicked, this, &frmBefristen::cmdAufheben_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

void frmBefristen::cmdOK_Click() {
    // A date already past would end the membership at the next expiry run:
    // most likely a typing error, so it is refused here.
    if (txtBis->date() < m_heute) {
        Dialoge().MsgBox(QStringLiteral("Das Datum %1 liegt in der Vergangenheit.\r\nBitte ein Datum ab heute wählen.")
                             .arg(txtBis->date().toString(QStringLiteral("dd.MM.yyyy"))),
                         DialogService::Exclamation, windowTitle());
        return;
    }
    if (!Pflege::Befristen(m_gruppe, m_code, txtBis->date(), txtGrund->text().trimmed())) return;
    m_gespeichert = true;
    accept();
}

void frmBefristen::cmdAufheben_Click() {
    if (!Pflege::Befristen(m_gruppe, m_code, QDate(), QString())) return;
    m_gespeichert = true;
    accept();
}
