// History viewer and about box.

#include "testumgebung.h"

#include "auxwindows/frmabout.h"
#include "auxwindows/frmprogrammverlauf.h"
#include "platform/widgets/ctlist.h"
#include "util/programmverlauf.h"

#include <QLabel>
#include <QtTest>

class TestAuxwindows : public QObject {
    Q_OBJECT
  private slots:
    void verlaufSchliessenVerbirgtNur();
    void verlaufFolgtDerFenstergroesse();
    void infoFenster();
    void registryWerte_data();
    void registryWerte();
    void systeminfo();
};

void TestAuxwindows::verlaufSchliessenVerbirgtNur() {
    Testumgebung u(false);
    Programmverlauf(QStringLiteral("a"), QStringLiteral("erst"), QString());
    u.verlauf->show();
    QVERIFY(!u.verlauf->close());
    QVERIFY(!u.verlauf->isVisible());
    Programmverlauf(QStringLiteral("b"), QStringLiteral("dazwischen"), QStringLiteral("d"));
    u.verlauf->show();
    QCOMPARE(u.verlauf->Verlauf->List(0), QStringLiteral("b;dazwischen;d"));
    QCOMPARE(u.verlauf->Verlauf->ListCount(), 2);
    QCOMPARE(u.verlauf->windowTitle(), QStringLiteral("Programmverlauf"));
    QCOMPARE(u.verlauf->Verlauf->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Text"));
    QCOMPARE(u.verlauf->Verlauf->Model()->index(0, 1).data().toString(), QStringLiteral("dazwischen;d"));
    // At program end it unloads for real.
    u.verlauf->setEntladen(true);
    QVERIFY(u.verlauf->close());
}

void TestAuxwindows::verlaufFolgtDerFenstergroesse() {
    frmProgrammverlauf v;
    v.show();
    v.resize(500, 300);
    QCOMPARE(v.Verlauf->geometry(), QRect(0, 0, 500, 300));
    v.resize(200, 100);
    QCOMPARE(v.Verlauf->geometry(), QRect(0, 0, 200, 100));
}

void TestAuxwindows::infoFenster() {
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.16"));
    frmAbout a;
    QCOMPARE(a.windowTitle(), QStringLiteral("Info zu Benutzerverwaltung"));
    QCOMPARE(a.lblTitle->text(), QStringLiteral("Benutzerverwaltung"));
    QCOMPARE(a.lblVersion->text(), QStringLiteral("1.0.16"));
    QVERIFY(!a.picIcon->pixmap().isNull());
    a.show();
    a.cmdOK_Click();
    QVERIFY(!a.isVisible());
}

void TestAuxwindows::registryWerte_data() {
    QTest::addColumn<int>("typ");
    QTest::addColumn<QByteArray>("daten");
    QTest::addColumn<QString>("text");
    QTest::newRow("dword") << 4 << QByteArray::fromHex("78563412") << "&h12345678";
    QTest::newRow("dword ohne fuehrende null") << 4 << QByteArray::fromHex("0a000000") << "&h000A";
    QTest::newRow("text bis nul") << 1 << QByteArray("C\0:\0\\\0\0\0x\0", 10) << "C:\\";
    QTest::newRow("anderer typ") << 3 << QByteArray("ab") << "";
}

void TestAuxwindows::registryWerte() {
    QFETCH(int, typ);
    QFETCH(QByteArray, daten);
    QFETCH(QString, text);
    QCOMPARE(frmAbout::RegistryWertFormatieren(typ, daten), text);
}

void TestAuxwindows::systeminfo() {
    Testumgebung u(false);
    frmAbout a;
    QString gestartet;
    a.ProgrammStarten = [&](const QString& p) {
        gestartet = p;
        return true;
    };
    const QByteArray pfad = qgetenv("PATH");
    qputenv("PATH", "/nirgends");
    a.cmdSysInfo_Click();
    QVERIFY(gestartet.isEmpty());
    QCOMPARE(u.dialoge.Letzte(QStringLiteral("MsgBox"))->text,
             QStringLiteral("Systeminformationen sind momentan nicht verfügbar"));
    // A program on the path is started.
    QTemporaryDir bin;
    QFile f(bin.filePath(QStringLiteral("hardinfo")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", bin.path().toUtf8());
    a.cmdSysInfo_Click();
    QCOMPARE(gestartet, bin.filePath(QStringLiteral("hardinfo")));
    qputenv("PATH", pfad);
}

QTEST_MAIN(TestAuxwindows)
#include "tst_auxwindows.moc"
