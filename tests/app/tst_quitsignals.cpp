#include "app/quitsignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestQuitSignals : public QObject
{
    Q_OBJECT

private slots:
    void endingSignal_data();
    void endingSignal();
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
    const auto ignore = std::signal(number, SIG_IGN);
    {
        QuitSignals watch;
        QSignalSpy received(&watch, &QuitSignals::received);
        std::raise(number);
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), number);
    }
    QVERIFY(std::signal(number, ignore) == SIG_IGN);
}

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
