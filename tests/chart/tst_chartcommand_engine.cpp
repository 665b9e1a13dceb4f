// The chart command end to end on the real engine: one click per case, and
// every check of that case made on what the one click left behind.
#include "fakecharthost.h"
#include "isolatedenvironment.h"
#include "scriptedprompts.h"

#include "chart/chartcommand.h"
#include "chart/engineprocess.h"
#include "chart/libreofficeserver.h"
#include "entries/entrycodec.h"
#include "entries/sampleentries.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "shell/form1.h"
#include "shell/pushbutton.h"
#include "shell/settingsstore.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

// Other LibreOffice instances of this user may be running beside the test; the
// question about them is answered Yes and recorded, everything else is scripted.
class ProceedingPrompts : public ScriptedPrompts
{
public:
    int runningInstanceQuestions = 0;

    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title) override
    {
        if (buttons == MsgButtons::YesNo && text.startsWith(QLatin1String("Excel may be open."))) {
            ++runningInstanceQuestions;
            return MsgAnswer::Yes;
        }
        return ScriptedPrompts::message(text, buttons, icon, title);
    }
};

struct EngineClick {
    IsolatedEnvironment env;
    QStringList trail;
    LibreOfficeServer server;
    FakeChartHost host{&trail};
    ProceedingPrompts prompts;

    explicit EngineClick(const EntryList &entries)
    {
        // Amounts are typed as in the United States, whatever this machine says.
        server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        host.entries = entries;
    }
    void run() { ChartCommand(prompts, server).run(host); }
    QString temp(const QString &name) const { return env.tempFolder() + QLatin1Char('/') + name; }
    QStringList tempFiles() const { return QDir(env.tempFolder()).entryList(QDir::Files | QDir::Hidden); }
};

EntryList entries(int count)
{
    const EntryList all = {{QStringLiteral("Savings"), QStringLiteral("25000")},
                           {QStringLiteral("401k"), QStringLiteral("55,000")},
                           {QStringLiteral("Stocks"), QStringLiteral("15000.5")},
                           {QStringLiteral("House"), QStringLiteral("250000")},
                           {QStringLiteral("Bonds"), QStringLiteral("11000")},
                           {QStringLiteral("Car"), QStringLiteral("7500")},
                           {QStringLiteral("Boat"), QStringLiteral("1200")}};
    return all.mid(0, count);
}

double typedNumber(const QString &amount)
{
    return QString(amount).remove(QLatin1Char(',')).toDouble();
}

// soffice.bin processes that are children of this test and still alive.
QStringList ourEngines()
{
    QStringList found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...
        const QString text = QString::fromLocal8Bit(stat.readAll());
        const qsizetype close = text.lastIndexOf(QLatin1Char(')'));
        const QStringList rest = text.mid(close + 2).split(QLatin1Char(' '));
        if (text.contains(QLatin1String("(soffice.bin)")) && rest.size() > 1 && rest.at(0) != QLatin1String("Z")
            && rest.at(1).toLongLong() == QCoreApplication::applicationPid())
            found << entry;
    }
    for (qint64 pid : EngineProcess::startedPids()) {
        if (::kill(pid_t(pid), 0) == 0 && !found.contains(QString::number(pid)))
            found << QString::number(pid);
    }
    return found;
}

// How many pixels of the picture lie within tolerance of the colour.
int pixelsNear(const QImage &picture, QRgb colour, int tolerance = 16)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(qRed(line[x]) - qRed(colour)) <= tolerance
                && std::abs(qGreen(line[x]) - qGreen(colour)) <= tolerance
                && std::abs(qBlue(line[x]) - qBlue(colour)) <= tolerance)
                ++count;
        }
    }
    return count;
}

// LibreOffice keeps a format in its own spelling: after the .xls round trip
// the accounting format reads _(\$* #,##0_);_(\$* \(#,##0\);_(\$* -??_);_(@_),
// which shows exactly what the quoted form does. Compared without the escapes.
QString displayedAlike(QString format)
{
    return format.remove(QLatin1Char('\\')).remove(QLatin1Char('"'));
}

