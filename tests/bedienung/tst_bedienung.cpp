// The program worked the way a user works it: typing into the boxes, clicking
// buttons and list rows with the mouse, pressing keys in the dialogs. Results
// are read from the server's tables directly.

#include "testumgebung.h"

#include "auxwindows/frmabout.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "auxwindows/splash.h"
#include "database/dbzugriff.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "permissions/pflege.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "server/sqlfactory.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

namespace {
int Anzahl(const Testdatenbank& db, const QString& sql, const QVariantList& werte = {}) {
    return db.Sql(sql, werte).value(0).toInt();
}

} // namespace

class TestBedienung : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void getippteNamenBleiben_data();
    void getippteNamenBleiben();
    void pfeiltasteBeginntBeimErstenEintrag();
    void strichAmRandWirdAbgewiesen_data();
    void strichAmRandWirdAbgewiesen();
    void altesProgrammMitStrichLoeschbar();
    void halbGeladeneMitgliederNichtSpeichern();
    void falschesPasswortAufDerKommandozeile();
    void menueAnmeldungBehaeltVerbindung();
    void escapeBeimStartBeendet();
    void escapeVomMenueSchliesstNur();
    void verbindungslisteNachAusfall();
    void verbindungslisteEinFehlerEineMeldung();
    void rechtsklickWaehltDieZeile();
    void rechtsklickNebenDieZeilen();
    void befehlWaehrendBefehl();
    void fehlgeschlageneDannGelungeneSicherung();
    void nurMitarbeiterDerEigenenFirma();
    void gruppeLoeschenLeertMitglieder();
    void mitgliedMitUmlaut();
    void texteNichtAbgeschnitten();
    void tippenSuchtInDerListe();

  private:
    void Starten();
    void Antwort(int a) { u->dialoge.antworten.push_back(a); }
    // Into the focused box, as a user types: Qt completes only in a focused field.
    void Tippen(QComboBox* box, const QString& text) {
        box->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box->window()));
        box->setFocus();
        QVERIFY(box->hasFocus());
        box->lineEdit()->clear();
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestBedienung::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestBedienung::cleanup() {
    Abbauen(u, w);
}

void TestBedienung::Starten() {
    QVERIFY(::Starten(*u, *w));
}

void TestBedienung::getippteNamenBleiben_data() {
    QTest::addColumn<QString>("gruppe");
    QTest::addColumn<bool>("mitEnter");
    QTest::newRow("Anfang eines Namens") << "Lag" << false;
    QTest::newRow("Anfang, dann Enter") << "Lag" << true;
    QTest::newRow("andere Schreibweise, dann Enter") << "lager" << true;
}

void TestBedienung::getippteNamenBleiben() {
    QFETCH(QString, gruppe);
    QFETCH(bool, mitEnter);
    Starten();
    const QString lagerVorher = u->db->Mitglieder(QStringLiteral("Lager"));
    Tippen(w->cmbGruppe, gruppe);
    if (mitEnter) QTest::keyClick(w->cmbGruppe->lineEdit(), Qt::Key_Return);
    QCOMPARE(w->cmbGruppe->currentText(), gruppe);
    QCOMPARE(w->ctListGruppe->ListCount(), 0); // nothing was chosen
    QTest::keyClicks(w->txtUser, QStringLiteral("4711"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(gruppe), QStringLiteral("4711"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), lagerVorher);

    // The program boxes keep their text too: a new level, Finanzen untouched.
    const QStringList finanzen =
        u->db->Sql(QStringLiteral("SELECT subprogramm, berechtigungsstufe FROM uv_programm "
                                  "WHERE programmname = 'Finanzen'"));
    Tippen(w->cmbProgramm, QStringLiteral("Fin"));
    Tippen(w->cmbSubProgramm, QStringLiteral("Neu"));
    Tippen(w->cmbProgrammStufe, QStringLiteral("1"));
    if (mitEnter) QTest::keyClick(w->cmbProgramm->lineEdit(), Qt::Key_Return);
    Klicken(w->cmdGruppeProgramm[0]);
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Fin' "
                                       "AND subprogramm = 'Neu' AND berechtigungsstufe = '1'")),
             QStringList{gruppe});
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT subprogramm, berechtigungsstufe FROM uv_programm "
                                       "WHERE programmname = 'Finanzen'")),
             finanzen);
}

