#include "ground/mainroutines.h"

#include "ground/filereplace.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QTime>

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

void WriteBytesToFile(const QByteArray &bytes, const QString &path)
{
    ReplaceFile(path, bytes, FileAccess::OwnerOnly);
}

void DeleteFileQuietly(const QString &path)
{
    if (!path.isEmpty())
        QFile::remove(path);
}

int TwipsToPixels(int twips)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return qRound(twips * dpi / 1440.0);
}

RandomDraw ClockSeededDraw()
{
    const auto seed = quint32(QTime::currentTime().msecsSinceStartOfDay());
    return [generator = QRandomGenerator(seed)]() mutable { return generator.generateDouble(); };
}

bool StartDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

void OpenWebPageAtRandom(const RandomDraw &draw, const DetachedLauncher &launch)
{
    const int n = int(draw() * 100) + 1;
    if (n != 7)
        return;
    // The address goes to the opener as one argument; no shell sees it, so it
    // needs no quotes.
    try {
        launch(QStringLiteral("xdg-open"), {kMakerWebPage});
    } catch (const std::exception &) {
        // Start-up goes on without the page.
    }
}

QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

bool FileIsThere(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}
