#include "shell/mainroutines.h"

#include "shell/filereplace.h"
#include "shell/screenfit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QTime>
#include <QWidget>

namespace {

// Moves the window's frame to the middle of the primary screen.
void centreFrame(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect display = screen->geometry();
    const QSize outer = window->frameGeometry().size();
    window->move(display.x() + (display.width() - outer.width()) / 2,
                 display.y() + (display.height() - outer.height()) / 2);
}

// A window that fits the screen is centred on it; one too large for the
// area the panels leave is fitted to that area and centred in it, so that its
// title bar and every control can be reached.
void placeWindow(QWidget *window)
{
    const QMargins frame = ExpectedFrame(window);
    if (!FitToScreen(window, frame)) {
        centreFrame(window);
        return;
    }
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QSize outer = window->size().grownBy(frame);
    window->move(area.x() + (area.width() - outer.width()) / 2,
                 area.y() + (area.height() - outer.height()) / 2);
    KeepFrameOnScreen(window, frame);
}

// Before a window is first shown its frame is not known: the window manager
// adds title bar and borders only when it maps the window. Until the window
// is hidden again, the first time its frame turns out larger than the size it
// was centred with, it is centred again with the frame's real size.
class FrameCentring : public QObject
{
public:
    explicit FrameCentring(QWidget *window)
        : QObject(window), mWindow(window), mCentredSize(window->frameGeometry().size())
    {
        setObjectName(kName);
        window->installEventFilter(this);
    }

    static constexpr char kName[] = "quintarra-frame-centring";

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Hide:
            if (mShown)
                deleteLater();
            break;
        case QEvent::Show:
            mShown = true;
            [[fallthrough]];
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
        case QEvent::UpdateRequest:
            if (mShown && mWindow->frameGeometry().size() != mCentredSize) {
                mWindow->removeEventFilter(this);
                placeWindow(mWindow);
                deleteLater();
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWidget *mWindow;
    QSize mCentredSize;
    bool mShown = false;
};

} // namespace

void CenterForm(QWidget *window)
{
    placeWindow(window);
    if (!window->isVisible() && !window->findChild<QObject *>(QLatin1String(FrameCentring::kName),
                                                           Qt::FindDirectChildrenOnly))
        new FrameCentring(window);
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