void TestBedienung::pfeiltasteBeginntBeimErstenEintrag() {
    Starten();
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    // Choosing by key shows the members as a choice from the list does.
    QCOMPARE(ListenZeilen(w->ctListGruppe),
             (QStringList{QStringLiteral("GRO;Jürgen Groß"), QStringLiteral("OEZ;Ayşe Özdemir")}));
    QTest::keyClick(w->cmbProgramm, Qt::Key_Down);
    QCOMPARE(w->cmbProgramm->currentText(), QStringLiteral("Auftrag"));
    QCOMPARE(KomboEintraege(w->cmbSubProgramm),
             (QStringList{QStringLiteral("Drucken"), QStringLiteral("Erfassen")}));
    // After a reload the current entry is the one the field names: Down goes on from there.
    Tippen(w->cmbGruppe, QStringLiteral("Neu"));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Neu"));
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Revision"));
}

void TestBedienung::strichAmRandWirdAbgewiesen_data() {
    QTest::addColumn<QString>("p");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QString>("l");
    QTest::newRow("Programm endet mit |") << "a|" << "b" << "1";
    QTest::newRow("Unterprogramm beginnt mit |") << "a" << "|b" << "1";
    QTest::newRow("nur |") << "|" << "b" << "1";
    QTest::newRow("Stufe endet mit |") << "a" << "b" << "1|";
}

void TestBedienung::strichAmRandWirdAbgewiesen() {
    QFETCH(QString, p);
    QFETCH(QString, s);
    QFETCH(QString, l);
    Starten();
    const int vorher = Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm"));
    Tippen(w->cmbProgramm, p);
    Tippen(w->cmbSubProgramm, s);
    Tippen(w->cmbProgrammStufe, l);
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Ungültiger Name"));
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm")), vorher);
    // A group name too.
    Tippen(w->cmbGruppe, QStringLiteral("|") + p);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_gruppen WHERE gruppe = ?"),
                    {QStringLiteral("|") + p}),
             0);
    // The server side refuses such ids from any caller.
    const QString id = p + QStringLiteral("||") + s + QStringLiteral("||") + l;
    auto f = u->db->NeuerClient();
    try {
        f->OpenId(QStringLiteral("UserVerwaltung.Programm"), id);
        QFAIL("Id angenommen");
    } catch (const CacheFehler& e) {
        QCOMPARE(e.Nummer(), Fehlernummer::UngueltigeId);
    }
    auto liste = f->NeueListe();
    QVERIFY_THROWS_EXCEPTION(CacheFehler, f->Klassenmethoden(QStringLiteral("UserVerwaltung.Programm"))
                                              ->Methode(QStringLiteral("SaveGruppen"), {p, s, l, liste}));
}

void TestBedienung::altesProgrammMitStrichLoeschbar() {
    // Stored before names were checked, or by another program.
    u->db->OhneNamensregeln();
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('|', 'x', '1')"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('a|', 'b', '1')"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('a', '|b', '1')"));
    Starten();
    Tippen(w->cmbProgramm, QStringLiteral("|"));
    Antwort(DialogService::Yes);
    Klicken(w->cmdProgrammLoeschen);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm WHERE programmname = '|'")), 0);
    // Deleting one level never reaches the other one with the same id text.
    Tippen(w->cmbProgramm, QStringLiteral("a|"));
    Tippen(w->cmbSubProgramm, QStringLiteral("b"));
    Tippen(w->cmbProgrammStufe, QStringLiteral("1"));
    Antwort(DialogService::Yes);
    Klicken(w->cmdProgrammStufeLoeschen);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm WHERE programmname = 'a'")), 1);
    // The sub-program delete names its parts and takes the right one.
    Tippen(w->cmbProgramm, QStringLiteral("a|"));
    Tippen(w->cmbSubProgramm, QStringLiteral("b"));
    Antwort(DialogService::Yes);
    Klicken(w->cmdSubProgrammLoeschen);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm WHERE programmname = 'a|'")), 0);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm WHERE programmname = 'a'")), 1);
}

