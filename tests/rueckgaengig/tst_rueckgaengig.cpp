// Undo from the change log: the law that undoing a sequence newest first gives
// the tables back, undo beside later changes, the preview shown again after a
// change meanwhile, undo of an undo, levels gone meanwhile, Ctrl+Z and the tool.

#include "testumgebung.h"

#include "auswertung/frmprotokoll.h"
#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "permissions/berechtigungen.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"

#include <QAction>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {
const QString KG = Berechtigung::KlasseGruppen, KP = Berechtigung::KlasseProgramm;

// Every record with its list as a sorted multiset: what the program holds
// (the order of a list is not part of it).
QStringList Tabellen(const Testdatenbank& db) {
    return db.Tabellen();
}

// The server's undo of entry `nr` as a client calls it: the plan, then that plan stored.
QJsonObject Rueckgaengig(CacheFactory& f, qint64 nr, bool speichern = true) {
    CacheObjektPtr k = f.Klassenmethoden(QStringLiteral("UserVerwaltung.Protokoll"));
    QJsonObject plan = QJsonDocument::fromJson(k->Methode(QStringLiteral("Rueckgaengig"), {QString::number(nr), QString()})
                                                   .toUtf8())
                           .object();
    if (!speichern) return plan;
    return QJsonDocument::fromJson(k->Methode(QStringLiteral("Rueckgaengig"),
                                              {QString::number(nr), plan.value(QStringLiteral("marke")).toString()})
                                       .toUtf8())
        .object();
}

qint64 LetzteNr(const Testdatenbank& db) {
    return db.Sql(QStringLiteral("SELECT COALESCE(MAX(nr), 0) FROM uv_protokoll")).value(0).toLongLong();
}
} // namespace

class TestRueckgaengig : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void rueckwaertsGibtDieTabellenZurueck_data();
    void rueckwaertsGibtDieTabellenZurueck();
    void spaetereAenderungBleibt();
    void vorschauNachFremderAenderungErneut();
    void geloeschteGruppeOhneGeloeschteStufen();
    void geloeschteGruppeAufVielenStufen();
    void strgZImHauptfenster();
    void fremdGeaendertVorschauWieErgebnis_data();
    void fremdGeaendertVorschauWieErgebnis();
    void neueGruppeEinEintragGanzZurueck();
    void ungesichertesBleibtBeimZuruecknehmen_data();
    void ungesichertesBleibtBeimZuruecknehmen();
    void werkzeug();
    void kopieGrantsAlleinZurueck();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestRueckgaengig::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestRueckgaengig::cleanup() {
    Abbauen(u, w);
}

void TestRueckgaengig::rueckwaertsGibtDieTabellenZurueck_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 s : {1u, 2u, 3u, 4u})
        QTest::addRow("Folge %u", s) << s;
}

