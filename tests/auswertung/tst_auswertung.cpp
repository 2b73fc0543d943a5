// The permission overview, its filters and reports, worked through the real
// widgets; results compared with the server's tables read directly.

#include "testumgebung.h"

#include "auswertung/frmuebersicht.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "server/sqlfactory.h"

#include "datenbankwerkzeug.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeView>
#include <QProgressDialog>
#include <QTimer>
#include <QApplication>
#include <QtTest>

namespace {
// A CSV file as written: the byte-order mark, then rows ending in CR LF.
QList<QStringList> CsvDatei(const QString& pfad) {
    QFile f(pfad);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray roh = f.readAll();
    if (!roh.startsWith("\xEF\xBB\xBF")) return {{QStringLiteral("ohne BOM")}};
    if (!roh.endsWith("\r\n")) return {{QStringLiteral("ohne CRLF am Ende")}};
    return CsvLesen(QString::fromUtf8(roh.mid(3)));
}

QStringList Zeilen(const CtFilterList* l) {
    return ListenZeilen(l->Liste());
}

int Zeile(const CtFilterList* l, const QString& anfang) {
    const QStringList z = Zeilen(l);
    for (int i = 0; i < z.size(); ++i)
        if (z[i].startsWith(anfang)) return i;
    return -1;
}

void Filtern(CtFilterList* l, const QString& text) {
    l->Filter()->clear();
    Eintippen(l->Filter(), text);
}

// Chooses a level by typing into the three boxes, each ended with Enter.
void StufeTippen(frmUebersicht* f, const QString& p, const QString& s, const QString& l) {
    for (auto [box, text] : {std::pair{f->cmbProgramm, p}, {f->cmbSubProgramm, s}, {f->cmbProgrammStufe, l}}) {
        box->lineEdit()->clear();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    }
}
} // namespace

class TestAuswertung : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void menueOeffnetEinFenster();
    void mitarbeiterInZweiGruppenMitGleicherStufe();
    void stufeNurUeberMitgliedOhneStamm();
    void filterFindetUmlauteUndNimmtZeichenWoertlich_data();
    void filterFindetUmlauteUndNimmtZeichenWoertlich();
    void filterInGruppen();
    void leereListenSagenEs();
    void gruppeExportierenDruckenPdf();
    void exportOhneSchreibrechtOderMitServerfehler();
    void matrixExportZaehltWieDerServer();
    void langerExportAntwortetUndLaesstSichAbbrechen_data();
    void langerExportAntwortetUndLaesstSichAbbrechen();
    void exportWieKorvalDbReport_data();
    void exportWieKorvalDbReport();
    void doppelklickZeigtImHauptfenster();
    void fensterBehaeltGroesseUndOrt();

  private:
    frmUebersicht* Oeffnen();
    // Requests the last opening sent: the three lists come in one.
    long m_oeffnenRundreisen = -1;
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestAuswertung::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
    QVERIFY(Starten(*u, *w));
}

void TestAuswertung::cleanup() {
    Abbauen(u, w);
}

frmUebersicht* TestAuswertung::Oeffnen() {
    // The shortcut belongs to the main window: it must be the active one.
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) return nullptr;
    if (w->UebersichtFenster()) w->UebersichtFenster()->hide();
    const long vorher = u->Factory()->rundreisen();
    QTest::keyClick(w.get(), Qt::Key_B, Qt::ControlModifier);
    m_oeffnenRundreisen = u->Factory()->rundreisen() - vorher;
    frmUebersicht* f = w->UebersichtFenster();
    if (f) (void)QTest::qWaitForWindowExposed(f);
    return f;
}

void TestAuswertung::menueOeffnetEinFenster() {
    QStringList menues;
    for (QAction* a : w->menuBar()->actions())
        menues.append(a->text());
    QCOMPARE(menues, (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Bearbeiten"), QStringLiteral("&Auswertung"),
                                  QStringLiteral("&Hilfe")}));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    QVERIFY(f->isVisible());
    QCOMPARE(f->windowTitle(), QStringLiteral("Berechtigungsübersicht"));
    QVERIFY(!f->isModal());
    // Department entries only while the main window shows them.
    QCOMPARE(f->ctListMitarbeiter->Gesamt(), 8);
    QCOMPARE(f->ctListMitarbeiter->Anzahl()->text(), QStringLiteral("8 von 8"));
    f->close();
    QTest::keyClick(w->chkAbt, Qt::Key_Space);
    QCOMPARE(Oeffnen(), f); // one instance
    QCOMPARE(f->ctListMitarbeiter->Gesamt(), 11);
}

