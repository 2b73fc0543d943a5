#include "frmuebersicht.h"

#include "bericht.h"
#include "fortschritt.h"
#include "uebersicht.h"

#include "util/verstosszeilen.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "permissions/listen.h"
#include "platform/clock.h"
#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/settingsstore.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctcombo.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/falten.h"
#include "platform/widgets/zugang.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {
const QString GeometrieSchluessel = QStringLiteral("Berechtigungsuebersicht");

CtFilterList* Liste(const QString& titel, const QString& name, const QStringList& spalten,
                    const QList<int>& breiten, const QString& leertext) {
    auto* l = new CtFilterList(titel, name);
    l->setSpalten(spalten, breiten);
    l->setLeertext(leertext);
    return l;
}

CtFilterList::Eintrag Eintrag(const QStringList& felder) {
    // The shown text is split at ";": one inside a field (a reason) must not start a column.
    QStringList text = felder;
    for (QString& f : text)
        f.replace(QLatin1Char(';'), QLatin1Char(','));
    return {text.join(QLatin1Char(';')), felder};
}

QStringList Felder(const CtFilterList* l, int zeile) {
    const CtFilterList::Eintrag* e = l->Gezeigt(zeile);
    return e ? e->daten.toStringList() : QStringList();
}

// The shown rows of a list as a table of the report.
Bericht::Tabelle Tabelle(const QString& ueberschrift, const QStringList& spalten, const CtFilterList* l) {
    Bericht::Tabelle t{ueberschrift, spalten, {}, l->Hinweis()->text()};
    for (int i = 0; i < l->Angezeigt(); ++i)
        t.zeilen.push_back(Felder(l, i));
    if (t.zeilen.empty() && t.leertext.isEmpty()) t.leertext = QStringLiteral("Keine Einträge.");
    return t;
}

// Fills one of the level boxes, keeping the text it shows; false after reporting a failure.
bool KomboLaden(QComboBox* box, const QString& abfrage, const QStringList& argumente,
                const QString& prozedur) {
    const QString text = box->currentText();
    QString vorgang;
    try {
        KomboFuellen(box, AuswahlLesen(abfrage, argumente, &vorgang), text);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.") + prozedur + QLatin1Char(' ') + vorgang);
        return false;
    }
    return true;
}

void Sortieren(std::vector<CtFilterList::Eintrag>& zeilen, int spalte) {
    std::vector<std::pair<QString, CtFilterList::Eintrag>> s;
    s.reserve(zeilen.size());
    for (CtFilterList::Eintrag& e : zeilen)
        s.emplace_back(Gefaltet::Ganz(e.daten.toStringList().value(spalte)), std::move(e));
    std::stable_sort(s.begin(), s.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    zeilen.clear();
    for (auto& [schluessel, e] : s)
        zeilen.push_back(std::move(e));
}
} // namespace

