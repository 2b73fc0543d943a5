// Two workstations on one server: edit conflicts, unsaved-change marks and the
// change log, worked through the window; the tables are read directly.

#include "testumgebung.h"

#include "auswertung/frmprotokoll.h"
#include "auswertung/frmuebersicht.h"
#include "auswertung/frmvergleich.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/listenladen.h"
#include "permissions/berechtigungen.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "server/schema.h"
#include "server/sqlfactory.h"
#include "signon/fmpass.h"
#include "signon/fmserver.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QtTest>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {
// Chooses an entry with the Down key, as a user does without the mouse.
bool Waehlen(QComboBox* box, const QString& text) {
    box->lineEdit()->clear();
    const int ziel = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (ziel < 0) return false;
    for (int i = 0; i <= box->count() && box->currentIndex() != ziel; ++i)
        QTest::keyClick(box, box->currentIndex() >= 0 && box->currentIndex() > ziel ? Qt::Key_Up : Qt::Key_Down);
    return box->currentText() == text;
}

// Another workstation: its own client, signed on as SOM.
void AlsSom(const Testumgebung& u, const std::function<void(CacheFactory&)>& arbeit) {
    u.Aendern([&](CacheFactory& f) {
        CacheObjektPtr w = f.New(QStringLiteral("KV.Windows"));
        w->Methode(QStringLiteral("Xecute"), {BenutzerkontextBefehl(QStringLiteral("1"), QStringLiteral("0"),
                                                                     QStringLiteral("SOM"))});
        w->Methode(QStringLiteral("Xecute"), {QStringLiteral("D ^%XTT")});
        QVERIFY(AlsVerwalter(f, QStringLiteral("SOM"), QStringLiteral("s1")));
        arbeit(f);
    });
}

// The other workstation saves a list, as its window does after loading it.
void AndererSpeichert(const Testumgebung& u, const QString& klasse, const QStringList& id, const QStringList& werte) {
    AlsSom(u, [&](CacheFactory& f) {
        std::vector<Argument> a(id.begin(), id.end());
        a.emplace_back(Liste(f, werte));
        f.Klassenmethoden(klasse)->Methode(klasse == Berechtigung::KlasseGruppen ? QStringLiteral("SaveCodes")
                                                                                 : QStringLiteral("SaveGruppen"),
                                           a);
    });
}

void AndererLoescht(const Testumgebung& u, const QString& klasse, const QString& id) {
    AlsSom(u, [&](CacheFactory& f) {
        f.OpenId(klasse, id)->Methode(QStringLiteral("sys_deleteID"), {id});
        if (klasse == Berechtigung::KlasseGruppen)
            f.Klassenmethoden(Berechtigung::KlasseProgramm)->Methode(QStringLiteral("GruppeEntziehen"), {id});
    });
}

// The member codes a list shows, row by row.
QStringList Zeilen(const CtList* liste) {
    QStringList z;
    for (const QString& r : ListenZeilen(liste))
        z.append(r.section(QLatin1Char(';'), 0, 0));
    return z;
}

QStringList Json(const QString& text) {
    QStringList l;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array())
        l.append(v.toString());
    return l;
}
} // namespace

class TestKonflikt : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void fremdeAenderungWirdGefragt_data();
    void fremdeAenderungWirdGefragt();
    void aenderungWaehrendDerFrage();
    void gleicherInhaltOhneFrage();
    void zweiLegenDieselbeGruppeAn();
    void stufeMitGeloeschterGruppe_data();
    void stufeMitGeloeschterGruppe();
    void loeschenGegenSpeichernImWettlauf();
    void loeschenNachFremderAenderung();
    void ungesicherteAenderungenMarkiert();
    void beendenFragtBeiUngesichertem_data();
    void beendenFragtBeiUngesichertem();
    void protokollNenntDenAngemeldeten_data();
    void protokollNenntDenAngemeldeten();
    void protokollNachJedemBefehl();
    void protokollWerteExakt();
    void protokollFehltDannFehltAuchDieAenderung_data();
    void protokollFehltDannFehltAuchDieAenderung();
    void protokollFenster();
    void protokollFilterFaltetJedenBuchstaben_data();
    void protokollFilterFaltetJedenBuchstaben();
    void protokollHoechstensTausend();
    void tausendVerschraenkteSicherungen();
    void verbindungseintragImProtokoll();
    void rundreisenJeBefehl_data();
    void rundreisenJeBefehl();
    void stufeBehaeltReihenfolge();
    void bereitsGeloeschtNurBeiGeladenem_data();
    void bereitsGeloeschtNurBeiGeladenem();
    void tasteWaehrendDesSpeicherns_data();
    void tasteWaehrendDesSpeicherns();
    void loeschenSpeichernUndSperreOhneVerklemmung();
    void gruppeLoeschenGegenStufenSpeichern();
    void gesperrtEndetMitMeldung();

  private:
    int Protokollzeilen() const {
        return u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_protokoll")).value(0).toInt();
    }
    void Mitglied(const QString& code) {
        w->txtUser->clear();
        QTest::keyClicks(w->txtUser, code);
        Klicken(w->cmdMitarbeiterGruppe[4]);
    }
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
    long m_startRundreisen = 0;
};

void TestKonflikt::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
    // Stored out of the order the window sorts in.
    u->db->SqlAendern(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = 'Lager'"));
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES ('Lager', 1, 'OEZ'), "
                                     "('Lager', 2, 'GRO')"));
    QVERIFY(Starten(*u, *w));
    m_startRundreisen = u->Factory()->rundreisen();
}

void TestKonflikt::cleanup() {
    Abbauen(u, w);
}

// The other workstation's change between load and save, and the user's answer.
void TestKonflikt::fremdeAenderungWirdGefragt_data() {
    QTest::addColumn<QString>("art");
    QTest::addColumn<int>("antwort");
    QTest::addColumn<QString>("danach"); // Lager on the server after the other's change
    const std::pair<const char*, const char*> arten[] = {
        {"hinzu", "OEZ,GRO,XYZ"},      {"hinzu per SQL", "OEZ,GRO,XYZ"}, {"entfernen", "OEZ"},
        {"ersetzen", "OEZ,BAE"},       {"umordnen", "OEZ,GRO"},          {"löschen", ""}};
    for (const auto& [art, danach] : arten)
        for (int antwort : {0, 1, 2})
            QTest::addRow("%s, %s", art, antwort == 0 ? "Überschreiben" : antwort == 1 ? "Neu laden" : "Abbrechen")
                << QString::fromUtf8(art) << antwort << QString::fromLatin1(danach);
}

void TestKonflikt::fremdeAenderungWirdGefragt() {
    QFETCH(QString, art);
    QFETCH(int, antwort);
    QFETCH(QString, danach);
    const QString lager = QStringLiteral("Lager");
    QVERIFY(Waehlen(w->cmbGruppe, lager));
    if (art == QLatin1String("hinzu per SQL")) {
        // A logged change first: the log's newest entry is then not the one that made the list.
        AndererSpeichert(*u, Berechtigung::KlasseGruppen, {lager}, {QStringLiteral("OEZ"), QStringLiteral("GRO"),
                                                                   QStringLiteral("SOM1")});
        u->db->SqlAendern(QStringLiteral("UPDATE uv_gruppen_pcode SET pcode = 'XYZ' WHERE pcode = 'SOM1'"));
    } else if (art == QStringLiteral("löschen")) {
        AndererLoescht(*u, Berechtigung::KlasseGruppen, lager);
    } else {
        AndererSpeichert(*u, Berechtigung::KlasseGruppen, {lager}, danach.split(QLatin1Char(',')));
    }
    QCOMPARE(u->db->Mitglieder(lager), danach);
    const int protokoll = Protokollzeilen();
    Mitglied(QStringLiteral("NEU"));
    const QString meins = Zeilen(w->ctListGruppe).join(QLatin1Char(','));
    u->dialoge.auswahl.push_back(antwort);
    Klicken(w->cmdGruppeSpeichern);

    // The same members in another order are no change: stored without a question.
    if (art == QLatin1String("umordnen")) {
        QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
        QCOMPARE(u->db->Mitglieder(lager), meins);
        return;
    }
    const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("Auswahl"));
    QVERIFY(frage);
    QCOMPARE(frage->titel, QStringLiteral("Gleichzeitige Änderung"));
    QCOMPARE(frage->stil, 1); // Enter: "Neu laden", which loses nothing
    const bool weg = art == QStringLiteral("löschen");
    QVERIFY2(frage->text.startsWith(QStringLiteral("Gruppe Lager wurde seit dem Laden an einem anderen Arbeitsplatz ") +
                                    (weg ? QStringLiteral("gelöscht.") : QStringLiteral("geändert."))),
             qPrintable(frage->text));
    // The last writer is named only when its entry made the list as it is now.
    const bool benannt = art != QLatin1String("hinzu per SQL");
    QVERIFY2(frage->text.contains(QStringLiteral("Zuletzt ") + (weg ? QStringLiteral("gelöscht") : QStringLiteral("geändert")) +
                                  QStringLiteral(" von SOM (Firma 1, Filiale 0)")) == benannt,
             qPrintable(frage->text));

    switch (antwort) {
    case 0: // the screen's list, the record created anew when it was deleted
        QCOMPARE(u->db->Mitglieder(lager), meins);
        // Created anew with its list: one command, one entry.
        QCOMPARE(Protokollzeilen(), protokoll + 1);
        QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern"));
        QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
        break;
    case 1:
        QCOMPARE(u->db->Mitglieder(lager), danach);
        QCOMPARE(Zeilen(w->ctListGruppe).size(), weg ? 0 : danach.count(QLatin1Char(',')) + 1);
        QCOMPARE(Protokollzeilen(), protokoll);
        QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern"));
        QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), weg ? 1 : 0);
        if (weg) {
            // Shown as gone; a later save creates it without another question.
            QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("gelöscht")));
            Mitglied(QStringLiteral("NEU"));
            Klicken(w->cmdGruppeSpeichern);
            QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 1);
            QCOMPARE(u->db->Mitglieder(lager), QStringLiteral("NEU"));
        }
        break;
    default:
        QCOMPARE(u->db->Mitglieder(lager), danach);
        QVERIFY(Zeilen(w->ctListGruppe).contains(QStringLiteral("NEU")));
        QCOMPARE(Protokollzeilen(), protokoll);
        QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern *"));
        QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
        break;
    }
}

