// Rules of incompatible rights: which employees a rule finds, the question a
// granting save asks, the rules' window, a rule stored while another
// workstation grants, and korval-db; results read from the tables.

#include "testumgebung.h"

#include "server/sqlfactory.h"

#include "auswertung/frmuebersicht.h"
#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/frmregel.h"
#include "mainwindow/frmunvereinbar.h"
#include "permissions/berechtigungen.h"
#include "permissions/pflege.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
DatenbankZiel Ziel(const Testdatenbank& db, const QString& ausnahme = QString()) {
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    z.als = QStringLiteral("ADM");
    z.passwort = QStringLiteral("demo");
    z.ausnahme = ausnahme;
    return z;
}

// The current violations as korval-db reports them: "code;rule;side 1;side 2;exception", sorted; and its status.
QStringList Verstoesse(const Testdatenbank& db, int* status = nullptr) {
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    const int s = Datenbankwerkzeug::Unvereinbar(Ziel(db), QStringLiteral("1"), aus, err);
    if (status) *status = s;
    QStringList v;
    for (const QStringList& z : CsvLesen(text.mid(1)).mid(1))
        v.append(QStringList{z[0], z[2], z[3], z[4], z[5]}.join(QLatin1Char(';')));
    v.sort();
    return v;
}

void RegelAnlegen(const Testdatenbank& db, const QString& name, const QStringList& seiten) {
    db.SqlAendern(QStringLiteral("INSERT INTO uv_regel (name, beschreibung, p1, s1, l1, p2, s2, l2) "
                                 "VALUES (?, '', ?, ?, ?, ?, ?, ?)"),
                  {name, seiten[0], seiten[1], seiten[2], seiten[3], seiten[4], seiten[5]});
}

QStringList T(std::initializer_list<const char*> l) {
    QStringList s;
    for (const char* t : l)
        s.append(QString::fromUtf8(t));
    return s;
}

QString LetzteNr(const Testdatenbank& db) {
    return db.Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0);
}
} // namespace

class TestUnvereinbar : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void regelFindet_data();
    void regelFindet();
    void speichernFragt_data();
    void speichernFragt();
    void regelnImFenster();
    void regelWaehrendGewaehrt_data();
    void regelWaehrendGewaehrt();
    void werkzeugUndUebersicht();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestUnvereinbar::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestUnvereinbar::cleanup() {
    Abbauen(u, w);
}

// The demo company: Verwaltung (ADM, SOM) holds Finanzen/Buchen/1 and
// Auftrag/Erfassen/1,2; Verkauf (USR, BAE, MUE) Auftrag/Drucken/1,
// Auftrag/Erfassen/1 and Lager/Bestand/1; Lager (GRO, OEZ) Lager/Bestand/1,2
// and Lager/Inventur/1.
void TestUnvereinbar::regelFindet_data() {
    QTest::addColumn<QStringList>("seiten"); // rule R, and S after six more
    QTest::addColumn<QString>("mitglied"); // "group:code" added first, or ""
    QTest::addColumn<QStringList>("erwartet");
    QTest::addColumn<QStringList>("neu"); // what the member's joining adds: the save refuses it
    QTest::newRow("genaue Stufen, niemand hat beide")
        << T({"Finanzen", "Buchen", "1", "Lager", "Bestand", "2"}) << QString() << QStringList{} << QStringList{};
    QTest::newRow("* als Unterprogramm und Stufe, eine Gruppe beide Seiten")
        << T({"Finanzen", "*", "*", "Auftrag", "*", "*"}) << QString()
        << T({"ADM;R;Verwaltung;Verwaltung;", "SOM;R;Verwaltung;Verwaltung;"}) << QStringList{};
    QTest::newRow("* als Stufe")
        << T({"Lager", "Bestand", "*", "Lager", "Inventur", "1"}) << QString()
        << T({"GRO;R;Lager;Lager;", "OEZ;R;Lager;Lager;"}) << QStringList{};
    QTest::newRow("über zwei Gruppen")
        << T({"Finanzen", "Buchen", "1", "Lager", "Bestand", "2"}) << QStringLiteral("Lager:ADM")
        << T({"ADM;R;Verwaltung;Lager;"}) << T({"ADM;R;Verwaltung;Lager"});
    QTest::newRow("dieselbe Stufe durch zwei Gruppen")
        << T({"Lager", "Bestand", "1", "Auftrag", "Drucken", "1"}) << QStringLiteral("Verkauf:GRO")
        << T({"BAE;R;Verkauf;Verkauf;", "GRO;R;Lager, Verkauf;Verkauf;", "MUE;R;Verkauf;Verkauf;",
                       "USR;R;Verkauf;Verkauf;"})
        << T({"GRO;R;Lager, Verkauf;Verkauf"});
    QTest::newRow("zwei Regeln, ein Mitarbeiter in beiden")
        << T({"Finanzen", "*", "*", "Auftrag", "*", "*", "Lager", "Bestand", "*", "Lager", "Inventur", "1"})
        << QStringLiteral("Lager:ADM")
        << T({"ADM;R;Verwaltung;Verwaltung;", "ADM;S;Lager;Lager;", "GRO;S;Lager;Lager;", "OEZ;S;Lager;Lager;",
              "SOM;R;Verwaltung;Verwaltung;"})
        << T({"ADM;S;Lager;Lager"});
    QTest::newRow("schon verletzt: der Beitritt fügt nichts hinzu")
        << T({"Finanzen", "*", "*", "Auftrag", "*", "*"}) << QStringLiteral("Verkauf:SOM")
        << T({"ADM;R;Verwaltung;Verwaltung;", "SOM;R;Verwaltung;Verkauf, Verwaltung;"}) << QStringList{};
    QTest::newRow("anderes Programm")
        << T({"Finanzen", "*", "*", "Benutzerverwaltung", "Start", "8"}) << QString() << QStringList{} << QStringList{};
}

