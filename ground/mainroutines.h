#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

// Small routines shared by both windows and the chart command.

// True when the file's date and time can be read; never fails.
bool FileExists(const QString &path);
// Whether an ordinary file answers the name, as a directory lookup answers:
// a folder of that name does not. Never reports an error.
bool FileIsThere(const QString &path);

// The folder that holds the program's executable, without a trailing "/".
QString ProgramFolder();

// Writes the bytes as the whole content of the file, creating it or replacing a
// longer one, safely as ReplaceFile does. The file is readable by its owner only.
// Throws a Failure when the file cannot be written; the old file then stays.
void WriteBytesToFile(const QByteArray &bytes, const QString &path);

// Deletes the file; a missing file, a bad path or a lack of rights is ignored.
void DeleteFileQuietly(const QString &path);

// Window layouts are drawn in twips (1/1440 inch): 15 twips to a pixel at 96 DPI.
int TwipsToPixels(int twips);
// A control's place and size, given in twips, in pixels.
QRect TwipsRect(int left, int top, int width, int height);

// The maker's web page, which start-up opens now and then.
inline const QString kMakerWebPage = QStringLiteral("https://www.marlowic.com/");

// Draws a number uniform in [0, 1).
using RandomDraw = std::function<double()>;
// Starts a program without waiting for it; answers whether it started.
using DetachedLauncher = std::function<bool(const QString &program, const QStringList &arguments)>;

// A draw from a generator seeded with the time of day, as each start seeds it anew.
RandomDraw ClockSeededDraw();
bool StartDetached(const QString &program, const QStringList &arguments);

// On about one start in a hundred (the draw gives 7 of 1..100), opens the
// maker's web page with the desktop's opener. A failure to start it is ignored.
void OpenWebPageAtRandom(const RandomDraw &draw = ClockSeededDraw(),
                         const DetachedLauncher &launch = StartDetached);