frmUebersicht::frmUebersicht(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmUebersicht"));
    setWindowTitle(QStringLiteral("Berechtigungsübersicht"));
    setWindowIcon(QIcon(QStringLiteral(":/bilder/korval.svg")));
    AlsFensterZeigen(this);
    auto* lay = new QVBoxLayout(this);
    tabUebersicht = new QTabWidget(this);
    tabUebersicht->setObjectName(QStringLiteral("tabUebersicht"));
    tabUebersicht->addTab(MitarbeiterSeite(), QStringLiteral("&Mitarbeiter"));
    tabUebersicht->addTab(StufeSeite(), QStringLiteral("&Programmstufe"));
    tabUebersicht->addTab(GruppeSeite(), QStringLiteral("&Gruppe"));
    tabUebersicht->addTab(BefristungenSeite(), QStringLiteral("&Befristungen"));
    ctListVerstoesse = Liste(QStringLiteral("Verstöße gegen die Regeln unvereinbarer Rechte"), QStringLiteral("Verstoesse"),
                             Verstosszeilen::Spalten(), {60, 140, 120, 140, 140, 160, 60, 100},
                             QStringLiteral("Niemand verstößt gegen eine Regel."));
    ctListVerstoesse->setObjectName(QStringLiteral("seiteVerstoesse"));
    tabUebersicht->addTab(ctListVerstoesse, QStringLiteral("&Verstöße"));
    lay->addWidget(tabUebersicht, 1);
    auto* knoepfe = new QHBoxLayout();
    cmdCsv = new QPushButton(QStringLiteral("Als &CSV exportieren…"));
    cmdCsv->setObjectName(QStringLiteral("cmdCsv"));
    cmdPdf = new QPushButton(QStringLiteral("Als P&DF speichern…"));
    cmdPdf->setObjectName(QStringLiteral("cmdPdf"));
    cmdDrucken = new QPushButton(QStringLiteral("D&rucken…"));
    cmdDrucken->setObjectName(QStringLiteral("cmdDrucken"));
    cmdSchliessen = new QPushButton(QStringLiteral("Schließen"));
    cmdSchliessen->setObjectName(QStringLiteral("cmdSchliessen"));
    knoepfe->addWidget(cmdCsv);
    knoepfe->addWidget(cmdPdf);
    knoepfe->addWidget(cmdDrucken);
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdSchliessen);
    lay->addLayout(knoepfe);
    resize(Plattform::Pixel(14000), Plattform::Pixel(9000));
    Verbinden();
}

QWidget* frmUebersicht::MitarbeiterSeite() {
    auto* seite = new QSplitter(Qt::Horizontal);
    seite->setObjectName(QStringLiteral("seiteMitarbeiter"));
    ctListMitarbeiter = Liste(QStringLiteral("Mitarbeiter"), QStringLiteral("Mitarbeiter"),
                              {QStringLiteral("PCode"), QStringLiteral("Name")}, {60, 160},
                              QStringLiteral("Die Firma hat keine Mitarbeiter."));
    auto* rechts = new QSplitter(Qt::Vertical);
    ctListMitarbeiterStufen =
        Liste(QStringLiteral("Berechtigungen des Mitarbeiters"), QStringLiteral("MitarbeiterStufen"),
              {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe"),
               QStringLiteral("Durch Gruppe")},
              {140, 120, 50, 200}, QStringLiteral("Bitte links einen Mitarbeiter wählen."));
    ctListMitarbeiterGruppen = Liste(QStringLiteral("Gruppen des Mitarbeiters"),
                                     QStringLiteral("MitarbeiterGruppen"), {QStringLiteral("Gruppe")}, {200},
                                     QString());
    rechts->addWidget(ctListMitarbeiterStufen);
    rechts->addWidget(ctListMitarbeiterGruppen);
    rechts->setStretchFactor(0, 3);
    rechts->setStretchFactor(1, 1);
    seite->addWidget(ctListMitarbeiter);
    seite->addWidget(rechts);
    seite->setStretchFactor(1, 2);
    return seite;
}