// Which employees violate a rule, and through which groups; what a save
// that makes a member join adds, which it refuses without a reason.
void TestUnvereinbar::regelFindet() {
    QFETCH(QStringList, seiten);
    QFETCH(QString, mitglied);
    QFETCH(QStringList, erwartet);
    QFETCH(QStringList, neu);
    RegelAnlegen(*u->db, QStringLiteral("R"), seiten);
    if (seiten.size() > 6) RegelAnlegen(*u->db, QStringLiteral("S"), seiten.mid(6));
    if (!mitglied.isEmpty()) {
        const QString gruppe = mitglied.section(QLatin1Char(':'), 0, 0), code = mitglied.section(QLatin1Char(':'), 1);
        auto f = NeueCacheFactory();
        QVERIFY(f->Connect(u->db->ConnStrg()) && AlsVerwalter(*f));
        QStringList gemeldet;
        try {
            f->Klassenmethoden(Berechtigung::KlasseGruppen)
                ->Methode(QStringLiteral("SaveCodes"),
                          {gruppe, Liste(*f, (u->db->Mitglieder(gruppe) + QLatin1Char(',') + code).split(QLatin1Char(',')))});
        } catch (const CacheFehler& e) {
            QCOMPARE(e.Nummer(), Fehlernummer::Unvereinbar);
            for (const Pflege::Verstoss& v : Pflege::VerstoesseLesen(e.Beschreibung()))
                gemeldet.append(QStringList{v.code, v.regel, v.seite1.join(QStringLiteral(", ")),
                                            v.seite2.join(QStringLiteral(", "))}
                                    .join(QLatin1Char(';')));
            u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES (?, 99, ?)"),
                              {gruppe, code});
        }
        QCOMPARE(gemeldet, neu);
        QVERIFY(u->db->Mitglieder(gruppe).split(QLatin1Char(',')).contains(code));
    }
    int status = -1;
    QCOMPARE(Verstoesse(*u->db, &status), erwartet);
    // A nightly job alerts on violations without an exception.
    QCOMPARE(status, erwartet.isEmpty() ? 0 : 1);
}

void TestUnvereinbar::speichernFragt_data() {
    QTest::addColumn<int>("knopf");     // 0 "Trotzdem speichern", 1 "Abbrechen"
    QTest::addColumn<QString>("grund"); // typed as the reason
    QTest::addColumn<bool>("gespeichert");
    QTest::newRow("Abbrechen") << 1 << QString() << false;
    QTest::newRow("Trotzdem ohne Grund") << 0 << QStringLiteral("  ") << false;
    QTest::newRow("Trotzdem mit Grund") << 0 << QStringLiteral("Vertretung Inventur") << true;
}

