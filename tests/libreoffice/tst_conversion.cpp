// A result workbook converted on the real engine, each output read back by a
// reader other than LibreOffice.
#include "chartworkbookfixture.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"
#include "tests/chart/fakecharthost.h"

#include "chart/chartcommand.h"
#include "entries/chartsummary.h"
#include "entries/sampleentries.h"
#include "libreoffice/document/workbookconversion.h"
#include "libreoffice/libreofficeserver.h"
#include "libreoffice/process/engineprocess.h"
#include "observedserver.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QElapsedTimer>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ResultFormat)

namespace {

// The sample and three rows more: the chart reads rows 4 to 12. Art is half a
// percent of the 450,000, shown as 1%.
EntryList nineRows()
{
    return SampleEntries() + EntryList{{QStringLiteral("Boat"), QStringLiteral("50000")},
                                       {QStringLiteral("Plane"), QStringLiteral("34250")},
                                       {QStringLiteral("Art"), QStringLiteral("2250")}};
}

const QList<QRgb> kSliceColours = {0x92A081, 0xD7913E, 0xCDA623, 0xB88193, 0x8A75AA, 0x718BAC};
// The template's chart is 648.75 pt by 348.75 pt: at 96 pixels an inch,
// doubled, 1730 by 930 pixels, less what the .xls's cell anchors round off.
const QRect kChartPngSizes(QPoint(1700, 910), QPoint(1740, 940));

QByteArray digest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

// What readback.py finds in the file, a fact a line.
QString readBack(const QString &kind, const QString &path)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QFINDTESTDATA("readback.py"), kind, path});
    if (!reader.waitForFinished(120000) || reader.exitCode() != 0)
        return QString::fromLocal8Bit(reader.readAllStandardError());
    return QString::fromUtf8(reader.readAllStandardOutput());
}

int pixelsNear(const QImage &picture, QRgb colour, int tolerance = 16)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += std::abs(qRed(line[x]) - qRed(colour)) <= tolerance
                    && std::abs(qGreen(line[x]) - qGreen(colour)) <= tolerance
                    && std::abs(qBlue(line[x]) - qBlue(colour)) <= tolerance;
    }
    return count;
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertsTheResult_data();
    void convertsTheResult();
    void longListPdfDrawsEverySlice();
    void failureLeavesNoFile_data();
    void failureLeavesNoFile();
    void cancelEndsTheInstance();

private:
    IsolatedEnvironment mEnv;
    ObservedServer mServer;
    QString mWorkbook;
};

void TestConversion::initTestCase()
{
    QStringList trail;
    FakeChartHost host(&trail);
    host.entries = nineRows();
    ScriptedPrompts prompts;
    mServer.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    ChartCommand(prompts, mServer).run(host);
    QVERIFY2(prompts.errorReports().isEmpty(), qPrintable(prompts.errorReports().join(u'\n')));
    mWorkbook = host.workbook;
    // Conversions take a warm spare, as the program's do.
    mServer.setWarmUpDocument(kTemplateResource);
    mServer.startSpares(1);
}

