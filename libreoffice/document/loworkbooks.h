#pragma once

#include "libreoffice/layer.h"

#include "spreadsheet/spreadsheetserver.h"

#include <memory>

struct Session;

// The workbooks open in one instance, numbered from 1 in the order they were opened.
class LoWorkbooks : public Workbooks
{
public:
    explicit LoWorkbooks(std::shared_ptr<Session> session) : mSession(std::move(session)) {}

    std::shared_ptr<Workbook> open(const QString &path) override;
    std::shared_ptr<Workbook> openReadOnly(const QString &path) override;
    int count() override;
    std::shared_ptr<Workbook> item(int index) override;

private:
    std::shared_ptr<Workbook> load(const QString &path, bool readOnly);

    std::shared_ptr<Session> mSession;
};
