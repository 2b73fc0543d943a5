// A save reported as stored survives a power cut: commands run on the
// embedded database, the power fails after each of them in turn (everything
// not synced is lost), and the database opened again must hold every change
// reported before the cut, with its log entry, and no half of any.

#include "testumgebung.h"

#include "stromausfall.h"

#include "permissions/berechtigungen.h"
#include "server/sqlfactory.h"

#include <QtTest>

#include <functional>

namespace {
const QString KG = Berechtigung::KlasseGruppen, KP = Berechtigung::KlasseProgramm;

// Records, lists in order and the change log, read on the connection itself.
QStringList Stand(SqlCacheFactory& f) {
    QStringList s;
    for (const char* sql :
         {"SELECT 'G', gruppe, '', '' FROM uv_gruppen", "SELECT 'M', gruppe, pos, pcode FROM uv_gruppen_pcode",
          "SELECT 'P', programmname, subprogramm, berechtigungsstufe FROM uv_programm",
          "SELECT 'R', programmname || '|' || subprogramm || '|' || berechtigungsstufe, pos, gruppe FROM uv_programm_gruppe",
          "SELECT 'L', nr, befehl, objekt FROM uv_protokoll"})
        for (const QStringList& r : f.select(QString::fromLatin1(sql), {}, 4))
            s.append(r.join(QLatin1Char(';')));
    s.sort();
    return s;
}

// The commands, each in its own transaction as the program runs them.
const std::vector<std::function<void(CacheFactory&)>>& Befehle() {
    static const std::vector<std::function<void(CacheFactory&)>> b = {
        [](CacheFactory& f) {
            f.Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                           {QStringLiteral("Lager"), Liste(f, {QStringLiteral("GRO"), QStringLiteral("NEU")})});
        },
        [](CacheFactory& f) {
            Berechtigung::GruppeSicherstellen(f, QStringLiteral("Neu"));
            f.Klassenmethoden(KG)->Methode(QStringLiteral("SaveCodes"),
                                           {QStringLiteral("Neu"), Liste(f, {QStringLiteral("A"), QStringLiteral("B")})});
        },
        [](CacheFactory& f) {
            f.Klassenmethoden(KP)->Methode(QStringLiteral("SaveGruppen"),
                                           {QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2"),
                                            Liste(f, {QStringLiteral("Lager"), QStringLiteral("Neu")})});
        },
        [](CacheFactory& f) {
            Berechtigung::DatensatzLoeschen(f, KG, QStringLiteral("Verkauf"));
            f.Klassenmethoden(KP)->Methode(QStringLiteral("GruppeEntziehen"), {QStringLiteral("Verkauf")});
        },
        [](CacheFactory& f) { Berechtigung::DatensatzLoeschen(f, KP, QStringLiteral("Auftrag||Erfassen||2")); },
        [](CacheFactory& f) {
            f.Klassenmethoden(KP)->Methode(QStringLiteral("StufenLoeschen"), {QStringLiteral("Finanzen"), QString()});
        },
    };
    return b;
}
} // namespace

class TestHaltbarkeit : public QObject {
    Q_OBJECT
  private slots:
    void stromausfallNachJedemBefehl_data();
    void stromausfallNachJedemBefehl();
    void cleanupTestCase();

  private:
    int m_verlorenNormal = 0;
};

void TestHaltbarkeit::stromausfallNachJedemBefehl_data() {
    QTest::addColumn<bool>("voll");
    QTest::addColumn<int>("befehle");
    for (bool voll : {true, false})
        for (int k = 1; k <= static_cast<int>(Befehle().size()); ++k)
            QTest::addRow("%s, Ausfall nach %d", voll ? "synchronous=FULL" : "synchronous=NORMAL", k) << voll << k;
}

void TestHaltbarkeit::stromausfallNachJedemBefehl() {
    QFETCH(bool, voll);
    QFETCH(int, befehle);
    Testdatenbank db;
    QVERIFY(db.Ok());
    Stromausfall::Einschalten();
    std::vector<QStringList> staende;
    {
        SqlCacheFactory f;
        QVERIFY(f.Connect(db.ConnStrg()) && AlsVerwalter(f));
        // The program's own setting, or the one it had before.
        if (!voll) f.select(QStringLiteral("PRAGMA synchronous=NORMAL"), {}, 1);
        QCOMPARE(f.select(QStringLiteral("PRAGMA synchronous"), {}, 1).front().front(),
                 voll ? QStringLiteral("2") : QStringLiteral("1"));
        staende.push_back(Stand(f));
        for (int i = 0; i < befehle; ++i) {
            f.TransaktionBeginnen();
            Befehle()[static_cast<size_t>(i)](f);
            f.TransaktionBestaetigen(); // reported as stored from here on
            staende.push_back(Stand(f));
        }
        Stromausfall::Ausfall();
        f.Disconnect();
    }
    Stromausfall::Wiederherstellen();
    SqlCacheFactory g;
    QVERIFY2(g.Connect(db.ConnStrg()), qPrintable(g.LetzterFehler()));
    QCOMPARE(g.select(QStringLiteral("PRAGMA integrity_check"), {}, 1).front().front(), QStringLiteral("ok"));
    const QStringList nach = Stand(g);
    // Whole commands only: the state after some of them, never half of one.
    const auto it = std::find(staende.begin(), staende.end(), nach);
    QVERIFY2(it != staende.end(), "ein halb geschriebener Stand");
    const int erhalten = static_cast<int>(it - staende.begin());
    if (voll)
        QCOMPARE(erhalten, befehle);
    else
        m_verlorenNormal += befehle - erhalten;
}

void TestHaltbarkeit::cleanupTestCase() {
    // The same cuts on the earlier setting lose commits the program had called stored.
    qInfo("synchronous=NORMAL: %d gemeldete Befehle verloren", m_verlorenNormal);
    QVERIFY(m_verlorenNormal > 0);
}

QTEST_MAIN(TestHaltbarkeit)
#include "tst_haltbarkeit.moc"
