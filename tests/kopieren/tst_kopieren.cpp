// Copying a group and taking over a colleague's rights, through the dialogs
// and korval-db; results read from the tables.

#include "testumgebung.h"

#include "server/sqlfactory.h"

#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/frmgruppekopieren.h"
#include "mainwindow/frmrechteuebernehmen.h"
#include "permissions/berechtigungen.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

namespace {
void Speichern(Testumgebung& u, const QString& gruppe, const QStringList& codes) {
    u.Aendern([&](CacheFactory& f) {
        f.Klassenmethoden(Berechtigung::KlasseGruppen)
            ->Methode(QStringLiteral("SaveCodes"), {gruppe, Liste(f, codes)});
    });
}

// The levels a group holds, each once, sorted.
QStringList Stufen(const Testdatenbank& db, const QString& gruppe) {
    QStringList s = db.Sql(QStringLiteral("SELECT DISTINCT programmname || '/' || subprogramm || '/' || "
                                          "berechtigungsstufe FROM uv_programm_gruppe WHERE gruppe = ?"),
                           {gruppe});
    s.sort();
    return s;
}

// Every table the commands touch, as sorted rows.
QStringList Tabellen(const Testdatenbank& db) {
    QStringList t = db.Sql(QStringLiteral("SELECT 'G ' || gruppe FROM uv_gruppen"));
    t += db.Sql(QStringLiteral("SELECT 'M ' || gruppe || '/' || pos || '/' || pcode FROM uv_gruppen_pcode"));
    t += db.Sql(
        QStringLiteral("SELECT 'R ' || programmname || '/' || subprogramm || '/' || berechtigungsstufe || "
                       "'/' || gruppe FROM uv_programm_gruppe"));
    t.sort();
    return t;
}

void Zeigen(QWidget* fenster) {
    fenster->show();
    QVERIFY(QTest::qWaitForWindowExposed(fenster));
}

// The employee with `code` chosen in a filter list by typing it into the filter and clicking the row.
void MitarbeiterWaehlen(CtFilterList* l, const QString& code) {
    l->Filter()->setFocus();
    l->Filter()->clear();
    Eintippen(l->Filter(), code);
    for (int i = 0; i < l->Angezeigt(); ++i)
        if (l->Gezeigt(i)->daten.toStringList().value(0) == code) {
            ZeileKlicken(l->Liste(), i);
            return;
        }
    QFAIL(qPrintable(QStringLiteral("%1 nicht in der Liste").arg(code)));
}
} // namespace

class TestKopieren : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void kopieGleichtQuelle_data();
    void kopieGleichtQuelle();
    void verweigerteNamen_data();
    void verweigerteNamen();
    void rechteVonKollegen();
    void gleichzeitigeAenderung_data();
    void gleichzeitigeAenderung();
    void werkzeug_data();
    void werkzeug();
    void ungesichertesBleibt_data();
    void ungesichertesBleibt();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestKopieren::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestKopieren::cleanup() {
    Abbauen(u, w);
}

void TestKopieren::kopieGleichtQuelle_data() {
    QTest::addColumn<QString>("quelle");
    QTest::addColumn<bool>("mitglieder");
    QTest::addColumn<bool>("stufen");
    QTest::newRow("Verkauf ganz") << QStringLiteral("Verkauf") << true << true;
    QTest::newRow("Verwaltung ohne Mitglieder") << QStringLiteral("Verwaltung") << false << true;
    QTest::newRow("Lager ohne Stufen") << QStringLiteral("Lager") << true << false;
    QTest::newRow("Revision leer") << QStringLiteral("Revision") << true << true;
}

