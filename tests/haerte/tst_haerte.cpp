// Reports that tell the truth under faults: a commit whose outcome is unknown,
// a full disk, a read-only database, two workstations creating the same record,
// a refused database password; and the connection string's parse.

#include "testumgebung.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "platform/plattform.h"
#include "platform/widgets/ctlist.h"
#include "platform/widgets/ctpush.h"
#include "server/sqlfactory.h"
#include "server/verbindungsziel.h"
#include "signon/fmpass.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QStorageInfo>

#include "datenbankwerkzeug.h"
#include <QtTest>

#include <cstring>
#include <thread>

namespace {
bool Befehl(const QString& programm, const QStringList& argumente) {
    QProcess p;
    p.start(programm, argumente);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A small file system of its own, for a full disk or a read-only database.
class KleinesDateisystem {
  public:
    explicit KleinesDateisystem(const QString& groesse) {
        m_ok = Befehl(QStringLiteral("mount"),
                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                       QStringLiteral("size=") + groesse, QStringLiteral("tmpfs"), m_dir.path()});
    }
    ~KleinesDateisystem() {
        if (m_ok) Befehl(QStringLiteral("umount"), {m_dir.path()});
    }
    KleinesDateisystem(const KleinesDateisystem&) = delete;
    KleinesDateisystem& operator=(const KleinesDateisystem&) = delete;
    bool Ok() const { return m_ok; }
    QString Pfad() const { return m_dir.path(); }
    bool NurLesen() {
        return Befehl(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_dir.path()});
    }
    // Fills what is left but `frei` bytes.
    void Fuellen(qint64 frei) {
        QFile f(m_dir.filePath(QStringLiteral("fueller")));
        if (!f.open(QIODevice::WriteOnly)) return;
        const QByteArray block(4096, 'x');
        while (QStorageInfo(m_dir.path()).bytesAvailable() > frei + 4096)
            if (f.write(block) != block.size()) break;
    }

  private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};

QString DemoAnlegen(const QString& ordner) {
    QTextStream aus(stderr);
    DatenbankZiel ziel;
    ziel.server = ordner;
    ziel.ns = QStringLiteral("KORVAL");
    Datenbankwerkzeug::Init(ziel, aus);
    Datenbankwerkzeug::Demo(ziel, aus);
    return ziel.connStrg();
}
} // namespace

class TestHaerte : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void verbindungszeichenfolge_data();
    void verbindungszeichenfolge();
    void ausgangUnbekannt_data();
    void ausgangUnbekannt();
    void verbindungBeimBestaetigenWeg();
    void volleFestplatte();
    void schreibgeschuetzteDatenbank();
    void gleichzeitigAnlegen_data();
    void gleichzeitigAnlegen();
    void falschesDatenbankpasswort();
    void passwortVerschwindetAusDerProzessliste();
    void keinCheckpointImBefehl();

  private:
    void Starten();
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestHaerte::init() {
    KORVAL_BACKEND_PRUEFEN();
    QVERIFY(NeuAufbauen(u, w));
}

void TestHaerte::cleanup() {
    Abbauen(u, w);
}

void TestHaerte::Starten() {
    QVERIFY(::Starten(*u, *w));
}

void TestHaerte::verbindungszeichenfolge_data() {
    QTest::addColumn<QString>("zeichenfolge");
    QTest::addColumn<bool>("gueltig");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("ns");
    QTest::newRow("host") << "cn_iptcp:srv1[1973]:KORVAL" << true << "srv1" << "1973" << "KORVAL";
    QTest::newRow("namespace mit klammer") << "cn_iptcp:/tmp/x[0]:A[1]:B" << true << "/tmp/x" << "0" << "A[1]:B";
    QTest::newRow("pfad mit [x]") << "cn_iptcp:/tmp/[x]/d[1973]:KORVAL" << true << "/tmp/[x]/d" << "1973"
                                  << "KORVAL";
    QTest::newRow("leerer port") << "cn_iptcp:/tmp/d[]:KORVAL" << true << "/tmp/d" << "" << "KORVAL";
    QTest::newRow("host namespace mit klammer") << "cn_iptcp:srv[5432]:db[1]:x" << true << "srv" << "5432"
                                                << "db[1]:x";
    QTest::newRow("port mit buchstaben") << "cn_iptcp:srv[19a]:KORVAL" << false << "" << "" << "";
    QTest::newRow("keine klammer") << "cn_iptcp:srv:KORVAL" << false << "" << "" << "";
    QTest::newRow("namespace mit pfad") << "cn_iptcp:/tmp[1]:../etc/x" << false << "" << "" << "";
}