// For random sequences of every kind of command, undoing them newest first
// gives back exactly the records and lists there were before.
void TestRueckgaengig::rueckwaertsGibtDieTabellenZurueck() {
    QFETCH(quint32, seed);
    QRandomGenerator zufall(seed);
    const QStringList vorher = Tabellen(*u->db);
    const qint64 start = LetzteNr(*u->db);
    auto f = u->db->NeuerClient();
    const QStringList codes = {QStringLiteral("ADM"), QStringLiteral("USR"), QStringLiteral("BAE"), QStringLiteral("X1"),
                               QStringLiteral("X2")};
    auto eine = [&](const QStringList& l) { return l[static_cast<int>(zufall.bounded(static_cast<quint32>(l.size())))]; };
    auto gruppen = [&] { return u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe")); };
    auto stufen = [&] {
        return u->db->Sql(QStringLiteral("SELECT programmname || '|' || subprogramm || '|' || berechtigungsstufe "
                                         "FROM uv_programm ORDER BY 1"));
    };
    for (int i = 0; i < 25; ++i) {
        const QStringList g = gruppen(), s = stufen();
        const int art = static_cast<int>(zufall.bounded(8u));
        f->TransaktionBeginnen();
        if (art == 0 || g.isEmpty()) { // a group saved, created when new
            const QString name = zufall.bounded(3u) == 0 ? QStringLiteral("Neu%1").arg(i) : eine(g.isEmpty() ? QStringList{QStringLiteral("Neu")} : g);
            Berechtigung::GruppeSicherstellen(*f, name);
            QStringList l;
            for (int k = static_cast<int>(zufall.bounded(4u)); k > 0; --k)
                l.append(eine(codes));
            f->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"), {name, Liste(*f, l)});
        } else if (art == 1) { // a group deleted and withdrawn
            const QString name = eine(g);
            Berechtigung::DatensatzLoeschen(*f, KG, name);
            f->Klassenmethoden(KP)->Methode(QStringLiteral("GruppeEntziehen"), {name});
        } else if ((art == 2 || art == 3) && !s.isEmpty()) { // a level saved, sometimes a new one
            QStringList id = eine(s).split(QLatin1Char('|'));
            if (art == 3) id[2] = QString::number(10 + i);
            Berechtigung::StufeSicherstellen(*f, {id[0], id[1], id[2]});
            QStringList l;
            for (int k = static_cast<int>(zufall.bounded(3u)); k > 0; --k)
                l.append(eine(g));
            f->Klassenmethoden(KP)->Methode(QStringLiteral("SaveGruppen"), {id[0], id[1], id[2], Liste(*f, l)});
        } else if (art == 4 && !s.isEmpty()) { // a level deleted
            Berechtigung::DatensatzLoeschen(*f, KP, eine(s).replace(QLatin1Char('|'), QStringLiteral("||")));
        } else if (art == 5 && !s.isEmpty()) { // a sub-program deleted
            const QStringList id = eine(s).split(QLatin1Char('|'));
            f->Klassenmethoden(KP)->Methode(QStringLiteral("StufenLoeschen"), {id[0], id[1]});
        } else if (art == 6 && !g.isEmpty()) { // a group copied with members and grants
            f->Klassenmethoden(KG)->Methode(QStringLiteral("Kopieren"), {eine(g), QStringLiteral("Kopie%1").arg(i),
                                                                         QStringLiteral("1"), QStringLiteral("1")});
        } else if (!s.isEmpty()) { // a program deleted
            f->Klassenmethoden(KP)->Methode(QStringLiteral("StufenLoeschen"), {eine(s).section(QLatin1Char('|'), 0, 0), QString()});
        }
        f->TransaktionBestaetigen();
    }
    QVERIFY(LetzteNr(*u->db) > start);
    QVERIFY(!u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'berechtigen'")).isEmpty());
    // Newest first; a withdrawal that belongs to a group's delete goes with it.
    const QStringList eintraege = u->db->Sql(
        QStringLiteral("SELECT nr FROM uv_protokoll WHERE nr > ? AND bezug = 0 ORDER BY nr DESC"), {start});
    for (const QString& nr : eintraege) {
        const QJsonObject e = Rueckgaengig(*f, nr.toLongLong());
        QVERIFY2(e.value(QStringLiteral("gespeichert")).toBool(), qPrintable(nr));
    }
    QCOMPARE(Tabellen(*u->db), vorher);
}

// Taking back an older change keeps a later one by another workstation.
void TestRueckgaengig::spaetereAenderungBleibt() {
    auto a = u->db->NeuerClient(), b = u->db->NeuerClient();
    a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                    {QStringLiteral("Lager"), Liste(*a, {QStringLiteral("GRO"), QStringLiteral("OEZ"), QStringLiteral("X")})});
    const qint64 alt = LetzteNr(*u->db);
    b->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                    {QStringLiteral("Lager"),
                                     Liste(*b, {QStringLiteral("OEZ"), QStringLiteral("X"), QStringLiteral("Y")})});
    QVERIFY(Rueckgaengig(*a, alt).value(QStringLiteral("gespeichert")).toBool());
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ,Y"));
    // Nothing left to take back: an empty plan, nothing stored.
    QVERIFY(Rueckgaengig(*a, alt, false).value(QStringLiteral("plan")).toArray().isEmpty());
    // The undo is an entry of its own, and it can be taken back too.
    const QStringList undo = u->db->Sql(QStringLiteral("SELECT nr, befehl, bezug FROM uv_protokoll ORDER BY nr DESC LIMIT 1"));
    QCOMPARE(undo.value(0).section(QLatin1Char(';'), 1), QStringLiteral("rückgängig;%1").arg(alt));
    QVERIFY(Rueckgaengig(*b, undo.value(0).section(QLatin1Char(';'), 0, 0).toLongLong())
                .value(QStringLiteral("gespeichert"))
                .toBool());
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ,Y,X"));
    // A duplicate appended and taken back: the newer copy goes, the order stays.
    a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                    {QStringLiteral("Lager"), Liste(*a, {QStringLiteral("OEZ"), QStringLiteral("Y"),
                                                                         QStringLiteral("X"), QStringLiteral("OEZ")})});
    QVERIFY(Rueckgaengig(*a, LetzteNr(*u->db)).value(QStringLiteral("gespeichert")).toBool());
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("OEZ,Y,X"));
}

