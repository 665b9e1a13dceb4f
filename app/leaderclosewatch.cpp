#include "app/leaderclosewatch.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

std::uint32_t Atom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, std::strlen(name), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const std::uint32_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

// Whether the window is one that Qt shows for a window of the program.
bool IsShownWindow(xcb_window_t id)
{
    const QWindowList windows = QGuiApplication::allWindows();
    for (const QWindow *window : windows) {
        if (window->handle() && window->winId() == id)
            return true;
    }
    return false;
}

} // namespace

LeaderCloseWatch::LeaderCloseWatch()
{
    // Only the xcb platform delivers X events to the filter; the offscreen
    // platform answers for X11 too, but with no connection.
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection())
        return;
    mProtocolsAtom = Atom(x11->connection(), "WM_PROTOCOLS");
    mDeleteWindowAtom = Atom(x11->connection(), "WM_DELETE_WINDOW");
    QCoreApplication::instance()->installNativeEventFilter(this);
}

LeaderCloseWatch::~LeaderCloseWatch()
{
    if (mProtocolsAtom != 0)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool LeaderCloseWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto *request = static_cast<const xcb_client_message_event_t *>(message);
    if (request->format != 32 || request->type != mProtocolsAtom
        || request->data.data32[0] != mDeleteWindowAtom || IsShownWindow(request->window))
        return false;
    mRequested = true;
    closeMainWindow();
    return true;
}

void LeaderCloseWatch::closeWith(QWidget *mainWindow)
{
    mMainWindow = mainWindow;
    closeMainWindow();
}

void LeaderCloseWatch::closeMainWindow()
{
    // After the native event: the closing stores and ends the program.
    if (mRequested && mMainWindow)
        QMetaObject::invokeMethod(mMainWindow, &QWidget::close, Qt::QueuedConnection);
}
