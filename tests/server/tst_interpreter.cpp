// The M subset behind "Xecute": commands, expressions, functions and errors.

#include "database/cacheclient.h"
#include "server/minterpreter.h"

#include <QMap>
#include <QtTest>

namespace {
class SpeicherGlobale final : public MGlobalStore {
  public:
    std::optional<QString> getGlobal(const QString& name, const QStringList& subs) override {
        auto it = werte.constFind(name + QLatin1Char('(') + subs.join(QLatin1Char(',')));
        if (it == werte.constEnd()) return std::nullopt;
        return *it;
    }
    void setGlobal(const QString& name, const QStringList& subs, const QString& value) override {
        werte.insert(name + QLatin1Char('(') + subs.join(QLatin1Char(',')), value);
    }
    void killGlobal(const QString& name, const QStringList& subs) override {
        werte.remove(name + QLatin1Char('(') + subs.join(QLatin1Char(',')));
    }
    void startSession(const QString& firma, const QString& fil, const QString& personal) override {
        sitzungen.append(QStringList{firma, fil, personal});
    }
    QMap<QString, QString> werte;
    QList<QStringList> sitzungen;
};
} // namespace

class TestInterpreter : public QObject {
    Q_OBJECT
  private slots:
    void ausdruecke_data();
    void ausdruecke();
    void fehler_data();
    void fehler();
    void programmzeilen();
    void variablenBleibenDerVerbindung();
    void globaleUndKill();
    void beliebigeEingabeStuerztNicht();
};

void TestInterpreter::ausdruecke_data() {
    QTest::addColumn<QString>("zeile");
    QTest::addColumn<QString>("ausgabe");
    QTest::newRow("string") << "W \"abc\""
                            << "abc";
    QTest::newRow("doppeltes quote") << "W \"a\"\"b\""
                                     << "a\"b";
    QTest::newRow("zahl kanonisch") << "W 007"
                                    << "7";
    QTest::newRow("verkettung") << "W \"a\"_1_\"b\""
                                << "a1b";
    QTest::newRow("links nach rechts") << "W 2+3*4"
                                       << "20";
    QTest::newRow("klammern") << "W 2+(3*4)"
                              << "14";
    QTest::newRow("minus") << "W 5-7"
                           << "-2";
    QTest::newRow("dezimal") << "W 1.5+1"
                             << "2.5";
    QTest::newRow("piece") << "W $P(\"a`b`c\",\"`\",2)"
                           << "b";
    QTest::newRow("piece lang") << "W $PIECE(\"a;b;c\",\";\")"
                                << "a";
    QTest::newRow("piece fehlt") << "W $P(\"a;b\",\";\",5)"
                                 << "";
    QTest::newRow("piece bereich") << "W $P(\"a;b;c;d\",\";\",2,3)"
                                   << "b;c";
    QTest::newRow("length") << "W $L(\"abcd\")"
                            << "4";
    QTest::newRow("length trenner") << "W $LENGTH(\"a,b,c\",\",\")"
                                    << "3";
    QTest::newRow("extract") << "W $E(\"abcdef\",2,4)"
                             << "bcd";
    QTest::newRow("extract eins") << "W $EXTRACT(\"abc\")"
                                  << "a";
    QTest::newRow("write neue zeile") << "W \"a\",!,\"b\""
                                      << "a\nb";
    QTest::newRow("kleinbuchstaben befehl") << "s X=1 w X"
                                            << "1";
    QTest::newRow("quit beendet zeile") << "W 1 Q  W 2"
                                        << "1";
    QTest::newRow("verschachtelt") << "W $P($P(\"a;b`c;d\",\"`\",2),\";\",2)"
                                   << "d";
    QTest::newRow("zwanzig stellen") << "W 99999999999999999999" << "99999999999999999999";
    QTest::newRow("vierhundert stellen") << QStringLiteral("W 00") + QString(400, QLatin1Char('7'))
                                         << QString(400, QLatin1Char('7'));
    QTest::newRow("bruch kanonisch") << "W 0.50" << ".5";
    // Beyond the double range a product stays at its largest value: 309 digits.
    QTest::newRow("ueberlauf bleibt endlich") << QStringLiteral("W $L(") + QString(400, QLatin1Char('9')) +
                                                     QStringLiteral("*10)")
                                              << "309";
    QTest::newRow("extract riesige stelle") << "W $E(\"abc\",99999999999999999999,999999999999999999999)"
                                            << "";
    QTest::newRow("extract bis riesig") << "W $E(\"abc\",2,99999999999999999999)"
                                        << "bc";
    QTest::newRow("piece riesige stelle") << "W $P(\"a;b\",\";\",-99999999999999999999,99999999999999999999)"
                                          << "a;b";
    QTest::newRow("viele vorzeichen") << QStringLiteral("W ") + QString(99, QLatin1Char('-')) + QStringLiteral("1")
                                      << "-1";
}

void TestInterpreter::ausdruecke() {
    QFETCH(QString, zeile);
    QFETCH(QString, ausgabe);
    SpeicherGlobale g;
    MInterpreter m(g);
    QCOMPARE(m.execute(zeile), ausgabe);
}

