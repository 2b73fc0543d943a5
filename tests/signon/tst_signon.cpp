// The login dialog and the connection list.

#include "testumgebung.h"

#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QScopeGuard>
#include <QtTest>

#include <optional>

namespace {
const QString KASSA = QStringLiteral("KV.KassaSW");
}

class TestSignon : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup() { u.reset(); }
    void aktivierungMitUndOhneStandardserver();
    void anmeldenBeimStartSpeichertNur();
    void anmeldenVomMenueAendertNurBenutzer();
    void veralteteDatenbankEinmalGemeldet();
    void ungesicherteDatenbankGemeldet_data();
    void ungesicherteDatenbankGemeldet();
    void neueUeberschrift_data();
    void neueUeberschrift();
    void codeWirdGrossBeimVerlassen();
    void abbruchBeendet();
    void leereVerbindungsliste();
    void eintragZeigen();
    void vieleEintraege();
    void aendernVerweigern();
    void aendernSpeichertAmStandardserver();
    void aendernInSitzungDerBefehlszeile();
    void ohneEintragNurHinweis();
    void neuerBenutzerWaehltStandardUndFindetIhnWieder();

  private:
    void EinstellungenAufDemo() {
        u->einstellungen->Set(QStringLiteral("Server"), u->db->Server());
        u->einstellungen->Set(QStringLiteral("Port"), u->db->Port());
        u->einstellungen->Set(QStringLiteral("Namespace"), u->db->Namespace());
    }
    void FelderAufDemo() {
        u->server->setFeld(VerbindungsFenster::FeldServer, u->db->Server());
        u->server->setFeld(VerbindungsFenster::FeldPort, u->db->Port());
        u->server->setFeld(VerbindungsFenster::FeldNamespace, u->db->Namespace());
    }
    std::unique_ptr<Testumgebung> u;
};

void TestSignon::init() {
    KORVAL_BACKEND_PRUEFEN();
    u.reset();
    u = std::make_unique<Testumgebung>();
    QVERIFY(u->db->Ok());
}

void TestSignon::aktivierungMitUndOhneStandardserver() {
    Zustand().ConnStrg = u->db->ConnStrg();
    u->login->KeinStandardserver = true;
    u->login->Form_Activate();
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(2));
    QCOMPARE(u->dialoge.gezeigt[0].titel, QStringLiteral("Standardserver?"));
    QCOMPARE(u->dialoge.gezeigt[0].stil, 0);
    QCOMPARE(u->dialoge.gezeigt[0].text,
             QStringLiteral(
                 "Es ist kein Standardserver festgelegt!\r\nBitte wählen Sie aus der Liste die Firma in der "
                 "Sie arbeiten (linke Maustaste Click) und bestätigen Sie mit der rechten Maustaste (Eintrag "
                 "als Standard) speichern."));
    QCOMPARE(u->dialoge.gezeigt[1].fenster, static_cast<QWidget*>(u->server.get()));
    QCOMPARE(u->server->ctList->ListCount(), 3);
    // Choosing a standard entry ends the message.
    u->server->ctList->setSelected(0, true);
    u->server->ctList_Click();
    u->server->mRechts_Click(0);
    QVERIFY(!u->login->KeinStandardserver);
    u->dialoge.gezeigt.clear();
    u->login->Form_Activate();
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
}

void TestSignon::anmeldenBeimStartSpeichertNur() {
    FelderAufDemo();
    Zustand().ConnStrg = u->db->ConnStrg();
    u->login->show();
    u->login->setBPASSWORT(QStringLiteral("user"));
    u->login->setBUSER(QStringLiteral("USR"));
    u->login->BUSpeich_Click();
    QCOMPARE(u->einstellungen->Get(QStringLiteral("Name")), QStringLiteral("USR"));
    QCOMPARE(u->einstellungen->Get(QStringLiteral("Passwort")), PasswortCodieren(QStringLiteral("user")));
    QVERIFY(!u->login->isVisible());
    QCOMPARE(Zustand().Personalcode, QStringLiteral("USR"));
    QCOMPARE(Zustand().Passwort, QStringLiteral("user"));
    QVERIFY(Zustand().Benutzer.isEmpty()); // the caller signs on
}