void TestAuswertung::mitarbeiterInZweiGruppenMitGleicherStufe() {
    // Müller is in Verkauf; in Verwaltung too, both grant Auftrag/Erfassen/1.
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES ('Verwaltung', 3, 'MUE')"));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    Filtern(f->ctListMitarbeiter, QStringLiteral("Müller"));
    QCOMPARE(Zeilen(f->ctListMitarbeiter), QStringList{QStringLiteral("MUE;Hans Müller")});
    QCOMPARE(f->ctListMitarbeiter->Anzahl()->text(), QStringLiteral("1 von 8"));
    ZeileKlicken(f->ctListMitarbeiter->Liste(), 0);
    const QStringList stufen = Zeilen(f->ctListMitarbeiterStufen);
    QCOMPARE(stufen.count(QStringLiteral("Auftrag;Erfassen;1;Verkauf, Verwaltung")), 1);
    // Every level of either group, each once.
    const QStringList erwartet = u->db->Sql(QStringLiteral(
        "SELECT DISTINCT programmname, subprogramm, berechtigungsstufe FROM uv_programm_gruppe "
        "WHERE gruppe IN ('Verkauf', 'Verwaltung') ORDER BY 1, 2, 3"));
    QCOMPARE(stufen.size(), erwartet.size());
    for (int i = 0; i < erwartet.size(); ++i)
        QVERIFY2(stufen[i].startsWith(erwartet[i] + QLatin1Char(';')), qPrintable(stufen[i]));
    QCOMPARE(Zeilen(f->ctListMitarbeiterGruppen), (QStringList{QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}));

    // Typing chooses as well: after the click in the code column, codes are searched.
    Filtern(f->ctListMitarbeiter, QString());
    QTest::keyClicks(f->ctListMitarbeiter->Liste()->View(), QStringLiteral("SOM"));
    QCOMPARE(Zeilen(f->ctListMitarbeiterGruppen), QStringList{QStringLiteral("Verwaltung")});
    QTest::keyClick(f->ctListMitarbeiter->Liste()->View(), Qt::Key_Down);
    QCOMPARE(Zeilen(f->ctListMitarbeiterGruppen), QStringList{QStringLiteral("Verkauf")}); // Petra Schröder
}

void TestAuswertung::stufeNurUeberMitgliedOhneStamm() {
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES ('Extern')"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES ('Extern', 1, 'XYZ')"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('Zugang', 'Tor', '1')"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm_gruppe VALUES ('Zugang', 'Tor', '1', 1, 'Extern')"));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    f->tabUebersicht->setCurrentIndex(1);
    StufeTippen(f, QStringLiteral("Zugang"), QStringLiteral("Tor"), QStringLiteral("1"));
    QCOMPARE(Zeilen(f->ctListStufeGruppen), QStringList{QStringLiteral("Extern")});
    QCOMPARE(Zeilen(f->ctListStufeMitarbeiter),
             QStringList{QStringLiteral("XYZ;(kein Mitarbeiterstamm);Extern")});

    // A level held by two groups lists each member with the group that grants it.
    StufeTippen(f, QStringLiteral("Auftrag"), QStringLiteral("Erfassen"), QStringLiteral("1"));
    QCOMPARE(Zeilen(f->ctListStufeGruppen), (QStringList{QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}));
    const QStringList direkt = u->db->Sql(QStringLiteral(
        "SELECT gp.pcode, gp.gruppe FROM uv_gruppen_pcode gp JOIN uv_programm_gruppe pg ON pg.gruppe = gp.gruppe "
        "WHERE pg.programmname = 'Auftrag' AND pg.subprogramm = 'Erfassen' AND pg.berechtigungsstufe = '1' "
        "ORDER BY 1"));
    QStringList gezeigt;
    for (const QString& z : Zeilen(f->ctListStufeMitarbeiter))
        gezeigt.append(z.section(QLatin1Char(';'), 0, 0) + QLatin1Char(';') + z.section(QLatin1Char(';'), 2));
    QCOMPARE(gezeigt, direkt);
    QVERIFY(Zeilen(f->ctListStufeMitarbeiter).contains(QStringLiteral("BAE;Maria Bär;Verkauf")));
}