void TestHaerte::verbindungszeichenfolge() {
    QFETCH(QString, zeichenfolge);
    QFETCH(bool, gueltig);
    const auto ziel = ConnectionTarget::parse(zeichenfolge);
    QCOMPARE(ziel.has_value(), gueltig);
    if (!ziel) return;
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(QString, ns);
    QCOMPARE(ziel->server, server);
    QCOMPARE(ziel->port, port);
    QCOMPARE(ziel->ns, ns);
}

void TestHaerte::ausgangUnbekannt_data() {
    QTest::addColumn<bool>("gespeichert");
    QTest::newRow("nach dem commit") << true;
    QTest::newRow("vor dem commit") << false;
}

// The connection breaks at the commit: the program reconnects, reads the group
// back and says what the server holds.
void TestHaerte::ausgangUnbekannt() {
    QFETCH(bool, gespeichert);
    Starten();
    const QString vorher = u->db->Mitglieder(QStringLiteral("Lager"));
    w->cmbGruppe->lineEdit()->clear();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Lager"));
    QTest::keyClicks(w->txtUser, QStringLiteral("NEU"));
    Klicken(w->cmdMitarbeiterGruppe[4]);
    u->Factory()->setBruchBeimBestaetigen(gespeichert ? SqlCacheFactory::Bruch::NachCommit
                                                      : SqlCacheFactory::Bruch::VorCommit);
    // Typed, never chosen: the existing group is asked about first.
    u->dialoge.auswahl.push_back(0);
    Klicken(w->cmdGruppeSpeichern);
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), gespeichert ? QStringLiteral("NEU") : vorher);
    if (gespeichert) {
        QCOMPARE(m->stil, int(DialogService::Information));
        QVERIFY2(m->text.contains(QStringLiteral("Die Änderung ist gespeichert.")), qPrintable(m->text));
    } else {
        QCOMPARE(m->titel, QStringLiteral("Caché Zugriffsfehler"));
        QVERIFY2(m->text.contains(QStringLiteral("nicht gespeichert")), qPrintable(m->text));
        QVERIFY(m->text.contains(QStringLiteral("Fehler: 112")));
    }
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QVERIFY(!Plattform::Sanduhr());
    // The session goes on over the new connection.
    QVERIFY(Zustand().CacheFactory->IsConnected());
    if (!gespeichert) u->dialoge.auswahl.push_back(0);
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("NEU"));
}

void TestHaerte::verbindungBeimBestaetigenWeg() {
    if (!Testdatenbank::IstPostgres()) QSKIP("ein Server, der wegfallen kann: nur PostgreSQL");
    Starten();
    const QString pid =
        u->Factory()->select(QStringLiteral("SELECT pg_backend_pid()"), {}, 1).front().front();
    const QString vorher = u->db->Mitglieder(QStringLiteral("Lager"));
    // The server ends the session just before COMMIT, as a restart does.
    u->Factory()->setVorBestaetigen(
        [&] { u->db->Sql(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid.toInt()}); });
    w->cmbGruppe->lineEdit()->clear();
    QTest::keyClicks(w->cmbGruppe->lineEdit(), QStringLiteral("Lager"));
    Klicken(w->cmdMitarbeiterGruppe[3]);
    u->dialoge.auswahl.push_back(0); // typed, never chosen: overwrite the group as it is
    Klicken(w->cmdGruppeSpeichern);
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), vorher);
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.contains(QStringLiteral("nicht gespeichert")), qPrintable(m->text));
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

void TestHaerte::volleFestplatte() {
    if (Testdatenbank::IstPostgres()) QSKIP("die eingebettete Datenbank");
    KleinesDateisystem fs(QStringLiteral("2m"));
    if (!fs.Ok()) QSKIP("kein eigenes Dateisystem (mount braucht root)");
    const QString connStrg = DemoAnlegen(fs.Pfad());
    auto f = NeueCacheFactory();
    QVERIFY(f->Connect(connStrg) && AlsVerwalter(*f));
    fs.Fuellen(0);
    // A save of many members on a full disk reports the disk's error, not a
    // rollback's, and leaves the group as it was.
    auto liste = f->NeueListe();
    for (int i = 0; i < 20000; ++i)
        liste->Append(QStringLiteral("CODE%1-ein-langer-personalcode").arg(i));
    try {
        f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
            ->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Lager"), liste});
        QFAIL("auf voller Platte gespeichert");
    } catch (const CacheFehler& e) {
        qInfo("Volle Platte: %s", qPrintable(e.Beschreibung()));
        QVERIFY2(e.Beschreibung().contains(QStringLiteral("full"), Qt::CaseInsensitive) ||
                     e.Beschreibung().contains(QStringLiteral("disk"), Qt::CaseInsensitive),
                 qPrintable(e.Beschreibung()));
        QVERIFY2(!e.Beschreibung().contains(QStringLiteral("cannot rollback")), qPrintable(e.Beschreibung()));
    }
    f->Disconnect();
    // A start on the full disk names the cause, not a missing schema.
    QFile::remove(fs.Pfad() + QStringLiteral("/KORVAL.sqlite-shm"));
    QFile::remove(fs.Pfad() + QStringLiteral("/KORVAL.sqlite-wal"));
    fs.Fuellen(0);
    auto g = NeueCacheFactory();
    qInfo("Start auf voller Platte: %s", qPrintable(g->Connect(connStrg) ? QStringLiteral("verbunden") : g->LetzterFehler()));
    if (!g->IsConnected())
        QVERIFY2(!g->LetzterFehler().contains(QStringLiteral("keine Benutzerverwaltung")),
                 qPrintable(g->LetzterFehler()));
}