void TestSignon::anmeldenVomMenueAendertNurBenutzer() {
    EinstellungenAufDemo();
    FMStart w(u->login.get(), u->verlauf.get());
    u->login->setHauptfenster(&w);
    // Started with a command line as ADM ...
    Zustand().ProgrammKommandozeile = u->Kommandozeile();
    w.Form_Load();
    QCOMPARE(w.windowTitle(),
             QStringLiteral("KORVAL Benutzerverwaltung   Firma: 1     Filiale: 0     Benutzer: "
                            "ADM|Verwalter Anton"));
    // ... then signed on again from the menu as another user.
    w.show();
    w.mLogin_Click();
    u->login->setBPASSWORT(QStringLiteral("user"));
    u->login->BUSpeich_Click();
    QCOMPARE(Zustand().Benutzer, QStringLiteral("USR|Schröder Petra"));
    QCOMPARE(w.windowTitle(),
             QStringLiteral("KORVAL Benutzerverwaltung   Firma: 1     Filiale: 0     Benutzer: "
                            "USR|Schröder Petra"));
    QVERIFY(!u->login->isVisible());
    QVERIFY(Zustand().CacheFactory->IsConnected());
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

// A database the program cannot bring up to date (a trigger refuses the
// step): said once at the first sign-on, not again at each one from the menu.
void TestSignon::veralteteDatenbankEinmalGemeldet() {
    u->db->SqlAendern(QStringLiteral("UPDATE kv_schema SET version = 2"));
    u->db->SqlAendern(Testdatenbank::IstPostgres()
                          ? QStringLiteral("CREATE FUNCTION kv_nie() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                           "RAISE EXCEPTION 'nie'; END $$; CREATE TRIGGER kv_nie BEFORE UPDATE ON "
                                           "kv_schema FOR EACH ROW EXECUTE FUNCTION kv_nie()")
                          : QStringLiteral("CREATE TRIGGER kv_nie BEFORE UPDATE ON kv_schema BEGIN "
                                           "SELECT RAISE(ABORT, 'nie'); END"));
    // The database stays for the next tests (on PostgreSQL): the trigger goes.
    const auto aufraeumen = qScopeGuard([&] {
        u->db->SqlAendern(Testdatenbank::IstPostgres()
                              ? QStringLiteral("DROP TRIGGER kv_nie ON kv_schema; DROP FUNCTION kv_nie()")
                              : QStringLiteral("DROP TRIGGER kv_nie"));
    });
    // A role that may upgrade, but the trigger keeps it from it (the
    // workstations' role may not even try).
    AlsEigentuemer eigentuemer;
    auto w = Hauptfenster(*u);
    QVERIFY(Starten(*u, *w));
    // Said at the start (the set-up clears what the start showed).
    QVERIFY(Zustand().SchemaGemeldet);
    int vorher = 0;
    for (const Gezeigt& g : u->dialoge.gezeigt)
        vorher += g.titel == QStringLiteral("Datenbank nicht aktuell");
    for (const char* code : {"ADM", "SOM"}) {
        w->mLogin->trigger();
        AmDialogAnmelden(*u, QString::fromLatin1(code), QString::fromLatin1(code) == QLatin1String("ADM")
                                                             ? QStringLiteral("demo")
                                                             : QStringLiteral("s1"));
        QVERIFY(Zustand().Benutzer.startsWith(QString::fromLatin1(code)));
    }
    int danach = 0;
    for (const Gezeigt& g : u->dialoge.gezeigt)
        danach += g.titel == QStringLiteral("Datenbank nicht aktuell");
    QCOMPARE(danach, vorher);
}

// A role that may change the tables past the functions (a database not yet
// secured, or a workstation set up with the owner's login) is told once,
// with the command that mends it; the workstations' role is not.
void TestSignon::ungesicherteDatenbankGemeldet_data() {
    QTest::addColumn<bool>("eigentuemer");
    QTest::newRow("Rolle der Arbeitsplätze") << false;
    QTest::newRow("Eigentümer") << true;
}

void TestSignon::ungesicherteDatenbankGemeldet() {
    if (!Testdatenbank::IstPostgres()) QSKIP("Rollen gibt es nur auf PostgreSQL");
    QFETCH(bool, eigentuemer);
    std::optional<AlsEigentuemer> als;
    if (eigentuemer) als.emplace();
    for (int i = 0; i < 2; ++i)
        QVERIFY(u->Anmelden());
    int gemeldet = 0;
    for (const Gezeigt& g : u->dialoge.gezeigt)
        if (g.titel == QStringLiteral("Datenbank nicht gesichert")) {
            ++gemeldet;
            QVERIFY2(g.text.contains(QStringLiteral("korval-db upgrade --server %1 --port %2 --namespace %3 "
                                                    "--anwendungsrolle NAME")
                                         .arg(u->db->Server(), u->db->Port(), u->db->Namespace())),
                     qPrintable(g.text));
        }
    QCOMPARE(gemeldet, eigentuemer ? 1 : 0);
}

void TestSignon::neueUeberschrift_data() {
    QTest::addColumn<QString>("alt");
    QTest::addColumn<QString>("neu");
    QTest::newRow("ohne klammer und doppelpunkt") << "Nur Text"
                                                  << " B|N";
    QTest::newRow("mit klammer") << "Firma: 1 Benutzer: A [Test: x]"
                                 << "Firma: 1 Benutzer: B|N";
    QTest::newRow("leer") << ""
                          << " B|N";
}

void TestSignon::neueUeberschrift() {
    QFETCH(QString, alt);
    QFETCH(QString, neu);
    QCOMPARE(FMPass::NeueUeberschrift(alt, QStringLiteral("B|N")), neu);
}

void TestSignon::codeWirdGrossBeimVerlassen() {
    u->login->show();
    u->login->txtUser->setText(QStringLiteral("adm"));
    QFocusEvent raus(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(u->login->txtUser, &raus);
    QCOMPARE(u->login->BUSER(), QStringLiteral("ADM"));
    QCOMPARE(u->login->txtPasswort->echoMode(), QLineEdit::Password);
    QCOMPARE(u->login->windowTitle(), QStringLiteral("KORVAL Benutzeranmeldung"));
    QVERIFY(u->login->txtUser->geometry().top() > u->login->height()); // below the inner area
}

void TestSignon::abbruchBeendet() {
    Zustand().Benutzer = QStringLiteral("ADM|x");
    u->login->BUAusst_Click();
    QVERIFY(Zustand().Benutzer.isEmpty());
    QCOMPARE(u->beendet, 1);
}

void TestSignon::leereVerbindungsliste() {
    u->Aendern([](CacheFactory& f) {
        for (const char* id : {"1", "2", "3"})
            f.OpenId(KASSA, QString::fromLatin1(id))
                ->Methode(QStringLiteral("sys_deleteID"), {QString::fromLatin1(id)});
    });
    Zustand().ConnStrg = u->db->ConnStrg();
    u->server->Form_Load();
    QCOMPARE(u->server->ctList->ListCount(), 0);
    QCOMPARE(u->server->EintragNr, 255);
    u->server->ctList_Click();
    QCOMPARE(u->server->EintragNr, 255);
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
}

void TestSignon::eintragZeigen() {
    u->Aendern([](CacheFactory& f) {
        CacheObjektPtr e = f.New(KASSA);
        for (const auto& [k, v] : std::vector<std::pair<const char*, const char*>>{{"sys_ID", "7"},
                                                                                   {"Firma", "4"},
                                                                                   {"FIL", "2"},
                                                                                   {"ip", "srv7"},
                                                                                   {"PORT", "1972"},
                                                                                   {"NAMESPACE", "NS7"},
                                                                                   {"Bezeichnung", "Sieben"}})
            e->setEigenschaft(QString::fromLatin1(k), QString::fromLatin1(v));
        e->Methode(QStringLiteral("sys_Save"));
    });
    Zustand().ConnStrg = u->db->ConnStrg();
    Zustand().WJ = QStringLiteral("2026");
    u->server->setFeld(VerbindungsFenster::FeldWJ, QStringLiteral("2026"));
    u->server->Form_Load();
    QCOMPARE(u->server->ctList->ListCount(), 4);
    QCOMPARE(u->server->ctList->List(3), QStringLiteral("7;Sieben"));
    u->server->ctList->setSelected(3, true);
    u->server->ctList_Click();
    QCOMPARE(u->server->EintragNr, 7);
    QCOMPARE(u->server->BFIRMA->text(), QStringLiteral("4"));
    QCOMPARE(u->server->BFIL->text(), QStringLiteral("2"));
    QCOMPARE(u->server->BSERVERIP->text(), QStringLiteral("srv7"));
    QCOMPARE(u->server->BPORT->text(), QStringLiteral("1972"));
    QCOMPARE(u->server->BNAMESPACE->text(), QStringLiteral("NS7"));
    QCOMPARE(u->server->BWJ->text(), QStringLiteral("2026"));
    QVERIFY(!u->server->BFIRMA->isEnabled());
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestSignon::vieleEintraege() {
    u->Aendern([](CacheFactory& f) {
        f.TransaktionBeginnen();
        for (int i = 10; i < 310; ++i) {
            CacheObjektPtr e = f.New(KASSA);
            e->setEigenschaft(QStringLiteral("sys_ID"), QString::number(i));
            e->setEigenschaft(QStringLiteral("Bezeichnung"), QStringLiteral("Kasse %1").arg(i));
            e->Methode(QStringLiteral("sys_Save"));
        }
        f.TransaktionBestaetigen();
    });
    Zustand().ConnStrg = u->db->ConnStrg();
    u->server->Form_Load();
    QCOMPARE(u->server->ctList->ListCount(), 303);
    u->server->ctList->setSelected(302, true);
    u->server->ctList_Click();
    QCOMPARE(u->server->EintragNr, 309);
}

void TestSignon::aendernVerweigern() {
    QVERIFY(u->server->BUEdit->Value());
    u->dialoge.antworten.push_back(DialogService::No);
    u->server->BUEdit->click();
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, QStringLiteral("Änderungen erlauben?"));
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Anmeldung an Caché"));
    QVERIFY(!u->server->BSERVERIP->isEnabled());
    QVERIFY(u->server->BUEdit->Value());
    u->dialoge.antworten.push_back(DialogService::Yes);
    u->server->BUEdit->click();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 2);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, QStringLiteral("Änderungen erlauben?"));
    QVERIFY(u->server->BSERVERIP->isEnabled());
    QVERIFY(!u->server->BWJ->isEnabled());
    // Refusing to save keeps the text but locks the fields.
    u->server->BSERVERIP->setText(QStringLiteral("ungesichert"));
    u->dialoge.antworten.push_back(DialogService::No);
    u->server->BUEdit->click();
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text,
             QStringLiteral("Änderungen sichern?\r\nDer Eintrag wird am Standardserver gespeichert"));
    QVERIFY(!u->server->BSERVERIP->isEnabled());
    QCOMPARE(u->server->BSERVERIP->text(), QStringLiteral("ungesichert"));
}

