// Connection data, the connect rule, the call wrappers and the sign-on.

#include "testumgebung.h"

#include "auxwindows/frmprogrammverlauf.h"
#include "database/anmeldung.h"
#include "database/dbzugriff.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "platform/plattform.h"
#include "server/sqlfactory.h"
#include "platform/umgebung.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"

#include <QLineEdit>
#include <QTimer>
#include <QtTest>

class TestDatabase : public QObject {
    Q_OBJECT
  private slots:
    void init() { KORVAL_BACKEND_PRUEFEN(); }
    void kommandozeileGueltig_data();
    void kommandozeileGueltig();
    void kommandozeileFuelltVorgaben();
    void ungueltigeKommandozeileZeigtAnmeldung();
    void einstellungenMitEingabeboxen();
    void gespeichertesPasswortWirdEntschluesselt();
    void passwortCodieren();
    void warten();
    void verbindenNachDreiVersuchenFensterDannEnde();
    void verbindenKlapptNachVerbindungsfenster();
    void verbindenOhneAnmeldefensterInFehlerfall();
    void fehlermeldung();
    void verschachtelteOperationen();
    void leerlaufTrenntUndNaechsteVerbindetNeu();
    void dbcallFehler();
    void anmeldungKleinbuchstaben();
    void anmeldungFehlschlaege_data();
    void anmeldungFehlschlaege();
    void benutzerkontextAufDemServer();
    void benutzerkontextOhneEinschleusung();
    void fehlgeschlagenerVerbindungsaufbauBleibtAusgeglichen();
};

void TestDatabase::kommandozeileGueltig_data() {
    QTest::addColumn<QString>("zeile");
    QTest::addColumn<bool>("gueltig");
    QTest::newRow("vier felder") << "1 0 ADM demo" << true;
    QTest::newRow("alle felder") << "1 0 ADM demo srv 1973 KORVAL 2026 x" << true;
    QTest::newRow("code numerisch") << "1 0 123 demo" << false;
    QTest::newRow("code vier zeichen") << "1 0 ADMI demo" << false;
    QTest::newRow("firma keine zahl") << "A 0 ADM demo" << false;
    QTest::newRow("filiale keine zahl") << "1 X ADM demo" << false;
    QTest::newRow("leer") << "" << false;
    QTest::newRow("nur firma") << "1" << false;
    QTest::newRow("ohne code") << "1 0" << true;
    QTest::newRow("firma NAN") << "NAN 0 ADM demo" << false;
    QTest::newRow("filiale INF") << "1 INF ADM demo" << false;
    QTest::newRow("firma 1e0") << "1e0 0 ADM demo" << false;
    QTest::newRow("firma mit zeilenumbruch") << "1\n 0 ADM demo" << false;
    QTest::newRow("code INF ist ein name") << "1 0 INF demo" << true;
    QTest::newRow("code 1e0 ist ein name") << "1 0 1e0 demo" << true;
}

void TestDatabase::kommandozeileGueltig() {
    QFETCH(QString, zeile);
    QFETCH(bool, gueltig);
    QCOMPARE(KommandozeileGueltig(zeile), gueltig);
}

void TestDatabase::kommandozeileFuelltVorgaben() {
    Testumgebung u(false);
    Anwendungszustand& z = Zustand();
    z.Kommandozeile = QStringLiteral("7 3 abc geheim");
    VerbindungsdatenLesen();
    QCOMPARE(z.Firma, QStringLiteral("7"));
    QCOMPARE(z.Filiale, QStringLiteral("3"));
    QCOMPARE(z.Personalcode, QStringLiteral("abc"));
    QCOMPARE(z.Passwort, QStringLiteral("geheim"));
    QCOMPARE(z.Server, QStringLiteral("localhost"));
    QCOMPARE(z.Port, QStringLiteral("1973"));
    QCOMPARE(z.Namespace, QStringLiteral("KORVAL"));
    QCOMPARE(z.ConnStrg, QStringLiteral("cn_iptcp:localhost[1973]:KORVAL"));
    QVERIFY(z.Kommandozeile.isEmpty());
    QCOMPARE(u.server->BFIRMA->text(), QStringLiteral("7"));
    QCOMPARE(u.server->BSERVERIP->text(), QStringLiteral("localhost"));
    QCOMPARE(u.login->BUSER(), QStringLiteral("abc"));
    QCOMPARE(u.dialoge.gezeigt.size(), size_t(0));
    QCOMPARE(ConnStrgAus(QStringLiteral("srv1"), QStringLiteral("1973"), QStringLiteral("KORVAL")),
             QStringLiteral("cn_iptcp:srv1[1973]:KORVAL"));
}

