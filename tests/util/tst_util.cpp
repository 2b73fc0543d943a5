// Text conversion, field helpers and the program history log.

#include "testumgebung.h"

#include "auxwindows/frmprogrammverlauf.h"
#include "platform/plattform.h"
#include "platform/widgets/ctlist.h"
#include "util/feld.h"
#include "util/konvertieren.h"
#include "util/programmverlauf.h"

#include <QFileInfo>
#include <QLineEdit>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <QtTest>

class TestUtil : public QObject {
    Q_OBJECT
  private slots:
    void konvertieren_data();
    void konvertieren();
    void konvertierenHinUndZurueck();
    void ersetzen_data();
    void ersetzen();
    void feld_data();
    void feld();
    void feldMarkieren();
    void istZahl_data();
    void istZahl();
    void verlaufZeitstempel();
    void verlaufImFensterNeuesteZuerst();
    void verlaufDateiNurWennEingeschaltet();
    void verlaufsdateiSicher();
};

void TestUtil::konvertieren_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("modus");
    QTest::addColumn<bool>("gross");
    QTest::addColumn<QString>("ergebnis");
    QTest::newRow("gui gross") << "Müller"
                               << "GUIKORVAL" << true << "M]LLER";
    QTest::newRow("gui klein") << "Müller"
                               << "GUIKORVAL" << false << "M}ller";
    QTest::newRow("gui alle") << "äöüßÄÖÜ§"
                              << "GUIKORVAL" << false << "{|}~[\\]õ";
    QTest::newRow("gui ß bleibt bei gross") << "Straße"
                                            << "GUIKORVAL" << true << "STRA~E";
    QTest::newRow("korval") << "Stra~e"
                            << "KORVAL" << false << "Straße";
    QTest::newRow("korval alle") << "{|}~[\\]õ"
                                 << "KORVAL" << false << "äöüßÄÖÜ§";
    QTest::newRow("korvalsz") << "a|b"
                              << "KORVALSZ" << false << "a|b";
    QTest::newRow("korvalsz rest") << "{}~[]\\"
                                   << "KORVALSZ" << false << "äüßÄÜ\\";
    QTest::newRow("suche") << "Größe"
                           << "KORVALSUCHE" << true << "GROESSE";
    QTest::newRow("rtf") << "äÄöÖüÜß"
                         << "RTF" << false << "\\'e4\\'C4\\'f6\\'d6\\'fc\\'dc\\'df";
    QTest::newRow("unbekannt gross") << "abc"
                                     << "Korval" << true << "ABC";
    QTest::newRow("unbekannt") << "abc"
                               << "" << false << "abc";
    QTest::newRow("leer") << ""
                          << "KORVAL" << true << "";
}

void TestUtil::konvertieren() {
    QFETCH(QString, text);
    QFETCH(QString, modus);
    QFETCH(bool, gross);
    QFETCH(QString, ergebnis);
    QCOMPARE(Konvertieren(text, modus, gross), ergebnis);
}

// Any length, not only below 255 characters.
void TestUtil::konvertierenHinUndZurueck() {
    QString lang;
    for (int i = 0; i < 2000; ++i)
        lang += QStringLiteral("Grüße aus Köln ");
    const QString server = Konvertieren(lang, QStringLiteral("GUIKORVAL"), false);
    QVERIFY(!server.contains(QChar(0xFC)));
    QCOMPARE(Konvertieren(server, QStringLiteral("KORVAL"), false), lang);
}

void TestUtil::ersetzen_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("suchen");
    QTest::addColumn<QString>("durch");
    QTest::addColumn<bool>("mehr");
    QTest::addColumn<QString>("ergebnis");
    QTest::newRow("keine ueberlappung") << "aaa"
                                        << "aa"
                                        << "b" << true << "ba";
    QTest::newRow("nicht erneut gescannt") << "ab"
                                           << "a"
                                           << "aa" << true << "aab";
    QTest::newRow("ein zeichen gekuerzt") << "abc"
                                          << "bx"
                                          << "yz" << false << "ayc";
    QTest::newRow("leer") << ""
                          << "a"
                          << "b" << true << "";
    QTest::newRow("gross klein") << "aA"
                                 << "a"
                                 << "x" << true << "xA";
    QTest::newRow("loeschen") << "a-b-c"
                              << "-"
                              << "" << true << "abc";
}

void TestUtil::ersetzen() {
    QFETCH(QString, text);
    QFETCH(QString, suchen);
    QFETCH(QString, durch);
    QFETCH(bool, mehr);
    QFETCH(QString, ergebnis);
    QCOMPARE(Ersetzen(text, suchen, durch, mehr), ergebnis);
}