// A group save that makes ADM violate a rule asks, names employee, rule and
// groups, and stores only with a reason, which is logged as an exception.
void TestUnvereinbar::speichernFragt() {
    QFETCH(int, knopf);
    QFETCH(QString, grund);
    QFETCH(bool, gespeichert);
    RegelAnlegen(*u->db, QStringLiteral("Buchen/Zählen"), T({"Finanzen", "*", "*", "Lager", "*", "2"}));
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(QStringLiteral("Lager"));
    w->txtUser->setFocus();
    Eintippen(w->txtUser, QStringLiteral("ADM"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    const QString nr = LetzteNr(*u->db);
    u->dialoge.auswahl.push_back(knopf);
    u->dialoge.eingaben.push_back(grund);
    Klicken(w->cmdGruppeSpeichern);
    const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("Auswahl"));
    QVERIFY(frage);
    QCOMPARE(frage->titel, QStringLiteral("Unvereinbare Rechte"));
    QVERIFY2(frage->text.contains(QStringLiteral("ADM: Regel \"Buchen/Zählen\" – durch Verwaltung und Lager")),
             qPrintable(frage->text));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), gespeichert ? QStringLiteral("GRO,OEZ,ADM") : QStringLiteral("GRO,OEZ"));
    if (!gespeichert) {
        QCOMPARE(LetzteNr(*u->db), nr);
        QVERIFY(u->db->Sql(QStringLiteral("SELECT 1 FROM uv_ausnahme")).isEmpty());
        if (knopf == 0) QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("Ohne Grund")));
        // The window keeps the unsaved member.
        QVERIFY(w->GruppeGeaendert());
        return;
    }
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT pcode || '/' || regel || '/' || grund || '/' || wer FROM uv_ausnahme")),
             QStringList{QStringLiteral("ADM/Buchen/Zählen/Vertretung Inventur/ADM")});
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT befehl || '|' || objekt || '|' || nachher || '|' || "
                                       "CASE WHEN bezug = 0 THEN '-' ELSE 'bezug' END FROM uv_protokoll WHERE nr > ? "
                                       "ORDER BY nr"),
                        {nr}),
             (QStringList{QStringLiteral("speichern|Gruppe Lager|[\"GRO\",\"OEZ\",\"ADM\"]|-"),
                          QStringLiteral("Ausnahme|Ausnahme ADM||Buchen/Zählen|{\"grund\":\"Vertretung Inventur\","
                                         "\"seite1\":[\"Verwaltung\"],\"seite2\":[\"Lager\"]}|bezug")}));
    QCOMPARE(Verstoesse(*u->db), QStringList{QStringLiteral("ADM;Buchen/Zählen;Verwaltung;Lager;Vertretung Inventur")});
    // The same employee again through another group: an exception there is, no question.
    const int fragen = u->dialoge.Anzahl(QStringLiteral("Auswahl"));
    w->GruppeZeigen(QStringLiteral("Verkauf"));
    w->txtUser->clear();
    Eintippen(w->txtUser, QStringLiteral("ADM"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), fragen);
    QVERIFY(u->db->Mitglieder(QStringLiteral("Verkauf")).endsWith(QStringLiteral(",ADM")));
}

