#pragma once

#include "chart/layer.h"

#include <QImage>
#include <QString>

#include <memory>

class Application;
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
// instance and ends it with quit().
std::unique_ptr<Application> OpenWorkbookInNewExcel(SpreadsheetServer &server, const QString &path);

// Puts a picture of the active sheet's used range (with its charts) on the
// clipboard and writes it to the path as a BMP file, readable by its owner only.
// A file that cannot be written throws TemporaryFileError. Answers the cache
// key of the picture left on the clipboard, by which ShareClipboardPicture
// knows that it is still there.
qint64 SaveUsedRangePicture(Workbook &workbook, const QString &path);

// The preview holds the same picture read back from its file. While the
// clipboard still holds the one SaveUsedRangePicture left there (by its key),
// it is given the preview's copy instead: a long sheet's picture, tens of
// megabytes, is then held once rather than twice.
void ShareClipboardPicture(qint64 clipboardKey, const QImage &picture);
