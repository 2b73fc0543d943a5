// The main window: start-up, loading the lists, layout, menus and the
// reaction to choosing a group, program, sub-program or level.

#include "testumgebung.h"

#include "auxwindows/frmabout.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "auxwindows/splash.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/listenladen.h"
#include "platform/plattform.h"
#include "server/sqlfactory.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctsize.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"
#include "util/programmverlauf.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

namespace {
void Mitglieder(CacheFactory& f, const QString& gruppe, const QStringList& codes) {
    try {
        f.OpenId(QStringLiteral("UserVerwaltung.Gruppen"), gruppe);
    } catch (const CacheFehler&) {
        CacheObjektPtr n = f.New(QStringLiteral("UserVerwaltung.Gruppen"));
        n->setEigenschaft(QStringLiteral("Gruppe"), gruppe);
        n->Methode(QStringLiteral("sys_Save"));
    }
    auto l = f.NeueListe();
    for (const QString& c : codes)
        l->Append(c);
    f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
        ->Methode(QStringLiteral("SaveCodes"), {gruppe, l});
}
} // namespace

class TestMainwindow : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void comboLaderReihenfolge();
    void getippterNameUeberlebtLaden();
    void subprogrammeOhneProgramm();
    void mitarbeiterListe();
    void ladefehlerWirdGemeldet();
    void startBisZumGeladenenFenster();
    void berechtigungsgruppe_data();
    void berechtigungsgruppe();
    void dreiFehlversucheDannAnmeldung();
    void ueberschriften();
    void splashDreht();
    void fensteraufteilung();
    void menues();
    void schliessenTrenntUndBeendet();
    void gruppeWaehlen();
    void mitgliedOhneMitarbeiterBleibt();
    void stufeWaehlen();
    void unbekannteStufe();
    void abteilungenSchalten();
    void doppelklicks();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestMainwindow::init() {
    KORVAL_BACKEND_PRUEFEN();
    u.reset();
    u = std::make_unique<Testumgebung>();
    QVERIFY(u->db->Ok());
    w = std::make_unique<FMStart>(u->login.get(), u->verlauf.get());
    u->login->setHauptfenster(w.get());
    QVERIFY(u->Anmelden());
}

void TestMainwindow::cleanup() {
    w.reset();
    u.reset();
}