QWidget* frmUebersicht::StufeSeite() {
    auto* seite = new QWidget();
    seite->setObjectName(QStringLiteral("seiteProgrammstufe"));
    auto* lay = new QGridLayout(seite);
    cmbProgramm = EingabeKombo(QStringLiteral("cmbProgramm"), QStringLiteral("Programm"));
    cmbSubProgramm = EingabeKombo(QStringLiteral("cmbSubProgramm"), QStringLiteral("Unterprogramm"));
    cmbProgrammStufe = EingabeKombo(QStringLiteral("cmbProgrammStufe"), QStringLiteral("Berechtigungsstufe"));
    const QString titel[3] = {QStringLiteral("Programm:"), QStringLiteral("Unterprogramm:"),
                              QStringLiteral("Stufe:")};
    QComboBox* boxen[3] = {cmbProgramm, cmbSubProgramm, cmbProgrammStufe};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(titel[i]);
        l->setBuddy(boxen[i]);
        lay->addWidget(l, 0, i);
        lay->addWidget(boxen[i], 1, i);
    }
    auto* unten = new QSplitter(Qt::Horizontal);
    ctListStufeGruppen = Liste(QStringLiteral("Gruppen mit dieser Stufe"), QStringLiteral("StufeGruppen"),
                               {QStringLiteral("Gruppe")}, {200}, QStringLiteral("Bitte eine Stufe wählen."));
    ctListStufeMitarbeiter =
        Liste(QStringLiteral("Mitarbeiter mit dieser Stufe"), QStringLiteral("StufeMitarbeiter"),
              {QStringLiteral("PCode"), QStringLiteral("Name"), QStringLiteral("Durch Gruppe")}, {60, 160, 160},
              QString());
    unten->addWidget(ctListStufeGruppen);
    unten->addWidget(ctListStufeMitarbeiter);
    unten->setStretchFactor(1, 2);
    lay->addWidget(unten, 2, 0, 1, 3);
    lay->setRowStretch(2, 1);
    return seite;
}

