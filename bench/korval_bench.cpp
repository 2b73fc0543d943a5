// Measures the program's own procedures on a large generated company, beside
// the bare cost of the same data work through Qt SQL, on SQLite or PostgreSQL.
//
//   korval_bench [--backend sqlite|postgres] [--employees N] [--repeat R] [--smoke]
//
// Sizes follow the employee count: N/10 groups of up to N/10 members (the first
// group has exactly N/10), N/40 programs of 10 sub-programs with 5 levels each.

#include "testumgebung.h"

#include "database/anmeldung.h"
#include "database/verbindung.h"
#include "database/zustand.h"
#include "datenbankwerkzeug.h"
#include "mainwindow/fmstart.h"
#include "mainwindow/listenladen.h"
#include "server/schema.h"
#include "platform/widgets/ctlist.h"
#include "signon/fmpass.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Ziel {
    bool postgres = false;
    QString server, port, ns;
    QString connStrg() const { return QStringLiteral("cn_iptcp:%1[%2]:%3").arg(server, port, ns); }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs `vorher` untimed and `messen` timed, `n` times; median in milliseconds.
double Messen(int n, const std::function<void()>& vorher, const std::function<void()>& messen) {
    std::vector<double> zeiten;
    for (int i = 0; i < n; ++i) {
        if (vorher) vorher();
        QElapsedTimer t;
        t.start();
        messen();
        zeiten.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return Median(zeiten);
}

// A plain Qt SQL connection for the bare figures.
class Direkt {
  public:
    explicit Direkt(const Ziel& z)
        : m_name(QStringLiteral("bench-") + QUuid::createUuid().toString(QUuid::Id128)) {
        QString warum;
        auto t = ConnectionTarget::parse(z.connStrg());
        m_db = Schema::open(*t, m_name, warum);
        if (!m_db.isOpen()) qFatal("Keine Verbindung: %s", qPrintable(warum));
    }
    ~Direkt() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    // Runs a statement and reads every row and column.
    int Lesen(const QString& sql, const QVariantList& werte) {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        q.prepare(sql);
        for (int i = 0; i < werte.size(); ++i)
            q.bindValue(i, werte[i]);
        if (!q.exec()) qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        int n = 0;
        const int spalten = q.record().count();
        QString summe;
        while (q.next()) {
            for (int c = 0; c < spalten; ++c)
                summe = q.value(c).toString();
            ++n;
        }
        return n;
    }
    void Ausfuehren(const QStringList& sql, const QVariantList& werte) {
        m_db.transaction();
        for (const QString& s : sql) {
            QSqlQuery q(m_db);
            q.prepare(s);
            for (int i = 0; i < werte.size(); ++i)
                q.bindValue(i, werte[i]);
            if (!q.exec()) qFatal("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
        }
        m_db.commit();
    }
    QSqlDatabase& Db() { return m_db; }

  private:
    QString m_name;
    QSqlDatabase m_db;
};

bool PgBefehl(const Ziel& z, const QString& sql) {
    const QString name = QStringLiteral("bench-admin");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(z.server);
        db.setPort(z.port.toInt());
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

class Bench {
  public:
    Bench(bool postgres, int mitarbeiter, int wiederholungen, QTextStream& out)
        : m_n(mitarbeiter), m_r(wiederholungen), m_out(out) {
        m_vorlage.postgres = m_arbeit.postgres = postgres;
        if (postgres) {
            m_vorlage.server = m_arbeit.server = qEnvironmentVariable("PGHOST", QStringLiteral("localhost"));
            m_vorlage.port = m_arbeit.port = qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
            const QString id = QString::number(QCoreApplication::applicationPid());
            m_vorlage.ns = QStringLiteral("korval_bench_vorlage_") + id;
            m_arbeit.ns = QStringLiteral("korval_bench_") + id;
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
            PgBefehl(m_arbeit, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_arbeit.ns));
            PgBefehl(m_vorlage, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_vorlage.ns));
        }
    }

    bool Erzeugen() {
        DatenbankZiel z{m_vorlage.server, m_vorlage.port, m_vorlage.ns};
        GenerierParameter p;
        p.mitarbeiter = m_n;
        p.gruppen = std::max(1, m_n / 10);
        p.maxMitglieder = std::max(1, m_n / 10);
        p.programme = std::max(2, m_n / 40);
        p.subprogramme = 10;
        p.stufen = 5;
        p.gruppenJeStufe = 3;
        m_stufen = p.programme * 50;
        QString text;
        QTextStream leise(&text);
        QElapsedTimer t;
        t.start();
        const bool ok = Datenbankwerkzeug::Init(z, leise) && Datenbankwerkzeug::Generieren(z, p, leise);
        if (!ok) m_out << text << Qt::endl;
        // Statistics made now, so that no background analysis runs during the measurements.
        if (ok) {
            Direkt d(m_vorlage);
            QSqlQuery q(d.Db());
            q.exec(m_vorlage.postgres ? QStringLiteral("VACUUM ANALYZE") : QStringLiteral("ANALYZE"));
        }
        m_out << "Daten: " << m_n << " Mitarbeiter, " << p.gruppen << " Gruppen (größte " << p.maxMitglieder
              << " Mitglieder), " << m_stufen << " Stufen; erzeugt in " << t.elapsed() << " ms" << Qt::endl;
        return ok;
    }

    // A fresh working copy of the generated company.
    void Kopie() {
        Zustand().CacheFactory.reset();
        if (m_arbeit.postgres) {
            PgBefehl(m_arbeit, QStringLiteral("DROP DATABASE IF EXISTS \"%1\"").arg(m_arbeit.ns));
            PgBefehl(m_arbeit,
                     QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE \"%2\"").arg(m_arbeit.ns, m_vorlage.ns));
            return;
        }
        const QString ziel = m_arbeit.server + QStringLiteral("/KORVAL.sqlite");
        for (const char* endung : {"", "-wal", "-shm"})
            QFile::remove(ziel + QString::fromLatin1(endung));
        QFile::copy(m_vorlage.server + QStringLiteral("/KORVAL.sqlite"), ziel);
    }

    void Zeile(const char* was, double programm, double bar) {
        m_out << QStringLiteral("%1 %2 ms").arg(QString::fromUtf8(was), -34).arg(programm, 9, 'f', 1);
        if (bar > 0)
            m_out << QStringLiteral("   bar %1 ms   Faktor %2")
                         .arg(bar, 8, 'f', 1)
                         .arg(programm / bar, 5, 'f', 2);
        m_out << Qt::endl;
    }

    void Laufen(const QString& programmPfad) {
        Kopie();
        Testumgebung u(false);
        FMStart w(u.login.get(), u.verlauf.get());
        u.login->setHauptfenster(&w);
        w.show();
        auto barVerbindung = std::make_unique<Direkt>(m_arbeit);
        Direkt& bar = *barVerbindung;
        const QString zeile =
            QStringLiteral("1 0 ADM demo %1 %2 %3").arg(m_arbeit.server, m_arbeit.port, m_arbeit.ns);
        const QString gruppe = QStringLiteral("Gruppe 0001");

        Zeile("Anmeldung (user_anmeld)",
              Messen(
                  m_r, [] { Trennen(); },
                  [&] {
                      Zustand().ProgrammKommandozeile = zeile;
                      Zustand().Kommandozeile.clear();
                      if (!user_anmeld()) qFatal("Anmeldung fehlgeschlagen");
                  }),
              Messen(m_r, nullptr, [&] {
                  Direkt d(m_arbeit);
                  d.Lesen(QStringLiteral("SELECT * FROM kv_parpersedv WHERE firma = '1' AND pcode = 'ADM'"),
                          {});
                  d.Lesen(QStringLiteral("SELECT * FROM kv_parpersabt WHERE firma = '1' AND abtnr = '10'"),
                          {});
                  d.Lesen(QStringLiteral("SELECT * FROM kv_persbasis WHERE firma = '1' AND pnr = '1'"), {});
              }));
        int zeilen = 0;
        const double barListe = Messen(m_r, nullptr, [&] {
            zeilen = bar.Lesen(
                QStringLiteral("SELECT pcode, pname FROM kv_parpersedv WHERE firma = ? ORDER BY pcode"),
                {QStringLiteral("1")});
        });
        Zeile("MitarbeiterLaden",
              Messen(m_r, nullptr,
                     [&] {
                         MitarbeiterLaden(w.ctListMitarbeiter, false);
                         QCoreApplication::processEvents();
                     }),
              barListe);
        // The same without the repaint that follows it.
        Zeile("  davon ohne Neuzeichnen",
              Messen(
                  m_r, [] { QCoreApplication::processEvents(); },
                  [&] { MitarbeiterLaden(w.ctListMitarbeiter, false); }),
              barListe);
        QCoreApplication::processEvents();
        if (w.ctListMitarbeiter->ListCount() != zeilen)
            qFatal("Mitarbeiterliste unvollständig: %d von %d", w.ctListMitarbeiter->ListCount(), zeilen);
        Zeile("GruppenLaden", Messen(m_r, nullptr, [&] { GruppenLaden(w.cmbGruppe); }),
              Messen(m_r, nullptr, [&] {
                  bar.Lesen(QStringLiteral("SELECT gruppe FROM uv_gruppen ORDER BY gruppe"), {});
              }));
        Zeile("ProgrammeLaden", Messen(m_r, nullptr, [&] { ProgrammeLaden(w.cmbProgramm); }),
              Messen(m_r, nullptr, [&] {
                  bar.Lesen(QStringLiteral(
                                "SELECT DISTINCT programmname FROM uv_programm ORDER BY programmname DESC"),
                            {});
              }));
        w.cmbGruppe->setEditText(gruppe);
        Zeile("cmbGruppe_Click (größte Gruppe)", Messen(m_r, nullptr, [&] { w.cmbGruppe_Click(); }),
              Messen(m_r, nullptr, [&] {
                  bar.Lesen(QStringLiteral(
                                "SELECT g.pcode, p.pname FROM uv_gruppen_pcode g LEFT JOIN kv_parpersedv p "
                                "ON p.firma = '1' AND p.pcode = g.pcode WHERE g.gruppe = ? ORDER BY g.pos"),
                            {gruppe});
              }));
        const int mitglieder = w.ctListGruppe->ListCount();
        Zeile("Gruppe speichern", Messen(m_r, nullptr, [&] { w.cmdGruppeSpeichern_Click(); }),
              Messen(m_r, nullptr, [&] {
                  bar.Db().transaction();
                  QSqlQuery d(bar.Db());
                  d.prepare(QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"));
                  d.addBindValue(gruppe);
                  d.exec();
                  QSqlQuery i(bar.Db());
                  i.prepare(
                      QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES (?, ?, ?)"));
                  for (int k = 0; k < mitglieder; ++k) {
                      i.bindValue(0, gruppe);
                      i.bindValue(1, k + 1);
                      i.bindValue(2, w.ctListGruppe->List(k).section(QLatin1Char(';'), 0, 0));
                      i.exec();
                  }
                  bar.Db().commit();
              }));
        w.cmbProgramm->setEditText(QStringLiteral("Programm 0001"));
        w.cmbSubProgramm->setEditText(QStringLiteral("Teil 01"));
        w.cmbProgrammStufe->setEditText(QStringLiteral("1"));
        Zeile("cmbProgrammStufe_Click", Messen(m_r, nullptr, [&] { w.cmbProgrammStufe_Click(); }),
              Messen(m_r, nullptr, [&] {
                  bar.Lesen(
                      QStringLiteral("SELECT gruppe FROM uv_programm_gruppe WHERE programmname = ? AND "
                                     "subprogramm = ? AND berechtigungsstufe = ? ORDER BY pos"),
                      {QStringLiteral("Programm 0001"), QStringLiteral("Teil 01"), QStringLiteral("1")});
              }));
        if (w.ctListProgramm->ListCount() == 0) qFatal("Stufe ohne Gruppen");

        // The deletes each start from a fresh copy; no connection may stay on the old one.
        barVerbindung.reset();
        auto neu = [&] {
            Kopie();
            Zustand().ProgrammKommandozeile = zeile;
            Zustand().Kommandozeile.clear();
            user_anmeld();
        };
        Zeile(qPrintable(QStringLiteral("Gruppe löschen (%1 Stufen)").arg(m_stufen)),
              Messen(
                  m_r,
                  [&] {
                      neu();
                      w.cmbGruppe->setEditText(gruppe);
                      u.dialoge.antworten.push_back(DialogService::Yes);
                  },
                  [&] { w.cmdGruppeLoeschen_Click(); }),
              Messen(
                  m_r, [&] { Kopie(); },
                  [&] {
                      Direkt d(m_arbeit);
                      d.Ausfuehren({QStringLiteral("DELETE FROM uv_programm_gruppe WHERE gruppe = ?"),
                                    QStringLiteral("DELETE FROM uv_gruppen_pcode WHERE gruppe = ?"),
                                    QStringLiteral("DELETE FROM uv_gruppen WHERE gruppe = ?")},
                                   {gruppe});
                  }));
        if (u.dialoge.Anzahl(QStringLiteral("MsgBox")) != m_r) qFatal("Gruppe löschen meldete einen Fehler");
        Zeile("Programm löschen (50 Stufen)",
              Messen(
                  m_r,
                  [&] {
                      neu();
                      w.cmbProgramm->setEditText(QStringLiteral("Programm 0002"));
                      u.dialoge.antworten.push_back(DialogService::Yes);
                  },
                  [&] { w.cmdProgrammLoeschen_Click(); }),
              Messen(
                  m_r, [&] { Kopie(); },
                  [&] {
                      Direkt d(m_arbeit);
                      d.Ausfuehren({QStringLiteral("DELETE FROM uv_programm_gruppe WHERE programmname = ?"),
                                    QStringLiteral("DELETE FROM uv_programm WHERE programmname = ?")},
                                   {QStringLiteral("Programm 0002")});
                  }));
        Zustand().CacheFactory.reset();

        // Start-up of the real program, from process start to the loaded main window.
        Kopie();
        QString speicher;
        const double start = Messen(m_r, nullptr, [&] {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("KORVAL_NACH_LADEN_BEENDEN"), QStringLiteral("1"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            p.setProcessEnvironment(env);
            p.start(programmPfad, zeile.split(QLatin1Char(' ')));
            p.waitForFinished(120000);
            speicher = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        });
        Zeile("Start bis geladenes Hauptfenster", start, 0);
        m_out << "Spitzenspeicher des Programms nach dem Start: " << speicher.simplified() << Qt::endl;
    }

  private:
    QTemporaryDir m_dir;
    Ziel m_vorlage, m_arbeit;
    int m_n, m_r, m_stufen = 0;
    QTextStream& m_out;
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
    const QCommandLineOption wiederholungen(QStringLiteral("repeat"), QStringLiteral("Wiederholungen"),
                                            QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("kurzer Lauf mit kleinen Daten"));
    const QCommandLineOption programm(QStringLiteral("program"),
                                      QStringLiteral("Pfad der benutzerverwaltung"), QStringLiteral("P"));
    parser.addOptions({backend, mitarbeiter, wiederholungen, smoke, programm});
    parser.addHelpOption();
    parser.process(app);
    QTextStream out(stdout);
    const bool pg = parser.value(backend) == QLatin1String("postgres");
    if (pg && qEnvironmentVariableIsEmpty("PGHOST")) {
        out << "kein PostgreSQL-Server (PGHOST fehlt)" << Qt::endl;
        return qEnvironmentVariable("CI") == QLatin1String("true") ? 1 : 0;
    }
    const int n = parser.isSet(smoke) ? 400 : parser.value(mitarbeiter).toInt();
    const int r = parser.isSet(smoke) ? 1 : std::max(1, parser.value(wiederholungen).toInt());
    QString pfad = parser.value(programm);
    if (pfad.isEmpty())
        pfad = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/benutzerverwaltung");
    out << "Backend " << (pg ? "PostgreSQL" : "SQLite") << ", Median aus " << r << " Läufen" << Qt::endl;
    Bench b(pg, n, r, out);
    if (!b.Erzeugen()) return 1;
    b.Laufen(pfad);
    return 0;
}
