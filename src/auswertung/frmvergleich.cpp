#include "auswertung/uebersicht.h"
#include "frmvergleich.h"

#include "bericht.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "permissions/listen.h"
#include "platform/dialogservice.h"
#include "platform/plattform.h"
#include "platform/umgebung.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/zugang.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
CtFilterList* Liste(const QString& titel, const QString& name, const QStringList& spalten,
                    const QList<int>& breiten, const QString& leertext) {
    auto* l = new CtFilterList(titel, name);
    l->setSpalten(spalten, breiten);
    l->setLeertext(leertext);
    return l;
}

QStringList Felder(const CtFilterList* l, int zeile) {
    const CtFilterList::Eintrag* e = l->Gezeigt(zeile);
    return e ? e->daten.toStringList() : QStringList();
}

CtFilterList::Eintrag Eintrag(const QStringList& felder) {
    return {felder.join(QLatin1Char(';')), felder};
}

Bericht::Tabelle Tabelle(const QString& ueberschrift, const QStringList& spalten, const CtFilterList* l) {
    Bericht::Tabelle t{ueberschrift, spalten, {}, l->Hinweis()->text()};
    for (int i = 0; i < l->Angezeigt(); ++i)
        t.zeilen.push_back(Felder(l, i));
    if (t.zeilen.empty() && t.leertext.isEmpty()) t.leertext = QStringLiteral("Keine Einträge.");
    return t;
}

const QStringList StufenSpalten = {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
                                   QStringLiteral("Stufe"), QStringLiteral("Durch Gruppe")};
} // namespace