void TestConversion::convertsTheResult_data()
{
    QTest::addColumn<ResultFormat>("format");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("facts");
    // The chart's title: once in the chart's text, never cut in two across pages.
    QTest::addColumn<int>("titles");
    QStringList cells{QStringLiteral("sheet Assets")};
    // The chart's labels as LibreOffice draws them, and the same chart told
    // as text where each format keeps it for assistive technology.
    QStringList labels{QStringLiteral("My Assets")};
    const QList<ChartSlice> slices = ChartSlices(nineRows(), QLocale(QLocale::English, QLocale::UnitedStates));
    const QString summary = ChartSummary(QStringLiteral("My Assets"), slices);
    for (const Entry &entry : nineRows()) {
        cells << QStringLiteral("row %1 %2").arg(entry.label, entry.amount);
        labels << QStringLiteral("%1 %2%").arg(entry.label).arg(ChartSliceShare(entry.amount.toDouble(), 450000));
    }
    QCOMPARE(labels.at(4), QStringLiteral("House 56%"));
    QCOMPARE(labels.at(9), QStringLiteral("Art 1%"));
    const QString alt = QStringLiteral("alt My Assets | ") + summary;
    QTest::newRow("xlsx") << ResultFormat::Xlsx << "xlsx"
                          << (cells + QStringList{QStringLiteral("chart PieChart3D"),
                                                  QStringLiteral("range Assets!$A$4:$A$12"),
                                                  QStringLiteral("range Assets!$B$4:$B$12"),
                                                  // Its export writes no chart object's description.
                                                  QStringLiteral("document title ") + summary})
                          << 0;
    QTest::newRow("ods") << ResultFormat::Ods << "ods" << (cells + QStringList{QStringLiteral("chart chart:circle"), alt})
                         << 0;
    QTest::newRow("pdf") << ResultFormat::Pdf << "pdf"
                         << (QStringList{QStringLiteral("pages "), QStringLiteral("alt ") + summary} << labels) << 1;
    QTest::newRow("chart svg") << ResultFormat::ChartSvg << "svg"
                               << (QStringList{QStringLiteral("root {http://www.w3.org/2000/svg}svg"), alt} << labels)
                               << 1;
    QTest::newRow("chart png") << ResultFormat::ChartPng << "png" << QStringList() << 0;
}

void TestConversion::convertsTheResult()
{
    QFETCH(ResultFormat, format);
    QFETCH(QString, suffix);
    QFETCH(QStringList, facts);
    QFETCH(int, titles);
    const QByteArray before = digest(mWorkbook);
    QVERIFY(mServer.waitForSpares(std::chrono::minutes(2)));
    const QList<qint64> spares = mServer.sparePids();

    const QString converted = mServer.convertWorkbook(mWorkbook, format);
    auto removeConverted = qScopeGuard([&] { QFile::remove(converted); });

    QCOMPARE(digest(mWorkbook), before);
    QCOMPARE(QFileInfo(converted).suffix(), suffix);
    struct stat folder {};
    QCOMPARE(::stat(QFile::encodeName(QFileInfo(converted).path()).constData(), &folder), 0);
    QCOMPARE(folder.st_uid, ::getuid());
    QCOMPARE(folder.st_mode & 077, 0u);
    // The spare did the work and has ended.
    QTRY_VERIFY_WITH_TIMEOUT(mServer.quittingPids().isEmpty(), 60000);
    QVERIFY(!EngineProcess::startedPids().contains(spares.value(0)));

    if (format == ResultFormat::ChartPng) {
        const QImage picture(converted);
        QVERIFY2(kChartPngSizes.contains(QPoint(picture.width(), picture.height())),
                 qPrintable(QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height())));
        for (QRgb colour : kSliceColours)
            QVERIFY2(pixelsNear(picture, colour) >= 1000, qPrintable(QString::number(colour, 16)));
        return;
    }
    const QString found = readBack(suffix, converted);
    for (const QString &fact : std::as_const(facts))
        QVERIFY2(found.contains(fact), qPrintable(fact + QStringLiteral(" not in:\n") + found));
    QStringList drawn = found.split(QLatin1Char('\n'));
    drawn.removeIf([](const QString &line) {
        return line.startsWith(QLatin1String("alt ")) || line.startsWith(QLatin1String("document title "));
    });
    QCOMPARE(drawn.join(QLatin1Char('\n')).count(QStringLiteral("My Assets")), titles);
}

