#include "chart/excel1.h"

#include "chart/temporaryfolder.h"
#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/job.h"
#include "ground/prompts.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QClipboard>
#include <QGuiApplication>

bool IsExcelRunning(SpreadsheetServer &server)
{
    try {
        const std::unique_ptr<Application> running = server.getRunning();
        return running->defaultValue() == server.expectedProductName();
    } catch (const std::exception &) {
        return false;
    }
}

bool WarnIfExcelRunning(SpreadsheetServer &server, Prompts &prompts)
{
    if (!IsExcelRunning(server))
        return false;
    const QString text = QStringLiteral("Excel may be open. It is recommended that you close Excel first.")
            + QLatin1Char('\r') + QStringLiteral("Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.")
            + QStringLiteral("\r\n\r\n") + QStringLiteral("Would you like to proceed anyway?");
    return prompts.message(text, MsgButtons::YesNo, MsgIcon::None) != MsgAnswer::Yes;
}

std::unique_ptr<Application> OpenWorkbookInNewExcel(SpreadsheetServer &server, const QString &path,
                                                    std::stop_token stop)
{
    std::unique_ptr<Application> application = server.createStoppable(std::move(stop));
    application->workbooks().open(path);
    return application;
}

QPointer<ClipboardPicture> SaveUsedRangePicture(Workbook &workbook, const QString &path, Job &job,
                                                SheetAfterPicture after, const PictureFirstView &firstView)
{
    QImage picture;
    job.run([&] {
        const auto sheet = workbook.activeSheet();
        picture = after == SheetAfterPicture::Discarded ? sheet->usedRangePictureDroppingDrawings(firstView)
                                                        : sheet->usedRangePicture();
    });
    QPointer<ClipboardPicture> onClipboard;
    if (auto *clipboard = QGuiApplication::clipboard()) {
        onClipboard = new ClipboardPicture(picture);
        clipboard->setMimeData(onClipboard);
    }

    // The file lives only until the picture is loaded back a moment later:
    // a bitmap is written and read in a fraction of the time compression
    // takes. Owner-only, and a link planted at the name is replaced, not
    // followed. A name that cannot be written is no fault of the engine's.
    try {
        job.run([&] { ReplaceScratchFile(path, [&picture](QIODevice &file) { return picture.save(&file, "BMP"); }); });
    } catch (const Failure &failure) {
        throw TemporaryFileError(failure.description());
    }
    return onClipboard;
}

QPointer<ClipboardPicture> SaveUsedRangePicture(Workbook &workbook, const QString &path, SheetAfterPicture after)
{
    Job here;
    return SaveUsedRangePicture(workbook, path, here, after);
}
