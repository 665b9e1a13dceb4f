#pragma once

#include "spreadsheet/spreadsheetserver.h"

// A spreadsheet server that is never there: the windows' tests that run no chart.
class NoServer : public SpreadsheetServer
{
public:
    std::unique_ptr<Application> create() override { throw SpreadsheetError(QStringLiteral("none")); }
    std::unique_ptr<Application> getRunning() override { throw SpreadsheetError(QStringLiteral("none")); }
    QString expectedProductName() const override { return QStringLiteral("none"); }
};