void TestDatabase::ungueltigeKommandozeileZeigtAnmeldung() {
    Testumgebung u;
    u.einstellungen->Set(QStringLiteral("Server"), u.db->Server());
    u.einstellungen->Set(QStringLiteral("Port"), u.db->Port());
    u.einstellungen->Set(QStringLiteral("Namespace"), u.db->Namespace());
    u.einstellungen->Set(QStringLiteral("ServerObjekt"), QStringLiteral("1"));
    Zustand().Kommandozeile = QStringLiteral("1 0 ADMI demo");
    u.dialoge.modal.push_back([&](QWidget*) { u.login->setBPASSWORT(QStringLiteral("demo")); });
    VerbindungsdatenLesen();
    QCOMPARE(u.dialoge.Anzahl(QStringLiteral("Modal")), 1);
    QCOMPARE(u.dialoge.Letzte(QStringLiteral("Modal"))->fenster, static_cast<QWidget*>(u.login.get()));
    // The user is found by the password alone.
    QCOMPARE(Zustand().Personalcode, QStringLiteral("ADM"));
    QCOMPARE(Zustand().WJ, QStringLiteral("2026"));
}

void TestDatabase::einstellungenMitEingabeboxen() {
    Testumgebung u;
    u.dialoge.eingaben = {u.db->Server(), u.db->Port()};
    if (Testdatenbank::IstPostgres()) u.einstellungen->Set(QStringLiteral("Namespace"), u.db->Namespace());
    Zustand().AnmeldungPerDialog = true;
    EinstellungenLesen(false);
    QCOMPARE(u.dialoge.Anzahl(QStringLiteral("InputBox")), 2);
    QCOMPARE(u.dialoge.gezeigt[0].text, QStringLiteral("IP/Name Standard-Server:"));
    QCOMPARE(u.dialoge.gezeigt[0].titel, QStringLiteral("Anmeldung"));
    QCOMPARE(u.dialoge.gezeigt[1].text, QStringLiteral("Standard-Port:"));
    Anwendungszustand& z = Zustand();
    QCOMPARE(z.Firma, QStringLiteral("1"));
    QCOMPARE(z.Filiale, QStringLiteral("0"));
    QCOMPARE(z.Namespace, u.db->Namespace());
    QVERIFY(u.login->KeinStandardserver);
    QCOMPARE(z.WJ, QStringLiteral("2026"));
    QCOMPARE(u.server->BWJ->text(), QStringLiteral("2026"));
    // An empty answer leaves the server empty.
    Trennen();
    u.dialoge.eingaben = {QString(), QStringLiteral("1973")};
    u.dialoge.modal.push_back([](QWidget*) {});
    EinstellungenLesen(true);
    QCOMPARE(z.ConnStrg, QStringLiteral("cn_iptcp:[1973]:") + u.db->Namespace());
}

