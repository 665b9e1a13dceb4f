#pragma once

#include "spreadsheet/layer.h"

#include "ground/failure.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QLocale>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <stop_token>

// The spreadsheet engine, in the shapes of the automation object model the
// chart command is written against. Every failed call throws SpreadsheetError
// with a readable description.

class SpreadsheetError : public Failure
{
public:
    using Failure::Failure;
};

// The instance a call went to is gone: it ended, was killed, or was stopped
// because it no longer answered. Nothing more can be done with it or with
// anything opened in it.
class InstanceLostError : public SpreadsheetError
{
public:
    using SpreadsheetError::SpreadsheetError;
};

// The engine is installed but cannot start for this user, for a reason
// outside the program that the description names (a folder it may not enter).
class EngineBlockedError : public SpreadsheetError
{
public:
    using SpreadsheetError::SpreadsheetError;
};

// The forms a result workbook can be converted to besides its own .xls.
// ChartSvg and ChartPng hold the first chart of the workbook's first sheet
// alone; ChartPng at twice the size it is drawn on the sheet's picture.
enum class ResultFormat { Xlsx, Ods, Pdf, ChartSvg, ChartPng };

// One row of a block written in one exchange: a text for one column, an
// amount as typed for the next.
struct TextAndAmount {
    QString text;
    QString amount;
};

// Where the top of a long sheet's picture goes while the rest of it is drawn.
struct PictureFirstView {
    // The rows of the picture, from its top, that its first view shows.
    int rows = 0;
    // Called once, on the engine's thread: the top of the picture, at least
    // those rows of it, and the size the whole will have, about.
    std::function<void(const QImage &top, QSize whole)> show;
};

class Worksheet
{
public:
    virtual ~Worksheet() = default;

    virtual QString name() = 0;
    // Row and column count from 1. The cell holds the text as it is, whatever
    // it begins with: never a formula, a number or a link. The empty text
    // empties the cell.
    virtual void setCellText(int row, int column, const QString &text) = 0;
    // An amount as the user typed it: a number when it passes the numeric test
    // (in the locale amounts are typed in), otherwise text as setCellText()
    // writes it. The empty text empties the cell.
    virtual void setCellValue(int row, int column, const QString &typed) = 0;
    virtual void setCellNumberFormat(int row, int column, const QString &format) = 0;

    // The same for a block of rows from firstRow on, in as few exchanges with
    // the engine as it can: each row's text goes to the column, its amount to
    // the column after it. When it throws, any part of the block may be written.
    virtual void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows)
    {
        for (int i = 0; i < rows.size(); ++i) {
            setCellText(firstRow + i, column, rows.at(i).text);
            setCellValue(firstRow + i, column + 1, rows.at(i).amount);
        }
    }
    virtual void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format)
    {
        for (int row = firstRow; row <= lastRow; ++row)
            setCellNumberFormat(row, column, format);
    }
    // A number (double), a text (QString), or an invalid QVariant for an empty cell.
    virtual QVariant cellValue(int row, int column) = 0;
    // The cells of the columns from column on, from firstRow down to the last
    // row the sheet uses but no more than maxRows rows, each as cellValue()
    // gives it, in as few exchanges with the engine as it can.
    virtual QList<QVariantList> readRows(int firstRow, int column, int columns, int maxRows)
    {
        // Without a cheaper way, down to the first row with nothing in it.
        QList<QVariantList> rows;
        for (int row = firstRow; rows.size() < maxRows; ++row) {
            QVariantList cells;
            bool any = false;
            for (int c = column; c < column + columns; ++c) {
                cells.append(cellValue(row, c));
                any = any || cells.constLast().isValid();
            }
            if (!any)
                return rows;
            rows.append(cells);
        }
        return rows;
    }
    virtual QString cellNumberFormat(int row, int column) = 0;
    // The sheet's charts read each column of categories and values from the
    // row it starts at down to lastRow (1-based); a single cell, such as a
    // series' name, stays as it is.
    virtual void extendChartsTo(int lastRow) = 0;
    // The sheet's charts are drawn flat instead of in 3-D, and of each one's
    // slices only those whose share of the pie, in whole percent as its
    // labels round it, is at least smallestLabelledShare keep their labels.
    virtual void drawChartsFlat(int smallestLabelledShare) = 0;
    // A picture of the used range as it looks on screen, together with the
    // sheet's charts (the rectangle from the used range's top left to the
    // farthest chart's bottom right).
    virtual QImage usedRangePicture() = 0;
    // The same picture of a sheet that is not used again, its workbook closed
    // unsaved next: the sheet may lose its drawings on the way, once they are
    // drawn, which spares a long list's rows below them their cost. A picture
    // drawn in more than two pieces, as a long list's is, is given to the
    // first view's show, where there is one, once its top is drawn at least
    // that many rows down, while the rest is drawn.
    virtual QImage usedRangePictureDroppingDrawings(const PictureFirstView &firstView = {}) = 0;
};

