#include "frmrechteuebernehmen.h"

#include "auswertung/uebersicht.h"
#include "database/dbzugriff.h"
#include "permissions/berechtigungen.h"
#include "permissions/listen.h"
#include "platform/dialogservice.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "util/uebernahme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
QString Code(const CtFilterList* l, int zeile) {
    const CtFilterList::Eintrag* e = l->Gezeigt(zeile);
    return e ? e->daten.toStringList().value(0) : QString();
}

std::vector<std::pair<QString, QString>> Stufen(const Uebersicht::Ergebnis& e) {
    std::vector<std::pair<QString, QString>> s;
    for (const Uebersicht::Stufe& st : e.stufen)
        s.emplace_back(st.gruppe, Berechtigung::ProgrammId(st.programm, st.subprogramm, st.stufe));
    return s;
}
} // namespace

frmRechteUebernehmen::frmRechteUebernehmen(const QString& code, bool abteilungen, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmRechteUebernehmen"));
    setWindowTitle(QStringLiteral("Rechte übernehmen"));
    auto* lay = new QVBoxLayout(this);
    auto* oben = new QSplitter(Qt::Horizontal);
    ctListMitarbeiter = new CtFilterList(QStringLiteral("Mitarbeiter"), QStringLiteral("Mitarbeiter"));
    ctListWie = new CtFilterList(QStringLiteral("wie Mitarbeiter"), QStringLiteral("Wie"));
    for (CtFilterList* l : {ctListMitarbeiter, ctListWie}) {
        l->setSpalten({QStringLiteral("PCode"), QStringLiteral("Name")}, {60, 160});
        l->setLeertext(QStringLiteral("Die Firma hat keine Mitarbeiter."));
        oben->addWidget(l);
    }
    lay->addWidget(oben, 2);
    lblGruppen = new QLabel(QStringLiteral("Bitte beide Mitarbeiter wählen."));
    lblGruppen->setObjectName(QStringLiteral("lblGruppen"));
    lblGruppen->setWordWrap(true);
    lay->addWidget(lblGruppen);
    ctListGruppen = new CtList();
    ctListGruppen->setObjectName(QStringLiteral("ctListGruppen"));
    ctListGruppen->setZugriffsname(QStringLiteral("Neue Gruppen"));
    ctListGruppen->setSpalten({QStringLiteral("Gruppe")}, {200});
    lblGruppen->setBuddy(ctListGruppen->View());
    lay->addWidget(ctListGruppen, 1);
    lblStufen = new QLabel();
    lblStufen->setObjectName(QStringLiteral("lblStufen"));
    lay->addWidget(lblStufen);
    auto* knoepfe = new QHBoxLayout();
    cmdUebernehmen = new QPushButton(QStringLiteral("Ü&bernehmen"));
    cmdUebernehmen->setObjectName(QStringLiteral("cmdUebernehmen"));
    cmdSchliessen = new QPushButton(QStringLiteral("Schließen"));
    cmdSchliessen->setObjectName(QStringLiteral("cmdSchliessen"));
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdUebernehmen);
    knoepfe->addWidget(cmdSchliessen);
    lay->addLayout(knoepfe);
    cmdUebernehmen->setEnabled(false);
    connect(ctListMitarbeiter, &CtFilterList::Gewaehlt, this, &frmRechteUebernehmen::ctListMitarbeiter_Click);
    connect(ctListWie, &CtFilterList::Gewaehlt, this, &frmRechteUebernehmen::ctListWie_Click);
    connect(cmdUebernehmen, &QPushButton::clicked, this, &frmRechteUebernehmen::cmdUebernehmen_Click);
    connect(cmdSchliessen, &QPushButton::clicked, this, &QDialog::accept);
    resize(640, 560);

    std::vector<CtFilterList::Eintrag> zeilen;
    try {
        zeilen = Uebersicht::MitarbeiterEintraege(abteilungen);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("frmRechteUebernehmen.Form_Load"));
    }
    ctListWie->setZeilen(zeilen);
    ctListMitarbeiter->setZeilen(std::move(zeilen));
    for (int i = 0; i < ctListMitarbeiter->Angezeigt(); ++i)
        if (Code(ctListMitarbeiter, i) == code) {
            ctListMitarbeiter->Liste()->Auswaehlen(i);
            ctListMitarbeiter->Liste()->View()->scrollTo(ctListMitarbeiter->Liste()->Model()->index(i, 0));
            break;
        }
    ctListWie->setFocus();
}

void frmRechteUebernehmen::ctListMitarbeiter_Click(int zeile) {
    m_code = Code(ctListMitarbeiter, zeile);
    Vorschau();
}