frmVergleich::frmVergleich(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmVergleich"));
    setWindowTitle(QStringLiteral("Mitarbeiter vergleichen"));
    setWindowIcon(QIcon(QStringLiteral(":/bilder/korval.svg")));
    AlsFensterZeigen(this);
    auto* lay = new QVBoxLayout(this);
    auto* seite = new QSplitter(Qt::Horizontal);
    auto* links = new QSplitter(Qt::Vertical);
    ctListA = Liste(QStringLiteral("Mitarbeiter A"), QStringLiteral("A"),
                    {QStringLiteral("PCode"), QStringLiteral("Name")}, {60, 160},
                    QStringLiteral("Die Firma hat keine Mitarbeiter."));
    ctListB = Liste(QStringLiteral("Mitarbeiter B"), QStringLiteral("B"),
                    {QStringLiteral("PCode"), QStringLiteral("Name")}, {60, 160},
                    QStringLiteral("Die Firma hat keine Mitarbeiter."));
    links->addWidget(ctListA);
    links->addWidget(ctListB);
    auto* rechts = new QSplitter(Qt::Vertical);
    const QString waehlen = QStringLiteral("Bitte links zwei Mitarbeiter wählen.");
    ctListNurA =
        Liste(QStringLiteral("Nur A"), QStringLiteral("NurA"), StufenSpalten, {140, 120, 50, 200}, waehlen);
    ctListBeide = Liste(QStringLiteral("Beide"), QStringLiteral("Beide"),
                        {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe"),
                         QStringLiteral("Durch Gruppe (A)"), QStringLiteral("Durch Gruppe (B)")},
                        {140, 120, 50, 150, 150}, QString());
    ctListNurB =
        Liste(QStringLiteral("Nur B"), QStringLiteral("NurB"), StufenSpalten, {140, 120, 50, 200}, QString());
    auto* gruppen = new QSplitter(Qt::Horizontal);
    ctListGruppenA = Liste(QStringLiteral("Gruppen von A"), QStringLiteral("GruppenA"),
                           {QStringLiteral("Gruppe")}, {200}, QString());
    ctListGruppenB = Liste(QStringLiteral("Gruppen von B"), QStringLiteral("GruppenB"),
                           {QStringLiteral("Gruppe")}, {200}, QString());
    gruppen->addWidget(ctListGruppenA);
    gruppen->addWidget(ctListGruppenB);
    for (QWidget* w : std::initializer_list<QWidget*>{ctListNurA, ctListBeide, ctListNurB, gruppen})
        rechts->addWidget(w);
    seite->addWidget(links);
    seite->addWidget(rechts);
    seite->setStretchFactor(1, 3);
    lay->addWidget(seite, 1);
    auto* knoepfe = new QHBoxLayout();
    cmdCsv = new QPushButton(QStringLiteral("Als &CSV exportieren…"));
    cmdCsv->setObjectName(QStringLiteral("cmdCsv"));
    cmdPdf = new QPushButton(QStringLiteral("Als P&DF speichern…"));
    cmdPdf->setObjectName(QStringLiteral("cmdPdf"));
    cmdDrucken = new QPushButton(QStringLiteral("D&rucken…"));
    cmdDrucken->setObjectName(QStringLiteral("cmdDrucken"));
    cmdSchliessen = new QPushButton(QStringLiteral("Schließen"));
    cmdSchliessen->setObjectName(QStringLiteral("cmdSchliessen"));
    for (QPushButton* b : {cmdCsv, cmdPdf, cmdDrucken})
        knoepfe->addWidget(b);
    knoepfe->addStretch(1);
    knoepfe->addWidget(cmdSchliessen);
    lay->addLayout(knoepfe);
    resize(Plattform::Pixel(15000), Plattform::Pixel(9500));

    connect(ctListA, &CtFilterList::Gewaehlt, this, &frmVergleich::ctListA_Click);
    connect(ctListB, &CtFilterList::Gewaehlt, this, &frmVergleich::ctListB_Click);
    connect(cmdCsv, &QPushButton::clicked, this, &frmVergleich::cmdCsv_Click);
    connect(cmdPdf, &QPushButton::clicked, this, &frmVergleich::cmdPdf_Click);
    connect(cmdDrucken, &QPushButton::clicked, this, &frmVergleich::cmdDrucken_Click);
    connect(cmdSchliessen, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    // Double-clicks show the group or level in the main window.
    for (CtFilterList* l : {ctListNurA, ctListBeide, ctListNurB})
        connect(l, &CtFilterList::DblClick, this, [this, l](int z) {
            const QStringList f = Felder(l, z);
            emit StufeZeigen(f.value(0), f.value(1), f.value(2));
        });
    for (CtFilterList* l : {ctListGruppenA, ctListGruppenB})
        connect(l, &CtFilterList::DblClick, this,
                [this, l](int z) { emit GruppeZeigen(Felder(l, z).value(0)); });
}

void frmVergleich::Form_Load(bool abteilungen) {
    std::vector<CtFilterList::Eintrag> zeilen;
    try {
        zeilen = Uebersicht::MitarbeiterEintraege(abteilungen);
    } catch (const CacheFehler& e) {
        zeilen.clear();
        CacheFehlermeldung(e, QStringLiteral("frmVergleich.Form_Load"));
    }
    ctListA->setZeilen(zeilen);
    ctListB->setZeilen(std::move(zeilen));
}

void frmVergleich::ctListA_Click(int zeile) {
    const QStringList f = Felder(ctListA, zeile);
    if (f.isEmpty()) return;
    m_a = f[0];
    m_nameA = f.value(1);
    Vergleichen();
}

void frmVergleich::ctListB_Click(int zeile) {
    const QStringList f = Felder(ctListB, zeile);
    if (f.isEmpty()) return;
    m_b = f[0];
    m_nameB = f.value(1);
    Vergleichen();
}

bool frmVergleich::Gewaehlt() const {
    return !m_a.isEmpty() && !m_b.isEmpty() && m_a != m_b;
}

void frmVergleich::Vergleichen() {
    m_ergebnis = {};
    const QString a = m_a.isEmpty() ? QStringLiteral("A") : m_a,
                  b = m_b.isEmpty() ? QStringLiteral("B") : m_b;
    ctListNurA->setTitel(QStringLiteral("Nur %1").arg(a));
    ctListNurB->setTitel(QStringLiteral("Nur %1").arg(b));
    ctListBeide->setTitel(QStringLiteral("Beide (%1 und %2)").arg(a, b));
    ctListBeide->setSpalten({QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe"),
                             QStringLiteral("Durch Gruppe (%1)").arg(a), QStringLiteral("Durch Gruppe (%1)").arg(b)},
                            {140, 120, 50, 150, 150});
    ctListGruppenA->setTitel(QStringLiteral("Gruppen von %1").arg(a));
    ctListGruppenB->setTitel(QStringLiteral("Gruppen von %1").arg(b));
    if (!Gewaehlt()) {
        const QString warum = m_a.isEmpty() || m_b.isEmpty()
                                  ? QStringLiteral("Bitte links zwei Mitarbeiter wählen.")
                                  : QStringLiteral("Bitte zwei verschiedene Mitarbeiter wählen.");
        for (CtFilterList* l : {ctListNurA, ctListBeide, ctListNurB, ctListGruppenA, ctListGruppenB})
            l->Leeren(l == ctListNurA ? warum : QString());
        return;
    }
    try {
        m_ergebnis = Vergleich::Lesen(m_a, m_b);
    } catch (const CacheFehler& e) {
        for (CtFilterList* l : {ctListNurA, ctListBeide, ctListNurB, ctListGruppenA, ctListGruppenB})
            l->Leeren(l == ctListNurA ? QStringLiteral("Die Berechtigungen konnten nicht gelesen werden.")
                                      : QString());
        CacheFehlermeldung(e, QStringLiteral("frmVergleich.Vergleichen"));
        return;
    }
    const QString komma = QStringLiteral(", ");
    auto stufen = [&](CtFilterList* l, const std::vector<Vergleich::Stufe>& s, int art, const QString& leer) {
        std::vector<CtFilterList::Eintrag> z;
        for (const Vergleich::Stufe& st : s) {
            QStringList f{st.programm, st.subprogramm, st.stufe};
            if (art != 2) f.append(st.gruppenA.join(komma));
            if (art != 0) f.append(st.gruppenB.join(komma));
            z.push_back(Eintrag(f));
        }
        l->setLeertext(leer);
        l->setZeilen(std::move(z));
    };
    stufen(ctListNurA, m_ergebnis.nurA, 0,
           QStringLiteral("%1 hat keine Stufe, die %2 nicht hat.").arg(m_a, m_b));
    stufen(ctListBeide, m_ergebnis.beide, 1, QStringLiteral("Die beiden haben keine gemeinsame Stufe."));
    stufen(ctListNurB, m_ergebnis.nurB, 2,
           QStringLiteral("%1 hat keine Stufe, die %2 nicht hat.").arg(m_b, m_a));
    auto gruppen = [&](CtFilterList* l, const QStringList& g, const QString& code) {
        std::vector<CtFilterList::Eintrag> z;
        for (const QString& n : g)
            z.push_back(Eintrag({n}));
        l->setLeertext(QStringLiteral("%1 ist in keiner Gruppe.").arg(code));
        l->setZeilen(std::move(z));
    };
    gruppen(ctListGruppenA, m_ergebnis.gruppenA, m_a);
    gruppen(ctListGruppenB, m_ergebnis.gruppenB, m_b);
}

Bericht frmVergleich::AktuellerBericht() const {
    Bericht b;
    b.titel = QStringLiteral("Mitarbeiter vergleichen – %1 %2 und %3 %4").arg(m_a, m_nameA, m_b, m_nameB);
    b.tabellen.push_back(Tabelle(QStringLiteral("Nur %1").arg(m_a), StufenSpalten, ctListNurA));
    b.tabellen.push_back(
        Tabelle(QStringLiteral("Beide"),
                {QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe"),
                 QStringLiteral("Durch Gruppe (%1)").arg(m_a), QStringLiteral("Durch Gruppe (%1)").arg(m_b)},
                ctListBeide));
    b.tabellen.push_back(Tabelle(QStringLiteral("Nur %1").arg(m_b), StufenSpalten, ctListNurB));
    b.tabellen.push_back(
        Tabelle(QStringLiteral("Gruppen von %1").arg(m_a), {QStringLiteral("Gruppe")}, ctListGruppenA));
    b.tabellen.push_back(
        Tabelle(QStringLiteral("Gruppen von %1").arg(m_b), {QStringLiteral("Gruppe")}, ctListGruppenB));
    return b;
}

namespace {
void NichtsGewaehlt() {
    Dialoge().MsgBox(QStringLiteral("Bitte zuerst zwei verschiedene Mitarbeiter wählen."),
                     DialogService::Information, QStringLiteral("Mitarbeiter vergleichen"));
}

QString Dateiname(const QString& a, const QString& b) {
    QString n = QStringLiteral("Vergleich %1 %2").arg(a, b);
    static const QString verboten = QStringLiteral("\\/:*?\"<>|");
    for (QChar& c : n)
        if (verboten.contains(c) || c.unicode() < 32) c = QLatin1Char('_');
    return n;
}
} // namespace

void frmVergleich::cmdCsv_Click() {
    if (!DarfLesen()) return;
    if (!Gewaehlt()) return NichtsGewaehlt();
    const QString pfad = Berichte::Speicherort(QStringLiteral("Als CSV exportieren"),
                                               Dateiname(m_a, m_b) + QStringLiteral(".csv"),
                                               QStringLiteral("CSV-Dateien (*.csv)"));
    if (pfad.isEmpty()) return;
    // Read anew: the file holds what the server has now, as korval-db writes it.
    Vergleich::Ergebnis e;
    try {
        e = Vergleich::Lesen(m_a, m_b);
    } catch (const CacheFehler& f) {
        CacheFehlermeldung(f, QStringLiteral("frmVergleich.cmdCsv_Click"));
        return;
    }
    QString fehler;
    Berichte::Melden(Berichte::CsvSchreiben(pfad, Vergleich::Spalten(), e.zeilen, fehler), fehler, pfad);
}

void frmVergleich::cmdPdf_Click() {
    if (!DarfLesen()) return;
    if (!Gewaehlt()) return NichtsGewaehlt();
    const QString pfad = Berichte::Speicherort(QStringLiteral("Als PDF speichern"),
                                               Dateiname(m_a, m_b) + QStringLiteral(".pdf"),
                                               QStringLiteral("PDF-Dateien (*.pdf)"));
    if (pfad.isEmpty()) return;
    QString fehler;
    Berichte::Melden(Berichte::PdfSchreiben(pfad, AktuellerBericht(), fehler), fehler, pfad);
}

void frmVergleich::cmdDrucken_Click() {
    if (!DarfLesen()) return;
    if (!Gewaehlt()) return NichtsGewaehlt();
    QPrinter drucker;
    drucker.setDocName(Dateiname(m_a, m_b));
    QPrintDialog dialog(&drucker, this);
    dialog.setObjectName(QStringLiteral("dlgDrucken"));
    Dialoge().ShowModal(&dialog, this);
    if (dialog.result() != QDialog::Accepted) return;
    if (drucker.printRange() != QPrinter::PageRange) drucker.setPageRanges(QPageRanges());
    if (!Berichte::Zeichnen(drucker, AktuellerBericht()))
        Dialoge().MsgBox(
            QStringLiteral("Der Drucker %1 konnte nicht gestartet werden.").arg(drucker.printerName()),
            DialogService::Critical, QStringLiteral("Bericht"));
}