// "Überschreiben" stores over what the question showed, not over a change made
// while it was open: that one is asked about again.
void TestKonflikt::aenderungWaehrendDerFrage() {
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    AndererSpeichert(*u, Berechtigung::KlasseGruppen, {QStringLiteral("Lager")}, {QStringLiteral("OEZ")});
    Mitglied(QStringLiteral("NEU"));
    u->dialoge.waehrendAuswahl.push_back([this] {
        AndererSpeichert(*u, Berechtigung::KlasseGruppen, {QStringLiteral("Lager")}, {QStringLiteral("SPAET")});
    });
    u->dialoge.auswahl = {0, 2};
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 2);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("SPAET"));
}

void TestKonflikt::gleicherInhaltOhneFrage() {
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    Mitglied(QStringLiteral("EINS"));
    Klicken(w->cmdGruppeSpeichern);
    Mitglied(QStringLiteral("ZWEI"));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
    QVERIFY(u->db->Mitglieder(QStringLiteral("Verkauf")).endsWith(QStringLiteral("EINS,ZWEI")));

    // Another workstation holds Lager as stored (OEZ, GRO); this window saves it
    // unchanged (shown as GRO, OEZ): nothing is stored or logged, and the other
    // workstation's checked save is not asked about.
    const int protokoll = Protokollzeilen();
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(Protokollzeilen(), protokoll);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ,GRO"));
    AlsSom(*u, [](CacheFactory& f) {
        CacheObjektPtr k = f.Klassenmethoden(Berechtigung::KlasseGruppen);
        k->Methode(QStringLiteral("ListePruefen"), {QStringLiteral("Lager"), Liste(f, {QStringLiteral("OEZ"),
                                                                                      QStringLiteral("GRO")})});
    });

    // A name typed, never chosen: the existing group is asked about with its size.
    w->cmbGruppe->lineEdit()->clear();
    w->cmbGruppe->lineEdit()->setFocus();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Verkauf"));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 1);
    QVERIFY2(u->dialoge.Letzte(QStringLiteral("Auswahl"))
                 ->text.startsWith(QStringLiteral("Gruppe Verkauf besteht bereits mit 5 Einträgen")),
             qPrintable(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text));
    QVERIFY(u->db->Mitglieder(QStringLiteral("Verkauf")).endsWith(QStringLiteral("EINS,ZWEI")));
}

// Two administrators create the same new group: the second is asked, and
// nothing of the first one's members is lost.
void TestKonflikt::zweiLegenDieselbeGruppeAn() {
    w->cmbGruppe->lineEdit()->clear();
    w->cmbGruppe->lineEdit()->setFocus();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Projekt"));
    Mitglied(QStringLiteral("MEINS"));
    AlsSom(*u, [](CacheFactory& f) {
        f.TransaktionBeginnen();
        CacheObjektPtr k = f.Klassenmethoden(Berechtigung::KlasseGruppen);
        k->Methode(QStringLiteral("ListePruefen"), {QStringLiteral("Projekt"), Liste(f, {}), QStringLiteral("0")});
        CacheObjektPtr n = f.New(Berechtigung::KlasseGruppen);
        n->setEigenschaft(QStringLiteral("Gruppe"), QStringLiteral("Projekt"));
        n->Methode(QStringLiteral("sys_Save"));
        k->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Projekt"), Liste(f, {QStringLiteral("SEINS")})});
        f.TransaktionBestaetigen();
    });
    Klicken(w->cmdGruppeSpeichern);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("Auswahl")));
    QVERIFY(u->dialoge.Letzte(QStringLiteral("Auswahl"))
                ->text.startsWith(QStringLiteral("Gruppe Projekt besteht bereits mit 1 Eintrag")));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Projekt")), QStringLiteral("SEINS"));

    // At the same moment, many times over: each name is created once, by the
    // one who got there first, and the other one is told.
    const QString connStrg = u->db->ConnStrg();
    std::atomic<int> angelegt{0}, gefragt{0};
    QString fehler;
    auto anlegen = [&](const QString& wer) {
        try {
            auto f = NeueCacheFactory();
            if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
            for (int i = 0; i < 50; ++i) {
                const QString name = QStringLiteral("Neu%1").arg(i);
                try {
                    f->TransaktionBeginnen();
                    CacheObjektPtr k = f->Klassenmethoden(Berechtigung::KlasseGruppen);
                    k->Methode(QStringLiteral("ListePruefen"), {name, Liste(*f, {}), QStringLiteral("0")});
                    CacheObjektPtr n = f->New(Berechtigung::KlasseGruppen);
                    n->setEigenschaft(QStringLiteral("Gruppe"), name);
                    n->Methode(QStringLiteral("sys_Save"));
                    k->Methode(QStringLiteral("SaveCodes"), {name, Liste(*f, {wer})});
                    f->TransaktionBestaetigen();
                    ++angelegt;
                } catch (const CacheFehler& e) {
                    f->TransaktionZuruecknehmen();
                    if (e.Nummer() != Fehlernummer::KonfliktVorhanden) throw;
                    ++gefragt;
                }
            }
        } catch (const CacheFehler& e) {
            fehler = wer + QStringLiteral(": ") + e.Beschreibung();
        }
    };
    std::thread a([&] { anlegen(QStringLiteral("A")); });
    std::thread b([&] { anlegen(QStringLiteral("B")); });
    a.join();
    b.join();
    QVERIFY2(fehler.isEmpty(), qPrintable(fehler));
    QCOMPARE(angelegt.load(), 50);
    QCOMPARE(gefragt.load(), 50);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_gruppen_pcode WHERE gruppe LIKE 'Neu%'")),
             QStringList{QStringLiteral("50")});
}

// A level is to be granted a group that another workstation has just deleted.
void TestKonflikt::stufeMitGeloeschterGruppe_data() {
    QTest::addColumn<bool>("ja");
    QTest::addColumn<bool>("schonBerechtigt");
    QTest::newRow("nicht berechtigen") << false << false;
    QTest::newRow("trotzdem berechtigen") << true << false;
    // The level held the group when it was loaded: its withdrawal is a conflict, not a new grant.
    QTest::newRow("schon berechtigt gewesen") << false << true;
}

void TestKonflikt::stufeMitGeloeschterGruppe() {
    QFETCH(bool, ja);
    QFETCH(bool, schonBerechtigt);
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
    QVERIFY(Waehlen(w->cmbSubProgramm, schonBerechtigt ? QStringLiteral("Bestand") : QStringLiteral("Inventur")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
    if (schonBerechtigt) {
        AndererLoescht(*u, Berechtigung::KlasseGruppen, QStringLiteral("Verkauf"));
        QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Revision")));
        Klicken(w->cmdGruppeProgramm[0]);
        Klicken(w->cmdProgrammSpeichern);
        QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
        QVERIFY(u->dialoge.Letzte(QStringLiteral("Auswahl"))->text.contains(QStringLiteral("geändert")));
        return;
    }
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    AndererLoescht(*u, Berechtigung::KlasseGruppen, QStringLiteral("Verkauf"));
    Klicken(w->cmdGruppeProgramm[0]);
    u->dialoge.antworten.push_back(ja ? DialogService::Yes : DialogService::No);
    Klicken(w->cmdProgrammSpeichern);
    const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(frage);
    QCOMPARE(frage->text, QStringLiteral("Die Gruppe Verkauf besteht nicht. Trotzdem berechtigen?"));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Lager' AND "
                                       "subprogramm = 'Inventur' AND berechtigungsstufe = '1' ORDER BY pos")),
             ja ? (QStringList{QStringLiteral("Lager"), QStringLiteral("Verkauf")}) : QStringList{QStringLiteral("Lager")});
}

