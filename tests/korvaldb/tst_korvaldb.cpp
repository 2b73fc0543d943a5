// korval-db: a new database, the demo company, a generated company.

#include "testumgebung.h"

#include "datenbankwerkzeug.h"
#include "server/schema.h"
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
    void berichtWerWasDarf();
    void protokollAusgebenUndBereinigen();
    void protokollketteZeigtEingriffe_data();
    void protokollketteZeigtEingriffe();
    void upgradeBringtAltesSchemaAufStand();
    void funktionenOhneBefund();
    void gepflanzteFunktionWirdNieGerufen();
    void anweisungenTrennen();
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
    {
        AlsEigentuemer eigentuemer;
        QVERIFY(Datenbankwerkzeug::Init(z, aus)); // init again keeps the data
        QVERIFY(!Datenbankwerkzeug::Demo(z, aus));
    }
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
    // Option errors are wrong input too: German, status 2.
    const std::pair<QStringList, QString> falsch[] = {
        {{QStringLiteral("init"), QStringLiteral("--sever"), dir.path()}, QStringLiteral("unbekannte Option: sever")},
        {{QStringLiteral("init"), QStringLiteral("--server")}, QStringLiteral("Wert fehlt nach --server")},
        // A known command called wrongly shows how it goes; an empty date does not lift the end date.
        {{QStringLiteral("befristen"), QStringLiteral("Lager"), QStringLiteral("OEZ"), QString(), QStringLiteral("--server"),
          dir.path(), QStringLiteral("--als"), QStringLiteral("ADM")},
         QStringLiteral("falscher Aufruf; so geht es:\n  befristen GRUPPE CODE DATUM")},
        {{QStringLiteral("report"), QStringLiteral("befristungen"), QStringLiteral("--tage"), QStringLiteral("-1"),
          QStringLiteral("--server"), dir.path()},
         QStringLiteral("  report befristungen [--tage N]")},
        {{QStringLiteral("gruppe-kopieren"), QStringLiteral("Lager"), QStringLiteral("--server"), dir.path()},
         QStringLiteral("  gruppe-kopieren QUELLE ZIEL")}};
    for (const auto& [argumente, meldung] : falsch) {
        p.start(prog, argumente);
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(meldung), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("Optionen:")), qPrintable(err));
    }
}