void TestAuswertung::filterFindetUmlauteUndNimmtZeichenWoertlich_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("ä als ae") << "baer" << QStringList{QStringLiteral("BAE")};
    QTest::newRow("ä als a") << "Bar" << QStringList{QStringLiteral("BAE")};
    QTest::newRow("ä selbst") << "BÄR" << QStringList{QStringLiteral("BAE")};
    QTest::newRow("ü als ue") << "mueller" << QStringList{QStringLiteral("MUE")};
    QTest::newRow("ü als u, Groß/klein") << "MULLER" << QStringList{QStringLiteral("MUE")};
    QTest::newRow("ß als ss") << "gross" << QStringList{QStringLiteral("GRO")};
    QTest::newRow("ss als ß") << "Weiß" << QStringList{QStringLiteral("INA")};
    QTest::newRow("Code") << "som" << QStringList{QStringLiteral("SOM")};
    QTest::newRow("Prozent wörtlich") << "%" << QStringList{QStringLiteral("PCT")};
    QTest::newRow("Unterstrich wörtlich") << "_" << QStringList{QStringLiteral("U_S")};
    QTest::newRow("Anführungszeichen") << "'" << QStringList{QStringLiteral("QUO")};
    QTest::newRow("nichts passt") << "zzz" << QStringList{};
}

void TestAuswertung::filterFindetUmlauteUndNimmtZeichenWoertlich() {
    QFETCH(QString, filter);
    QFETCH(QStringList, codes);
    const QList<QStringList> neu = {{QStringLiteral("PCT"), QStringLiteral("Rabatt 100%")},
                                    {QStringLiteral("U_S"), QStringLiteral("Unter Strich")},
                                    {QStringLiteral("QUO"), QStringLiteral("O'Neil Sean")}};
    for (const QStringList& p : neu)
        u->db->SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, pname) VALUES ('1', ?, ?)"),
                          {p[0], p[1]});
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    Filtern(f->ctListMitarbeiter, filter);
    QStringList gefunden;
    for (const QString& z : Zeilen(f->ctListMitarbeiter))
        gefunden.append(z.section(QLatin1Char(';'), 0, 0));
    gefunden.sort();
    QCOMPARE(gefunden, codes);
    QCOMPARE(f->ctListMitarbeiter->Anzahl()->text(), QStringLiteral("%1 von 11").arg(codes.size()));
    QCOMPARE(f->ctListMitarbeiter->Hinweis()->isVisible(), codes.isEmpty());
    if (codes.isEmpty()) QVERIFY(f->ctListMitarbeiter->Hinweis()->text().contains(filter));
}

void TestAuswertung::filterInGruppen() {
    // Names another program stored: "||", "%" and "_" are plain characters.
    u->db->OhneNamensregeln();
    for (const char* g : {"A||B", "100%", "x_y", "Straße"})
        u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {QString::fromUtf8(g)});
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    const QList<std::pair<QString, QStringList>> faelle = {
        {QStringLiteral("||"), {QStringLiteral("A||B")}},
        {QStringLiteral("%"), {QStringLiteral("100%")}},
        {QStringLiteral("_"), {QStringLiteral("x_y")}},
        {QStringLiteral("strasse"), {QStringLiteral("Straße")}},
        {QStringLiteral("e"), {QStringLiteral("Lager"), QStringLiteral("Revision"), QStringLiteral("Straße"),
                               QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}}};
    for (const auto& [filter, gruppen] : faelle) {
        Filtern(f->ctListGruppen, filter);
        QCOMPARE(Zeilen(f->ctListGruppen), gruppen);
        QCOMPARE(f->ctListGruppen->Anzahl()->text(), QStringLiteral("%1 von 8").arg(gruppen.size()));
    }
}