// A group delete against a level save that grants the group, on two real
// connections: afterwards no level may grant a group that does not exist,
// and every withdrawn grant is in the log.
void TestKonflikt::loeschenGegenSpeichernImWettlauf() {
    const QString connStrg = u->db->ConnStrg();
    const int runden = Testdatenbank::IstPostgres() ? 200 : 50;
    QString fehler;
    auto verbinden = [&] {
        auto f = NeueCacheFactory();
        if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
        return f;
    };
    for (int i = 0; i < runden && fehler.isEmpty(); ++i) {
        const QString g = QStringLiteral("W%1").arg(i);
        u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {g});
        std::thread loescher([&] {
            try {
                auto f = verbinden();
                f->TransaktionBeginnen();
                f->OpenId(Berechtigung::KlasseGruppen, g)->Methode(QStringLiteral("sys_deleteID"), {g});
                f->Klassenmethoden(Berechtigung::KlasseProgramm)->Methode(QStringLiteral("GruppeEntziehen"), {g});
                f->TransaktionBestaetigen();
            } catch (const CacheFehler& e) {
                fehler = e.Beschreibung();
            }
        });
        std::thread speicherer([&] {
            try {
                auto f = verbinden();
                const QStringList id = {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2")};
                f->TransaktionBeginnen();
                CacheObjektPtr k = f->Klassenmethoden(Berechtigung::KlasseProgramm);
                const std::vector<QString> bisher =
                    f->OpenId(Berechtigung::KlasseProgramm, id.join(QStringLiteral("||")))
                        ->Liste(QStringLiteral("Gruppe"))
                        ->Werte();
                SysListPtr neu = Liste(*f, QStringList(bisher.begin(), bisher.end()) << g);
                // As the window does: groups first, then the level, and no grant of a missing group.
                if (k->Methode(QStringLiteral("GruppenPruefen"), {id[0], id[1], id[2], neu}) == QLatin1String("[]")) {
                    k->Methode(QStringLiteral("ListePruefen"), {id[0], id[1], id[2],
                                                                Liste(*f, QStringList(bisher.begin(), bisher.end()))});
                    k->Methode(QStringLiteral("SaveGruppen"), {id[0], id[1], id[2], neu});
                }
                f->TransaktionBestaetigen();
            } catch (const CacheFehler& e) {
                if (e.Nummer() != Fehlernummer::Konflikt) fehler = e.Beschreibung();
            }
        });
        loescher.join();
        speicherer.join();
    }
    QVERIFY2(fehler.isEmpty(), qPrintable(fehler));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe s WHERE NOT EXISTS "
                                       "(SELECT 1 FROM uv_gruppen g WHERE g.gruppe = s.gruppe)")),
             QStringList{QStringLiteral("0")});
    // A level that lost a group to a withdrawal has that withdrawal in the log.
    const QStringList entzogen = u->db->Sql(QStringLiteral(
        "SELECT COUNT(*) FROM uv_protokoll WHERE befehl = 'aus Stufen entfernen' AND objekt LIKE 'Gruppe W%'"));
    const QStringList gewaehrt = u->db->Sql(QStringLiteral(
        "SELECT COUNT(*) FROM uv_protokoll WHERE befehl = 'speichern' AND objekt = 'Stufe Lager||Bestand||2'"));
    QCOMPARE(entzogen, gewaehrt);
}

void TestKonflikt::loeschenNachFremderAenderung() {
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
    QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Bestand")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("2")));
    QCOMPARE(ListenZeilen(w->ctListProgramm), QStringList{QStringLiteral("Lager")});
    AndererSpeichert(*u, Berechtigung::KlasseProgramm,
                     {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2")},
                     {QStringLiteral("Lager"), QStringLiteral("Verkauf")});
    u->dialoge.antworten.push_back(DialogService::Yes); // "Löschen?"
    u->dialoge.auswahl.push_back(2);                  // Abbrechen
    Klicken(w->cmdProgrammStufeLoeschen);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 1);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Lager' AND "
                                       "subprogramm = 'Bestand' AND berechtigungsstufe = '2' ORDER BY pos")),
             (QStringList{QStringLiteral("Lager"), QStringLiteral("Verkauf")}));
    // Asked again and overwritten: the level goes.
    u->dialoge.antworten.push_back(DialogService::Yes);
    u->dialoge.auswahl.push_back(0);
    Klicken(w->cmdProgrammStufeLoeschen);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm WHERE programmname = 'Lager' AND "
                                       "subprogramm = 'Bestand' AND berechtigungsstufe = '2'")),
             QStringList{QStringLiteral("0")});
}

void TestKonflikt::ungesicherteAenderungenMarkiert() {
    const QString titel = w->windowTitle();
    QVERIFY(!titel.endsWith(QStringLiteral(" *")));
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern"));
    QVERIFY(!w->cmdGruppeSpeichern->font().bold());
    Mitglied(QStringLiteral("NEU"));
    QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern *"));
    QVERIFY(w->cmdGruppeSpeichern->font().bold());
    QCOMPARE(w->windowTitle(), titel + QStringLiteral(" *"));
    QCOMPARE(w->cmdProgrammSpeichern->text(), QStringLiteral("Änderung Sichern"));
    // Removing the row again: the list is as loaded, the mark goes.
    const int neu = static_cast<int>(ListenZeilen(w->ctListGruppe).indexOf(QStringLiteral("NEU;")));
    ZeileKlicken(w->ctListGruppe, neu);
    Klicken(w->cmdMitarbeiterGruppe[1]);
    QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern"));
    QCOMPARE(w->windowTitle(), titel);
    // The level's list has its own mark; a save clears it.
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Finanzen")));
    QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Buchen")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
    Klicken(w->cmdGruppeProgramm[0]);
    QCOMPARE(w->cmdProgrammSpeichern->text(), QStringLiteral("Änderung Sichern *"));
    QCOMPARE(w->windowTitle(), titel + QStringLiteral(" *"));
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(w->cmdProgrammSpeichern->text(), QStringLiteral("Änderung Sichern"));
    QCOMPARE(w->windowTitle(), titel);
    // Choosing another group keeps today's behaviour: no question.
    Mitglied(QStringLiteral("NEU"));
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    QCOMPARE(u->dialoge.gezeigt.size(), size_t(0));
}

void TestKonflikt::beendenFragtBeiUngesichertem_data() {
    QTest::addColumn<bool>("stufe");
    QTest::newRow("Mitglieder") << false;
    QTest::newRow("Gruppen einer Stufe") << true;
}

void TestKonflikt::beendenFragtBeiUngesichertem() {
    QFETCH(bool, stufe);
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    if (stufe) {
        QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Finanzen")));
        QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Buchen")));
        QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
        Klicken(w->cmdGruppeProgramm[0]);
    } else {
        Mitglied(QStringLiteral("NEU"));
    }
    const QStringList vorher = u->Bestand();
    u->dialoge.antworten.push_back(DialogService::No);
    w->Beenden->trigger();
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, QStringLiteral("Ungesicherte Änderungen verwerfen?"));
    QVERIFY(w->isVisible());
    QCOMPARE(u->beendet, 0);
    u->dialoge.antworten.push_back(DialogService::Yes);
    w->Beenden->trigger();
    QCOMPARE(u->beendet, 1);
    // Nothing was stored by ending.
    QCOMPARE(u->Bestand(), vorher);
}

// Every entry names the user signed on when the change was made: after the
// login dialog, after a new sign-on from the menu, after the idle reconnect.
void TestKonflikt::protokollNenntDenAngemeldeten_data() {
    QTest::addColumn<QString>("weg");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("passwort");
    QTest::newRow("Anmeldedialog") << "Dialog" << "ADM" << "";
    QTest::newRow("Menü Login") << "Menue" << "SOM" << "som";
    QTest::newRow("nach Leerlauf neu verbunden") << "Leerlauf" << "ADM" << "";
    // Nobody is signed on then: nothing may be stored in anyone's name.
    QTest::newRow("Menü Login mit falschem Passwort") << "Menue" << "" << "falsch";
    QTest::newRow("Menü Login ohne Verwalterrecht") << "Menue" << "" << "user";
}

void TestKonflikt::protokollNenntDenAngemeldeten() {
    QFETCH(QString, weg);
    QFETCH(QString, code);
    QFETCH(QString, passwort);
    // SOM may administer too; USR (password "user") is of group 5.
    u->db->SqlAendern(QStringLiteral("UPDATE kv_parpersedv SET passwort = 'som', aktiv = 'J', bergrp = '8' "
                                     "WHERE pcode = 'SOM'"));
    if (weg == QLatin1String("Menue")) {
        // The administrator had the overview open.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_B, Qt::ControlModifier);
        QVERIFY(w->UebersichtFenster() && w->UebersichtFenster()->isVisible());
        w->mLogin->trigger();
        QVERIFY(u->login->isVisible());
        AmDialogAnmelden(*u, code.isEmpty() ? QStringLiteral("USR") : code, passwort);
        QCOMPARE(w->UebersichtFenster()->isVisible(), !code.isEmpty());
    } else if (weg == QLatin1String("Leerlauf")) {
        QTimer* leerlauf = u->server->Lock();
        leerlauf->start(1);
        QTRY_VERIFY(!Zustand().CacheFactory || !Zustand().CacheFactory->IsConnected());
    }
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Revision")));
    Mitglied(QStringLiteral("NEU"));
    u->dialoge.gezeigt.clear();
    Klicken(w->cmdGruppeSpeichern);
    if (code.isEmpty()) {
        QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Keine Berechtigung"));
        QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QString());
        QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_protokoll")), QStringList{QStringLiteral("0")});
        // Nor may the permissions be read: the overview, the log, the
        // comparison and the export each refuse.
        const QString datei = u->temp.filePath(QStringLiteral("matrix.csv"));
        u->dialoge.dateien.push_back(datei);
        for (QAction* a : {w->mUebersicht, w->mProtokoll, w->mVergleich, w->mMatrixExport}) {
            u->dialoge.gezeigt.clear();
            a->trigger();
            QVERIFY2(u->dialoge.Letzte(QStringLiteral("MsgBox")) &&
                         u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel == QStringLiteral("Keine Berechtigung"),
                     qPrintable(a->text()));
        }
        QVERIFY(!w->UebersichtFenster() || !w->UebersichtFenster()->isVisible());
        QVERIFY(!w->ProtokollFenster() || !w->ProtokollFenster()->isVisible());
        QVERIFY(!w->VergleichFenster() || !w->VergleichFenster()->isVisible());
        QVERIFY(!QFile::exists(datei));
        return;
    }
    // The caption names whoever is signed on now.
    QVERIFY2(w->windowTitle().endsWith(QStringLiteral("Benutzer: ") + Zustand().Benutzer), qPrintable(w->windowTitle()));
    QVERIFY(Zustand().Benutzer.startsWith(code + QLatin1Char('|')));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT firma, filiale, pcode FROM uv_protokoll")),
             QStringList{QStringLiteral("1;0;") + code});
}

