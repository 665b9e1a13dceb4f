#include "entries/delimitedtext.h"
#include "entries/incomingrows.h"

#include <QTest>

class TestIncomingRows : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void fullList();
    void reportListsTheFirstSkips();
};

void TestIncomingRows::check_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("accepted");
    QTest::addColumn<QString>("report");
    QTest::newRow("all added, header passed over")
            << "Label,Number (Value)\r\nSavings,\"25,000.50\"\r\nCar,7500\r\n" << "en_US"
            << QStringList{"Savings=25,000.50", "Car=7500"} << "";
    QTest::newRow("de_DE") << "Haus;250.000,00\nAuto;1,5\n\n" << "de_DE" << QStringList{"Haus=250.000,00", "Auto=1,5"} << "";
    QTest::newRow("one row is no header") << "Car\t1,500.5" << "de_DE" << QStringList{}
                                          << "0 rows were added; 1 row was skipped:\r\nrow 1: its amount is not a number";
    QTest::newRow("blank and extra cells") << "\t\n\nA\t1\tnote\n\t\n" << "en_US" << QStringList{"A=1"} << "";
    QTest::newRow("each check") << "Label\tAmount\nA\t1\n\t2\nB\t\nC||SEP1||x\t3\nD\t4||SEP2||\nE\tabc\nF\n"
                                   + QString(32768, 'x') + "\t5\n" + QString(32767, 'y') + "\t6"
                                << "en_US" << QStringList{"A=1", QString(32767, 'y') + "=6"}
                                << "2 rows were added; 7 rows were skipped:"
                                   "\r\nrow 3: it has no label"
                                   "\r\nrow 4: it has no amount"
                                   "\r\nrow 5: its label holds \"||SEP1||\" or \"||SEP2||\""
                                   "\r\nrow 6: its amount is not a number"
                                   "\r\nrow 7: its amount is not a number"
                                   "\r\nrow 8: it has no amount"
                                   "\r\nrow 9: its label is longer than 32,767 characters";
}

void TestIncomingRows::check()
{
    QFETCH(QString, text);
    QFETCH(QString, locale);
    QFETCH(QStringList, accepted);
    QFETCH(QString, report);
    const IncomingRows rows(DelimitedText::parse(text), kMaxEntries, QLocale(locale));
    QStringList got;
    for (const Entry &e : rows.accepted())
        got << e.label + u'=' + e.amount;
    QCOMPARE(got, accepted);
    QCOMPARE(rows.report(), report);
}

void TestIncomingRows::fullList()
{
    QList<QStringList> table;
    for (int i = 1; i <= kMaxEntries + 1; ++i)
        table.append({QStringLiteral("Asset %1").arg(i), QString::number(i)});
    const IncomingRows all(table, kMaxEntries, QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(all.accepted().size(), kMaxEntries);
    QCOMPARE(all.accepted().last().label, QStringLiteral("Asset 32766"));
    QCOMPARE(all.report(), QStringLiteral("32,766 rows were added; 1 row was skipped:\r\n"
                                          "row 32,767: the list already holds 32,766 rows, as many as it can"));
    const IncomingRows some(table.mid(0, 3), 2, QLocale::c());
    QCOMPARE(some.accepted().size(), 2);
    QCOMPARE(some.skipped().size(), 1);
    QCOMPARE(some.skipped().first().row, 3);
}

void TestIncomingRows::reportListsTheFirstSkips()
{
    QList<QStringList> table{{"A", "1"}};
    for (int i = 0; i < 12; ++i)
        table.append({QStringLiteral("B"), QStringLiteral("x")});
    const QString report = IncomingRows(table, kMaxEntries, QLocale::c()).report();
    QCOMPARE(report.count(u"\r\nrow "), 10);
    QVERIFY(report.startsWith(u"1 row was added; 12 rows were skipped:"));
    QVERIFY(report.endsWith(u"\r\nand 2 more."));
}

QTEST_GUILESS_MAIN(TestIncomingRows)
#include "tst_incomingrows.moc"
