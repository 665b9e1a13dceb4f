#pragma once

#include "app/layer.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

#include <cstdint>

// Under X11, Qt keeps a hidden window of its own as the program's "client
// leader" and names it after the program, so a tool that looks for the window
// named "Quintarra" may well find that one, above all while the program
// starts. Qt drops a request to close it: the program went on without a
// window the user could see it answer, its list unstored. Here such a request
// closes the main window, as the one meant.
class LeaderCloseWatch : public QAbstractNativeEventFilter
{
public:
    // Watches from now on: the leader is made, and may be asked to close,
    // before the main window shows.
    LeaderCloseWatch();
    ~LeaderCloseWatch() override;

    // The window to close; a request that came before is carried out now.
    void closeWith(QWidget *mainWindow);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void closeMainWindow();

    QPointer<QWidget> mMainWindow;
    bool mRequested = false;
    std::uint32_t mProtocolsAtom = 0;
    std::uint32_t mDeleteWindowAtom = 0;
};