void TestDatabase::gespeichertesPasswortWirdEntschluesselt() {
    Testumgebung u;
    u.einstellungen->Set(QStringLiteral("Server"), u.db->Server());
    u.einstellungen->Set(QStringLiteral("Port"), u.db->Port());
    u.einstellungen->Set(QStringLiteral("Namespace"), u.db->Namespace());
    u.einstellungen->Set(QStringLiteral("Passwort"), PasswortCodieren(QStringLiteral("demo")));
    u.einstellungen->Set(QStringLiteral("Name"), QStringLiteral("ALT"));
    Zustand().AnmeldungPerDialog = false;
    EinstellungenLesen(false);
    QCOMPARE(Zustand().Passwort, QStringLiteral("demo"));
    QCOMPARE(u.login->BPASSWORT(), QStringLiteral("demo"));
    QVERIFY(u.login->KeinStandardserver); // nothing stored
    u.login->KeinStandardserver = false;
    u.einstellungen->Set(QStringLiteral("ServerObjekt"), QStringLiteral("255"));
    EinstellungenLesen(true);
    QVERIFY(u.login->KeinStandardserver); // 255 means no entry was chosen
    u.login->KeinStandardserver = false;
    u.einstellungen->Set(QStringLiteral("ServerObjekt"), QStringLiteral("2"));
    EinstellungenLesen(true);
    QVERIFY(!u.login->KeinStandardserver);
    QCOMPARE(Zustand().ServerObjekt, QStringLiteral("2"));
    QCOMPARE(Zustand().Personalcode, QStringLiteral("ADM"));
    QCOMPARE(u.login->BUSER(), QStringLiteral("ADM"));
    QVERIFY(
        QFile(u.einstellungen->Path()).permissions() ==
        (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser));
}

void TestDatabase::passwortCodieren() {
    QCOMPARE(PasswortCodieren(QStringLiteral("abc")), QStringLiteral("ba`"));
    QCOMPARE(PasswortCodieren(QStringLiteral("ba`")), QStringLiteral("abc"));
    const QString lang = QString(1000, QChar(0xFC)) + QStringLiteral("Ende");
    QCOMPARE(PasswortCodieren(PasswortCodieren(lang)), lang);
    QVERIFY(PasswortCodieren(lang) != lang);
}

void TestDatabase::warten() {
    Testumgebung u(false);
    long vergangen = -1;
    Warten(0, vergangen);
    QCOMPARE(vergangen, 0L);
    QCOMPARE(u.uhr.gewartetMs, 0LL);
    Warten(1000, vergangen);
    QCOMPARE(vergangen, 10L);
    QVERIFY(u.uhr.gewartetMs >= 10000 && u.uhr.gewartetMs < 10200);
    // Across midnight the clock starts again from 0: the wait ends there.
    u.uhr.setSekunden(86399.5);
    Warten(1000, vergangen);
    QVERIFY(u.uhr.gewartetMs < 20000);
    // The real clock waits without spinning and returns in time.
    Env().uhr = nullptr;
    QElapsedTimer t;
    t.start();
    Warten(5, vergangen);
    QVERIFY(t.elapsed() >= 40 && t.elapsed() < 2000);
}

void TestDatabase::verbindenNachDreiVersuchenFensterDannEnde() {
    Testumgebung u(false);
    int versuche = 0;
    Zustand().FactoryErzeugen = [&] {
        ++versuche;
        return NeueCacheFactory();
    };
    Zustand().ConnStrg = QStringLiteral("cn_iptcp:127.0.0.1[1]:KORVAL");
    Zustand().Benutzer = QStringLiteral("ADM|x");
    int versucheBeimFenster = -1;
    u.dialoge.modal.push_back([&](QWidget*) { versucheBeimFenster = versuche; });
    QElapsedTimer t;
    t.start();
    QVERIFY_THROWS_EXCEPTION(CacheFehler, DbBeginn(false));
    QVERIFY(t.elapsed() < 5000);
    QCOMPARE(versucheBeimFenster, 3);
    QCOMPARE(versuche, 6);
    // Pauses after the first and second attempt of each run.
    QVERIFY(u.uhr.gewartetMs >= 40000 && u.uhr.gewartetMs < 41000);
    QCOMPARE(u.dialoge.gezeigt.size(), size_t(3));
    QCOMPARE(u.dialoge.gezeigt[0].art, QStringLiteral("MsgBox"));
    QCOMPARE(u.dialoge.gezeigt[0].stil, 48);
    QCOMPARE(u.dialoge.gezeigt[0].titel, QStringLiteral("Anmeldung an Caché"));
    QCOMPARE(
        u.dialoge.gezeigt[0].text,
        QStringLiteral(
            "Server nach 3 Versuchen nicht erreichbar!\r\nBitte Kontrollieren Sie die Verbindungsdaten"));
    QCOMPARE(u.dialoge.gezeigt[1].fenster, static_cast<QWidget*>(u.server.get()));
    QCOMPARE(u.dialoge.gezeigt[2].stil, 16);
    QCOMPARE(u.dialoge.gezeigt[2].text,
             QStringLiteral(
                 "Der Server ist nicht erreichbar!\r\nBitte Versuchen Sie die Anmeldung zu einem späteren "
                 "Zeitpunk noch ein mal.\r\nGrund: Verbindung abgelehnt"));
    QVERIFY(Zustand().Benutzer.isEmpty());
    QCOMPARE(u.beendet, 1);
    // The reason is in the history, without any credentials.
    QVERIFY(u.Verlaufszeilen().front().startsWith(
        QStringLiteral("cacheapi.Verbinden;Verbindung fehlgeschlagen;Verbindung abgelehnt: ")));
    QVERIFY(!u.Verlaufszeilen().join(QString()).contains(
        qEnvironmentVariable("PGPASSWORD", QStringLiteral("\x01"))));
}

