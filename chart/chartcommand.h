#pragma once

#include "chart/layer.h"

#include "chart/temporaryfolder.h"
#include "ground/job.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class ChartHost;
class Prompts;
class QRandomGenerator;
class SpreadsheetServer;

// "Start Creating Template": the list becomes a filled chart workbook and a
// picture of it in the preview window.
class ChartCommand
{
public:
    ChartCommand(Prompts &prompts, SpreadsheetServer &server)
        : mPrompts(prompts), mServer(server) {}

    void run(ChartHost &host);

    // Where the digits of the workbook name come from; the system's generator
    // unless set. Lets a test know the name that will be drawn.
    void setRandomGenerator(QRandomGenerator *generator) { mRandom = generator; }
    // How long to wait for another copy of the program that shares the
    // temporary folder to be done with a fixed file name.
    void setFixedNameWait(std::chrono::milliseconds wait) { mLockWait = wait; }
    // Makes the job each run hands its engine work to, a fresh one per run.
    // Without it the work runs on the caller's thread, for callers with no
    // windows to keep going.
    void setJobMaker(std::function<std::unique_ptr<Job>()> maker) { mJobMaker = std::move(maker); }

private:
    Prompts &mPrompts;
    SpreadsheetServer &mServer;
    QRandomGenerator *mRandom = nullptr;
    std::chrono::milliseconds mLockWait = FixedNameLock::kDefaultWait;
    std::function<std::unique_ptr<Job>()> mJobMaker;
};

// What column B of every written row is formatted with: dollar sign at the
// left edge, thousands separators, no decimals, negatives in parentheses, zero
// as a dash.
inline const QString kAccountingFormat = QStringLiteral("_($* #,##0_);_($* (#,##0);_($* ")
        + QChar(34) + QStringLiteral("-") + QChar(34) + QStringLiteral("??_);_(@_)");

// The template's first data row, under its header in row 3.
inline constexpr int kFirstDataRow = 4;

// The most slices the pie is drawn with in 3-D, as the template has it.
// LibreOffice's 3-D scene takes time that grows with the square of its
// slices: from click to preview 1.2 s for 100, 1.9 s for 150, 4 s for 250,
// and from about 110 on longer than the engine's own conversion of the same
// workbook to a picture. A longer list's pie is drawn flat, in time that
// grows in proportion (0.45 s for 100 slices, 0.73 s for 250).
inline constexpr int kMostSlicesIn3D = 100;

// In a pie drawn flat, the share of the pie in whole percent, as the labels
// round it, that a slice needs to keep its label: thinner slices' labels
// would only cover the pie.
inline constexpr int kSmallestLabelledShare = 1;

inline const QString kTemplateCopyName = QStringLiteral("Pie Chart.xlt");
inline const QString kPictureName = QStringLiteral("temp.bmp");
inline const QString kWorkbookPrefix = QStringLiteral("tervik");
inline const QString kTemplateResource = QStringLiteral(":/CUSTOM/101");
// The title the template gives its chart.
inline const QString kChartTitle = QStringLiteral("My Assets");