// The copy holds the source's members in their order and every level the
// source holds; the source stays as it was; Ctrl+Z takes the copy back whole.
void TestKopieren::kopieGleichtQuelle() {
    QFETCH(QString, quelle);
    QFETCH(bool, mitglieder);
    QFETCH(bool, stufen);
    // A level that lists the source twice still gains the copy once.
    u->db->SqlAendern(
        QStringLiteral("INSERT INTO uv_programm_gruppe VALUES ('Auftrag', 'Drucken', '1', 9, ?)"), {quelle});
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(quelle);
    const QStringList vorher = Tabellen(*u->db);
    const QString neu = QStringLiteral("Kopie von ") + quelle + QStringLiteral(" äß");
    bool gezeigt = false;
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmGruppeKopieren*>(fenster);
        QVERIFY(d);
        gezeigt = true;
        Zeigen(d);
        QCOMPARE(d->cmbQuelle->currentText(), quelle);
        QVERIFY(d->chkMitglieder->isChecked() && d->chkStufen->isChecked());
        d->txtName->setFocus();
        Eintippen(d->txtName, neu);
        if (!mitglieder) Klicken(d->chkMitglieder);
        if (!stufen) Klicken(d->chkStufen);
        const long anfrage = u->Factory()->rundreisen();
        Klicken(d->cmdKopieren);
        QVERIFY(!d->isVisible());
        // One request: the copy, answered with the group list the main window shows.
        QCOMPARE(u->Factory()->rundreisen() - anfrage, 1L);
    });
    w->mGruppeKopieren->trigger();
    QVERIFY(gezeigt);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(u->db->Mitglieder(neu), mitglieder ? u->db->Mitglieder(quelle) : QString());
    QCOMPARE(Stufen(*u->db, neu), stufen ? Stufen(*u->db, quelle) : QStringList());
    // Once per level, at the end of its list.
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = ?"), {neu})
                 .value(0),
             QString::number(Stufen(*u->db, neu).size()));
    QCOMPARE(
        u->db
            ->Sql(QStringLiteral(
                      "SELECT COUNT(*) FROM uv_programm_gruppe n WHERE n.gruppe = ? AND n.pos < "
                      "(SELECT MAX(pos) FROM uv_programm_gruppe x WHERE x.programmname = n.programmname "
                      "AND x.subprogramm = n.subprogramm AND x.berechtigungsstufe = n.berechtigungsstufe)"),
                  {neu})
            .value(0),
        QStringLiteral("0"));
    // Nothing else changed: without the new group's rows the tables are as before.
    QStringList nachher = Tabellen(*u->db);
    nachher.erase(
        std::remove_if(nachher.begin(), nachher.end(), [&](const QString& z) { return z.contains(neu); }),
        nachher.end());
    QCOMPARE(nachher, vorher);
    QCOMPARE(w->cmbGruppe->currentText(), neu);
    QCOMPARE(ListenZeilen(w->ctListGruppe).size(),
             mitglieder
                 ? u->db->Sql(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = ?"), {quelle})
                       .size()
                 : 0);
    u->dialoge.auswahl = {0};
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("Auswahl")));
    QCOMPARE(Tabellen(*u->db), vorher);
}

void TestKopieren::verweigerteNamen_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("meldung");
    QTest::newRow("leer") << QString() << QStringLiteral("Bitte einen Namen");
    QTest::newRow("vorhanden") << QStringLiteral("Lager") << QStringLiteral("besteht bereits");
    QTest::newRow("die Quelle selbst") << QStringLiteral("Verkauf") << QStringLiteral("besteht bereits");
    QTest::newRow("Trenner") << QStringLiteral("a||b") << QStringLiteral("\"||\" nicht enthalten");
    QTest::newRow("Strich vorn") << QStringLiteral("|Neu") << QStringLiteral("\"||\" nicht enthalten");
    QTest::newRow("Strich hinten") << QStringLiteral("Neu|") << QStringLiteral("\"||\" nicht enthalten");
}

// A refused name stores nothing and keeps the dialog open with the name typed.
void TestKopieren::verweigerteNamen() {
    QFETCH(QString, name);
    QFETCH(QString, meldung);
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(QStringLiteral("Verkauf"));
    const QStringList vorher = Tabellen(*u->db);
    const qsizetype eintraege = u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll")).size();
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmGruppeKopieren*>(fenster);
        QVERIFY(d);
        Zeigen(d);
        d->txtName->setFocus();
        Eintippen(d->txtName, name);
        Klicken(d->cmdKopieren);
        QVERIFY(d->isVisible());
        QCOMPARE(d->txtName->text(), name);
        Klicken(d->cmdAbbrechen);
    });
    w->mGruppeKopieren->trigger();
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.contains(meldung), qPrintable(m->text));
    QVERIFY(m->text.contains(QStringLiteral("nichts gespeichert")));
    QCOMPARE(Tabellen(*u->db), vorher);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll")).size(), eintraege);
}

