#pragma once

#include "libreoffice/layer.h"

#include "spreadsheet/spreadsheetserver.h"

#include <QString>

struct Session;

// Converts a result workbook into another format on one instance: the
// workbook is opened read-only and closed again, and the new file is made in
// this run's folder of converted files, which nobody else may enter.
class WorkbookConversion
{
public:
    // Throws SpreadsheetError when there is no such file.
    explicit WorkbookConversion(const QString &workbook);

    // The new file's path. Throws SpreadsheetError, and then leaves no file.
    QString to(Session &session, ResultFormat format);

    // The folder the converted files are made in: named after this run, so
    // that the next start sweeps it once the run has ended, and removed when
    // the program ends. Throws SpreadsheetError.
    static QString folder();

private:
    QString reserveTarget(ResultFormat format) const;
    void convertInto(Session &session, const QString &target, ResultFormat format);

    QString mWorkbook;
};
