// The shared server going away under a running session, and what must not
// leak: nothing half-saved, no credentials in messages or the history.

#include "testumgebung.h"

#include "database/dbzugriff.h"
#include "database/zustand.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/listenladen.h"
#include "server/sqlfactory.h"
#include "platform/widgets/ctlist.h"

#include <QComboBox>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <chrono>
#include <thread>
#include <QtTest>

namespace {
// Ends the server side of a connection, as a server restart does.
void Abschiessen(const QString& pid) {
    const QString name = QStringLiteral("korval-killer");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(qEnvironmentVariable("PGHOST"));
        db.setPort(qEnvironmentVariable("PGPORT", QStringLiteral("5432")).toInt());
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(AlsEigentuemer::Rolle());
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid.toInt()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// A loopback line between the program and the server, in a thread of its
// own, that the test cuts as a broken network does.
class Leitung final : public QThread {
  public:
    ~Leitung() override {
        quit();
        wait();
    }
    quint16 Port() {
        m_bereit.acquire();
        m_bereit.release();
        return m_port;
    }
    void Kappen() {
        QMetaObject::invokeMethod(
            m_ort,
            [this] {
                for (QTcpSocket* s : std::as_const(m_enden))
                    if (s) s->abort();
            },
            Qt::BlockingQueuedConnection);
    }

  protected:
    void run() override {
        QTcpServer server;
        QObject ort;
        m_ort = &ort;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &ort, [&] {
            while (QTcpSocket* a = server.nextPendingConnection()) {
                auto* b = new QTcpSocket(a);
                b->connectToHost(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT", QStringLiteral("5432")).toUShort());
                QObject::connect(a, &QTcpSocket::readyRead, b, [a, b] { b->write(a->readAll()); });
                QObject::connect(b, &QTcpSocket::readyRead, a, [a, b] { a->write(b->readAll()); });
                QObject::connect(a, &QTcpSocket::disconnected, b, [b] { b->abort(); });
                QObject::connect(b, &QTcpSocket::disconnected, a, [a] { a->abort(); });
                m_enden.append(a);
                m_enden.append(b);
            }
        });
        m_bereit.release();
        exec();
        m_ort = nullptr;
    }

  private:
    QSemaphore m_bereit;
    quint16 m_port = 0;
    QObject* m_ort = nullptr;
    QList<QPointer<QTcpSocket>> m_enden;
};

// Another session of the test's own, on the test database, that holds locks.
QSqlDatabase Halter(const QString& ns) {
    QSqlDatabase halter = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("korval-halter"));
    halter.setHostName(qEnvironmentVariable("PGHOST"));
    halter.setPort(qEnvironmentVariable("PGPORT", QStringLiteral("5432")).toInt());
    halter.setDatabaseName(ns);
    halter.setUserName(AlsEigentuemer::Rolle());
    return halter;
}

QString BackendPid(SqlCacheFactory* f) {
    return f->select(QStringLiteral("SELECT pg_backend_pid()"), {}, 1).front().front();
}
} // namespace

class TestPgFaults : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void verbindungWegNaechsteOperationVerbindetNeu();
    void abbruchMittenImLoeschenLaesstNichtsHalb();
    void keinePasswoerterInMeldungen();
    void nulZeichenWirdAbgewiesen();
    void abgerissenBeimWartenSpeichertNichtSpaeter();

  private:
    std::unique_ptr<Testumgebung> u;
    std::unique_ptr<FMStart> w;
};

void TestPgFaults::init() {
    KORVAL_BACKEND_PRUEFEN();
    if (!Testdatenbank::IstPostgres()) QSKIP("nur PostgreSQL");
    // A dropped connection releases its statements quietly.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Unable to free statement")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("database not open")));
    u.reset();
    u = std::make_unique<Testumgebung>();
    QVERIFY(u->db->Ok());
    w = std::make_unique<FMStart>(u->login.get(), u->verlauf.get());
    QVERIFY(u->Anmelden());
}

void TestPgFaults::cleanup() {
    w.reset();
    u.reset();
}

void TestPgFaults::verbindungWegNaechsteOperationVerbindetNeu() {
    Abschiessen(BackendPid(u->Factory()));
    // The operation that meets the dropped connection is reported...
    QVERIFY(!GruppenLaden(w->cmbGruppe));
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
    QVERIFY(u->dialoge.Letzte(QStringLiteral("MsgBox"))->text.contains(QStringLiteral("<DISCONNECT>")));
    QVERIFY(!Zustand().CacheFactory->IsConnected());
    QCOMPARE(Zustand().DbZugriffe, 0L);
    // ...and the next one connects again, with the user context set anew.
    QVERIFY(GruppenLaden(w->cmbGruppe));
    QCOMPARE(w->cmbGruppe->count(), 4);
    bool fehler = false;
    QCOMPARE(dbcall(QStringLiteral("W PERSONAL"), fehler), QStringLiteral("ADM"));
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
}