void TestKonflikt::protokollNachJedemBefehl() {
    const QString spalten = QStringLiteral("SELECT firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher "
                                           "FROM uv_protokoll ORDER BY nr");
    QCOMPARE(u->db->Sql(spalten).size(), 0);
    const QString rechner = QSysInfo::machineHostName();
    auto zeile = [&](const QString& befehl, const QString& objekt, const QString& vorher, const QString& nachher) {
        return QStringList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("ADM"), rechner, befehl,
                           objekt, vorher, nachher}
            .join(QLatin1Char(';'));
    };
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    Mitglied(QStringLiteral("NEU"));
    Klicken(w->cmdGruppeSpeichern);
    // A new group without members is logged too.
    w->cmbGruppe->lineEdit()->clear();
    w->cmbGruppe->lineEdit()->setFocus();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Leer"));
    Klicken(w->cmdMitarbeiterGruppe[3]);
    Klicken(w->cmdGruppeSpeichern);
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
    QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Inventur")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
    u->dialoge.antworten.push_back(DialogService::Yes);
    Klicken(w->cmdProgrammStufeLoeschen);
    w->cmbGruppe->lineEdit()->clear();
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    u->dialoge.antworten.push_back(DialogService::Yes);
    Klicken(w->cmdGruppeLoeschen);
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Auftrag")));
    u->dialoge.antworten.push_back(DialogService::Yes);
    Klicken(w->cmdProgrammLoeschen);
    const QStringList log = u->db->Sql(spalten);
    QCOMPARE(log, (QStringList{
                      zeile(QStringLiteral("speichern"), QStringLiteral("Gruppe Lager"),
                            QStringLiteral("[\"OEZ\",\"GRO\"]"), QStringLiteral("[\"GRO\",\"OEZ\",\"NEU\"]")),
                      zeile(QStringLiteral("anlegen"), QStringLiteral("Gruppe Leer"), QString(), QStringLiteral("[]")),
                      zeile(QStringLiteral("löschen"), QStringLiteral("Stufe Lager||Inventur||1"),
                            QStringLiteral("[\"Lager\"]"), QString()),
                      zeile(QStringLiteral("löschen"), QStringLiteral("Gruppe Verkauf"),
                            QStringLiteral("[\"USR\",\"BAE\",\"MUE\"]"), QString()),
                      zeile(QStringLiteral("aus Stufen entfernen"), QStringLiteral("Gruppe Verkauf"),
                            QStringLiteral("[\"Auftrag||Drucken||1\",\"Auftrag||Erfassen||1\",\"Lager||Bestand||1\"]"),
                            QStringLiteral("[]")),
                      // Every level with the groups it held: all that the delete removed.
                      zeile(QStringLiteral("löschen"), QStringLiteral("Programm Auftrag"),
                            QStringLiteral("{\"Auftrag||Drucken||1\":[],\"Auftrag||Erfassen||1\":[\"Verwaltung\"],"
                                           "\"Auftrag||Erfassen||2\":[\"Verwaltung\"]}"),
                            QStringLiteral("{}")),
                  }));
    // Times are the server's, in UTC, ascending.
    const QStringList zeiten = u->db->Sql(QStringLiteral("SELECT zeit FROM uv_protokoll ORDER BY nr"));
    for (const QString& z : zeiten)
        QVERIFY2(QDateTime::fromString(z, Qt::ISODateWithMs).isValid() && z.endsWith(QLatin1Char('Z')), qPrintable(z));
    QVERIFY(std::is_sorted(zeiten.begin(), zeiten.end()));
}

void TestKonflikt::protokollWerteExakt() {
    const QStringList werte = {QStringLiteral("a\"b'c"), QStringLiteral("x||y"), QStringLiteral("Müßig ÄÖÜ"),
                               QString(10000, QLatin1Char('z')), QStringLiteral("zeile\nzwei;drei")};
    AndererSpeichert(*u, Berechtigung::KlasseGruppen, {QStringLiteral("Revision")}, werte);
    const QStringList r = u->db->Sql(QStringLiteral("SELECT nachher FROM uv_protokoll WHERE objekt = 'Gruppe Revision'"));
    QCOMPARE(r.size(), 1);
    QCOMPARE(Json(r.front()), werte);
    // The log survives the client going away and a new one coming.
    w.reset();
    Zustand().CacheFactory.reset();
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_protokoll WHERE objekt = 'Gruppe Revision'")),
             QStringList{QStringLiteral("1")});
}

void TestKonflikt::protokollFehltDannFehltAuchDieAenderung_data() {
    QTest::addColumn<QString>("befehl");
    for (const char* b : {"Gruppe speichern", "Gruppe anlegen", "Gruppe löschen", "Stufe speichern", "Stufe löschen",
                          "Programm löschen", "Unterprogramm löschen"})
        QTest::newRow(b) << QString::fromUtf8(b);
}

// The log refuses every entry: no command may store its change without it.
void TestKonflikt::protokollFehltDannFehltAuchDieAenderung() {
    QFETCH(QString, befehl);
    if (Testdatenbank::IstPostgres()) {
        u->db->SqlAendern(QStringLiteral("CREATE FUNCTION kein_protokoll() RETURNS trigger LANGUAGE plpgsql AS "
                                         "$$ BEGIN RAISE EXCEPTION 'kein Protokoll'; END $$"));
        u->db->SqlAendern(QStringLiteral("CREATE TRIGGER kein_protokoll BEFORE INSERT ON uv_protokoll "
                                         "FOR EACH ROW EXECUTE FUNCTION kein_protokoll()"));
    } else {
        u->db->SqlAendern(QStringLiteral("CREATE TRIGGER kein_protokoll BEFORE INSERT ON uv_protokoll "
                                         "BEGIN SELECT RAISE(ABORT, 'kein Protokoll'); END"));
    }
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
    QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Bestand")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
    const QStringList vorher = u->Bestand();
    u->dialoge.antworten.push_back(DialogService::Yes);
    if (befehl == QLatin1String("Gruppe speichern")) {
        Mitglied(QStringLiteral("NEU"));
        Klicken(w->cmdGruppeSpeichern);
    } else if (befehl == QLatin1String("Gruppe anlegen")) {
        w->cmbGruppe->lineEdit()->clear();
        QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Ganz neu"));
        Klicken(w->cmdMitarbeiterGruppe[3]);
        Klicken(w->cmdGruppeSpeichern);
    } else if (befehl == QStringLiteral("Gruppe löschen")) {
        Klicken(w->cmdGruppeLoeschen);
    } else if (befehl == QLatin1String("Stufe speichern")) {
        ZeileKlicken(w->ctListProgramm, 0);
        Klicken(w->cmdGruppeProgramm[1]);
        Klicken(w->cmdProgrammSpeichern);
    } else if (befehl == QStringLiteral("Stufe löschen")) {
        Klicken(w->cmdProgrammStufeLoeschen);
    } else if (befehl == QStringLiteral("Programm löschen")) {
        Klicken(w->cmdProgrammLoeschen);
    } else {
        Klicken(w->cmdSubProgrammLoeschen);
    }
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.contains(QStringLiteral("kein Protokoll")), qPrintable(m->text));
    QCOMPARE(u->Bestand(), vorher);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_gruppen WHERE gruppe = 'Ganz neu'")),
             QStringList{QStringLiteral("0")});
    QCOMPARE(Protokollzeilen(), 0);
    // A save that failed stays unsaved and marked.
    if (befehl == QLatin1String("Gruppe speichern"))
        QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern *"));
}