void TestAuswertung::leereListenSagenEs() {
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('Leer', 'Nichts', '1')"));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    f->tabUebersicht->setCurrentIndex(2);
    const int revision = Zeile(f->ctListGruppen, QStringLiteral("Revision"));
    QVERIFY(revision >= 0);
    ZeileKlicken(f->ctListGruppen->Liste(), revision);
    QCOMPARE(f->ctListGruppeMitglieder->Gesamt(), 0);
    QCOMPARE(f->ctListGruppeMitglieder->Hinweis()->text(), QStringLiteral("Die Gruppe hat keine Mitglieder."));
    QCOMPARE(f->ctListGruppeStufen->Hinweis()->text(), QStringLiteral("Die Gruppe hat keine Stufen."));
    QVERIFY(!f->ctListGruppeStufen->Hinweis()->isHidden());

    f->tabUebersicht->setCurrentIndex(1);
    StufeTippen(f, QStringLiteral("Leer"), QStringLiteral("Nichts"), QStringLiteral("1"));
    QCOMPARE(f->ctListStufeGruppen->Hinweis()->text(), QStringLiteral("Keine Gruppe hat diese Stufe."));
    QCOMPARE(f->ctListStufeMitarbeiter->Hinweis()->text(), QStringLiteral("Kein Mitarbeiter hat diese Stufe."));

    // A company without employees (the signed-on user's record gone too).
    f->close();
    u->db->SqlAendern(QStringLiteral("DELETE FROM kv_parpersedv WHERE firma = '1'"));
    QCOMPARE(Oeffnen(), f);
    QCOMPARE(f->ctListMitarbeiter->Gesamt(), 0);
    QCOMPARE(f->ctListMitarbeiter->Anzahl()->text(), QStringLiteral("0 von 0"));
    QCOMPARE(f->ctListMitarbeiter->Hinweis()->text(), QStringLiteral("Die Firma hat keine Mitarbeiter."));
}

void TestAuswertung::gruppeExportierenDruckenPdf() {
    // A name with ";" and quotes must survive the round trip.
    u->db->SqlAendern(QStringLiteral("UPDATE kv_parpersedv SET pname = 'M}ller; \"Hansi\" Hans' WHERE pcode = 'MUE'"));
    // Levels enough for several printed pages.
    const QString stufen =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
                       "SELECT 'Viele', 'Seiten', CAST(i AS TEXT)%1 FROM n");
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm ") + stufen.arg(QString()));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm_gruppe ") +
                      stufen.arg(QStringLiteral(", 1, 'Verkauf'")));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    f->tabUebersicht->setCurrentIndex(2);
    ZeileKlicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, QStringLiteral("Verkauf")));
    QCOMPARE(f->ctListGruppeMitglieder->Gesamt(), 3);

    const QString csv = u->temp.filePath(QStringLiteral("verkauf.csv"));
    u->dialoge.dateien.push_back(csv);
    Klicken(f->cmdCsv);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text,
             QStringLiteral("Die Datei %1 wurde geschrieben.").arg(QDir::toNativeSeparators(csv)));
    const QList<QStringList> zeilen = CsvDatei(csv);
    QVERIFY(!zeilen.isEmpty());
    QCOMPARE(zeilen[0], (QStringList{QStringLiteral("Code"), QStringLiteral("Name"), QStringLiteral("Gruppe"),
                                     QStringLiteral("Programm"), QStringLiteral("Unterprogramm"), QStringLiteral("Stufe")}));
    const QStringList direkt = u->db->Sql(QStringLiteral(
        "SELECT gp.pcode, gp.gruppe, pg.programmname, pg.subprogramm, pg.berechtigungsstufe "
        "FROM uv_gruppen_pcode gp JOIN uv_programm_gruppe pg ON pg.gruppe = gp.gruppe "
        "WHERE gp.gruppe = 'Verkauf' ORDER BY 1, 2, 3, 4, 5"));
    QCOMPARE(zeilen.size() - 1, direkt.size());
    for (int i = 1; i < zeilen.size(); ++i) {
        QCOMPARE(zeilen[i].size(), 6);
        QCOMPARE(QStringList({zeilen[i][0], zeilen[i][2], zeilen[i][3], zeilen[i][4], zeilen[i][5]}).join(QLatin1Char(';')),
                 direkt[i - 1]);
        if (zeilen[i][0] == QLatin1String("MUE")) QCOMPARE(zeilen[i][1], QStringLiteral("Müller; \"Hansi\" Hans"));
    }

    // PDF: what the tab shows, with a page count in its foot.
    const QString pdf = u->temp.filePath(QStringLiteral("verkauf.pdf"));
    u->dialoge.dateien.push_back(pdf);
    Klicken(f->cmdPdf);
    QFile p(pdf);
    QVERIFY(p.open(QIODevice::ReadOnly));
    const QByteArray inhalt = p.readAll();
    QVERIFY(inhalt.startsWith("%PDF-"));
    QVERIFY(inhalt.contains("/Type /Page"));
    QVERIFY(inhalt.contains("/Title"));

    // Printing through the print dialog (to a PDF file, as a user may choose).
    const QString gedruckt = u->temp.filePath(QStringLiteral("gedruckt.pdf"));
    u->dialoge.modal.push_back([gedruckt](QWidget* fenster) {
        auto* d = qobject_cast<QPrintDialog*>(fenster);
        QVERIFY(d);
        d->printer()->setOutputFormat(QPrinter::PdfFormat);
        d->printer()->setOutputFileName(gedruckt);
        // Past the dialog's own widgets, which would set the printer from their fields.
        d->done(QDialog::Accepted);
    });
    Klicken(f->cmdDrucken);
    QVERIFY(QFileInfo(gedruckt).size() > 1000);
    const QRegularExpression seite(QStringLiteral("/Type\\s*/Page[^s]"));
    auto seiten = [&seite](const QString& datei) {
        QFile d(datei);
        return d.open(QIODevice::ReadOnly) ? static_cast<int>(QString::fromLatin1(d.readAll()).count(seite))
                                           : -1;
    };
    QVERIFY(seiten(gedruckt) > 2);
    // Only the pages chosen in the dialog.
    const QString teil = u->temp.filePath(QStringLiteral("seite2.pdf"));
    u->dialoge.modal.push_back([teil](QWidget* fenster) {
        auto* d = qobject_cast<QPrintDialog*>(fenster);
        d->printer()->setOutputFormat(QPrinter::PdfFormat);
        d->printer()->setOutputFileName(teil);
        d->printer()->setPrintRange(QPrinter::PageRange);
        d->printer()->setFromTo(2, 2);
        d->done(QDialog::Accepted);
    });
    Klicken(f->cmdDrucken);
    QCOMPARE(seiten(teil), 1);
    // A printer that cannot start is reported.
    u->dialoge.modal.push_back([this](QWidget* fenster) {
        auto* d = qobject_cast<QPrintDialog*>(fenster);
        d->printer()->setOutputFormat(QPrinter::PdfFormat);
        d->printer()->setOutputFileName(u->temp.filePath(QStringLiteral("fehlt/druck.pdf")));
        d->done(QDialog::Accepted);
    });
    Klicken(f->cmdDrucken);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))
                ->text.contains(QStringLiteral("konnte nicht gestartet werden")));
    // Cancelled: nothing printed, nothing said.
    const int meldungen = u->dialoge.Anzahl(QStringLiteral("MsgBox"));
    u->dialoge.modal.push_back([](QWidget* fenster) { qobject_cast<QDialog*>(fenster)->reject(); });
    Klicken(f->cmdDrucken);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), meldungen);
}