void TestBedienung::halbGeladeneMitgliederNichtSpeichern() {
    Starten();
    const QString vorher = u->db->Mitglieder(QStringLiteral("Verkauf"));
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Revision"));
    // The server fails while the members are read.
    u->Factory()->setFailAfter(2);
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Verkauf"));
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Caché Zugriffsfehler"));
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
    Klicken(w->cmdGruppeSpeichern);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("nicht vollständig")));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verkauf")), vorher);
    // Chosen again, the list is whole and may be saved.
    QTest::keyClick(w->cmbGruppe, Qt::Key_Up);
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->ctListGruppe->ListCount(), 3);
    w->ctListGruppe->Auswaehlen(0);
    Klicken(w->cmdMitarbeiterGruppe[1]);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verkauf")).count(QLatin1Char(',')), 1);
}

void TestBedienung::falschesPasswortAufDerKommandozeile() {
    Zustand().ProgrammKommandozeile = u->Kommandozeile(QStringLiteral("ADM"), QStringLiteral("falsch"));
    // The second attempt shows the login dialog; the user types the password.
    u->dialoge.modal.push_back([this](QWidget* fenster) {
        QCOMPARE(fenster, static_cast<QWidget*>(u->login.get()));
        QCOMPARE(u->login->BUSER(), QStringLiteral("ADM"));
        QTest::keyClicks(u->login->txtPasswort, QStringLiteral("demo"));
        Klicken(u->login->BUSpeich);
    });
    w->Form_Load();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Modal")), 1);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("InputBox")), 0);
    QCOMPARE(u->dialoge.gezeigt.front().text, QStringLiteral("Passwort Falsch oder Benutzer nicht Aktiv."));
    QVERIFY(w->windowTitle().endsWith(QStringLiteral("Benutzer: ADM|Verwalter Anton")));
    QCOMPARE(Zustand().ConnStrg, u->db->ConnStrg());
}

void TestBedienung::menueAnmeldungBehaeltVerbindung() {
    Starten();
    w->mLogin->trigger();
    QVERIFY(u->login->isVisible());
    u->login->txtPasswort->clear();
    QTest::keyClicks(u->login->txtPasswort, QStringLiteral("user"));
    Klicken(u->login->BUSpeich);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("InputBox")), 0);
    QCOMPARE(Zustand().Benutzer, QStringLiteral("USR|Schröder Petra"));
    QCOMPARE(Zustand().ConnStrg, u->db->ConnStrg());
    QVERIFY(w->windowTitle().endsWith(QStringLiteral("Benutzer: USR|Schröder Petra")));
    QVERIFY(!u->login->isVisible());
}

void TestBedienung::escapeBeimStartBeendet() {
    u->login->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->login.get()));
    QTest::keyClick(u->login.get(), Qt::Key_Escape);
    QCOMPARE(u->beendet, 1);
    QVERIFY(Zustand().Benutzer.isEmpty());
    // The close box does the same.
    u->login->show();
    u->login->close();
    QCOMPARE(u->beendet, 2);
}

void TestBedienung::escapeVomMenueSchliesstNur() {
    Starten();
    w->mLogin->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(u->login.get()));
    QTest::keyClick(u->login.get(), Qt::Key_Escape);
    QCOMPARE(u->beendet, 0);
    QVERIFY(!u->login->isVisible());
    QCOMPARE(Zustand().Benutzer, QStringLiteral("ADM|Verwalter Anton"));
}

void TestBedienung::verbindungslisteNachAusfall() {
    // The first three attempts fail; the connect rule then shows the list.
    Zustand().ConnStrg = QStringLiteral("cn_iptcp:/gibt/es/nicht[1973]:KORVAL");
    u->dialoge.modal.push_back([this](QWidget* fenster) {
        QCOMPARE(fenster, static_cast<QWidget*>(u->server.get()));
        QCOMPARE(u->server->ctList->ListCount(), 0);
        Zustand().ConnStrg = u->db->ConnStrg();
    });
    DbBeginn(false);
    DbEnde(false);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Modal")), 1);
    // Once connected, the next display loads the list.
    Klicken(u->login->cmdServer);
    QCOMPARE(u->server->ctList->ListCount(), 3);
}

