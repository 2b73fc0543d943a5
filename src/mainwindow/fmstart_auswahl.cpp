// FMStart: what the window shows when a group, program, sub-program or level is chosen.

#include "fmstart.h"
#include "listenladen.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "permissions/berechtigungen.h"
#include "platform/plattform.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctlist.h"
#include "util/konvertieren.h"

#include <QCheckBox>
#include <QComboBox>

void FMStart::cmbGruppe_Click() {
    ctListGruppe->Clear();
    m_unvollstaendigeGruppe.clear();
    CacheObjektPtr gruppe;
    QString vorgang = QStringLiteral("Gruppe öffnen");
    try {
        CtList::Aktualisierung einmalZeichnen(*ctListGruppe);
        DbBeginn(false);
        CacheFactory& f = *Zustand().CacheFactory;
        gruppe = f.OpenId(Berechtigung::KlasseGruppen, cmbGruppe->currentText());
        SysListPtr codes = gruppe->Liste(QStringLiteral("PCODE"));
        const QString praefix = Zustand().Firma + QStringLiteral("||");
        for (int i = 1; i <= codes->Count(); ++i) {
            const QString code = codes->GetAt(i);
            vorgang = QStringLiteral("Mitarbeiter ") + code;
            QString name;
            try {
                CacheObjektPtr pers =
                    f.OpenId(QStringLiteral("KV.ParPersEdv"),
                             praefix + Konvertieren(code, QStringLiteral("GUIKORVAL"), false));
                name = Anzeigename(pers->Methode(QStringLiteral("PNAMELogicalToODBC"),
                                                 {pers->Eigenschaft(QStringLiteral("PNAME"))}));
                ObjektSchliessen(pers);
            } catch (const CacheFehler& e) {
                // A member without employee record stays listed, with an empty name,
                // so that the next save keeps it.
                if (e.Nummer() != Fehlernummer::ObjektFehlt && e.Nummer() != Fehlernummer::UngueltigeId)
                    throw;
            }
            ctListGruppe->AddItem(code + QLatin1Char(';') + name);
        }
        ObjektSchliessen(gruppe);
        DbEnde(false);
    } catch (const CacheFehler& e) {
        ObjektSchliessen(gruppe);
        // Half a member list must never be saved as the whole one.
        ctListGruppe->Clear();
        m_unvollstaendigeGruppe = cmbGruppe->currentText();
        CacheFehlermeldung(e, QStringLiteral("fmstart.cmbGruppe_Click ") + vorgang);
        return;
    }
    ctListGruppe->setSortColumn(1);
    ctListGruppe->setSortOrder(0);
    ctListGruppe->Sort();
}

void FMStart::cmbProgramm_Click() {
    SubProgrammeLaden(cmbProgramm, cmbSubProgramm);
}

void FMStart::cmbSubProgramm_Click() {
    const QString stufe = cmbProgrammStufe->currentText();
    cmbProgrammStufe->clear();
    cmbProgrammStufe->setEditText(stufe);
    try {
        DbBeginn(true);
        CacheAbfragePtr q =
            Zustand().CacheFactory->Abfrage(Berechtigung::KlasseProgramm, QStringLiteral("Stufen"));
        q->Ausfuehren({cmbProgramm->currentText(), cmbSubProgramm->currentText()});
        QStringList stufen;
        while (q->Naechste())
            stufen.prepend(q->Spalte(1));
        ObjektSchliessen(q);
        DbEnde(true);
        KomboFuellen(cmbProgrammStufe, stufen, stufe);
    } catch (const CacheFehler&) {
        // No message here; the operation still ends so that the idle timer runs.
        DbEnde(true);
        Plattform::setSanduhr(false);
        cmbSubProgramm->setEditText(QString());
        return;
    }
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
        ObjektSchliessen(gruppen);
        DbEnde(true);
    } catch (const CacheFehler&) {
        DbEnde(true);
        Plattform::setSanduhr(false);
        cmbProgrammStufe->setEditText(QString());
    }
}

void FMStart::chkAbt_Click() {
    const Qt::CheckState s = chkAbt->checkState();
    if (s == Qt::Unchecked)
        MitarbeiterLaden(ctListMitarbeiter, false);
    else if (s == Qt::Checked)
        MitarbeiterLaden(ctListMitarbeiter, true);
}

void FMStart::ctListMitarbeiter_DblClick() {
    cmdMitarbeiterGruppe_Click(0);
}

void FMStart::ctListGruppe_DblClick() {
    cmdMitarbeiterGruppe_Click(1);
}
