#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/document/loworkbooks.h"
#include "libreoffice/document/session.h"
#include "spreadsheet/spreadsheetserver.h"

#include <memory>

// A headless instance of this tool's own, driven over UNO; it ends when quit or destroyed.
class LoApplication : public Application
{
public:
    explicit LoApplication(std::shared_ptr<Session> session)
        : mSession(std::move(session)), mWorkbooks(mSession) {}
    ~LoApplication() override { quit(); }

    QString defaultValue() override;

    Workbooks &workbooks() override { return mWorkbooks; }
    qint64 processId() const { return mSession->engine ? mSession->engine->pid() : 0; }

    void setDisplayAlerts(bool on) override;
    void quit() override;

private:
    std::shared_ptr<Session> mSession;
    LoWorkbooks mWorkbooks;
};
