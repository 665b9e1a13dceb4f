#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/enginespares.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QList>
#include <QStringList>
#include <QLocale>

#include <chrono>
#include <memory>
#include <mutex>
#include <stop_token>

class EngineProcess;
class EngineWatchdog;
class IdleRelease;
class InstanceHandOver;
struct Session;

// The spreadsheet engine of the product: every create() is a headless
// LibreOffice of our own (an EngineProcess), driven over UNO.
class LibreOfficeServer : public SpreadsheetServer
{
public:
    LibreOfficeServer();
    ~LibreOfficeServer() override;

    std::unique_ptr<Application> create() override;
    std::unique_ptr<Application> createStoppable(std::stop_token stop) override;
    std::unique_ptr<Application> getRunning() override;
    QString expectedProductName() const override;
    QLocale numberLocale() const override { return mTypingLocale; }
    // The instance started ahead of need becomes the spare.
    void startAheadOfNeed() override;
    void dropStartedAhead() override;
    // On an instance of its own, taken as create() takes one and ended after.
    QString convertWorkbook(const QString &workbook, ResultFormat format, std::stop_token stop = {}) override;

    // Amounts are typed in this locale; QLocale::system() unless set.
    void setTypingLocale(const QLocale &locale);
    // How long one call may take before its instance is killed.
    void setCallTimeout(std::chrono::milliseconds timeout);
    // The private memory each instance may hold; 0 for no limit.
    void setMemoryLimitMb(qint64 megabytes) { mMemoryLimitMb = megabytes; }

    // What a spare fills, saves and draws to warm up: the document the
    // commands start from (a file or a resource). Without one, spares are
    // started and connected only.
    void setWarmUpDocument(const QString &document) { mWarmUpDocument = document; }
    // Keeps warm spares from now on, so that create() takes an instance that
    // already runs; instances that quit are ended in the background.
    // Unwarmed spares are only started and connected (for measuring).
    // With an idle time of 0, no spares are kept at all.
    void startSpares(int count = 2, bool warm = true);
    // How long the spares outlast the user's last input: then they end, and
    // the next input starts them again. QUINTARRA_IDLE_MINUTES unless set.
    void setIdleTime(std::chrono::milliseconds idleTime);
    // Input to one of the program's windows.
    void userActive();
    // Ends the instance started ahead, the spares and the instances being
    // ended, and waits until all are gone. Instances that create() handed out
    // end with their holders.
    void endInstances();

protected:
    // Makes the keeper of the spares; a subclass may make one it can watch.
    virtual std::shared_ptr<EngineSpares> newSpares(const EngineSpares::Options &options);

private:
    // A spare when one is ready, else a new instance; ready for calls, and
    // ended at once when stop is requested.
    std::shared_ptr<Session> takeInstance(std::stop_token stop = {});
    void takeEngine(Session &session);

    // Jobs take instances on threads of their own.
    std::mutex mTaking;
    std::unique_ptr<EngineProcess> newInstance() const;

    // Held by every instance too: it ends after the last of them.
    std::shared_ptr<EngineWatchdog> mWatchdog;
    std::unique_ptr<EngineProcess> mSpare;
    std::shared_ptr<InstanceHandOver> mHandOver;
    std::shared_ptr<EngineSpares> mSpares;
    std::unique_ptr<IdleRelease> mIdleRelease;
    std::chrono::milliseconds mIdleTime;
    bool mCommandUnderWay = false;   // told to the spares
    bool mEnded = false;   // no spares start again
    QLocale mTypingLocale;
    QString mWarmUpDocument;
    std::chrono::milliseconds mCallTimeout;
    qint64 mMemoryLimitMb = EngineProcess::kDefaultMemoryLimitMb;
};

// What the engine reads of a chart on a sheet of one of its workbooks: the
// chart type's service name, whether it is drawn in 3-D, and the cell ranges
// of its categories, of each series' values and of each series' name.
struct ChartDescription {
    QString chartType;
    bool threeD = false;
    QString categories;
    QStringList values;
    QStringList seriesNames;
};
// Throws SpreadsheetError for a sheet that is not of a LibreOfficeServer instance.
QList<ChartDescription> DescribeCharts(Worksheet &sheet);

// The process of an instance that create() made (0 once it has quit), for
// diagnostics and for tests that need to upset it. Throws SpreadsheetError for
// any other application.
qint64 EngineProcessId(Application &application);
