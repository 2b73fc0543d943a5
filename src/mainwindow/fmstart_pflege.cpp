// FMStart: the buttons that edit member and group lists and write them to the server.

#include "fmstart.h"
#include "listenladen.h"

#include "permissions/berechtigungen.h"
#include "permissions/pflege.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "util/feld.h"

#include <QComboBox>
#include <QLineEdit>

#include <functional>
#include <optional>

namespace {
void AuswahlEntfernen(CtList* liste) {
    for (int i = liste->ListCount() - 1; i >= 0; --i)
        if (liste->Selected(i)) liste->RemoveItem(i);
}
} // namespace

namespace {
bool GleicherInhalt(QStringList a, QStringList b) {
    // The window sorts what it shows: the order of a list is not a change.
    a.sort();
    b.sort();
    return a == b;
}

void Markieren(CtPush* knopf, bool geaendert, const QString& beschreibung) {
    knopf->setText(geaendert ? QStringLiteral("Änderung Sichern *") : QStringLiteral("Änderung Sichern"));
    QFont f = knopf->font();
    f.setBold(geaendert);
    knopf->setFont(f);
    knopf->setAccessibleDescription(geaendert ? beschreibung + QStringLiteral(" (ungesicherte Änderungen)")
                                              : beschreibung);
}
} // namespace

bool FMStart::GruppeGeaendert() const {
    const QStringList jetzt = Zeilen(ctListGruppe, 1);
    if (!m_gruppeGeladen.gueltig) return !jetzt.isEmpty();
    return !GleicherInhalt(jetzt, m_gruppeGeladen.liste);
}

bool FMStart::StufeGeaendert() const {
    const QStringList jetzt = Zeilen(ctListProgramm, 0);
    if (!m_stufeGeladen.gueltig) return !jetzt.isEmpty();
    // A level keeps its order: a reordered list is a change to store.
    return jetzt != m_stufeGeladen.liste;
}

void FMStart::AenderungenZeigen() {
    const bool gruppe = GruppeGeaendert(), stufe = StufeGeaendert();
    Markieren(cmdGruppeSpeichern, gruppe, QStringLiteral("Mitglieder der Gruppe speichern"));
    Markieren(cmdProgrammSpeichern, stufe, QStringLiteral("Gruppen der Programmstufe speichern"));
    // The caption belongs to the sign-on, which may change it; the mark is only its end.
    QString titel = windowTitle();
    if (titel.endsWith(QStringLiteral(" *"))) titel.chop(2);
    setWindowTitle(gruppe || stufe ? titel + QStringLiteral(" *") : titel);
}

bool FMStart::MitStand(const QString& klasse, const QString& id, Geladen& geladen, CtList* liste,
                       bool abwesendPruefen, const std::function<bool(const Pflege::Stand&)>& befehl,
                       const std::function<void()>& neuLaden) {
    const QString objekt =
        (klasse == Berechtigung::KlasseGruppen ? QStringLiteral("Gruppe ") : QStringLiteral("Stufe ")) + id;
    std::optional<Pflege::Serverstand> erwartet;
    if (geladen.gueltig && geladen.id == id)
        erwartet = Pflege::Serverstand{geladen.vorhanden, geladen.liste};
    else if (abwesendPruefen)
        erwartet = Pflege::Serverstand{}; // a name this window never loaded: there should be no record
    bool gruppenErlaubt = false;
    QString ausnahme;
    for (;;) {
        Pflege::Konflikt konflikt;
        Pflege::Stand stand;
        if (erwartet && erwartet->vorhanden) stand.geladen = &erwartet->liste;
        stand.abwesend = erwartet && !erwartet->vorhanden;
        stand.fehlendeGruppenErlaubt = gruppenErlaubt;
        stand.konflikt = &konflikt;
        stand.ausnahme = ausnahme;
        if (befehl(stand)) return true;
        if (konflikt.art == Pflege::Konflikt::Keiner) return false;
        if (konflikt.art == Pflege::Konflikt::Unvereinbar) {
            // Stored again with the reason, or not at all.
            if (!Pflege::AusnahmeErfragen(konflikt, ausnahme)) return false;
            continue;
        }
        if (konflikt.art == Pflege::Konflikt::GruppeFehlt) {
            const bool eine = konflikt.gruppen.size() == 1;
            if (Dialoge().MsgBox(QStringLiteral("Die %1 %2 %3 nicht. Trotzdem berechtigen?")
                                     .arg(eine ? QStringLiteral("Gruppe") : QStringLiteral("Gruppen"),
                                          konflikt.gruppen.join(QStringLiteral(", ")),
                                          eine ? QStringLiteral("besteht") : QStringLiteral("bestehen")),
                                 DialogService::YesNo | DialogService::Question,
                                 QStringLiteral("Gruppe fehlt")) != DialogService::Yes)
                return false;
            gruppenErlaubt = true;
            continue;
        }
        // What the server holds at the question is what "Überschreiben"
        // overwrites: a change while the question is open asks again.
        const std::optional<Pflege::Serverstand> jetzt = Pflege::ListeLesen(klasse, id);
        if (!jetzt) {
            Dialoge().MsgBox(objekt + QStringLiteral(" wurde an einem anderen Arbeitsplatz geändert, und der Stand "
                                                     "des Servers kann nicht gelesen werden.\r\nEs wurde nichts "
                                                     "gespeichert."),
                             DialogService::Exclamation, QStringLiteral("Gleichzeitige Änderung"));
            return false;
        }
        const int antwort = KonfliktFragen(objekt, konflikt.art, *jetzt, !abwesendPruefen);
        if (antwort == 1 && jetzt->vorhanden) neuLaden();
        if (antwort == 1 && !jetzt->vorhanden) {
            // Shown as gone: an empty list that a save creates anew.
            liste->Clear();
            geladen = {id, {}, true, false};
            AenderungenZeigen();
            Dialoge().MsgBox(objekt + QStringLiteral(" wurde an einem anderen Arbeitsplatz gelöscht.\r\n"
                                                     "Speichern legt sie mit der angezeigten Liste neu an."),
                             DialogService::Information, QStringLiteral("Gleichzeitige Änderung"));
        }
        if (antwort != 0) return false;
        erwartet = *jetzt;
    }
}

