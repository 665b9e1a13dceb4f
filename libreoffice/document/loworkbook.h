#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/process/helddocument.h"
#include "libreoffice/unocall.h"
#include "spreadsheet/spreadsheetserver.h"

#include <com/sun/star/frame/XModel.hpp>

#include <QElapsedTimer>

#include <memory>

struct Session;

// A workbook open in one of this tool's instances.
class LoWorkbook : public Workbook
{
public:
    LoWorkbook(std::shared_ptr<Session> session, Reference<css::frame::XModel> model, const QString &source);

    std::shared_ptr<Worksheet> activeSheet() override;
    std::shared_ptr<Worksheet> firstSheet() override;
    void saveAs(const QString &path) override;
    void close() override;

    bool isClosed() const { return !mModel.is(); }
    // A document held open since before it was asked for counts its editing
    // time, which the engine writes to a saved workbook, from now on.
    void countEditingTimeFromNow() { mOpenedLate.start(); }
    // Where its charts lie once saved as a workbook and opened again, when
    // the instance measured it. A book with them that is saved as an .xls
    // workbook and closed without a change is kept open instead, for the
    // next instance to draw (see Session::handOver).
    void setReopenedChartPlaces(const QList<ReopenedChartPlace> &places) { mChartPlaces = places; }

private:
    Reference<css::frame::XModel> model(const QString &action);
    bool keepForDrawing(const Reference<css::frame::XModel> &document);

    std::shared_ptr<Session> mSession;
    Reference<css::frame::XModel> mModel;
    QString mSource;
    bool mSourceHidesGridlines = false;
    QElapsedTimer mOpenedLate;
    QList<ReopenedChartPlace> mChartPlaces;
    QString mSavedWorkbook;   // the .xls file it was last saved as
    quint64 mEditsWhenSaved = 0;
    bool mFormatsAsSaved = true;   // its charts draw as the workbook last saved
};