// A failed load of the list, then the window's display: one failure, one message.
void TestBedienung::verbindungslisteEinFehlerEineMeldung() {
    Zustand().ConnStrg = u->db->ConnStrg();
    u->db->SqlAendern(QStringLiteral("ALTER TABLE kv_kassasw RENAME TO kv_kassasw_weg"));
    const auto zurueck = qScopeGuard(
        [this] { u->db->SqlAendern(QStringLiteral("ALTER TABLE kv_kassasw_weg RENAME TO kv_kassasw")); });
    // The window comes up for real, as the modal display shows it.
    u->dialoge.modal.push_back([](QWidget* fenster) {
        fenster->show();
        QVERIFY(QTest::qWaitForWindowExposed(fenster));
        fenster->hide();
    });
    Klicken(u->login->cmdServer);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Modal")), 1);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Caché Zugriffsfehler"));
}

void TestBedienung::rechtsklickWaehltDieZeile() {
    Zustand().ConnStrg = u->db->ConnStrg();
    u->server->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->server.get()));
    QWindow* fenster = u->server->windowHandle();
    QTest::mouseClick(fenster, Qt::LeftButton, {}, ZeilenPunkt(u->server->ctList, 0));
    QCOMPARE(u->server->EintragNr, 1);
    // Edited, not saved: a right-click on the same row keeps the fields, and
    // "Eintrag als Standard" stores them as they stand.
    Antwort(DialogService::Yes);
    Klicken(u->server->BUEdit);
    u->server->BFIRMA->setFocus();
    u->server->BFIRMA->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("9"));
    QTest::mouseClick(fenster, Qt::RightButton, {}, ZeilenPunkt(u->server->ctList, 0));
    QVERIFY(u->server->HRechts->isVisible());
    QCOMPARE(u->server->BFIRMA->text(), QStringLiteral("9"));
    QAction* alsStandard = u->server->HRechts->actions().front();
    QTest::mouseClick(u->server->HRechts, Qt::LeftButton, {},
                      u->server->HRechts->actionGeometry(alsStandard).center());
    QCOMPARE(u->einstellungen->Get(QStringLiteral("Firma")), QStringLiteral("9"));
    QCOMPARE(u->einstellungen->Get(QStringLiteral("ServerObjekt")), QStringLiteral("1"));
    QTest::mouseClick(fenster, Qt::RightButton, {}, ZeilenPunkt(u->server->ctList, 2));
    QVERIFY(u->server->HRechts->isVisible());
    QCOMPARE(u->server->EintragNr, 3);
    QVERIFY(u->server->ctList->Selected(2));
    QVERIFY(!u->server->ctList->Selected(0));
    QAction* standard = u->server->HRechts->actions().front();
    QTest::mouseClick(u->server->HRechts, Qt::LeftButton, {},
                      u->server->HRechts->actionGeometry(standard).center());
    const QStringList zeile =
        u->db->Sql(QStringLiteral("SELECT firma, fil, ip, port, namespace FROM kv_kassasw WHERE sys_id = 3"))
            .front()
            .split(QLatin1Char(';'));
    SettingsStore& s = *u->einstellungen;
    QCOMPARE(s.Get(QStringLiteral("ServerObjekt")), QStringLiteral("3"));
    QCOMPARE(s.Get(QStringLiteral("Firma")), zeile[0]);
    QCOMPARE(s.Get(QStringLiteral("Filiale")), zeile[1]);
    QCOMPARE(s.Get(QStringLiteral("Server")), zeile[2]);
    QCOMPARE(s.Get(QStringLiteral("Port")), zeile[3]);
    QCOMPARE(s.Get(QStringLiteral("Namespace")), zeile[4]);
    QVERIFY(!u->login->KeinStandardserver);
}