int FMStart::KonfliktFragen(const QString& objekt, Pflege::Konflikt::Art art, const Pflege::Serverstand& jetzt,
                            bool loeschen) {
    const QString wer = Pflege::LetzteAenderung(objekt, jetzt);
    const int n = static_cast<int>(jetzt.liste.size());
    const QString lage =
        !jetzt.vorhanden ? QStringLiteral("%1 wurde seit dem Laden an einem anderen Arbeitsplatz gelöscht.").arg(objekt)
        : art == Pflege::Konflikt::Vorhanden
            ? QStringLiteral("%1 besteht bereits mit %2 %3, wurde hier aber nicht geladen.")
                  .arg(objekt)
                  .arg(n)
                  .arg(n == 1 ? QStringLiteral("Eintrag") : QStringLiteral("Einträgen"))
            : QStringLiteral("%1 wurde seit dem Laden an einem anderen Arbeitsplatz geändert.").arg(objekt);
    const QString ueberschreiben = loeschen             ? QStringLiteral("trotzdem löschen.")
                                   : !jetzt.vorhanden ? QStringLiteral("mit Ihrer Liste neu anlegen.")
                                                      : QStringLiteral("Ihre Liste speichern.");
    const QString nichts = loeschen ? QStringLiteral("nichts löschen") : QStringLiteral("nichts speichern");
    return Dialoge().Auswahl(
        QStringLiteral("%1\r\n%2Überschreiben: %3\r\nNeu laden: die Liste des Servers anzeigen, %4.\r\n"
                       "Abbrechen: %4.")
            .arg(lage, wer.isEmpty() ? QString() : wer + QStringLiteral("\r\n"), ueberschreiben, nichts),
        QStringLiteral("Gleichzeitige Änderung"),
        {QStringLiteral("Überschreiben"), QStringLiteral("Neu laden"), QStringLiteral("Abbrechen")},
        // Enter loses nothing: neither the other's change nor, unasked, one's own.
        1);
}

// "… war bereits gelöscht" is news only about a record this window had
// shown; a name typed that never had a record is deleted without a word.
bool FMStart::Geoeffnet(const Geladen& geladen, const QString& id) {
    return geladen.gueltig && geladen.vorhanden && geladen.id == id;
}

void FMStart::SchonGeloescht(const QString& wer) {
    Dialoge().MsgBox(wer + QStringLiteral(" war bereits gelöscht."), DialogService::Information,
                     QStringLiteral("Löschen"));
}

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
    AenderungenZeigen();
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
    const QStringList codes = Zeilen(ctListGruppe, 1);
    if (!MitStand(Berechtigung::KlasseGruppen, gruppe, m_gruppeGeladen, ctListGruppe, true,
                  [&](const Pflege::Stand& stand) { return Pflege::GruppeSpeichern(gruppe, codes, stand); },
                  [this] { cmbGruppe_Click(); }))
        return;
    m_gruppeGeladen = {gruppe, codes, true, true};
    GruppenLaden(cmbGruppe);
    AenderungenZeigen();
}

