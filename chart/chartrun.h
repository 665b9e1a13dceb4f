#pragma once

#include "chart/layer.h"

#include "chart/clipboardpicture.h"
#include "chart/temporaryfolder.h"
#include "ground/guard.h"
#include "ground/job.h"
#include "ground/jobprompts.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QPointer>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

class ChartHost;
class Prompts;
class QRandomGenerator;

// One click on "Start Creating Template", from the list to the preview. Each
// member is one numbered step or a short run of them, in the order they run;
// the objects a step needs from an earlier one are members, so that a step
// that failed leaves the later ones something to test.
//
// The steps run on the windows' thread; the engine's part of each, and
// whatever may wait on the disk, goes to the job, one piece at a time. Only
// the steps themselves touch the window, the list, the clipboard and the
// prompts. A cancelled job ends the run as a failure that leaves nothing to
// work on ends it, without a report.
class ChartRun
{
public:
    ChartRun(Prompts &prompts, SpreadsheetServer &server, ChartHost &host, QRandomGenerator &random,
             std::chrono::milliseconds lockWait, std::unique_ptr<Job> job);
    ~ChartRun();

    void run();

private:
    void makeChart();             // 104 to 212
    void warnOfAmountsNotNumbers();
    bool readTemplate();          // 104
    bool writeTemplateCopy();     // 106
    bool createFirstInstance();   // 108
    bool openTemplate();          // 110
    bool clearDataRows();         // 112 to 134
    bool writeEntries();          // 136 to 144
    bool writeEntriesOneByOne(int first, int last);
    void drawWorkbookName();      // 148 to 162
    bool saveWorkbook();          // 164
    void closeFirstInstance();    // 166 to 176
    bool openSavedWorkbook();     // 178 to 182
    bool savePicture();           // 184
    void showFirstView(const QImage &top, QSize whole);   // 194 to 200, while 184 draws the rest
    void closeSecondInstance();   // 186 to 192
    void handOver();              // 194 to 202
    void storeList();             // 204 to 212
    void releasePicture();
    void abandon();

    // The two ways a step fails. Both report the failure; each answers
    // whether the run can go on.
    // A step whose failure, whatever it is, leaves the rest nothing to work on.
    template<typename F>
    bool mustSucceed(int statement, F &&body);
    // A step that fails on its own: the run goes on, unless its instance is
    // gone or a working file cannot be had.
    template<typename F>
    bool mayFail(int statement, F &&body);
    // Closing down an instance whose work is done: once it is found gone, the
    // rest of its closing has nothing to close and says nothing more.
    template<typename F>
    void windDown(bool &gone, int statement, F &&body);

    // The engine's part of a step: off the windows' thread, waited for.
    template<typename F>
    void engine(F &&piece);

    std::shared_ptr<Worksheet> firstSheet();

    std::unique_ptr<Job> mJob;
    JobPrompts mPrompts;
    SpreadsheetServer &mServer;
    ChartHost &mHost;
    QRandomGenerator &mRandom;
    const std::chrono::milliseconds mLockWait;
    Guard mGuard;

    QByteArray mTemplateBytes;
    // All of the run's files lie in the folder looked up at 106.
    QString mFolder;
    QString mTemplatePath;
    QString mPicturePath;
    QString mWorkbookPath;
    // Counted at 136 and again at 206: a count that fails at 206 keeps 136's.
    int mCount = 0;
    // What this run wrote itself, and so may open, show and delete.
    bool mTemplateWritten = false;
    bool mWorkbookWritten = false;
    bool mPictureWritten = false;
    QPointer<ClipboardPicture> mClipboardPicture;
    // A long list's preview shows the top of the picture while 184 draws the
    // rest; calls from the engine's thread reach the run through this, while
    // the run lasts.
    QObject mWindowsThread;
    bool mPictureDone = false;
    bool mFirstViewShown = false;
    bool mPictureClaimed = false;
    bool mStartedAhead = false;
    // Other copies of the program sharing the folder wait for these.
    FixedNameLock mTemplateLock;
    FixedNameLock mPictureLock;
    // The applications are declared before their workbooks, so that the
    // workbooks are released first when the run ends.
    std::unique_ptr<Application> mFirstApp;
    std::unique_ptr<Application> mSecondApp;
    std::shared_ptr<Workbook> mFirstBook;
    std::shared_ptr<Workbook> mSecondBook;
    // The first workbook's active sheet cannot change while the run goes on:
    // it is looked up once, by the first step that needs it, not for every cell.
    std::shared_ptr<Worksheet> mSheet;
};

template<typename F>
inline bool ChartRun::mustSucceed(int statement, F &&body)
{
    bool failed = true;
    mGuard.run(statement, [&] {
        body();
        failed = false;
    });
    return !failed;
}

template<typename F>
inline bool ChartRun::mayFail(int statement, F &&body)
{
    bool goesOn = true;
    mGuard.run(statement, [&] {
        try {
            body();
        } catch (const std::exception &e) {
            goesOn = !dynamic_cast<const InstanceLostError *>(&e) && !dynamic_cast<const TemporaryFileError *>(&e);
            throw;
        }
    });
    return goesOn;
}

template<typename F>
inline void ChartRun::windDown(bool &gone, int statement, F &&body)
{
    if (!gone)
        gone = !mayFail(statement, body);
}

template<typename F>
inline void ChartRun::engine(F &&piece)
{
    mJob->run(std::function<void()>(std::forward<F>(piece)));
}