void TestUtil::feld_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trenner");
    QTest::addColumn<int>("nummer");
    QTest::addColumn<QString>("vorgabe");
    QTest::addColumn<QString>("ergebnis");
    QTest::newRow("zweites") << "a;b;c"
                             << ";" << 2 << ""
                             << "b";
    QTest::newRow("fehlt") << "a;b;c"
                           << ";" << 4 << "x"
                           << "x";
    QTest::newRow("leeres feld") << "a;;c"
                                 << ";" << 2 << "x"
                                 << "x";
    QTest::newRow("leerer text ohne vorgabe") << ""
                                              << ";" << 1 << "x"
                                              << "";
    QTest::newRow("ohne trenner") << "abc"
                                  << ";" << 1 << ""
                                  << "abc";
    QTest::newRow("letztes") << "a;b;c"
                             << ";" << 3 << ""
                             << "c";
    QTest::newRow("leerzeichen") << "1 0 ADM demo"
                                 << " " << 3 << ""
                                 << "ADM";
    QTest::newRow("mehrzeichentrenner passt nie") << "a||b"
                                                  << "||" << 1 << ""
                                                  << "a||b";
}

void TestUtil::feld() {
    QFETCH(QString, text);
    QFETCH(QString, trenner);
    QFETCH(int, nummer);
    QFETCH(QString, vorgabe);
    QFETCH(QString, ergebnis);
    QCOMPARE(Feld(text, trenner, nummer, vorgabe), ergebnis);
}

void TestUtil::feldMarkieren() {
    QWidget w;
    auto* a = new QLineEdit(QStringLiteral("geheim"), &w);
    auto* b = new QLineEdit(&w);
    w.show();
    b->setFocus();
    FeldMarkieren(a, true);
    QCOMPARE(a->selectedText(), QStringLiteral("geheim"));
    QVERIFY(!a->hasFocus());
    FeldMarkieren(a, false);
    QTRY_VERIFY(a->hasFocus());
}

void TestUtil::verlaufZeitstempel() {
    const QDateTime t(QDate(2026, 12, 7), QTime(10, 5, 3, 123));
    QCOMPARE(Verlauf::Zeitstempel(t), QStringLiteral("07.12.26 10:05:03.123"));
    QCOMPARE(Verlauf::Zeitstempel(QDateTime(QDate(2026, 1, 2), QTime(0, 0, 45))),
             QStringLiteral("02.01.26 00:00:45.145"));
    QCOMPARE(Verlauf::Dateizeile(t, QStringLiteral("q;v;d")),
             QStringLiteral("\"07.12.26 10:05:03.123;q;v;d\"\r\n"));
}

void TestUtil::verlaufImFensterNeuesteZuerst() {
    Testumgebung u(false);
    Programmverlauf(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"));
    Programmverlauf(QStringLiteral("x"), QStringLiteral("y"), QString());
    QCOMPARE(u.Verlaufszeilen(), (QStringList{QStringLiteral("x;y;"), QStringLiteral("a;b;c")}));
    for (int i = 0; i < 150; ++i)
        Programmverlauf(QStringLiteral("n"), QString::number(i), QString());
    QCOMPARE(u.verlauf->Verlauf->ListCount(), Verlauf::MaxZeilen);
    QCOMPARE(u.verlauf->Verlauf->List(0), QStringLiteral("n;149;"));
}

void TestUtil::verlaufDateiNurWennEingeschaltet() {
    Testumgebung u(false);
    qputenv("TEMP", u.temp.path().toUtf8());
    const QString datei = u.temp.filePath(QStringLiteral("Benutzerverwaltung.txt"));
    QCOMPARE(Verlauf::DateiPfad(), datei);
    Programmverlauf(QStringLiteral("aus"), QString(), QString());
    QVERIFY(!QFile::exists(datei));
    Verlauf::setDateiProtokoll(true);
    Programmverlauf(QStringLiteral("fmStart.x"), QStringLiteral("Gruppe:\"A\" vorhanden?"), QString());
    Programmverlauf(QStringLiteral("zwei"), QString(), QString());
    QFile f(datei);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()),
             QStringLiteral("\"07.12.26 10:05:03.123;fmStart.x;Gruppe:\"\"A\"\" vorhanden?;\"\r\n"
                            "\"07.12.26 10:05:03.123;zwei;;\"\r\n"));
    // An unwritable place writes nothing and says so once in the viewer.
    qputenv("TEMP", "/nirgends/da");
    Programmverlauf(QStringLiteral("still"), QString(), QString());
    Programmverlauf(QStringLiteral("noch"), QString(), QString());
    QCOMPARE(u.Verlaufszeilen().mid(0, 3),
             (QStringList{QStringLiteral("noch;;"),
                          QStringLiteral("Programmverlauf;Verlaufsdatei nicht geschrieben;") +
                              Verlauf::DateiPfad() + QStringLiteral(": No such file or directory"),
                          QStringLiteral("still;;")}));
    qunsetenv("TEMP");
}