const QList<QRgb> kSliceColours = {0x92A081, 0xD7913E, 0xCDA623, 0xB88193, 0x8A75AA, 0x718BAC};

// gnumeric's reader, independent of the engine that wrote the file.
QString ssconvert(const QString &workbook, const QString &target, const QStringList &options = {})
{
    QProcess process;
    process.start(QStringLiteral("ssconvert"), options + QStringList{workbook, target});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QStringLiteral("ssconvert failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    QFile file(target);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("ssconvert wrote nothing");
    return QString::fromUtf8(file.readAll());
}

EntryList numberedEntries(int count)
{
    EntryList list;
    for (int i = 1; i <= count; ++i)
        list.append({QStringLiteral("Asset %1").arg(i), QString::number(1000 * i + 250)});
    return list;
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245;
}

// How many lines of white lie along the picture's right and bottom edges.
QSize whiteMargins(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int right = 0;
    for (int x = image.width() - 1; x >= 0; --x, ++right) {
        bool white = true;
        for (int y = 0; y < image.height() && white; ++y)
            white = isWhite(image.pixel(x, y));
        if (!white)
            break;
    }
    int bottom = 0;
    for (int y = image.height() - 1; y >= 0; --y, ++bottom) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (!std::all_of(line, line + image.width(), isWhite))
            break;
    }
    return {right, bottom};
}

} // namespace

class TestChartCommandEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endToEnd_data();
    void endToEnd();
    void pictureEdges_data();
    void pictureEdges();
    void longListPicture();
    void failingStepGoesOn();
    void mainWindowButton();
    void cleanupTestCase();
};

void TestChartCommandEngine::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty(),
             "gnumeric's ssconvert is needed: ./test.sh installs it");
}

void TestChartCommandEngine::endToEnd_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("empty list") << 0;
    QTest::newRow("three rows") << 3;
    QTest::newRow("seven rows") << 7;
}