// korval-db report: who may do what as CSV, checked against the tables.
void TestKorvalDb::protokollAusgebenUndBereinigen() {
    Testdatenbank db;
    QVERIFY(db.Ok());
    const QString einfuegen = QStringLiteral("INSERT INTO uv_protokoll (zeit, firma, filiale, pcode, rechner, befehl, "
                                             "objekt, vorher, nachher) VALUES (?, '1', '0', ?, 'pc', ?, ?, ?, ?)");
    db.SqlAendern(einfuegen, {QStringLiteral("2026-01-01T10:00:00.000Z"), QStringLiteral("ADM"), QStringLiteral("speichern"),
                              QStringLiteral("Gruppe 100%_x"), QStringLiteral("[]"), QStringLiteral("[\"a;b\"]")});
    db.SqlAendern(einfuegen, {QStringLiteral("2026-12-08T10:00:00.000Z"), QStringLiteral("SOM"), QStringLiteral("löschen"),
                              QStringLiteral("Gruppe Lager"), QStringLiteral("[\"GRO\"]"), QStringLiteral("")});
    db.SqlAendern(einfuegen, {QStringLiteral("2026-12-08T11:00:00.000Z"), QStringLiteral("SOM"), QStringLiteral("löschen"),
                              QStringLiteral("Gruppe 100x"), QStringLiteral("[]"), QStringLiteral("")});
    db.SqlAendern(einfuegen, {QStringLiteral("2026-12-08T12:00:00.000Z"), QStringLiteral("@Mü"),
                              QStringLiteral("speichern"), QStringLiteral("Gruppe Büro"),
                              QStringLiteral("[]"), QStringLiteral("")});
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    auto objekte = [&](const Datenbankwerkzeug::ProtokollFilter& f) {
        QString text, fehler;
        QTextStream aus(&text), err(&fehler);
        if (!Datenbankwerkzeug::Protokoll(z, f, aus, err)) return QStringList{fehler};
        QStringList o;
        const QList<QStringList> zeilen = CsvLesen(text.mid(1));
        for (const QStringList& r : zeilen.mid(1)) {
            o.append(r.value(6));
            // A code a spreadsheet would take for a formula stays text.
            if (r.value(3).contains(QLatin1Char('@'))) o.append(r.value(3));
        }
        if (zeilen.value(1).value(8) == QLatin1String("[\"a;b\"]")) o.append(QStringLiteral("exakt"));
        return o;
    };
    QCOMPARE(objekte({}), (QStringList{QStringLiteral("Gruppe 100%_x"), QStringLiteral("Gruppe Lager"),
                                       QStringLiteral("Gruppe 100x"), QStringLiteral("Gruppe Büro"),
                                       QStringLiteral("'@Mü"), QStringLiteral("exakt")}));
    // Case does not count for any letter, in record and code alike.
    for (const QString& gesucht : {QStringLiteral("BÜRO"), QStringLiteral("büro")})
        QCOMPARE(objekte({{}, {}, {}, gesucht}),
                 (QStringList{QStringLiteral("Gruppe Büro"), QStringLiteral("'@Mü")}));
    QCOMPARE(objekte({{}, {}, QStringLiteral("@MÜ"), {}}),
             (QStringList{QStringLiteral("Gruppe Büro"), QStringLiteral("'@Mü")}));
    QCOMPARE(objekte({{}, {}, QStringLiteral("som"), {}}),
             (QStringList{QStringLiteral("Gruppe Lager"), QStringLiteral("Gruppe 100x")}));
    QCOMPARE(objekte({{}, {}, {}, QStringLiteral("BURO")}), QStringList{});
    // "%" and "_" in the record text mean themselves; case does not count.
    QCOMPARE(objekte({{}, {}, {}, QStringLiteral("%_")}), (QStringList{QStringLiteral("Gruppe 100%_x"), QStringLiteral("exakt")}));
    QCOMPARE(objekte({QStringLiteral("2026-12-01"), {}, QStringLiteral("SOM"), QStringLiteral("lager")}),
             QStringList{QStringLiteral("Gruppe Lager")});
    QCOMPARE(objekte({{}, QStringLiteral("2026-01-01"), {}, {}}),
             (QStringList{QStringLiteral("Gruppe 100%_x"), QStringLiteral("exakt")}));
    QVERIFY(objekte({QStringLiteral("2026-13-01"), {}, {}, {}}).front().contains(QStringLiteral("ungültiges Datum")));
    QString text;
    QTextStream aus(&text);
    // The owner's work: the workstations' role may not.
    if (Testdatenbank::IstPostgres()) {
        QVERIFY(!Datenbankwerkzeug::ProtokollBereinigen(z, QStringLiteral("2026-06-01"), aus));
        QVERIFY2(text.contains(QStringLiteral("Sache des Verwalters der Datenbank")), qPrintable(text));
        text.clear();
    }
    AlsEigentuemer eigentuemer;
    QVERIFY(Datenbankwerkzeug::ProtokollBereinigen(z, QStringLiteral("2026-06-01"), aus));
    QVERIFY(text.startsWith(QStringLiteral("1 Eintrag des")));
    QCOMPARE(db.Sql(QStringLiteral("SELECT objekt FROM uv_protokoll ORDER BY zeit")),
             (QStringList{QStringLiteral("Gruppe Lager"), QStringLiteral("Gruppe 100x"),
                          QStringLiteral("Gruppe Büro"), QStringLiteral("Änderungsprotokoll")}));
}

// The log's chain, written by the program's commands (the server's functions
// on PostgreSQL), checked by `protokoll --pruefen`; the owner's changes by
// hand show at the first entry that no longer fits.
void TestKorvalDb::protokollketteZeigtEingriffe_data() {
    QTest::addColumn<QString>("eingriff");
    QTest::addColumn<int>("bruch"); // the first entry that does not fit (1: the oldest saved), 0: none
    QTest::newRow("keiner") << "" << 0;
    QTest::newRow("geändert") << "UPDATE uv_protokoll SET nachher = '[\"X\"]' WHERE nr = %2" << 2;
    QTest::newRow("entfernt") << "DELETE FROM uv_protokoll WHERE nr = %2" << 3;
    QTest::newRow("der erste entfernt") << "DELETE FROM uv_protokoll WHERE nr = %1" << 2;
    QTest::newRow("eingefügt") << "INSERT INTO uv_protokoll (zeit, befehl, objekt) VALUES ('2026-01-01', 'x', 'y')" << 5;
    QTest::newRow("bereinigt") << "bereinigen" << 0;
    QTest::newRow("bereinigt, der Anker entfernt") << "bereinigen|DELETE FROM uv_protokoll WHERE befehl = 'bereinigen'"
                                                   << 5;
    // The number 0 is an entry like any other.
    QTest::newRow("als Nr. 0 eingefügt") << "INSERT INTO uv_protokoll (nr, zeit, befehl, objekt) VALUES (0, 'x', 'x', 'y')"
                                        << 1;
    // A hash removed by hand stays missing: the next change does not give it one.
    QTest::newRow("geändert, Prüfsumme entfernt, weiter gespeichert")
        << "UPDATE uv_protokoll SET pcode = 'USR', hash = '' WHERE nr = %2|speichern" << 2;
    QTest::newRow("eingefügt ohne Prüfsumme, weiter gespeichert")
        << "INSERT INTO uv_protokoll (zeit, befehl, objekt) VALUES ('2026-01-01', 'x', 'y')|speichern" << 5;
}