void TestUtil::verlaufsdateiSicher() {
#ifdef Q_OS_UNIX
    Testumgebung u(false);
    qputenv("TEMP", u.temp.path().toUtf8());
    const QString datei = Verlauf::DateiPfad();
    Verlauf::setDateiProtokoll(true);
    // A value cannot forge a line of its own.
    Programmverlauf(QStringLiteral("q"), QStringLiteral("a\r\n\"07.12.26 00:00:00.0;gefälscht"), QString());
    QFile f(datei);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray inhalt = f.readAll();
    QCOMPARE(inhalt.count('\n'), 1);
    QCOMPARE(f.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
             QFileDevice::Permissions());
    f.close();
    QFile::remove(datei);
    // A link put in its place is not followed.
    const QString ziel = u.temp.filePath(QStringLiteral("eigene-datei"));
    QFile z(ziel);
    QVERIFY(z.open(QIODevice::WriteOnly));
    z.write("bleibt");
    z.close();
    QVERIFY(QFile::link(ziel, datei));
    Programmverlauf(QStringLiteral("durch den link"), QString(), QString());
    QVERIFY(z.open(QIODevice::ReadOnly));
    QCOMPARE(z.readAll(), QByteArray("bleibt"));
    z.close();
    QVERIFY(u.Verlaufszeilen().front().startsWith(QStringLiteral("Programmverlauf;Verlaufsdatei nicht geschrieben;")));
    QFile::remove(datei);
    // Nor a hard link to another of the user's files.
    QVERIFY(::link(QFile::encodeName(ziel).constData(), QFile::encodeName(datei).constData()) == 0);
    QString warum;
    QVERIFY(!Verlauf::Anhaengen(datei, "x\r\n", warum));
    QVERIFY(warum.contains(QStringLiteral("harter Link")));
    QVERIFY(z.open(QIODevice::ReadOnly));
    QCOMPARE(z.readAll(), QByteArray("bleibt"));
    z.close();
    QFile::remove(datei);
    // A file of an older version, readable by all, is closed before it grows.
    QFile alt(datei);
    QVERIFY(alt.open(QIODevice::WriteOnly));
    alt.write("alt\r\n");
    alt.close();
    QVERIFY(alt.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    QVERIFY(Verlauf::Anhaengen(datei, "neu\r\n", warum));
    QCOMPARE(QFileInfo(datei).permissions() & (QFile::ReadGroup | QFile::ReadOther),
             QFileDevice::Permissions());
    QVERIFY(alt.open(QIODevice::ReadOnly));
    QCOMPARE(alt.readAll(), QByteArray("alt\r\nneu\r\n"));
    alt.close();
    QFile::remove(datei);
    // The folder of last resort: made closed; refused when open to others or someone else's.
    const QByteArray ordner = QFile::encodeName(u.temp.filePath(QStringLiteral("korval-eigen")));
    QVERIFY(Plattform::EigenerOrdner(QFile::decodeName(ordner), warum));
    QCOMPARE(
        QFileInfo(QFile::decodeName(ordner)).permissions() &
            (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
        QFileDevice::Permissions());
    QCOMPARE(::chmod(ordner.constData(), 0777), 0);
    QVERIFY(!Plattform::EigenerOrdner(QFile::decodeName(ordner), warum));
    QVERIFY2(warum.contains(QStringLiteral("offen (Modus 0777)")), qPrintable(warum));
    if (::getuid() == 0) {
        QCOMPARE(::chmod(ordner.constData(), 0700), 0);
        QCOMPARE(::chown(ordner.constData(), 65534, 65534), 0);
        QVERIFY(!Plattform::EigenerOrdner(QFile::decodeName(ordner), warum));
        QVERIFY(warum.contains(QStringLiteral("anderen Benutzer")));
    }
    // A file that another user made is not appended to.
    if (::getuid() == 0) {
        QFile fremd(datei);
        QVERIFY(fremd.open(QIODevice::WriteOnly));
        fremd.close();
        QCOMPARE(::chown(QFile::encodeName(datei).constData(), 65534, 65534), 0);
        QVERIFY(!Verlauf::Anhaengen(datei, "x\r\n", *std::make_unique<QString>()));
        QCOMPARE(QFileInfo(datei).size(), 0);
    }
    qunsetenv("TEMP");
    // Without a chosen directory the file lies in one of the user's own.
    for (const char* v : {"TEMP", "Temp", "temp", "TMP", "TMPDIR"})
        qunsetenv(v);
    const QFileInfo ort(QFileInfo(Verlauf::DateiPfad()).absolutePath());
    QCOMPARE(ort.ownerId(), ::getuid());
    QCOMPARE(ort.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
             QFileDevice::Permissions());
#else
    QSKIP("nur Unix");
#endif
}

void TestUtil::istZahl_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("zahl");
    for (const char* z : {"1", "0", "+7", "-3", "1.5", "2,5", " 12 ", ".5"})
        QTest::newRow(z) << QString::fromLatin1(z) << true;
    for (const char* z : {"", "NAN", "nan", "INF", "-inf", "1e0", "0x10", "1\n", "1 2", "abc", ".", "1..2"})
        QTest::newRow(z) << QString::fromLatin1(z) << false;
}

void TestUtil::istZahl() {
    QFETCH(QString, text);
    QFETCH(bool, zahl);
    QCOMPARE(IstZahl(text), zahl);
}

QTEST_MAIN(TestUtil)
#include "tst_util.moc"
