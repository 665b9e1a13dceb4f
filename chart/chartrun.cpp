#include "chart/chartrun.h"

#include "chart/amountsnotnumbers.h"
#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "chart/excel1.h"
#include "chart/ownedworkbooks.h"
#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/mainroutines.h"
#include "ground/prompts.h"
#include "spreadsheet/engineleftovers.h"
#include "spreadsheet/sheetpicture.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

constexpr qint16 kDefaultPointer = 0;
constexpr qint16 kHourglass = 11;

// The last of the template's data rows; the chart reads A4:B9.
constexpr int kLastDataRow = 9;

// The most rows of a long list's picture that the preview's first view shows:
// its 495 pixels high at the smallest zoom, a quarter, on a screen of two
// device pixels to the pixel. The preview shows once they are drawn.
constexpr int kFirstViewRows = 4000;

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

QByteArray templateResource()
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

// Used where the run is ending anyway and nothing is left to report to.
template<typename F>
void quietly(F &&body)
{
    try {
        body();
    } catch (const std::exception &) {
    }
}

QString engineMissingDescription(const SpreadsheetServer &server, const QString &reason)
{
    QString why = reason.trimmed();
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    // An engine that is not installed may not know its own name either.
    QString engine = server.expectedProductName();
    if (engine.isEmpty())
        engine = QStringLiteral("the spreadsheet program");
    return QStringLiteral("No chart can be made: %1. Please check that %2 is installed and can run, "
                          "then try again.").arg(why, engine);
}

} // namespace

ChartRun::ChartRun(Prompts &prompts, SpreadsheetServer &server, ChartHost &host, QRandomGenerator &random,
                   std::chrono::milliseconds lockWait, std::unique_ptr<Job> job)
    : mJob(std::move(job))
    , mPrompts(prompts, *mJob)
    , mServer(server)
    , mHost(host)
    , mRandom(random)
    , mLockWait(lockWait)
    , mGuard(mPrompts, QStringLiteral("in Quintarra7/29/2014.Form1.PushButton1_Click "))
{
}

ChartRun::~ChartRun() = default;


std::shared_ptr<Worksheet> ChartRun::firstSheet()
{
    if (!mSheet)
        mSheet = needed(mFirstBook, kNoWorkbook).activeSheet();
    needed(mSheet, kNoWorkbook);
    return mSheet;
}

void ChartRun::run()
{
    if (mGuard.stopIf(100, [&] { return WarnIfExcelRunning(mServer, mPrompts); }))
        return;
    warnOfAmountsNotNumbers();
    mGuard.run(102, [&] { mHost.setMousePointer(kHourglass); });
    try {
        makeChart();
    } catch (const JobCancelled &) {
        // The user said stop, or the program is ending: the run ends as one
        // that cannot go on ends, with nothing to report.
        abandon();
    }
    // The second instance started ahead does not outlive the run when it was
    // not taken. Here, on the windows' thread: the command's end restarts the
    // engine's idle clock, which lives there.
    if (mStartedAhead)
        quietly([&] { mServer.dropStartedAhead(); });
}

void ChartRun::makeChart()
{
    if (!readTemplate() || !writeTemplateCopy() || !createFirstInstance())
        return abandon();
    // The second instance starts while the first one fills and saves the workbook.
    mStartedAhead = true;
    engine([&] { quietly([&] { mServer.startAheadOfNeed(); }); });
    if (!openTemplate() || !clearDataRows() || !writeEntries())
        return abandon();
    mGuard.run(146, [&] { mHost.setMousePointer(kDefaultPointer); });
    drawWorkbookName();
    if (!saveWorkbook())
        return abandon();
    closeFirstInstance();
    if (!openSavedWorkbook() || !savePicture())
        return abandon();
    closeSecondInstance();
    // The engine's work is done: its progress goes before the preview shows.
    mJob->hideProgress();
    handOver();
    storeList();
}

