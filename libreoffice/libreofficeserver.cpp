#include "libreoffice/libreofficeserver.h"

#include "libreoffice/document/loapplication.h"
#include "libreoffice/document/loworksheet.h"
#include "libreoffice/document/session.h"
#include "libreoffice/document/workbookconversion.h"
#include "libreoffice/installation.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/process/enginewatchdog.h"
#include "libreoffice/process/foreignengines.h"
#include "libreoffice/process/idlerelease.h"
#include "libreoffice/process/instancehandover.h"
#include "libreoffice/process/runningapplication.h"


#include <QFile>

#include <functional>

QList<ChartDescription> DescribeCharts(Worksheet &sheet)
{
    auto *ours = dynamic_cast<LoWorksheet *>(&sheet);
    if (!ours)
        throw SpreadsheetError(QStringLiteral("The sheet does not belong to a LibreOffice instance."));
    return ours->charts();
}

qint64 EngineProcessId(Application &application)
{
    auto *ours = dynamic_cast<LoApplication *>(&application);
    if (!ours)
        throw SpreadsheetError(QStringLiteral("The application is not a LibreOffice instance of this tool."));
    return ours->processId();
}

LibreOfficeServer::LibreOfficeServer()
    : mWatchdog(std::make_shared<EngineWatchdog>()),
      mIdleTime(IdleRelease::idleTimeFromEnvironment()),
      mTypingLocale(QLocale::system()),
      mCallTimeout(EngineProcess::kDefaultCallTimeout)
{
    mHandOver = std::make_shared<InstanceHandOver>();
}

LibreOfficeServer::~LibreOfficeServer()
{
    endInstances();
}

void LibreOfficeServer::endInstances()
{
    mIdleRelease.reset();
    std::lock_guard lock(mTaking);
    mEnded = true;
    mHandOver->commandEnded();
    mHandOver->setCollector(nullptr);
    mSpare.reset();
    if (mSpares)
        mSpares->end();
    // Sessions still open hold the spares for collecting their instances.
    mSpares.reset();
}

std::unique_ptr<EngineProcess> LibreOfficeServer::newInstance() const
{
    EngineProcess::Options options;
    options.callTimeout = mCallTimeout;
    options.memoryLimitMb = mMemoryLimitMb;
    options.watchdog = mWatchdog;
    return std::make_unique<EngineProcess>(options);
}

std::unique_ptr<Application> LibreOfficeServer::create()
{
    return std::make_unique<LoApplication>(takeInstance());
}

std::unique_ptr<Application> LibreOfficeServer::createStoppable(std::stop_token stop)
{
    return std::make_unique<LoApplication>(takeInstance(std::move(stop)));
}

std::shared_ptr<Session> LibreOfficeServer::takeInstance(std::stop_token stop)
{
    auto session = std::make_shared<Session>();
    session->typingLocale = mTypingLocale;
    takeEngine(*session);
    session->engine->setCallTimeout(mCallTimeout);
    session->endOnRequest(stop);
    try {
        if (stop.stop_requested())
            throw InstanceLostError(QStringLiteral("The work was cancelled."));
        session->engine->waitUntilReady();
    } catch (...) {
        // Handed back as a quit hands it back: a spare's keeper waits for it.
        LoApplication(session).quit();
        throw;
    }
    return session;
}

void LibreOfficeServer::takeEngine(Session &session)
{
    std::lock_guard lock(mTaking);
    session.collector = mSpares;
    session.handOver = mHandOver;
    if (auto handed = mHandOver->take()) {
        session.engine = std::move(handed);
        return;
    }
    if (mSpare && mSpare->isRunning() && mSpare->hasItsFolders()) {
        session.engine = std::move(mSpare);
        return;
    }
    // A spare that died while it waited is of no use.
    mSpare.reset();
    session.engine = mSpares ? mSpares->take(std::chrono::steady_clock::now() + mCallTimeout) : nullptr;
    if (!session.engine)
        session.engine = newInstance();
}

QString LibreOfficeServer::convertWorkbook(const QString &workbook, ResultFormat format, std::stop_token stop)
{
    WorkbookConversion conversion(workbook);
    const auto session = takeInstance(stop);
    // Ends the instance however the conversion goes, in the background when spares are kept.
    LoApplication instance(session);
    const QString made = conversion.to(*session, format);
    // A stop that came as the engine finished: the caller no longer wants the file.
    if (stop.stop_requested()) {
        QFile::remove(made);
        throw InstanceLostError(QStringLiteral("The work was cancelled."));
    }
    return made;
}

std::unique_ptr<Application> LibreOfficeServer::getRunning()
{
    const QList<qint64> running = ForeignEnginePids();
    if (running.isEmpty())
        throw SpreadsheetError(QStringLiteral("No LibreOffice instance of the user is running."));
    return std::make_unique<RunningApplication>(running.first(), ForeignEngineProductName(running.first()));
}

QString LibreOfficeServer::expectedProductName() const
{
    return Installation::ours().productName();
}

void LibreOfficeServer::startAheadOfNeed()
{
    // The kept spares are ahead of need already; their replacements wait for
    // the command to end.
    std::lock_guard lock(mTaking);
    mHandOver->commandStarted();
    if (mSpares) {
        if (!mCommandUnderWay)
            mSpares->commandStarted();
        mCommandUnderWay = true;
        return;
    }
    if (mSpare && mSpare->isRunning())
        return;
    // When none can be started, create() starts one itself and reports what goes wrong.
    mSpare = newInstance();
    try {
        mSpare->start();
    } catch (const std::exception &) {
        mSpare.reset();
    }
}

void LibreOfficeServer::dropStartedAhead()
{
    std::lock_guard lock(mTaking);
    mHandOver->commandEnded();
    mSpare.reset();
    if (mSpares && mCommandUnderWay)
        mSpares->commandEnded();
    mCommandUnderWay = false;
    // The idle time counts from the command's end.
    if (mIdleRelease)
        mIdleRelease->userActive();
}

void LibreOfficeServer::setTypingLocale(const QLocale &locale)
{
    mTypingLocale = locale;
}

void LibreOfficeServer::setCallTimeout(std::chrono::milliseconds timeout)
{
    mCallTimeout = timeout;
}

void LibreOfficeServer::startSpares(int count, bool warm)
{
    if (mSpares || mEnded || mIdleTime.count() == 0)
        return;
    EngineSpares::Options options;
    options.count = count;
    options.warm = warm;
    options.warmUpDocument = mWarmUpDocument;
    options.callTimeout = mCallTimeout;
    options.memoryLimitMb = mMemoryLimitMb;
    options.watchdog = mWatchdog;
    std::lock_guard lock(mTaking);
    mSpares = newSpares(options);
    mHandOver->setCollector(mSpares);
    mSpares->startKeeping();
    mIdleRelease = std::make_unique<IdleRelease>(mSpares, mIdleTime);
}

void LibreOfficeServer::setIdleTime(std::chrono::milliseconds idleTime)
{
    mIdleTime = idleTime;
    if (mIdleRelease)
        mIdleRelease->setIdleTime(idleTime);
}

void LibreOfficeServer::userActive()
{
    if (mIdleRelease)
        mIdleRelease->userActive();
}

std::shared_ptr<EngineSpares> LibreOfficeServer::newSpares(const EngineSpares::Options &options)
{
    return std::make_shared<EngineSpares>(options);
}