void TestBedienung::rechtsklickNebenDieZeilen() {
    Zustand().ConnStrg = u->db->ConnStrg();
    u->server->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->server.get()));
    QTreeView* v = u->server->ctList->View();
    const QPoint unten = v->viewport()->mapTo(u->server.get(), QPoint(5, v->viewport()->height() - 3));
    QTest::mouseClick(u->server->windowHandle(), Qt::RightButton, {}, unten);
    QVERIFY(!u->server->HRechts->isVisible());
    QCOMPARE(u->server->EintragNr, 255);
    // The menu key opens it on the chosen row.
    QTest::mouseClick(u->server->windowHandle(), Qt::LeftButton, {}, ZeilenPunkt(u->server->ctList, 1));
    QTest::keyClick(v, Qt::Key_Menu);
    QVERIFY(u->server->HRechts->isVisible());
    QCOMPARE(u->server->EintragNr, 2);
    u->server->HRechts->hide();
    QTest::keyClick(v, Qt::Key_Up);
    QTest::keyClick(v, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(u->server->HRechts->isVisible());
    QCOMPARE(u->server->EintragNr, 1);
    u->server->HRechts->hide();
}

void TestBedienung::befehlWaehrendBefehl() {
    Starten();
    // A second click arrives while the save processes events: the delete must
    // neither ask nor touch the server, and the save is stored whole.
    Tippen(w->cmbGruppe, QStringLiteral("Neu"));
    QTest::keyClicks(w->txtUser, QStringLiteral("X1"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    bool geklickt = false;
    QTimer::singleShot(0, w.get(), [&] {
        geklickt = true;
        QVERIFY(Pflege::BefehlLaeuft());
        Klicken(w->cmdGruppeLoeschen);
        Klicken(w->cmdProgrammSpeichern);
    });
    Klicken(w->cmdGruppeSpeichern);
    QVERIFY(geklickt);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Neu")), QStringLiteral("X1"));
    QVERIFY(!Pflege::BefehlLaeuft());

    // On the server an inner part that fails takes the whole command with it.
    auto f = u->db->NeuerClient();
    f->TransaktionBeginnen();
    f->TransaktionBeginnen();
    auto liste = f->NeueListe();
    liste->Append(QStringLiteral("Y"));
    f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
        ->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Neu"), liste});
    f->TransaktionZuruecknehmen();
    QVERIFY_THROWS_EXCEPTION(CacheFehler, f->TransaktionBestaetigen());
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Neu")), QStringLiteral("X1"));
}

void TestBedienung::fehlgeschlageneDannGelungeneSicherung() {
    Starten();
    Tippen(w->cmbGruppe, QString());
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    Klicken(w->cmdMitarbeiterGruppe[3]);
    QTest::keyClicks(w->txtUser, QStringLiteral("Z9"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    const QString vorher = u->db->Mitglieder(QStringLiteral("Lager"));
    // Midway through the statements; on PostgreSQL the save is one call.
    u->Factory()->setFailAfter(Testdatenbank::IstPostgres() ? 1 : 5);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Caché Zugriffsfehler"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), vorher);
    // The same connection saves the next time.
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("Z9"));
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestBedienung::nurMitarbeiterDerEigenenFirma() {
    u->db->SqlAendern(
        QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, passwort, aktiv, pname) VALUES "
                       "('2', 'ADM', 'x', 'J', 'Zweite Firma'), ('2', 'ZZZ', 'y', 'J', 'Fremd Frieda')"));
    Starten();
    // The whole list, in the order the user sees it: by first name.
    QCOMPARE(ListenZeilen(w->ctListMitarbeiter),
             (QStringList{QStringLiteral("ADM;Anton Verwalter"), QStringLiteral("OEZ;Ayşe Özdemir"),
                          QStringLiteral("MUE;Hans Müller"), QStringLiteral("INA;Inge Weiß"),
                          QStringLiteral("GRO;Jürgen Groß"), QStringLiteral("SOM;Klaus Sommer"),
                          QStringLiteral("BAE;Maria Bär"), QStringLiteral("USR;Petra Schröder")}));
}

void TestBedienung::gruppeLoeschenLeertMitglieder() {
    Starten();
    Tippen(w->cmbGruppe, QString());
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->ctListGruppe->ListCount(), 2);
    Antwort(DialogService::Yes);
    Klicken(w->cmdGruppeLoeschen);
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
    QVERIFY(w->cmbGruppe->currentText().isEmpty());
    // A save right after the delete cannot bring the group back.
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_gruppen WHERE gruppe = 'Lager'")), 0);
    QCOMPARE(Anzahl(*u->db, QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = 'Lager'")),
             0);
}

void TestBedienung::mitgliedMitUmlaut() {
    // Stored in the server's 7-bit form: BÄR as B[R.
    u->db->SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, passwort, aktiv, pname) "
                                     "VALUES ('1', 'B[R', 'x', 'J', 'B{r Bruno')"));
    Starten();
    Tippen(w->cmbGruppe, QStringLiteral("Revision"));
    QTest::keyClicks(w->txtUser, QStringLiteral("BÄR"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    u->dialoge.auswahl.push_back(0); // typed, never chosen: asked first
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QStringLiteral("BÄR"));
    // Chosen anew: the name comes from the employee record.
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QTest::keyClick(w->cmbGruppe, Qt::Key_Up);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Revision"));
    QCOMPARE(ListenZeilen(w->ctListGruppe), QStringList{QStringLiteral("BÄR;Bruno Bär")});
}

