#include "frmregel.h"

#include "platform/dialogservice.h"
#include "platform/umgebung.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QGroupBox* Seite(const QString& titel, const QString& name, std::array<QLineEdit*, 3>& felder,
                 const QStringList& werte) {
    auto* box = new QGroupBox(titel);
    auto* lay = new QGridLayout(box);
    const QString beschriftung[3] = {QStringLiteral("Programm:"), QStringLiteral("Unterprogramm:"),
                                     QStringLiteral("Stufe:")};
    for (int i = 0; i < 3; ++i) {
        auto* f = new QLineEdit(werte.value(i, i == 0 ? QString() : QStringLiteral("*")));
        f->setObjectName(QStringLiteral("txt%1%2").arg(name).arg(i));
        if (i > 0) f->setPlaceholderText(QStringLiteral("* = jede"));
        auto* l = new QLabel(beschriftung[i]);
        l->setBuddy(f);
        lay->addWidget(l, 0, i);
        lay->addWidget(f, 1, i);
        felder[static_cast<size_t>(i)] = f;
    }
    return box;
}

QStringList Texte(const std::array<QLineEdit*, 3>& felder) {
    QStringList t;
    for (const QLineEdit* f : felder)
        t.append(f->text().trimmed());
    return t;
}
} // namespace

frmRegel::frmRegel(const Pflege::Regel* regel, QWidget* parent) : QDialog(parent), m_neu(!regel) {
    setObjectName(QStringLiteral("frmRegel"));
    setWindowTitle(regel ? QStringLiteral("Regel ändern") : QStringLiteral("Neue Regel"));
    auto* lay = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    txtName = new QLineEdit(regel ? regel->name : QString());
    txtName->setObjectName(QStringLiteral("txtName"));
    // The name is the rule's key: a changed rule keeps it.
    txtName->setReadOnly(regel != nullptr);
    form->addRow(QStringLiteral("&Name:"), txtName);
    txtBeschreibung = new QLineEdit(regel ? regel->beschreibung : QString());
    txtBeschreibung->setObjectName(QStringLiteral("txtBeschreibung"));
    form->addRow(QStringLiteral("&Beschreibung:"), txtBeschreibung);
    lay->addLayout(form);
    lay->addWidget(new QLabel(QStringLiteral("Wer eine Stufe der einen Seite hat, darf keine der anderen haben:")));
    lay->addWidget(Seite(QStringLiteral("Seite &1"), QStringLiteral("Seite1"), txtSeite1,
                         regel ? regel->seite1 : QStringList()));
    lay->addWidget(Seite(QStringLiteral("Seite &2"), QStringLiteral("Seite2"), txtSeite2,
                         regel ? regel->seite2 : QStringList()));
    auto* knoepfe = new QHBoxLayout();
    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdAbbrechen = new QPushButton(QStringLiteral("Abbrechen"));
    cmdAbbrechen->setObjectName(QStringLiteral("cmdAbbrechen"));
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdOK);
    knoepfe->addWidget(cmdAbbrechen);
    lay->addLayout(knoepfe);
    (regel ? txtBeschreibung : txtName)->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmRegel::cmdOK_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
}

void frmRegel::cmdOK_Click() {
    // A stored name is kept as it is, blanks and all, so the change finds its rule.
    const Pflege::Regel r{m_neu ? txtName->text().trimmed() : txtName->text(), txtBeschreibung->text().trimmed(), Texte(txtSeite1),
                          Texte(txtSeite2)};
    if (r.name.isEmpty() || r.seite1.contains(QString()) || r.seite2.contains(QString()) ||
        r.seite1[0] == QLatin1String("*") || r.seite2[0] == QLatin1String("*")) {
        Dialoge().MsgBox(QStringLiteral("Bitte einen Namen und für beide Seiten Programm, Unterprogramm und Stufe "
                                        "angeben (Unterprogramm und Stufe dürfen \"*\" sein, das Programm nicht)."),
                         DialogService::Exclamation, windowTitle());
        return;
    }
    // A refusal keeps the dialog open with what was typed.
    if (!Pflege::RegelSpeichern(r, m_neu)) return;
    m_gespeichert = true;
    accept();
}
