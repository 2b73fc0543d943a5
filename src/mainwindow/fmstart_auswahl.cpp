// FMStart: what the window shows when a group, program, sub-program or level is chosen.

#include "fmstart.h"
#include "listenladen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "auswertung/frmuebersicht.h"
#include "permissions/berechtigungen.h"
#include "platform/plattform.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctlist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>

void FMStart::cmbGruppe_Click() {
    ctListGruppe->Clear();
    m_unvollstaendigeGruppe.clear();
    CacheObjektPtr gruppe;
    CacheAbfragePtr q;
    QString vorgang = QStringLiteral("Gruppe öffnen");
    try {
        CtList::Aktualisierung einmalZeichnen(*ctListGruppe);
        DbBeginn(false);
        CacheFactory& f = *Zustand().CacheFactory;
        try {
            gruppe = f.OpenId(Berechtigung::KlasseGruppen, cmbGruppe->currentText());
        } catch (const CacheFehler& e) {
            if (e.Nummer() != Fehlernummer::ObjektFehlt) throw;
            // A name without record (granted on a level, or deleted meanwhile)
            // is an empty group, not a half-loaded one: a save creates it.
            DbEnde(false);
            m_gruppeGeladen = {cmbGruppe->currentText(), {}, true, false};
            AenderungenZeigen();
            return;
        }
        ObjektSchliessen(gruppe);
        // Members and their names in one query, not one employee record per
        // member; a member without employee record keeps its code and an empty name.
        vorgang = QStringLiteral("Mitglieder lesen");
        q = f.Abfrage(Berechtigung::KlasseGruppen, QStringLiteral("Mitglieder"));
        q->Ausfuehren({cmbGruppe->currentText(), Zustand().Firma});
        QStringList geladen;
        while (q->Naechste()) {
            geladen.append(q->Spalte(1));
            // Column 2: "1" and the name, or empty without an employee record.
            const QString name = q->Spalte(2);
            // Column 3: the end date (YYYY-MM-DD), empty for an unlimited membership.
            const QDate bis = QDate::fromString(q->Spalte(3), Qt::ISODate);
            ctListGruppe->AddItem(q->Spalte(1) + QLatin1Char(';') +
                                  (name.isEmpty() ? QString() : Anzeigename(name.mid(1))) +
                                  (bis.isValid() ? QLatin1Char(';') + bis.toString(QStringLiteral("dd.MM.yyyy"))
                                                 : QString()));
        }
        ObjektSchliessen(q);
        DbEnde(false);
        ctListGruppe->setSortColumn(1);
        ctListGruppe->setSortOrder(0);
        ctListGruppe->Sort();
        m_gruppeGeladen = {cmbGruppe->currentText(), geladen, true, true};
    } catch (const CacheFehler& e) {
        ObjektSchliessen(gruppe);
        ObjektSchliessen(q);
        // Half a member list must never be saved as the whole one.
        ctListGruppe->Clear();
        m_gruppeGeladen = {};
        m_unvollstaendigeGruppe = cmbGruppe->currentText();
        CacheFehlermeldung(e, QStringLiteral("fmstart.cmbGruppe_Click ") + vorgang);
    }
    AenderungenZeigen();
}

void FMStart::cmbProgramm_Click() {
    SubProgrammeLaden(cmbProgramm, cmbSubProgramm);
}

void FMStart::cmbSubProgramm_Click() {
    const QString stufe = cmbProgrammStufe->currentText();
    cmbProgrammStufe->clear();
    cmbProgrammStufe->setEditText(stufe);
    QStringList stufen;
    if (!StufenLesen(cmbProgramm->currentText(), cmbSubProgramm->currentText(), stufen)) {
        // No message here; the operation still ends so that the idle timer runs.
        Plattform::setSanduhr(false);
        cmbSubProgramm->setEditText(QString());
        return;
    }
    KomboFuellen(cmbProgrammStufe, stufen, stufe);
    cmbProgrammStufe_Click();
}

void FMStart::cmbProgrammStufe_Click() {
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText(),
                  l = cmbProgrammStufe->currentText();
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return;
    try {
        DbBeginn(true);
        ctListProgramm->Clear();
        CacheObjektPtr satz =
            Zustand().CacheFactory->OpenId(Berechtigung::KlasseProgramm, Berechtigung::ProgrammId(p, s, l));
        SysListPtr gruppen = satz->Liste(QStringLiteral("Gruppe"));
        ObjektSchliessen(satz);
        {
            CtList::Aktualisierung einmalZeichnen(*ctListProgramm);
            for (int i = 1; i <= gruppen->Count(); ++i)
                ctListProgramm->AddItem(gruppen->GetAt(i));
        }
        m_stufeGeladen = {Berechtigung::ProgrammId(p, s, l),
                          QStringList(gruppen->Werte().begin(), gruppen->Werte().end()), true, true};
        ObjektSchliessen(gruppen);
        DbEnde(true);
    } catch (const CacheFehler&) {
        DbEnde(true);
        Plattform::setSanduhr(false);
        m_stufeGeladen = {};
        cmbProgrammStufe->setEditText(QString());
    }
    AenderungenZeigen();
}

void FMStart::chkAbt_Click() {
    const Qt::CheckState s = chkAbt->checkState();
    if (s == Qt::Unchecked)
        MitarbeiterLaden(ctListMitarbeiter, false);
    else if (s == Qt::Checked)
        MitarbeiterLaden(ctListMitarbeiter, true);
    // The overview lists the same employees as this window.
    if (m_uebersicht && m_uebersicht->isVisible()) m_uebersicht->Form_Load(s == Qt::Checked);
}

void FMStart::ctListMitarbeiter_DblClick() {
    cmdMitarbeiterGruppe_Click(0);
}

void FMStart::ctListGruppe_DblClick() {
    cmdMitarbeiterGruppe_Click(1);
}
