#include "widgets/centerform.h"

#include "widgets/screenfit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
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