// Told once, before the chart is made; the chart is made all the same, as the
// list may be meant so. A notice that cannot be shown stops nothing.
void ChartRun::warnOfAmountsNotNumbers()
{
    quietly([&] {
        const QString notice = AmountsNotNumbersNotice(mHost, mServer.numberLocale());
        if (!notice.isEmpty())
            mPrompts.message(notice, MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    });
}

bool ChartRun::readTemplate()
{
    return mustSucceed(104, [&] { mTemplateBytes = templateResource(); });
}

bool ChartRun::writeTemplateCopy()
{
    // Another copy of the program may hold the name a while.
    return mustSucceed(106, [&] { engine([&, stop = mJob->stopToken()] {
        mFolder = TemporaryFolder();
        mTemplatePath = mFolder + QLatin1Char('/') + kTemplateCopyName;
        mPicturePath = mFolder + QLatin1Char('/') + kPictureName;
        mTemplateLock.acquire(mFolder, kTemplateCopyName, mLockWait, stop);
        // A name taken by a file we cannot replace fails here, so that
        // nothing but our own copy is ever opened. The copy is opened and
        // deleted a moment later: it is not flushed to disk first.
        ReplaceFile(mTemplatePath, mTemplateBytes, FileAccess::Scratch);
        mTemplateWritten = true;
    }); });
}

bool ChartRun::createFirstInstance()
{
    mGuard.run(108, [&] {
        try {
            engine([&, stop = mJob->stopToken()] { mFirstApp = mServer.createStoppable(stop); });
        } catch (const JobCancelled &) {
            throw;
        } catch (const EngineBlockedError &e) {
            // Installed and able to run: only what it names stands in the way.
            throw Failure(QStringLiteral("No chart can be made: %1").arg(e.description()));
        } catch (const std::exception &e) {
            throw Failure(engineMissingDescription(mServer, QString::fromUtf8(e.what())));
        }
    });
    return mFirstApp != nullptr;
}

bool ChartRun::openTemplate()
{
    return mustSucceed(110, [&] {
        engine([&] { mFirstBook = needed(mFirstApp, kNoApplication).workbooks().open(mTemplatePath); });
    });
}

bool ChartRun::clearDataRows()
{
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {   // 112 to 122
        if (!mayFail(112 + 2 * (row - kFirstDataRow),
                     [&] { engine([&] { firstSheet()->setCellText(row, 1, QString()); }); }))
            return false;
    }
    for (int row = kFirstDataRow; row <= kLastDataRow; ++row) {   // 124 to 134
        if (!mayFail(124 + 2 * (row - kFirstDataRow),
                     [&] { engine([&] { firstSheet()->setCellValue(row, 2, QString()); }); }))
            return false;
    }
    return true;
}

// The rows go to the engine a block at a time, so that a long list costs a
// few exchanges instead of three per row. A block that fails is written again
// cell by cell (138, 140, 142), so that the report names the step and the rest
// of the block is still written.
bool ChartRun::writeEntries()
{
    mGuard.run(136, [&] { mCount = mHost.entryCount(); });
    for (int first = 1; first <= mCount; first += kRowsPerBlock) {
        const int last = std::min(mCount, first + kRowsPerBlock - 1);
        std::exception_ptr lost;
        try {
            QList<TextAndAmount> rows;
            rows.reserve(last - first + 1);
            for (int i = first; i <= last; ++i) {
                const Entry entry = mHost.entryAt(i);
                rows.append({CellText(entry.label), entry.amount});
            }
            engine([&] {
                firstSheet()->setTextAndAmountRows(first + 3, 1, rows);
                firstSheet()->setRangeNumberFormat(first + 3, last + 3, 2, kAccountingFormat);
            });
            continue;
        } catch (const JobCancelled &) {
            throw;
        } catch (const InstanceLostError &) {
            lost = std::current_exception();
        } catch (const std::exception &) {
        }
        if (lost) {
            mGuard.run(138, [&] { std::rethrow_exception(lost); });
            return false;
        }
        if (!writeEntriesOneByOne(first, last))
            return false;
    }   // 144
    // The template's chart reads its six rows; a longer list is in the chart
    // too, or its shares would be wrong for the list.
    const int lastRow = mCount + kFirstDataRow - 1;
    if (lastRow <= kLastDataRow)
        return true;
    return mayFail(144, [&] {
        engine([&] {
            firstSheet()->extendChartsTo(lastRow);
            if (mCount > kMostSlicesIn3D)
                firstSheet()->drawChartsFlat(kSmallestLabelledShare);
        });
    });
}

bool ChartRun::writeEntriesOneByOne(int first, int last)
{
    for (int i = first; i <= last; ++i) {
        if (!mayFail(138, [&] {
                const QString text = CellText(mHost.entryAt(i).label);
                engine([&] { firstSheet()->setCellText(i + 3, 1, text); });
            })
            || !mayFail(140, [&] {
                   const QString amount = mHost.entryAt(i).amount;
                   engine([&] { firstSheet()->setCellValue(i + 3, 2, amount); });
               })
            || !mayFail(142, [&] { engine([&] { firstSheet()->setCellNumberFormat(i + 3, 2, kAccountingFormat); }); }))
            return false;
    }
    return true;
}

void ChartRun::drawWorkbookName()
{
    QString name;
    bool clash = false;
    do {
        mGuard.run(148, [&] { name = kWorkbookPrefix; });
        for (int pass = 0; pass < 8; ++pass) {   // 150 to 158
            QChar digit;
            mGuard.run(154, [&] { digit = QChar(u'0' + mRandom.bounded(1, 10)); });
            mGuard.run(156, [&] { name += digit; });
        }
        mGuard.run(160, [&] { mWorkbookPath = mFolder + QLatin1Char('/') + name + QStringLiteral(".xls"); });
        clash = false;
        mGuard.run(162, [&] { clash = nameTaken(mWorkbookPath); });
    } while (clash);
}

bool ChartRun::saveWorkbook()
{
    return mustSucceed(164, [&] {
        // The name was free a moment ago: whatever is there after the save,
        // whole or in part, is this run's.
        mWorkbookWritten = true;
        // Written down before it exists: a run killed while saving leaves it too.
        OwnedWorkbooks::claim(mWorkbookPath);
        engine([&] { needed(mFirstBook, kNoWorkbook).saveAs(mWorkbookPath); });
        if (!QFileInfo(mWorkbookPath).isFile())
            throw Failure(QStringLiteral("The workbook %1 was not written.").arg(mWorkbookPath));
        // The engine writes with the usual permissions; the list is private.
        RestrictToOwner(mWorkbookPath);
    });
}

void ChartRun::closeFirstInstance()
{
    bool gone = false;
    windDown(gone, 166, [&] { engine([&] { needed(mFirstApp, kNoApplication).setDisplayAlerts(false); }); });
    windDown(gone, 168, [&] { engine([&] { needed(mFirstBook, kNoWorkbook).close(); }); });
    windDown(gone, 170, [&] { engine([&] { needed(mFirstApp, kNoApplication).quit(); }); });
    mGuard.run(172, [&] {
        engine([&] {
            mSheet.reset();
            mFirstBook.reset();
            mFirstApp.reset();
        });
    });
    if (mGuard.enterIf(174, [&] {
            const QFileInfo copy(mTemplatePath);
            return mTemplateWritten && (copy.exists() || copy.isSymLink());
        })) {
        mGuard.run(176, [&] { DeleteFileQuietly(mTemplatePath); });
    }
    mTemplateWritten = false;
    mTemplateLock.release();
}

bool ChartRun::openSavedWorkbook()
{
    if (!mustSucceed(178, [&] {
            engine([&, stop = mJob->stopToken()] { mSecondApp = OpenWorkbookInNewExcel(mServer, mWorkbookPath, stop); });
        }))
        return false;
    mGuard.run(180, [&] { mHost.setMousePointer(kHourglass); });
    return mustSucceed(182, [&] {
        engine([&] {
            Workbooks &books = needed(mSecondApp, kNoApplication).workbooks();
            mSecondBook = books.item(books.count());
            needed(mSecondBook, kNoWorkbook);
        });
    });
}

bool ChartRun::savePicture()
{
    return mayFail(184, [&] {
        // Written down before the name is locked: a run killed from here on
        // leaves the lock, and perhaps the picture, for the next start to sweep.
        OwnedWorkbooks::claim(mPicturePath);
        mPictureClaimed = true;
        engine([&, stop = mJob->stopToken()] { mPictureLock.acquire(mFolder, kPictureName, mLockWait, stop); });
        PictureFirstView firstView;
        if (mHost.showsPictureTop()) {
            firstView.rows = kFirstViewRows;
            firstView.show = [this](const QImage &top, QSize whole) {
                QMetaObject::invokeMethod(&mWindowsThread, [this, top, whole] { showFirstView(top, whole); });
            };
        }
        const auto done = qScopeGuard([&] { mPictureDone = true; });
        try {
            // The second workbook is closed unsaved right after its picture.
            mClipboardPicture = SaveUsedRangePicture(needed(mSecondBook, kNoWorkbook), mPicturePath, *mJob,
                                                     SheetAfterPicture::Discarded, firstView);
        } catch (const JobCancelled &) {
            // The file may have been written after all: the name is ours, and
            // the abandoned run removes what lies there.
            mPictureWritten = true;
            throw;
        }
        mPictureWritten = true;
    });
}

// The preview of a long list shows while the rest of its picture is drawn: the
// steps that show it run now, and the hand-over gives it the whole picture.
void ChartRun::showFirstView(const QImage &top, QSize whole)
{
    if (mPictureDone || mFirstViewShown)
        return;
    mFirstViewShown = true;
    mJob->hideProgress();
    mGuard.run(194, [&] { mHost.setPreviewPictureTop(top, whole); });
    mGuard.run(196, [&] { mHost.setPreviewWorkbook(mWorkbookPath); });
    mGuard.run(198, [&] { mHost.showPreview(); });
    mGuard.run(200, [&] { mHost.hideMainWindow(); });
}

void ChartRun::closeSecondInstance()
{
    bool gone = false;
    windDown(gone, 186, [&] { engine([&] { needed(mSecondApp, kNoApplication).setDisplayAlerts(false); }); });
    windDown(gone, 188, [&] { engine([&] { needed(mSecondBook, kNoWorkbook).close(); }); });
    windDown(gone, 190, [&] { engine([&] { needed(mSecondApp, kNoApplication).quit(); }); });
    mGuard.run(192, [&] { mHost.setMousePointer(kDefaultPointer); });
}

void ChartRun::handOver()
{
    // Only a picture this run has just written is shown: when 184 failed, the
    // preview shows none rather than whatever lies at the name.
    const bool pictureThere = mPictureWritten && QFileInfo(mPicturePath).isFile();
    QImage picture;
    mGuard.run(194, [&] {
        // A picture that cannot be read still replaces the last chart's.
        std::exception_ptr unreadable;
        try {
            if (pictureThere) {
                // The picture as written at 184 is the one the clipboard
                // holds: reading the file back gives the same pixels, at the
                // cost of a long list's hundred megabytes decoded again. The
                // preview shares the clipboard's.
                if (mClipboardPicture)
                    picture = mClipboardPicture->picture();
                if (picture.isNull())
                    picture = ReadSheetPicture(mPicturePath);
            }
        } catch (const std::exception &) {
            unreadable = std::current_exception();
        }
        if (mFirstViewShown)
            mHost.completePreviewPicture(picture);
        else
            mHost.setPreviewPicture(picture);
        if (unreadable)
            std::rethrow_exception(unreadable);
    });
    if (!mFirstViewShown) {
        mGuard.run(196, [&] { mHost.setPreviewWorkbook(mWorkbookPath); });
        mGuard.run(198, [&] { mHost.showPreview(); });
        mGuard.run(200, [&] { mHost.hideMainWindow(); });
    }
    if (pictureThere)
        mGuard.run(202, [&] { deleteFile(mPicturePath); });
    else if (mPictureWritten)
        DeleteFileQuietly(mPicturePath);
    releasePicture();
    mPictureLock.release();
}

// 204 to 210 built the stored form and 212 wrote it; the list encodes and
// stores itself in one call, the one closing the main window makes.
void ChartRun::storeList()
{
    mGuard.run(212, [&] { mHost.storeEntries(); });
}

// The picture's claim goes once nothing this run wrote is left at its name:
// one that could not be deleted stays claimed, for a later start to sweep.
void ChartRun::releasePicture()
{
    if (mPictureClaimed && (!mPictureWritten || !QFileInfo(mPicturePath).isFile()))
        OwnedWorkbooks::release(mPicturePath);
    mPictureClaimed = false;
}

// One cause, one report: after a failure that leaves the later steps nothing
// to work on, the run ends here, and nothing of it stays behind: no instance,
// no file, no hourglass, no preview.
void ChartRun::abandon()
{
    // Shown early, the preview goes before the workbook it offers.
    if (std::exchange(mFirstViewShown, false))
        quietly([&] { mHost.withdrawPreview(); });
    mJob->finish([&] {
        mSheet.reset();
        mFirstBook.reset();
        mSecondBook.reset();
        quietly([&] {
            if (mFirstApp)
                mFirstApp->quit();
        });
        quietly([&] {
            if (mSecondApp)
                mSecondApp->quit();
        });
        mFirstApp.reset();
        mSecondApp.reset();
    });
    // An instance that died with a document open leaves its lock file beside
    // it; the names are this run's own.
    if (mTemplateWritten) {
        DeleteFileQuietly(mTemplatePath);
        DeleteFileQuietly(EngineLockFileOf(mTemplatePath));
    }
    if (mWorkbookWritten) {
        OwnedWorkbooks::remove(mWorkbookPath);
        DeleteFileQuietly(EngineLockFileOf(mWorkbookPath));
    }
    if (mPictureWritten)
        DeleteFileQuietly(mPicturePath);
    releasePicture();
    mTemplateLock.release();
    mPictureLock.release();
    quietly([&] { mHost.setMousePointer(kDefaultPointer); });
}