void TestKonflikt::protokollFenster() {
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    Mitglied(QStringLiteral("NEU"));
    Klicken(w->cmdGruppeSpeichern);
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    ZeileKlicken(w->ctListGruppe, 0);
    Klicken(w->cmdMitarbeiterGruppe[1]);
    Klicken(w->cmdGruppeSpeichern);
    w->mProtokoll->trigger();
    frmProtokoll* f = w->ProtokollFenster();
    QVERIFY(f && f->isVisible());
    QCOMPARE(f->windowTitle(), QStringLiteral("Änderungsprotokoll"));
    // Newest first.
    const QStringList zeilen = ListenZeilen(f->ctListProtokoll);
    QCOMPARE(zeilen.size(), 2);
    QVERIFY(zeilen[0].endsWith(QStringLiteral(";ADM;") + QSysInfo::machineHostName() +
                               QStringLiteral(";speichern;Gruppe Verkauf")));
    QVERIFY(zeilen[1].endsWith(QStringLiteral(";speichern;Gruppe Lager")));
    QCOMPARE(f->lblAnzahl->text(), QStringLiteral("2 Änderungen"));
    // Each row starts with the entry's number, the one "korval-db rueckgaengig" takes.
    QCOMPARE(zeilen[0].section(QLatin1Char(';'), 0, 0),
             u->db->Sql(QStringLiteral("SELECT MAX(nr) FROM uv_protokoll")).value(0));
    // Before and after side by side, added and removed entries marked.
    ZeileKlicken(f->ctListProtokoll, 1);
    QCOMPARE(ListenZeilen(f->ctListVorher), (QStringList{QStringLiteral("  OEZ"), QStringLiteral("  GRO")}));
    QCOMPARE(ListenZeilen(f->ctListNachher),
             (QStringList{QStringLiteral("  GRO"), QStringLiteral("  OEZ"), QStringLiteral("+ NEU")}));
    ZeileKlicken(f->ctListProtokoll, 0);
    QCOMPARE(ListenZeilen(f->ctListVorher).count(QStringLiteral("- BAE")), 1);
    // A member added a second time is an addition.
    QStringList links, rechts;
    frmProtokoll::Vergleichen({QStringLiteral("USR"), QStringLiteral("BAE")},
                              {QStringLiteral("BAE"), QStringLiteral("USR"), QStringLiteral("USR")}, links, rechts);
    QCOMPARE(rechts, (QStringList{QStringLiteral("  BAE"), QStringLiteral("  USR"), QStringLiteral("+ USR")}));

    // Filters, typed: record text (case and LIKE characters as typed), user, period.
    QTest::keyClicks(f->txtObjekt, QStringLiteral("lager"));
    QTest::keyClick(f->txtObjekt, Qt::Key_Return);
    QCOMPARE(ListenZeilen(f->ctListProtokoll).size(), 1);
    QCOMPARE(f->lblAnzahl->text(), QStringLiteral("1 Änderung"));
    f->txtObjekt->clear();
    QTest::keyClicks(f->txtObjekt, QStringLiteral("%"));
    Klicken(f->cmdAnzeigen);
    QCOMPARE(f->lblAnzahl->text(), QStringLiteral("Keine Änderung passt zu den Angaben."));
    f->txtObjekt->clear();
    QTest::keyClicks(f->txtBenutzer, QStringLiteral("ADM"));
    QTest::keyClicks(f->txtVon, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    QTest::keyClicks(f->txtBis, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    Klicken(f->cmdAnzeigen);
    QCOMPARE(ListenZeilen(f->ctListProtokoll).size(), 2);
    f->txtBis->clear();
    QTest::keyClicks(f->txtBis, QDate::currentDate().addDays(-1).toString(QStringLiteral("dd.MM.yyyy")));
    Klicken(f->cmdAnzeigen);
    QCOMPARE(ListenZeilen(f->ctListProtokoll).size(), 0);
    f->txtBis->clear();
    QTest::keyClicks(f->txtBis, QStringLiteral("32.13.2026"));
    Klicken(f->cmdAnzeigen);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, QStringLiteral("Bitte das Datum als TT.MM.JJJJ angeben."));

    // The CSV export holds what is shown, values exact.
    f->txtBis->clear();
    Klicken(f->cmdAnzeigen);
    const QString csv = u->temp.filePath(QStringLiteral("protokoll.csv"));
    u->dialoge.dateien.push_back(csv);
    Klicken(f->cmdCsv);
    QFile datei(csv);
    QVERIFY(datei.open(QIODevice::ReadOnly));
    const QByteArray roh = datei.readAll();
    QVERIFY(roh.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(roh);
    QCOMPARE(text.count(QStringLiteral("\r\n")), 3);
    QVERIFY(text.contains(QStringLiteral(";speichern;Gruppe Lager;\"[\"\"OEZ\"\",\"\"GRO\"\"]\";")));
}

void TestKonflikt::protokollFilterFaltetJedenBuchstaben_data() {
    QTest::addColumn<bool>("benutzer"); // typed into the user field, else into the record field
    QTest::addColumn<QString>("eingabe");
    QTest::addColumn<QStringList>("objekte");
    const QStringList beide{QStringLiteral("Gruppe BÜROS"), QStringLiteral("Gruppe Büro")};
    QTest::newRow("Objekt groß") << false << QStringLiteral("BÜRO") << beide;
    QTest::newRow("Objekt klein") << false << QStringLiteral("büro") << beide;
    QTest::newRow("ohne Umlaut") << false << QStringLiteral("buro")
                                 << QStringList{QStringLiteral("Gruppe Buro")};
    QTest::newRow("Benutzer klein") << true << QStringLiteral("mül")
                                    << QStringList{QStringLiteral("Gruppe Büro")};
    QTest::newRow("Benutzer ASCII") << true << QStringLiteral("adm")
                                    << QStringList{QStringLiteral("Gruppe Buro"),
                                                   QStringLiteral("Gruppe BÜROS")};
}

// The record and user filters ignore case for every letter, on both backends alike.
void TestKonflikt::protokollFilterFaltetJedenBuchstaben() {
    QFETCH(bool, benutzer);
    QFETCH(QString, eingabe);
    QFETCH(QStringList, objekte);
    const QString einfuegen =
        QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, "
                       "objekt, vorher, nachher) VALUES (?, '1', '0', ?, 'pc', 'speichern', ?, '[]', '[]')");
    u->db->SqlAendern(einfuegen, {QStringLiteral("2026-12-08T10:00:00.000Z"), QStringLiteral("MÜL"),
                                  QStringLiteral("Gruppe Büro")});
    u->db->SqlAendern(einfuegen, {QStringLiteral("2026-12-08T11:00:00.000Z"), QStringLiteral("ADM"),
                                  QStringLiteral("Gruppe BÜROS")});
    u->db->SqlAendern(einfuegen, {QStringLiteral("2026-12-08T12:00:00.000Z"), QStringLiteral("ADM"),
                                  QStringLiteral("Gruppe Buro")});
    w->mProtokoll->trigger();
    frmProtokoll* f = w->ProtokollFenster();
    QVERIFY(f && QTest::qWaitForWindowActive(f));
    QLineEdit* feld = benutzer ? f->txtBenutzer : f->txtObjekt;
    feld->setFocus();
    QVERIFY(feld->hasFocus());
    Eintippen(feld, eingabe);
    QTest::keyClick(feld, Qt::Key_Return);
    QStringList gefunden;
    for (const QString& z : ListenZeilen(f->ctListProtokoll))
        gefunden.append(z.section(QLatin1Char(';'), 5));
    gefunden.sort();
    QCOMPARE(gefunden, objekte);
}

// A thousand entries are all shown; only beyond that the window asks to narrow.
// The export writes a code a spreadsheet would take for a formula as text.
void TestKonflikt::protokollHoechstensTausend() {
    const QString tausend = QStringLiteral(
        "INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, objekt, vorher, nachher) "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
        "SELECT '2026-12-08T10:00:00.000Z', '1', '0', '-' || CAST(i AS TEXT), 'pc', 'speichern', 'Gruppe "
        "Lager', "
        "'[]', '[]' FROM n");
    u->db->SqlAendern(tausend.arg(1000));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_protokoll")),
             QStringList{QStringLiteral("1000")});
    w->mProtokoll->trigger();
    frmProtokoll* f = w->ProtokollFenster();
    QVERIFY(f);
    QCOMPARE(f->ctListProtokoll->ListCount(), 1000);
    QCOMPARE(f->lblAnzahl->text(), QStringLiteral("1.000 Änderungen"));
    const QString csv = u->temp.filePath(QStringLiteral("protokoll.csv"));
    u->dialoge.dateien.push_back(csv);
    Klicken(f->cmdCsv);
    QFile datei(csv);
    QVERIFY(datei.open(QIODevice::ReadOnly));
    const QList<QStringList> zeilen = CsvLesen(QString::fromUtf8(datei.readAll().mid(3)));
    QCOMPARE(zeilen.size(), 1001);
    for (const QStringList& z : zeilen.mid(1))
        QVERIFY2(z.value(3).startsWith(QStringLiteral("'-")), qPrintable(z.value(3)));

    u->db->SqlAendern(tausend.arg(1));
    Klicken(f->cmdAnzeigen);
    QCOMPARE(f->ctListProtokoll->ListCount(), 1000);
    QCOMPARE(f->lblAnzahl->text(),
             QStringLiteral("Die neuesten 1.000 Änderungen; bitte den Zeitraum eingrenzen."));
}