void TestSignon::aendernSpeichertAmStandardserver() {
    EinstellungenAufDemo();
    Zustand().ConnStrg = u->db->ConnStrg();
    Zustand().WJ = QStringLiteral("2026");
    u->server->setFeld(VerbindungsFenster::FeldWJ, QStringLiteral("2026"));
    u->server->Form_Load();
    u->server->ctList->setSelected(2, true);
    u->server->ctList_Click();
    QCOMPARE(u->server->EintragNr, 3);
    u->dialoge.antworten = {DialogService::Yes, DialogService::Yes};
    u->server->BUEdit->click();
    u->server->BSERVERIP->setText(QStringLiteral("neuer-server"));
    u->server->BPORT->setText(QStringLiteral("2000"));
    u->server->BUEdit->click();
    CacheFactoryPtr f = u->db->NeuerClient();
    CacheObjektPtr e = f->OpenId(KASSA, QStringLiteral("3"));
    QCOMPARE(e->Eigenschaft(QStringLiteral("ip")), QStringLiteral("neuer-server"));
    QCOMPARE(e->Eigenschaft(QStringLiteral("PORT")), QStringLiteral("2000"));
    QCOMPARE(e->Eigenschaft(QStringLiteral("Type")), QStringLiteral("0"));
    QCOMPARE(Zustand().WJ, QStringLiteral("2026"));
    // The fields became the connection data.
    QCOMPARE(Zustand().Server, QStringLiteral("neuer-server"));
    QCOMPARE(Zustand().ConnStrg, QStringLiteral("cn_iptcp:neuer-server[2000]:TEST"));
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(u->server->lblBefehlszeile->isHidden());
}

