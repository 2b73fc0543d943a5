// Measures the program's own actions on a large generated company against the
// least bare work that reaches the same end state, on SQLite or PostgreSQL.
//
//   korval_bench [--backend sqlite|postgres] [--employees N] [--pairs P]
//                [--latency MS] [--csv] [--smoke] [--program PATH]
//
// Program and bare run alternately inside every pair (the order swaps from
// pair to pair), the bare side on one connection opened before any timing.
// Each figure reports CPU and wall time (min/median/max) and the server round
// trips (statements) of the action. --latency puts PostgreSQL behind a relay on
// the loopback that delays each direction by MS/2.
//
// Sizes follow the employee count: min(N/10, 2000) groups of up to
// min(N/10, 2000) members (the first group has exactly that many and holds
// every level), N/40 programs of 10 sub-programs with 5 levels each.

#include "testumgebung.h"

#include "database/anmeldung.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "datenbankwerkzeug.h"
#include "auswertung/frmuebersicht.h"
#include "auswertung/uebersicht.h"
#include "auswertung/vergleich.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/listenladen.h"
#include "permissions/pflege.h"
#include "permissions/rueckgaengig.h"
#include "platform/widgets/ctfilter.h"
#include "platform/widgets/ctlist.h"
#include "server/schema.h"
#include "server/sqlfactory.h"
#include "signon/fmpass.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

double CpuMs() {
#ifdef Q_OS_UNIX
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
#else
    static QElapsedTimer uhr;
    if (!uhr.isValid()) uhr.start();
    return static_cast<double>(uhr.nsecsElapsed()) / 1e6; // no process CPU clock: wall time
#endif
}

struct Messung {
    double cpu = 0, wand = 0;
    int rt = 0;
};

struct Reihe {
    std::vector<double> werte;
    double Min() const { return werte.empty() ? 0 : *std::min_element(werte.begin(), werte.end()); }
    double Max() const { return werte.empty() ? 0 : *std::max_element(werte.begin(), werte.end()); }
    double Median() const {
        std::vector<double> v = werte;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
};

#ifdef Q_OS_UNIX
// A TCP relay on the loopback that delays each direction by a fixed time, as a
// network with that round trip would. Only for the benchmark's own server.
class Relais {
  public:
    Relais(const QString& host, int port, double verzoegerungMs) : m_ms(verzoegerungMs) {
        addrinfo hinweis{};
        hinweis.ai_family = AF_INET;
        hinweis.ai_socktype = SOCK_STREAM;
        addrinfo* ergebnis = nullptr;
        if (getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hinweis, &ergebnis) != 0)
            qFatal("Relais: %s nicht gefunden", qPrintable(host));
        m_ziel = *reinterpret_cast<sockaddr_in*>(ergebnis->ai_addr);
        freeaddrinfo(ergebnis);
        m_lauscher = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (bind(m_lauscher, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(m_lauscher, 16) != 0)
            qFatal("Relais: kein Port");
        socklen_t l = sizeof a;
        getsockname(m_lauscher, reinterpret_cast<sockaddr*>(&a), &l);
        m_port = ntohs(a.sin_port);
        std::thread([this] { Annehmen(); }).detach();
    }
    int Port() const { return m_port; }

  private:
    struct Strecke {
        std::mutex m;
        std::condition_variable cv;
        std::deque<std::pair<std::chrono::steady_clock::time_point, QByteArray>> warteschlange;
        bool ende = false;
    };

    static void Nodelay(int s) {
        int an = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &an, sizeof an);
    }

    void Annehmen() {
        for (;;) {
            const int client = accept(m_lauscher, nullptr, nullptr);
            if (client < 0) return;
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            if (connect(server, reinterpret_cast<const sockaddr*>(&m_ziel), sizeof m_ziel) != 0) {
                close(client);
                close(server);
                continue;
            }
            Nodelay(client);
            Nodelay(server);
            Richtung(client, server);
            Richtung(server, client);
        }
    }

    // Reads from `von`, and after the delay writes to `nach`.
    void Richtung(int von, int nach) {
        auto s = std::make_shared<Strecke>();
        const auto dauer = std::chrono::microseconds(static_cast<long long>(m_ms * 1000));
        std::thread([s, von, dauer] {
            char puffer[65536];
            for (;;) {
                const ssize_t n = recv(von, puffer, sizeof puffer, 0);
                std::lock_guard<std::mutex> g(s->m);
                if (n <= 0) {
                    s->ende = true;
                    s->cv.notify_one();
                    return;
                }
                s->warteschlange.emplace_back(std::chrono::steady_clock::now() + dauer,
                                              QByteArray(puffer, static_cast<qsizetype>(n)));
                s->cv.notify_one();
            }
        }).detach();
        std::thread([s, nach] {
            for (;;) {
                std::unique_lock<std::mutex> g(s->m);
                s->cv.wait(g, [&] { return s->ende || !s->warteschlange.empty(); });
                if (s->warteschlange.empty()) {
                    shutdown(nach, SHUT_WR);
                    return;
                }
                auto [wann, daten] = s->warteschlange.front();
                s->warteschlange.pop_front();
                g.unlock();
                std::this_thread::sleep_until(wann);
                for (qsizetype gesendet = 0; gesendet < daten.size();) {
                    const ssize_t n = send(nach, daten.constData() + gesendet,
                                           static_cast<size_t>(daten.size() - gesendet), MSG_NOSIGNAL);
                    if (n <= 0) return;
                    gesendet += n;
                }
            }
        }).detach();
    }

    double m_ms;
    sockaddr_in m_ziel{};
    int m_lauscher = -1;
    int m_port = 0;
};
#endif

struct Ziel {
    bool postgres = false;
    QString server, port, ns;
    QString connStrg() const { return QStringLiteral("cn_iptcp:%1[%2]:%3").arg(server, port, ns); }
};

// The bare side: one Qt SQL connection, opened before any timing, counting its statements.
// PostgreSQL: the set-up and the baseline run as the role the run started
// with (the database's owner); the program connects as the workstations' role.
QByteArray g_eigentuemer;
// The bare side of an export: the query's rows as ";"-separated lines into a file.
void ZeilenSchreiben(QSqlQuery& q, int spalten, const QString& pfad) {
    QFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly)) qFatal("bar: Datei");
    QByteArray puffer;
    while (q.next()) {
        for (int c = 0; c < spalten; ++c) {
            puffer += q.value(c).toString().toUtf8();
            puffer += c < spalten - 1 ? ";" : "\r\n";
        }
        if (puffer.size() > (1 << 20)) {
            datei.write(puffer);
            puffer.clear();
        }
    }
    datei.write(puffer);
    q.finish();
}

// Only the operations whose name contains this (all when empty).
QString g_nur;
struct AlsEigentuemer {
    QByteArray vorher = qgetenv("PGUSER");
    AlsEigentuemer() {
        if (!g_eigentuemer.isEmpty()) qputenv("PGUSER", g_eigentuemer);
    }
    ~AlsEigentuemer() { qputenv("PGUSER", vorher); }
};

