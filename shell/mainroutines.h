#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Small routines shared by both windows and the chart command.

// Places the window in the middle of the primary screen (the whole display,
// not the area left by panels).
void CenterForm(QWidget *window);

// True when the file's date and time can be read; never fails.
bool FileExists(const QString &path);

// The folder that holds the program's executable, without a trailing "/".
QString ProgramFolder();

// Writes the bytes as the whole content of the file, creating it or replacing a
// longer one. The file is readable by its owner only, and a link at the final
// name is replaced, never followed. Throws a Failure when the file cannot be written.
void WriteBytesToFile(const QByteArray &bytes, const QString &path);

// Deletes the file; a missing file, a bad path or a lack of rights is ignored.
void DeleteFileQuietly(const QString &path);

// Window layouts are drawn in twips (1/1440 inch): 15 twips to a pixel at 96 DPI.
int TwipsToPixels(int twips);