// New, change and delete in "Unvereinbare Rechte", each logged.
void TestUnvereinbar::regelnImFenster() {
    QVERIFY(Starten(*u, *w));
    const QString nr = LetzteNr(*u->db);
    bool gezeigt = false;
    u->dialoge.modal.push_back([&](QWidget* fenster) {
        auto* d = qobject_cast<frmUnvereinbar*>(fenster);
        QVERIFY(d);
        gezeigt = true;
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QCOMPARE(d->ctListRegeln->ListCount(), 0);
        u->dialoge.modal.push_back([&](QWidget* f) {
            auto* r = qobject_cast<frmRegel*>(f);
            QVERIFY(r);
            r->txtName->setFocus();
            Eintippen(r->txtName, QStringLiteral("Zahlen/Buchen"));
            Eintippen(r->txtBeschreibung, QStringLiteral("Vier Augen"));
            Eintippen(r->txtSeite1[0], QStringLiteral("Finanzen"));
            Eintippen(r->txtSeite2[0], QStringLiteral("Auftrag"));
            r->txtSeite2[1]->clear();
            Eintippen(r->txtSeite2[1], QStringLiteral("Erfassen"));
            Klicken(r->cmdOK);
            QVERIFY(r->Gespeichert());
        });
        Klicken(d->cmdNeu);
        QCOMPARE(ListenZeilen(d->ctListRegeln),
                 QStringList{QStringLiteral("Zahlen/Buchen;Finanzen / * / *;Auftrag / Erfassen / *;Vier Augen")});
        // The same name again (in any case), or one level on both sides, is
        // refused; the dialog stays open with what was typed.
        // Name, program of side 1, what the refusal says, sub-program of side 2.
        for (const QStringList& falsch : {T({"Zahlen/Buchen", "Lager", "besteht bereits"}),
                                          T({" zahlen/buchen ", "Lager", "Zahlen/Buchen besteht bereits"}),
                                          T({"Doppelt", "Auftrag", "dieselbe Stufe"}),
                                          T({"Überlappt", "Auftrag", "dieselbe Stufe", "Erfassen"}),
                                          T({"Zahlen||Buchen", "Lager", "\"||\""})}) {
            u->dialoge.modal.push_back([&](QWidget* f) {
                auto* r = qobject_cast<frmRegel*>(f);
                QVERIFY(r);
                Eintippen(r->txtName, falsch[0]);
                Eintippen(r->txtSeite1[0], falsch[1]);
                Eintippen(r->txtSeite2[0], QStringLiteral("Auftrag"));
                if (falsch.size() > 3) {
                    r->txtSeite2[1]->clear();
                    Eintippen(r->txtSeite2[1], falsch[3]);
                }
                Klicken(r->cmdOK);
                QVERIFY(!r->Gespeichert());
                QCOMPARE(r->txtName->text(), falsch[0]);
            });
            Klicken(d->cmdNeu);
            QVERIFY2(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(falsch[2]),
                     qPrintable(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text));
        }
        // Changed by a double-click: the name stays.
        u->dialoge.modal.push_back([&](QWidget* f) {
            auto* r = qobject_cast<frmRegel*>(f);
            QVERIFY(r);
            QVERIFY(r->txtName->isReadOnly());
            r->txtSeite2[2]->clear();
            Eintippen(r->txtSeite2[2], QStringLiteral("2"));
            Klicken(r->cmdOK);
        });
        ZeileKlicken(d->ctListRegeln, 0);
        ZeileDoppelklicken(d->ctListRegeln, 0);
        QCOMPARE(ListenZeilen(d->ctListRegeln),
                 QStringList{QStringLiteral("Zahlen/Buchen;Finanzen / * / *;Auftrag / Erfassen / 2;Vier Augen")});
        ZeileKlicken(d->ctListRegeln, 0);
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(d->cmdLoeschen);
        QCOMPARE(d->ctListRegeln->ListCount(), 0);
    });
    w->mUnvereinbar->trigger();
    QVERIFY(gezeigt);
    QVERIFY(u->db->Sql(QStringLiteral("SELECT 1 FROM uv_regel")).isEmpty());
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT befehl || '|' || objekt FROM uv_protokoll WHERE nr > ? ORDER BY nr"), {nr}),
             (QStringList{QStringLiteral("anlegen|Regel Zahlen/Buchen"), QStringLiteral("speichern|Regel Zahlen/Buchen"),
                          QStringLiteral("löschen|Regel Zahlen/Buchen")}));
    // Not while a rule of the same name in other case was made since: two would look like one.
    RegelAnlegen(*u->db, QStringLiteral("ZAHLEN/BUCHEN"), T({"Lager", "*", "*", "Auftrag", "*", "*"}));
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY2(u->dialoge.Letzte(QStringLiteral("MsgBox"))
                 ->text.contains(QStringLiteral("eine Regel ZAHLEN/BUCHEN ist inzwischen angelegt; bleibt gelöscht")),
             qPrintable(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text));
    QVERIFY(!u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("bereits zurückgenommen")));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT name FROM uv_regel")), QStringList{QStringLiteral("ZAHLEN/BUCHEN")});
    u->db->SqlAendern(QStringLiteral("DELETE FROM uv_regel"));
    // Ctrl+Z brings the deleted rule back as it was; once more takes back its change.
    for (const char* stufe : {"2", "*"}) {
        u->dialoge.auswahl.push_back(0);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(u->db->Sql(QStringLiteral("SELECT beschreibung || '/' || p2 || '/' || s2 || '/' || l2 FROM uv_regel")),
                 QStringList{QStringLiteral("Vier Augen/Auftrag/Erfassen/") + QString::fromLatin1(stufe)});
    }
}

