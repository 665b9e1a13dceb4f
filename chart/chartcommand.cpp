#include "chart/chartcommand.h"

#include "chart/charthost.h"
#include "chart/excel1.h"
#include "chart/ownedworkbooks.h"
#include "chart/spreadsheetserver.h"
#include "chart/temporaryfolder.h"
#include "entries/entrycodec.h"
#include "entries/sampleentries.h"
#include "shell/failure.h"
#include "shell/guard.h"
#include "shell/mainroutines.h"
#include "shell/settingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <memory>

namespace {

constexpr qint16 kDefaultPointer = 0;
constexpr qint16 kHourglass = 11;

// The first and the last of the template's data rows; the chart reads A4:B9.
constexpr int kFirstDataRow = 4;
constexpr int kLastDataRow = 9;

// A step that needs an object an earlier failed step did not get fails itself,
// with a description the report can show.
template<typename Pointer>
auto &needed(const Pointer &object, const char *what)
{
    if (!object)
        throw Failure(QString::fromLatin1(what));
    return *object;
}

constexpr char kNoApplication[] = "The spreadsheet application is not running.";
constexpr char kNoWorkbook[] = "The workbook is not open.";

QByteArray readTemplate()
{
    QFile resource(kTemplateResource);
    if (!resource.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The chart template is missing from the program: %1")
                              .arg(resource.errorString()));
    return resource.readAll();
}

QImage loadPicture(const QString &path)
{
    // The file holds whatever format the picture was written in, whatever its name says.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull())
        throw Failure(QStringLiteral("Cannot load the picture %1: %2").arg(path, reader.errorString()));
    return picture;
}

// A planted link counts as taken even when it points nowhere, so that the
// workbook is never written through it.
bool nameTaken(const QString &path)
{
    return FileExists(path) || QFileInfo(path).isSymLink();
}

void deleteFile(const QString &path)
{
    QFile file(path);
    if (!file.remove())
        throw Failure(QStringLiteral("Cannot delete %1: %2").arg(path, file.errorString()));
}

// Used where the command is ending anyway and nothing is left to report to.
template<typename F>
void quietly(F &&body)
{
    try {
        body();
    } catch (const std::exception &) {
    }
}

} // namespace

QString ChartCommand::engineMissingDescription(const QString &reason) const
{
    QString why = reason.trimmed();
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    // An engine that is not installed may not know its own name either.
    QString engine = mServer.expectedProductName();
    if (engine.isEmpty())
        engine = QStringLiteral("the spreadsheet program");
    return QStringLiteral("No chart can be made: %1. Please check that %2 is installed and can run, "
                          "then try again.").arg(why, engine);
}

