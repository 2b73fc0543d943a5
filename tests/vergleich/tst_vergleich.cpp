// Comparing two employees: the window's lists and korval-db's report against
// a computation straight from the tables.

#include "testumgebung.h"

#include "auswertung/frmvergleich.h"
#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTreeView>
#include <QtTest>

namespace {
// What an employee holds, from the tables: level → granting groups.
QMap<QString, QStringList> Rechte(const Testdatenbank& db, const QString& code) {
    QMap<QString, QStringList> r;
    for (const QString& z :
         db.Sql(QStringLiteral(
                    "SELECT DISTINCT pg.programmname, pg.subprogramm, pg.berechtigungsstufe, pg.gruppe "
                    "FROM uv_gruppen_pcode gp JOIN uv_programm_gruppe pg ON pg.gruppe = gp.gruppe "
                    "WHERE gp.pcode = ?"),
                {code})) {
        QStringList& g = r[z.section(QLatin1Char(';'), 0, 2)];
        g.append(z.section(QLatin1Char(';'), 3));
        g.sort();
    }
    return r;
}

QStringList Gruppen(const Testdatenbank& db, const QString& code) {
    QStringList g =
        db.Sql(QStringLiteral("SELECT DISTINCT gruppe FROM uv_gruppen_pcode WHERE pcode = ?"), {code});
    g.sort();
    return g;
}

// The rows a list shows (filter empty), sorted.
QStringList Zeilen(CtFilterList* l) {
    QStringList z;
    for (int i = 0; i < l->Angezeigt(); ++i)
        z.append(l->Gezeigt(i)->text);
    z.sort();
    return z;
}

void Waehlen(CtFilterList* l, const QString& code) {
    l->Filter()->setFocus();
    Eintippen(l->Filter(), code);
    for (int i = 0; i < l->Angezeigt(); ++i)
        if (l->Gezeigt(i)->daten.toStringList().value(0) == code) {
            ZeileKlicken(l->Liste(), i);
            l->Filter()->clear();
            return;
        }
    QFAIL(qPrintable(code));
}
} // namespace

class TestVergleich : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void gegenTabellen_data();
    void gegenTabellen();
    void dateien();
    void tastatur();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestVergleich::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestVergleich::cleanup() {
    Abbauen(u, w);
}

void TestVergleich::gegenTabellen_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("vorher"); // a statement run on the tables first, or ""
    QTest::newRow("überschneidend") << QStringLiteral("USR") << QStringLiteral("ADM") << QString();
    QTest::newRow("getrennt") << QStringLiteral("GRO") << QStringLiteral("ADM") << QString();
    QTest::newRow("gleich") << QStringLiteral("USR") << QStringLiteral("BAE") << QString();
    QTest::newRow("einer ohne Rechte") << QStringLiteral("INA") << QStringLiteral("USR") << QString();
    QTest::newRow("beide ohne Rechte") << QStringLiteral("INA") << QStringLiteral("SOM")
                                       << QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE pcode = 'SOM'");
    // One level through two groups of the one and one group of the other.
    QTest::newRow("mehrere Gruppen") << QStringLiteral("GRO") << QStringLiteral("OEZ")
                                     << QStringLiteral(
                                            "INSERT INTO uv_gruppen_pcode VALUES ('Verkauf', 9, 'GRO')");
    // A group of each without any level shows among the groups.
    QTest::newRow("Gruppe ohne Stufen")
        << QStringLiteral("ADM") << QStringLiteral("MUE")
        << QStringLiteral("INSERT INTO uv_gruppen_pcode VALUES ('Revision', 1, 'ADM')");
}

