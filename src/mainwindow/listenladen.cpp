#include "listenladen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctlist.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QTreeView>

#include <algorithm>

namespace {

// The combo-box loaders share their frame: keep the text, rebuild, put it back.
bool KomboLaden(QComboBox* box, const QString& prozedur, const QString& abfrage,
                const QStringList& argumente) {
    const QString text = box->currentText();
    box->clear();
    // The field keeps the text while the entries are read.
    box->setEditText(text);
    QString vorgang;
    try {
        // Collected first and set at once: inserting one by one at the top
        // of a combo box costs time with the square of its entries.
        KomboFuellen(box, AuswahlLesen(abfrage, argumente, &vorgang), text);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("fmstart.") + prozedur + QLatin1Char(' ') + vorgang);
        return false;
    }
    return true;
}

} // namespace

bool GruppenLaden(QComboBox* cmbGruppe) {
    return KomboLaden(cmbGruppe, QStringLiteral("GruppenLaden"), QStringLiteral("Gruppen"), {});
}

bool ProgrammeLaden(QComboBox* cmbProgramm) {
    return KomboLaden(cmbProgramm, QStringLiteral("ProgrammeLaden"), QStringLiteral("Programme"), {});
}

bool SubProgrammeLaden(QComboBox* cmbProgramm, QComboBox* cmbSubProgramm) {
    if (cmbProgramm->currentText().isEmpty()) return true;
    return KomboLaden(cmbSubProgramm, QStringLiteral("SubProgrammeLaden"), QStringLiteral("SubProgramme"),
                      {cmbProgramm->currentText()});
}

bool MitarbeiterLaden(CtList* liste, bool AbteilungenAnzeigen) {
    QString vorgang;
    try {
        // The list is neither laid out nor painted while it is rebuilt: the
        // event processing that ends the query would otherwise do it half-built.
        CtList::Aktualisierung einmalZeichnen(*liste);
        liste->Clear();
        MitarbeiterLesen(AbteilungenAnzeigen, [liste](QString zeile, const QString& code) {
            liste->InsertItem(0, zeile);
            liste->setItemData(0, code);
        }, &vorgang);
        liste->setSortColumn(2);
        liste->setSortOrder(0);
        liste->Sort();
        // The code column as wide as the longest code present: longer codes are not cut.
        const QFontMetrics fm(liste->View()->font());
        int breite = 0;
        for (int i = 0; i < liste->ListCount(); ++i)
            breite = std::max(breite, fm.horizontalAdvance(liste->List(i).section(QLatin1Char(';'), 0, 0)));
        breite += 2 * fm.averageCharWidth();
        if (breite > liste->ColumnWidth(1)) liste->setColumnWidth(1, breite);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("fmstart.MitarbeiterLaden ") + vorgang);
        return false;
    }
    return true;
}