void TestKorvalDb::protokollketteZeigtEingriffe() {
    QFETCH(QString, eingriff);
    QFETCH(int, bruch);
    Testdatenbank db;
    QVERIFY(db.Ok());
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    auto speichern = [&](const QStringList& codes) {
        SqlCacheFactory f;
        QVERIFY(f.Connect(db.ConnStrg()) && AlsVerwalter(f));
        auto liste = f.NeueListe();
        for (const QString& c : codes)
            liste->Append(c);
        f.TransaktionBeginnen();
        f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
            ->Methode(QStringLiteral("Speichern"), {QStringLiteral("Kette"), liste, f.NeueListe(), QStringLiteral("0")});
        f.TransaktionBestaetigen();
    };
    db.SqlAendern(QStringLiteral("DELETE FROM uv_protokoll"));
    for (const QStringList& codes : {QStringList{QStringLiteral("A")}, QStringList{QStringLiteral("A"), QStringLiteral("Ü")},
                                     QStringList{QStringLiteral("B;\"x\"")}, QStringList{}})
        speichern(codes);
    const QStringList nr = db.Sql(QStringLiteral("SELECT nr FROM uv_protokoll ORDER BY nr"));
    QCOMPARE(nr.size(), 4);
    if (Testdatenbank::IstPostgres())
        QCOMPARE(db.Sql(QStringLiteral("SELECT DISTINCT rolle FROM uv_protokoll")), QStringList{db.Anwendungsrolle()});
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    for (const QString& schritt : eingriff.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (schritt == QLatin1String("bereinigen")) {
            {
                AlsEigentuemer eigentuemer;
                QVERIFY2(Datenbankwerkzeug::ProtokollBereinigen(z, QDate::currentDate().addDays(1).toString(Qt::ISODate),
                                                                aus),
                         qPrintable(text));
            }
            // The chain goes on after the purge.
            speichern({QStringLiteral("C")});
            speichern({QStringLiteral("D")});
        } else if (schritt == QLatin1String("speichern")) {
            speichern({QStringLiteral("E")});
        } else {
            db.SqlAendern(QString(schritt).replace(QLatin1String("%1"), nr[0]).replace(QLatin1String("%2"), nr[1]));
        }
    }
    text.clear();
    const bool ganz = Datenbankwerkzeug::ProtokollPruefen(z, aus, err);
    QVERIFY2(fehler.isEmpty(), qPrintable(fehler));
    QCOMPARE(ganz, bruch == 0);
    if (bruch == 0) {
        const QString letzter = db.Sql(QStringLiteral("SELECT hash FROM uv_protokoll ORDER BY nr DESC LIMIT 1")).value(0);
        QVERIFY2(text.contains(QStringLiteral("vollständig")) && text.contains(letzter) && letzter.size() == 64,
                 qPrintable(text));
    } else {
        // The entry named: one of those saved, or the one after them.
        const QStringList alle = db.Sql(QStringLiteral("SELECT nr FROM uv_protokoll ORDER BY nr"));
        const QString erwartet = eingriff.startsWith(QLatin1String("bereinigen")) || eingriff.contains(QLatin1String("(0,"))
                                     ? alle.value(0)
                                     : (bruch <= nr.size() ? nr[bruch - 1] : alle.value(nr.size()));
        QVERIFY2(text.contains(QStringLiteral("Eintrag Nr. %1 passt nicht").arg(erwartet)), qPrintable(text));
    }
}

