// Memberships with an end date: set and removed in the member list's dialog,
// ended by the sign-on and by korval-db, each logged; results read from the tables.

#include "testumgebung.h"

#include "server/sqlfactory.h"

#include "auswertung/frmuebersicht.h"
#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/frmbefristen.h"
#include "mainwindow/frmgruppekopieren.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {
// The end dates as stored: "group/code/date/reason/who", sorted.
QStringList Daten(const Testdatenbank& db) {
    QStringList d = db.Sql(
        QStringLiteral("SELECT gruppe || '/' || pcode || '/' || bis || '/' || grund || '/' || wer FROM uv_befristung"));
    d.sort();
    return d;
}

// The log entries after `nr`: "command|record|before|after|tied to an entry".
QStringList Eintraege(const Testdatenbank& db, const QString& nr) {
    return db.Sql(QStringLiteral("SELECT befehl || '|' || objekt || '|' || vorher || '|' || nachher || '|' || "
                                 "CASE WHEN bezug = 0 THEN '-' ELSE 'bezug' END FROM uv_protokoll WHERE nr > ? ORDER BY nr"),
                  {nr});
}

QString LetzteNr(const Testdatenbank& db) {
    return db.Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0);
}

int Zeile(const CtList* l, const QString& code) {
    for (int i = 0; i < l->ListCount(); ++i)
        if (l->List(i).section(QLatin1Char(';'), 0, 0) == code) return i;
    return -1;
}

// In the shown dialog: the date typed as a user types it, the reason, then a button.
void DatumEingeben(frmBefristen* d, const QString& datum) {
    d->txtBis->setFocus();
    QTest::keyClick(d->txtBis, Qt::Key_Home);
    d->txtBis->setSelectedSection(QDateTimeEdit::DaySection);
    // Digits only: each full section moves on to the next, as the date edit does.
    QTest::keyClicks(d->txtBis, QString(datum).remove(QLatin1Char('.')));
}
} // namespace

class TestBefristung : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void befristenUndAufheben_data();
    void befristenUndAufheben();
    void verweigert_data();
    void verweigert();
    void ablaufBeimAnmelden();
    void mitgliedGehtDatumGeht_data();
    void mitgliedGehtDatumGeht();
    void uebersichtUndWerkzeug();

  private:
    // Signed on through the dialog, the group shown, the member's row clicked.
    void GruppeMitMitglied(const QString& gruppe, const QString& code);
    // Opens the dialog through the member list's menu (right mouse button) or the key.
    void DialogOeffnen(bool perMenue);
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestBefristung::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestBefristung::cleanup() {
    Abbauen(u, w);
}

void TestBefristung::GruppeMitMitglied(const QString& gruppe, const QString& code) {
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(gruppe);
    const int z = Zeile(w->ctListGruppe, code);
    QVERIFY2(z >= 0, qPrintable(ListenZeilen(w->ctListGruppe).join(QLatin1Char(','))));
    ZeileKlicken(w->ctListGruppe, z);
}

void TestBefristung::DialogOeffnen(bool perMenue) {
    if (!perMenue) {
        // The key works in the main window when it is the active one (a dialog just closed).
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
        return;
    }
    int z = -1;
    for (int i = 0; i < w->ctListGruppe->ListCount(); ++i)
        if (w->ctListGruppe->Selected(i)) z = i;
    QVERIFY(z >= 0);
    QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, ZeilenPunkt(w->ctListGruppe, z));
    QVERIFY(w->mGruppeRechts->isVisible());
    QAction* befristen = w->mGruppeRechts->actions().front();
    QCOMPARE(befristen->text(), QStringLiteral("Mitgliedschaft &befristen…"));
    QTest::mouseClick(w->mGruppeRechts, Qt::LeftButton, {}, w->mGruppeRechts->actionGeometry(befristen).center());
}

void TestBefristung::befristenUndAufheben_data() {
    QTest::addColumn<bool>("perMenue");
    QTest::newRow("Kontextmenü") << true;
    QTest::newRow("Strg+T") << false;
}