void TestInterpreter::fehler_data() {
    QTest::addColumn<QString>("zeile");
    QTest::addColumn<int>("nummer");
    QTest::addColumn<QString>("code");
    QTest::newRow("unbekannter befehl") << "X 1" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("offenes quote") << "W \"abc" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("offene klammer") << "W $P(\"a\",\";\"" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("zu viele klammern") << "W (1))" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("fehlendes gleich") << "S A" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("undefiniert") << "W P0" << Fehlernummer::Undefiniert << "<UNDEFINED>";
    QTest::newRow("globale undefiniert") << "W ^FA(0)" << Fehlernummer::Undefiniert << "<UNDEFINED>";
    QTest::newRow("unbekannte routine") << "D ^NIX" << Fehlernummer::KeineRoutine << "<NOROUTINE>";
    QTest::newRow("unbekannte funktion") << "W $ZZ(1)" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("write ohne argument") << "W" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("leerzeichen zuviel") << "W 1 2" << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("zu tief") << QStringLiteral("W ") + QString(300, QLatin1Char('(')) + QStringLiteral("1") +
                                    QString(300, QLatin1Char(')'))
                             << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("50000 vorzeichen") << QStringLiteral("W ") + QString(50000, QLatin1Char('-')) +
                                             QStringLiteral("1")
                                      << Fehlernummer::Syntax << "<SYNTAX>";
    QTest::newRow("vorzeichen in klammern") << QStringLiteral("W ") + QStringLiteral("(-").repeated(20000) +
                                                   QStringLiteral("1") + QString(20000, QLatin1Char(')'))
                                            << Fehlernummer::Syntax << "<SYNTAX>";
}

void TestInterpreter::fehler() {
    QFETCH(QString, zeile);
    QFETCH(int, nummer);
    QFETCH(QString, code);
    SpeicherGlobale g;
    MInterpreter m(g);
    try {
        m.execute(zeile);
        QFAIL("kein Fehler");
    } catch (const CacheFehler& e) {
        QCOMPARE(e.Nummer(), nummer);
        QVERIFY2(e.Beschreibung().startsWith(code), qPrintable(e.Beschreibung()));
    }
}

// The three command lines the program sends.
void TestInterpreter::programmzeilen() {
    SpeicherGlobale g;
    g.setGlobal(QStringLiteral("FA"), {QStringLiteral("0")}, QStringLiteral("Demo GmbH`2026`EUR"));
    MInterpreter m(g);
    QCOMPARE(m.execute(QStringLiteral("S P0=$P(^FA(0),\"`\",2) W P0")), QStringLiteral("2026"));
    QCOMPARE(m.execute(QStringLiteral("S FIRMA=1,FIL=0,PERSONAL=\"A\"\"B\"")), QString());
    QCOMPARE(m.locals().value(QStringLiteral("PERSONAL")), QStringLiteral("A\"B"));
    QCOMPARE(m.locals().value(QStringLiteral("FIRMA")), QStringLiteral("1"));
    QCOMPARE(m.execute(QStringLiteral("D ^%XTT")), QString());
    QCOMPARE(g.sitzungen.size(), 1);
    QCOMPARE(g.sitzungen.front(),
             (QStringList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("A\"B")}));
    // A code that tries to close the quote and add a command stays one value.
    m.execute(QStringLiteral("S FIRMA=1,FIL=0,PERSONAL=\"X\"\" K  S Y=\"\"1\""));
    QCOMPARE(m.locals().value(QStringLiteral("PERSONAL")), QStringLiteral("X\" K  S Y=\"1"));
    QVERIFY(!m.locals().contains(QStringLiteral("Y")));
}

void TestInterpreter::variablenBleibenDerVerbindung() {
    SpeicherGlobale g;
    MInterpreter m(g);
    m.execute(QStringLiteral("S A=\"x\""));
    QCOMPARE(m.execute(QStringLiteral("W A_A")), QStringLiteral("xx"));
    m.execute(QStringLiteral("K A"));
    QVERIFY_THROWS_EXCEPTION(CacheFehler, m.execute(QStringLiteral("W A")));
    m.execute(QStringLiteral("S A=1,B=2"));
    m.execute(QStringLiteral("K  W 1"));
    QVERIFY(m.locals().isEmpty());
}

void TestInterpreter::globaleUndKill() {
    SpeicherGlobale g;
    MInterpreter m(g);
    m.execute(QStringLiteral("S ^X(1,\"a\")=\"v\""));
    QCOMPARE(m.execute(QStringLiteral("W ^X(1,\"a\")")), QStringLiteral("v"));
    m.execute(QStringLiteral("K ^X(1,\"a\")"));
    QVERIFY_THROWS_EXCEPTION(CacheFehler, m.execute(QStringLiteral("W ^X(1,\"a\")")));
}

// Whatever the input: an M error or a result, never a crash or a hang.
void TestInterpreter::beliebigeEingabeStuerztNicht() {
    SpeicherGlobale g;
    MInterpreter m(g);
    const QString zeichen = QStringLiteral("SWDKQswdkq ^$()\",=_+-*!%P0^FA'`;\\|{}~1234567890.PLE");
    quint32 zustand = 12345;
    for (int i = 0; i < 5000; ++i) {
        QString zeile;
        const int laenge = static_cast<int>(zustand % 40);
        for (int k = 0; k < laenge; ++k) {
            zustand = zustand * 1103515245u + 12345u;
            zeile += zeichen[static_cast<int>((zustand >> 16) % zeichen.size())];
        }
        try {
            m.execute(zeile);
        } catch (const CacheFehler& e) {
            QVERIFY(e.Nummer() == Fehlernummer::Syntax || e.Nummer() == Fehlernummer::Undefiniert ||
                    e.Nummer() == Fehlernummer::KeineRoutine);
        }
    }
}

QTEST_GUILESS_MAIN(TestInterpreter)
#include "tst_interpreter.moc"
