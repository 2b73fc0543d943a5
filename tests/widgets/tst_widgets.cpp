// The multi-column list: model consistency, rows, selection, sorting, scale.

#include "platform/dialogservice.h"
#include "platform/widgets/ctlist.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

class TestWidgets : public QObject {
    Q_OBJECT
  private slots:
    void zeilenUndSpalten();
    void modellBleibtStimmig();
    void sortierenStabilUndDeutsch();
    void auswahlGehtBeimNeuladenVerloren();
    void hunderttausendZeilen();
    void dateidialogDatumDeutsch();
};

void TestWidgets::zeilenUndSpalten() {
    CtList l;
    l.setSpalten({QStringLiteral("PCode"), QStringLiteral("Name")}, {50, 100});
    l.AddItem(QStringLiteral("B;Zwei"));
    l.InsertItem(0, QStringLiteral("A;Eins;mit;Rest"));
    l.InsertItem(99, QStringLiteral("C;Drei"));
    QCOMPARE(l.ListCount(), 3);
    QCOMPARE(l.List(0), QStringLiteral("A;Eins;mit;Rest"));
    QCOMPARE(l.Model()->index(0, 1).data().toString(), QStringLiteral("Eins;mit;Rest"));
    QCOMPARE(l.List(2), QStringLiteral("C;Drei"));
    QCOMPARE(l.List(7), QString());
    l.setItemData(1, QStringLiteral("b"));
    QCOMPARE(l.ItemData(1).toString(), QStringLiteral("b"));
    l.RemoveItem(0);
    QCOMPARE(l.List(0), QStringLiteral("B;Zwei"));
    l.RemoveItem(5);
    QCOMPARE(l.ColumnWidth(1), 50);
    l.setColumnWidth(2, 77);
    QCOMPARE(l.ColumnWidth(2), 77);
    l.setTitel(QStringLiteral("Mögliche Server"));
    QCOMPARE(l.Titel(), QStringLiteral("Mögliche Server"));
    l.Begrenzen(1);
    QCOMPARE(l.ListCount(), 1);
}

void TestWidgets::modellBleibtStimmig() {
    CtList l;
    l.setSpalten({QStringLiteral("a"), QStringLiteral("b")}, {10, 10});
    QAbstractItemModelTester pruefer(l.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 50; ++i)
        l.InsertItem(i % 3 == 0 ? 0 : l.ListCount(), QStringLiteral("%1;x").arg(i));
    {
        CtList::Aktualisierung a(l);
        l.Clear();
        for (int i = 0; i < 20; ++i)
            l.InsertItem(0, QString::number(i));
        l.Sort();
    }
    QCOMPARE(l.Model()->rowCount(), 20);
    l.RemoveItem(3);
    l.Begrenzen(5);
    l.Clear();
    QCOMPARE(l.Model()->rowCount(), 0);
}

void TestWidgets::sortierenStabilUndDeutsch() {
    CtList l;
    for (const char* z : {"3;Zander", "1;Ärger", "2;Adler", "4;adler", "5;Öl", "6;Oma"})
        l.AddItem(QString::fromUtf8(z));
    l.setSortColumn(2);
    l.setSortOrder(0);
    l.Sort();
    QStringList s;
    for (int i = 0; i < l.ListCount(); ++i)
        s.append(l.List(i).section(QLatin1Char(';'), 0, 0));
    // Umlauts sort with their letters; equal keys keep their order.
    QCOMPARE(s, (QStringList{QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("1"),
                             QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("3")}));
    l.setSortOrder(1);
    l.Sort();
    QCOMPARE(l.List(0), QStringLiteral("3;Zander"));
}

void TestWidgets::auswahlGehtBeimNeuladenVerloren() {
    CtList l;
    l.AddItem(QStringLiteral("a"));
    l.AddItem(QStringLiteral("b"));
    l.setSelected(1, true);
    QVERIFY(l.Selected(1));
    QVERIFY(!l.Selected(0));
    {
        CtList::Aktualisierung a(l);
        l.Clear();
        l.AddItem(QStringLiteral("a"));
        l.AddItem(QStringLiteral("b"));
    }
    QVERIFY(!l.Selected(1));
}

void TestWidgets::hunderttausendZeilen() {
    CtList l;
    l.setSpalten({QStringLiteral("PCode"), QStringLiteral("Name")}, {50, 100});
    l.resize(300, 400);
    l.show();
    QElapsedTimer t;
    t.start();
    {
        CtList::Aktualisierung a(l);
        for (int i = 0; i < 100000; ++i)
            l.InsertItem(0, QStringLiteral("M%1;Name %2").arg(i).arg((i * 7919) % 100000));
        l.setSortColumn(2);
        l.Sort();
    }
    QCoreApplication::processEvents();
    const qint64 ms = t.elapsed();
    QCOMPARE(l.ListCount(), 100000);
    QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
    // Inserting one more at the top does not rebuild the list.
    t.restart();
    for (int i = 0; i < 1000; ++i)
        l.InsertItem(0, QStringLiteral("neu"));
    QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
}

QTEST_MAIN(TestWidgets)
// The save dialog dates files in the program's German format, whatever the
// system's locale (the tests run in C).
void TestWidgets::dateidialogDatumDeutsch() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir ordner;
    const QString pfad = ordner.filePath(QStringLiteral("alt.csv"));
    QFile datei(pfad);
    QVERIFY(datei.open(QIODevice::WriteOnly));
    const QDateTime zeit(QDate(2026, 3, 7), QTime(16, 45));
    QVERIFY(datei.setFileTime(zeit, QFileDevice::FileModificationTime));
    datei.close();
    QString gezeigt;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* baum = dialog->findChild<QTreeView*>();
        if (baum && QTest::qWaitFor([&] { return baum->model()->rowCount(baum->rootIndex()) > 0; }))
            gezeigt = baum->model()->index(0, 3, baum->rootIndex()).data().toString();
        dialog->reject();
    });
    QtDialogService dienst;
    QCOMPARE(dienst.Speicherort(QStringLiteral("Als CSV exportieren"), pfad, QStringLiteral("CSV-Dateien (*.csv)")),
             QString());
    QCOMPARE(gezeigt, QStringLiteral("07.03.26 16:45"));
}

#include "tst_widgets.moc"
