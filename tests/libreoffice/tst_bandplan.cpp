#include "libreoffice/picture/bandplan.h"

#include <QTest>

#include <cmath>

namespace {

// A list's rows, all of one height, as the engine would draw them.
class ListRows : public RowHeights
{
public:
    explicit ListRows(int height) : mHeight(height) {}
    qint64 drawnPixels(int from, int to) const override { return qint64(to - from) * (mHeight * 96 / 2540); }
    qint64 sheetHmm(int from, int to) const override { return qint64(to - from) * mHeight; }

private:
    int mHeight;
};

constexpr int kRowHeight = 450;   // 17 px: 235 rows a band at full size, 1,028 reduced
constexpr int kEngineStopsDrawing = 19400;

// A list in columns B:C with a chart, when there is one, from column A to E.
BandPlanInput sheet(int lastRow, double scale, int chartsLastRow, qint64 shownBottom)
{
    BandPlanInput input;
    input.lastRow = lastRow;
    input.firstColumn = chartsLastRow < 0 ? 1 : 0;
    input.usedFirstColumn = 1;
    input.usedLastColumn = 2;
    for (int column = input.firstColumn; column < (chartsLastRow < 0 ? 3 : 5); ++column)
        input.columns.append({column * 2000, 2000, 75});
    input.hasCharts = chartsLastRow >= 0;
    input.chartsLastRow = std::max(0, chartsLastRow);
    input.usedRowHeight = kRowHeight;
    input.scale = scale;
    input.shownBottom = shownBottom;
    return input;
}

} // namespace

class TestBandPlan : public QObject
{
    Q_OBJECT

private slots:
    void bands_data();
    void bands();
};

void TestBandPlan::bands_data()
{
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("chartsLastRow");   // -1: no chart
    QTest::addColumn<int>("shownBottom");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("firstBandLastRow");

    // A chart drawn at its exact size may reach below the last row's cells.
    QTest::newRow("short list, chart below its rows") << 9 << 1.0 << 9 << 400 << 1 << 9;
    QTest::newRow("long list at full size") << 999 << 0.8 << -1 << 17000 << 5 << 234;
    QTest::newRow("chart taller than a band") << 999 << 0.8 << 300 << 17000 << 4 << 300;
    QTest::newRow("reduced, chart on top") << 32768 << 0.2 << 20 << 557000 << 33 << 24;
    QTest::newRow("reduced, no chart") << 15002 << 0.3 << -1 << 255000 << 15 << 1027;
    QTest::newRow("reduced, chart rows reach the end") << 30 << 0.4 << 29 << 600 << 1 << 30;
}

// Every row once, from the top down, each band within what the engine draws;
// the charts' rows at full size and on every column, the rest on the list's
// columns, reduced by the engine when the picture is made much smaller.
void TestBandPlan::bands()
{
    QFETCH(int, lastRow);
    QFETCH(double, scale);
    QFETCH(int, chartsLastRow);
    QFETCH(int, shownBottom);
    QFETCH(int, count);
    QFETCH(int, firstBandLastRow);

    const BandPlanInput input = sheet(lastRow, scale, chartsLastRow, shownBottom);
    const ListRows rows(kRowHeight);
    const QList<PictureBand> bands = PlanBands(input, rows);
    QCOMPARE(bands.size(), count);
    QCOMPARE(bands.first().lastRow, firstBandLastRow);

    int nextRow = 0;
    qint64 nextTop = 0;
    for (const PictureBand &band : bands) {
        QCOMPARE(band.firstRow, nextRow);
        QVERIFY(band.lastRow >= band.firstRow);
        QCOMPARE(band.top, nextTop);
        QVERIFY2(rows.drawnPixels(band.firstRow, band.lastRow + 1) < kEngineStopsDrawing,
                 qPrintable(QString::number(band.firstRow)));
        const bool holdsCharts = band.firstRow <= std::max(0, chartsLastRow);
        QCOMPARE(band.firstColumn, holdsCharts ? input.firstColumn : 1);
        QCOMPARE(band.lastColumn, holdsCharts ? input.lastColumn() : 2);
        QCOMPARE(band.left, holdsCharts ? 0 : 75 * (1 - input.firstColumn));
        const bool reduced = scale <= kMaxEngineReducedScale && (chartsLastRow < 0 || band.firstRow > chartsLastRow);
        QCOMPARE(band.factor, reduced ? scale : 1.0);
        const QSize requested(int(std::lround(4000 * kPixelsPerHmm * scale)),
                              int(std::lround((band.lastRow - band.firstRow + 1) * kRowHeight * kPixelsPerHmm * scale)));
        QCOMPARE(band.requested, reduced ? requested : QSize());
        nextRow = band.lastRow + 1;
        nextTop = band.top + band.height;
    }
    QCOMPARE(nextRow, lastRow + 1);
    if (bands.size() == 1 && scale > kMaxEngineReducedScale)
        QCOMPARE(bands.first().height, std::max<qint64>(shownBottom, rows.drawnPixels(0, lastRow + 1)));
}

QTEST_APPLESS_MAIN(TestBandPlan)
#include "tst_bandplan.moc"