void TestAuswertung::exportOhneSchreibrechtOderMitServerfehler() {
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    // Nothing chosen yet: a plain word, no file dialog.
    Klicken(f->cmdCsv);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Speicherort")), 0);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.startsWith(QStringLiteral("Bitte zuerst")));

    f->tabUebersicht->setCurrentIndex(2);
    ZeileKlicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, QStringLiteral("Lager")));
    // A folder that cannot be: its parent is a file.
    QFile datei(u->temp.filePath(QStringLiteral("datei")));
    QVERIFY(datei.open(QIODevice::WriteOnly));
    datei.close();
    u->dialoge.dateien.push_back(u->temp.filePath(QStringLiteral("datei/lager.csv")));
    Klicken(f->cmdCsv);
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m->text.startsWith(QStringLiteral("Die Datei ")));
    QVERIFY(m->text.contains(QStringLiteral("konnte nicht geschrieben werden: ")));
    QCOMPARE(m->stil & 0x70, int(DialogService::Critical));

    // The server fails while the file is written: the old file stays whole, no leftovers.
    QDir ordner(u->temp.filePath(QStringLiteral("ordner")));
    QVERIFY(ordner.mkpath(QStringLiteral(".")));
    const QString ziel = ordner.filePath(QStringLiteral("lager.csv"));
    QFile alt(ziel);
    QVERIFY(alt.open(QIODevice::WriteOnly));
    alt.write("alt\r\n");
    alt.close();
    u->Factory()->setFailAfter(1);
    u->dialoge.dateien.push_back(ziel);
    Klicken(f->cmdCsv);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("eingespeister Fehler")));
    QFile wieder(ziel);
    QVERIFY(wieder.open(QIODevice::ReadOnly));
    QCOMPARE(wieder.readAll(), QByteArray("alt\r\n"));
    QCOMPARE(ordner.entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("lager.csv")});
}

