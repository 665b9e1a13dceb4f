#pragma once

#include <QString>

#include <memory>

class Application;
class Prompts;
class SpreadsheetServer;
class Workbook;

// The automation procedures the chart command calls around its own steps.

// True when the caller must stop: an instance of the engine is running already
// and the user did not choose to proceed.
bool WarnIfExcelRunning(Prompts &prompts, SpreadsheetServer &server);

// A new instance with the workbook at path opened in it; the caller owns it.
std::unique_ptr<Application> OpenWorkbookInNewExcel(SpreadsheetServer &server, const QString &path);

// Writes a picture of the active sheet's used range and charts to path and
// leaves it on the clipboard.
void SaveUsedRangePicture(Workbook &workbook, const QString &path);