// The date typed in German form is stored as the day, with the reason and
// who set it, logged, and shown in the list's third column; "Befristung
// aufheben" removes it again, logged too.
void TestBefristung::befristenUndAufheben() {
    QFETCH(bool, perMenue);
    GruppeMitMitglied(QStringLiteral("Lager"), QStringLiteral("OEZ"));
    const QString nr = LetzteNr(*u->db);
    bool gezeigt = false;
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmBefristen*>(fenster);
        QVERIFY(d);
        gezeigt = true;
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QVERIFY2(d->lblMitglied->text().contains(QStringLiteral("OEZ")), qPrintable(d->lblMitglied->text()));
        // Today by the test clock (07.12.2026) and two weeks.
        QCOMPARE(d->txtBis->text(), QStringLiteral("21.12.2026"));
        QVERIFY(!d->cmdAufheben->isEnabled());
        DatumEingeben(d, QStringLiteral("24.12.2026"));
        QCOMPARE(d->txtBis->date(), QDate(2026, 12, 24));
        d->txtGrund->setFocus();
        Eintippen(d->txtGrund, QStringLiteral("Vertretung für Frau Groß"));
        Klicken(d->cmdOK);
        QVERIFY(d->Gespeichert());
    });
    DialogOeffnen(perMenue);
    QVERIFY(gezeigt);
    QCOMPARE(Daten(*u->db), QStringList{QStringLiteral("Lager/OEZ/2026-12-24/Vertretung für Frau Groß/ADM")});
    QCOMPARE(Eintraege(*u->db, nr),
             QStringList{QStringLiteral("befristen|Befristung Lager||OEZ||{\"bis\":\"2026-12-24\",\"grund\":"
                                        "\"Vertretung für Frau Groß\"}|-")});
    const int z = Zeile(w->ctListGruppe, QStringLiteral("OEZ"));
    QVERIFY(w->ctListGruppe->List(z).endsWith(QStringLiteral(";24.12.2026")));
    QVERIFY(w->ctListGruppe->Selected(z));
    // The member list itself is unchanged: the suite's programs read it as before.
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));

    const QString nr2 = LetzteNr(*u->db);
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmBefristen*>(fenster);
        QVERIFY(d);
        QCOMPARE(d->txtBis->date(), QDate(2026, 12, 24));
        QCOMPARE(d->txtGrund->text(), QStringLiteral("Vertretung für Frau Groß"));
        QVERIFY(d->cmdAufheben->isEnabled());
        Klicken(d->cmdAufheben);
    });
    DialogOeffnen(perMenue);
    QVERIFY(u->dialoge.modal.empty());
    QVERIFY(Daten(*u->db).isEmpty());
    QCOMPARE(Eintraege(*u->db, nr2),
             QStringList{QStringLiteral("befristen|Befristung Lager||OEZ|{\"bis\":\"2026-12-24\",\"grund\":"
                                        "\"Vertretung für Frau Groß\"}||-")});
    QCOMPARE(w->ctListGruppe->List(Zeile(w->ctListGruppe, QStringLiteral("OEZ"))).count(QLatin1Char(';')), 1);

    // Ctrl+Z takes the removal back: the date is there again, the list shows it.
    u->dialoge.auswahl.push_back(0);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY2(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text.contains(
                 QStringLiteral("Befristung Lager||OEZ: wieder befristet bis 24.12.2026 (Vertretung für Frau Groß)")),
             qPrintable(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text));
    QCOMPARE(Daten(*u->db), QStringList{QStringLiteral("Lager/OEZ/2026-12-24/Vertretung für Frau Groß/ADM")});
    QVERIFY(w->ctListGruppe->List(Zeile(w->ctListGruppe, QStringLiteral("OEZ"))).endsWith(QStringLiteral(";24.12.2026")));
}