// Started from the command line: the entry is saved on the standard server,
// the session keeps the command line's server, company and branch, and the
// window says so.
void TestSignon::aendernInSitzungDerBefehlszeile() {
    EinstellungenAufDemo();
    u->einstellungen->Set(QStringLiteral("Firma"), QStringLiteral("2"));
    u->einstellungen->Set(QStringLiteral("Filiale"), QStringLiteral("5"));
    QVERIFY(u->Anmelden());
    u->server->Form_Load();
    QVERIFY(!u->server->lblBefehlszeile->isHidden());
    u->server->ctList->setSelected(0, true);
    u->server->ctList_Click();
    u->dialoge.antworten = {DialogService::Yes, DialogService::Yes};
    u->server->BUEdit->click();
    u->server->BNAMESPACE->setText(QStringLiteral("NEU"));
    u->server->BUEdit->click();
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT namespace FROM kv_kassasw WHERE sys_id = 1")),
             QStringList{QStringLiteral("NEU")});
    QCOMPARE(Zustand().Firma, QStringLiteral("1"));
    QCOMPARE(Zustand().Filiale, QStringLiteral("0"));
    QCOMPARE(Zustand().ConnStrg, u->db->ConnStrg());
    // The next operation works on the session's server, as the session's user.
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W FIRMA_\"/\"_PERSONAL"), fehler), QStringLiteral("1/ADM"));
    QVERIFY(!fehler);
}