class Direkt {
  public:
    explicit Direkt(const Ziel& z)
        : m_name(QStringLiteral("bench-") + QUuid::createUuid().toString(QUuid::Id128)) {
        AlsEigentuemer eigentuemer;
        QString warum;
        auto t = ConnectionTarget::parse(z.connStrg());
        m_db = Schema::open(*t, m_name, warum);
        if (!m_db.isOpen()) qFatal("Keine Verbindung: %s", qPrintable(warum));
    }
    ~Direkt() {
        m_vorbereitet.clear();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    int Anweisungen() const { return m_anweisungen; }
    // Runs a statement and reads every value; the rows.
    QList<QVariantList> Lesen(const QString& sql, const QVariantList& werte = {}) {
        QSqlQuery& q = Ausfuehren(sql, werte);
        QList<QVariantList> zeilen;
        const int spalten = q.record().count();
        while (q.next()) {
            QVariantList z;
            for (int c = 0; c < spalten; ++c)
                z.append(q.value(c).toString());
            zeilen.append(z);
        }
        q.finish();
        return zeilen;
    }
    // Each statement is prepared once, as the program does.
    QSqlQuery& Ausfuehren(const QString& sql, const QVariantList& werte = {}) {
        auto& q = m_vorbereitet[sql];
        if (!q) {
            q = std::make_unique<QSqlQuery>(m_db);
            q->setForwardOnly(true);
            if (!q->prepare(sql)) qFatal("%s: %s", qPrintable(sql), qPrintable(q->lastError().text()));
        }
        for (int i = 0; i < werte.size(); ++i)
            q->bindValue(i, werte[i]);
        if (!q->exec()) qFatal("%s: %s", qPrintable(sql), qPrintable(q->lastError().text()));
        ++m_anweisungen;
        return *q;
    }
    void Beginnen() {
        m_db.transaction();
        ++m_anweisungen;
    }
    void Bestaetigen() {
        m_db.commit();
        ++m_anweisungen;
    }
    // Rows in blocks of 100 per statement, the least number of round trips.
    void Einfuegen(const QString& tabelle, const QString& spalten, int anzahl, const QList<QVariantList>& zeilen) {
        const QString eine = QStringLiteral("(") + QStringLiteral("?, ").repeated(anzahl - 1) + QStringLiteral("?)");
        for (qsizetype a = 0; a < zeilen.size(); a += 100) {
            const qsizetype n = std::min<qsizetype>(100, zeilen.size() - a);
            QStringList teile(n, eine);
            QVariantList werte;
            for (qsizetype i = a; i < a + n; ++i)
                werte.append(zeilen[i]);
            Ausfuehren(QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(tabelle, spalten, teile.join(u',')),
                       werte);
        }
    }
    QSqlDatabase& Db() { return m_db; }

  private:
    QString m_name;
    QSqlDatabase m_db;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_vorbereitet;
    int m_anweisungen = 0;
};

bool PgBefehl(const QString& host, const QString& port, const QString& sql) {
    const QString name = QStringLiteral("bench-admin");
    AlsEigentuemer eigentuemer;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(host);
        db.setPort(port.toInt());
        db.setDatabaseName(QStringLiteral("postgres"));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok) std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

struct Operation {
    QString name;
    std::function<void()> programmVorher, programm, barVorher, bar;
};

class Bench {
  public:
    Bench(bool postgres, int mitarbeiter, int paare, double latenz, QTextStream& out)
        : m_n(mitarbeiter), m_paare(paare), m_latenz(latenz), m_out(out) {
        m_vorlage.postgres = m_arbeit.postgres = postgres;
        if (postgres) {
            m_pgHost = qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
            m_pgPort = qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
            m_vorlage.server = m_arbeit.server = m_pgHost;
            m_vorlage.port = m_arbeit.port = m_pgPort;
            const QString id = QString::number(QCoreApplication::applicationPid());
            m_vorlage.ns = QStringLiteral("korval_bench_vorlage_") + id;
            m_arbeit.ns = QStringLiteral("korval_bench_") + id;
#ifdef Q_OS_UNIX
            if (latenz > 0) {
                m_relais = std::make_unique<Relais>(m_pgHost, m_pgPort.toInt(), latenz / 2);
                m_arbeit.server = QStringLiteral("127.0.0.1");
                m_arbeit.port = QString::number(m_relais->Port());
            }
#endif
        } else {
            m_vorlage.server = m_dir.filePath(QStringLiteral("vorlage"));
            m_arbeit.server = m_dir.filePath(QStringLiteral("arbeit"));
            m_vorlage.port = m_arbeit.port = QStringLiteral("1973");
            m_vorlage.ns = m_arbeit.ns = QStringLiteral("KORVAL");
            QDir().mkpath(m_arbeit.server);
        }
    }

    ~Bench() {
        if (m_vorlage.postgres) {
            PgBefehl(m_pgHost, m_pgPort, QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(m_arbeit.ns));
            PgBefehl(m_pgHost, m_pgPort, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_vorlage.ns));
            for (const char* rolle : {"_app", "_anwendung", "_eigentuemer"})
                PgBefehl(m_pgHost, m_pgPort,
                         QStringLiteral("DROP ROLE IF EXISTS \"%1%2\"").arg(m_vorlage.ns, QString::fromLatin1(rolle)));
        }
    }

    bool Erzeugen() {
        DatenbankZiel z{m_vorlage.server, m_vorlage.port, m_vorlage.ns};
        GenerierParameter p;
        p.mitarbeiter = m_n;
        p.gruppen = std::clamp(m_n / 10, 1, 2000);
        p.maxMitglieder = std::clamp(m_n / 10, 1, 2000);
        p.programme = std::max(2, m_n / 40);
        p.subprogramme = 10;
        p.stufen = 5;
        p.gruppenJeStufe = 3;
        m_stufen = p.programme * 50;
        m_mitglieder = p.maxMitglieder;
        QString text;
        QTextStream leise(&text);
        QElapsedTimer t;
        t.start();
        if (m_vorlage.postgres) {
            g_eigentuemer = qgetenv("PGUSER");
            z.anwendungsrolle = m_vorlage.ns + QStringLiteral("_app");
        }
        bool ok = false;
        {
            AlsEigentuemer eigentuemer;
            ok = Datenbankwerkzeug::Init(z, leise) && Datenbankwerkzeug::Generieren(z, p, leise);
        }
        if (!ok) m_out << text << Qt::endl;
        if (ok && m_vorlage.postgres) {
            // The program signs on as the workstations do, with the run's password.
            ok = PgBefehl(m_pgHost, m_pgPort,
                          QStringLiteral("ALTER ROLE \"%1\" PASSWORD '%2'")
                              .arg(z.anwendungsrolle,
                                   qEnvironmentVariable("PGPASSWORD").replace(QLatin1Char('\''), QStringLiteral("''"))));
            qputenv("PGUSER", z.anwendungsrolle.toUtf8());
        }
        // Statistics made now, so that no background analysis runs during the measurements.
        if (ok) {
            Direkt d(m_vorlage);
            QSqlQuery q(d.Db());
            q.exec(m_vorlage.postgres ? QStringLiteral("VACUUM ANALYZE") : QStringLiteral("ANALYZE"));
        }
        m_info = QStringLiteral("%1 Mitarbeiter, %2 Gruppen (größte %3 Mitglieder), %4 Stufen; erzeugt in %5 ms")
                     .arg(m_n)
                     .arg(p.gruppen)
                     .arg(p.maxMitglieder)
                     .arg(m_stufen)
                     .arg(t.elapsed());
        if (ok) Kopie();
        return ok;
    }