void frmRechteUebernehmen::ctListWie_Click(int zeile) {
    m_wie = Code(ctListWie, zeile);
    Vorschau();
}

void frmRechteUebernehmen::Vorschau() {
    m_plan.clear();
    ctListGruppen->Clear();
    lblStufen->clear();
    cmdUebernehmen->setEnabled(false);
    if (m_code.isEmpty() || m_wie.isEmpty()) {
        lblGruppen->setText(QStringLiteral("Bitte beide Mitarbeiter wählen."));
        return;
    }
    if (m_code == m_wie) {
        lblGruppen->setText(QStringLiteral("Bitte zwei verschiedene Mitarbeiter wählen."));
        return;
    }
    try {
        const Uebersicht::Ergebnis von = Uebersicht::Lesen({m_wie, {}, {}, {}, {}});
        const Uebersicht::Ergebnis nach = Uebersicht::Lesen({m_code, {}, {}, {}, {}});
        const Uebernahme::Plan plan =
            Uebernahme::Berechnen(von.gruppen, nach.gruppen, Stufen(von), Stufen(nach));
        // The lists as they are now: what the conflict check compares with.
        for (const QString& g : plan.gruppen) {
            const auto stand = Pflege::ListeLesen(Berechtigung::KlasseGruppen, g);
            if (!stand)
                throw CacheFehler(Fehlernummer::Datenbank, QStringLiteral("Gruppe %1 nicht lesbar").arg(g));
            m_plan.push_back({g, stand->liste});
            ctListGruppen->AddItem(g);
        }
        if (m_plan.empty()) {
            lblGruppen->setText(
                QStringLiteral("%1 ist bereits in allen Gruppen von %2; es gibt nichts zu übernehmen.")
                    .arg(m_code, m_wie));
            return;
        }
        lblGruppen->setText(
            QStringLiteral("%1 wird Mitglied in %2 %3 von %4:")
                .arg(m_code)
                .arg(m_plan.size())
                .arg(m_plan.size() == 1 ? QStringLiteral("Gruppe") : QStringLiteral("Gruppen"), m_wie));
        lblStufen->setText(QStringLiteral("Damit kommen %1 %2 hinzu.")
                               .arg(plan.neueStufen)
                               .arg(plan.neueStufen == 1 ? QStringLiteral("Programmstufe")
                                                         : QStringLiteral("Programmstufen")));
        cmdUebernehmen->setEnabled(true);
    } catch (const CacheFehler& e) {
        m_plan.clear();
        ctListGruppen->Clear();
        lblGruppen->setText(QStringLiteral("Die Rechte konnten nicht gelesen werden."));
        CacheFehlermeldung(e, QStringLiteral("frmRechteUebernehmen.Vorschau"));
    }
}

void frmRechteUebernehmen::cmdUebernehmen_Click() {
    if (m_plan.empty()) return;
    Pflege::Konflikt konflikt;
    bool ok = Pflege::RechteUebernehmen(m_code, m_plan, konflikt);
    QString ausnahme;
    // Incompatible rights: stored again with a reason, or not at all.
    if (!ok && konflikt.art == Pflege::Konflikt::Unvereinbar) {
        if (!Pflege::AusnahmeErfragen(konflikt, ausnahme)) return;
        konflikt = {};
        ok = Pflege::RechteUebernehmen(m_code, m_plan, konflikt, ausnahme);
    }
    if (ok) {
        QStringList gruppen;
        for (const Pflege::GruppeGelesen& g : m_plan) {
            gruppen.append(g.gruppe);
            m_aufnahmen.emplace_back(g.gruppe, m_code);
        }
        m_geaendert += gruppen;
        Dialoge().MsgBox(QStringLiteral("%1 ist jetzt auch Mitglied in: %2.")
                             .arg(m_code, gruppen.join(QStringLiteral(", "))),
                         DialogService::Information, QStringLiteral("Rechte übernehmen"));
        Vorschau();
        return;
    }
    if (konflikt.art == Pflege::Konflikt::Keiner) return;
    // Another workstation changed a group since the preview: nothing is stored.
    const QString text = konflikt.beschreibung.section(QStringLiteral("> "), 1);
    if (Dialoge().Auswahl(text + QStringLiteral(".\r\nEs wurde nichts gespeichert. Die Gruppen neu lesen?"),
                          QStringLiteral("Gleichzeitige Änderung"),
                          {QStringLiteral("Neu laden"), QStringLiteral("Abbrechen")}) == 0)
        Vorschau();
}