// GRO (in Lager) takes over the rights of BAE (in Verkauf, Lager and
// Verwaltung): GRO joins Verkauf and Verwaltung, one log entry each.
void TestKopieren::rechteVonKollegen() {
    Speichern(*u, QStringLiteral("Lager"),
              {QStringLiteral("GRO"), QStringLiteral("OEZ"), QStringLiteral("BAE")});
    Speichern(*u, QStringLiteral("Verwaltung"),
              {QStringLiteral("ADM"), QStringLiteral("SOM"), QStringLiteral("BAE")});
    QVERIFY(Starten(*u, *w));
    for (int i = 0; i < w->ctListMitarbeiter->ListCount(); ++i)
        if (w->ctListMitarbeiter->List(i).startsWith(QStringLiteral("GRO;")))
            ZeileKlicken(w->ctListMitarbeiter, i);
    // The levels GRO gains, straight from the tables.
    auto stufenVon = [&](const QString& code) {
        return u->db->Sql(
            QStringLiteral("SELECT DISTINCT pg.programmname || '/' || pg.subprogramm || '/' || "
                           "pg.berechtigungsstufe FROM uv_gruppen_pcode gp JOIN uv_programm_gruppe pg ON "
                           "pg.gruppe = gp.gruppe WHERE gp.pcode = ?"),
            {code});
    };
    QSet<QString> neu;
    for (const QString& s : stufenVon(QStringLiteral("BAE")))
        if (!stufenVon(QStringLiteral("GRO")).contains(s)) neu.insert(s);
    const qint64 start =
        u->db->Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0).toLongLong();
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmRechteUebernehmen*>(fenster);
        QVERIFY(d);
        Zeigen(d);
        const QModelIndex aktuell = d->ctListMitarbeiter->Liste()->View()->currentIndex();
        QVERIFY(aktuell.isValid());
        QCOMPARE(d->ctListMitarbeiter->Gezeigt(aktuell.row())->daten.toStringList().value(0),
                 QStringLiteral("GRO"));
        MitarbeiterWaehlen(d->ctListWie, QStringLiteral("BAE"));
        QCOMPARE(ListenZeilen(d->ctListGruppen),
                 (QStringList{QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}));
        QVERIFY2(d->lblStufen->text().contains(QStringLiteral(" %1 ").arg(neu.size())),
                 qPrintable(d->lblStufen->text()));
        const long anfrage = u->Factory()->rundreisen();
        Klicken(d->cmdUebernehmen);
        // The take-over in one request, then the preview read anew.
        QCOMPARE(u->Factory()->rundreisen() - anfrage, 3L);
        // Nothing left to take over.
        QCOMPARE(d->ctListGruppen->ListCount(), 0);
        QVERIFY(!d->cmdUebernehmen->isEnabled());
        Klicken(d->cmdSchliessen);
    });
    w->mRechteUebernehmen->trigger();
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verkauf")), QStringLiteral("USR,BAE,MUE,GRO"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verwaltung")), QStringLiteral("ADM,SOM,BAE,GRO"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ,BAE"));
    QCOMPARE(u->db->Sql(QStringLiteral(
                            "SELECT befehl || ' ' || objekt FROM uv_protokoll WHERE nr > ? ORDER BY objekt"),
                        {start}),
             (QStringList{QStringLiteral("speichern Gruppe Verkauf"),
                          QStringLiteral("speichern Gruppe Verwaltung")}));
}

void TestKopieren::gleichzeitigeAenderung_data() {
    QTest::addColumn<QString>("geaendert");
    QTest::newRow("erste Gruppe") << QStringLiteral("Verkauf");
    QTest::newRow("letzte Gruppe") << QStringLiteral("Verwaltung");
}