void TestBefristung::verweigert_data() {
    QTest::addColumn<QString>("fall");
    QTest::addColumn<QString>("meldung"); // part of the message shown; nothing stored
    QTest::newRow("Datum vorbei") << QStringLiteral("vorbei") << QStringLiteral("in der Vergangenheit");
    QTest::newRow("inzwischen kein Mitglied") << QStringLiteral("entfernt") << QStringLiteral("kein Mitglied");
    QTest::newRow("ungesicherte Änderung") << QStringLiteral("ungesichert") << QStringLiteral("nicht gespeichert");
    QTest::newRow("keine Auswahl") << QStringLiteral("keine") << QStringLiteral("auswählen");
}

// Each refusal says why in German and stores nothing.
void TestBefristung::verweigert() {
    QFETCH(QString, fall);
    QFETCH(QString, meldung);
    GruppeMitMitglied(QStringLiteral("Lager"), QStringLiteral("OEZ"));
    const QString nr = LetzteNr(*u->db);
    if (fall == QLatin1String("ungesichert")) {
        // A member added in the window but not saved yet.
        w->txtUser->setFocus();
        Eintippen(w->txtUser, QStringLiteral("NEU1"));
        Klicken(w->cmdMitarbeiterGruppe[4]);
        ZeileKlicken(w->ctListGruppe, Zeile(w->ctListGruppe, QStringLiteral("OEZ")));
    }
    if (fall == QLatin1String("keine")) w->ctListGruppe->setSelected(Zeile(w->ctListGruppe, QStringLiteral("OEZ")), false);
    bool gezeigt = false;
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmBefristen*>(fenster);
        QVERIFY(d);
        gezeigt = true;
        if (fall == QLatin1String("vorbei")) DatumEingeben(d, QStringLiteral("06.12.2026"));
        // Another workstation takes the member out between the list's load and the OK.
        if (fall == QLatin1String("entfernt"))
            u->Aendern([](CacheFactory& f) {
                f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                    ->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Lager"), Liste(f, {QStringLiteral("GRO")})});
            });
        Klicken(d->cmdOK);
        QVERIFY(!d->Gespeichert());
        QVERIFY(d->isVisible() || !d->result());
    });
    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(gezeigt, fall == QLatin1String("vorbei") || fall == QLatin1String("entfernt"));
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.contains(meldung), qPrintable(m->text));
    QVERIFY2(!m->text.contains(QLatin1Char('<')), qPrintable(m->text));
    QVERIFY(Daten(*u->db).isEmpty());
    const QStringList neu = Eintraege(*u->db, nr);
    QVERIFY2(neu.isEmpty() || (fall == QLatin1String("entfernt") && neu.size() == 1 &&
                               neu.front().startsWith(QStringLiteral("speichern|Gruppe Lager"))),
             qPrintable(neu.join(QLatin1Char('\n'))));
}

// By the test clock: past the date, the next sign-on ends the membership,
// logged with the date and the reason; a second sign-on ends nothing more;
// undoing the expiry gives the member back.
void TestBefristung::ablaufBeimAnmelden() {
    GruppeMitMitglied(QStringLiteral("Lager"), QStringLiteral("OEZ"));
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmBefristen*>(fenster);
        QVERIFY(d);
        d->txtGrund->setFocus();
        Eintippen(d->txtGrund, QStringLiteral("Urlaub"));
        Klicken(d->cmdOK); // the default: 21.12.2026
    });
    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(Daten(*u->db), QStringList{QStringLiteral("Lager/OEZ/2026-12-21/Urlaub/ADM")});

    // The last day still counts.
    u->uhr.jetzt = QDateTime(QDate(2026, 12, 21), QTime(23, 0));
    w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));

    const QString nr = LetzteNr(*u->db);
    u->uhr.jetzt = QDateTime(QDate(2026, 12, 22), QTime(7, 30));
    w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO"));
    QVERIFY(Daten(*u->db).isEmpty());
    QCOMPARE(Eintraege(*u->db, nr),
             (QStringList{QStringLiteral("abgelaufen|Gruppe Lager|[\"GRO\",\"OEZ\"]|[\"GRO\"]|-"),
                          QStringLiteral("abgelaufen|Befristung Lager||OEZ|{\"bis\":\"2026-12-21\",\"grund\":\"Urlaub\"}||bezug")}));
    // The window shows the group as it is after the expiry.
    w->GruppeZeigen(QStringLiteral("Lager"));
    QCOMPARE(Zeile(w->ctListGruppe, QStringLiteral("OEZ")), -1);

    const QString nr2 = LetzteNr(*u->db);
    w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    QCOMPARE(LetzteNr(*u->db), nr2);

    // Taken back like any change: the member returns (without a date).
    const QString gruppenEintrag =
        u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'abgelaufen' AND objekt = 'Gruppe Lager'"))
            .value(0);
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    z.als = QStringLiteral("ADM");
    z.passwort = QStringLiteral("demo");
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QCOMPARE(Datenbankwerkzeug::Rueckgaengig(z, gruppenEintrag, true, aus, err), 0);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    QVERIFY(Daten(*u->db).isEmpty());
}