void TestDatabase::verbindenKlapptNachVerbindungsfenster() {
    Testumgebung u;
    Zustand().ConnStrg = QStringLiteral("cn_iptcp:/nirgends[1973]:KORVAL");
    u.dialoge.modal.push_back([&](QWidget*) { Zustand().ConnStrg = u.db->ConnStrg(); });
    DbBeginn(false);
    DbEnde(false);
    QVERIFY(Zustand().CacheFactory->IsConnected());
    QCOMPARE(u.beendet, 0);
    QCOMPARE(u.dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
}

void TestDatabase::verbindenOhneAnmeldefensterInFehlerfall() {
    // Without windows (korval tools, early start) the rule still ends.
    Testumgebung u(false);
    Zustand().Login = nullptr;
    Zustand().ServerFenster = nullptr;
    Zustand().ConnStrg = QStringLiteral("kaputt");
    QVERIFY_THROWS_EXCEPTION(CacheFehler, DbBeginn(false));
    QCOMPARE(u.beendet, 1);
}

void TestDatabase::fehlermeldung() {
    Testumgebung u(false);
    Zustand().DbZugriffe = 1;
    Plattform::setSanduhr(true);
    CacheFehlermeldung(CacheFehler(91, QStringLiteral("x")), QStringLiteral("p Test"));
    const Gezeigt* m = u.dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QCOMPARE(m->titel, QStringLiteral("Caché Zugriffsfehler"));
    QCOMPARE(m->stil, 48);
    QCOMPARE(m->text, QStringLiteral("Vorgang: p Test.\r\n\r\nFehler: 91\r\nx\r\n\r\n"));
    QCOMPARE(u.Verlaufszeilen().front(), QStringLiteral("cacheapi.CacheFehlermeldung;p Test;Fehler #91 x"));
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
}

void TestDatabase::verschachtelteOperationen() {
    Testumgebung u;
    Zustand().ConnStrg = u.db->ConnStrg();
    DbBeginn(true);
    QVERIFY(Plattform::Sanduhr());
    DbBeginn(false);
    QCOMPARE(Zustand().DbZugriffe, 2L);
    DbEnde(false);
    QVERIFY(!u.server->Lock()->isActive());
    DbEnde(true);
    QVERIFY(u.server->Lock()->isActive());
    QCOMPARE(u.server->Lock()->interval(), 60000);
    QVERIFY(!Plattform::Sanduhr());
    DbBeginn(false);
    QVERIFY(!u.server->Lock()->isActive());
    Trennen();
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!u.server->Lock()->isActive());
}

void TestDatabase::leerlaufTrenntUndNaechsteVerbindetNeu() {
    Testumgebung u;
    Zustand().ConnStrg = u.db->ConnStrg();
    u.server->Lock()->setInterval(20);
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W 1"), fehler), QStringLiteral("1"));
    QVERIFY(Zustand().CacheFactory->IsConnected());
    QTRY_VERIFY_WITH_TIMEOUT(!Zustand().CacheFactory->IsConnected(), 2000);
    QCOMPARE(dbcall(QStringLiteral("W 2"), fehler), QStringLiteral("2"));
    QVERIFY(!fehler);
    // Both connections started a session on the server.
    auto* sql = u.Factory();
    QCOMPARE(sql->select(QStringLiteral("SELECT COUNT(*) FROM m_sitzung"), {}, 1).front().front(),
             QStringLiteral("2"));
}