void TestKorvalDb::berichtWerWasDarf() {
    Testdatenbank db;
    QVERIFY(db.Ok());
    // A name that must be quoted, and a member without employee record.
    db.SqlAendern(QStringLiteral("INSERT INTO kv_parpersedv (firma, pcode, passwort, aktiv, pname) "
                                 "VALUES ('1', 'QQ', 'x', 'J', 'Semi;Kolon \"Q\" M}ller')"));
    db.SqlAendern(QStringLiteral("INSERT INTO uv_gruppen_pcode (gruppe, pos, pcode) VALUES "
                                 "('Lager', 10, 'QQ'), ('Lager', 11, 'OHNE')"));
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    QString text, fehler;
    QTextStream aus(&text), err(&fehler);
    QVERIFY2(Datenbankwerkzeug::Bericht(z, QStringLiteral("1"), {}, aus, err) == 0, qPrintable(fehler));
    QVERIFY(text.startsWith(QChar(0xFEFF)));
    const QList<QStringList> zeilen = CsvLesen(text.mid(1));
    QCOMPARE(zeilen.front(), (QStringList{QStringLiteral("Code"), QStringLiteral("Name"), QStringLiteral("Gruppe"),
                                          QStringLiteral("Programm"), QStringLiteral("Unterprogramm"),
                                          QStringLiteral("Stufe")}));
    const QString anzahl =
        db.Sql(QStringLiteral("SELECT COUNT(*) FROM (SELECT DISTINCT gp.pcode, gp.gruppe, pg.programmname, "
                              "pg.subprogramm, pg.berechtigungsstufe FROM uv_gruppen_pcode gp JOIN "
                              "uv_programm_gruppe pg ON pg.gruppe = gp.gruppe) x"))
            .front();
    // And the group that has neither members nor levels.
    QCOMPARE(QString::number(zeilen.size() - 2), anzahl);
    QVERIFY(zeilen.contains(QStringList{{}, {}, QStringLiteral("Revision"), {}, {}, {}}));
    QVERIFY(zeilen.contains(QStringList{QStringLiteral("QQ"), QStringLiteral("Semi;Kolon \"Q\" Müller"),
                                        QStringLiteral("Lager"), QStringLiteral("Lager"), QStringLiteral("Bestand"),
                                        QStringLiteral("1")}));
    QVERIFY(zeilen.contains(QStringList{QStringLiteral("OHNE"), QString(), QStringLiteral("Lager"),
                                        QStringLiteral("Lager"), QStringLiteral("Inventur"), QStringLiteral("1")}));
    // One level: the groups that hold it and their members.
    text.clear();
    QVERIFY(Datenbankwerkzeug::Bericht(
        z, QStringLiteral("1"), {QString(), QString(), QStringLiteral("Lager"), QStringLiteral("Bestand"), QStringLiteral("2")},
        aus, err) == 0);
    QStringList codes;
    for (const QStringList& r : CsvLesen(text.mid(1)).mid(1))
        codes.append(r[0] + QLatin1Char('/') + r[2]);
    QCOMPARE(codes, (QStringList{QStringLiteral("GRO/Lager"), QStringLiteral("OEZ/Lager"), QStringLiteral("OHNE/Lager"),
                                 QStringLiteral("QQ/Lager")}));
    // The command line: a wrong selection is refused.
    const QString prog = QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/korval-db/korval-db");
    QProcess p;
    p.start(prog, {QStringLiteral("report"), QStringLiteral("stufe"), QStringLiteral("nur-eins")});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 2);
}

