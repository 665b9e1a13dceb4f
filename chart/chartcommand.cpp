#include "chart/chartcommand.h"

#include "chart/charthost.h"

void ChartCommand::run(ChartHost &host)
{
    // The chart command is being built; until then the button does nothing.
    Q_UNUSED(host);
}