void TestChartCommandEngine::endToEnd()
{
    QFETCH(int, rows);
    EngineClick click(entries(rows));
    click.run();

    QCOMPARE(click.prompts.errorReports(), QStringList{});
    QCOMPARE(click.host.pointers, (QList<qint16>{11, 0, 11, 0}));
    QVERIFY(click.host.previewShown);
    QVERIFY(click.host.mainHidden);
    // The sheet's picture stays on the clipboard.
    QCOMPARE(QGuiApplication::clipboard()->image().size(), click.host.picture.size());

    // Only the workbook is left, under a fresh name, for the preview to own.
    const QString book = click.host.workbook;
    static const QRegularExpression form(QStringLiteral("^tervik[1-9]{8}\\.xls$"));
    QCOMPARE(QFileInfo(book).absolutePath(), click.env.tempFolder());
    QVERIFY2(form.match(QFileInfo(book).fileName()).hasMatch(), qPrintable(book));
    QCOMPARE(click.tempFiles(), QStringList{QFileInfo(book).fileName()});

    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QStringLiteral("<none>")),
             EncodeEntryList(click.host.entries));

    // The picture shows the table and the pie beside it: one slice colour per
    // charted row, and none for rows the chart does not read.
    const QImage picture = click.host.picture;
    QVERIFY2(picture.width() >= 700 && picture.width() <= 3000, qPrintable(QString::number(picture.width())));
    QVERIFY2(picture.height() >= 350 && picture.height() <= 2000, qPrintable(QString::number(picture.height())));
    for (int i = 0; i < kSliceColours.size(); ++i) {
        const int count = pixelsNear(picture, kSliceColours.at(i));
        const QString what = QStringLiteral("slice %1: %2 pixels").arg(i + 1).arg(count);
        if (i < rows)
            QVERIFY2(count >= 1000, qPrintable(what));
        else
            QVERIFY2(count < 20, qPrintable(what));
    }

    // What the engine reads back from the saved file.
    const int lastRow = std::max(9, rows + 3) + 1;
    {
        auto app = click.server.create();
        auto sheet = app->workbooks().open(book)->activeSheet();
        QCOMPARE(sheet->name(), QStringLiteral("Assets"));
        QCOMPARE(sheet->cellValue(3, 1).toString(), QStringLiteral("Asset Type"));
        for (int row = 4; row <= lastRow; ++row) {
            const int i = row - 4;
            if (i < rows) {
                QCOMPARE(sheet->cellValue(row, 1).toString(), click.host.entries.at(i).label);
                const QVariant amount = sheet->cellValue(row, 2);
                QCOMPARE(amount.typeId(), QMetaType::Double);
                QCOMPARE(amount.toDouble(), typedNumber(click.host.entries.at(i).amount));
                QCOMPARE(displayedAlike(sheet->cellNumberFormat(row, 2)), displayedAlike(kAccountingFormat));
            } else {
                QVERIFY2(!sheet->cellValue(row, 1).isValid(), qPrintable(QStringLiteral("A%1").arg(row)));
                QVERIFY2(!sheet->cellValue(row, 2).isValid(), qPrintable(QStringLiteral("B%1").arg(row)));
            }
        }
        app->quit();
    }

    // What an independent reader finds: the values, and the chart still over rows 4 to 9.
    const QString csv = ssconvert(book, click.env.root() + QStringLiteral("/book.csv"),
                                  {QStringLiteral("--export-type=Gnumeric_stf:stf_csv")});
    // The export begins at the first used row, the headers.
    QStringList lines = csv.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && !lines.first().startsWith(QLatin1String("\"Asset Type\",Amount,")))
        lines.removeFirst();
    QVERIFY2(lines.size() > lastRow - 3, qPrintable(csv));
    for (int row = 4; row <= lastRow; ++row) {
        const QStringList fields = lines.at(row - 3).split(QLatin1Char(','));
        const int i = row - 4;
        if (i < rows) {
            QCOMPARE(fields.value(0), click.host.entries.at(i).label);
            QCOMPARE(fields.value(1).toDouble(), typedNumber(click.host.entries.at(i).amount));
        } else {
            QVERIFY2(fields.value(0).isEmpty() && fields.value(1).isEmpty(), qPrintable(lines.at(row - 3)));
        }
    }
    const QString gnumeric = ssconvert(book, click.env.root() + QStringLiteral("/book.gnumeric"),
                                       {QStringLiteral("-T"), QStringLiteral("Gnumeric_XmlIO:sax:0")});
    QVERIFY2(gnumeric.contains(QLatin1String("GogPiePlot")), qPrintable(gnumeric.left(300)));
    QVERIFY(gnumeric.contains(QLatin1String("Assets!$B$4:$B$9")));
    QVERIFY(gnumeric.contains(QLatin1String("Assets!$A$4:$A$9")));

    QCOMPARE(ourEngines(), QStringList{});
}

// A picture that cannot be written: the report names the step, and the command
// still stores the list and opens the preview of the saved workbook.
void TestChartCommandEngine::pictureEdges_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("bottomMargin");   // at most, in pixels
    // The chart's frame is the lowest thing drawn.
    QTest::newRow("6 rows: the chart ends it") << 6 << 2;
    // Below the last row's text lies the rest of that row, and nothing more.
    QTest::newRow("60 rows: the last row ends it") << 60 << 8;
}

// The picture ends where the chart's frame and the last row do, so that at the
// end of a scroll or drag they sit at the viewport's edges.
void TestChartCommandEngine::pictureEdges()
{
    QFETCH(int, rows);
    QFETCH(int, bottomMargin);
    EngineClick click(numberedEntries(rows));
    click.run();
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    const QImage picture = click.host.picture;
    QVERIFY(!picture.isNull());
    const QSize margins = whiteMargins(picture);
    QVERIFY2(margins.width() <= 2, qPrintable(QStringLiteral("right: %1 px").arg(margins.width())));
    QVERIFY2(margins.height() <= bottomMargin, qPrintable(QStringLiteral("bottom: %1 px").arg(margins.height())));
    // Each row takes its height and no more: from the header down to the last
    // list row at 15 pt a row, drawn in whole pixels a hair short of 20.
    if (rows > 30)
        QVERIFY2(std::abs(picture.height() - (rows + 1) * 19) <= 2, qPrintable(QString::number(picture.height())));
}