void TestMainwindow::comboLaderReihenfolge() {
    QVERIFY(GruppenLaden(w->cmbGruppe));
    QCOMPARE(KomboEintraege(w->cmbGruppe),
             (QStringList{QStringLiteral("Lager"), QStringLiteral("Revision"), QStringLiteral("Verkauf"),
                          QStringLiteral("Verwaltung")}));
    QVERIFY(ProgrammeLaden(w->cmbProgramm));
    QCOMPARE(KomboEintraege(w->cmbProgramm),
             (QStringList{QStringLiteral("Auftrag"), QStringLiteral("Benutzerverwaltung"),
                          QStringLiteral("Finanzen"), QStringLiteral("Lager")}));
    w->cmbProgramm->setEditText(QStringLiteral("Lager"));
    QVERIFY(SubProgrammeLaden(w->cmbProgramm, w->cmbSubProgramm));
    QCOMPARE(KomboEintraege(w->cmbSubProgramm),
             (QStringList{QStringLiteral("Bestand"), QStringLiteral("Inventur")}));
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestMainwindow::getippterNameUeberlebtLaden() {
    w->cmbGruppe->setEditText(QStringLiteral("Neue Gruppe"));
    QVERIFY(GruppenLaden(w->cmbGruppe));
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Neue Gruppe"));
    QCOMPARE(w->cmbGruppe->count(), 4);
    // An empty result keeps the text too.
    u->Aendern([](CacheFactory& f) {
        for (const char* g : {"Lager", "Revision", "Verkauf", "Verwaltung"})
            f.OpenId(QStringLiteral("UserVerwaltung.Gruppen"), QString::fromLatin1(g))
                ->Methode(QStringLiteral("sys_deleteID"), {QString::fromLatin1(g)});
    });
    QVERIFY(GruppenLaden(w->cmbGruppe));
    QCOMPARE(w->cmbGruppe->count(), 0);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Neue Gruppe"));
}

void TestMainwindow::subprogrammeOhneProgramm() {
    w->cmbSubProgramm->addItems({QStringLiteral("alt1"), QStringLiteral("alt2")});
    w->cmbSubProgramm->setEditText(QStringLiteral("alt2"));
    w->cmbProgramm->setEditText(QString());
    QVERIFY(SubProgrammeLaden(w->cmbProgramm, w->cmbSubProgramm));
    QCOMPARE(KomboEintraege(w->cmbSubProgramm),
             (QStringList{QStringLiteral("alt1"), QStringLiteral("alt2")}));
}

void TestMainwindow::mitarbeiterListe() {
    QVERIFY(MitarbeiterLaden(w->ctListMitarbeiter, false));
    const QStringList ohne = ListenZeilen(w->ctListMitarbeiter);
    QCOMPARE(ohne.size(), 8);
    // Sorted by display name, which is first name and surname.
    QCOMPARE(ohne.front(), QStringLiteral("ADM;Anton Verwalter"));
    QVERIFY(ohne.contains(QStringLiteral("GRO;Jürgen Groß")));  // three words: the third is dropped
    QVERIFY(ohne.contains(QStringLiteral("SOM;Klaus Sommer"))); // capital S is an employee
    QCOMPARE(w->ctListMitarbeiter->ItemData(0).toString(), QStringLiteral("ADM"));
    QVERIFY(MitarbeiterLaden(w->ctListMitarbeiter, true));
    const QStringList mit = ListenZeilen(w->ctListMitarbeiter);
    QCOMPARE(mit.size(), 11);
    QVERIFY(mit.contains(QStringLiteral("s10; Verwaltung"))); // one word: a leading blank
    QCOMPARE(Anzeigename(QStringLiteral("Einwort")), QStringLiteral(" Einwort"));
    // Long personal codes fit their column.
    u->db->SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, pname, aktiv) VALUES "
                                     "('1', 'WWWWWWWW', 'Lang Code', 'J')"));
    QVERIFY(MitarbeiterLaden(w->ctListMitarbeiter, false));
    QVERIFY(w->ctListMitarbeiter->ColumnWidth(1) >
            w->ctListMitarbeiter->View()->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")));
}

void TestMainwindow::ladefehlerWirdGemeldet() {
    // The sign-on's answer brought the lists: the second read asks the server.
    QVERIFY(GruppenLaden(w->cmbGruppe));
    u->Factory()->setFailAfter(1);
    w->cmbGruppe->setEditText(QStringLiteral("bleibt"));
    QVERIFY(!GruppenLaden(w->cmbGruppe));
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.startsWith(QStringLiteral("Vorgang: fmstart.GruppenLaden Abfrage Gruppen.")),
             qPrintable(m->text));
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
    // The next load works again.
    QVERIFY(MitarbeiterLaden(w->ctListMitarbeiter, false));
    QCOMPARE(w->ctListMitarbeiter->ListCount(), 8);
}

void TestMainwindow::startBisZumGeladenenFenster() {
    Zustand().ProgrammKommandozeile = u->Kommandozeile();
    Zustand().Benutzer.clear();
    w->txtUser->setText(QStringLiteral("alt"));
    w->Form_Load();
    QCOMPARE(u->beendet, 0);
    QCOMPARE(w->windowTitle(),
             QStringLiteral("KORVAL Benutzerverwaltung   Firma: 1     Filiale: 0     Benutzer: "
                            "ADM|Verwalter Anton"));
    QCOMPARE(w->ctListMitarbeiter->ListCount(), 8);
    QCOMPARE(w->cmbGruppe->count(), 4);
    QCOMPARE(w->cmbProgramm->count(), 4);
    QVERIFY(w->cmbGruppe->currentText().isEmpty());
    QVERIFY(w->cmbProgramm->currentText().isEmpty());
    QVERIFY(w->txtUser->text().isEmpty());
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
    QCOMPARE(w->SplashFenster(), nullptr);
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!w->mProgrammverlauf[1]->isChecked());
}