void TestUnvereinbar::regelWaehrendGewaehrt_data() {
    QTest::addColumn<QString>("andere"); // what the other workstation does first, uncommitted
    QTest::addColumn<QString>("gruppe"); // this workstation then adds SOM to this group
    QTest::newRow("Regel angelegt") << QStringLiteral("regel") << QStringLiteral("Lager");
    QTest::newRow("SOM in eine andere Gruppe") << QStringLiteral("gruppe") << QStringLiteral("Verkauf");
}

// Another workstation stores a rule, or grants SOM one side of a rule, while
// this one grants SOM the other: the grant waits for it and its check sees it
// (real connections on PostgreSQL).
void TestUnvereinbar::regelWaehrendGewaehrt() {
    QFETCH(QString, andere);
    QFETCH(QString, gruppe);
    if (!Testdatenbank::IstPostgres()) QSKIP("gleichzeitige Befehle auf PostgreSQL");
    const QString connStrg = u->db->ConnStrg();
    if (andere == QLatin1String("gruppe"))
        RegelAnlegen(*u->db, QStringLiteral("R"), T({"Lager", "Inventur", "*", "Auftrag", "Drucken", "*"}));
    const QString vorher = u->db->Mitglieder(gruppe);
    // Signed on before the other begins: the sign-on itself would wait for it.
    auto f = NeueCacheFactory();
    QVERIFY(f->Connect(connStrg) && AlsVerwalter(*f));
    auto b = NeueCacheFactory();
    QVERIFY(b->Connect(connStrg) && AlsVerwalter(*b));
    b->TransaktionBeginnen();
    // A step first, so that the other's call is not the whole transaction (which the server commits at once).
    b->Klassenmethoden(Berechtigung::KlasseGruppen)
        ->Methode(QStringLiteral("ListePruefen"),
                  {QStringLiteral("Verwaltung"), Liste(*b, {QStringLiteral("ADM"), QStringLiteral("SOM")})});
    if (andere == QLatin1String("regel"))
        b->Klassenmethoden(QStringLiteral("UserVerwaltung.Regel"))
            ->Methode(QStringLiteral("RegelSpeichern"), {QStringLiteral("R"), QString(), QStringLiteral("Finanzen"),
                                                          QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("Lager"),
                                                          QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("1")});
    else
        b->Klassenmethoden(Berechtigung::KlasseGruppen)
            ->Methode(QStringLiteral("SaveCodes"),
                      {QStringLiteral("Lager"), Liste(*b, {QStringLiteral("GRO"), QStringLiteral("OEZ"), QStringLiteral("SOM")})});
    std::atomic<int> ergebnis{-1};
    std::thread a([&] {
        try {
            QStringList liste = vorher.split(QLatin1Char(','));
            liste.append(QStringLiteral("SOM"));
            f->Klassenmethoden(Berechtigung::KlasseGruppen)->Methode(QStringLiteral("SaveCodes"), {gruppe, Liste(*f, liste)});
            ergebnis = 0;
        } catch (const CacheFehler& e) {
            ergebnis = e.Nummer();
        }
    });
    QTest::qWait(400);
    // The grant waits for the other's transaction.
    QCOMPARE(ergebnis.load(), -1);
    b->TransaktionBestaetigen();
    a.join();
    QCOMPARE(ergebnis.load(), Fehlernummer::Unvereinbar);
    QCOMPARE(u->db->Mitglieder(gruppe), andere == QLatin1String("gruppe") ? vorher : QStringLiteral("GRO,OEZ"));
}