// A database made before the change log: `korval-db upgrade` adds it, once;
// the program adds it itself when it may, and else stores nothing.
void TestKorvalDb::upgradeBringtAltesSchemaAufStand() {
    Testdatenbank db;
    QVERIFY(db.Ok());
    // A database as it was before its roles: the program connects as its owner.
    AlsEigentuemer eigentuemer;
    auto alt = [&] {
        db.SqlAendern(QStringLiteral("DROP TABLE uv_protokoll"));
        db.SqlAendern(QStringLiteral("UPDATE kv_schema SET version = 1"));
    };
    const QString logDa = Testdatenbank::IstPostgres()
                              ? QStringLiteral("SELECT COUNT(*) FROM pg_tables WHERE tablename = 'uv_protokoll'")
                              : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'uv_protokoll'");
    DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    alt();
    QString text;
    QTextStream aus(&text);
    QVERIFY2(Datenbankwerkzeug::Upgrade(z, aus), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("von Version 1 auf %1 gebracht").arg(Schema::Version)), qPrintable(text));
    QCOMPARE(db.Sql(logDa), QStringList{QStringLiteral("1")});
    QCOMPARE(db.Sql(QStringLiteral("SELECT version FROM kv_schema")), QStringList{QString::number(Schema::Version)});
    const QString funktionen = QStringLiteral("SELECT COUNT(*) FROM pg_proc WHERE proname LIKE 'uv\\_%'");
    const QString anzahl = QString::number(Schema::funktionen().size());
    if (Testdatenbank::IstPostgres()) QCOMPARE(db.Sql(funktionen), QStringList{anzahl});
    text.clear();
    QVERIFY(Datenbankwerkzeug::Upgrade(z, aus));
    QVERIFY2(text.contains(QStringLiteral("Schema Version %1").arg(Schema::Version)) && text.contains(QStringLiteral("ist aktuell")) &&
                 !text.contains(QStringLiteral("Funktionen")),
             qPrintable(text));
    if (Testdatenbank::IstPostgres()) {
        // Another build's functions, one of them missing: upgrade and the
        // program's connect alike put this build's in place.
        for (bool perProgramm : {false, true}) {
            // The stored fingerprint right, but one function gone and one there
            // that should not be (the same count); by the program's connect
            // also a body changed by hand.
            db.SqlAendern(QStringLiteral("DROP FUNCTION uv_listen(text)"));
            db.SqlAendern(QStringLiteral("CREATE FUNCTION uv_veraltet() RETURNS int LANGUAGE sql AS 'SELECT 1'"));
            if (perProgramm)
                db.SqlAendern(QStringLiteral("CREATE OR REPLACE FUNCTION uv_objektname(art text, k text[]) RETURNS text "
                                             "LANGUAGE sql AS $f$ SELECT 'x' $f$"));
            text.clear();
            if (perProgramm) {
                SqlCacheFactory f;
                QVERIFY(f.Connect(db.ConnStrg()));
            } else {
                QVERIFY(Datenbankwerkzeug::Upgrade(z, aus));
                QVERIFY2(text.contains(QStringLiteral("ist aktuell")) && text.contains(QStringLiteral("Funktionen erneuert")),
                         qPrintable(text));
            }
            QCOMPARE(db.Sql(funktionen), QStringList{anzahl});
            QCOMPARE(db.Sql(QStringLiteral("SELECT uv_objektname('g', ARRAY['x'])")), QStringList{QStringLiteral("Gruppe x")});
            QCOMPARE(db.Sql(QStringLiteral("SELECT funktionen FROM kv_schema")).value(0).section(QLatin1Char(':'), 0, 0),
                     Schema::fingerabdruck());
        }
    }

    alt();
    if (!Testdatenbank::IstPostgres()) {
        // The program's own connection brings it up to date.
        SqlCacheFactory f;
        QVERIFY(f.Connect(db.ConnStrg()));
        QCOMPARE(db.Sql(logDa), QStringList{QStringLiteral("1")});
        QVERIFY(f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                    ->Methode(QStringLiteral("SchemaPruefen"))
                    .isEmpty());
        return;
    }
    // A database user that may read and write but not create tables.
    db.SqlAendern(QStringLiteral("DO $$ BEGIN CREATE ROLE korval_schreiber LOGIN PASSWORD 'schreiben'; "
                                 "EXCEPTION WHEN duplicate_object THEN NULL; END $$"));
    db.SqlAendern(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO korval_schreiber"));
    db.SqlAendern(QStringLiteral("GRANT CONNECT ON DATABASE %1 TO korval_schreiber").arg(db.Namespace()));
    db.SqlAendern(QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC"));
    // Connected as that user; the test's own user afterwards.
    auto alsSchreiber = [&](SqlCacheFactory& f) {
        const QByteArray user = qgetenv("PGUSER"), pw = qgetenv("PGPASSWORD");
        qputenv("PGUSER", "korval_schreiber");
        qputenv("PGPASSWORD", "schreiben");
        const bool verbunden = f.Connect(db.ConnStrg());
        qputenv("PGUSER", user);
        qputenv("PGPASSWORD", pw);
        return verbunden;
    };
    {
        SqlCacheFactory f;
        QVERIFY2(alsSchreiber(f) && AlsVerwalter(f), qPrintable(f.LetzterFehler()));
        const QString warum =
            f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))->Methode(QStringLiteral("SchemaPruefen"));
        QVERIFY2(warum.contains(QStringLiteral("fehlt das Änderungsprotokoll")) &&
                     warum.contains(QStringLiteral("korval-db upgrade")),
                 qPrintable(warum));
        auto liste = f.NeueListe();
        liste->Append(QStringLiteral("NEU"));
        try {
            f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"))
                ->Methode(QStringLiteral("SaveCodes"), {QStringLiteral("Lager"), liste});
            QFAIL("gespeichert ohne Protokoll");
        } catch (const CacheFehler& e) {
            QCOMPARE(e.Nummer(), Fehlernummer::SchemaVeraltet);
        }
        QCOMPARE(db.Mitglieder(QStringLiteral("Lager")), QStringLiteral("GRO,OEZ"));
        QCOMPARE(db.Sql(logDa), QStringList{QStringLiteral("0")});
    }
    QVERIFY(Datenbankwerkzeug::Upgrade(z, aus));
    // One step behind (the log, but not the command functions) and a user who
    // may not create them: the commands run statement by statement, as on SQLite.
    db.SqlAendern(QStringLiteral("DROP FUNCTION uv_gruppe_speichern(text, text, json, json, integer)"));
    db.SqlAendern(QStringLiteral("UPDATE kv_schema SET version = 3"));
    db.SqlAendern(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO korval_schreiber"));
    db.SqlAendern(QStringLiteral("GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO korval_schreiber"));
    {
        SqlCacheFactory f;
        QVERIFY2(alsSchreiber(f) && AlsVerwalter(f), qPrintable(f.LetzterFehler()));
        auto k = f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
        QCOMPARE(k->Methode(QStringLiteral("SchemaPruefen")), QString());
        auto liste = f.NeueListe();
        liste->Append(QStringLiteral("NEU"));
        QCOMPARE(k->Methode(QStringLiteral("Speichern"), {QStringLiteral("Lager"), liste, f.NeueListe(), QStringLiteral("0")}),
                 QStringLiteral("0"));
        QCOMPARE(db.Mitglieder(QStringLiteral("Lager")), QStringLiteral("NEU"));
        QVERIFY(f.rundreisen() > 3);
    }
    // The steps went through (the fingerprint's column was there); recreating
    // the functions needs their owner, so they stay missing.
    QCOMPARE(db.Sql(QStringLiteral("SELECT version FROM kv_schema")), QStringList{QStringLiteral("5")});
    QCOMPARE(db.Sql(QStringLiteral("SELECT COUNT(*) FROM pg_proc WHERE proname = 'uv_gruppe_speichern'")),
             QStringList{QStringLiteral("0")});
}