void TestMainwindow::berechtigungsgruppe_data() {
    QTest::addColumn<QString>("gruppe");
    QTest::addColumn<bool>("zugelassen");
    QTest::newRow("8") << "8" << true;
    QTest::newRow("7") << "7" << false;
    QTest::newRow("10 numerisch") << "10" << true;
    QTest::newRow("leer") << "" << false;
    QTest::newRow("INF ist keine Zahl") << "INF" << false;
    QTest::newRow("komma") << "8,5" << true;
}

void TestMainwindow::berechtigungsgruppe() {
    QFETCH(QString, gruppe);
    QFETCH(bool, zugelassen);
    u->db->SqlAendern(QStringLiteral("UPDATE kv_parpersedv SET bergrp = ? WHERE firma = '1' AND pcode = 'ADM'"),
                      {gruppe});
    Zustand().ProgrammKommandozeile = u->Kommandozeile();
    w->Form_Load();
    QCOMPARE(u->beendet, zugelassen ? 0 : 1);
    QCOMPARE(w->ctListMitarbeiter->ListCount(), zugelassen ? 8 : 0);
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0)); // turned away without a word
}

void TestMainwindow::dreiFehlversucheDannAnmeldung() {
    u->einstellungen->Set(QStringLiteral("Server"), u->db->Server());
    u->einstellungen->Set(QStringLiteral("Port"), u->db->Port());
    u->einstellungen->Set(QStringLiteral("Namespace"), u->db->Namespace());
    u->einstellungen->Set(QStringLiteral("ServerObjekt"), QStringLiteral("1"));
    Zustand().ProgrammKommandozeile.clear();
    for (const char* pw : {"eins", "zwei", "drei", "demo"})
        u->dialoge.modal.push_back([this, pw](QWidget*) {
            u->login->setBPASSWORT(QString::fromLatin1(pw));
            u->login->BUSpeich_Click();
        });
    w->Form_Load();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Modal")), 4);
    // Each failure found no user for its password.
    int meldungen = 0;
    for (const Gezeigt& g : u->dialoge.gezeigt)
        meldungen += g.text.contains(QStringLiteral("Anmeldung mit nicht existierendem Personalcode"));
    QCOMPARE(meldungen, 3);
    QVERIFY(w->windowTitle().endsWith(QStringLiteral("Benutzer: ADM|Verwalter Anton")));
    QCOMPARE(u->einstellungen->Get(QStringLiteral("Passwort")), QStringLiteral("gfnl"));
}

void TestMainwindow::ueberschriften() {
    QCOMPARE(FMStart::Ueberschrift(QString(), QString(), QStringLiteral("X|Y")),
             QStringLiteral("KORVAL Benutzerverwaltung   Firma:      Filiale:      Benutzer: X|Y"));
    QCOMPARE(FMStart::VerlaufMenuText(QStringLiteral("C:\\T")),
             QStringLiteral("Programmverlauf in C:\\T") + Plattform::Trennzeichen() +
                 QStringLiteral("Benutzerverwaltung.txt schreiben"));
    // The menu names the file the history writes.
    qputenv("TEMP", "/tmp/korval-probe");
    QCOMPARE(FMStart::VerlaufMenuText(Plattform::TempVerzeichnis()),
             QStringLiteral("Programmverlauf in ") + Verlauf::DateiPfad() + QStringLiteral(" schreiben"));
    qunsetenv("TEMP");
}

void TestMainwindow::splashDreht() {
    QCOMPARE(Splash::Rotieren(1), QStringLiteral("|"));
    QCOMPARE(Splash::Rotieren(4), QStringLiteral("\\"));
    QCOMPARE(Splash::Rotieren(0), QString());
    QCOMPARE(Splash::Rotieren(9), QString());
    Splash s;
    QVERIFY(s.Timer1->isActive());
    QCOMPARE(s.Timer1->interval(), 125);
    s.Timer1_Timer();
    QCOMPARE(s.windowTitle(), QStringLiteral("Bitte warten  |"));
    for (int i = 0; i < 7; ++i)
        s.Timer1_Timer();
    QCOMPARE(s.windowTitle(), QStringLiteral("Bitte warten  \\"));
    s.Timer1_Timer();
    QCOMPARE(s.windowTitle(), QStringLiteral("Bitte warten  |"));
    s.Form_Unload();
    QVERIFY(!s.Timer1->isActive());
}