void FMStart::cmdGruppeLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString gruppe = cmbGruppe->currentText();
    // Nothing to delete without a name.
    if (gruppe.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie die Gruppe: ") + gruppe +
                QStringLiteral(" löschen wollen?")))
        return;
    bool warSchonWeg = false;
    if (!MitStand(Berechtigung::KlasseGruppen, gruppe, m_gruppeGeladen, ctListGruppe, false,
                  [&](Pflege::Stand stand) {
                      stand.warSchonWeg = &warSchonWeg;
                      return Pflege::GruppeLoeschen(gruppe, stand);
                  },
                  [this] { cmbGruppe_Click(); }))
        return;
    if (warSchonWeg && Geoeffnet(m_gruppeGeladen, gruppe)) SchonGeloescht(QStringLiteral("Die Gruppe ") + gruppe);
    m_gruppeGeladen = {};
    m_stufeGeladen = {};
    m_unvollstaendigeGruppe.clear();
    cmbGruppe->setEditText(QString());
    cmbProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ctListGruppe->Clear();
    GruppenLaden(cmbGruppe);
    AenderungenZeigen();
}

void FMStart::cmdGruppeProgramm_Click(int index) {
    if (index == 0)
        ctListProgramm->AddItem(cmbGruppe->currentText());
    else if (index == 1)
        AuswahlEntfernen(ctListProgramm);
    AenderungenZeigen();
}

void FMStart::cmdProgrammSpeichern_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText(),
                  l = cmbProgrammStufe->currentText();
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return;
    const QStringList gruppen = Zeilen(ctListProgramm, 0);
    const QString id = Berechtigung::ProgrammId(p, s, l);
    if (!MitStand(Berechtigung::KlasseProgramm, id, m_stufeGeladen, ctListProgramm, true,
                  [&](const Pflege::Stand& stand) { return Pflege::ProgrammStufeSpeichern(p, s, l, gruppen, stand); },
                  [this] { cmbProgrammStufe_Click(); }))
        return;
    m_stufeGeladen = {id, gruppen, true, true};
    ProgrammeLaden(cmbProgramm);
    cmbProgramm_Click();
    cmbSubProgramm_Click();
    AenderungenZeigen();
}

void FMStart::cmdProgrammLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText();
    if (p.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie das Programm: ") + p +
                QStringLiteral(" löschen wollen?")))
        return;
    bool warSchonWeg = false;
    if (!Pflege::ProgrammLoeschen(p, &warSchonWeg)) return;
    if (warSchonWeg && cmbProgramm->findText(p, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        SchonGeloescht(QStringLiteral("Das Programm ") + p);
    m_stufeGeladen = {};
    cmbProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ProgrammeLaden(cmbProgramm);
    AenderungenZeigen();
}

void FMStart::cmdSubProgrammLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText();
    if (p.isEmpty() || s.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie das Programm: ") + p + QLatin1Char(' ') + s +
                QStringLiteral(" löschen wollen?")))
        return;
    bool warSchonWeg = false;
    if (!Pflege::SubProgrammLoeschen(p, s, &warSchonWeg)) return;
    if (warSchonWeg && cmbSubProgramm->findText(s, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        SchonGeloescht(QStringLiteral("Das Unterprogramm ") + p + QLatin1Char(' ') + s);
    m_stufeGeladen = {};
    cmbProgramm->setEditText(QString());
    cmbSubProgramm->setEditText(QString());
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    ProgrammeLaden(cmbProgramm);
    AenderungenZeigen();
}

void FMStart::cmdProgrammStufeLoeschen_Click() {
    if (Pflege::BefehlLaeuft()) return;
    const QString p = cmbProgramm->currentText(), s = cmbSubProgramm->currentText(),
                  l = cmbProgrammStufe->currentText();
    if (p.isEmpty() || s.isEmpty() || l.isEmpty()) return;
    if (!Fragen(QStringLiteral("Sind Sie sicher das Sie Die Stufe ") + l + QStringLiteral(" im Programm: ") +
                p + QLatin1Char(' ') + s + QStringLiteral(" löschen wollen?")))
        return;
    const QString id = Berechtigung::ProgrammId(p, s, l);
    bool warSchonWeg = false;
    if (!MitStand(Berechtigung::KlasseProgramm, id, m_stufeGeladen, ctListProgramm, false,
                  [&](Pflege::Stand stand) {
                      stand.warSchonWeg = &warSchonWeg;
                      return Pflege::StufeLoeschen(p, s, l, stand);
                  },
                  [this] { cmbProgrammStufe_Click(); }))
        return;
    if (warSchonWeg && Geoeffnet(m_stufeGeladen, id)) SchonGeloescht(QStringLiteral("Die Stufe ") + id);
    m_stufeGeladen = {};
    cmbProgrammStufe->setEditText(QString());
    ctListProgramm->Clear();
    cmbProgramm_Click();
    AenderungenZeigen();
}
