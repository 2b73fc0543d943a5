#include "frmgruppekopieren.h"

#include "permissions/pflege.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmGruppeKopieren::frmGruppeKopieren(const QStringList& gruppen, const QString& quelle, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmGruppeKopieren"));
    setWindowTitle(QStringLiteral("Gruppe kopieren"));
    auto* lay = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    cmbQuelle = new QComboBox();
    cmbQuelle->setObjectName(QStringLiteral("cmbQuelle"));
    cmbQuelle->addItems(gruppen);
    cmbQuelle->setCurrentIndex(std::max(0, static_cast<int>(gruppen.indexOf(quelle))));
    form->addRow(QStringLiteral("&Quellgruppe:"), cmbQuelle);
    txtName = new QLineEdit();
    txtName->setObjectName(QStringLiteral("txtName"));
    form->addRow(QStringLiteral("&Neuer Name:"), txtName);
    lay->addLayout(form);
    chkMitglieder = new QCheckBox(QStringLiteral("&Mitglieder übernehmen"));
    chkMitglieder->setObjectName(QStringLiteral("chkMitglieder"));
    chkMitglieder->setChecked(true);
    chkStufen = new QCheckBox(QStringLiteral("&Programmstufen übernehmen"));
    chkStufen->setObjectName(QStringLiteral("chkStufen"));
    chkStufen->setChecked(true);
    lay->addWidget(chkMitglieder);
    lay->addWidget(chkStufen);
    auto* knoepfe = new QHBoxLayout();
    cmdKopieren = new QPushButton(QStringLiteral("&Kopieren"));
    cmdKopieren->setObjectName(QStringLiteral("cmdKopieren"));
    cmdKopieren->setDefault(true);
    cmdAbbrechen = new QPushButton(QStringLiteral("Abbrechen"));
    cmdAbbrechen->setObjectName(QStringLiteral("cmdAbbrechen"));
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdKopieren);
    knoepfe->addWidget(cmdAbbrechen);
    lay->addLayout(knoepfe);
    cmdKopieren->setEnabled(!gruppen.isEmpty());
    txtName->setFocus();
    connect(cmdKopieren, &QPushButton::clicked, this, &frmGruppeKopieren::cmdKopieren_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

void frmGruppeKopieren::cmdKopieren_Click() {
    // A refused name keeps the dialog open with what was typed.
    const QString name = txtName->text();
    if (!Pflege::GruppeKopieren(cmbQuelle->currentText(), name, chkMitglieder->isChecked(),
                                chkStufen->isChecked()))
        return;
    m_neu = name;
    accept();
}