void TestHaerte::schreibgeschuetzteDatenbank() {
    if (Testdatenbank::IstPostgres()) QSKIP("die eingebettete Datenbank");
    KleinesDateisystem fs(QStringLiteral("2m"));
    if (!fs.Ok()) QSKIP("kein eigenes Dateisystem (mount braucht root)");
    const QString connStrg = DemoAnlegen(fs.Pfad());
    QVERIFY(fs.NurLesen());
    auto f = NeueCacheFactory();
    qInfo("Nur lesbar: %s", qPrintable(f->Connect(connStrg) ? QStringLiteral("verbunden") : f->LetzterFehler()));
    if (f->IsConnected()) {
        // Readable: then a save is refused with the reason, nothing half-stored.
        auto liste = f->NeueListe();
        liste->Append(QStringLiteral("X"));
        QVERIFY_THROWS_EXCEPTION(CacheFehler, f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                                                  ->Methode(QStringLiteral("SaveCodes"),
                                                            {QStringLiteral("Lager"), liste}));
    } else {
        QVERIFY2(!f->LetzterFehler().contains(QStringLiteral("keine Benutzerverwaltung")),
                 qPrintable(f->LetzterFehler()));
    }
}

// Two workstations create the same new group at once, by the older methods
// (both succeed, one list whole) or by the one-call command that expects the
// name free (one stores, the other is told it exists; never a raw error).
void TestHaerte::gleichzeitigAnlegen_data() {
    QTest::addColumn<bool>("einAufruf");
    QTest::newRow("einzelne Methoden") << false;
    QTest::newRow("ein Aufruf") << true;
}

void TestHaerte::gleichzeitigAnlegen() {
    QFETCH(bool, einAufruf);
    const QString connStrg = u->db->ConnStrg();
    for (int runde = 0; runde < 10; ++runde) {
        const QString gruppe = QStringLiteral("Neu%1").arg(runde);
        auto speichern = [&](const QString& code, QString& fehler, int& nummer) {
            try {
                auto f = NeueCacheFactory();
                if (!f->Connect(connStrg) || !AlsVerwalter(*f)) throw CacheFehler(0, f->LetzterFehler());
                auto liste = f->NeueListe();
                for (int i = 0; i < 50; ++i)
                    liste->Append(code);
                f->TransaktionBeginnen();
                if (einAufruf) {
                    f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                        ->Methode(QStringLiteral("Speichern"), {gruppe, liste, f->NeueListe(), QStringLiteral("2")});
                } else {
                    try {
                        f->OpenId(QStringLiteral("UserVerwaltung.Gruppen"), gruppe);
                    } catch (const CacheFehler&) {
                        CacheObjektPtr n = f->New(QStringLiteral("UserVerwaltung.Gruppen"));
                        n->setEigenschaft(QStringLiteral("Gruppe"), gruppe);
                        n->Methode(QStringLiteral("sys_Save"));
                    }
                    f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                        ->Methode(QStringLiteral("SaveCodes"), {gruppe, liste});
                }
                f->TransaktionBestaetigen();
            } catch (const CacheFehler& e) {
                fehler = e.Beschreibung();
                nummer = e.Nummer();
            }
        };
        QString fehlerA, fehlerB;
        int nummerA = 0, nummerB = 0;
        std::thread a([&] { speichern(QStringLiteral("A"), fehlerA, nummerA); });
        std::thread b([&] { speichern(QStringLiteral("B"), fehlerB, nummerB); });
        a.join();
        b.join();
        const QString liste = u->db->Mitglieder(gruppe);
        const QString nurA = QStringList(50, QStringLiteral("A")).join(QLatin1Char(','));
        const QString nurB = QStringList(50, QStringLiteral("B")).join(QLatin1Char(','));
        if (einAufruf) {
            QVERIFY2(fehlerA.isEmpty() != fehlerB.isEmpty(), qPrintable(fehlerA + QLatin1Char('/') + fehlerB));
            QCOMPARE(fehlerA.isEmpty() ? nummerB : nummerA, Fehlernummer::KonfliktVorhanden);
            QCOMPARE(liste, fehlerA.isEmpty() ? nurA : nurB);
        } else {
            QVERIFY2(fehlerA.isEmpty(), qPrintable(fehlerA));
            QVERIFY2(fehlerB.isEmpty(), qPrintable(fehlerB));
            QVERIFY2(liste == nurA || liste == nurB, qPrintable(liste));
        }
    }
}