// The preview is shown again when the records change while it is open.
void TestRueckgaengig::vorschauNachFremderAenderungErneut() {
    QVERIFY(Starten(*u, *w));
    auto a = u->db->NeuerClient();
    a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                    {QStringLiteral("Revision"), Liste(*a, {QStringLiteral("R1"), QStringLiteral("R2")})});
    w->mProtokoll_Click();
    frmProtokoll* p = w->ProtokollFenster();
    QVERIFY(p);
    ZeileKlicken(p->ctListProtokoll, 0);
    u->dialoge.waehrendAuswahl.push_back([&] {
        a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                        {QStringLiteral("Revision"), Liste(*a, {QStringLiteral("R1")})});
    });
    u->dialoge.auswahl = {0, 0};
    Klicken(p->cmdRueckgaengig);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("Auswahl")), 2);
    const QString erste = u->dialoge.gezeigt[0].text, zweite = u->dialoge.Letzte(QStringLiteral("Auswahl"))->text;
    QVERIFY2(erste.contains(QStringLiteral("Gruppe Revision: entfernt: R1, R2")), qPrintable(erste));
    QVERIFY2(zweite.contains(QStringLiteral("inzwischen geändert")) &&
                 zweite.contains(QStringLiteral("Gruppe Revision: entfernt: R1")) && !zweite.contains(QStringLiteral("R2")),
             qPrintable(zweite));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QString());
    // The main window shows the group as it is now.
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Revision"));
    QCOMPARE(w->ctListGruppe->ListCount(), 0);
}

// A deleted group comes back with its members and its grants, only on the
// levels that still exist; the preview says which do not.
void TestRueckgaengig::geloeschteGruppeOhneGeloeschteStufen() {
    auto f = u->db->NeuerClient();
    const QStringList vorher = Tabellen(*u->db);
    f->TransaktionBeginnen();
    Berechtigung::DatensatzLoeschen(*f, KG, QStringLiteral("Verkauf"));
    f->Klassenmethoden(KP)->Methode(QStringLiteral("GruppeEntziehen"), {QStringLiteral("Verkauf")});
    f->TransaktionBestaetigen();
    const qint64 loeschen = u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'löschen'")).value(0).toLongLong();
    Berechtigung::DatensatzLoeschen(*f, KP, QStringLiteral("Auftrag||Drucken||1"));
    const QJsonObject plan = Rueckgaengig(*f, loeschen, false);
    QVERIFY(Rueckgaengig(*f, loeschen).value(QStringLiteral("gespeichert")).toBool());
    QVERIFY2(QString::fromUtf8(QJsonDocument(plan).toJson()).contains(QStringLiteral("\"fehlt\": true")),
             QJsonDocument(plan).toJson().constData());
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Verkauf")), QStringLiteral("USR,BAE,MUE"));
    QStringList erwartet = vorher;
    erwartet.removeAll(QStringLiteral("P Auftrag/Drucken/1"));
    erwartet.removeAll(QStringLiteral("R Auftrag/Drucken/1/Verkauf"));
    QCOMPARE(Tabellen(*u->db), erwartet);
}