// Far longer than the engine can draw in one piece: still a picture, within
// the size limits, showing the last row at its bottom edge.
void TestChartCommandEngine::longListPicture()
{
    EngineClick click(numberedEntries(2000));
    click.run();
    QCOMPARE(click.prompts.errorReports(), QStringList{});
    const QImage picture = click.host.picture;
    QVERIFY(!picture.isNull());
    QVERIFY2(picture.height() <= 32767 && picture.height() > 30000, qPrintable(QString::number(picture.height())));
    QVERIFY2(picture.width() > 800, qPrintable(QString::number(picture.width())));
    const QSize margins = whiteMargins(picture);
    QVERIFY2(margins.height() <= 8, qPrintable(QStringLiteral("bottom: %1 px").arg(margins.height())));
    QVERIFY2(margins.width() <= 2, qPrintable(QStringLiteral("right: %1 px").arg(margins.width())));
    // The last row's text is there, not a white band where the engine stopped drawing.
    const QImage bottom = picture.copy(0, picture.height() - 20, picture.width() / 4, 20);
    QVERIFY(whiteMargins(bottom).height() < 20);
}

void TestChartCommandEngine::failingStepGoesOn()
{
    EngineClick click(entries(2));
    QVERIFY(QDir().mkdir(click.temp(QStringLiteral("temp.bmp"))));
    click.run();

    static const QRegularExpression line(QStringLiteral("at line (\\d+)\r\r"));
    QStringList steps;
    for (const QString &report : click.prompts.errorReports())
        steps << line.match(report).captured(1);
    QCOMPARE(steps, (QStringList{"184", "194", "202"}));
    QVERIFY(click.host.picture.isNull());
    QVERIFY(click.host.previewShown);
    QVERIFY(QFileInfo::exists(click.host.workbook));
    QVERIFY(!QFileInfo::exists(click.temp(QStringLiteral("Pie Chart.xlt"))));
    QVERIFY(!GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString()).isEmpty());
    QCOMPARE(ourEngines(), QStringList{});
}

// The whole road from the main window's button: the stored sample list becomes
// a chart in the preview window, which holds the workbook's path.
void TestChartCommandEngine::mainWindowButton()
{
    IsolatedEnvironment env;
    QTemporaryDir programFolder;
    LibreOfficeServer server;
    server.setTypingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    ProceedingPrompts prompts;
    int ended = 0;
    Form1 form(prompts, server,
               {programFolder.path(), [] { return 0.5; },
                [](const QString &, const QStringList &) { return true; }, [&] { ++ended; }});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.PushButton1, Qt::LeftButton);

    QCOMPARE(prompts.errorReports(), QStringList{});
    Form2 *preview = form.previewWindow();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!form.isVisible());
    // On showing, the preview keeps the picture's unscaled copy and first shows
    // its whole width, the chart beside the table and all: below zoom 1.0.
    const QImage picture = preview->zoomOri()->picture();
    const float zoom = preview->zoom();
    QVERIFY2(zoom < 1.0f, qPrintable(QString::number(zoom)));
    QCOMPARE(preview->picture1()->drawing().size(), QSize(int(zoom * picture.width()), int(zoom * picture.height())));
    QVERIFY(preview->picture1()->width() <= preview->picture2()->width());
    QVERIFY2(picture.width() >= 700 && picture.height() >= 350,
             qPrintable(QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height())));
    for (QRgb colour : kSliceColours)
        QVERIFY2(pixelsNear(picture, colour) >= 1000, qPrintable(QString::number(colour, 16)));
    QCOMPARE(QFileInfo(preview->mExcelFile).absolutePath(), env.tempFolder());
    QCOMPARE(QDir(env.tempFolder()).entryList(QDir::Files), QStringList{QFileInfo(preview->mExcelFile).fileName()});
    QCOMPARE(GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString()),
             EncodeEntryList(SampleEntries()));
    QCOMPARE(ourEngines(), QStringList{});
    QCOMPARE(ended, 0);
}

void TestChartCommandEngine::cleanupTestCase()
{
    QCOMPARE(ourEngines(), QStringList{});
}

QTEST_MAIN(TestChartCommandEngine)
#include "tst_chartcommand_engine.moc"
