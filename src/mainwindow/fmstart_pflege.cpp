// FMStart: the buttons that edit member and group lists and write them to the server.

#include "fmstart.h"
#include "listenladen.h"

#include "permissions/pflege.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "util/feld.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
void AuswahlEntfernen(CtList* liste) {
    for (int i = liste->ListCount() - 1; i >= 0; --i)
        if (liste->Selected(i)) liste->RemoveItem(i);
}
} // namespace

bool FMStart::Fragen(const QString& text) {
    return Dialoge().MsgBox(text, DialogService::YesNo, QStringLiteral("Löschen?")) == DialogService::Yes;
}

QStringList FMStart::Zeilen(const CtList* liste, int feld) const {
    QStringList z;
    z.reserve(liste->ListCount());
    for (int i = 0; i < liste->ListCount(); ++i)
        z.append(feld > 0 ? Feld(liste->List(i), QStringLiteral(";"), feld) : liste->List(i));
    return z;
}

void FMStart::cmdMitarbeiterGruppe_Click(int index) {
    switch (index) {
    case 0: {
        CtList::Aktualisierung einmalZeichnen(*ctListGruppe);
        for (int i = 0; i < ctListMitarbeiter->ListCount(); ++i)
            if (ctListMitarbeiter->Selected(i)) ctListGruppe->AddItem(ctListMitarbeiter->List(i));
        break;
    }
    case 1:
        AuswahlEntfernen(ctListGruppe);
        break;
    case 2: {
        CtList::Aktualisierung einmalZeichnen(*ctListGruppe);
        for (int i = 0; i < ctListMitarbeiter->ListCount(); ++i)
            ctListGruppe->AddItem(ctListMitarbeiter->List(i));
        break;
    }
    case 3:
        ctListGruppe->Clear();
        break;
    case 4:
        ctListGruppe->AddItem(txtUser->text() + QLatin1Char(';'));
        break;
    default:
        break;
    }
}

void FMStart::cmdGruppeSpeichern_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString gruppe = cmbGruppe->currentText();
    if (gruppe.isEmpty()) return;
    if (!m_unvollstaendigeGruppe.isEmpty() && gruppe == m_unvollstaendigeGruppe) {
        Dialoge().MsgBox(QStringLiteral("Die Mitglieder der Gruppe ") + gruppe +
                             QStringLiteral(" wurden nicht vollständig geladen.\r\n"
                                            "Bitte wählen Sie die Gruppe erneut aus; es wurde nichts "
                                            "gespeichert."),
                         DialogService::Exclamation, QStringLiteral("Änderung Sichern"));
        return;
    }
    if (Pflege::GruppeSpeichern(gruppe, Zeilen(ctListGruppe, 1))) GruppenLaden(cmbGruppe);
}

void FMStart::cmdGruppeLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString gruppe = cmbGruppe->currentText();
    // Nothing to delete without a name.
    if (gruppe.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie die Gruppe: ") + gruppe +
                QStringLiteral(" löschen wollen?")))
        return;
    if (!Pflege::GruppeLoeschen(gruppe)) return;
    m_unvollstaendigeGruppe.clear();
    cmbGruppe->setEditText(QString());
    cmbProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ctListGruppe->Clear();
    GruppenLaden(cmbGruppe);
}

void FMStart::cmdGruppeProgramm_Click(int index) {
    if (index == 0)
        ctListProgramm->AddItem(cmbGruppe->currentText());
    else if (index == 1)
        AuswahlEntfernen(ctListProgramm);
}

void FMStart::cmdProgrammSpeichern_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText(),
                  l = cmbProgrammStufe->currentText();
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return;
    if (!Pflege::ProgrammStufeSpeichern(p, s, l, Zeilen(ctListProgramm, 0))) return;
    ProgrammeLaden(cmbProgramm);
    cmbProgramm_Click();
    cmbSubProgramm_Click();
}

void FMStart::cmdProgrammLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText();
    if (p.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie das Programm: ") + p +
                QStringLiteral(" löschen wollen?")))
        return;
    if (!Pflege::ProgrammLoeschen(p)) return;
    cmbProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ProgrammeLaden(cmbProgramm);
}

void FMStart::cmdSubProgrammLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText();
    if (p.isEmpty() || s.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie das Programm: ") + p + QLatin1Char(' ') + s +
                QStringLiteral(" löschen wollen?")))
        return;
    if (!Pflege::SubProgrammLoeschen(p, s)) return;
    cmbProgramm->setEditText(QString());
    cmbSubProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ProgrammeLaden(cmbProgramm);
}

void FMStart::cmdProgrammStufeLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText(),
                  l = cmbProgrammStufe->currentText();
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie Die Stufe ") + l + QStringLiteral(" im Programm: ") +
                p + QLatin1Char(' ') + s + QStringLiteral(" löschen wollen?")))
        return;
    if (!Pflege::StufeLoeschen(p, s, l)) return;
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    cmbProgramm_Click();
}
