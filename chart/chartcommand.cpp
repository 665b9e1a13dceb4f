#include "chart/chartcommand.h"

#include "chart/charthost.h"
#include "chart/excel1.h"
#include "chart/sheetpicture.h"
#include "chart/ownedworkbooks.h"
#include "chart/spreadsheetserver.h"
#include "chart/temporaryfolder.h"
#include "entries/entrycodec.h"
#include "entries/sampleentries.h"
#include "shell/failure.h"
#include "shell/guard.h"
#include "shell/filereplace.h"
#include "shell/mainroutines.h"
#include "shell/settingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <exception>
#include <memory>

namespace {

constexpr qint16 kDefaultPointer = 0;
constexpr qint16 kHourglass = 11;

// The first and the last of the template's data rows; the chart reads A4:B9.
constexpr int kFirstDataRow = 4;
constexpr int kLastDataRow = 9;

// Rows written to the engine in one exchange. Large enough that the longest
// list takes a handful of exchanges, small enough that a block written again
// cell by cell after a failure stays short.
constexpr int kRowsPerBlock = 4096;

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

// The lock file LibreOffice keeps beside a document it has open.
QString engineLockFile(const QString &document)
{
    const QFileInfo info(document);
    return info.path() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
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
    QString folder;
    QString workbookName;
    QString workbookPath;
    QString listText;
    QImage picture;
    int count = 0;
    // What this run wrote itself, and so may open, show and delete.
    bool templateWritten = false;
    bool workbookWritten = false;
    bool pictureWritten = false;
    bool pictureClaimed = false;
    // Other copies of the program sharing the folder wait for these.
    FixedNameLock templateLock;
    FixedNameLock pictureLock;
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
    // The folder is looked up once, at 106: all of the run's files lie in it.
    QString templatePath;
    QString picturePath;

    // The picture's claim goes once nothing this run wrote is left at its name:
    // one that could not be deleted stays claimed, for a later start to sweep.
    const auto releasePicture = [&] {
        if (pictureClaimed && (!pictureWritten || !QFileInfo(picturePath).isFile()))
            OwnedWorkbooks::release(picturePath);
        pictureClaimed = false;
    };
    // One cause, one report: after a failure that leaves the later steps
    // nothing to work on, the command ends here, and nothing of this run stays
    // behind: no instance, no file, no hourglass, no preview.
    const auto abandon = [&] {
        sheet.reset();
        firstBook.reset();
        secondBook.reset();
        quietly([&] {
            if (firstApp)
                firstApp->quit();
        });
        quietly([&] {
            if (secondApp)
                secondApp->quit();
        });
        firstApp.reset();
        secondApp.reset();
        // An instance that died with a document open leaves its lock file
        // beside it; the names are this run's own.
        if (templateWritten) {
            DeleteFileQuietly(templatePath);
            DeleteFileQuietly(engineLockFile(templatePath));
        }
        if (workbookWritten) {
            OwnedWorkbooks::remove(workbookPath);
            DeleteFileQuietly(engineLockFile(workbookPath));
        }
        if (pictureWritten)
            DeleteFileQuietly(picturePath);
        releasePicture();
        templateLock.release();
        pictureLock.release();
        quietly([&] { host.setMousePointer(kDefaultPointer); });
    };
    // Runs the step as g.run() does: true when it failed with an error that
    // ends the command.
    const auto endsCommand = [&](int statement, auto &&body, auto &&isFatal) {
        bool fatal = false;
        g.run(statement, [&] {
            try {
                body();
            } catch (const std::exception &e) {
                fatal = isFatal(e);
                throw;
            }
        });
        return fatal;
    };
    // A step whose failure, whatever it is, leaves the rest nothing to do.
    const auto decisive = [&](int statement, auto &&body) {
        return endsCommand(statement, body, [](const std::exception &) { return true; });
    };
    // A step that fails on its own, unless its instance is gone or a working
    // file cannot be had: true when the command must end.
    const auto ending = [&](int statement, auto &&body) {
        return endsCommand(statement, body, [](const std::exception &e) {
            return dynamic_cast<const InstanceLostError *>(&e) || dynamic_cast<const TemporaryFileError *>(&e);
        });
    };
    // Closing down an instance whose work is done: once it is found gone, the
    // rest of its closing has nothing to close and says nothing more.
    const auto windDown = [&](bool &gone, int statement, auto &&body) {
        if (!gone)
            gone = ending(statement, body);
    };

    if (g.stopIf(100, [&] { return WarnIfExcelRunning(mServer, mPrompts); }))
        return;
    g.run(102, [&] { host.setMousePointer(kHourglass); });
    if (decisive(104, [&] { templateBytes = readTemplate(); }))
        return abandon();
    if (decisive(106, [&] {
            folder = TemporaryFolder();
            templatePath = folder + QLatin1Char('/') + kTemplateCopyName;
            picturePath = folder + QLatin1Char('/') + kPictureName;
            templateLock.acquire(folder, kTemplateCopyName, mLockWait);
            // A name taken by a file we cannot replace fails here, so that
            // nothing but our own copy is ever opened. The copy is opened and
            // deleted a moment later: it is not flushed to disk first.
            ReplaceFile(templatePath, templateBytes, FileAccess::Scratch);
            templateWritten = true;
        }))
        return abandon();
    g.run(108, [&] {
        try {
            firstApp = mServer.create();
        } catch (const EngineBlockedError &e) {
            // Installed and able to run: only what it names stands in the way.
            throw Failure(QStringLiteral("No chart can be made: %1").arg(e.description()));
        } catch (const std::exception &e) {
            throw Failure(engineMissingDescription(QString::fromUtf8(e.what())));
        }
    });
    if (!firstApp)
        return abandon();
    // The second instance starts while the first one fills and saves the
    // workbook, and does not outlive the command when it is not taken.
    const auto dropStartedAhead = qScopeGuard([&] { quietly([&] { mServer.dropStartedAhead(); }); });
    quietly([&] { mServer.startAheadOfNeed(); });
    if (decisive(110, [&] { firstBook = needed(firstApp, kNoApplication).workbooks().open(templatePath); }))
        return abandon();
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {   // 112 to 122
        if (ending(112 + 2 * (row - kFirstDataRow), [&] { firstSheet()->setCellText(row, 1, QString()); }))
            return abandon();
    }
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {   // 124 to 134
        if (ending(124 + 2 * (row - kFirstDataRow), [&] { firstSheet()->setCellValue(row, 2, QString()); }))
            return abandon();
    }
    g.run(136, [&] { count = host.entryCount(); });
    // The rows go to the engine a block at a time, so that a long list costs a
    // few exchanges instead of three per row. A block that fails is written
    // again cell by cell (138, 140, 142), so that the report names the step
    // and the rest of the block is still written.
    for (int first = 1; first <= count; first += kRowsPerBlock) {
        const int last = std::min(count, first + kRowsPerBlock - 1);
        std::exception_ptr lost;
        bool written = false;
        try {
            QList<TextAndAmount> rows;
            rows.reserve(last - first + 1);
            for (int i = first; i <= last; ++i) {
                const Entry entry = host.entryAt(i);
                rows.append({CellText(entry.label), entry.amount});
            }
            firstSheet()->setTextAndAmountRows(first + 3, 1, rows);
            firstSheet()->setRangeNumberFormat(first + 3, last + 3, 2, kAccountingFormat);
            written = true;
        } catch (const InstanceLostError &) {
            lost = std::current_exception();
        } catch (const std::exception &) {
        }
        if (lost) {
            g.run(138, [&] { std::rethrow_exception(lost); });
            return abandon();
        }
        for (int i = first; !written && i <= last; ++i) {
            if (ending(138, [&] { firstSheet()->setCellText(i + 3, 1, CellText(host.entryAt(i).label)); })
                || ending(140, [&] { firstSheet()->setCellValue(i + 3, 2, host.entryAt(i).amount); })
                || ending(142, [&] { firstSheet()->setCellNumberFormat(i + 3, 2, kAccountingFormat); }))
                return abandon();
        }
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
        g.run(160, [&] { workbookPath = folder + QLatin1Char('/') + workbookName + QStringLiteral(".xls"); });
        clash = false;
        g.run(162, [&] { clash = nameTaken(workbookPath); });
    } while (clash);

    if (decisive(164, [&] {
            // The name was free a moment ago: whatever is there after the
            // save, whole or in part, is this run's.
            workbookWritten = true;
            // Written down before it exists: a run killed while saving leaves it too.
            OwnedWorkbooks::claim(workbookPath);
            needed(firstBook, kNoWorkbook).saveAs(workbookPath);
            if (!QFileInfo(workbookPath).isFile())
                throw Failure(QStringLiteral("The workbook %1 was not written.").arg(workbookPath));
            // The engine writes with the usual permissions; the list is private.
            RestrictToOwner(workbookPath);
        }))
        return abandon();
    bool firstGone = false;
    windDown(firstGone, 166, [&] { needed(firstApp, kNoApplication).setDisplayAlerts(false); });
    windDown(firstGone, 168, [&] { needed(firstBook, kNoWorkbook).close(); });
    windDown(firstGone, 170, [&] { needed(firstApp, kNoApplication).quit(); });
    g.run(172, [&] {
        sheet.reset();
        firstBook.reset();
        firstApp.reset();
    });
    if (g.enterIf(174, [&] {
            const QFileInfo copy(templatePath);
            return templateWritten && (copy.exists() || copy.isSymLink());
        })) {
        g.run(176, [&] { DeleteFileQuietly(templatePath); });
    }
    templateWritten = false;
    templateLock.release();

    if (decisive(178, [&] { secondApp = OpenWorkbookInNewExcel(mServer, workbookPath); }))
        return abandon();
    g.run(180, [&] { host.setMousePointer(kHourglass); });
    if (decisive(182, [&] {
            Workbooks &books = needed(secondApp, kNoApplication).workbooks();
            secondBook = books.item(books.count());
            needed(secondBook, kNoWorkbook);
        }))
        return abandon();
    if (ending(184, [&] {
            // Written down before the name is locked: a run killed from here on
            // leaves the lock, and perhaps the picture, for the next start to sweep.
            OwnedWorkbooks::claim(picturePath);
            pictureClaimed = true;
            pictureLock.acquire(folder, kPictureName, mLockWait);
            SaveUsedRangePicture(needed(secondBook, kNoWorkbook), picturePath);
            pictureWritten = true;
        }))
        return abandon();
    bool secondGone = false;
    windDown(secondGone, 186, [&] { needed(secondApp, kNoApplication).setDisplayAlerts(false); });
    windDown(secondGone, 188, [&] { needed(secondBook, kNoWorkbook).close(); });
    windDown(secondGone, 190, [&] { needed(secondApp, kNoApplication).quit(); });
    g.run(192, [&] { host.setMousePointer(kDefaultPointer); });

    // Only a picture this run has just written is shown: when 184 failed, the
    // preview shows none rather than whatever lies at the name.
    const bool pictureThere = pictureWritten && QFileInfo(picturePath).isFile();
    g.run(194, [&] {
        // A picture that cannot be read still replaces the last chart's.
        std::exception_ptr unreadable;
        try {
            if (pictureThere)
                picture = ReadSheetPicture(picturePath);
        } catch (const std::exception &) {
            unreadable = std::current_exception();
        }
        host.setPreviewPicture(picture);
        if (unreadable)
            std::rethrow_exception(unreadable);
    });
    g.run(196, [&] { host.setPreviewWorkbook(workbookPath); });
    g.run(198, [&] { host.showPreview(); });
    g.run(200, [&] { host.hideMainWindow(); });
    if (pictureThere)
        g.run(202, [&] { deleteFile(picturePath); });
    else if (pictureWritten)
        DeleteFileQuietly(picturePath);
    releasePicture();
    pictureLock.release();

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