void TestSignon::ohneEintragNurHinweis() {
    u->server->mRechts_Click(0);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text,
             QStringLiteral("Bitte wählen Sie zuerst einen Eintrag aus der Liste."));
    QVERIFY(u->einstellungen->Get(QStringLiteral("ServerObjekt")).isEmpty());
    u->dialoge.antworten = {DialogService::Yes, DialogService::Yes};
    u->server->BUEdit->click();
    u->server->BUEdit->click();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 4);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text,
             QStringLiteral("Bitte wählen Sie zuerst einen Eintrag aus der Liste."));
    QVERIFY(!Zustand().CacheFactory);
}

void TestSignon::neuerBenutzerWaehltStandardUndFindetIhnWieder() {
    const QStringList antworten = {u->db->Server(), u->db->Port()};
    auto Start = [&] {
        FMStart w(u->login.get(), u->verlauf.get());
        u->login->setHauptfenster(&w);
        w.Form_Load();
        return w.windowTitle();
    };
    // First start: no settings; server and port typed into input boxes.
    u->dialoge.eingaben = {antworten[0], antworten[1]};
    if (Testdatenbank::IstPostgres()) u->einstellungen->Set(QStringLiteral("Namespace"), u->db->Namespace());
    // The login dialog comes up; its activation asks for the standard server first.
    u->dialoge.modal.push_back([this](QWidget* fmpass) {
        QCOMPARE(fmpass, static_cast<QWidget*>(u->login.get()));
        u->login->Form_Activate();
        u->login->setBPASSWORT(QStringLiteral("demo"));
        u->login->BUSpeich_Click();
    });
    u->dialoge.modal.push_back([this](QWidget* fmserver) {
        QCOMPARE(fmserver, static_cast<QWidget*>(u->server.get()));
        u->server->ctList->setSelected(0, true);
        u->server->ctList_Click();
        u->server->mRechts_Click(0);
        u->server->BUZurueck_Click();
    });
    QVERIFY(Start().endsWith(QStringLiteral("Benutzer: ADM|Verwalter Anton")));
    QCOMPARE(u->einstellungen->Get(QStringLiteral("ServerObjekt")), QStringLiteral("1"));
    QCOMPARE(u->einstellungen->Get(QStringLiteral("Server")), u->db->Server());
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("InputBox")), 2);

    // Next start: the stored standard is used, no questions, no connection list.
    Zustand().CacheFactory.reset();
    ZustandZuruecksetzen();
    u->login->KeinStandardserver = false;
    u->dialoge.gezeigt.clear();
    u->dialoge.modal.push_back([this](QWidget*) {
        u->login->Form_Activate();
        u->login->setBPASSWORT(QStringLiteral("demo"));
        u->login->BUSpeich_Click();
    });
    QVERIFY(Start().endsWith(QStringLiteral("Benutzer: ADM|Verwalter Anton")));
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("InputBox")), 0);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Modal")), 1);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(Zustand().ConnStrg, u->db->ConnStrg());
}

QTEST_MAIN(TestSignon)
#include "tst_signon.moc"