void TestVergleich::gegenTabellen() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, vorher);
    if (!vorher.isEmpty()) u->db->SqlAendern(vorher);
    QVERIFY(Starten(*u, *w));
    w->mVergleich->trigger();
    frmVergleich* f = w->VergleichFenster();
    QVERIFY(f && f->isVisible() && !f->isModal());
    Waehlen(f->ctListA, a);
    Waehlen(f->ctListB, b);

    const auto ra = Rechte(*u->db, a), rb = Rechte(*u->db, b);
    QStringList nurA, beide, nurB;
    const QString komma = QStringLiteral(", ");
    for (auto it = ra.begin(); it != ra.end(); ++it)
        if (rb.contains(it.key()))
            beide.append(it.key() + QLatin1Char(';') + it.value().join(komma) + QLatin1Char(';') +
                         rb.value(it.key()).join(komma));
        else
            nurA.append(it.key() + QLatin1Char(';') + it.value().join(komma));
    for (auto it = rb.begin(); it != rb.end(); ++it)
        if (!ra.contains(it.key())) nurB.append(it.key() + QLatin1Char(';') + it.value().join(komma));
    nurA.sort();
    beide.sort();
    nurB.sort();
    QCOMPARE(Zeilen(f->ctListNurA), nurA);
    QCOMPARE(Zeilen(f->ctListBeide), beide);
    QCOMPARE(Zeilen(f->ctListNurB), nurB);
    QCOMPARE(Zeilen(f->ctListGruppenA), Gruppen(*u->db, a));
    QCOMPARE(Zeilen(f->ctListGruppenB), Gruppen(*u->db, b));
    if (nurA.isEmpty()) QVERIFY(f->ctListNurA->Hinweis()->isVisible());

    // korval-db's report: each level of each employee under the same heading.
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QCOMPARE(Datenbankwerkzeug::Vergleich(z, QStringLiteral("1"), a, b, aus, err), 0);
    QSet<QString> bericht, erwartet;
    const QList<QStringList> csv = CsvLesen(text.mid(1));
    QCOMPARE(csv.value(0).join(QLatin1Char(';')),
             QStringLiteral("Vergleich;Code;Name;Gruppe;Programm;Unterprogramm;Stufe"));
    for (const QStringList& r : csv.mid(1))
        bericht.insert(r.value(0) + QLatin1Char('/') + r.value(1) + QLatin1Char('/') + r.value(3) +
                       QLatin1Char('/') + r.mid(4).join(QLatin1Char(';')));
    for (const auto* seite : {&ra, &rb}) {
        const QString code = seite == &ra ? a : b;
        const auto& andere = seite == &ra ? rb : ra;
        for (auto it = seite->begin(); it != seite->end(); ++it)
            for (const QString& g : it.value())
                erwartet.insert(
                    (andere.contains(it.key()) ? QStringLiteral("beide") : QStringLiteral("nur ") + code) +
                    QLatin1Char('/') + code + QLatin1Char('/') + g + QLatin1Char('/') + it.key());
        const QStringList andereGruppen = Gruppen(*u->db, seite == &ra ? b : a);
        for (const QString& g : Gruppen(*u->db, code))
            if (u->db->Sql(QStringLiteral("SELECT 1 FROM uv_programm_gruppe WHERE gruppe = ?"), {g})
                    .isEmpty())
                erwartet.insert(
                    (andereGruppen.contains(g) ? QStringLiteral("beide") : QStringLiteral("nur ") + code) +
                    QLatin1Char('/') + code + QLatin1Char('/') + g + QStringLiteral("/;;"));
    }
    QCOMPARE(bericht, erwartet);
}

// CSV as korval-db writes it, PDF, and the window stays open beside the main window.
void TestVergleich::dateien() {
    QVERIFY(Starten(*u, *w));
    w->mVergleich->trigger();
    frmVergleich* f = w->VergleichFenster();
    QVERIFY(f);
    Klicken(f->cmdCsv);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Mitarbeiter vergleichen"));
    Waehlen(f->ctListA, QStringLiteral("USR"));
    Waehlen(f->ctListB, QStringLiteral("ADM"));
    const QString csv = u->temp.filePath(QStringLiteral("v.csv")),
                  pdf = u->temp.filePath(QStringLiteral("v.pdf"));
    u->dialoge.dateien = {csv, pdf};
    Klicken(f->cmdCsv);
    Klicken(f->cmdPdf);
    QFile c(csv), p(pdf);
    QVERIFY(c.open(QIODevice::ReadOnly) && p.open(QIODevice::ReadOnly));
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QCOMPARE(Datenbankwerkzeug::Vergleich(z, QStringLiteral("1"), QStringLiteral("USR"),
                                          QStringLiteral("ADM"), aus, err),
             0);
    QCOMPARE(c.readAll(), text.toUtf8());
    QVERIFY(p.read(5) == "%PDF-");
    QVERIFY(f->isVisible());
}

// Keyboard users: the window starts with the employee chosen in the main
// window, Down and Enter in a filter field go on to its list, Escape closes.
void TestVergleich::tastatur() {
    QVERIFY(Starten(*u, *w));
    for (int i = 0; i < w->ctListMitarbeiter->ListCount(); ++i)
        if (w->ctListMitarbeiter->List(i).startsWith(QStringLiteral("BAE;"))) ZeileKlicken(w->ctListMitarbeiter, i);
    w->mVergleich->trigger();
    frmVergleich* f = w->VergleichFenster();
    QVERIFY(f && f->isVisible());
    const QModelIndex a = f->ctListA->Liste()->View()->currentIndex();
    QVERIFY(a.isValid());
    QCOMPARE(f->ctListA->Gezeigt(a.row())->daten.toStringList().value(0), QStringLiteral("BAE"));
    f->ctListB->Filter()->setFocus();
    Eintippen(f->ctListB->Filter(), QStringLiteral("OEZ"));
    QTest::keyClick(f->ctListB->Filter(), Qt::Key_Return);
    QVERIFY(f->ctListB->Liste()->View()->hasFocus());
    const QModelIndex b = f->ctListB->Liste()->View()->currentIndex();
    QVERIFY(b.isValid());
    QCOMPARE(f->ctListB->Gezeigt(b.row())->daten.toStringList().value(0), QStringLiteral("OEZ"));
    QVERIFY(Zeilen(f->ctListGruppenB) == Gruppen(*u->db, QStringLiteral("OEZ")));
    QTest::keyClick(f, Qt::Key_Escape);
    QVERIFY(!f->isVisible());
}

QTEST_MAIN(TestVergleich)
#include "tst_vergleich.moc"