void TestBefristung::mitgliedGehtDatumGeht_data() {
    QTest::addColumn<QString>("wie");
    QTest::addColumn<QStringList>("danach");  // the end dates stored afterwards
    QTest::addColumn<QStringList>("datumLog"); // the entries on end dates after the date was set
    QTest::addColumn<QString>("vorschau");     // the undo's preview says so
    const QString lager = QStringLiteral("Lager/OEZ/2027-01-31/Projekt/ADM");
    const QString felder = QStringLiteral("{\"bis\":\"2027-01-31\",\"grund\":\"Projekt\"}");
    const QString entfernt = QStringLiteral("mit entfernt|Befristung Lager||OEZ|%1||bezug").arg(felder);
    const QString zurueck = QStringLiteral("befristen|Befristung Lager||OEZ||%1|bezug").arg(felder);
    const QString kommt =
        QStringLiteral("\r\nBefristung Lager||OEZ: kommt mit dem Mitglied wieder, befristet bis 31.01.2027 (Projekt)");
    QTest::newRow("Mitglied entfernt und gesichert")
        << QStringLiteral("entfernen") << QStringList{} << QStringList{entfernt} << QString();
    QTest::newRow("Gruppe gelöscht") << QStringLiteral("loeschen") << QStringList{} << QStringList{entfernt} << QString();
    // The copy's date is set by whoever copies (the source's by SOM here).
    const QString lagerSom = QStringLiteral("Lager/OEZ/2027-01-31/Projekt/SOM");
    QTest::newRow("Gruppe kopiert")
        << QStringLiteral("kopieren") << QStringList{QStringLiteral("Lager 2/OEZ/2027-01-31/Projekt/ADM"), lagerSom}
        << QStringList{QStringLiteral("befristen|Befristung Lager 2||OEZ||%1|bezug").arg(felder)} << QString();
    // Undo gives the member back with the date its removal took along.
    QTest::newRow("Entfernen zurückgenommen")
        << QStringLiteral("entfernen,rueckgaengig") << QStringList{lager} << QStringList{entfernt, zurueck} << kommt;
    QTest::newRow("Löschen zurückgenommen")
        << QStringLiteral("loeschen,rueckgaengig") << QStringList{lager} << QStringList{entfernt, zurueck} << kommt;
    QTest::newRow("Kopie zurückgenommen")
        << QStringLiteral("kopieren,rueckgaengig") << QStringList{lagerSom}
        << QStringList{QStringLiteral("befristen|Befristung Lager 2||OEZ||%1|bezug").arg(felder),
                       QStringLiteral("mit entfernt|Befristung Lager 2||OEZ|%1||bezug").arg(felder)}
        << QStringLiteral("\r\nBefristung Lager 2||OEZ: entfällt mit dem Mitglied (bis 31.01.2027)");
}