void TestMainwindow::fensteraufteilung() {
    Plattform::setTwipsProPixel(15);
    QCOMPARE(FMStart::NamensspalteBreite(2655, 15, 50), 102);
    QVERIFY(FMStart::NamensspalteBreite(300, 15, 50) > 0);
    w->show();
    w->centralWidget()->resize(600, 452); // 9000 twips
    w->Form_Resize();
    for (CtSize* p : w->ctSize)
        QCOMPARE(p->width(), 200);
    QCOMPARE(w->ctSize[1]->x(), 200);
    QCOMPARE(w->ctListMitarbeiter->ColumnWidth(2),
             FMStart::NamensspalteBreite(w->ctListMitarbeiter->width() * 15.0, 15, 50));
    // The member list's name column takes what the code and the end date leave.
    QCOMPARE(w->ctListGruppe->ColumnWidth(2),
             FMStart::NamensspalteBreite(w->ctListGruppe->width() * 15.0, 15,
                                         w->ctListGruppe->ColumnWidth(1) + w->ctListGruppe->ColumnWidth(3)));
    w->centralWidget()->resize(30, 452);
    w->Form_Resize();
    QVERIFY(w->ctListMitarbeiter->ColumnWidth(2) > 0);
    QCOMPARE(w->ctListProgramm->FontSize(), 8.25);
    Plattform::setTwipsProPixel(0);
}