void TestDatabase::dbcallFehler() {
    Testumgebung u;
    Zustand().ConnStrg = u.db->ConnStrg();
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W ^NIX(1)"), fehler), QString());
    QVERIFY(fehler);
    QCOMPARE(Zustand().DbZugriffe, 0L);
    const Gezeigt* m = u.dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m->text.startsWith(
        QStringLiteral("Vorgang: cacheapi.dbcall Ungültige Anfrage! Kein Ergebnis gefunden\r\n\r\n"
                       "DBCall Aufruf von KV.Windwos Xecute W ^NIX(1).")));
    QVERIFY(m->text.contains(QStringLiteral("Fehler: 9\r\n<UNDEFINED>")));
}

void TestDatabase::anmeldungKleinbuchstaben() {
    Testumgebung u;
    QVERIFY(u.Anmelden(QStringLiteral("adm"), QStringLiteral("demo")));
    Anwendungszustand& z = Zustand();
    QCOMPARE(z.Benutzer, QStringLiteral("adm|Verwalter Anton"));
    QCOMPARE(z.PName, QStringLiteral("Verwalter Anton"));
    QCOMPARE(z.PNr, QStringLiteral("1000"));
    QCOMPARE(z.BerGrp, QStringLiteral("9"));
    QCOMPARE(z.DW, QStringLiteral("100"));
    QCOMPARE(z.AbtNr, QStringLiteral("10"));
    QCOMPARE(z.AbtBez, QStringLiteral("Geschäftsführung"));
    QCOMPARE(z.HAbtNr, QStringLiteral("10"));
    QCOMPARE(z.Fax, QStringLiteral("0711 4711-9100"));
    QCOMPARE(z.EMail, QStringLiteral("adm@demo.example"));
    QVERIFY(!z.AnmeldungFehlgeschlagen);
    QCOMPARE(z.DbZugriffe, 0L);
    QCOMPARE(u.dialoge.gezeigt.size(), size_t(0));
}

void TestDatabase::anmeldungFehlschlaege_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("passwort");
    QTest::addColumn<QString>("vorbereitung");
    QTest::addColumn<QString>("meldung");
    QTest::newRow("falsches passwort") << "ADM"
                                       << "falsch"
                                       << ""
                                       << "Passwort Falsch oder Benutzer nicht Aktiv.";
    QTest::newRow("nicht aktiv") << "INA"
                                 << "alt"
                                 << ""
                                 << "Passwort Falsch oder Benutzer nicht Aktiv.";
    QTest::newRow("aktiv klein j") << "USR"
                                   << "user"
                                   << "aktiv j"
                                   << "Passwort Falsch oder Benutzer nicht Aktiv.";
    QTest::newRow("kein datensatz")
        << "XYZ"
        << "demo"
        << ""
        << "Vorgang: cacheapi.user_anmeld Anmeldung mit nicht existierendem Personalcode.";
    QTest::newRow("keine abteilung") << "USR"
                                     << "user"
                                     << "abteilung weg"
                                     << "Vorgang: cacheapi.user_anmeld Abteilungsermittlung.";
    QTest::newRow("keine persbasis") << "USR"
                                     << "user"
                                     << "persbasis weg"
                                     << "Vorgang: cacheapi.user_anmeld PersBasis Nummern.";
}