// A group on many levels comes back on each of them, beside the levels' other groups.
void TestRueckgaengig::geloeschteGruppeAufVielenStufen() {
    for (int i = 0; i < 80; ++i) {
        const QString l = QString::number(100 + i);
        u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm VALUES ('Viele', 'Teil', ?)"), {l});
        u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm_gruppe VALUES ('Viele', 'Teil', ?, 1, 'Revision'), "
                                         "('Viele', 'Teil', ?, 2, 'Lager'), ('Viele', 'Teil', ?, 3, 'Lager')"),
                          {l, l, l});
    }
    const QStringList vorher = Tabellen(*u->db);
    auto f = u->db->NeuerClient();
    f->TransaktionBeginnen();
    Berechtigung::DatensatzLoeschen(*f, KG, QStringLiteral("Lager"));
    f->Klassenmethoden(KP)->Methode(QStringLiteral("GruppeEntziehen"), {QStringLiteral("Lager")});
    f->TransaktionBestaetigen();
    // One of the levels got Lager back meanwhile: it is not granted twice more.
    u->db->SqlAendern(QStringLiteral("INSERT INTO uv_programm_gruppe VALUES ('Viele', 'Teil', '100', 9, 'Lager')"));
    const qint64 nr = u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'löschen'")).value(0).toLongLong();
    QVERIFY(Rueckgaengig(*f, nr).value(QStringLiteral("gespeichert")).toBool());
    QStringList erwartet = vorher;
    erwartet.removeOne(QStringLiteral("R Viele/Teil/100/Lager"));
    QStringList nachher = Tabellen(*u->db);
    nachher.removeOne(QStringLiteral("R Viele/Teil/100/Lager"));
    QCOMPARE(nachher, erwartet);
}

// Ctrl+Z in the main window takes back this session's own changes, newest first.
void TestRueckgaengig::strgZImHauptfenster() {
    QVERIFY(Starten(*u, *w));
    QMenu* bearbeiten = w->menuBar()->findChild<QMenu*>(QStringLiteral("Bearbeiten"));
    QVERIFY(bearbeiten);
    // Opened while there is nothing to take back: the entry is grey then, and
    // Ctrl+Z still works once the menu is closed and there is something.
    emit bearbeiten->aboutToShow();
    QVERIFY(!w->mRueckgaengig->isEnabled());
    emit bearbeiten->aboutToHide();
    w->cmbGruppe->setFocus();
    QTest::keyClick(w->cmbGruppe, Qt::Key_Down);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    w->txtUser->setFocus();
    QTest::keyClicks(w->txtUser, QStringLiteral("NEU"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    Klicken(w->cmdGruppeSpeichern);
    u->dialoge.antworten.push_back(DialogService::Yes);
    QTest::keyClick(w->cmbProgramm, Qt::Key_Down);
    Klicken(w->cmdProgrammLoeschen);
    const QString programm = w->cmbProgramm->currentText();
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ,NEU"));
    // The menu names what it takes back.
    emit bearbeiten->aboutToShow();
    QVERIFY2(w->mRueckgaengig->text().startsWith(QStringLiteral("&Rückgängig: löschen Programm ")),
             qPrintable(w->mRueckgaengig->text()));
    emit bearbeiten->aboutToHide();
    const QStringList vorher = Tabellen(*u->db);
    u->dialoge.auswahl = {0, 0};
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(Tabellen(*u->db) != vorher);
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Lager"));
    QCOMPARE(ListenZeilen(w->ctListGruppe).size(), 2);
    // Nothing of this session's own is left.
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(u->dialoge.Letzte(QStringLiteral("MsgBox"))->titel, QStringLiteral("Rückgängig"));
    Q_UNUSED(programm);
}

void TestRueckgaengig::werkzeug() {
    auto f = u->db->NeuerClient();
    f->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Revision"), Liste(*f, {QStringLiteral("R1")})});
    const QString nr = QString::number(LetzteNr(*u->db));
    DatenbankZiel z{u->db->Server(), u->db->Port(), u->db->Namespace()};
    auto lauf = [&](const QString& n, bool ja, QString& text) {
        QString fehler;
        QTextStream aus(&text), err(&fehler);
        const int status = Datenbankwerkzeug::Rueckgaengig(z, n, ja, aus, err);
        text += fehler;
        return status;
    };
    QString text;
    QCOMPARE(lauf(QStringLiteral("abc"), true, text), 2);
    QCOMPARE(lauf(QStringLiteral("99999"), true, text), 2);
    text.clear();
    QCOMPARE(lauf(nr, false, text), 0);
    QVERIFY2(text.contains(QStringLiteral("Gruppe Revision: entfernt: R1")), qPrintable(text));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QStringLiteral("R1"));
    // Taking back is a change: an administrator signs on for it.
    QCOMPARE(lauf(nr, true, text), 2);
    z.als = QStringLiteral("ADM");
    z.passwort = QStringLiteral("falsch");
    QCOMPARE(lauf(nr, true, text), 2);
    QVERIFY2(text.contains(QStringLiteral("Anmeldung als ADM in Firma 1 abgelehnt")), qPrintable(text));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QStringLiteral("R1"));
    z.passwort = QStringLiteral("demo");
    QCOMPARE(lauf(nr, true, text), 0);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Revision")), QString());
    QCOMPARE(lauf(nr, true, text), 1);
}

