// The watchdog alone, with expiries that only report: no engine. Run in the
// sanitized build too, where a deadline read after its call was disarmed is a
// reported use of freed memory.

#include "libreoffice/process/enginewatchdog.h"

#include <QTest>

#include <future>

using namespace std::chrono_literals;

class TestEngineWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void disarmedCallWhileWaitingForItsDeadline();
    void expiryRunsOnceAtItsDeadline();
};

void TestEngineWatchdog::disarmedCallWhileWaitingForItsDeadline()
{
    EngineWatchdog watchdog;
    const auto now = EngineWatchdog::Clock::now();
    const quint64 far = watchdog.arm(now + 1h, [] {});
    // Its expiry runs with the lock held; the watchdog keeps the lock until it
    // waits for the far deadline, which disarm() below has to wait for.
    std::promise<void> passed;
    watchdog.arm(now, [&passed] { passed.set_value(); });
    passed.get_future().wait();
    watchdog.disarm(far);

    // The watchdog wakes for the new call and finds the nearest deadline
    // again, without the one disarmed; the new call's expiry runs in time.
    std::promise<void> next;
    auto nextRan = next.get_future();
    watchdog.arm(EngineWatchdog::Clock::now() + 50ms, [&next] { next.set_value(); });
    QCOMPARE(nextRan.wait_for(30s), std::future_status::ready);
}

void TestEngineWatchdog::expiryRunsOnceAtItsDeadline()
{
    EngineWatchdog watchdog;
    std::atomic_int disarmedRuns = 0;
    const quint64 disarmed = watchdog.arm(EngineWatchdog::Clock::now() + 200ms, [&] { ++disarmedRuns; });
    watchdog.disarm(disarmed);

    std::atomic_int runs = 0;
    std::promise<EngineWatchdog::Clock::time_point> ran;
    auto ranAt = ran.get_future();
    const auto deadline = EngineWatchdog::Clock::now() + 300ms;
    const quint64 ticket = watchdog.arm(deadline, [&] {
        if (++runs == 1)
            ran.set_value(EngineWatchdog::Clock::now());
    });
    QCOMPARE(ranAt.wait_for(30s), std::future_status::ready);
    QVERIFY(ranAt.get() >= deadline);
    // Disarming after the expiry ran is harmless, and it runs no more.
    watchdog.disarm(ticket);
    QCOMPARE(runs.load(), 1);
    QCOMPARE(disarmedRuns.load(), 0);
}

QTEST_GUILESS_MAIN(TestEngineWatchdog)
#include "tst_enginewatchdog.moc"
