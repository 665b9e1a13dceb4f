#pragma once

#include "app/layer.h"

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns the signals that ask a desktop program to end (SIGTERM from a session
// ending, SIGHUP from a terminal or a session going away, SIGINT from Ctrl+C)
// into a Qt signal on the event loop, so that the program ends as closing its
// window does instead of dying with the user's edits. The handler only writes
// the signal's number into a socket pair; a notifier reads it in the loop.
// A signal that was ignored when the object was made stays ignored. One
// object at a time; the earlier handlers come back when it goes.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int number);

private:
    void readPending();

    int mFds[2] = {-1, -1};
    QSocketNotifier *mNotifier = nullptr;
    struct sigaction mEarlier[3];
};