// A date lives only as long as its membership, and comes back when undo
// brings the member back; a copy's members are as temporary as the source's.
void TestBefristung::mitgliedGehtDatumGeht() {
    QFETCH(QString, wie);
    QFETCH(QStringList, danach);
    QFETCH(QStringList, datumLog);
    QFETCH(QString, vorschau);
    GruppeMitMitglied(QStringLiteral("Lager"), QStringLiteral("OEZ"));
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmBefristen*>(fenster);
        QVERIFY(d);
        DatumEingeben(d, QStringLiteral("31.01.2027"));
        d->txtGrund->setFocus();
        Eintippen(d->txtGrund, QStringLiteral("Projekt"));
        Klicken(d->cmdOK);
    });
    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(Daten(*u->db).size(), 1);
    const QString nr = LetzteNr(*u->db);
    const QStringList schritte = wie.split(QLatin1Char(','));
    if (schritte.contains(QLatin1String("entfernen"))) {
        ZeileKlicken(w->ctListGruppe, Zeile(w->ctListGruppe, QStringLiteral("OEZ")));
        Klicken(w->cmdMitarbeiterGruppe[1]);
        Klicken(w->cmdGruppeSpeichern);
        QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO"));
    }
    if (schritte.contains(QLatin1String("loeschen"))) {
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(w->cmdGruppeLoeschen);
        QVERIFY(u->db->Sql(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = 'Lager'")).isEmpty());
    }
    if (schritte.contains(QLatin1String("kopieren"))) {
        u->db->SqlAendern(QStringLiteral("UPDATE uv_befristung SET wer = 'SOM'"));
        u->dialoge.modal.push_back([&](QWidget* fenster) {
            auto* d = qobject_cast<frmGruppeKopieren*>(fenster);
            QVERIFY(d);
            d->txtName->setFocus();
            Eintippen(d->txtName, QStringLiteral("Lager 2"));
            Klicken(d->cmdKopieren);
        });
        w->mGruppeKopieren->trigger();
    }
    if (schritte.contains(QLatin1String("rueckgaengig"))) {
        u->dialoge.auswahl.push_back(0);
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY2(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text.endsWith(vorschau),
                 qPrintable(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text));
        QVERIFY(!u->db->Sql(QStringLiteral("SELECT 1 FROM uv_gruppen_pcode WHERE gruppe = 'Lager' AND pcode = 'OEZ'"))
                     .isEmpty());
    }
    QCOMPARE(Daten(*u->db), danach);
    QStringList log;
    for (const QString& e : Eintraege(*u->db, nr))
        if (e.section(QLatin1Char('|'), 1, 1).startsWith(QLatin1String("Befristung "))) log.append(e);
    QCOMPARE(log, datumLog);
}

// The overview's tab lists every dated membership with the days left; the
// command line sets, reports and ends them with the statuses a job can use.
void TestBefristung::uebersichtUndWerkzeug() {
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    z.als = QStringLiteral("ADM");
    z.passwort = QStringLiteral("demo");
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    const QString bald = QDate::currentDate().addDays(3).toString(Qt::ISODate);
    const QString spaeter = QDate::currentDate().addDays(40).toString(QStringLiteral("dd.MM.yyyy"));
    QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("gro"), bald,
                                          QStringLiteral("Aushilfe"), aus, err),
             0);
    QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("OEZ"), spaeter, QString(), aus, err),
             0);
    // Again the same, written without leading zeros: nothing to do; not a
    // member, no date, a past date, text after the date: wrong input, nothing stored.
    QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("OEZ"),
                                          QDate::currentDate().addDays(40).toString(QStringLiteral("yyyy-M-d")),
                                          QString(), aus, err),
             1);
    const QStringList vorher = Daten(*u->db);
    QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("ADM"), bald, QString(), aus, err), 2);
    for (const char* datum : {"31.02.2027", "2000-01-01", "2037-01-05 später", "2037-01-06T00:00", "5.1.37"}) {
        fehler.clear();
        QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("OEZ"), QString::fromUtf8(datum),
                                              QString(), aus, err),
                 2);
        QVERIFY2(fehler.contains(QStringLiteral("Datum")), qPrintable(fehler));
    }
    QCOMPARE(Daten(*u->db), vorher);
    QVERIFY2(!fehler.contains(QLatin1Char('<')), qPrintable(fehler));

    text.clear();
    QCOMPARE(Datenbankwerkzeug::BefristungenBericht(z, QStringLiteral("1"), 10, aus, err), 0);
    QList<QStringList> csv = CsvLesen(text);
    QCOMPARE(csv.size(), 2);
    QCOMPARE(csv[1].mid(0, 2), (QStringList{QStringLiteral("Lager"), QStringLiteral("GRO")}));
    QCOMPARE(csv[1][4], QStringLiteral("3"));
    text.clear();
    QCOMPARE(Datenbankwerkzeug::BefristungenBericht(z, QStringLiteral("1"), -1, aus, err), 0);
    QCOMPARE(CsvLesen(text).size(), 3);

    // The overview: soonest first, with the days left by the program's clock.
    u->uhr.jetzt = QDateTime(QDate::currentDate(), QTime(9, 0));
    QVERIFY(Starten(*u, *w));
    w->mUebersicht->trigger();
    frmUebersicht* ue = w->UebersichtFenster();
    QVERIFY(ue);
    ue->tabUebersicht->setCurrentWidget(ue->ctListBefristungen);
    QCOMPARE(ue->ctListBefristungen->Angezeigt(), 2);
    const QStringList erste = ue->ctListBefristungen->Gezeigt(0)->daten.toStringList();
    QCOMPARE(erste.value(1), QStringLiteral("GRO"));
    QCOMPARE(erste.value(4), QStringLiteral("3"));
    QCOMPARE(erste.value(5), QStringLiteral("Aushilfe"));

    // Past the date (set by the owner, as time would): ended once.
    u->db->SqlAendern(QStringLiteral("UPDATE uv_befristung SET bis = ? WHERE pcode = 'GRO'"),
                      {QDate::currentDate().addDays(-1).toString(Qt::ISODate)});
    // Written by another program: a date without its membership goes, logged;
    // one not in the stored form is never due.
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_befristung (gruppe, pcode, bis, grund) VALUES ('Lager', 'INA', "
                                     "'2001-01-01', 'verwaist')"));
    u->db->SqlAendern(QStringLiteral("UPDATE uv_befristung SET bis = '01.12.2027' WHERE pcode = 'OEZ'"));
    text.clear();
    QCOMPARE(Datenbankwerkzeug::Ablauf(z, aus, err), 0);
    QVERIFY2(text.contains(QStringLiteral("abgelaufen: GRO in Lager")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("INA")) && text.contains(QStringLiteral("1 Mitgliedschaft entfernt")),
             qPrintable(text));
    QCOMPARE(Daten(*u->db), QStringList{QStringLiteral("Lager/OEZ/01.12.2027//ADM")});
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ"));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT befehl || '|' || objekt || '|' || vorher FROM uv_protokoll "
                                       "WHERE objekt LIKE '%INA'")),
             QStringList{QStringLiteral("ohne Mitglied entfernt|Befristung Lager||INA|"
                                        "{\"bis\":\"2001-01-01\",\"grund\":\"verwaist\"}")});
    QCOMPARE(Datenbankwerkzeug::Ablauf(z, aus, err), 1);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ"));
    // Without a sign-on nothing changes.
    z.als.clear();
    fehler.clear();
    QCOMPARE(Datenbankwerkzeug::Ablauf(z, aus, err), 2);
    QVERIFY2(fehler.contains(QStringLiteral("--als")), qPrintable(fehler));
    QCOMPARE(Datenbankwerkzeug::Befristen(z, QStringLiteral("Lager"), QStringLiteral("OEZ"), QString(), QString(), aus, err),
             2);
    QCOMPARE(Daten(*u->db).size(), 1);
}

QTEST_MAIN(TestBefristung)
#include "tst_befristung.moc"