void TestAuswertung::matrixExportZaehltWieDerServer() {
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES ('Lager', 3, 'XYZ')"));
    const QString csv = u->temp.filePath(QStringLiteral("matrix.csv"));
    u->dialoge.dateien.push_back(csv);
    w->mMatrixExport->trigger();
    const QList<QStringList> zeilen = CsvDatei(csv);
    const int direkt = u->db->Sql(QStringLiteral(
                                      "SELECT COUNT(*) FROM (SELECT DISTINCT gp.pcode, gp.gruppe, pg.programmname, "
                                      "pg.subprogramm, pg.berechtigungsstufe FROM uv_gruppen_pcode gp "
                                      "JOIN uv_programm_gruppe pg ON pg.gruppe = gp.gruppe) x"))
                           .value(0)
                           .toInt();
    QVERIFY(direkt > 10);
    // And the group that has neither members nor levels.
    QCOMPARE(zeilen.size() - 1, direkt + 1);
    QVERIFY(zeilen.contains(QStringList{{}, {}, QStringLiteral("Revision"), {}, {}, {}}));
    int ohneStamm = 0;
    for (const QStringList& z : zeilen)
        if (z.value(0) == QLatin1String("XYZ")) {
            QCOMPARE(z.value(1), QString());
            ++ohneStamm;
        }
    QCOMPARE(ohneStamm, u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = 'Lager'"))
                            .value(0)
                            .toInt());
    // Cancelled in the file dialog: nothing written, nothing said.
    const int meldungen = u->dialoge.Anzahl(QStringLiteral("MsgBox"));
    w->mMatrixExport->trigger();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), meldungen);
}

void TestAuswertung::langerExportAntwortetUndLaesstSichAbbrechen_data() {
    QTest::addColumn<bool>("abbrechen");
    QTest::addColumn<bool>("ausUebersicht");
    QTest::newRow("bis zum Ende") << false << false;
    QTest::newRow("abgebrochen") << true << false;
    QTest::newRow("Übersicht, bis zum Ende") << false << true;
    QTest::newRow("Übersicht, abgebrochen") << true << true;
}

// A matrix of nearly a million rows: the window keeps answering (a timer
// fires meanwhile), the count is shown, and "Abbrechen" leaves the earlier
// file as it was and nothing beside it.
void TestAuswertung::langerExportAntwortetUndLaesstSichAbbrechen() {
    QFETCH(bool, abbrechen);
    QFETCH(bool, ausUebersicht);
    const QString mitglieder = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                                              "INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) SELECT 'Revision', i, 'M' || i FROM n");
    const QString stufen = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                                          "INSERT INTO uv_programm (programmname, subprogramm, berechtigungsstufe) "
                                          "SELECT 'Gross', 'Teil', CAST(i AS TEXT) FROM n");
    const QString rechte = QStringLiteral("INSERT INTO uv_programm_gruppe (programmname, subprogramm, berechtigungsstufe, "
                                          "pos, gruppe) SELECT programmname, subprogramm, berechtigungsstufe, 1, 'Revision' "
                                          "FROM uv_programm WHERE programmname = 'Gross'");
    u->db->SqlAendern(mitglieder);
    u->db->SqlAendern(stufen);
    u->db->SqlAendern(rechte);
    QDir ordner(u->temp.filePath(QStringLiteral("gross")));
    QVERIFY(ordner.mkpath(QStringLiteral(".")));
    const QString ziel = ordner.filePath(QStringLiteral("matrix.csv"));
    {
        QFile alt(ziel);
        QVERIFY(alt.open(QIODevice::WriteOnly));
        alt.write("alt\r\n");
    }
    int takte = 0;
    bool gezeigt = false;
    QTimer uhr;
    uhr.setInterval(20);
    connect(&uhr, &QTimer::timeout, this, [&] {
        ++takte;
        auto* d = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        gezeigt = gezeigt || d->labelText().contains(QStringLiteral("Zeilen geschrieben"));
        if (abbrechen && gezeigt)
            if (auto* knopf = d->findChild<QPushButton*>()) Klicken(knopf);
    });
    frmUebersicht* f = nullptr;
    if (ausUebersicht) {
        f = Oeffnen();
        QVERIFY(f);
        f->tabUebersicht->setCurrentIndex(2);
        ZeileKlicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, QStringLiteral("Revision")));
    }
    const int meldungen = u->dialoge.Anzahl(QStringLiteral("MsgBox"));
    uhr.start();
    u->dialoge.dateien.push_back(ziel);
    if (f)
        Klicken(f->cmdCsv);
    else
        w->mMatrixExport->trigger();
    uhr.stop();
    // One message, never a second (empty) one after it.
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), meldungen + 1);
    QVERIFY(!u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.isEmpty());
    QVERIFY(takte > 0);
    QVERIFY(gezeigt);
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QCOMPARE(ordner.entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("matrix.csv")});
    if (abbrechen) {
        QFile wieder(ziel);
        QVERIFY(wieder.open(QIODevice::ReadOnly));
        QCOMPARE(wieder.readAll(), QByteArray("alt\r\n"));
        QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("abgebrochen")));
    } else {
        QVERIFY(CsvDatei(ziel).size() > 900000);
    }
}