// Another workstation changes one of the groups while the dialog shows its
// preview: the question comes, nothing is stored; after "Neu laden" the
// takeover keeps the other change.
void TestKopieren::gleichzeitigeAenderung() {
    QFETCH(QString, geaendert);
    Speichern(*u, QStringLiteral("Verwaltung"),
              {QStringLiteral("ADM"), QStringLiteral("SOM"), QStringLiteral("BAE")});
    QVERIFY(Starten(*u, *w));
    const QString fremd = u->db->Mitglieder(geaendert) + QStringLiteral(",NEU");
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmRechteUebernehmen*>(fenster);
        QVERIFY(d);
        Zeigen(d);
        MitarbeiterWaehlen(d->ctListMitarbeiter, QStringLiteral("GRO"));
        MitarbeiterWaehlen(d->ctListWie, QStringLiteral("BAE"));
        QCOMPARE(d->ctListGruppen->ListCount(), 2);
        Speichern(*u, geaendert, fremd.split(QLatin1Char(',')));
        const QStringList vorher = Tabellen(*u->db);
        u->dialoge.auswahl = {1};
        Klicken(d->cmdUebernehmen);
        const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("Auswahl"));
        QVERIFY(frage);
        QCOMPARE(frage->titel, QStringLiteral("Gleichzeitige Änderung"));
        QVERIFY2(frage->text.contains(QStringLiteral("Gruppe ") + geaendert), qPrintable(frage->text));
        QCOMPARE(Tabellen(*u->db), vorher);
        u->dialoge.auswahl = {0};
        Klicken(d->cmdUebernehmen);
        QCOMPARE(Tabellen(*u->db), vorher);
        QCOMPARE(d->ctListGruppen->ListCount(), 2);
        Klicken(d->cmdUebernehmen);
        Klicken(d->cmdSchliessen);
    });
    w->mRechteUebernehmen->trigger();
    QCOMPARE(u->db->Mitglieder(geaendert), fremd + QStringLiteral(",GRO"));
    QVERIFY(u->db
                ->Mitglieder(geaendert == QLatin1String("Verkauf") ? QStringLiteral("Verwaltung")
                                                                   : QStringLiteral("Verkauf"))
                .endsWith(QStringLiteral(",GRO")));
}

void TestKopieren::werkzeug_data() {
    QTest::addColumn<QStringList>("aufruf");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("mitglieder"); // of the group "Neu" afterwards
    QTest::newRow("kopieren") << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"),
                                             QStringLiteral("Neu")}
                              << 0 << QStringLiteral("USR,BAE,MUE");
    QTest::newRow("ohne Mitglieder") << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"),
                                                    QStringLiteral("Neu"), QStringLiteral("ohne-mitglieder")}
                                     << 0 << QString();
    QTest::newRow("vorhanden") << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"),
                                              QStringLiteral("Lager")}
                               << 2 << QString();
    QTest::newRow("Quelle fehlt") << QStringList{QStringLiteral("kopieren"), QStringLiteral("Gibtsnicht"),
                                                 QStringLiteral("Neu")}
                                  << 2 << QString();
    QTest::newRow("Name ungültig") << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"),
                                                  QStringLiteral("Ne||u")}
                                   << 2 << QString();
    QTest::newRow("übernehmen") << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("USR"),
                                               QStringLiteral("GRO")}
                                << 0 << QString();
    QTest::newRow("nichts zu übernehmen")
        << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("BAE"), QStringLiteral("USR")} << 1
        << QString();
    QTest::newRow("derselbe") << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("USR"),
                                             QStringLiteral("USR")}
                              << 2 << QString();
    QTest::newRow("Vergleich derselbe")
        << QStringList{QStringLiteral("vergleich"), QStringLiteral("USR"), QStringLiteral("USR")} << 2
        << QString();
    // Codes as the program compares them; unknown ones are wrong input.
    QTest::newRow("übernehmen klein geschrieben")
        << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("usr"), QStringLiteral("gro")} << 0 << QString();
    QTest::newRow("nach unbekannt") << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("USR"),
                                                   QStringLiteral("ZZZ")}
                                    << 2 << QString();
    QTest::newRow("von unbekannt") << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("ZZZ"),
                                                  QStringLiteral("GRO")}
                                   << 2 << QString();
    QTest::newRow("Vergleich unbekannt")
        << QStringList{QStringLiteral("vergleich"), QStringLiteral("USR"), QStringLiteral("XYZ")} << 2 << QString();
    QTest::newRow("Bericht Mitarbeiter unbekannt")
        << QStringList{QStringLiteral("bericht"), QStringLiteral("XYZ"), QString()} << 2 << QString();
    QTest::newRow("Bericht Gruppe unbekannt")
        << QStringList{QStringLiteral("bericht"), QString(), QStringLiteral("Gibtsnicht")} << 2 << QString();
    QTest::newRow("Bericht Mitarbeiter klein")
        << QStringList{QStringLiteral("bericht"), QStringLiteral("usr"), QString()} << 0 << QString();
    // A department entry is stored lower-case: taken as typed.
    QTest::newRow("Bericht Abteilung")
        << QStringList{QStringLiteral("bericht"), QStringLiteral("s10"), QString()} << 0 << QString();
    QTest::newRow("Kopie Name endet mit Strich")
        << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"), QStringLiteral("Neu|")} << 2 << QString();
    // Changes need an administrator signed on with his password (default ADM).
    QTest::newRow("Kopie ohne Anmeldung")
        << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"), QStringLiteral("Neu"), QStringLiteral("--als=")}
        << 2 << QString();
    QTest::newRow("Kopie falsches Passwort")
        << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"), QStringLiteral("Neu"),
                       QStringLiteral("--als=ADM:falsch")}
        << 2 << QString();
    QTest::newRow("übernehmen als Gruppe 5")
        << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("USR"), QStringLiteral("GRO"),
                       QStringLiteral("--als=USR:user")}
        << 2 << QString();
    // An employee record holds the code in the 7-bit form, the group lists as the window shows it.
    QTest::newRow("übernehmen nach ärz")
        << QStringList{QStringLiteral("uebernehmen"), QStringLiteral("USR"), QStringLiteral("ärz")} << 0 << QString();
    QTest::newRow("Kopie als SOM klein geschrieben")
        << QStringList{QStringLiteral("kopieren"), QStringLiteral("Verkauf"), QStringLiteral("Neu"),
                       QStringLiteral("--als=som:s1")}
        << 0 << QStringLiteral("USR,BAE,MUE");
}

