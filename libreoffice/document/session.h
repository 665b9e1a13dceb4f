#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/document/sheetcharts.h"
#include "libreoffice/process/engineprocess.h"
#include "libreoffice/unocall.h"

#include <QLocale>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

class EngineSpares;
class InstanceHandOver;
class LoWorkbook;

// How the objects' messages name a file.
inline QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// What the application, workbook and worksheet objects of one instance share.
struct Session {
    std::unique_ptr<EngineProcess> engine;
    // Ends the instance in the background when set.
    std::shared_ptr<EngineSpares> collector;
    QLocale typingLocale;
    std::vector<std::shared_ptr<LoWorkbook>> books;
    // Where quit() hands the instance over when it keeps a workbook it saved
    // open for the next instance of the command to draw.
    std::shared_ptr<InstanceHandOver> handOver;
    bool keepsSavedBook = false;
    // Changes made to its documents through the sheets, counted.
    quint64 edits = 0;
    // The charts of its documents drawn flat, each with the scales its axes
    // had before, which a workbook saved from it has once opened again.
    struct FlatChart {
        Reference<css::chart2::XChartDocument> model;
        ChartAxisScales scales;
    };
    std::vector<FlatChart> flatCharts;
    // Kills the instance when the work it serves is cancelled. Declared after
    // the engine, so that it goes first: once it is gone, no other thread
    // reaches the engine.
    std::optional<std::stop_callback<std::function<void()>>> stopping;

    // From now on a stop request ends the instance at once, from whichever
    // thread makes it; at once when it was made already.
    void endOnRequest(std::stop_token stop);

    // The instance, or InstanceLostError when it has ended.
    EngineProcess &alive(const QString &action);

    template <typename Call>
    auto call(const QString &action, Call &&work) -> decltype(work())
    {
        return engineCall(alive(action), action, std::forward<Call>(work));
    }

    // The instance's documents hold charts of this many slices: each call
    // from now on may take the longer that LibreOffice takes to save, load
    // and draw them.
    void allowForChartSlices(int slices);
    // The same for a file to be loaded, by its size.
    void allowForLoading(const QString &path);

    void dropClosedBooks();
};
