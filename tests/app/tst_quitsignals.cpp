#include "app/quitsignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {
// Stands for a handler the program had before: the process must not end.
void earlierHandler(int) {}

bool isIgnored(int number)
{
    struct sigaction now = {};
    return ::sigaction(number, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
}
} // namespace

class TestQuitSignals : public QObject
{
    Q_OBJECT

private slots:
    void endingSignal_data();
    void endingSignal();
    void ignoredSignalStaysIgnored_data();
    void ignoredSignalStaysIgnored();
};

void TestQuitSignals::endingSignal_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

// The signal reaches the event loop instead of ending the process, and once
// the object is gone the earlier handling is back.
void TestQuitSignals::endingSignal()
{
    QFETCH(int, number);
    const auto earlier = std::signal(number, earlierHandler);
    {
        QuitSignals watch;
        QSignalSpy received(&watch, &QuitSignals::received);
        std::raise(number);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), number);
    }
    QVERIFY(std::signal(number, earlier) == earlierHandler);
}

void TestQuitSignals::ignoredSignalStaysIgnored_data()
{
    QTest::addColumn<int>("ignored");
    QTest::addColumn<int>("marker");
    QTest::newRow("SIGHUP under nohup") << SIGHUP << SIGTERM;
    QTest::newRow("SIGINT in a background job") << SIGINT << SIGTERM;
    QTest::newRow("SIGTERM") << SIGTERM << SIGINT;
}

// What the starter ignored is neither relayed nor fatal. The marker signal
// is relayed after it in order, so once the marker arrives an ignored signal
// that was relayed would have arrived first.
void TestQuitSignals::ignoredSignalStaysIgnored()
{
    QFETCH(int, ignored);
    QFETCH(int, marker);
    const auto earlierIgnored = std::signal(ignored, SIG_IGN);
    const auto earlierMarker = std::signal(marker, earlierHandler);
    {
        QuitSignals watch;
        QSignalSpy received(&watch, &QuitSignals::received);
        QVERIFY(isIgnored(ignored));
        std::raise(ignored);
        std::raise(marker);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), marker);
    }
    QVERIFY(isIgnored(ignored));
    std::signal(ignored, earlierIgnored);
    std::signal(marker, earlierMarker);
}

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