// A copy's grants taken back alone: the levels lose the copy, the copy keeps its members.
void TestRueckgaengig::kopieGrantsAlleinZurueck() {
    auto f = u->db->NeuerClient();
    const QStringList vorher = Tabellen(*u->db);
    f->Klassenmethoden(KG)->Methode(QStringLiteral("Kopieren"),
                                    {QStringLiteral("Verkauf"), QStringLiteral("Neu"), QStringLiteral("1"), QStringLiteral("1")});
    const qint64 nr =
        u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'berechtigen'")).value(0).toLongLong();
    QVERIFY(nr > 0);
    QVERIFY(Rueckgaengig(*f, nr).value(QStringLiteral("gespeichert")).toBool());
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = 'Neu'")).value(0),
             QStringLiteral("0"));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Neu")), u->db->Mitglieder(QStringLiteral("Verkauf")));
    // Taking back the creation now deletes the group, and nothing else is left of the copy.
    const qint64 anlegen =
        u->db->Sql(QStringLiteral("SELECT nr FROM uv_protokoll WHERE befehl = 'anlegen' AND objekt = 'Gruppe Neu'"))
            .value(0)
            .toLongLong();
    QVERIFY(Rueckgaengig(*f, anlegen).value(QStringLiteral("gespeichert")).toBool());
    QCOMPARE(Tabellen(*u->db), vorher);
}

void TestRueckgaengig::fremdGeaendertVorschauWieErgebnis_data() {
    QTest::addColumn<bool>("gruppe");
    QTest::addColumn<QString>("fremd");
    QTest::addColumn<QString>("vorschau");
    QTest::addColumn<QString>("danach"); // "-": no record
    const QString g = QStringLiteral("Gruppe Revision: "), s = QStringLiteral("Stufe Lager||Bestand||2: ");
    const QString weg = QStringLiteral("wurde inzwischen gelöscht und bleibt gelöscht");
    QTest::newRow("Gruppe gelöscht") << true << QStringLiteral("gelöscht") << g + weg << QStringLiteral("-");
    QTest::newRow("Gruppe neu angelegt") << true << QStringLiteral("neu angelegt") << g + QStringLiteral("hinzu: BAE") << QStringLiteral("X,BAE");
    QTest::newRow("Gruppe geändert") << true << QStringLiteral("geändert") << g + QStringLiteral("hinzu: BAE") << QStringLiteral("R1,X,BAE");
    QTest::newRow("Stufe gelöscht") << false << QStringLiteral("gelöscht") << s + weg << QStringLiteral("-");
    QTest::newRow("Stufe neu angelegt") << false << QStringLiteral("neu angelegt") << s + QStringLiteral("hinzu: Verkauf") << QStringLiteral("X,Verkauf");
    QTest::newRow("Stufe geändert") << false << QStringLiteral("geändert") << s + QStringLiteral("hinzu: Verkauf") << QStringLiteral("Lager,X,Verkauf");
}

