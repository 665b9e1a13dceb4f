#include "shell/mainroutines.h"

#include "shell/failure.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QScreen>
#include <QTime>
#include <QWidget>

void CenterForm(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect display = screen->geometry();
    const QSize outer = window->frameGeometry().size();
    window->move(display.x() + (display.width() - outer.width()) / 2,
                 display.y() + (display.height() - outer.height()) / 2);
}

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
    // QSaveFile writes through a link at the final name to the link's target;
    // a link there is removed instead, so the bytes land only at this path.
    if (QFileInfo(path).isSymLink() && !QFile::remove(path))
        throw Failure(QStringLiteral("Cannot replace the link %1").arg(path));
    QSaveFile file(path);
    // The file is written under a temporary name and renamed over the final one
    // only when complete.
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
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