// Where any database user may create in the functions' schema, a function
// planted there with a closer signature than the system's would be called
// with the rights of whoever runs the command. The program does not create
// its functions there; upgrade closes the schema; no command calls the plant.
void TestKorvalDb::gepflanzteFunktionWirdNieGerufen() {
    if (!Testdatenbank::IstPostgres()) QSKIP("Funktionen gibt es nur auf PostgreSQL");
    Testdatenbank db;
    QVERIFY(db.Ok());
    AlsEigentuemer eigentuemer;
    db.SqlAendern(QStringLiteral("GRANT CREATE ON SCHEMA public TO PUBLIC"));
    db.SqlAendern(QStringLiteral("CREATE TABLE gepflanzt (wer text)"));
    db.SqlAendern(QStringLiteral("CREATE FUNCTION public.hashtextextended(t text, s integer) RETURNS bigint "
                                 "LANGUAGE sql AS $f$ INSERT INTO gepflanzt VALUES (current_user) RETURNING 0::bigint $f$"));
    db.SqlAendern(QStringLiteral("UPDATE kv_schema SET funktionen = ''"));
    auto befehle = [&](const QString& neu) {
        SqlCacheFactory f;
        QVERIFY(f.Connect(db.ConnStrg()) && AlsVerwalter(f));
        auto k = f.Klassenmethoden(QStringLiteral("UserVerwaltung.Gruppen"));
        auto liste = f.NeueListe();
        liste->Append(QStringLiteral("NEU"));
        f.TransaktionBeginnen();
        k->Methode(QStringLiteral("Speichern"), {neu, liste, f.NeueListe(), QStringLiteral("2")});
        k->Methode(QStringLiteral("Kopieren"), {neu, neu + QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("1")});
        f.TransaktionBestaetigen();
    };
    // Refused at the program's connect: the commands run statement by statement.
    befehle(QStringLiteral("Neu"));
    QCOMPARE(db.Sql(QStringLiteral("SELECT funktionen FROM kv_schema")), QStringList{QString()});
    const DatenbankZiel z{db.Server(), db.Port(), db.Namespace()};
    QString text;
    QTextStream aus(&text);
    QVERIFY2(Datenbankwerkzeug::Upgrade(z, aus), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("darf nicht mehr jeder")) && text.contains(QStringLiteral("Funktionen erneuert")),
             qPrintable(text));
    befehle(QStringLiteral("Anders"));
    QCOMPARE(db.Mitglieder(QStringLiteral("Anders2")), QStringLiteral("NEU"));
    QCOMPARE(db.Sql(QStringLiteral("SELECT COUNT(*) FROM gepflanzt")), QStringList{QStringLiteral("0")});
    // Each function runs as its owner, its search path pinned, callable only by those granted it.
    QCOMPARE(db.Sql(QStringLiteral("SELECT COUNT(*) FROM pg_proc WHERE proname LIKE 'uv\\_%' AND NOT (prosecdef AND "
                                   "proconfig = ARRAY['search_path=public, pg_temp'] AND NOT "
                                   "has_function_privilege('public', oid, 'EXECUTE'))")),
             QStringList{QStringLiteral("0")});
}