void ChartCommand::run(ChartHost &host)
{
    Guard g(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form1.PushButton1_Click "));
    QRandomGenerator &random = mRandom ? *mRandom : *QRandomGenerator::system();

    QByteArray templateBytes;
    QString workbookName;
    QString workbookPath;
    QString listText;
    int count = 0;
    // The applications are declared before their workbooks, so that the
    // workbooks are released first when the command ends.
    std::unique_ptr<Application> firstApp;
    std::unique_ptr<Application> secondApp;
    std::shared_ptr<Workbook> firstBook;
    std::shared_ptr<Workbook> secondBook;
    // The first workbook's active sheet cannot change while the command runs:
    // it is looked up once, by the first step that needs it, and not again for
    // every cell.
    std::shared_ptr<Worksheet> sheet;
    auto firstSheet = [&] {
        if (!sheet)
            sheet = needed(firstBook, kNoWorkbook).activeSheet();
        needed(sheet, kNoWorkbook);
        return sheet;
    };

    if (g.stopIf(100, [&] { return WarnIfExcelRunning(mServer, mPrompts); }))
        return;
    g.run(102, [&] { host.setMousePointer(kHourglass); });
    g.run(104, [&] { templateBytes = readTemplate(); });
    g.run(106, [&] { WriteBytesToFile(templateBytes, TemporaryFilePath(kTemplateCopyName)); });
    g.run(108, [&] {
        try {
            firstApp = mServer.create();
        } catch (const std::exception &e) {
            throw Failure(engineMissingDescription(QString::fromUtf8(e.what())));
        }
    });
    if (!firstApp) {
        // Without an engine every later step would fail in turn: one report is
        // enough, and nothing of this run may stay behind.
        quietly([&] { DeleteFileQuietly(TemporaryFilePath(kTemplateCopyName)); });
        quietly([&] { host.setMousePointer(kDefaultPointer); });
        return;
    }
    // The second instance starts while the first one fills and saves the
    // workbook, and does not outlive the command when it is not taken.
    const auto dropStartedAhead = qScopeGuard([&] { quietly([&] { mServer.dropStartedAhead(); }); });
    quietly([&] { mServer.startAheadOfNeed(); });
    g.run(110, [&] {
        firstBook = needed(firstApp, kNoApplication).workbooks().open(TemporaryFilePath(kTemplateCopyName));
    });
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)   // 112 to 122
        g.run(112 + 2 * (row - kFirstDataRow), [&] { firstSheet()->setCellValue(row, 1, QString()); });
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row)   // 124 to 134
        g.run(124 + 2 * (row - kFirstDataRow), [&] { firstSheet()->setCellValue(row, 2, QString()); });
    g.run(136, [&] { count = host.entryCount(); });
    for (int i = 1; i <= count; ++i) {
        g.run(138, [&] { firstSheet()->setCellValue(i + 3, 1, host.entryAt(i).label); });
        g.run(140, [&] { firstSheet()->setCellValue(i + 3, 2, host.entryAt(i).amount); });
        g.run(142, [&] { firstSheet()->setCellNumberFormat(i + 3, 2, kAccountingFormat); });
    }   // 144
    g.run(146, [&] { host.setMousePointer(kDefaultPointer); });

    bool clash = false;
    do {
        g.run(148, [&] { workbookName = kWorkbookPrefix; });
        for (int pass = 0; pass < 8; ++pass) {   // 150 to 158
            QChar digit;
            g.run(154, [&] { digit = QChar(u'0' + random.bounded(1, 10)); });
            g.run(156, [&] { workbookName += digit; });
        }
        g.run(160, [&] { workbookPath = TemporaryFilePath(workbookName + QStringLiteral(".xls")); });
        clash = false;
        g.run(162, [&] { clash = nameTaken(workbookPath); });
    } while (clash);

    g.run(164, [&] {
        // Written down before it exists: a run killed while saving leaves it too.
        OwnedWorkbooks::claim(workbookPath);
        needed(firstBook, kNoWorkbook).saveAs(workbookPath);
        // The engine writes with the usual permissions; the list is private.
        RestrictToOwner(workbookPath);
    });
    g.run(166, [&] { needed(firstApp, kNoApplication).setDisplayAlerts(false); });
    g.run(168, [&] { needed(firstBook, kNoWorkbook).close(); });
    g.run(170, [&] { needed(firstApp, kNoApplication).quit(); });
    g.run(172, [&] {
        sheet.reset();
        firstBook.reset();
        firstApp.reset();
    });
    QString templatePath;
    if (g.enterIf(174, [&] {
            templatePath = TemporaryFilePath(kTemplateCopyName);
            const QFileInfo copy(templatePath);
            return copy.exists() || copy.isSymLink();
        })) {
        g.run(176, [&] { DeleteFileQuietly(templatePath); });
    }

    g.run(178, [&] { secondApp = OpenWorkbookInNewExcel(mServer, workbookPath); });
    g.run(180, [&] { host.setMousePointer(kHourglass); });
    g.run(182, [&] {
        Workbooks &books = needed(secondApp, kNoApplication).workbooks();
        secondBook = books.item(books.count());
    });
    g.run(184, [&] {
        SaveUsedRangePicture(needed(secondBook, kNoWorkbook), TemporaryFilePath(kPictureName));
    });
    g.run(186, [&] { needed(secondApp, kNoApplication).setDisplayAlerts(false); });
    g.run(188, [&] { needed(secondBook, kNoWorkbook).close(); });
    g.run(190, [&] { needed(secondApp, kNoApplication).quit(); });
    g.run(192, [&] { host.setMousePointer(kDefaultPointer); });

    g.run(194, [&] { host.setPreviewPicture(loadPicture(TemporaryFilePath(kPictureName))); });
    g.run(196, [&] { host.setPreviewWorkbook(workbookPath); });
    g.run(198, [&] { host.showPreview(); });
    g.run(200, [&] { host.hideMainWindow(); });
    g.run(202, [&] { deleteFile(TemporaryFilePath(kPictureName)); });

    g.run(204, [&] { listText.clear(); });
    g.run(206, [&] { count = host.entryCount(); });
    for (int i = 1; i <= count; ++i) {
        g.run(208, [&] {
            const Entry entry = host.entryAt(i);
            listText += entry.label + kLabelSeparator + entry.amount + kEntrySeparator;
        });
    }   // 210
    g.run(212, [&] { SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, listText); });
}
