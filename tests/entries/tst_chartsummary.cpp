#include "entries/chartsummary.h"
#include "entries/sampleentries.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(EntryList)

class TestChartSummary : public QObject
{
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
};

void TestChartSummary::summary_data()
{
    QTest::addColumn<EntryList>("entries");
    QTest::addColumn<QString>("typedIn");
    QTest::addColumn<QString>("expected");

    const QString c = QStringLiteral("C");
    QTest::newRow("sample") << SampleEntries() << c
                            << u"My Assets, pie chart of 6 slices. Savings: 25,000 (7%). 401k: 55,000 (15%). "
                               "Stocks: 15,000 (4%). House: 250,000 (69%). Bonds: 11,000 (3%). Car: 7,500 (2%)."_s;
    QTest::newRow("halves away from zero") << EntryList{{u"a"_s, u"1"_s}, {u"b"_s, u"7"_s}} << c
                                           << u"My Assets, pie chart of 2 slices. a: 1 (13%). b: 7 (88%)."_s;
    // 29 of 200 is 14.499999999999998 in binary; the chart shows 15%.
    QTest::newRow("a half lost in binary") << EntryList{{u"a"_s, u"29"_s}, {u"b"_s, u"171"_s}} << c
                                           << u"My Assets, pie chart of 2 slices. a: 29 (15%). b: 171 (86%)."_s;
    QTest::newRow("negative counts by its size") << EntryList{{u"a"_s, u"-1"_s}, {u"b"_s, u"3"_s}} << c
                                                 << u"My Assets, pie chart of 2 slices. a: -1 (25%). b: 3 (75%)."_s;
    QTest::newRow("text amounts are not plotted")
            << EntryList{{u"a"_s, u"ten"_s}, {u"b"_s, u"2.5"_s}} << c
            << u"My Assets, pie chart of 1 slice. b: 2.5 (100%)."_s;
    QTest::newRow("typed in German") << EntryList{{u"a"_s, u"1.000,5"_s}} << u"de_DE"_s
                                     << u"My Assets, pie chart of 1 slice. a: 1,000.5 (100%)."_s;
    QTest::newRow("nothing to plot") << EntryList{} << c << u"My Assets, pie chart of 0 slices."_s;
}

void TestChartSummary::summary()
{
    QFETCH(EntryList, entries);
    QFETCH(QString, typedIn);
    QFETCH(QString, expected);
    const QList<ChartSlice> slices = ChartSlices(entries, QLocale(typedIn));
    QCOMPARE(ChartSummary(u"My Assets"_s, slices, QLocale(QLocale::English, QLocale::UnitedStates)), expected);
}

QTEST_GUILESS_MAIN(TestChartSummary)
#include "tst_chartsummary.moc"