class Workbook
{
public:
    virtual ~Workbook() = default;

    virtual std::shared_ptr<Worksheet> activeSheet() = 0;
    // The first sheet, whichever sheet the file was saved with in front. An
    // engine whose workbooks hold one sheet may answer the active one.
    virtual std::shared_ptr<Worksheet> firstSheet() { return activeSheet(); }
    // The file type follows the extension: ".xls" is the Excel 97-2003 format.
    virtual void saveAs(const QString &path) = 0;
    virtual void close() = 0;
};

class Workbooks
{
public:
    virtual ~Workbooks() = default;

    virtual std::shared_ptr<Workbook> open(const QString &path) = 0;
    // Opened only to be read: nothing is written beside the file, nor to it.
    virtual std::shared_ptr<Workbook> openReadOnly(const QString &path) { return open(path); }
    virtual int count() = 0;
    // 1-based; the highest index is the workbook opened last.
    virtual std::shared_ptr<Workbook> item(int index) = 0;
};

class Application
{
public:
    virtual ~Application() = default;

    // The product name the instance answers to.
    virtual QString defaultValue() = 0;
    virtual Workbooks &workbooks() = 0;
    virtual void setDisplayAlerts(bool on) = 0;
    // Ends the instance; nothing of it outlives this call.
    virtual void quit() = 0;
};

class SpreadsheetServer
{
public:
    virtual ~SpreadsheetServer() = default;

    // A new, separate, hidden instance.
    virtual std::unique_ptr<Application> create() = 0;
    // The same for work on a thread of its own that the user may cancel: once
    // stop is requested, from whichever thread, the instance ends at once, and
    // the call under way and every later one throw InstanceLostError.
    virtual std::unique_ptr<Application> createStoppable(std::stop_token stop)
    {
        (void)stop;
        return create();
    }
    // An instance the user is running already; throws when there is none. It is
    // only looked at: never driven, never closed.
    virtual std::unique_ptr<Application> getRunning() = 0;
    // The name a running instance of this engine answers with.
    virtual QString expectedProductName() const = 0;
    // The number format amounts are read in when they are written to a cell:
    // the one the user types them in.
    virtual QLocale numberLocale() const { return QLocale::system(); }

    // create() will be called again soon: an engine whose instances take a
    // while to start may start the next one now, for create() to take.
    virtual void startAheadOfNeed() {}
    // Ends an instance started ahead of need that create() did not take.
    virtual void dropStartedAhead() {}

    // Converts the workbook at `workbook`, which is left untouched, into a new
    // file in the given format, in a folder private to this user, and answers
    // that file's path. The caller puts the file where it belongs and removes
    // it. Throws SpreadsheetError with the engine's reason. Once stop is
    // requested, from whichever thread, the engine's work ends at once, the
    // call throws and leaves no file.
    virtual QString convertWorkbook(const QString &workbook, ResultFormat format, std::stop_token stop = {});
};