QWidget* frmUebersicht::GruppeSeite() {
    auto* seite = new QSplitter(Qt::Horizontal);
    seite->setObjectName(QStringLiteral("seiteGruppe"));
    ctListGruppen = Liste(QStringLiteral("Gruppen"), QStringLiteral("Gruppen"), {QStringLiteral("Gruppe")}, {200},
                          QStringLiteral("Es gibt keine Gruppen."));
    auto* rechts = new QSplitter(Qt::Vertical);
    ctListGruppeMitglieder = Liste(QStringLiteral("Mitglieder der Gruppe"), QStringLiteral("GruppeMitglieder"),
                                   {QStringLiteral("PCode"), QStringLiteral("Name")}, {60, 200},
                                   QStringLiteral("Bitte links eine Gruppe wählen."));
    ctListGruppeStufen = Liste(QStringLiteral("Stufen der Gruppe"), QStringLiteral("GruppeStufen"),
                               {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe")},
                               {140, 120, 50}, QString());
    rechts->addWidget(ctListGruppeMitglieder);
    rechts->addWidget(ctListGruppeStufen);
    seite->addWidget(ctListGruppen);
    seite->addWidget(rechts);
    seite->setStretchFactor(1, 2);
    return seite;
}

QWidget* frmUebersicht::BefristungenSeite() {
    ctListBefristungen = Liste(QStringLiteral("Befristete Mitgliedschaften, die nächste zuerst"),
                               QStringLiteral("Befristungen"), Uebersicht::BefristungenSpalten(),
                               {120, 60, 160, 80, 40, 200, 60}, QStringLiteral("Keine Mitgliedschaft ist befristet."));
    ctListBefristungen->setObjectName(QStringLiteral("seiteBefristungen"));
    return ctListBefristungen;
}

void frmUebersicht::BefristungenLaden() {
    try {
        std::vector<CtFilterList::Eintrag> zeilen;
        for (const QStringList& z : Uebersicht::Befristungen(Uhr().Now().date()))
            zeilen.push_back(Eintrag(z));
        ctListBefristungen->setZeilen(std::move(zeilen));
    } catch (const CacheFehler& e) {
        ctListBefristungen->Leeren(QStringLiteral("Die Befristungen konnten nicht gelesen werden."));
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.BefristungenLaden"));
    }
}

void frmUebersicht::VerstoesseLaden() {
    try {
        std::vector<CtFilterList::Eintrag> zeilen;
        for (const QStringList& z : Uebersicht::Verstoesse())
            zeilen.push_back(Eintrag(z));
        ctListVerstoesse->setZeilen(std::move(zeilen));
    } catch (const CacheFehler& e) {
        ctListVerstoesse->Leeren(QStringLiteral("Die Verstöße konnten nicht gelesen werden."));
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.VerstoesseLaden"));
    }
}

void frmUebersicht::Verbinden() {
    connect(ctListMitarbeiter, &CtFilterList::Gewaehlt, this, &frmUebersicht::ctListMitarbeiter_Click);
    connect(ctListGruppen, &CtFilterList::Gewaehlt, this, &frmUebersicht::ctListGruppen_Click);
    connect(cmbProgramm, &QComboBox::activated, this, &frmUebersicht::cmbProgramm_Click);
    connect(cmbSubProgramm, &QComboBox::activated, this, &frmUebersicht::cmbSubProgramm_Click);
    connect(cmbProgrammStufe, &QComboBox::activated, this, &frmUebersicht::cmbProgrammStufe_Click);
    // Here Enter shows what was typed; the boxes themselves choose nothing on Enter.
    connect(cmbProgramm->lineEdit(), &QLineEdit::returnPressed, this, &frmUebersicht::cmbProgramm_Click);
    connect(cmbSubProgramm->lineEdit(), &QLineEdit::returnPressed, this, &frmUebersicht::cmbSubProgramm_Click);
    connect(cmbProgrammStufe->lineEdit(), &QLineEdit::returnPressed, this, &frmUebersicht::cmbProgrammStufe_Click);
    connect(cmdCsv, &QPushButton::clicked, this, &frmUebersicht::cmdCsv_Click);
    connect(cmdPdf, &QPushButton::clicked, this, &frmUebersicht::cmdPdf_Click);
    connect(cmdDrucken, &QPushButton::clicked, this, &frmUebersicht::cmdDrucken_Click);
    connect(cmdSchliessen, &QPushButton::clicked, this, &QWidget::close);
    connect(tabUebersicht, &QTabWidget::currentChanged, this, [this] {
        if (tabUebersicht->currentWidget() == ctListBefristungen) BefristungenLaden();
        if (tabUebersicht->currentWidget() == ctListVerstoesse) VerstoesseLaden();
    });

    // Double-clicks show the employee, group or level in the main window.
    auto mitarbeiter = [this](CtFilterList* l, int spalte) {
        connect(l, &CtFilterList::DblClick, this,
                [this, l, spalte](int z) { emit MitarbeiterZeigen(Felder(l, z).value(spalte)); });
    };
    auto gruppe = [this](CtFilterList* l, int spalte) {
        connect(l, &CtFilterList::DblClick, this,
                [this, l, spalte](int z) { emit GruppeZeigen(Felder(l, z).value(spalte)); });
    };
    auto stufe = [this](CtFilterList* l) {
        connect(l, &CtFilterList::DblClick, this, [this, l](int z) {
            const QStringList f = Felder(l, z);
            emit StufeZeigen(f.value(0), f.value(1), f.value(2));
        });
    };
    mitarbeiter(ctListMitarbeiter, 0);
    mitarbeiter(ctListStufeMitarbeiter, 0);
    mitarbeiter(ctListGruppeMitglieder, 0);
    mitarbeiter(ctListVerstoesse, 0);
    gruppe(ctListMitarbeiterGruppen, 0);
    gruppe(ctListStufeGruppen, 0);
    gruppe(ctListGruppen, 0);
    gruppe(ctListBefristungen, 0);
    stufe(ctListMitarbeiterStufen);
    stufe(ctListGruppeStufen);
}

void frmUebersicht::Form_Load(bool abteilungen) {
    ListenVorab();
    try {
        std::vector<CtFilterList::Eintrag> zeilen;
        zeilen = Uebersicht::MitarbeiterEintraege(abteilungen);
        Sortieren(zeilen, 1);
        ctListMitarbeiter->setZeilen(std::move(zeilen));
    } catch (const CacheFehler& e) {
        ctListMitarbeiter->Leeren(QStringLiteral("Die Mitarbeiter konnten nicht gelesen werden."));
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.Form_Load Mitarbeiter"));
    }
    QString vorgang;
    try {
        std::vector<CtFilterList::Eintrag> zeilen;
        for (const QString& g : AuswahlLesen(QStringLiteral("Gruppen"), {}, &vorgang))
            zeilen.push_back(Eintrag({g}));
        ctListGruppen->setZeilen(std::move(zeilen));
    } catch (const CacheFehler& e) {
        ctListGruppen->Leeren(QStringLiteral("Die Gruppen konnten nicht gelesen werden."));
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.Form_Load ") + vorgang);
    }
    KomboLaden(cmbProgramm, QStringLiteral("Programme"), {}, QStringLiteral("Form_Load"));
    // The dated memberships are read when their tab is shown: opening stays one request.
    if (tabUebersicht->currentWidget() == ctListBefristungen) BefristungenLaden();
    if (tabUebersicht->currentWidget() == ctListVerstoesse) VerstoesseLaden();
}

void frmUebersicht::ctListMitarbeiter_Click(int zeile) {
    const QStringList f = Felder(ctListMitarbeiter, zeile);
    if (f.isEmpty()) return;
    m_code = f[0];
    m_codeName = f.value(1);
    ctListMitarbeiterStufen->setTitel(QStringLiteral("Berechtigungen von %1 (%2)").arg(m_codeName, m_code));
    ctListMitarbeiterGruppen->setTitel(QStringLiteral("Gruppen von %1 (%2)").arg(m_codeName, m_code));
    try {
        const Uebersicht::Ergebnis e = Uebersicht::Lesen({m_code, {}, {}, {}, {}});
        // One row per level, with every group that grants it (the levels come
        // sorted by level, then group).
        std::vector<CtFilterList::Eintrag> zeilen;
        for (size_t i = 0; i < e.stufen.size();) {
            const Uebersicht::Stufe& s = e.stufen[i];
            QStringList gruppen;
            for (; i < e.stufen.size() && e.stufen[i].programm == s.programm &&
                   e.stufen[i].subprogramm == s.subprogramm && e.stufen[i].stufe == s.stufe;
                 ++i)
                if (gruppen.isEmpty() || gruppen.last() != e.stufen[i].gruppe) gruppen.append(e.stufen[i].gruppe);
            zeilen.push_back(Eintrag({s.programm, s.subprogramm, s.stufe, gruppen.join(QStringLiteral(", "))}));
        }
        ctListMitarbeiterStufen->setLeertext(QStringLiteral("Der Mitarbeiter hat keine Berechtigungen."));
        ctListMitarbeiterStufen->setZeilen(std::move(zeilen));
        std::vector<CtFilterList::Eintrag> gruppen;
        for (const QString& g : e.gruppen)
            gruppen.push_back(Eintrag({g}));
        ctListMitarbeiterGruppen->setLeertext(QStringLiteral("Der Mitarbeiter ist in keiner Gruppe."));
        ctListMitarbeiterGruppen->setZeilen(std::move(gruppen));
    } catch (const CacheFehler& e) {
        m_code.clear();
        ctListMitarbeiterStufen->Leeren(QStringLiteral("Die Berechtigungen konnten nicht gelesen werden."));
        ctListMitarbeiterGruppen->Leeren(QString());
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.ctListMitarbeiter_Click"));
    }
}

void frmUebersicht::ctListGruppen_Click(int zeile) {
    const QStringList f = Felder(ctListGruppen, zeile);
    if (f.isEmpty()) return;
    m_gruppe = f[0];
    ctListGruppeMitglieder->setTitel(QStringLiteral("Mitglieder der Gruppe %1").arg(m_gruppe));
    ctListGruppeStufen->setTitel(QStringLiteral("Stufen der Gruppe %1").arg(m_gruppe));
    try {
        const Uebersicht::Ergebnis e = Uebersicht::Lesen({{}, m_gruppe, {}, {}, {}});
        std::vector<CtFilterList::Eintrag> mitglieder;
        std::set<QString> gesehen;
        for (const Uebersicht::Mitglied& m : e.mitglieder)
            if (gesehen.insert(m.code).second) mitglieder.push_back(Eintrag({m.code, Uebersicht::Name(m)}));
        ctListGruppeMitglieder->setLeertext(QStringLiteral("Die Gruppe hat keine Mitglieder."));
        ctListGruppeMitglieder->setZeilen(std::move(mitglieder));
        // A level that lists the group twice is still one level of the group.
        std::vector<CtFilterList::Eintrag> stufen;
        for (const Uebersicht::Stufe& s : e.stufen) {
            const QStringList felder{s.programm, s.subprogramm, s.stufe};
            if (stufen.empty() || stufen.back().text != felder.join(QLatin1Char(';')))
                stufen.push_back(Eintrag(felder));
        }
        ctListGruppeStufen->setLeertext(QStringLiteral("Die Gruppe hat keine Stufen."));
        ctListGruppeStufen->setZeilen(std::move(stufen));
    } catch (const CacheFehler& e) {
        m_gruppe.clear();
        ctListGruppeMitglieder->Leeren(QStringLiteral("Die Gruppe konnte nicht gelesen werden."));
        ctListGruppeStufen->Leeren(QString());
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.ctListGruppen_Click"));
    }
}

void frmUebersicht::cmbProgramm_Click() {
    if (cmbProgramm->currentText().isEmpty()) return;
    KomboLaden(cmbSubProgramm, QStringLiteral("SubProgramme"), {cmbProgramm->currentText()},
               QStringLiteral("cmbProgramm_Click"));
}

void frmUebersicht::cmbSubProgramm_Click() {
    const QString stufe = cmbProgrammStufe->currentText();
    QStringList stufen;
    if (!StufenLesen(cmbProgramm->currentText(), cmbSubProgramm->currentText(), stufen)) return;
    KomboFuellen(cmbProgrammStufe, stufen, stufe);
    cmbProgrammStufe_Click();
}

void frmUebersicht::cmbProgrammStufe_Click() {
    const QStringList stufe = {cmbProgramm->currentText(), cmbSubProgramm->currentText(),
                               cmbProgrammStufe->currentText()};
    if (stufe.contains(QString())) return;
    m_stufe = stufe;
    try {
        const Uebersicht::Ergebnis e = Uebersicht::Lesen({{}, {}, stufe[0], stufe[1], stufe[2]});
        std::vector<CtFilterList::Eintrag> gruppen;
        for (const QString& g : e.gruppen)
            gruppen.push_back(Eintrag({g}));
        ctListStufeGruppen->setLeertext(QStringLiteral("Keine Gruppe hat diese Stufe."));
        ctListStufeGruppen->setZeilen(std::move(gruppen));
        std::vector<CtFilterList::Eintrag> mitarbeiter;
        std::set<std::pair<QString, QString>> gesehen;
        for (const Uebersicht::Mitglied& m : e.mitglieder)
            if (gesehen.insert({m.code, m.gruppe}).second)
                mitarbeiter.push_back(Eintrag({m.code, Uebersicht::Name(m), m.gruppe}));
        Sortieren(mitarbeiter, 0);
        ctListStufeMitarbeiter->setLeertext(QStringLiteral("Kein Mitarbeiter hat diese Stufe."));
        ctListStufeMitarbeiter->setZeilen(std::move(mitarbeiter));
    } catch (const CacheFehler& e) {
        m_stufe.clear();
        ctListStufeGruppen->Leeren(QStringLiteral("Die Stufe konnte nicht gelesen werden."));
        ctListStufeMitarbeiter->Leeren(QString());
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.cmbProgrammStufe_Click"));
    }
}

bool frmUebersicht::Auswahl(QString& titel, QString& dateiname, QStringList& teile) const {
    switch (tabUebersicht->currentIndex()) {
    case 0:
        if (m_code.isEmpty()) return false;
        titel = QStringLiteral("Mitarbeiter %1 %2").arg(m_code, m_codeName);
        teile = {m_code, {}, {}, {}, {}};
        break;
    case 1:
        if (m_stufe.isEmpty()) return false;
        titel = QStringLiteral("Programmstufe %1 / %2 / %3").arg(m_stufe[0], m_stufe[1], m_stufe[2]);
        teile = QStringList{{}, {}} + m_stufe;
        break;
    case 2:
        if (m_gruppe.isEmpty()) return false;
        titel = QStringLiteral("Gruppe %1").arg(m_gruppe);
        teile = {{}, m_gruppe, {}, {}, {}};
        break;
    default:
        titel = tabUebersicht->currentIndex() == 3 ? QStringLiteral("Befristungen") : QStringLiteral("Verstöße");
        teile.clear();
        break;
    }
    dateiname = QStringLiteral("Berechtigungen ") + titel.simplified();
    // No character a file system of the suite's platforms refuses.
    static const QString verboten = QStringLiteral("\\/:*?\"<>|");
    for (QChar& c : dateiname)
        if (verboten.contains(c) || c.unicode() < 32) c = QLatin1Char('_');
    return true;
}

namespace {
void NichtsGewaehlt() {
    Dialoge().MsgBox(QStringLiteral("Bitte zuerst einen Mitarbeiter, eine Stufe oder eine Gruppe wählen."),
                     DialogService::Information, QStringLiteral("Berechtigungsübersicht"));
}

} // namespace

Bericht frmUebersicht::AktuellerBericht() const {
    Bericht b;
    QString titel, datei;
    QStringList teile;
    Auswahl(titel, datei, teile);
    b.titel = QStringLiteral("Berechtigungsübersicht – ") + titel;
    switch (tabUebersicht->currentIndex()) {
    case 0:
        b.tabellen.push_back(Tabelle(QStringLiteral("Berechtigungen"),
                                     {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
                                      QStringLiteral("Stufe"), QStringLiteral("Durch Gruppe")},
                                     ctListMitarbeiterStufen));
        b.tabellen.push_back(Tabelle(QStringLiteral("Gruppen"), {QStringLiteral("Gruppe")}, ctListMitarbeiterGruppen));
        break;
    case 1:
        b.tabellen.push_back(Tabelle(QStringLiteral("Gruppen"), {QStringLiteral("Gruppe")}, ctListStufeGruppen));
        b.tabellen.push_back(Tabelle(QStringLiteral("Mitarbeiter"),
                                     {QStringLiteral("PCode"), QStringLiteral("Name"), QStringLiteral("Durch Gruppe")},
                                     ctListStufeMitarbeiter));
        break;
    case 3:
        b.tabellen.push_back(
            Tabelle(QStringLiteral("Befristete Mitgliedschaften"), Uebersicht::BefristungenSpalten(), ctListBefristungen));
        break;
    case 4:
        b.tabellen.push_back(Tabelle(QStringLiteral("Verstöße gegen Regeln unvereinbarer Rechte"),
                                     Verstosszeilen::Spalten(), ctListVerstoesse));
        break;
    default:
        b.tabellen.push_back(Tabelle(QStringLiteral("Mitglieder"), {QStringLiteral("PCode"), QStringLiteral("Name")},
                                     ctListGruppeMitglieder));
        b.tabellen.push_back(Tabelle(QStringLiteral("Stufen"),
                                     {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
                                      QStringLiteral("Stufe")},
                                     ctListGruppeStufen));
        break;
    }
    return b;
}

void frmUebersicht::cmdCsv_Click() {
    if (!DarfLesen()) return;
    QString titel, datei;
    QStringList teile;
    if (!Auswahl(titel, datei, teile)) return NichtsGewaehlt();
    const QString pfad = Berichte::Speicherort(QStringLiteral("Als CSV exportieren"), datei + QStringLiteral(".csv"),
                                               QStringLiteral("CSV-Dateien (*.csv)"));
    if (pfad.isEmpty()) return;
    QString fehler;
    if (teile.isEmpty()) {
        // The dated memberships as the list shows them.
        const Bericht b = AktuellerBericht();
        const bool ok = Berichte::CsvSchreiben(pfad, b.tabellen.front().spalten, b.tabellen.front().zeilen, fehler);
        Berichte::Melden(ok, fehler, pfad);
        return;
    }
    // The rows of the whole selection, the same as the matrix and the command line's report.
    bool ok = false;
    try {
        Fortschritt fortschritt(this);
        ok = Uebersicht::MatrixSchreiben(pfad, {teile[0], teile[1], teile[2], teile[3], teile[4]}, fehler,
                                         &fortschritt);
    } catch (const CacheFehler& e) {
        CacheFehlermeldung(e, QStringLiteral("frmUebersicht.cmdCsv_Click"));
        return;
    } catch (const Fortschritt::Abgebrochen&) {
        Berichte::Abgebrochen(pfad);
        return;
    }
    Berichte::Melden(ok, fehler, pfad);
}

void frmUebersicht::cmdPdf_Click() {
    if (!DarfLesen()) return;
    QString titel, datei;
    QStringList teile;
    if (!Auswahl(titel, datei, teile)) return NichtsGewaehlt();
    const QString pfad = Berichte::Speicherort(QStringLiteral("Als PDF speichern"), datei + QStringLiteral(".pdf"),
                                               QStringLiteral("PDF-Dateien (*.pdf)"));
    if (pfad.isEmpty()) return;
    QString fehler;
    Berichte::Melden(Berichte::PdfSchreiben(pfad, AktuellerBericht(), fehler), fehler, pfad);
}

void frmUebersicht::cmdDrucken_Click() {
    if (!DarfLesen()) return;
    QString titel, datei;
    QStringList teile;
    if (!Auswahl(titel, datei, teile)) return NichtsGewaehlt();
    QPrinter drucker;
    drucker.setDocName(datei);
    QPrintDialog dialog(&drucker, this);
    dialog.setObjectName(QStringLiteral("dlgDrucken"));
    Dialoge().ShowModal(&dialog, this);
    if (dialog.result() != QDialog::Accepted) return;
    // Ranges left from an earlier choice count only while "pages from … to" is chosen.
    if (drucker.printRange() != QPrinter::PageRange) drucker.setPageRanges(QPageRanges());
    if (!Berichte::Zeichnen(drucker, AktuellerBericht()))
        Dialoge().MsgBox(
            QStringLiteral("Der Drucker %1 konnte nicht gestartet werden.").arg(drucker.printerName()),
            DialogService::Critical, QStringLiteral("Bericht"));
}

void frmUebersicht::showEvent(QShowEvent* e) {
    if (!m_geometrieGeladen) {
        m_geometrieGeladen = true;
        const QByteArray g = QByteArray::fromBase64(Einstellungen().Get(GeometrieSchluessel).toLatin1());
        if (!g.isEmpty()) restoreGeometry(g);
    }
    QWidget::showEvent(e);
}

// Closing, and the end of the program, which hides every window, keep the place.
void frmUebersicht::hideEvent(QHideEvent* e) {
    if (m_geometrieGeladen) GeometrieSichern();
    QWidget::hideEvent(e);
}

frmUebersicht::~frmUebersicht() {
    // Destroyed while open (the main window goes first): no hide event reaches us.
    if (isVisible() && m_geometrieGeladen) GeometrieSichern();
}

void frmUebersicht::GeometrieSichern() {
    Einstellungen().Set(GeometrieSchluessel, QString::fromLatin1(saveGeometry().toBase64()));
}