// Two workstations save the same group 1,000 times in all, at the same time,
// each checking against the version it last saw. No save may overwrite a
// version its writer did not see: the log's entries chain up, each one's
// "before" being the previous one's "after", one entry per committed change.
void TestKonflikt::tausendVerschraenkteSicherungen() {
    const QString connStrg = u->db->ConnStrg();
    const QString gruppe = QStringLiteral("Lager");
    std::atomic<int> gespeichert{0}, konflikte{0};
    auto arbeitsplatz = [&](const QString& name, QString& fehler) {
        try {
            auto f = NeueCacheFactory();
            if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
            auto lesen = [&] {
                CacheObjektPtr o = f->OpenId(Berechtigung::KlasseGruppen, gruppe);
                return o->Liste(QStringLiteral("PCODE"))->Werte();
            };
            std::vector<QString> gesehen = lesen();
            for (int runde = 0; runde < 500; ++runde) {
                auto erwartet = f->NeueListe();
                erwartet->Werte() = gesehen;
                auto neu = f->NeueListe();
                neu->Werte() = gesehen;
                neu->Append(name + QString::number(runde));
                if (neu->Count() > 20) neu->RemoveAt(1);
                try {
                    f->TransaktionBeginnen();
                    CacheObjektPtr k = f->Klassenmethoden(Berechtigung::KlasseGruppen);
                    k->Methode(QStringLiteral("ListePruefen"), {gruppe, erwartet});
                    k->Methode(QStringLiteral("SaveCodes"), {gruppe, neu});
                    f->TransaktionBestaetigen();
                    gesehen = neu->Werte();
                    ++gespeichert;
                } catch (const CacheFehler& e) {
                    f->TransaktionZuruecknehmen();
                    if (e.Nummer() != Fehlernummer::Konflikt) throw;
                    // "Neu laden": the next attempt builds on the server's version.
                    ++konflikte;
                    gesehen = lesen();
                }
            }
        } catch (const CacheFehler& e) {
            fehler = name + QStringLiteral(": ") + e.Beschreibung();
        }
    };
    QString fehlerA, fehlerB;
    std::thread a([&] { arbeitsplatz(QStringLiteral("A"), fehlerA); });
    std::thread b([&] { arbeitsplatz(QStringLiteral("B"), fehlerB); });
    a.join();
    b.join();
    QVERIFY2(fehlerA.isEmpty(), qPrintable(fehlerA));
    QVERIFY2(fehlerB.isEmpty(), qPrintable(fehlerB));
    QCOMPARE(gespeichert + konflikte, 1000);
    const QStringList log = u->db->Sql(
        QStringLiteral("SELECT vorher, nachher FROM uv_protokoll WHERE objekt = 'Gruppe Lager' ORDER BY nr"));
    QCOMPARE(log.size(), gespeichert.load());
    QString davor = QStringLiteral("[\"OEZ\",\"GRO\"]");
    for (const QString& z : log) {
        // Lists hold no ";" here: the row splits into before and after.
        const QString vorher = z.section(QLatin1Char(';'), 0, 0), nachher = z.section(QLatin1Char(';'), 1);
        QCOMPARE(vorher, davor);
        // Each entry is exactly its writer's change: one name added at the end,
        // the first one gone once the list is full.
        QStringList erwartet = Json(vorher);
        erwartet.append(Json(nachher).constLast());
        if (erwartet.size() > 20) erwartet.removeFirst();
        QCOMPARE(Json(nachher), erwartet);
        davor = nachher;
    }
    QCOMPARE(Json(davor).join(QLatin1Char(',')), u->db->Mitglieder(gruppe));
    qInfo("%d gespeichert, %d Mal gefragt", gespeichert.load(), konflikte.load());
}

void TestKonflikt::verbindungseintragImProtokoll() {
    u->Aendern([](CacheFactory& f) {
        CacheObjektPtr n = f.New(QStringLiteral("KV.KassaSW"));
        n->setEigenschaft(QStringLiteral("sys_ID"), QStringLiteral("9"));
        n->setEigenschaft(QStringLiteral("Firma"), QStringLiteral("1"));
        n->setEigenschaft(QStringLiteral("Bezeichnung"), QStringLiteral("Neu \"A\""));
        n->Methode(QStringLiteral("sys_Save"));
        CacheObjektPtr o = f.OpenId(QStringLiteral("KV.KassaSW"), QStringLiteral("9"));
        o->setEigenschaft(QStringLiteral("Bezeichnung"), QStringLiteral("Umbenannt"));
        o->Methode(QStringLiteral("sys_Save"));
        o->Methode(QStringLiteral("sys_DeleteId"), {QStringLiteral("9")});
    });
    const QStringList log = u->db->Sql(
        QStringLiteral("SELECT befehl, vorher, nachher FROM uv_protokoll WHERE objekt = 'Verbindung 9' ORDER BY nr"));
    QCOMPARE(log.size(), 3);
    QVERIFY(log[0].startsWith(QStringLiteral("anlegen;;{")));
    QVERIFY(log[0].contains(QStringLiteral("\"Bezeichnung\":\"Neu \\\"A\\\"\"")));
    QVERIFY(log[1].startsWith(QStringLiteral("speichern;{")));
    QVERIFY(log[1].section(QLatin1Char(';'), 2).contains(QStringLiteral("\"Bezeichnung\":\"Umbenannt\"")));
    QVERIFY(log[2].startsWith(QStringLiteral("löschen;{")));
    QVERIFY(log[2].endsWith(QLatin1Char(';')));
}

// Requests to the server per action, the reloads it causes included, counted
// by the client: on a slow line each costs the whole round trip.
void TestKonflikt::rundreisenJeBefehl_data() {
    QTest::addColumn<QString>("befehl");
    QTest::addColumn<int>("anzahl");
    // Connect (the schema's version), the session's start (answering with the
    // company record), the code looked up by the password, the sign-on with
    // everything the window shows first.
    QTest::newRow("Start") << "Start" << 4;
    QTest::newRow("Start, Gruppe 8") << "Start Gruppe 8" << 4;
    QTest::newRow("Gruppe wählen") << "Gruppe wählen" << 2;
    QTest::newRow("Gruppe speichern") << "Gruppe speichern" << 1;
    QTest::newRow("Gruppe getippt anlegen") << "Gruppe anlegen" << 1;
    QTest::newRow("Gruppe löschen") << "Gruppe löschen" << 1;
    QTest::newRow("Programm wählen") << "Programm wählen" << 1;
    QTest::newRow("Stufe wählen") << "Stufe wählen" << 1;
    QTest::newRow("Stufe speichern") << "Stufe speichern" << 1;
    QTest::newRow("Stufe getippt anlegen") << "Stufe anlegen" << 1;
    QTest::newRow("Stufe löschen") << "Stufe löschen" << 1;
    QTest::newRow("Unterprogramm löschen") << "Unterprogramm löschen" << 1;
    QTest::newRow("Programm löschen") << "Programm löschen" << 1;
}