// korval-db refuses a grant that breaks a rule unless --ausnahme gives the
// reason; undoing a withdrawal asks the same; the overview lists the violation.
void TestUnvereinbar::werkzeugUndUebersicht() {
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QCOMPARE(Datenbankwerkzeug::Regel(Ziel(*u->db), {QStringLiteral("anlegen"), QStringLiteral("Kasse"),
                                                     QStringLiteral("Finanzen"), QStringLiteral("Buchen"), QStringLiteral("1"),
                                                     QStringLiteral("Lager"), QStringLiteral("*"), QStringLiteral("*")},
                                      QStringLiteral("Kasse und Lager"), aus, err),
             0);
    // Refused: the name again (blanks around it go), no program (or only blanks, or one no
    // program can be called), sides that share a level through "*" (blanks around parts go).
    for (const QStringList& falsch : {T({"anlegen", " Kasse ", "A", "B", "C", "D", "E", "F"}),
                                      T({"anlegen", "Leer", "*", "B", "C", "D", "E", "F"}),
                                      T({"anlegen", "Blank", " ", "*", "*", "Finanzen", "*", "*"}),
                                      T({"anlegen", "Strich", "Lager||X", "*", "*", "Finanzen", "*", "*"}),
                                      T({"anlegen", "Innen", "Lager", "*", "2", "Lager", "Inventur", "*"}),
                                      T({"anlegen", "Innen", " Lager ", "*", "*", "Lager", "Bestand", "1"})}) {
        fehler.clear();
        QCOMPARE(Datenbankwerkzeug::Regel(Ziel(*u->db), falsch, QString(), aus, err), 2);
        QVERIFY2(fehler.contains(QStringLiteral("nichts gespeichert")), qPrintable(fehler));
    }
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT name FROM uv_regel")), QStringList{QStringLiteral("Kasse")});
    const QStringList vorher = u->db->Tabellen();
    fehler.clear();
    QCOMPARE(Datenbankwerkzeug::RechteUebernehmen(Ziel(*u->db), QStringLiteral("1"), QStringLiteral("GRO"),
                                                  QStringLiteral("SOM"), aus, err),
             2);
    QVERIFY2(fehler.contains(QStringLiteral("SOM: Regel \"Kasse\" durch Verwaltung und Lager")), qPrintable(fehler));
    QVERIFY2(!fehler.contains(QLatin1Char('<')), qPrintable(fehler));
    QCOMPARE(u->db->Tabellen(), vorher);
    QCOMPARE(Datenbankwerkzeug::RechteUebernehmen(Ziel(*u->db, QStringLiteral("Inventur")), QStringLiteral("1"),
                                                  QStringLiteral("GRO"), QStringLiteral("SOM"), aus, err),
             0);
    QCOMPARE(Verstoesse(*u->db), QStringList{QStringLiteral("SOM;Kasse;Verwaltung;Lager;Inventur")});

    // SOM taken out of Lager again, then the removal undone: a grant like any other.
    u->Aendern([](CacheFactory& f) {
        f.Klassenmethoden(Berechtigung::KlasseGruppen)
            ->Methode(QStringLiteral("SaveCodes"),
                      {QStringLiteral("Lager"), Liste(f, {QStringLiteral("GRO"), QStringLiteral("OEZ")})});
    });
    u->db->SqlAendern(QStringLiteral("DELETE FROM uv_ausnahme"));
    const QString entfernt = LetzteNr(*u->db);
    QCOMPARE(Datenbankwerkzeug::Rueckgaengig(Ziel(*u->db), entfernt, true, aus, err), 2);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    QCOMPARE(Datenbankwerkzeug::Rueckgaengig(Ziel(*u->db, QStringLiteral("zurück")), entfernt, true, aus, err), 0);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ,SOM"));

    // The overview's tab, read when it is shown.
    QVERIFY(Starten(*u, *w));
    w->mUebersicht->trigger();
    frmUebersicht* ue = w->UebersichtFenster();
    QVERIFY(ue);
    ue->tabUebersicht->setCurrentWidget(ue->ctListVerstoesse);
    QCOMPARE(ue->ctListVerstoesse->Angezeigt(), 1);
    const QStringList z = ue->ctListVerstoesse->Gezeigt(0)->daten.toStringList();
    QCOMPARE(z.mid(0, 6), (QStringList{QStringLiteral("SOM"), QStringLiteral("Klaus Sommer"), QStringLiteral("Kasse"),
                                        QStringLiteral("Verwaltung"), QStringLiteral("Lager"), QStringLiteral("zurück")}));
    // A name typed in other case, with a blank, finds its rule.
    QCOMPARE(Datenbankwerkzeug::Regel(Ziel(*u->db), T({"loeschen", "KASSE "}), QString(), aus, err), 0);
    QVERIFY(u->db->Sql(QStringLiteral("SELECT name FROM uv_regel")).isEmpty());
}

QTEST_MAIN(TestUnvereinbar)
#include "tst_unvereinbar.moc"
