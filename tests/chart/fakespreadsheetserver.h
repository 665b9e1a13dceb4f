#pragma once

#include "spreadsheet/spreadsheetserver.h"

#include <QHash>
#include <QMap>
#include <QPoint>
#include <QSet>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <stop_token>

// A stand-in engine for the chart command's error paths. It records every call
// in a trail (shared with the fake host, so the order of both shows), keeps the
// cells of each workbook, and fails any call by name on request.
class FakeSpreadsheetServer : public SpreadsheetServer
{
public:
    // A sheet's content: (row, column) -> typed text.
    using Cells = QMap<QPair<int, int>, QString>;

    struct Sheet {
        Cells values;
        Cells formats;
        // Where the charts' ranges end.
        int chartLastRow = 9;
        // Drawn flat, labelling the slices of at least this share; 0 in 3-D.
        int chartLabelledShare = 0;
    };

    explicit FakeSpreadsheetServer(QStringList *trail) : mTrail(trail) {}

    // Makes the call named name ("create", "open", "setCellValue", "saveAs",
    // "usedRangePictureDroppingDrawings", ...) throw a SpreadsheetError: the occurrence-th call
    // from now (1-based), or every call when occurrence is 0. With
    // instanceLost it throws InstanceLostError, as a call to a dead instance does.
    void failCall(const QString &name, int occurrence = 0, bool instanceLost = false);

    // An instance the user started: found by getRunning() and answering with
    // the product name.
    bool userInstanceRunning = false;
    QString productName = QStringLiteral("FakeCalc");
    // The number format amounts are typed in, whatever the machine's locale.
    QLocale locale{QLocale::English, QLocale::UnitedStates};
    // Whether saveAs() writes its file; an engine may say it saved and not have.
    bool saveWritesFile = true;
    // What the pictures of the used range are.
    QImage picture;
    // The picture's top goes to its first view before the rest is drawn,
    // which is the call "usedRangePictureDroppingDrawings, rest".
    bool topFirst = false;
    // The call so named waits, as a long step of the engine does, until it is
    // released, or until the work is cancelled: then it throws
    // InstanceLostError, as a call to a killed instance does.
    QString blockedCall;
    void releaseBlockedCall();
    // The calls made on the windows' thread, where only the look for an
    // instance the user runs and the end of the command belong.
    QStringList callsOnWindowsThread;

    // The sheets written by saveAs, by path.
    QHash<QString, Sheet> saved;
    // Instances created and not yet quit or released.
    int liveInstances = 0;
    int instancesCreated = 0;
    // Every call by name, the quiet lookups included.
    QHash<QString, int> calls;

    // Called by every fake object before it acts: records the call and throws
    // when it was told to fail.
    void enter(const QString &name, const QString &detail = QString());
    Sheet templateSheet() const;

    std::unique_ptr<Application> create() override;
    std::unique_ptr<Application> createStoppable(std::stop_token stop) override;
    std::unique_ptr<Application> getRunning() override;
    QString expectedProductName() const override { return productName; }
    QLocale numberLocale() const override { return locale; }
    void startAheadOfNeed() override { enter(QStringLiteral("startAheadOfNeed")); }
    void dropStartedAhead() override { enter(QStringLiteral("dropStartedAhead")); }

private:
    void waitForTheCancel(const QString &name);

    QStringList *mTrail;
    std::stop_token mStop;
    std::mutex mBlockMutex;
    std::condition_variable_any mBlockWake;
    bool mReleased = false;
    QHash<QString, int> mFailAt;      // name -> occurrence to fail, 0 every one
    QHash<QString, int> mCallCount;   // name -> calls since failCall()
    QSet<QString> mLostAt;
};
