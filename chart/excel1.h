#pragma once

#include "chart/layer.h"

#include "chart/clipboardpicture.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QPointer>
#include <QString>

#include <memory>
#include <stop_token>

class Application;
class Job;
class Prompts;
class SpreadsheetServer;
class Workbook;

// The small automation procedures around the chart command's spreadsheet work.

// True when the user already runs an instance of the engine. Never fails: an
// instance that cannot be reached, or answers with another product name,
// counts as not running.
bool IsExcelRunning(SpreadsheetServer &server);

// When an instance is running, asks whether to go on. True means stop: an
// instance runs and the user did not answer Yes.
bool WarnIfExcelRunning(SpreadsheetServer &server, Prompts &prompts);

// A new instance with the workbook at the path open in it. The caller owns the
// instance and ends it with quit(); it ends at once when stop is requested.
std::unique_ptr<Application> OpenWorkbookInNewExcel(SpreadsheetServer &server, const QString &path,
                                                    std::stop_token stop = {});

// Whether the workbook's sheet is used again after its picture is taken. One
// that is not, its workbook closed unsaved next, may lose its drawings on the
// way, which spares a long list's picture most of its time.
enum class SheetAfterPicture { UsedAgain, Discarded };

// Puts a picture of the active sheet's used range (with its charts) on the
// clipboard and writes it to the path as a BMP file, readable by its owner only.
// A file that cannot be written throws TemporaryFileError. Answers what the
// clipboard holds, through which the caller may swap the picture behind it;
// null when there is no clipboard, or once something else is copied. The
// engine's drawing and the file's writing are pieces of the job; the clipboard
// is filled on the caller's thread, which must be the windows'.
// A long list's picture may show its top first, as the first view says.
QPointer<ClipboardPicture> SaveUsedRangePicture(Workbook &workbook, const QString &path, Job &job,
                                                SheetAfterPicture after, const PictureFirstView &firstView = {});
QPointer<ClipboardPicture> SaveUsedRangePicture(Workbook &workbook, const QString &path,
                                                SheetAfterPicture after = SheetAfterPicture::UsedAgain);
