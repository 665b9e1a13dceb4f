#pragma once

#include "libreoffice/layer.h"

#include "spreadsheet/spreadsheetserver.h"

// A LibreOffice instance the user runs, looked at only: it answers its product
// name and refuses everything else.
class RunningApplication : public Application, private Workbooks
{
public:
    RunningApplication(qint64 pid, const QString &productName) : mPid(pid), mProductName(productName) {}

    QString defaultValue() override { return mProductName; }
    Workbooks &workbooks() override { return *this; }
    void setDisplayAlerts(bool) override { refuse(); }
    void quit() override { refuse(); }

private:
    std::shared_ptr<Workbook> open(const QString &) override { refuse(); }
    int count() override { refuse(); }
    std::shared_ptr<Workbook> item(int) override { refuse(); }

    [[noreturn]] void refuse() const;

    qint64 mPid;
    QString mProductName;
};