// An older change taken back after another workstation deleted, recreated or
// changed the record: the preview says what the undo does, and it does that;
// a record deleted since stays deleted, with no access error.
void TestRueckgaengig::fremdGeaendertVorschauWieErgebnis() {
    QFETCH(bool, gruppe);
    QFETCH(QString, fremd);
    QFETCH(QString, vorschau);
    QFETCH(QString, danach);
    QVERIFY(Starten(*u, *w));
    auto a = u->db->NeuerClient();
    const QString wert = gruppe ? QStringLiteral("BAE") : QStringLiteral("Verkauf");
    const QString bleibt = gruppe ? QStringLiteral("R1") : QStringLiteral("Lager");
    const QString id = gruppe ? QStringLiteral("Revision") : QStringLiteral("Lager||Bestand||2");
    auto speichern = [&](const QStringList& l) {
        if (gruppe) {
            Berechtigung::GruppeSicherstellen(*a, id);
            a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"), {id, Liste(*a, l)});
        } else {
            Berechtigung::StufeSicherstellen(*a, {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2")});
            a->Klassenmethoden(KP)->Methode(QStringLiteral("SaveGruppen"), {QStringLiteral("Lager"), QStringLiteral("Bestand"),
                                                                             QStringLiteral("2"), Liste(*a, l)});
        }
    };
    speichern({bleibt, wert});
    speichern({bleibt}); // the entry taken back: it removed the value
    const qint64 nr = LetzteNr(*u->db);
    if (fremd != QStringLiteral("geändert")) Berechtigung::DatensatzLoeschen(*a, gruppe ? KG : KP, id);
    if (fremd == QLatin1String("neu angelegt")) speichern({QStringLiteral("X")});
    if (fremd == QStringLiteral("geändert")) speichern({bleibt, QStringLiteral("X")});
    // Through the change log window, the entry found by its number.
    w->mProtokoll_Click();
    frmProtokoll* p = w->ProtokollFenster();
    QVERIFY(p);
    int zeile = -1;
    for (int i = 0; i < p->ctListProtokoll->ListCount(); ++i)
        if (p->ctListProtokoll->List(i).section(QLatin1Char(';'), 0, 0) == QString::number(nr)) zeile = i;
    QVERIFY(zeile >= 0);
    ZeileKlicken(p->ctListProtokoll, zeile);
    u->dialoge.auswahl = {0};
    Klicken(p->cmdRueckgaengig);
    const Gezeigt* gezeigt = fremd == QStringLiteral("gelöscht") ? u->dialoge.Letzte(QStringLiteral("MsgBox"))
                                                                 : u->dialoge.Letzte(QStringLiteral("Auswahl"));
    QVERIFY(gezeigt);
    QVERIFY2(gezeigt->text.contains(vorschau), qPrintable(gezeigt->text));
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), fremd == QStringLiteral("gelöscht") ? 1 : 0);
    const QStringList liste =
        gruppe ? u->db->Sql(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = 'Revision' ORDER BY pos"))
               : u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Lager' AND "
                                           "subprogramm = 'Bestand' AND berechtigungsstufe = '2' ORDER BY pos"));
    const bool da = !u->db->Sql(gruppe ? QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = 'Revision'")
                                       : QStringLiteral("SELECT 1 FROM uv_programm WHERE programmname = 'Lager' AND "
                                                        "subprogramm = 'Bestand' AND berechtigungsstufe = '2'"))
                           .isEmpty();
    QCOMPARE(da ? liste.join(QLatin1Char(',')) : QStringLiteral("-"), danach);
}