void TestDatabase::anmeldungFehlschlaege() {
    QFETCH(QString, code);
    QFETCH(QString, passwort);
    QFETCH(QString, vorbereitung);
    QFETCH(QString, meldung);
    Testumgebung u;
    // The employee records are the suite's: another program changes them.
    if (vorbereitung == QLatin1String("aktiv j"))
        u.db->SqlAendern(QStringLiteral("UPDATE kv_parpersedv SET aktiv = 'j' WHERE firma = '1' AND pcode = 'USR'"));
    else if (vorbereitung == QLatin1String("abteilung weg"))
        u.db->SqlAendern(QStringLiteral("DELETE FROM kv_parpersabt WHERE firma = '1' AND abtnr = '20'"));
    else if (vorbereitung == QLatin1String("persbasis weg"))
        u.db->SqlAendern(QStringLiteral("DELETE FROM kv_persbasis WHERE firma = '1' AND pnr = '1001'"));
    u.login->setBPASSWORT(passwort);
    u.login->show();
    QVERIFY(!u.Anmelden(code, passwort));
    const Gezeigt* m = u.dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.startsWith(meldung), qPrintable(m->text));
    if (meldung.startsWith(QLatin1String("Passwort"))) {
        QCOMPARE(m->titel, QStringLiteral("Anmeldung an Caché."));
        QCOMPARE(m->stil, 64);
        QCOMPARE(u.login->txtPasswort->selectedText(), passwort);
    } else {
        QCOMPARE(m->titel, QStringLiteral("Caché Zugriffsfehler"));
        QVERIFY(Zustand().AnmeldungPerDialog);
    }
    QVERIFY(Zustand().AnmeldungFehlgeschlagen);
    QVERIFY(Zustand().Benutzer.isEmpty());
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
}

void TestDatabase::benutzerkontextAufDemServer() {
    Testumgebung u;
    QVERIFY(u.Anmelden());
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W FIRMA_\"/\"_FIL_\"/\"_PERSONAL"), fehler), QStringLiteral("1/0/ADM"));
    QVERIFY(!fehler);
    // Nobody signed on (the login dialog at start): a connection made then
    // names no user, whatever code the settings hold.
    Zustand().Benutzer.clear();
    Trennen();
    QCOMPARE(dbcall(QStringLiteral("W FIRMA_\"/\"_FIL_\"/\"_PERSONAL"), fehler), QStringLiteral("1/0/"));
}

void TestDatabase::benutzerkontextOhneEinschleusung() {
    QCOMPARE(BenutzerkontextBefehl(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("ADM")),
             QStringLiteral("S FIRMA=1,FIL=0,PERSONAL=\"ADM\""));
    Testumgebung u;
    // Employee records are the suite's: written by hand here.
    u.db->SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, passwort, aktiv, pname, pnr, abtnr, bergrp) "
                                    "VALUES ('1', 'Q\"K', 'q', 'J', 'Quote Karl', '1000', '10', '9')"));
    QVERIFY(u.Anmelden(QStringLiteral("Q\"K"), QStringLiteral("q")));
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W PERSONAL"), fehler), QStringLiteral("Q\"K"));
    // A company text that is not a number cannot add commands either.
    Zustand().Firma = QStringLiteral("1 K  S X=1");
    const QString befehl =
        BenutzerkontextBefehl(Zustand().Firma, QStringLiteral("0"), QStringLiteral("\" W 1"));
    QCOMPARE(dbcall(befehl, fehler), QString());
    // A number followed by a line break is quoted like any other text.
    QCOMPARE(BenutzerkontextBefehl(QStringLiteral("1\n"), QStringLiteral("0"), QStringLiteral("X")),
             QStringLiteral("S FIRMA=\"1\n\",FIL=0,PERSONAL=\"X\""));
    QVERIFY(!fehler);
    QCOMPARE(dbcall(QStringLiteral("W FIRMA"), fehler), QStringLiteral("1 K  S X=1"));
    QCOMPARE(dbcall(QStringLiteral("W PERSONAL"), fehler), QStringLiteral("\" W 1"));
}

void TestDatabase::fehlgeschlagenerVerbindungsaufbauBleibtAusgeglichen() {
    Testumgebung u;
    // The server answers, but the session start after the connect fails.
    Zustand().ConnStrg = u.db->ConnStrg();
    Zustand().FactoryErzeugen = [] {
        auto f = std::make_unique<SqlCacheFactory>();
        f->setFailAfter(1);
        return f;
    };
    bool fehler = false;
    dbcall(QStringLiteral("W 1"), fehler);
    QVERIFY(fehler);
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
}

QTEST_MAIN(TestDatabase)
#include "tst_database.moc"
