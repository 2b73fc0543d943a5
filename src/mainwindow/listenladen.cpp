#include "listenladen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctlist.h"
#include "util/feld.h"
#include "util/konvertieren.h"

#include <QComboBox>

#include <algorithm>

QString Anzeigename(const QString& name) {
    // The second blank-separated word, a blank, the first word.
    const QStringView n(name);
    const qsizetype b1 = n.indexOf(QLatin1Char(' '));
    const QStringView erstes = b1 < 0 ? n : n.left(b1);
    QStringView zweites;
    if (b1 >= 0) {
        const qsizetype b2 = n.indexOf(QLatin1Char(' '), b1 + 1);
        zweites = n.mid(b1 + 1, (b2 < 0 ? n.size() : b2) - b1 - 1);
    }
    QString a;
    a.reserve(erstes.size() + zweites.size() + 1);
    a.append(zweites).append(QLatin1Char(' ')).append(erstes);
    return a;
}

namespace {

// The combo-box loaders share their frame: keep the text, rebuild, put it back.
bool KomboLaden(QComboBox* box, const QString& prozedur, const QString& abfrage, const QStringList& argumente,
                bool oben) {
    const QString text = box->currentText();
    box->clear();
    // The field keeps the text while the entries are read.
    box->setEditText(text);
    CacheAbfragePtr q;
    QString vorgang = QStringLiteral("Abfrage ") + abfrage;
    try {
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.") +
                                                (abfrage == QLatin1String("Gruppen")
                                                     ? QStringLiteral("Gruppen")
                                                     : QStringLiteral("Programm")),
                                            abfrage);
        q->Ausfuehren(argumente);
        vorgang = QStringLiteral("Zeilen lesen");
        // Collected first and set at once: inserting one by one at the top
        // of a combo box costs time with the square of its entries.
        QStringList eintraege;
        while (q->Naechste())
            eintraege.append(q->Spalte(1));
        if (oben) std::reverse(eintraege.begin(), eintraege.end());
        ObjektSchliessen(q);
        DbEnde(false);
        KomboFuellen(box, eintraege, text);
    } catch (const CacheFehler& e) {
        ObjektSchliessen(q);
        CacheFehlermeldung(e, QStringLiteral("fmstart.") + prozedur + QLatin1Char(' ') + vorgang);
        return false;
    }
    return true;
}

} // namespace

bool GruppenLaden(QComboBox* cmbGruppe) {
    return KomboLaden(cmbGruppe, QStringLiteral("GruppenLaden"), QStringLiteral("Gruppen"), {}, false);
}

bool ProgrammeLaden(QComboBox* cmbProgramm) {
    return KomboLaden(cmbProgramm, QStringLiteral("ProgrammeLaden"), QStringLiteral("Programme"), {}, true);
}

bool SubProgrammeLaden(QComboBox* cmbProgramm, QComboBox* cmbSubProgramm) {
    if (cmbProgramm->currentText().isEmpty()) return true;
    return KomboLaden(cmbSubProgramm, QStringLiteral("SubProgrammeLaden"), QStringLiteral("SubProgramme"),
                      {cmbProgramm->currentText()}, true);
}

void MitarbeiterLesen(bool AbteilungenAnzeigen, const std::function<void(QString zeile, const QString& code)>& je,
                      QString* vorgang) {
    CacheAbfragePtr q;
    try {
        if (vorgang) *vorgang = QStringLiteral("Abfrage Liste");
        DbBeginn(false);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("KV.ParPersEdv"), QStringLiteral("Liste"));
        q->Ausfuehren({Zustand().Firma});
        if (vorgang) *vorgang = QStringLiteral("Zeilen lesen");
        const Konverter korval(QStringLiteral("KORVAL"), false);
        while (q->Naechste()) {
            const QString code = q->Spalte(1);
            if (!AbteilungenAnzeigen && code.startsWith(QLatin1Char('s'))) continue;
            const QString name = Anzeigename(korval(q->Spalte(2)));
            const QString anzeigeCode = korval(code);
            QString zeile;
            zeile.reserve(anzeigeCode.size() + 1 + name.size());
            zeile.append(anzeigeCode).append(QLatin1Char(';')).append(name);
            je(std::move(zeile), code);
        }
        ObjektSchliessen(q);
        DbEnde(false);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        throw;
    }
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
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("fmstart.MitarbeiterLaden ") + vorgang);
        return false;
    }
    return true;
}

bool StufenLesen(const QString& programm, const QString& subprogramm, QStringList& stufen) {
    stufen.clear();
    CacheAbfragePtr q;
    try {
        DbBeginn(true);
        q = Zustand().CacheFactory->Abfrage(QStringLiteral("UserVerwaltung.Programm"), QStringLiteral("Stufen"));
        q->Ausfuehren({programm, subprogramm});
        while (q->Naechste())
            stufen.prepend(q->Spalte(1));
        ObjektSchliessen(q);
        DbEnde(true);
    } catch (const CacheFehler&) {
        ObjektSchliessen(q);
        DbEnde(true);
        return false;
    }
    return true;
}