void TestAuswertung::exportWieKorvalDbReport_data() {
    QTest::addColumn<int>("seite");
    QTest::addColumn<QStringList>("auswahl"); // code, group, program, sub-program, level
    // The file's cells as written: a name a spreadsheet would run as a formula keeps a leading apostrophe.
    QTest::addColumn<QStringList>("zeilen");
    const QString formel = QStringLiteral("=HYPERLINK(\"http://x\")");
    QTest::newRow("Mitarbeiter") << 0 << QStringList{QStringLiteral("GRO"), {}, {}, {}, {}}
                                 << QStringList{
                                        QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Bestand;1"),
                                        QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Bestand;2"),
                                        QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Inventur;1")};
    QTest::newRow("Mitarbeiter in keiner Gruppe") << 0 << QStringList{QStringLiteral("INA"), {}, {}, {}, {}}
                                                  << QStringList{QStringLiteral("INA;Weiß Inge;;;;")};
    QTest::newRow("Stufe")
        << 1 << QStringList{{}, {}, QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("1")}
        << QStringList{QStringLiteral("BAE;Bär Maria;Verkauf;Lager;Bestand;1"),
                       QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Bestand;1"),
                       QStringLiteral("MUE;Müller Hans;Verkauf;Lager;Bestand;1"),
                       QStringLiteral("OEZ;Özdemir Ayşe;Lager;Lager;Bestand;1"),
                       QStringLiteral("USR;Schröder Petra;Verkauf;Lager;Bestand;1")};
    QTest::newRow("Stufe einer Gruppe ohne Mitglieder")
        << 1 << QStringList{{}, {}, QStringLiteral("Lager"), QStringLiteral("-Sperre"), QStringLiteral("1")}
        << QStringList{QStringLiteral(";;'@Leer;Lager;'-Sperre;1")};
    QTest::newRow("Gruppe ohne Stufen")
        << 2 << QStringList{{}, formel, {}, {}, {}}
        << QStringList{QStringLiteral("'+49;;'") + formel + QStringLiteral(";;;"),
                       QStringLiteral("MUE;Müller Hans;'") + formel + QStringLiteral(";;;")};
    QTest::newRow("Gruppe ohne Mitglieder und Stufen")
        << 2 << QStringList{{}, QStringLiteral("Revision"), {}, {}, {}}
        << QStringList{QStringLiteral(";;Revision;;;")};
    QTest::newRow("Gruppe mit doppelt vergebener Stufe")
        << 2 << QStringList{{}, QStringLiteral("Lager"), {}, {}, {}}
        << QStringList{QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Bestand;1"),
                       QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Bestand;2"),
                       QStringLiteral("GRO;Groß Jürgen Karl;Lager;Lager;Inventur;1"),
                       QStringLiteral("OEZ;Özdemir Ayşe;Lager;Lager;Bestand;1"),
                       QStringLiteral("OEZ;Özdemir Ayşe;Lager;Lager;Bestand;2"),
                       QStringLiteral("OEZ;Özdemir Ayşe;Lager;Lager;Inventur;1")};
}

// Each tab's export holds the rows of its selection, the same as the command
// line's report; what holds no level still shows.
void TestAuswertung::exportWieKorvalDbReport() {
    QFETCH(int, seite);
    QFETCH(QStringList, auswahl);
    QFETCH(QStringList, zeilen);
    const QString formel = QStringLiteral("=HYPERLINK(\"http://x\")");
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?), ('@Leer')"), {formel});
    u->db->SqlAendern(
        QStringLiteral(
            "INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES (?, 1, 'MUE'), (?, 2, '+49')"),
        {formel, formel});
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('Lager', '-Sperre', '1')"));
    u->db->SqlAendern(
        QStringLiteral("INSERT INTO uv_programm_gruppe VALUES ('Lager', '-Sperre', '1', 1, '@Leer'), "
                       "('Lager', 'Bestand', '2', 2, 'Lager')"));
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    f->tabUebersicht->setCurrentIndex(seite);
    if (seite == 0) {
        ZeileKlicken(f->ctListMitarbeiter->Liste(),
                     Zeile(f->ctListMitarbeiter, auswahl[0] + QLatin1Char(';')));
    } else if (seite == 1) {
        StufeTippen(f, auswahl[2], auswahl[3], auswahl[4]);
    } else {
        ZeileKlicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, auswahl[1]));
        // The tab lists each level of the group once.
        QCOMPARE(Zeilen(f->ctListGruppeStufen),
                 u->db->Sql(QStringLiteral("SELECT DISTINCT programmname, subprogramm, berechtigungsstufe "
                                           "FROM uv_programm_gruppe WHERE gruppe = ? ORDER BY 1, 2, 3"),
                            {auswahl[1]}));
    }
    const QString csv = u->temp.filePath(QStringLiteral("tab.csv"));
    u->dialoge.dateien.push_back(csv);
    Klicken(f->cmdCsv);
    const QList<QStringList> datei = CsvDatei(csv);
    QVERIFY(!datei.isEmpty());
    QStringList gelesen;
    for (const QStringList& z : datei.mid(1))
        gelesen.append(z.join(QLatin1Char(';')));
    QStringList sortiert = gelesen;
    sortiert.sort();
    zeilen.sort();
    QCOMPARE(sortiert, zeilen);

    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QVERIFY2(Datenbankwerkzeug::Bericht({u->db->Server(), u->db->Port(), u->db->Namespace()},
                                        QStringLiteral("1"), auswahl, aus, err) == 0,
             qPrintable(fehler));
    QVERIFY(text.startsWith(QChar(0xFEFF)));
    QCOMPARE(CsvLesen(text.mid(1)), datei);
}