void TestBedienung::texteNichtAbgeschnitten() {
    QTest::keyClicks(u->login->txtPasswort, QStringLiteral("abc"));
    QCOMPARE(u->login->txtPasswort->displayText(), QStringLiteral("***"));
    // Four digits fit the port and year fields.
    for (QLineEdit* feld : {u->server->BPORT, u->server->BWJ}) {
        feld->setText(QStringLiteral("1973"));
        const int rahmen = feld->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, feld);
        QVERIFY2(feld->fontMetrics().horizontalAdvance(feld->text()) + 2 * rahmen + 4 <= feld->width(),
                 qPrintable(feld->objectName()));
    }
    Splash s;
    QVERIFY(s.lblC->fontMetrics().horizontalAdvance(s.lblC->text()) <= s.lblC->width());
    u->verlauf->resize(900, 300);
    u->verlauf->show();
    QVERIFY(QTest::qWaitForWindowExposed(u->verlauf.get()));
    QTreeView* v = u->verlauf->Verlauf->View();
    QCOMPARE(v->header()->sectionViewportPosition(1) + v->header()->sectionSize(1), v->viewport()->width());
    frmAbout a;
    QCOMPARE(a.lblVersion->text(), QStringLiteral(KORVAL_VERSION));
}

// Typing letters in a list moves to the first row whose name (or code, in the
// code column) begins with them.
void TestBedienung::tippenSuchtInDerListe() {
    Starten();
    CtList* l = w->ctListMitarbeiter;
    QTreeView* v = l->View();
    v->setFocus();
    QTest::keyClicks(v, QStringLiteral("ma"));
    QCOMPARE(l->List(v->currentIndex().row()), QStringLiteral("BAE;Maria Bär"));
    QVERIFY(l->Selected(v->currentIndex().row()));
    // Umlauts with their letters; another key starts afresh.
    QTest::keyClick(v, Qt::Key_Escape);
    QTest::keyClicks(v, QStringLiteral("jur"));
    QCOMPARE(l->List(v->currentIndex().row()), QStringLiteral("GRO;Jürgen Groß"));
    QTest::keyClick(v, Qt::Key_Escape);
    QTest::keyClicks(v, QStringLiteral("xyz"));
    QCOMPARE(l->List(v->currentIndex().row()), QStringLiteral("GRO;Jürgen Groß")); // nothing found: stays
    // In the code column the code counts.
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {},
                      v->viewport()->mapTo(w.get(), v->visualRect(l->Model()->index(0, 0)).center()));
    QCOMPARE(v->currentIndex().column(), 0);
    QTest::keyClick(v, Qt::Key_Escape);
    QTest::keyClicks(v, QStringLiteral("us"));
    QCOMPARE(l->List(v->currentIndex().row()), QStringLiteral("USR;Petra Schröder"));
    // Nothing else changed: no group chosen, nothing shown.
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
}

QTEST_MAIN(TestBedienung)
#include "tst_bedienung.moc"