void TestPgFaults::abbruchMittenImLoeschenLaesstNichtsHalb() {
    const QStringList vorher = u->Bestand();
    w->cmbGruppe->setEditText(QStringLiteral("Verwaltung"));
    u->dialoge.antworten.push_back(DialogService::Yes);
    SqlCacheFactory* f = u->Factory();
    const QString pid = BackendPid(f);
    // The delete is one call of a server function. Another session holds the
    // group's grants, so the call waits inside the function, with the group
    // record deleted, when the server drops us.
    QSqlDatabase halter = Halter(u->db->Namespace());
    QVERIFY(halter.open());
    QSqlQuery sperre(halter);
    QVERIFY(sperre.exec(QStringLiteral("BEGIN")));
    QVERIFY(sperre.exec(QStringLiteral("SELECT 1 FROM uv_programm_gruppe WHERE gruppe = 'Verwaltung' FOR UPDATE")));
    std::thread schuetze([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        Abschiessen(pid);
    });
    w->cmdGruppeLoeschen_Click();
    schuetze.join();
    sperre.exec(QStringLiteral("ROLLBACK"));
    sperre = QSqlQuery();
    halter.close();
    halter = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("korval-halter"));
    QCOMPARE(u->Bestand(), vorher);
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 2);
    QCOMPARE(Zustand().DbZugriffe, 0L);
    QCOMPARE(w->cmbGruppe->currentText(), QStringLiteral("Verwaltung"));
    // Done again, it works whole.
    u->dialoge.antworten.push_back(DialogService::Yes);
    w->cmdGruppeLoeschen_Click();
    QVERIFY(!u->Existiert(QStringLiteral("UserVerwaltung.Gruppen"), QStringLiteral("Verwaltung")));
    QVERIFY(!u->Bestand().join(QLatin1Char('\n')).contains(QStringLiteral("Verwaltung")));
}

void TestPgFaults::keinePasswoerterInMeldungen() {
    const QString pw = qEnvironmentVariable("PGPASSWORD");
    QVERIFY(!pw.isEmpty());
    auto f = NeueCacheFactory();
    QVERIFY(!f->Connect(
        QStringLiteral("cn_iptcp:%1[%2]:gibt_es_nicht")
            .arg(qEnvironmentVariable("PGHOST"), qEnvironmentVariable("PGPORT", QStringLiteral("5432")))));
    QVERIFY(!f->LetzterFehler().isEmpty());
    QVERIFY(!f->LetzterFehler().contains(pw));
    Abschiessen(BackendPid(u->Factory()));
    GruppenLaden(w->cmbGruppe);
    for (const Gezeigt& g : u->dialoge.gezeigt)
        QVERIFY(!g.text.contains(pw));
    for (const QString& z : u->Verlaufszeilen())
        QVERIFY(!z.contains(pw));
}

void TestPgFaults::nulZeichenWirdAbgewiesen() {
    const QString mitNul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    w->cmbGruppe->setEditText(mitNul);
    w->cmdGruppeSpeichern_Click();
    QCOMPARE(u->dialoge.Anzahl(QStringLiteral("MsgBox")), 1);
    QVERIFY(!u->Existiert(QStringLiteral("UserVerwaltung.Gruppen"), mitNul));
    QCOMPARE(Zustand().DbZugriffe, 0L);
}

// The line breaks while a save waits for another session's lock: the program
// reconnects and says "nicht gespeichert", and that stays true: the old
// server process cannot take the lock and commit afterwards.
void TestPgFaults::abgerissenBeimWartenSpeichertNichtSpaeter() {
    Leitung leitung;
    leitung.start();
    Zustand().ConnStrg = QStringLiteral("cn_iptcp:127.0.0.1[%1]:%2").arg(leitung.Port()).arg(u->db->Namespace());
    Zustand().CacheFactory->Disconnect();
    w->cmbGruppe->setEditText(QStringLiteral("Lager"));
    w->cmbGruppe_Click();
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    w->ctListGruppe->AddItem(QStringLiteral("NEU;"));
    QSqlDatabase halter = Halter(u->db->Namespace());
    QVERIFY(halter.open());
    {
        QSqlQuery sperre(halter);
        QVERIFY(sperre.exec(QStringLiteral("BEGIN")));
        QVERIFY(sperre.exec(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = 'Lager' FOR UPDATE")));
        std::thread schere([&leitung] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            leitung.Kappen();
        });
        w->cmdGruppeSpeichern_Click();
        schere.join();
        const Gezeigt* m = u->dialoge.Letzte(QStringLiteral("MsgBox"));
        QVERIFY(m);
        QVERIFY2(m->text.contains(QStringLiteral("nicht gespeichert")), qPrintable(m->text));
        // The lock goes; a call still waiting on the server would get it now.
        QVERIFY(sperre.exec(QStringLiteral("COMMIT")));
    }
    halter.close();
    halter = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("korval-halter"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    QCOMPARE(u->db->Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
    QCOMPARE(u->db->Sql(QStringLiteral("SELECT COUNT(*) FROM uv_protokoll WHERE objekt = 'Gruppe Lager'")),
             QStringList{QStringLiteral("0")});
}

QTEST_MAIN(TestPgFaults)
#include "tst_pgfaults.moc"