void TestKopieren::werkzeug() {
    QFETCH(QStringList, aufruf);
    QFETCH(int, status);
    QFETCH(QString, mitglieder);
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    const QString als = aufruf.filter(QStringLiteral("--als=")).value(0, QStringLiteral("--als=ADM:demo")).mid(6);
    aufruf.removeIf([](const QString& a) { return a.startsWith(QLatin1String("--als=")); });
    z.als = als.section(QLatin1Char(':'), 0, 0);
    z.passwort = als.section(QLatin1Char(':'), 1);
    const QString letzterEintrag = u->db->Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0);
    u->db->SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, pname) VALUES ('1', '[RZ', 'Arzt')"));
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    const QStringList vorher = Tabellen(*u->db);
    int s = -1;
    if (aufruf[0] == QLatin1String("kopieren"))
        s = Datenbankwerkzeug::GruppeKopieren(
            z, aufruf[1], aufruf[2], !aufruf.contains(QStringLiteral("ohne-mitglieder")), true, aus, err);
    else if (aufruf[0] == QLatin1String("uebernehmen"))
        s = Datenbankwerkzeug::RechteUebernehmen(z, QStringLiteral("1"), aufruf[1], aufruf[2], aus, err);
    else if (aufruf[0] == QLatin1String("bericht"))
        s = Datenbankwerkzeug::Bericht(z, QStringLiteral("1"), {aufruf[1], aufruf[2], QString(), QString(), QString()},
                                       aus, err);
    else
        s = Datenbankwerkzeug::Vergleich(z, QStringLiteral("1"), aufruf[1], aufruf[2], aus, err);
    QVERIFY2(s == status, qPrintable(text + fehler));
    if (status != 0) {
        QVERIFY(!fehler.isEmpty() || !text.isEmpty());
        // German, without the server's internal tags.
        QVERIFY2(!fehler.contains(QLatin1Char('<')), qPrintable(fehler));
        QCOMPARE(Tabellen(*u->db), vorher);
        if (status == 2) QVERIFY2(text.isEmpty(), qPrintable(text)); // no report header for a wrong input
        return;
    }
    if (aufruf[0] == QLatin1String("bericht")) {
        QVERIFY2(text.contains(aufruf[1] == QLatin1String("s10") ? QStringLiteral("s10") : QStringLiteral("USR")),
                 qPrintable(text));
        return;
    }
    // The log names who signed on, as the program stores codes.
    if (aufruf[0] != QLatin1String("vergleich"))
        QCOMPARE(u->db->Sql(QStringLiteral("SELECT DISTINCT pcode FROM uv_protokoll WHERE nr > ?"), {letzterEintrag}),
                 QStringList{z.als.toUpper()});
    if (aufruf[0] == QLatin1String("kopieren")) {
        QCOMPARE(u->db->Mitglieder(QStringLiteral("Neu")), mitglieder);
        QCOMPARE(Stufen(*u->db, QStringLiteral("Neu")), Stufen(*u->db, aufruf[1]));
    } else {
        // GRO is now in every group of USR.
        for (const QString& g :
             u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_gruppen_pcode WHERE pcode = ?"), {aufruf[1].toUpper()}))
            QVERIFY2(u->db->Mitglieder(g).split(QLatin1Char(',')).contains(aufruf[2].toUpper()), qPrintable(g));
    }
}

