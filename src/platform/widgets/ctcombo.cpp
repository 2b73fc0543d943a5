#include "ctcombo.h"

#include "zugang.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

void EingabeKomboEinrichten(QComboBox* box) {
    ZugangEinrichten();
    box->setModel(new QStringListModel(box));
    box->setEditable(true);
    WertAnsagen(box);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Inline completion turned "Lag" into "Lager" before a save.
    box->setCompleter(nullptr);
    // Leaving the field would choose an entry that matches regardless of case
    // ("lager" became "Lager") and fire a choice nobody made.
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
}

QComboBox* EingabeKombo(const QString& name, const QString& beschreibung) {
    auto* c = new QComboBox();
    c->setObjectName(name);
    EingabeKomboEinrichten(c);
    c->setAccessibleName(beschreibung);
    c->lineEdit()->setAccessibleName(beschreibung);
    return c;
}

void KomboFuellen(QComboBox* box, const QStringList& eintraege, const QString& text) {
    if (auto* m = qobject_cast<QStringListModel*>(box->model()))
        m->setStringList(eintraege);
    else {
        box->clear();
        box->addItems(eintraege);
    }
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    box->setEditText(text);
}