void TestKonflikt::rundreisenJeBefehl() {
    QFETCH(QString, befehl);
    QFETCH(int, anzahl);
    if (befehl == QStringLiteral("Start Gruppe 8")) {
        // The lowest group that may sign on: its check must not cost a request.
        QVERIFY(NeuAufbauen(u, w));
        u->db->SqlAendern(QStringLiteral("UPDATE kv_parpersedv SET bergrp = '8' WHERE pcode = 'ADM'"));
        QVERIFY(Starten(*u, *w));
        m_startRundreisen = u->Factory()->rundreisen();
        befehl = QStringLiteral("Start");
    }
    if (befehl == QStringLiteral("Start")) {
        QCOMPARE(m_startRundreisen, long(anzahl));
        // What the sign-on's answer brought is what the lists read alone show.
        const QStringList mitarbeiter = ListenZeilen(w->ctListMitarbeiter), gruppen = KomboEintraege(w->cmbGruppe),
                          programme = KomboEintraege(w->cmbProgramm);
        QVERIFY(!mitarbeiter.isEmpty() && !gruppen.isEmpty() && !programme.isEmpty());
        QVERIFY(MitarbeiterLaden(w->ctListMitarbeiter, false) && GruppenLaden(w->cmbGruppe) &&
                ProgrammeLaden(w->cmbProgramm));
        QCOMPARE(ListenZeilen(w->ctListMitarbeiter), mitarbeiter);
        QCOMPARE(KomboEintraege(w->cmbGruppe), gruppen);
        QCOMPARE(KomboEintraege(w->cmbProgramm), programme);
        QCOMPARE(u->Factory()->rundreisen() - m_startRundreisen, 3L);
        return;
    }
    // What comes before the action is not counted.
    const bool stufe = befehl.startsWith(QStringLiteral("Stufe")) || befehl.contains(QStringLiteral("rogramm"));
    if (stufe && befehl != QStringLiteral("Programm wählen")) {
        QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
        QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Inventur")));
        if (befehl != QStringLiteral("Stufe wählen")) QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
        QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    }
    if (befehl.startsWith(QStringLiteral("Gruppe")) && befehl != QStringLiteral("Gruppe wählen") &&
        befehl != QStringLiteral("Gruppe anlegen"))
        QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    // A choice counted alone: the box stands next to the entry, one key away.
    auto nebenan = [](QComboBox* box, const QString& text) {
        const int ziel = box->findText(text);
        box->setCurrentIndex(ziel - 1);
        QCoreApplication::processEvents();
        return Qt::Key_Down;
    };
    Qt::Key taste = Qt::Key_Down;
    if (befehl == QStringLiteral("Gruppe wählen")) taste = nebenan(w->cmbGruppe, QStringLiteral("Verkauf"));
    if (befehl == QStringLiteral("Programm wählen")) taste = nebenan(w->cmbProgramm, QStringLiteral("Lager"));
    if (befehl == QStringLiteral("Stufe wählen")) taste = nebenan(w->cmbProgrammStufe, QStringLiteral("1"));
    QCoreApplication::processEvents();
    const long vorher = u->Factory()->rundreisen();
    if (befehl == QStringLiteral("Gruppe wählen")) {
        QTest::keyClick(w->cmbGruppe, taste);
        QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Verkauf"));
    } else if (befehl == QStringLiteral("Gruppe speichern")) {
        Mitglied(QStringLiteral("NEU"));
        Klicken(w->cmdGruppeSpeichern);
        QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ,NEU"));
    } else if (befehl == QStringLiteral("Gruppe anlegen")) {
        w->cmbGruppe->lineEdit()->clear();
        w->cmbGruppe->lineEdit()->setFocus();
        QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Neu"));
        Mitglied(QStringLiteral("NEU"));
        Klicken(w->cmdGruppeSpeichern);
        QCOMPARE(u->db->Mitglieder(QStringLiteral("Neu")), QStringLiteral("NEU"));
        QVERIFY(w->cmbGruppe->findText(QStringLiteral("Neu")) >= 0);
    } else if (befehl == QStringLiteral("Gruppe löschen")) {
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(w->cmdGruppeLoeschen);
        QVERIFY(!u->Existiert(Berechtigung::KlasseGruppen, QStringLiteral("Lager")));
        QCOMPARE(w->cmbGruppe->findText(QStringLiteral("Lager")), -1);
    } else if (befehl == QStringLiteral("Programm wählen")) {
        QTest::keyClick(w->cmbProgramm, taste);
        QCOMPARE(w->cmbProgramm->currentText(), QStringLiteral("Lager"));
        QVERIFY(w->cmbSubProgramm->findText(QStringLiteral("Inventur")) >= 0);
    } else if (befehl == QStringLiteral("Stufe wählen")) {
        QTest::keyClick(w->cmbProgrammStufe, taste);
        QCOMPARE(w->cmbProgrammStufe->currentText(), QStringLiteral("1"));
        QCOMPARE(w->ctListProgramm->ListCount(), 1);
    } else if (befehl == QStringLiteral("Stufe speichern") || befehl == QStringLiteral("Stufe anlegen")) {
        if (befehl == QStringLiteral("Stufe anlegen")) {
            w->cmbProgrammStufe->lineEdit()->clear();
            w->cmbProgrammStufe->lineEdit()->setFocus();
            QTest::keyClicks(w->cmbProgrammStufe->lineEdit(), QStringLiteral("7"));
            w->ctListProgramm->Clear();
        }
        Klicken(w->cmdGruppeProgramm[0]);
        Klicken(w->cmdProgrammSpeichern);
        const QString stufeNr = befehl == QStringLiteral("Stufe anlegen") ? QStringLiteral("7") : QStringLiteral("1");
        QVERIFY(u->Liste(Berechtigung::KlasseProgramm, QStringLiteral("Lager||Inventur||") + stufeNr,
                         QStringLiteral("Gruppe"))
                    .contains(QStringLiteral("Verkauf")));
        // The window shows what the command's answer carried.
        QVERIFY(w->cmbProgrammStufe->findText(stufeNr) >= 0);
        QCOMPARE(Zeilen(w->ctListProgramm), u->Liste(Berechtigung::KlasseProgramm,
                                                     QStringLiteral("Lager||Inventur||") + stufeNr,
                                                     QStringLiteral("Gruppe")));
    } else if (befehl == QStringLiteral("Stufe löschen")) {
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(w->cmdProgrammStufeLoeschen);
        QVERIFY(!u->Existiert(Berechtigung::KlasseProgramm, QStringLiteral("Lager||Inventur||1")));
    } else if (befehl == QStringLiteral("Unterprogramm löschen")) {
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(w->cmdSubProgrammLoeschen);
        QVERIFY(!u->Existiert(Berechtigung::KlasseProgramm, QStringLiteral("Lager||Inventur||1")));
    } else if (befehl == QStringLiteral("Programm löschen")) {
        u->dialoge.antworten.push_back(DialogService::Yes);
        Klicken(w->cmdProgrammLoeschen);
        QCOMPARE(w->cmbProgramm->findText(QStringLiteral("Lager")), -1);
    }
    QCoreApplication::processEvents();
    QCOMPARE(u->Factory()->rundreisen() - vorher, long(anzahl));
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), befehl.contains(QStringLiteral("löschen")) ? 1 : 0);
}

// A level's groups are stored in the order the window shows them; a
// colleague's reordering is no conflict.
void TestKonflikt::stufeBehaeltReihenfolge() {
    const QString sql = QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Auftrag' AND "
                                       "subprogramm = 'Erfassen' AND berechtigungsstufe = '1' ORDER BY pos");
    QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Auftrag")));
    QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Erfassen")));
    QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("1")));
    QCOMPARE(ListenZeilen(w->ctListProgramm), (QStringList{QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")}));
    // Withdrawn and granted again: now last.
    ZeileKlicken(w->ctListProgramm, 0);
    Klicken(w->cmdGruppeProgramm[1]);
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Verkauf")));
    Klicken(w->cmdGruppeProgramm[0]);
    QCOMPARE(ListenZeilen(w->ctListProgramm), (QStringList{QStringLiteral("Verwaltung"), QStringLiteral("Verkauf")}));
    QCOMPARE(w->cmdProgrammSpeichern->text(), QStringLiteral("Änderung Sichern *"));
    const int protokoll = Protokollzeilen();
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(u->db->Sql(sql), (QStringList{QStringLiteral("Verwaltung"), QStringLiteral("Verkauf")}));
    QCOMPARE(Protokollzeilen(), protokoll + 1);
    QCOMPARE(ListenZeilen(w->ctListProgramm), (QStringList{QStringLiteral("Verwaltung"), QStringLiteral("Verkauf")}));
    QCOMPARE(w->cmdProgrammSpeichern->text(), QStringLiteral("Änderung Sichern"));
    // Saved again unchanged: nothing stored, nothing logged.
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(Protokollzeilen(), protokoll + 1);
    // The other workstation puts the old order back; this window adds a group.
    AndererSpeichert(*u, Berechtigung::KlasseProgramm,
                     {QStringLiteral("Auftrag"), QStringLiteral("Erfassen"), QStringLiteral("1")},
                     {QStringLiteral("Verkauf"), QStringLiteral("Verwaltung")});
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Revision")));
    Klicken(w->cmdGruppeProgramm[0]);
    Klicken(w->cmdProgrammSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
    QCOMPARE(u->db->Sql(sql),
             (QStringList{QStringLiteral("Verwaltung"), QStringLiteral("Verkauf"), QStringLiteral("Revision")}));
}

// "… war bereits gelöscht" only for a record the window showed and another
// workstation deleted; a name typed that never had a record goes silently.
void TestKonflikt::bereitsGeloeschtNurBeiGeladenem_data() {
    QTest::addColumn<QString>("art");
    QTest::addColumn<bool>("gewaehlt");
    QTest::addColumn<QString>("meldung");
    const std::pair<const char*, const char*> arten[] = {
        {"Gruppe", "Die Gruppe Lager war bereits gelöscht."},
        {"Programm", "Das Programm Lager war bereits gelöscht."},
        {"Unterprogramm", "Das Unterprogramm Lager Bestand war bereits gelöscht."},
        {"Stufe", "Die Stufe Lager||Bestand||2 war bereits gelöscht."}};
    for (const auto& [art, meldung] : arten) {
        QTest::addRow("%s gewählt, anderswo gelöscht", art) << QString::fromUtf8(art) << true << QString::fromUtf8(meldung);
        QTest::addRow("%s getippt, nie vorhanden", art) << QString::fromUtf8(art) << false << QString();
    }
}

void TestKonflikt::bereitsGeloeschtNurBeiGeladenem() {
    QFETCH(QString, art);
    QFETCH(bool, gewaehlt);
    QFETCH(QString, meldung);
    const bool gruppe = art == QLatin1String("Gruppe");
    auto eingeben = [](QComboBox* box, const QString& text) {
        box->lineEdit()->clear();
        box->lineEdit()->setFocus();
        QTest::keyClicks(box->lineEdit(), text);
    };
    if (gewaehlt && gruppe) {
        QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
        AndererLoescht(*u, Berechtigung::KlasseGruppen, QStringLiteral("Lager"));
    } else if (gewaehlt) {
        QVERIFY(Waehlen(w->cmbProgramm, QStringLiteral("Lager")));
        if (art != QLatin1String("Programm")) QVERIFY(Waehlen(w->cmbSubProgramm, QStringLiteral("Bestand")));
        if (art == QLatin1String("Stufe")) QVERIFY(Waehlen(w->cmbProgrammStufe, QStringLiteral("2")));
        for (const char* tabelle : {"uv_programm_gruppe", "uv_programm"})
            u->db->SqlAendern(QStringLiteral("DELETE FROM %1 WHERE programmname = 'Lager'").arg(QLatin1String(tabelle)));
    } else if (gruppe) {
        eingeben(w->cmbGruppe, QStringLiteral("Nichts"));
    } else {
        eingeben(w->cmbProgramm, QStringLiteral("Nichts"));
        eingeben(w->cmbSubProgramm, QStringLiteral("Nie"));
        eingeben(w->cmbProgrammStufe, QStringLiteral("3"));
    }
    u->dialoge.antworten.push_back(DialogService::Yes); // "Löschen?"
    Klicken(gruppe                               ? static_cast<QWidget*>(w->cmdGruppeLoeschen)
            : art == QLatin1String("Programm")     ? w->cmdProgrammLoeschen
            : art == QLatin1String("Unterprogramm") ? w->cmdSubProgrammLoeschen
                                                   : w->cmdProgrammStufeLoeschen);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), gewaehlt ? 2 : 1);
    if (gewaehlt) QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text, meldung);
    QCOMPARE((gruppe ? w->cmbGruppe : art == QLatin1String("Stufe") ? w->cmbProgrammStufe : w->cmbProgramm)->currentText(),
             QString());
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
}