// A group created with members is one entry; taking it back deletes it and
// withdraws it from the levels that granted it since, as the preview says.
void TestRueckgaengig::neueGruppeEinEintragGanzZurueck() {
    QVERIFY(Starten(*u, *w));
    const qint64 start = LetzteNr(*u->db);
    w->cmbGruppe->lineEdit()->clear();
    w->cmbGruppe->lineEdit()->setFocus();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Projekt"));
    w->txtUser->setFocus();
    QTest::keyClicks(w->txtUser, QStringLiteral("NEU"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT befehl || ' ' || objekt || ' ' || nachher FROM uv_protokoll WHERE nr > ?"),
                        {start}),
             QStringList{QStringLiteral("anlegen Gruppe Projekt [\"NEU\"]")});
    auto a = u->db->NeuerClient();
    a->Klassenmethoden(KP)->Methode(QStringLiteral("SaveGruppen"),
                                    {QStringLiteral("Finanzen"), QStringLiteral("Buchen"), QStringLiteral("1"),
                                     Liste(*a, {QStringLiteral("Verwaltung"), QStringLiteral("Projekt")})});
    // Another workstation adds a member: the preview names it as gained since, not the one it was created with.
    a->Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                    {QStringLiteral("Projekt"), Liste(*a, {QStringLiteral("NEU"), QStringLiteral("ZZZ")})});
    u->dialoge.auswahl = {0};
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("Auswahl"));
    QVERIFY(frage);
    QVERIFY2(frage->text.contains(QStringLiteral("Gruppe Projekt: wird gelöscht (hat inzwischen 1 Eintrag mehr: ZZZ)")) &&
                 frage->text.contains(QStringLiteral("Stufe Finanzen||Buchen||1: entfernt: Projekt")),
             qPrintable(frage->text));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_gruppen WHERE gruppe = 'Projekt'")), QStringList{QStringLiteral("0")});
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_programm_gruppe WHERE gruppe = 'Projekt'")),
             QStringList{QStringLiteral("0")});
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = 'Finanzen' ORDER BY pos")),
             QStringList{QStringLiteral("Verwaltung")});
    // The change log window shows what the undo did, not blank rows.
    w->mProtokoll_Click();
    frmProtokoll* p = w->ProtokollFenster();
    QVERIFY(p);
    ZeileKlicken(p->ctListProtokoll, 0);
    QVERIFY2(ListenZeilen(p->ctListNachher).contains(QStringLiteral("+ Stufe Finanzen||Buchen||1: entfernt: Projekt")),
             qPrintable(ListenZeilen(p->ctListNachher).join(QLatin1Char('|'))));
}

void TestRueckgaengig::ungesichertesBleibtBeimZuruecknehmen_data() {
    QTest::addColumn<int>("antwort");
    QTest::newRow("behalten") << int(DialogService::No);
    QTest::newRow("verwerfen") << int(DialogService::Yes);
}

// Ctrl+Z takes back a save of the group shown while it has unsaved edits:
// asked first; "Nein" keeps the edits on screen, the undo is stored either way.
void TestRueckgaengig::ungesichertesBleibtBeimZuruecknehmen() {
    QFETCH(int, antwort);
    QVERIFY(Starten(*u, *w));
    w->GruppeZeigen(QStringLiteral("Lager"));
    auto mitglied = [this](const QString& code) {
        w->txtUser->clear();
        w->txtUser->setFocus();
        QTest::keyClicks(w->txtUser, code);
        Klicken(w->cmdMitarbeiterGruppe[4]);
    };
    mitglied(QStringLiteral("NEU"));
    Klicken(w->cmdGruppeSpeichern);
    mitglied(QStringLiteral("ZWEI"));
    u->dialoge.auswahl = {0};
    u->dialoge.antworten.push_back(antwort);
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    const Gezeigt* frage = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(frage);
    QCOMPARE(frage->text, QStringLiteral("Ungesicherte Änderungen der Gruppe Lager verwerfen?"));
    const bool behalten = antwort == DialogService::No;
    QCOMPARE(ListenZeilen(w->ctListGruppe).filter(QStringLiteral("ZWEI;")).size(), behalten ? 1 : 0);
    QCOMPARE(w->windowTitle().endsWith(QStringLiteral(" *")), behalten);
}

QTEST_MAIN(TestRueckgaengig)
#include "tst_rueckgaengig.moc"