    // The working copy of the generated company.
    void Kopie() {
        if (m_arbeit.postgres) {
            PgBefehl(m_pgHost, m_pgPort, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_arbeit.ns));
            PgBefehl(m_pgHost, m_pgPort,
                     QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE \"%2\"").arg(m_arbeit.ns, m_vorlage.ns));
            return;
        }
        const QString ziel = m_arbeit.server + QStringLiteral("/KORVAL.sqlite");
        for (const char* endung : {"", "-wal", "-shm"})
            QFile::remove(ziel + QString::fromLatin1(endung));
        QFile::copy(m_vorlage.server + QStringLiteral("/KORVAL.sqlite"), ziel);
    }

    int ProgrammAnweisungen() const {
        auto* f = dynamic_cast<SqlCacheFactory*>(Zustand().CacheFactory.get());
        return f ? static_cast<int>(f->rundreisen()) : 0;
    }

    // One pair: program and bare, the order swapping from pair to pair.
    void Messen(const Operation& op, bool csv) {
        Reihe pCpu, pWand, bCpu, bWand;
        int pRt = 0, bRt = 0;
        for (int i = 0; i < m_paare; ++i) {
            auto einmal = [&](bool programm) {
                if (programm && op.programmVorher) op.programmVorher();
                if (!programm && op.barVorher) op.barVorher();
                const int rt0 = programm ? ProgrammAnweisungen() : m_bar->Anweisungen();
                const double c0 = CpuMs();
                QElapsedTimer t;
                t.start();
                (programm ? op.programm : op.bar)();
                const double wand = static_cast<double>(t.nsecsElapsed()) / 1e6;
                const double cpu = CpuMs() - c0;
                const int rt = (programm ? ProgrammAnweisungen() : m_bar->Anweisungen()) - rt0;
                (programm ? pCpu : bCpu).werte.push_back(cpu);
                (programm ? pWand : bWand).werte.push_back(wand);
                (programm ? pRt : bRt) = rt;
            };
            const bool programmZuerst = i % 2 == 0;
            einmal(programmZuerst);
            einmal(!programmZuerst);
        }
        const bool pg = m_arbeit.postgres;
        const double ratio = pg ? pWand.Median() / std::max(bWand.Median(), 1e-3)
                                : pCpu.Median() / std::max(bCpu.Median(), 1e-3);
        if (csv) {
            m_out << op.name << ',' << (pg ? "postgres" : "sqlite") << ',' << m_n << ',' << m_latenz << ','
                  << m_paare << ',' << QString::number(pCpu.Median(), 'f', 2) << ','
                  << QString::number(pWand.Median(), 'f', 2) << ',' << QString::number(bCpu.Median(), 'f', 2)
                  << ',' << QString::number(bWand.Median(), 'f', 2) << ',' << QString::number(ratio, 'f', 2)
                  << ',' << pRt << Qt::endl;
            return;
        }
        auto drei = [](const Reihe& r) {
            return QStringLiteral("%1/%2/%3")
                .arg(r.Min(), 0, 'f', 1)
                .arg(r.Median(), 0, 'f', 1)
                .arg(r.Max(), 0, 'f', 1);
        };
        m_out << QStringLiteral("%1 Programm CPU %2 Wand %3 (%4 RT) | bar CPU %5 Wand %6 (%7 RT) | Faktor %8")
                     .arg(op.name, -34)
                     .arg(drei(pCpu), 16)
                     .arg(drei(pWand), 16)
                     .arg(pRt)
                     .arg(drei(bCpu), 16)
                     .arg(drei(bWand), 16)
                     .arg(bRt)
                     .arg(ratio, 0, 'f', 2)
              << Qt::endl;
    }

    void Laufen(const QString& programmPfad, bool csv) {
        if (csv)
            m_out << "operation,backend,employees,latency_ms,pairs,program_cpu_ms,program_wall_ms,bare_cpu_ms,"
                     "bare_wall_ms,ratio,round_trips"
                  << Qt::endl;
        else
            m_out << "Daten: " << m_info << Qt::endl << "min/Median/max in ms über " << m_paare << " Paare"
                  << Qt::endl;
        Testumgebung u(false);
        FMStart w(u.login.get(), u.verlauf.get());
        u.login->setHauptfenster(&w);
        w.show();
        QCoreApplication::processEvents();
        const QString zeile =
            QStringLiteral("1 0 ADM demo %1 %2 %3").arg(m_arbeit.server, m_arbeit.port, m_arbeit.ns);
        Zustand().ProgrammKommandozeile = zeile;
        if (!user_anmeld()) qFatal("Anmeldung fehlgeschlagen");
        m_bar = std::make_unique<Direkt>(m_arbeit);
        Direkt& bar = *m_bar;
        const QString gruppe = QStringLiteral("Gruppe 0001");
        const QString programm = QStringLiteral("Programm 0002");
        const QVariantList stufe{QStringLiteral("Programm 0001"), QStringLiteral("Teil 01"), QStringLiteral("1")};
        QList<QVariantList> zeilen;
        // The window repaints what it shows before the next action, untimed.
        auto ruhe = [] { QCoreApplication::processEvents(); };

        std::vector<Operation> ops;
        ops.push_back({QStringLiteral("user_anmeld"), ruhe,
                       [&] {
                           Zustand().ProgrammKommandozeile = zeile;
                           Zustand().Kommandozeile.clear();
                           if (!user_anmeld()) qFatal("Anmeldung fehlgeschlagen");
                       },
                       nullptr,
                       // The sign-on brings the window's three lists along: so does the bare side.
                       [&] {
                           bar.Lesen(QStringLiteral("SELECT * FROM kv_parpersedv WHERE firma = '1' AND pcode = 'ADM'"));
                           bar.Lesen(QStringLiteral("SELECT * FROM kv_parpersabt WHERE firma = '1' AND abtnr = '10'"));
                           bar.Lesen(QStringLiteral("SELECT * FROM kv_persbasis WHERE firma = '1' AND pnr = '1'"));
                           bar.Lesen(QStringLiteral("SELECT pcode, pname FROM kv_parpersedv WHERE firma = ? ORDER BY pcode"),
                                     {QStringLiteral("1")});
                           bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe"));
                           bar.Lesen(QStringLiteral("SELECT DISTINCT programmname FROM uv_programm ORDER BY 1 DESC"));
                       }});
        ops.push_back({QStringLiteral("MitarbeiterLaden"), ruhe,
                       [&] { MitarbeiterLaden(w.ctListMitarbeiter, false); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral(
                                         "SELECT pcode, pname FROM kv_parpersedv WHERE firma = ? ORDER BY pcode"),
                                     {QStringLiteral("1")});
                       }});
        ops.push_back({QStringLiteral("GruppenLaden"), ruhe, [&] { GruppenLaden(w.cmbGruppe); }, nullptr,
                       [&] { bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe")); }});
        ops.push_back({QStringLiteral("ProgrammeLaden"), ruhe, [&] { ProgrammeLaden(w.cmbProgramm); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral(
                               "SELECT DISTINCT programmname FROM uv_programm ORDER BY programmname DESC"));
                       }});
        ops.push_back({QStringLiteral("cmbGruppe_Click"),
                       [&] {
                           ruhe();
                           w.cmbGruppe->setEditText(gruppe);
                       },
                       [&] { w.cmbGruppe_Click(); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral(
                                         "SELECT g.pcode, p.pname FROM uv_gruppen_pcode g LEFT JOIN kv_parpersedv p "
                                         "ON p.firma = '1' AND p.pcode = g.pcode WHERE g.gruppe = ? ORDER BY g.pos"),
                                     {gruppe});
                       }});
        ops.push_back({QStringLiteral("cmdGruppeSpeichern_Click"),
                       [&] {
                           ruhe();
                           w.cmbGruppe->setEditText(gruppe);
                       },
                       [&] { w.cmdGruppeSpeichern_Click(); },
                       [&] {
                           // The rows are ready before the clock runs: the bare side only stores.
                           zeilen.clear();
                           for (int k = 0; k < w.ctListGruppe->ListCount(); ++k)
                               zeilen.append({gruppe, k + 1, w.ctListGruppe->List(k).section(u';', 0, 0)});
                       },
                       [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"), {gruppe});
                           bar.Einfuegen(QStringLiteral("uv_gruppen_pcode"), QStringLiteral("gruppe, pos, pcode"), 3,
                                         zeilen);
                           bar.Bestaetigen();
                       }});
        ops.push_back({QStringLiteral("cmbProgrammStufe_Click"),
                       [&] {
                           ruhe();
                           w.cmbProgramm->setEditText(stufe[0].toString());
                           w.cmbSubProgramm->setEditText(stufe[1].toString());
                           w.cmbProgrammStufe->setEditText(stufe[2].toString());
                       },
                       [&] { w.cmbProgrammStufe_Click(); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = ? AND "
                                                    "subprogramm = ? AND berechtigungsstufe = ? ORDER BY pos"),
                                     stufe);
                       }});
        ops.push_back({QStringLiteral("cmdProgrammSpeichern_Click"),
                       [&] {
                           ruhe();
                           w.cmbProgramm->setEditText(stufe[0].toString());
                           w.cmbSubProgramm->setEditText(stufe[1].toString());
                           w.cmbProgrammStufe->setEditText(stufe[2].toString());
                       },
                       [&] { w.cmdProgrammSpeichern_Click(); },
                       [&] {
                           zeilen.clear();
                           for (int k = 0; k < w.ctListProgramm->ListCount(); ++k)
                               zeilen.append({stufe[0], stufe[1], stufe[2], k + 1, w.ctListProgramm->List(k)});
                       },
                       [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE programmname = ? AND "
                                                         "subprogramm = ? AND berechtigungsstufe = ?"),
                                          stufe);
                           bar.Einfuegen(QStringLiteral("uv_programm_gruppe"),
                                         QStringLiteral("programmname, subprogramm, berechtigungsstufe, pos, gruppe"),
                                         5, zeilen);
                           bar.Bestaetigen();
                       }});

        // The deletes: what they remove is put back, untimed, before each run.
        const QList<QVariantList> gruppenZeilen = bar.Lesen(
            QStringLiteral("SELECT gruppe, pos, pcode FROM uv_gruppen_pcode WHERE gruppe = ?"), {gruppe});
        const QList<QVariantList> gruppeInStufen = bar.Lesen(
            QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, pos, gruppe FROM uv_programm_gruppe "
                           "WHERE gruppe = ?"),
            {gruppe});
        auto gruppeZurueck = [&] {
            if (!bar.Lesen(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ?"), {gruppe}).isEmpty()) return;
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {gruppe});
            bar.Einfuegen(QStringLiteral("uv_gruppen_pcode"), QStringLiteral("gruppe, pos, pcode"), 3, gruppenZeilen);
            bar.Einfuegen(QStringLiteral("uv_programm_gruppe"),
                          QStringLiteral("programmname, subprogramm, berechtigungsstufe, pos, gruppe"), 5,
                          gruppeInStufen);
            bar.Bestaetigen();
        };
        ops.push_back({QStringLiteral("cmdGruppeLoeschen_Click"),
                       [&] {
                           gruppeZurueck();
                           ruhe();
                           w.cmbGruppe->setEditText(gruppe);
                           u.dialoge.antworten.push_back(DialogService::Yes);
                       },
                       [&] { w.cmdGruppeLoeschen_Click(); }, gruppeZurueck, [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"), {gruppe});
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"), {gruppe});
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen WHERE gruppe = ?"), {gruppe});
                           bar.Bestaetigen();
                       }});
        const QList<QVariantList> programmStufen = bar.Lesen(
            QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe FROM uv_programm WHERE programmname = ?"),
            {programm});
        const QList<QVariantList> programmGruppen = bar.Lesen(
            QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, pos, gruppe FROM uv_programm_gruppe "
                           "WHERE programmname = ?"),
            {programm});
        auto programmZurueck = [&] {
            if (!bar.Lesen(QStringLiteral("SELECT 1 FROM uv_programm WHERE programmname = ?"), {programm}).isEmpty())
                return;
            bar.Beginnen();
            bar.Einfuegen(QStringLiteral("uv_programm"), QStringLiteral("programmname, subprogramm, berechtigungsstufe"),
                          3, programmStufen);
            bar.Einfuegen(QStringLiteral("uv_programm_gruppe"),
                          QStringLiteral("programmname, subprogramm, berechtigungsstufe, pos, gruppe"), 5,
                          programmGruppen);
            bar.Bestaetigen();
        };
        ops.push_back({QStringLiteral("cmdProgrammLoeschen_Click"),
                       [&] {
                           programmZurueck();
                           ruhe();
                           w.cmbProgramm->setEditText(programm);
                           u.dialoge.antworten.push_back(DialogService::Yes);
                       },
                       [&] { w.cmdProgrammLoeschen_Click(); }, programmZurueck, [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE programmname = ?"),
                                          {programm});
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm WHERE programmname = ?"), {programm});
                           bar.Bestaetigen();
                       }});

        // Undo of the largest group's delete: members and every grant back,
        // against the bare statements that put the same rows back.
        long long loeschNr = 0;
        auto gruppeGeloescht = [&] {
            programmZurueck();
            if (bar.Lesen(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ?"), {gruppe}).isEmpty())
                bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"), {gruppe});
            gruppeZurueck();
            ruhe();
            w.cmbGruppe->setEditText(gruppe);
            u.dialoge.antworten.push_back(DialogService::Yes);
            w.cmdGruppeLoeschen_Click();
            loeschNr = bar.Lesen(QStringLiteral("SELECT MAX(nr) FROM uv_protokoll WHERE befehl = 'löschen'"))
                           .value(0)
                           .value(0)
                           .toLongLong();
            ruhe();
        };
        ops.push_back({QStringLiteral("Rückgängig: Gruppe löschen"), gruppeGeloescht,
                       [&] {
                           u.dialoge.auswahl.push_back(0);
                           Pflege::RueckgaengigMachen(loeschNr);
                       },
                       gruppeGeloescht, gruppeZurueck});

        // The change log's cost: the same save with and without its entry, in
        // pairs; then the log window on a million entries.
        auto mitProtokoll = [&](bool an) {
            if (auto* f = dynamic_cast<SqlCacheFactory*>(Zustand().CacheFactory.get())) f->setProtokoll(an);
        };
        // What the deletes above removed is there again: the program first, then
        // the group with all its levels.
        auto allesZurueck = [&] {
            programmZurueck();
            if (bar.Lesen(QStringLiteral("SELECT 1 FROM uv_gruppen WHERE gruppe = ?"), {gruppe}).isEmpty())
                bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"), {gruppe});
            gruppeZurueck();
        };
        auto gruppeAendern = [&](bool protokoll) {
            allesZurueck();
            // Each save really changes the list (one member more or less), so
            // that a log entry is due.
            ruhe();
            mitProtokoll(protokoll);
            w.cmbGruppe->setEditText(gruppe);
            w.cmbGruppe_Click();
            const int zzz = static_cast<int>(ListenZeilen(w.ctListGruppe).indexOf(QStringLiteral("ZZZ;")));
            if (zzz >= 0)
                w.ctListGruppe->RemoveItem(zzz);
            else
                w.ctListGruppe->AddItem(QStringLiteral("ZZZ;"));
            ruhe();
        };
        ops.push_back({QStringLiteral("Sichern mit/ohne Protokoll"), [&] { gruppeAendern(true); },
                       [&] { w.cmdGruppeSpeichern_Click(); }, [&] { gruppeAendern(false); },
                       [&] {
                           w.cmdGruppeSpeichern_Click();
                           mitProtokoll(true);
                       }});
        // Rules of incompatible rights: 2,000 between random levels of the
        // company (one in ten with "*" as level), present for the program's
        // run and absent for the comparison's, which is the same command
        // without rules (the "bare" column here).
        QList<QVariantList> regelZeilen;
        {
            const QList<QVariantList> stufenAlle = bar.Lesen(
                QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe FROM uv_programm ORDER BY 1, 2, 3"));
            std::mt19937 zufall(4711);
            std::uniform_int_distribution<qsizetype> wahl(0, stufenAlle.size() - 1);
            for (int r = 0; r < 2000 && stufenAlle.size() > 1; ++r) {
                const QVariantList& a = stufenAlle[wahl(zufall)];
                const QVariantList& b = stufenAlle[wahl(zufall)];
                regelZeilen.append({QStringLiteral("Regel %1").arg(r, 4, 10, QLatin1Char('0')), QStringLiteral("Messung"), a[0], a[1],
                                    r % 10 == 0 ? QVariant(QStringLiteral("*")) : a[2], b[0], b[1], b[2]});
            }
        }
        auto regeln = [&](bool da) {
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_regel"));
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_ausnahme"));
            if (da)
                bar.Einfuegen(QStringLiteral("uv_regel"), QStringLiteral("name, beschreibung, p1, s1, l1, p2, s2, l2"), 8,
                              regelZeilen);
            bar.Bestaetigen();
        };
        // The largest group as generated, then one member more in the window
        // (a code in no group: it gains every level, and with the rules the
        // question is answered with a reason, as a user would).
        auto gruppePlusEins = [&](bool mitRegeln, bool ausnahmen = false) {
            allesZurueck();
            regeln(mitRegeln);
            // The new member's exceptions granted before: the save checks and asks nothing.
            if (ausnahmen)
                bar.Ausfuehren(QStringLiteral("INSERT INTO uv_ausnahme (pcode, regel, grund) SELECT 'ZZZ', name, "
                                              "'Messung' FROM uv_regel"));
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"), {gruppe});
            bar.Einfuegen(QStringLiteral("uv_gruppen_pcode"), QStringLiteral("gruppe, pos, pcode"), 3, gruppenZeilen);
            bar.Bestaetigen();
            ruhe();
            w.cmbGruppe->setEditText(gruppe);
            w.cmbGruppe_Click();
            w.ctListGruppe->AddItem(QStringLiteral("ZZZ;"));
            if (mitRegeln && !ausnahmen) {
                u.dialoge.auswahl.push_back(0);
                u.dialoge.eingaben.push_back(QStringLiteral("Messung"));
            }
            ruhe();
        };
        ops.push_back({QStringLiteral("Gruppe +1 mit/ohne 2.000 Regeln"), [&] { gruppePlusEins(true); },
                       [&] { w.cmdGruppeSpeichern_Click(); }, [&] { gruppePlusEins(false); },
                       [&] { w.cmdGruppeSpeichern_Click(); }});
        ops.push_back({QStringLiteral("Gruppe +1 mit/ohne 2.000 Regeln, Ausnahmen da"), [&] { gruppePlusEins(true, true); },
                       [&] { w.cmdGruppeSpeichern_Click(); }, [&] { gruppePlusEins(false); },
                       [&] { w.cmdGruppeSpeichern_Click(); }});
        // A level gains the smallest group that it does not hold.
        const QString kleineGruppe =
            bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_gruppen_pcode WHERE gruppe NOT IN (SELECT gruppe FROM "
                                     "uv_programm_gruppe WHERE programmname = ? AND subprogramm = ? AND "
                                     "berechtigungsstufe = ?) GROUP BY gruppe ORDER BY COUNT(*), gruppe LIMIT 1"),
                      stufe)
                .value(0)
                .value(0)
                .toString();
        const QList<QVariantList> stufeZeilen = bar.Lesen(
            QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, pos, gruppe FROM uv_programm_gruppe "
                           "WHERE programmname = ? AND subprogramm = ? AND berechtigungsstufe = ?"),
            stufe);
        auto stufePlusEins = [&](bool mitRegeln) {
            allesZurueck();
            regeln(mitRegeln);
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE programmname = ? AND subprogramm = ? AND "
                                          "berechtigungsstufe = ?"),
                           stufe);
            bar.Einfuegen(QStringLiteral("uv_programm_gruppe"),
                          QStringLiteral("programmname, subprogramm, berechtigungsstufe, pos, gruppe"), 5, stufeZeilen);
            bar.Bestaetigen();
            ruhe();
            w.cmbProgramm->setEditText(stufe[0].toString());
            w.cmbSubProgramm->setEditText(stufe[1].toString());
            w.cmbProgrammStufe->setEditText(stufe[2].toString());
            w.cmbProgrammStufe_Click();
            w.ctListProgramm->AddItem(kleineGruppe);
            // Answers for a question, if the new group's members break a rule; none left from before.
            u.dialoge.auswahl = {0};
            u.dialoge.eingaben = {QStringLiteral("Messung")};
            ruhe();
        };
        ops.push_back({QStringLiteral("Stufe +1 Gruppe mit/ohne 2.000 Regeln"), [&] { stufePlusEins(true); },
                       [&] { w.cmdProgrammSpeichern_Click(); }, [&] { stufePlusEins(false); },
                       [&] { w.cmdProgrammSpeichern_Click(); }});
        // Every violation of the 2,000 rules, as korval-db reports it, against the bare query.
        const DatenbankZiel ziel{m_arbeit.server, m_arbeit.port, m_arbeit.ns};
        ops.push_back({QStringLiteral("report unvereinbar (2.000 Regeln)"),
                       [&] {
                           allesZurueck();
                           regeln(true);
                       },
                       [&] {
                           QFile datei(m_dir.filePath(QStringLiteral("unvereinbar.csv")));
                           QString fehler;
                           if (!datei.open(QIODevice::WriteOnly)) qFatal("report unvereinbar: Datei");
                           QTextStream aus(&datei), err(&fehler);
                           if (Datenbankwerkzeug::Unvereinbar(ziel, QStringLiteral("1"), aus, err) > 1)
                               qFatal("report unvereinbar: %s", qPrintable(fehler));
                           datei.close();
                       },
                       nullptr,
                       [&] {
                           // The violations put together by the server in one query and written out.
                           QSqlQuery& q = bar.Ausfuehren(QStringLiteral(
                               "WITH s AS (%1), mg AS (SELECT DISTINCT pcode, gruppe FROM uv_gruppen_pcode), "
                               "v AS (SELECT mg.pcode, s.regel, %2(s.gruppe, ', ') FILTER (WHERE s.seite = 1) "
                               "g1, %2(s.gruppe, ', ') FILTER (WHERE s.seite = 2) g2 FROM s JOIN mg ON "
                               "mg.gruppe = s.gruppe GROUP BY mg.pcode, s.regel HAVING MIN(s.seite) = 1 AND "
                               "MAX(s.seite) = 2) SELECT v.pcode, COALESCE(p.pname, ''), v.regel, v.g1, v.g2, "
                               "COALESCE(a.grund, ''), COALESCE(a.wer, ''), COALESCE(a.wann, '') FROM v LEFT JOIN "
                               "kv_parpersedv p ON p.firma = '1' AND p.pcode = v.pcode LEFT JOIN uv_ausnahme a ON "
                               "a.pcode = v.pcode AND a.regel = v.regel ORDER BY v.pcode, v.regel")
                                                             .arg(RegelSeitenSql(QStringLiteral("uv_regel")),
                                                                  m_arbeit.postgres ? QStringLiteral("string_agg")
                                                                                    : QStringLiteral("group_concat")));
                           ZeilenSchreiben(q, 8, m_dir.filePath(QStringLiteral("unvereinbar.bar")));
                       }});
        // 10,000 memberships past their date ended, against the bare deletes;
        // their groups are put back whole before each run.
        const QList<QVariantList> faellig = bar.Lesen(QStringLiteral(
            "SELECT gruppe, pos, pcode FROM uv_gruppen_pcode WHERE gruppe <> ? ORDER BY gruppe, pos LIMIT 10000"), {gruppe});
        QVariantList faelligeGruppen;
        for (const QVariantList& z : faellig)
            if (!faelligeGruppen.contains(z[0])) faelligeGruppen.append(z[0]);
        QString marken;
        for (qsizetype i = 0; i < faelligeGruppen.size(); ++i)
            marken += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
        const QList<QVariantList> faelligeGanz = bar.Lesen(
            QStringLiteral("SELECT gruppe, pos, pcode FROM uv_gruppen_pcode WHERE gruppe IN (%1)").arg(marken), faelligeGruppen);
        qsizetype faelligZahl = 0;
        auto faelligMachen = [&] {
            regeln(false);
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe IN (%1)").arg(marken), faelligeGruppen);
            bar.Einfuegen(QStringLiteral("uv_gruppen_pcode"), QStringLiteral("gruppe, pos, pcode"), 3, faelligeGanz);
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_befristung"));
            QList<QVariantList> daten;
            QSet<QString> gesehen;
            for (const QVariantList& z : faellig)
                if (!gesehen.contains(z[0].toString() + QLatin1Char('|') + z[2].toString())) {
                    gesehen.insert(z[0].toString() + QLatin1Char('|') + z[2].toString());
                    daten.append({z[0], z[2], QStringLiteral("2020-01-01"), QStringLiteral("Messung")});
                }
            faelligZahl = daten.size();
            bar.Einfuegen(QStringLiteral("uv_befristung"), QStringLiteral("gruppe, pcode, bis, grund"), 4, daten);
            bar.Bestaetigen();
        };
        ops.push_back({QStringLiteral("ablauf (10.000 fällig)"), faelligMachen,
                       [&] {
                           const auto weg = Pflege::Ablauf(QDate::currentDate());
                           if (!weg || weg->size() != static_cast<size_t>(faelligZahl)) qFatal("ablauf unvollständig");
                       },
                       faelligMachen,
                       [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE EXISTS (SELECT 1 FROM "
                                                         "uv_befristung b WHERE b.gruppe = uv_gruppen_pcode.gruppe AND "
                                                         "b.pcode = uv_gruppen_pcode.pcode AND b.bis < '2026-01-01')"));
                           bar.Ausfuehren(QStringLiteral("DELETE FROM uv_befristung WHERE bis < '2026-01-01'"));
                           bar.Bestaetigen();
                       }});

        // What waiting for the disk at each commit costs: the same saves with
        // the embedded database's earlier setting, which a power cut could undo.
        auto synchron = [&](const char* wert) {
            if (auto* f = dynamic_cast<SqlCacheFactory*>(Zustand().CacheFactory.get()))
                f->select(QStringLiteral("PRAGMA synchronous=%1").arg(QString::fromLatin1(wert)), {}, 1);
        };
        auto stufeAendern = [&](bool normal) {
            allesZurueck();
            ruhe();
            w.cmbProgramm->setEditText(stufe[0].toString());
            w.cmbSubProgramm->setEditText(stufe[1].toString());
            w.cmbProgrammStufe->setEditText(stufe[2].toString());
            w.cmbProgrammStufe_Click();
            const int z = static_cast<int>(ListenZeilen(w.ctListProgramm).indexOf(gruppe));
            if (z >= 0)
                w.ctListProgramm->RemoveItem(z);
            else
                w.ctListProgramm->AddItem(gruppe);
            if (normal) synchron("NORMAL");
            ruhe();
        };
        if (!m_arbeit.postgres) {
            ops.push_back({QStringLiteral("Gruppe sichern FULL/NORMAL"), [&] { gruppeAendern(true); },
                           [&] { w.cmdGruppeSpeichern_Click(); },
                           [&] {
                               gruppeAendern(true);
                               synchron("NORMAL");
                           },
                           [&] {
                               w.cmdGruppeSpeichern_Click();
                               synchron("FULL");
                           }});
            ops.push_back({QStringLiteral("Stufe sichern FULL/NORMAL"), [&] { stufeAendern(false); },
                           [&] { w.cmdProgrammSpeichern_Click(); }, [&] { stufeAendern(true); },
                           [&] {
                               w.cmdProgrammSpeichern_Click();
                               synchron("FULL");
                           }});
        }
        if (m_n >= 10000) {
            // A million log entries, written untimed, for the log window.
            const QString zeit = m_arbeit.postgres
                                     ? QStringLiteral("to_char(timestamp '2025-01-01' + i * interval '1 second', "
                                                      "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')")
                                     : QStringLiteral("strftime('%Y-%m-%dT%H:%M:%fZ', '2025-01-01', '+' || i || ' seconds')");
            const QString reihe = m_arbeit.postgres ? QStringLiteral("generate_series(1, 1000000) AS n(i)")
                                                    : QStringLiteral("n");
            bar.Ausfuehren((m_arbeit.postgres ? QString()
                                              : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                                               "FROM n WHERE i < 1000000) ")) +
                           QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, "
                                          "objekt, vorher, nachher) SELECT %1, '1', '0', 'M' || (i % 20000), 'pc', "
                                          "'speichern', 'Gruppe ' || (i % 2000), '[\"a\"]', '[\"a\",\"b\"]' FROM %2")
                               .arg(zeit, reihe));
            QSqlQuery statistik(bar.Db());
            statistik.exec(m_arbeit.postgres ? QStringLiteral("ANALYZE uv_protokoll") : QStringLiteral("ANALYZE"));
            ops.push_back({QStringLiteral("Protokollfenster öffnen (1 Mio.)"), ruhe, [&] { w.mProtokoll_Click(); },
                           nullptr, [&] {
                               bar.Lesen(QStringLiteral("SELECT zeit, firma, filiale, pcode, rechner, befehl, objekt, "
                                                        "vorher, nachher FROM uv_protokoll ORDER BY zeit DESC, nr DESC "
                                                        "LIMIT 1000"));
                           }});
        }
        // The permission overview: opening, each kind of selection, a filter
        // keystroke on the employee list, and the matrix export where it is of a
        // size to be written in pairs.
        w.mUebersicht_Click();
        frmUebersicht& f = *w.UebersichtFenster();
        const QString mitglied =
            bar.Lesen(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = ? ORDER BY pos"), {gruppe})
                .value(0)
                .value(0)
                .toString();
        auto zeileVon = [](const CtFilterList* l, const QString& text) {
            for (int i = 0; i < l->Angezeigt(); ++i)
                if (l->Gezeigt(i)->daten.toStringList().value(0) == text) return i;
            qFatal("Zeile %s fehlt", qPrintable(text));
        };
        ops.push_back({QStringLiteral("Übersicht öffnen"),
                       [&] {
                           allesZurueck();
                           ruhe();
                       },
                       [&] { w.mUebersicht_Click(); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral("SELECT pcode, pname FROM kv_parpersedv WHERE firma = ? ORDER BY pcode"),
                                     {QStringLiteral("1")});
                           bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe"));
                           bar.Lesen(QStringLiteral("SELECT DISTINCT programmname FROM uv_programm ORDER BY programmname DESC"));
                       }});
        ops.push_back({QStringLiteral("Übersicht Mitarbeiter wählen"), ruhe,
                       [&] { f.ctListMitarbeiter_Click(zeileVon(f.ctListMitarbeiter, mitglied)); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral("SELECT DISTINCT gruppe FROM uv_gruppen_pcode WHERE pcode = ?"), {mitglied});
                           bar.Lesen(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, gruppe "
                                                    "FROM uv_programm_gruppe WHERE gruppe IN (SELECT gruppe FROM "
                                                    "uv_gruppen_pcode WHERE pcode = ?) ORDER BY 1, 2, 3"),
                                     {mitglied});
                       }});
        // Copying the largest group with its members and grants, against the
        // bare statements that insert the same rows; the copy is removed, untimed, before each run.
        const QString kopie = QStringLiteral("Kopie 0001");
        auto kopieWeg = [&] {
            bar.Beginnen();
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"), {kopie});
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"), {kopie});
            bar.Ausfuehren(QStringLiteral("DELETE FROM uv_gruppen WHERE gruppe = ?"), {kopie});
            bar.Bestaetigen();
        };
        ops.push_back({QStringLiteral("Gruppe kopieren (größte Gruppe)"),
                       [&] {
                           kopieWeg();
                           ruhe();
                       },
                       [&] {
                           if (!Pflege::GruppeKopieren(gruppe, kopie, true, true)) qFatal("Kopieren fehlgeschlagen");
                       },
                       kopieWeg, [&] {
                           bar.Beginnen();
                           bar.Ausfuehren(QStringLiteral("INSERT INTO uv_gruppen (gruppe) VALUES (?)"), {kopie});
                           bar.Ausfuehren(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) SELECT ?, "
                                                         "pos, pcode FROM uv_gruppen_pcode WHERE gruppe = ?"),
                                          {kopie, gruppe});
                           bar.Ausfuehren(QStringLiteral(
                                              "INSERT INTO uv_programm_gruppe (programmname, subprogramm, "
                                              "berechtigungsstufe, pos, gruppe) SELECT programmname, subprogramm, "
                                              "berechtigungsstufe, MAX(pos) + 1000, ? FROM uv_programm_gruppe WHERE "
                                              "gruppe = ? GROUP BY programmname, subprogramm, berechtigungsstufe"),
                                          {kopie, gruppe});
                           bar.Bestaetigen();
                       }});
        // Two employees of the largest group compared: the window's query and
        // grouping against the two bare reads of each one's levels.
        const QString zweiter =
            bar.Lesen(QStringLiteral("SELECT pcode FROM uv_gruppen_pcode WHERE gruppe = ? ORDER BY pos"), {gruppe})
                .value(1)
                .value(0)
                .toString();
        ops.push_back({QStringLiteral("Mitarbeiter vergleichen"), ruhe,
                       [&] { Vergleich::Lesen(mitglied, zweiter); }, nullptr, [&] {
                           for (const QString& code : {mitglied, zweiter})
                               bar.Lesen(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe, gruppe "
                                                        "FROM uv_programm_gruppe WHERE gruppe IN (SELECT gruppe FROM "
                                                        "uv_gruppen_pcode WHERE pcode = ?)"),
                                         {code});
                       }});
        ops.push_back({QStringLiteral("Übersicht Gruppe wählen"), ruhe,
                       [&] { f.ctListGruppen_Click(zeileVon(f.ctListGruppen, gruppe)); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral(
                                         "SELECT g.pcode, p.pname FROM uv_gruppen_pcode g LEFT JOIN kv_parpersedv p "
                                         "ON p.firma = '1' AND p.pcode = g.pcode WHERE g.gruppe = ? ORDER BY g.pos"),
                                     {gruppe});
                           bar.Lesen(QStringLiteral("SELECT programmname, subprogramm, berechtigungsstufe FROM "
                                                    "uv_programm_gruppe WHERE gruppe = ? ORDER BY 1, 2, 3"),
                                     {gruppe});
                       }});
        ops.push_back({QStringLiteral("Übersicht Stufe wählen"),
                       [&] {
                           ruhe();
                           f.cmbProgramm->setEditText(stufe[0].toString());
                           f.cmbSubProgramm->setEditText(stufe[1].toString());
                           f.cmbProgrammStufe->setEditText(stufe[2].toString());
                       },
                       [&] { f.cmbProgrammStufe_Click(); }, nullptr, [&] {
                           bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = ? AND "
                                                    "subprogramm = ? AND berechtigungsstufe = ? ORDER BY gruppe"),
                                     stufe);
                           bar.Lesen(QStringLiteral(
                                         "SELECT g.pcode, p.pname, g.gruppe FROM uv_gruppen_pcode g LEFT JOIN "
                                         "kv_parpersedv p ON p.firma = '1' AND p.pcode = g.pcode WHERE g.gruppe IN "
                                         "(SELECT gruppe FROM uv_programm_gruppe WHERE programmname = ? AND "
                                         "subprogramm = ? AND berechtigungsstufe = ?)"),
                                     stufe);
                       }});
        // The bare side of a keystroke: which of the rows contain the text.
        QStringList mitarbeiterTexte;
        for (int i = 0; i < f.ctListMitarbeiter->Gesamt(); ++i)
            mitarbeiterTexte.append(f.ctListMitarbeiter->Gezeigt(i)->text);
        int treffer = 0;
        ops.push_back({QStringLiteral("Übersicht Filter-Tastendruck"),
                       [&] {
                           f.ctListMitarbeiter->Filter()->setText(QStringLiteral("Müll"));
                           ruhe();
                       },
                       [&] { f.ctListMitarbeiter->Filter()->setText(QStringLiteral("Mülle")); }, nullptr, [&] {
                           treffer = 0;
                           for (const QString& t : mitarbeiterTexte)
                               treffer += t.contains(QStringLiteral("mülle"), Qt::CaseInsensitive);
                       }});
        const qint64 matrixZeilen =
            bar.Lesen(QStringLiteral("SELECT SUM(m.n * s.n) FROM (SELECT gruppe, COUNT(*) n FROM uv_gruppen_pcode "
                                     "GROUP BY gruppe) m JOIN (SELECT gruppe, COUNT(*) n FROM uv_programm_gruppe "
                                     "GROUP BY gruppe) s ON s.gruppe = m.gruppe"))
                .value(0)
                .value(0)
                .toLongLong();
        const QString matrixDatei = m_dir.filePath(QStringLiteral("matrix.csv"));
        if (matrixZeilen <= 2000000) {
            ops.push_back({QStringLiteral("Matrix exportieren (%1 Zeilen)").arg(matrixZeilen),
                           [&] {
                               ruhe();
                               u.dialoge.dateien.push_back(matrixDatei);
                           },
                           [&] { w.mMatrixExport_Click(); }, nullptr, [&] {
                               QSqlQuery& q = bar.Ausfuehren(
                                   QStringLiteral("SELECT DISTINCT gp.pcode, COALESCE(p.pname, ''), gp.gruppe, "
                                                  "pg.programmname, pg.subprogramm, pg.berechtigungsstufe FROM "
                                                  "uv_gruppen_pcode gp JOIN uv_programm_gruppe pg ON pg.gruppe = "
                                                  "gp.gruppe LEFT JOIN kv_parpersedv p ON p.firma = '1' AND p.pcode = "
                                                  "gp.pcode ORDER BY 1, 3, 4, 5, 6"));
                               ZeilenSchreiben(q, 6, matrixDatei + QStringLiteral(".bar"));
                           }});
        } else if (!csv) {
            m_out << "Matrix exportieren: " << matrixZeilen << " Zeilen, nicht paarweise gemessen" << Qt::endl;
        }

        for (const Operation& op : ops) {
            if (!op.name.contains(g_nur)) continue;
            Messen(op, csv);
            if (op.name.startsWith(QLatin1String("report unvereinbar")) && !csv) {
                QFile datei(m_dir.filePath(QStringLiteral("unvereinbar.csv")));
                qsizetype verstoesse = -1; // without the header
                if (datei.open(QIODevice::ReadOnly))
                    while (!datei.atEnd()) verstoesse += datei.readLine().isEmpty() ? 0 : 1;
                m_out << "  (" << verstoesse << " Verstöße)" << Qt::endl;
            }
        }
        for (const Gezeigt& g : u.dialoge.gezeigt)
            // The undo's own question is part of its operation.
            if (g.titel != QStringLiteral("Löschen?") && g.art != QLatin1String("Speicherort") &&
                g.titel != QStringLiteral("Änderung rückgängig machen") &&
                // The rules' question, answered with a reason, is part of the save with rules.
                g.titel != QStringLiteral("Unvereinbare Rechte") &&
                !g.text.endsWith(QStringLiteral(" wurde geschrieben.")))
                qFatal("Das Programm meldete: %s", qPrintable(g.text));
        if (w.ctListMitarbeiter->ListCount() == 0 && g_nur.isEmpty())
            qFatal("Listen leer: die Messung hat nichts geladen");
        m_bar.reset();
        Zustand().CacheFactory.reset();
        // The start measures the whole company again.
        if (!g_nur.isEmpty()) return;
        Kopie();
        Start(programmPfad, zeile, csv);
    }

    // The real program from exec to the loaded main window's first paint.
    void Start(const QString& programmPfad, const QString& zeile, bool csv) {
        QProcess xvfb;
        QString anzeige;
        const QString xvfbPfad = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (!xvfbPfad.isEmpty()) {
            anzeige = QStringLiteral(":%1").arg(90 + QCoreApplication::applicationPid() % 100);
            xvfb.start(xvfbPfad, {anzeige, QStringLiteral("-screen"), QStringLiteral("0"),
                                  QStringLiteral("1280x900x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            xvfb.waitForStarted();
            QThread::msleep(300);
        }
        Reihe wand;
        QString speicher;
        for (int i = 0; i < m_paare; ++i) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("KORVAL_NACH_LADEN_BEENDEN"), QStringLiteral("1"));
            if (anzeige.isEmpty())
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            else {
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
                env.insert(QStringLiteral("DISPLAY"), anzeige);
            }
            p.setProcessEnvironment(env);
            QElapsedTimer t;
            t.start();
            p.start(programmPfad, zeile.split(QLatin1Char(' ')));
            QByteArray ausgabe;
            while (!ausgabe.contains("gezeichnet") && p.waitForReadyRead(120000))
                ausgabe += p.readAllStandardOutput();
            wand.werte.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            p.waitForFinished(120000);
            ausgabe += p.readAllStandardOutput();
            if (!ausgabe.contains("gezeichnet")) qFatal("Start ohne Bild: %s", p.readAllStandardError().constData());
            for (const QByteArray& z : ausgabe.split('\n'))
                if (z.startsWith("VmHWM")) speicher = QString::fromLatin1(z.mid(6)).simplified();
        }
        if (!anzeige.isEmpty()) {
            xvfb.terminate();
            xvfb.waitForFinished();
        }
        const QString wie = anzeige.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("Xvfb");
        if (csv) {
            m_out << "Start," << (m_arbeit.postgres ? "postgres" : "sqlite") << ',' << m_n << ',' << m_latenz << ','
                  << m_paare << ",," << QString::number(wand.Median(), 'f', 1) << ",,,," << Qt::endl;
            m_out << "# peak_memory " << speicher << " (" << wie << ")" << Qt::endl;
            return;
        }
        m_out << QStringLiteral("Start bis erstes Bild (%1)").arg(wie)
              << QStringLiteral(": %1/%2/%3 ms, Spitzenspeicher %4")
                     .arg(wand.Min(), 0, 'f', 0)
                     .arg(wand.Median(), 0, 'f', 0)
                     .arg(wand.Max(), 0, 'f', 0)
                     .arg(speicher)
              << Qt::endl;
    }

  private:
    QTemporaryDir m_dir;
    Ziel m_vorlage, m_arbeit;
    QString m_pgHost, m_pgPort, m_info;
    int m_n, m_paare, m_stufen = 0, m_mitglieder = 0;
    double m_latenz;
    QTextStream& m_out;
    std::unique_ptr<Direkt> m_bar;
#ifdef Q_OS_UNIX
    std::unique_ptr<Relais> m_relais;
#endif
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption backend(QStringLiteral("backend"), QStringLiteral("sqlite oder postgres"),
                                     QStringLiteral("B"), QStringLiteral("sqlite"));
    const QCommandLineOption mitarbeiter(QStringLiteral("employees"), QStringLiteral("Mitarbeiter"),
                                         QStringLiteral("N"), QStringLiteral("20000"));
    const QCommandLineOption paare(QStringLiteral("pairs"), QStringLiteral("Paare aus Programm und bar (mindestens 7)"),
                                   QStringLiteral("P"), QStringLiteral("7"));
    const QCommandLineOption latenz(QStringLiteral("latency"),
                                    QStringLiteral("Umlaufzeit in ms vor PostgreSQL (Relais auf dem Loopback)"),
                                    QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("eine CSV-Zeile je Operation"));
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("kurzer Lauf mit kleinen Daten"));
    const QCommandLineOption programm(QStringLiteral("program"), QStringLiteral("Pfad der benutzerverwaltung"),
                                      QStringLiteral("P"));
    const QCommandLineOption nur(QStringLiteral("only"),
                                 QStringLiteral("nur die Operationen, deren Name TEXT enthält (ohne den Start)"),
                                 QStringLiteral("TEXT"));
    parser.addOptions({backend, mitarbeiter, paare, latenz, csv, smoke, programm, nur});
    parser.addHelpOption();
    parser.process(app);
    QTextStream out(stdout);
    const bool pg = parser.value(backend) == QLatin1String("postgres");
    if (pg && qEnvironmentVariableIsEmpty("PGHOST")) {
        out << "kein PostgreSQL-Server (PGHOST fehlt)" << Qt::endl;
        return qEnvironmentVariable("CI") == QLatin1String("true") ? 1 : 0;
    }
    const double ms = parser.value(latenz).toDouble();
#ifndef Q_OS_UNIX
    if (ms > 0) {
        out << "--latency gibt es nur unter Unix" << Qt::endl;
        return 2;
    }
#endif
    if (ms > 0 && !pg) {
        out << "--latency gilt für PostgreSQL" << Qt::endl;
        return 2;
    }
    const int n = parser.isSet(smoke) ? 400 : parser.value(mitarbeiter).toInt();
    const int p = parser.isSet(smoke) ? 1 : std::max(1, parser.value(paare).toInt());
    QString pfad = parser.value(programm);
    if (pfad.isEmpty()) pfad = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/benutzerverwaltung");
    if (!parser.isSet(csv))
        out << "Backend " << (pg ? "PostgreSQL" : "SQLite") << ", Umlaufzeit " << ms << " ms" << Qt::endl;
    g_nur = parser.value(nur);
    Bench b(pg, n, p, ms, out);
    if (!b.Erzeugen()) return 1;
    b.Laufen(pfad, parser.isSet(csv));
    return 0;
}
