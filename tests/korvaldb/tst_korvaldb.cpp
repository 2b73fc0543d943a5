// korval-db: a new database, the demo company, a generated company.

#include "testumgebung.h"

#include "datenbankwerkzeug.h"
#include "server/sqlfactory.h"

#include <QProcess>
#include <QtTest>

class TestKorvalDb : public QObject {
    Q_OBJECT
  private slots:
    void init() { KORVAL_BACKEND_PRUEFEN(); }
    void schlechteZiele();
    void demoZweimalWirdAbgewiesen();
    void generierenIstWiederholbar();
    void kommandozeile();
};

void TestKorvalDb::schlechteZiele() {
    QString text;
    QTextStream aus(&text);
    DatenbankZiel z;
    z.server = QStringLiteral("/proc/kein/verzeichnis");
    QVERIFY(!Datenbankwerkzeug::Init(z, aus));
    QVERIFY(text.contains(QStringLiteral("korval-db:")));
    QTemporaryDir leer;
    z.server = leer.path();
    QVERIFY(!Datenbankwerkzeug::Demo(z, aus)); // no file yet
    z.port = QStringLiteral("x");
    z.server = QStringLiteral("localhost");
    QVERIFY(!Datenbankwerkzeug::Init(z, aus));
}

void TestKorvalDb::demoZweimalWirdAbgewiesen() {
    Testdatenbank db;
    QVERIFY(db.Ok());
    QString text;
    QTextStream aus(&text);
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    QVERIFY(Datenbankwerkzeug::Init(z, aus)); // init again keeps the data
    QVERIFY(!Datenbankwerkzeug::Demo(z, aus));
    QVERIFY(text.contains(QStringLiteral("schon Mitarbeiter")));
    auto f = db.NeuerClient();
    QVERIFY(f->IsConnected());
    QCOMPARE(f->OpenId(QStringLiteral("KV.ParPersEdv"), QStringLiteral("1||ADM"))
                 ->Eigenschaft(QStringLiteral("BERGRP")),
             QStringLiteral("9"));
}

void TestKorvalDb::generierenIstWiederholbar() {
    QStringList stand[2];
    for (auto& s : stand) {
        QTemporaryDir dir;
        DatenbankZiel z;
        z.server = dir.path();
        QString text;
        QTextStream aus(&text);
        QVERIFY(Datenbankwerkzeug::Init(z, aus));
        GenerierParameter p;
        p.mitarbeiter = 300;
        p.gruppen = 20;
        p.maxMitglieder = 50;
        p.programme = 4;
        p.subprogramme = 3;
        p.stufen = 2;
        QVERIFY2(Datenbankwerkzeug::Generieren(z, p, aus), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Stufen: 24 von 24")));
        SqlCacheFactory f;
        QVERIFY(f.Connect(z.connStrg()));
        for (const auto& r :
             f.select(QStringLiteral("SELECT gruppe, pos, pcode FROM uv_gruppen_pcode ORDER BY gruppe, pos"),
                      {}, 3))
            s.append(r.join(QLatin1Char(',')));
        QCOMPARE(f.select(QStringLiteral("SELECT COUNT(*) FROM uv_programm"), {}, 1).front().front(),
                 QStringLiteral("24"));
        QCOMPARE(f.select(QStringLiteral("SELECT COUNT(*) FROM kv_parpersedv"), {}, 1).front().front(),
                 QStringLiteral("301"));
    }
    QVERIFY(!stand[0].isEmpty());
    QCOMPARE(stand[0], stand[1]);
}

void TestKorvalDb::kommandozeile() {
    QTemporaryDir dir;
    const QString prog =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/korval-db/korval-db");
    QProcess p;
    p.start(prog, {QStringLiteral("init"), QStringLiteral("--server"), dir.path()});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    p.start(prog, {QStringLiteral("demo"), QStringLiteral("--server"), dir.path()});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("KORVAL.sqlite"))));
    p.start(prog, {QStringLiteral("unsinn")});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 2);
}

QTEST_MAIN(TestKorvalDb)
#include "tst_korvaldb.moc"
