// Stand-ins for the automation procedures until the engine's own land on this
// branch: the same contract, written against the adapter interface.
#include "chart/excel1.h"
#include "chart/spreadsheetserver.h"
#include "shell/prompts.h"

bool WarnIfExcelRunning(SpreadsheetServer &server, Prompts &prompts)
{
    bool running = false;
    try {
        running = server.getRunning()->defaultValue() == server.expectedProductName();
    } catch (const std::exception &) {
    }
    if (!running)
        return false;
    const QString text = QStringLiteral("Excel may be open. It is recommended that you close Excel first.\r"
                                        "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
                                        "Would you like to proceed anyway?");
    return prompts.message(text, MsgButtons::YesNo, MsgIcon::None) != MsgAnswer::Yes;
}

std::unique_ptr<Application> OpenWorkbookInNewExcel(SpreadsheetServer &server, const QString &path)
{
    auto app = server.create();
    app->workbooks().open(path);
    return app;
}

void SaveUsedRangePicture(Workbook &workbook, const QString &path)
{
    const QImage picture = workbook.activeSheet()->usedRangePicture();
    if (!picture.save(path, "PNG"))
        throw SpreadsheetError(QStringLiteral("Cannot write the picture %1").arg(path));
}