void TestKopieren::ungesichertesBleibt_data() {
    QTest::addColumn<QString>("befehl");
    QTest::addColumn<int>("antwort"); // to "Ungesicherte Änderungen … verwerfen?"
    QTest::newRow("kopieren, behalten") << QStringLiteral("kopieren") << int(DialogService::No);
    QTest::newRow("kopieren, verwerfen") << QStringLiteral("kopieren") << int(DialogService::Yes);
    QTest::newRow("übernehmen") << QStringLiteral("übernehmen") << 0;
}

// Unsaved edits of the group shown are not replaced unasked by a copy, and a
// take-over into that group is this window's own change, not a conflict.
void TestKopieren::ungesichertesBleibt() {
    QFETCH(QString, befehl);
    QFETCH(int, antwort);
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(QStringLiteral("Verkauf"));
    w->txtUser->setFocus();
    QTest::keyClicks(w->txtUser, QStringLiteral("NEU"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    QVERIFY(w->windowTitle().endsWith(QStringLiteral(" *")));
    if (befehl == QLatin1String("kopieren")) {
        u->dialoge.antworten.push_back(antwort);
        u->dialoge.modal.push_back([&](QWidget* fenster) {
            auto* d = qobject_cast<frmGruppeKopieren*>(fenster);
            QVERIFY(d);
            Zeigen(d);
            d->txtName->setFocus();
            Eintippen(d->txtName, QStringLiteral("Kopie"));
            Klicken(d->cmdKopieren);
        });
        w->mGruppeKopieren->trigger();
        QVERIFY(u->db->Mitglieder(QStringLiteral("Kopie")).startsWith(QStringLiteral("USR")));
        const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("MsgBox"));
        QVERIFY(frage);
        QCOMPARE(frage->text, QStringLiteral("Ungesicherte Änderungen der Gruppe Verkauf verwerfen?"));
        const bool behalten = antwort == DialogService::No;
        QCOMPARE(w->cmbGruppe->currentText(), behalten ? QStringLiteral("Verkauf") : QStringLiteral("Kopie"));
        QCOMPARE(ListenZeilen(w->ctListGruppe).filter(QStringLiteral("NEU;")).size(), behalten ? 1 : 0);
        QCOMPARE(w->windowTitle().endsWith(QStringLiteral(" *")), behalten);
        return;
    }
    for (int i = 0; i < w->ctListMitarbeiter->ListCount(); ++i)
        if (w->ctListMitarbeiter->List(i).startsWith(QStringLiteral("GRO;"))) ZeileKlicken(w->ctListMitarbeiter, i);
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmRechteUebernehmen*>(fenster);
        QVERIFY(d);
        Zeigen(d);
        MitarbeiterWaehlen(d->ctListWie, QStringLiteral("BAE"));
        Klicken(d->cmdUebernehmen);
        Klicken(d->cmdSchliessen);
    });
    w->mRechteUebernehmen->trigger();
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verkauf")), QStringLiteral("USR,BAE,MUE,GRO"));
    // Both on screen: the edit and the member taken over.
    QCOMPARE(ListenZeilen(w->ctListGruppe).filter(QRegularExpression(QStringLiteral("^(NEU|GRO);"))).size(), 2);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
    QStringList gespeichert = u->db->Mitglieder(QStringLiteral("Verkauf")).split(QLatin1Char(','));
    gespeichert.sort();
    QCOMPARE(gespeichert, (QStringList{QStringLiteral("BAE"), QStringLiteral("GRO"), QStringLiteral("MUE"),
                                       QStringLiteral("NEU"), QStringLiteral("USR")}));
    QVERIFY(!w->windowTitle().endsWith(QStringLiteral(" *")));
}

QTEST_MAIN(TestKopieren)
#include "tst_kopieren.moc"