// Every function passes plpgsql_check: what the compiler cannot see in
// PL/pgSQL (a misspelt column, a wrong type) fails here.
void TestKorvalDb::funktionenOhneBefund() {
    if (!Testdatenbank::IstPostgres()) QSKIP("Funktionen gibt es nur auf PostgreSQL");
    Testdatenbank db;
    QVERIFY(db.Ok());
    try {
        db.SqlAendern(QStringLiteral("CREATE EXTENSION IF NOT EXISTS plpgsql_check"));
    } catch (...) {
    }
    if (db.Sql(QStringLiteral("SELECT COUNT(*) FROM pg_extension WHERE extname = 'plpgsql_check'")).value(0) !=
        QLatin1String("1")) {
        if (qEnvironmentVariable("CI") == QLatin1String("true")) QFAIL("plpgsql_check fehlt");
        QSKIP("plpgsql_check fehlt (Paket postgresql-15-plpgsql-check)");
    }
    const QStringList geprueft = db.Sql(QStringLiteral(
        "SELECT COUNT(*) FROM pg_proc p JOIN pg_language l ON l.oid = p.prolang "
        "WHERE p.proname LIKE 'uv\\_%' AND l.lanname = 'plpgsql'"));
    QVERIFY(geprueft.value(0).toInt() > 10);
    const QStringList befunde = db.Sql(QStringLiteral(
        "SELECT p.proname || ' Zeile ' || COALESCE(c.lineno::text, '?') || ': ' || c.message "
        "FROM pg_proc p JOIN pg_language l ON l.oid = p.prolang, "
        "LATERAL plpgsql_check_function_tb(p.oid::regprocedure) c "
        "WHERE p.proname LIKE 'uv\\_%' AND l.lanname = 'plpgsql' AND c.level = 'error'"));
    QVERIFY2(befunde.isEmpty(), qPrintable(befunde.join(QLatin1Char('\n'))));
}

// The SQL files split into statements at semicolons outside quotes and comments.
void TestKorvalDb::anweisungenTrennen() {
    const QString text = QStringLiteral("-- Kopf; mit Semikolon\nCREATE FUNCTION a() RETURNS int LANGUAGE sql AS $f$ "
                                        "SELECT 1; $f$;\n\nSELECT ';', $x$ ; $x$;\n-- nur Kommentar;\n");
    const QStringList s = Schema::anweisungen(text);
    QCOMPARE(s.size(), 2);
    QVERIFY(s[0].endsWith(QStringLiteral("SELECT 1; $f$")));
    QCOMPARE(s[1], QStringLiteral("SELECT ';', $x$ ; $x$"));
    // The files: one function per statement.
    const QStringList f = Schema::funktionen();
    QCOMPARE(f.join(QLatin1Char('\n')).count(QStringLiteral("CREATE OR REPLACE FUNCTION")), f.size());
}

QTEST_MAIN(TestKorvalDb)
#include "tst_korvaldb.moc"
