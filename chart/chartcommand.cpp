#include "chart/chartcommand.h"

#include "chart/chartrun.h"

#include <QRandomGenerator>

void ChartCommand::run(ChartHost &host)
{
    QRandomGenerator &random = mRandom ? *mRandom : *QRandomGenerator::system();
    ChartRun(mPrompts, mServer, host, random, mLockWait, mJobMaker ? mJobMaker() : std::make_unique<Job>()).run();
}
