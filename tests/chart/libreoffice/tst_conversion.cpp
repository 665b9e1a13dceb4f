// A result workbook converted on the real engine, each output read back by a
// reader other than LibreOffice.
#include "../fakecharthost.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"

#include "chart/chartcommand.h"
#include "chart/libreoffice/document/workbookconversion.h"
#include "chart/libreoffice/libreofficeserver.h"
#include "chart/libreoffice/process/engineprocess.h"
#include "entries/sampleentries.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ResultFormat)

namespace {

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

QJsonObject readBack(const QString &kind, const QString &path)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QFINDTESTDATA("readback.py"), kind, path});
    if (!reader.waitForFinished(120000) || reader.exitCode() != 0)
        return {{QStringLiteral("error"), QString::fromLocal8Bit(reader.readAllStandardError())}};
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
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

QSet<qint64> asSet(const QList<qint64> &pids)
{
    return QSet<qint64>(pids.begin(), pids.end());
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convertsTheResult_data();
    void convertsTheResult();
    void failureLeavesNoFile_data();
    void failureLeavesNoFile();

private:
    void checkCells(const QJsonObject &found);
    void checkChartText(const QString &text);

    IsolatedEnvironment mEnv;
    LibreOfficeServer mServer;
    QString mWorkbook;
};

void TestConversion::initTestCase()
{
    QStringList trail;
    FakeChartHost host(&trail);
    host.entries = SampleEntries();
    ScriptedPrompts prompts;
    mServer.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    ChartCommand(prompts, mServer).run(host);
    QVERIFY2(prompts.errorReports().isEmpty(), qPrintable(prompts.errorReports().join(u'\n')));
    mWorkbook = host.workbook;
    // Conversions take a warm spare, as the program's do.
    mServer.setWarmUpDocument(kTemplateResource);
    mServer.startSpares(1);
}

void TestConversion::checkCells(const QJsonObject &found)
{
    QCOMPARE(found.value(u"sheet").toString(), QStringLiteral("Assets"));
    const QJsonArray rows = found.value(u"rows").toArray();
    const EntryList entries = SampleEntries();
    QCOMPARE(rows.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(rows.at(i)[0].toString(), entries.at(i).label);
        QCOMPARE(rows.at(i)[1].toDouble(), entries.at(i).amount.toDouble());
    }
}

void TestConversion::checkChartText(const QString &text)
{
    QVERIFY2(text.contains(u"My Assets"), qPrintable(text));
    for (const Entry &entry : SampleEntries())
        QVERIFY2(text.contains(entry.label), qPrintable(entry.label + QStringLiteral(" in ") + text));
    // House is 250,000 of 363,500.
    QVERIFY2(text.contains(u"69%"), qPrintable(text));
}

void TestConversion::convertsTheResult_data()
{
    QTest::addColumn<ResultFormat>("format");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("xlsx") << ResultFormat::Xlsx << "xlsx";
    QTest::newRow("ods") << ResultFormat::Ods << "ods";
    QTest::newRow("pdf") << ResultFormat::Pdf << "pdf";
    QTest::newRow("chart svg") << ResultFormat::ChartSvg << "svg";
    QTest::newRow("chart png") << ResultFormat::ChartPng << "png";
}

void TestConversion::convertsTheResult()
{
    QFETCH(ResultFormat, format);
    QFETCH(QString, suffix);
    const QByteArray before = digest(mWorkbook);
    QVERIFY(mServer.waitForSpares(std::chrono::minutes(2)));
    const QSet<qint64> spares = asSet(mServer.sparePids());

    const QString converted = mServer.convertWorkbook(mWorkbook, format);
    auto removeConverted = qScopeGuard([&] { QFile::remove(converted); });

    QCOMPARE(digest(mWorkbook), before);
    QCOMPARE(QFileInfo(converted).suffix(), suffix);
    struct stat folder {};
    QCOMPARE(::stat(QFile::encodeName(QFileInfo(converted).path()).constData(), &folder), 0);
    QCOMPARE(folder.st_uid, ::getuid());
    QCOMPARE(folder.st_mode & 077, 0u);
    // The spare did the work and ends; its replacement is the only instance then.
    QTRY_VERIFY_WITH_TIMEOUT(mServer.quittingPids().isEmpty(), 60000);
    QVERIFY(!asSet(EngineProcess::startedPids()).contains(spares));

    if (format == ResultFormat::ChartPng) {
        const QImage picture(converted);
        QVERIFY2(kChartPngSizes.contains(QPoint(picture.width(), picture.height())),
                 qPrintable(QStringLiteral("%1 x %2").arg(picture.width()).arg(picture.height())));
        for (QRgb colour : kSliceColours)
            QVERIFY2(pixelsNear(picture, colour) >= 1000, qPrintable(QString::number(colour, 16)));
        return;
    }
    const QJsonObject found = readBack(suffix, converted);
    QVERIFY2(!found.contains(u"error"), qPrintable(found.value(u"error").toString()));
    switch (format) {
    case ResultFormat::Xlsx:
        checkCells(found);
        QCOMPARE(found.value(u"charts").toArray(), QJsonArray{QStringLiteral("PieChart3D")});
        break;
    case ResultFormat::Ods:
        checkCells(found);
        QCOMPARE(found.value(u"charts").toArray(), QJsonArray{QStringLiteral("chart:circle")});
        break;
    case ResultFormat::Pdf:
        QVERIFY(found.value(u"pages").toInt() >= 1);
        checkChartText(found.value(u"text").toString());
        // The chart whole on a page, not cut in two across pages.
        QCOMPARE(found.value(u"text").toString().count(u"My Assets"), 1);
        break;
    default:
        QCOMPARE(found.value(u"root").toString(), QStringLiteral("{http://www.w3.org/2000/svg}svg"));
        checkChartText(found.value(u"text").toString());
        break;
    }
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
        const QString converted = mServer.convertWorkbook(source, format);
        QFAIL(qPrintable(QStringLiteral("converted into ") + converted));
    } catch (const SpreadsheetError &e) {
        QVERIFY2(e.description().contains(reason), qPrintable(e.description()));
    }
    QCOMPARE(converted.entryList(QDir::Files), QStringList());
}

QTEST_MAIN(TestConversion)
#include "tst_conversion.moc"