void TestAuswertung::doppelklickZeigtImHauptfenster() {
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    QCOMPARE(m_oeffnenRundreisen, 1L);
    f->tabUebersicht->setCurrentIndex(2);
    ZeileDoppelklicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, QStringLiteral("Lager")));
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    QCOMPARE(ListenZeilen(w->ctListGruppe).size(), 2);

    ZeileKlicken(f->ctListGruppen->Liste(), Zeile(f->ctListGruppen, QStringLiteral("Lager")));
    const int bestand = Zeile(f->ctListGruppeStufen, QStringLiteral("Lager;Bestand;2"));
    QVERIFY(bestand >= 0);
    ZeileDoppelklicken(f->ctListGruppeStufen->Liste(), bestand);
    QCOMPARE(w->cmbProgramm->currentText(), QStringLiteral("Lager"));
    QCOMPARE(w->cmbSubProgramm->currentText(), QStringLiteral("Bestand"));
    QCOMPARE(w->cmbProgrammStufe->currentText(), QStringLiteral("2"));
    QCOMPARE(ListenZeilen(w->ctListProgramm), QStringList{QStringLiteral("Lager")});

    ZeileDoppelklicken(f->ctListGruppeMitglieder->Liste(), Zeile(f->ctListGruppeMitglieder, QStringLiteral("OEZ")));
    const QModelIndex aktuell = w->ctListMitarbeiter->View()->currentIndex();
    QVERIFY(aktuell.isValid());
    QVERIFY(w->ctListMitarbeiter->Selected(aktuell.row()));
    QVERIFY(w->ctListMitarbeiter->List(aktuell.row()).startsWith(QStringLiteral("OEZ;")));
}

void TestAuswertung::fensterBehaeltGroesseUndOrt() {
    frmUebersicht* f = Oeffnen();
    QVERIFY(f);
    f->resize(777, 555);
    f->close();
    QVERIFY(!u->einstellungen->Get(QStringLiteral("Berechtigungsuebersicht")).isEmpty());
    // The next session's window comes up at that size.
    w.reset();
    w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    f = Oeffnen();
    QVERIFY(f);
    QCOMPARE(f->size(), QSize(777, 555));
    // The program ends while the window is open: every window is hidden, as at its real end.
    f->resize(700, 500);
    Zustand().AlleFensterEntladen = [] {
        for (QWidget* fenster : QApplication::topLevelWidgets())
            fenster->hide();
    };
    w->Beenden->trigger();
    QCOMPARE(u->beendet, 1);
    u->beendet = 0;
    Zustand().AlleFensterEntladen = {};
    w.reset();
    w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    f = Oeffnen();
    QVERIFY(f);
    QCOMPARE(f->size(), QSize(700, 500));
}

QTEST_MAIN(TestAuswertung)
#include "tst_auswertung.moc"