// A key press that arrives while a save is on the server is not handled in
// the middle of it: no read inside the command, no group marked incomplete,
// and the window still knows which group it loaded.
void TestKonflikt::tasteWaehrendDesSpeicherns_data() {
    QTest::addColumn<bool>("neu");
    QTest::newRow("gewählte Gruppe") << false;
    QTest::newRow("neue Gruppe") << true;
}

void TestKonflikt::tasteWaehrendDesSpeicherns() {
    QFETCH(bool, neu);
    const QString gruppe = neu ? QStringLiteral("Projekt") : QStringLiteral("Lager");
    if (neu) {
        w->cmbGruppe->lineEdit()->clear();
        w->cmbGruppe->lineEdit()->setFocus();
        QTest::keyClicks(w->cmbGruppe->lineEdit(), gruppe);
    } else {
        QVERIFY(Waehlen(w->cmbGruppe, gruppe));
    }
    Mitglied(QStringLiteral("EINS"));
    u->Factory()->setVorAnweisung(1, [this] {
        QCoreApplication::postEvent(w->cmbGruppe, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
        QCoreApplication::postEvent(w->cmbGruppe, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
    });
    Klicken(w->cmdGruppeSpeichern);
    QCoreApplication::processEvents();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(w->cmbGruppe->currentText(), gruppe);
    QVERIFY(u->db->Mitglieder(gruppe).contains(QStringLiteral("EINS")));
    // The next save is an ordinary one: no question, no refusal.
    Mitglied(QStringLiteral("ZWEI"));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 0);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 0);
    QVERIFY(u->db->Mitglieder(gruppe).endsWith(QStringLiteral("EINS,ZWEI")));
}

// Delete and save of a group typed (not loaded) while a third session holds
// its row: every command takes the name before the row, so none deadlocks.
void TestKonflikt::loeschenSpeichernUndSperreOhneVerklemmung() {
    if (!Testdatenbank::IstPostgres()) QSKIP("Zeilensperren gibt es nur auf PostgreSQL");
    const QString connStrg = u->db->ConnStrg();
    auto verbinden = [&] {
        auto f = NeueCacheFactory();
        if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
        return f;
    };
    QStringList fehler;
    std::mutex m;
    auto melden = [&](const CacheFehler& e) {
        // A conflict is an answer; anything else (a deadlock) is a fault.
        if (e.Nummer() == Fehlernummer::Konflikt || e.Nummer() == Fehlernummer::KonfliktGeloescht ||
            e.Nummer() == Fehlernummer::KonfliktVorhanden)
            return;
        std::lock_guard<std::mutex> l(m);
        fehler.append(e.Beschreibung());
    };
    for (int i = 0; i < 40; ++i) {
        const QString g = QStringLiteral("V%1").arg(i);
        if (i % 2 == 0) u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {g});
        std::atomic<bool> gesperrt{false};
        std::thread halter([&] {
            u->db->Direkt([&](QSqlDatabase& db) {
                QSqlQuery q(db);
                q.exec(QStringLiteral("BEGIN"));
                q.prepare(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ? FOR UPDATE"));
                q.addBindValue(g);
                if (!q.exec()) melden(CacheFehler(0, q.lastError().text()));
                gesperrt = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
                q.exec(QStringLiteral("COMMIT"));
            });
        });
        while (!gesperrt)
            std::this_thread::yield();
        auto befehl = [&](bool loeschen) {
            try {
                auto f = verbinden();
                f->TransaktionBeginnen();
                CacheObjektPtr k = f->Klassenmethoden(Berechtigung::KlasseGruppen);
                if (loeschen)
                    k->Methode(QStringLiteral("Loeschen"), {g, Liste(*f, {}), QStringLiteral("2")});
                else
                    k->Methode(QStringLiteral("Speichern"),
                               {g, Liste(*f, {QStringLiteral("X")}), Liste(*f, {}), QStringLiteral("2")});
                f->TransaktionBestaetigen();
            } catch (const CacheFehler& e) {
                melden(e);
            }
        };
        std::thread loescher(befehl, true), speicherer(befehl, false);
        halter.join();
        loescher.join();
        speicherer.join();
    }
    QVERIFY2(fehler.isEmpty(), qPrintable(fehler.join(QLatin1Char('\n'))));
}

// A group's delete locks no level: the level saves that grant the group at
// the same moment either come first (the delete takes their grant along and
// names it) or find the group gone. No grant of a deleted group remains.
void TestKonflikt::gruppeLoeschenGegenStufenSpeichern() {
    if (!Testdatenbank::IstPostgres()) QSKIP("gleichzeitige Befehle auf PostgreSQL");
    const QString connStrg = u->db->ConnStrg();
    QStringList fehler;
    std::mutex m;
    int gespeichert = 0;
    for (int i = 0; i < 20; ++i) {
        const QString g = QStringLiteral("Flüchtig%1").arg(i);
        u->db->SqlAendern(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {g});
        const QString stand = u->db->Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0);
        auto befehl = [&](int stufe) {
            try {
                auto f = NeueCacheFactory();
                if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
                CacheObjektPtr k = f->Klassenmethoden(stufe < 0 ? Berechtigung::KlasseGruppen : Berechtigung::KlasseProgramm);
                if (stufe < 0) {
                    k->Methode(QStringLiteral("Loeschen"), {g, Liste(*f, {}), QStringLiteral("0")});
                    return;
                }
                k->Methode(QStringLiteral("Speichern"), {QStringLiteral("Lager"), QStringLiteral("Bestand"),
                                                         QString::number(stufe), Liste(*f, {QStringLiteral("Lager"), g}),
                                                         Liste(*f, {}), QStringLiteral("0")});
                std::lock_guard<std::mutex> l(m);
                ++gespeichert;
            } catch (const CacheFehler& e) {
                // Too late: the group is gone, and the save says so.
                if (e.Nummer() == Fehlernummer::GruppeFehlt) return;
                std::lock_guard<std::mutex> l(m);
                fehler.append(e.Beschreibung());
            }
        };
        std::thread a(befehl, 1), b(befehl, -1), c(befehl, 2);
        a.join();
        b.join();
        c.join();
        QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = ?"), {g}),
                 QStringList{QStringLiteral("0")});
        // Each grant stored before the delete is named by the delete's withdrawal.
        const QStringList gewaehrt = u->db->Sql(
            QStringLiteral("SELECT objekt FROM uv_protokoll WHERE nr > ? AND befehl = 'speichern' AND nachher LIKE ? "
                           "AND nr < (SELECT nr FROM uv_protokoll WHERE nr > ? AND objekt = ? AND befehl = 'löschen') "
                           "ORDER BY objekt"),
            {stand, QStringLiteral("%\"") + g + QStringLiteral("\"%"), stand, QStringLiteral("Gruppe ") + g});
        const QString entzogen =
            u->db->Sql(QStringLiteral("SELECT vorher FROM uv_protokoll WHERE nr > ? AND befehl = 'aus Stufen entfernen'"),
                       {stand})
                .value(0);
        for (const QString& o : gewaehrt)
            QVERIFY2(entzogen.contains(o.mid(6)), qPrintable(o + QStringLiteral(" fehlt in ") + entzogen));
    }
    QVERIFY2(fehler.isEmpty(), qPrintable(fehler.join(QLatin1Char('\n'))));
    QVERIFY(gespeichert > 0);
}

// Another workstation holds the record longer than a statement waits: a
// German message, nothing stored, the edits kept; later the save goes through.
void TestKonflikt::gesperrtEndetMitMeldung() {
    struct Frist {
        Frist() { Schema::setSperrfrist(400); }
        ~Frist() { Schema::setSperrfrist(10000); }
    } frist;
    Zustand().CacheFactory->Disconnect(); // the next connection waits as briefly
    QVERIFY(Waehlen(w->cmbGruppe, QStringLiteral("Lager")));
    Mitglied(QStringLiteral("NEU"));
    u->db->Direkt([&](QSqlDatabase& db) {
        QSqlQuery halter(db);
        halter.exec(QStringLiteral("BEGIN"));
        QVERIFY(halter.exec(QStringLiteral("UPDATE uv_gruppen SET gruppe = gruppe WHERE gruppe = 'Lager'")));
        Klicken(w->cmdGruppeSpeichern);
        halter.exec(QStringLiteral("ROLLBACK"));
    });
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->titel == QStringLiteral("Gleichzeitige Änderung"), qPrintable(m->text));
    QVERIFY2(m->text.startsWith(Testdatenbank::IstPostgres()
                                    ? QStringLiteral("Der Datensatz wird gerade an einem anderen Arbeitsplatz geändert.")
                                    : QStringLiteral("Ein anderer Arbeitsplatz speichert gerade.")) &&
                 m->text.endsWith(QStringLiteral("Es wurde nichts gespeichert.")),
             qPrintable(m->text));
    QCOMPARE(w->cmdGruppeSpeichern->text(), QStringLiteral("Änderung Sichern *"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ,GRO"));
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
    QVERIFY(u->db->Mitglieder(QStringLiteral("Lager")).contains(QStringLiteral("NEU")));
}

QTEST_MAIN(TestKonflikt)
#include "tst_konflikt.moc"