void TestMainwindow::menues() {
    QCOMPARE(w->HilfeUeber->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(w->mProgrammverlauf[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
    QCOMPARE(w->mLogin->text(), QStringLiteral("&Login"));
    w->mProgrammverlauf[1]->trigger();
    QVERIFY(w->mProgrammverlauf[1]->isChecked());
    QVERIFY(Verlauf::DateiProtokoll());
    w->mProgrammverlauf_Click(1);
    QVERIFY(!w->mProgrammverlauf[1]->isChecked());
    QVERIFY(!Verlauf::DateiProtokoll());
    w->mProgrammverlauf_Click(0);
    QVERIFY(u->verlauf->isVisible());
    w->HilfeUeber_Click();
    QVERIFY(w->AboutFenster()->isVisible());
    QCOMPARE(w->AboutFenster()->windowTitle(), QStringLiteral("Info zu Benutzerverwaltung"));
    w->show();
    w->mLogin_Click();
    QVERIFY(u->login->isVisible());
    QVERIFY(!u->login->isModal());
}

void TestMainwindow::schliessenTrenntUndBeendet() {
    w->show();
    QVERIFY(Zustand().CacheFactory->IsConnected());
    w->Beenden_Click();
    QCOMPARE(u->beendet, 1);
    QVERIFY(!Zustand().CacheFactory->IsConnected());
}

void TestMainwindow::gruppeWaehlen() {
    u->Aendern([](CacheFactory& f) {
        Mitglieder(f, QStringLiteral("Paar"), {QStringLiteral("USR"), QStringLiteral("BAE")});
    });
    w->cmbGruppe->setEditText(QStringLiteral("Paar"));
    w->cmbGruppe_Click();
    QCOMPARE(ListenZeilen(w->ctListGruppe),
             (QStringList{QStringLiteral("BAE;Maria Bär"), QStringLiteral("USR;Petra Schröder")}));
    w->cmbGruppe->setEditText(QStringLiteral("Revision"));
    w->cmbGruppe_Click();
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestMainwindow::mitgliedOhneMitarbeiterBleibt() {
    u->Aendern([](CacheFactory& f) {
        Mitglieder(
            f, QStringLiteral("Gemischt"),
            {QStringLiteral("b2"), QStringLiteral("a1"), QStringLiteral("MUE"), QStringLiteral("4711")});
    });
    w->cmbGruppe->setEditText(QStringLiteral("Gemischt"));
    w->cmbGruppe_Click();
    QCOMPARE(ListenZeilen(w->ctListGruppe),
             (QStringList{QStringLiteral("4711;"), QStringLiteral("a1;"), QStringLiteral("b2;"),
                          QStringLiteral("MUE;Hans Müller")}));
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
    // A group without record is an empty one, not an error, and the count stays balanced.
    w->cmbGruppe->setEditText(QStringLiteral("Gibt es nicht"));
    w->cmbGruppe_Click();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestMainwindow::stufeWaehlen() {
    w->cmbProgramm->setEditText(QStringLiteral("Auftrag"));
    w->cmbProgramm_Click();
    QCOMPARE(KomboEintraege(w->cmbSubProgramm),
             (QStringList{QStringLiteral("Drucken"), QStringLiteral("Erfassen")}));
    // With the level field empty the group list keeps what it showed.
    w->ctListProgramm->AddItem(QStringLiteral("vorher"));
    w->cmbSubProgramm->setEditText(QStringLiteral("Erfassen"));
    w->cmbSubProgramm_Click();
    QCOMPARE(KomboEintraege(w->cmbProgrammStufe), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    QCOMPARE(ListenZeilen(w->ctListProgramm), QStringList{QStringLiteral("vorher")});
    w->cmbProgrammStufe->setEditText(QStringLiteral("1"));
    w->cmbProgrammStufe_Click();
    QCOMPARE(ListenZeilen(w->ctListProgramm),
             (QStringList{QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}));
    // A level remembered across sub-programs shows its groups at once.
    w->cmbSubProgramm->setEditText(QStringLiteral("Drucken"));
    w->cmbSubProgramm_Click();
    QCOMPARE(w->cmbProgrammStufe->currentText(), QStringLiteral("1"));
    QCOMPARE(ListenZeilen(w->ctListProgramm), QStringList{QStringLiteral("Verkauf")});
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
    QVERIFY(u->server->Lock()->isActive());
}

void TestMainwindow::unbekannteStufe() {
    w->cmbProgramm->setEditText(QStringLiteral("Auftrag"));
    w->cmbSubProgramm->setEditText(QStringLiteral("Erfassen"));
    w->cmbProgrammStufe->setEditText(QStringLiteral("9"));
    w->ctListProgramm->AddItem(QStringLiteral("alt"));
    w->cmbProgrammStufe_Click();
    QVERIFY(w->cmbProgrammStufe->currentText().isEmpty());
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
    QVERIFY(!Plattform::Sanduhr());
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(u->server->Lock()->isActive());
    // The failing sub-program path: the connection is gone.
    Zustand().CacheFactory->Disconnect();
    Zustand().ConnStrg = QStringLiteral("cn_iptcp:/nirgends[1]:X");
    u->dialoge.modal.push_back([this](QWidget*) { Zustand().ConnStrg = u->db->ConnStrg(); });
    u->Factory();
    w->cmbSubProgramm_Click();
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestMainwindow::abteilungenSchalten() {
    MitarbeiterLaden(w->ctListMitarbeiter, false);
    w->ctListMitarbeiter->setSelected(0, true);
    w->chkAbt->setChecked(true);
    w->chkAbt_Click();
    QCOMPARE(w->ctListMitarbeiter->ListCount(), 11);
    QVERIFY(!w->ctListMitarbeiter->Selected(0));
    w->chkAbt->setChecked(false);
    w->chkAbt_Click();
    QCOMPARE(w->ctListMitarbeiter->ListCount(), 8);
    w->chkAbt->setTristate(true);
    w->chkAbt->setCheckState(Qt::PartiallyChecked);
    w->ctListMitarbeiter->Clear();
    w->chkAbt_Click();
    QCOMPARE(w->ctListMitarbeiter->ListCount(), 0);
}

void TestMainwindow::doppelklicks() {
    MitarbeiterLaden(w->ctListMitarbeiter, false);
    w->ctListMitarbeiter->setSelected(1, true);
    w->ctListMitarbeiter->setSelected(3, true);
    w->ctListMitarbeiter_DblClick();
    QCOMPARE(ListenZeilen(w->ctListGruppe),
             (QStringList{w->ctListMitarbeiter->List(1), w->ctListMitarbeiter->List(3)}));
    w->ctListGruppe->setSelected(0, true);
    w->ctListGruppe_DblClick();
    QCOMPARE(ListenZeilen(w->ctListGruppe), QStringList{w->ctListMitarbeiter->List(3)});
}

QTEST_MAIN(TestMainwindow)
#include "tst_mainwindow.moc"