void TestHaerte::falschesDatenbankpasswort() {
    if (!Testdatenbank::IstPostgres()) QSKIP("nur PostgreSQL fragt nach einem Passwort");
    const QByteArray richtig = qgetenv("PGPASSWORD");
    const QString falsch = QStringLiteral("falsch-4711-geheim");
    qputenv("PGPASSWORD", falsch.toUtf8());
    auto probe = NeueCacheFactory();
    const bool trotzdem = probe->Connect(u->db->ConnStrg());
    if (trotzdem) {
        qputenv("PGPASSWORD", richtig);
        QSKIP("der Testserver verlangt kein Passwort");
    }
    Zustand().ConnStrg = u->db->ConnStrg();
    QVERIFY_THROWS_EXCEPTION(CacheFehler, DbBeginn(false));
    qputenv("PGPASSWORD", richtig);
    const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
    QVERIFY(m);
    QVERIFY2(m->text.endsWith(QStringLiteral("\r\nGrund: Anmeldung am Datenbankserver abgelehnt")),
             qPrintable(m->text));
    int eintraege = 0;
    for (const QString& z : u->Verlaufszeilen()) {
        QVERIFY(!z.contains(falsch));
        eintraege += z.startsWith(QStringLiteral(
            "cacheapi.Verbinden;Verbindung fehlgeschlagen;Anmeldung am Datenbankserver abgelehnt: "));
    }
    QCOMPARE(eintraege, 6);
    for (const Gezeigt& g : u->dialoge.gezeigt)
        QVERIFY(!g.text.contains(falsch));
}

void TestHaerte::passwortVerschwindetAusDerProzessliste() {
    // argv as the system lays it out: one block, each argument ended by NUL.
    char block[] = "benutzerverwaltung\0" "1\0" "0\0" "ADM\0" "geheim\0" "/srv\0";
    char* argv[6];
    int n = 0;
    for (char* p = block; n < 6; p += std::strlen(p) + 1)
        argv[n++] = p;
    Plattform::ArgumentVerbergen(6, argv, 4);
#ifdef Q_OS_UNIX
    QCOMPARE(QByteArray(block, sizeof(block)),
             QByteArray("benutzerverwaltung\0" "1\0" "0\0" "ADM\0" "\0\0\0\0\0\0\0" "/srv\0", sizeof(block)));
#endif
    // Out of range does nothing.
    Plattform::ArgumentVerbergen(6, argv, 9);
    QCOMPARE(QByteArray(argv[5]), QByteArray("/srv"));
    // The whole command line in one argument: only the password goes.
    char eins[] = "benutzerverwaltung\0"
                  "1 0 ADM geheim /srv\0";
    char* argv1[2] = {eins, eins + std::strlen(eins) + 1};
    Plattform::ArgumentVerbergen(2, argv1, 4);
#ifdef Q_OS_UNIX
    QCOMPARE(QByteArray(argv1[1], 20), QByteArray("1 0 ADM \0\0\0\0\0\0 /srv\0", 20));
#endif
}

// SQLite: a large save leaves its pages in the log; they reach the database
// file when the connection closes, not inside the user's command.
void TestHaerte::keinCheckpointImBefehl() {
    if (Testdatenbank::IstPostgres()) QSKIP("die eingebettete Datenbank");
    const QString datei = u->db->Server() + QStringLiteral("/KORVAL.sqlite");
    auto f = NeueCacheFactory();
    QVERIFY(f->Connect(u->db->ConnStrg()) && AlsVerwalter(*f));
    const qint64 vorher = QFileInfo(datei).size();
    auto liste = f->NeueListe();
    for (int i = 0; i < 60000; ++i)
        liste->Append(QStringLiteral("CODE%1-ein-langer-personalcode").arg(i));
    f->Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
        ->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Lager"), liste});
    QCOMPARE(QFileInfo(datei).size(), vorher);
    QVERIFY(QFileInfo(datei + QStringLiteral("-wal")).size() > 1000 * 4096);
    f->Disconnect();
    QVERIFY(QFileInfo(datei).size() > vorher);
    QCOMPARE(QFileInfo(datei + QStringLiteral("-wal")).size(), 0);
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_gruppen_pcode WHERE gruppe = 'Lager'")),
             QStringList{QStringLiteral("60000")});
}

QTEST_MAIN(TestHaerte)
#include "tst_haerte.moc"