// A pie of every row beside rows a quarter of a page tall: the PDF is made in
// the time the engine is given for it, which a chart rebuilt at the end of
// each page's drawing ran out of, and its first page draws each slice once.
void TestConversion::longListPdfDrawsEverySlice()
{
    const int rows = 6000;
    const QString workbook = mEnv.tempFolder() + QStringLiteral("/tall.fods");
    WriteLongChartWorkbook(workbook, rows);
    QVERIFY(mServer.waitForSpares(std::chrono::minutes(2)));
    QString converted;
    try {
        converted = mServer.convertWorkbook(workbook, ResultFormat::Pdf);
    } catch (const SpreadsheetError &e) {
        QFAIL(qPrintable(e.description()));
    }
    const auto removeConverted = qScopeGuard([&] { QFile::remove(converted); });
    const QStringList found = readBack(QStringLiteral("pdf"), converted).split(QLatin1Char('\n'));
    const auto number = [&found](const QString &fact) {
        return found.filter(fact).value(0).mid(fact.size()).toInt();
    };
    QVERIFY2(number(QStringLiteral("pages ")) >= rows / 4, qPrintable(found.first()));
    const int drawn = number(QStringLiteral("page 1 fills "));
    QVERIFY2(drawn >= rows && drawn < 2 * rows, qPrintable(QString::number(drawn)));
}

void TestConversion::failureLeavesNoFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<ResultFormat>("format");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such file") << QByteArray() << ResultFormat::Xlsx << "there is no such file";
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(8, 8, QImage::Format_RGB32).save(&buffer, "PNG");
    }
    QTest::newRow("a picture") << png << ResultFormat::Pdf << "not a workbook";
}

void TestConversion::failureLeavesNoFile()
{
    QFETCH(QByteArray, content);
    QFETCH(ResultFormat, format);
    QFETCH(QString, reason);
    const QString source = mEnv.tempFolder() + QStringLiteral("/source.xls");
    QFile::remove(source);
    if (!content.isEmpty()) {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QDir converted(WorkbookConversion::folder());
    try {
        const QString path = mServer.convertWorkbook(source, format);
        QFAIL(qPrintable(QStringLiteral("converted into ") + path));
    } catch (const SpreadsheetError &e) {
        QVERIFY2(e.description().contains(reason), qPrintable(e.description()));
    }
    QCOMPARE(converted.entryList(QDir::Files), QStringList());
}

// Cancelled while the engine works, a conversion ends its instance at once
// and leaves no file, not even the one it had reserved.
void TestConversion::cancelEndsTheInstance()
{
    // A sheet long enough that its PDF keeps the engine busy for a while.
    QByteArray rows = "Label,Amount\n";
    for (int i = 1; i <= 30000; ++i)
        rows += "Asset " + QByteArray::number(i) + ',' + QByteArray::number(i * 3) + '\n';
    const QString csv = mEnv.tempFolder() + QStringLiteral("/long.csv");
    const QString workbook = mEnv.tempFolder() + QStringLiteral("/long.xlsx");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(rows) == rows.size());
    file.close();
    {
        const auto app = mServer.create();
        app->workbooks().open(csv)->saveAs(workbook);
        app->quit();
    }
    QVERIFY(mServer.waitForSpares(std::chrono::minutes(2)));
    const QList<qint64> spares = mServer.sparePids();
    QCOMPARE(spares.size(), 1);

    const QDir converted(WorkbookConversion::folder());
    std::stop_source stop;
    QFuture<QString> conversion = QtConcurrent::run([&] {
        try {
            return QStringLiteral("converted into ") + mServer.convertWorkbook(workbook, ResultFormat::Pdf, stop.get_token());
        } catch (const SpreadsheetError &) {
            return QString();
        }
    });
    // The file it writes is reserved just before the engine sets to work.
    QTRY_VERIFY_WITH_TIMEOUT(!converted.entryList(QDir::Files).isEmpty() || conversion.isFinished(), 60000);
    QElapsedTimer clock;
    clock.start();
    stop.request_stop();
    const QString outcome = conversion.result();
    qInfo("a cancelled conversion ended %lld ms after the request", qint64(clock.elapsed()));
    QCOMPARE(outcome, QString());
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(converted.entryList(QDir::Files), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(spares.first())), 10000);
}

QTEST_MAIN(TestConversion)
#include "tst_conversion.moc"
