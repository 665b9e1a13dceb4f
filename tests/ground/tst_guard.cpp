#include "ground/failure.h"
#include "ground/guard.h"
#include "scriptedprompts.h"

#include <QTest>

class TestGuard : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void reportBox();
    void continuation_data();
    void continuation();
    void severalReportsInOneCommand();
};

void TestGuard::reportText_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("statement");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first statement")
            << "in Quintarra7/29/2014.Form1.PushButton2_Click " << 100 << "Out of memory"
            << "Out of memory\r\nin Quintarra7/29/2014.Form1.PushButton2_Click at line 100\r\r"
               "Please email screenshot of this message to support@marlowic.com";
    QTest::newRow("preview window, empty description")
            << "in Quintarra7/29/2014.Form2.PushButton6_Click " << 130 << ""
            << "\r\nin Quintarra7/29/2014.Form2.PushButton6_Click at line 130\r\r"
               "Please email screenshot of this message to support@marlowic.com";
}

void TestGuard::reportText()
{
    QFETCH(QString, location);
    QFETCH(int, statement);
    QFETCH(QString, description);
    QFETCH(QString, expected);
    QCOMPARE(ErrorReportText(location, statement, description), expected);
}

void TestGuard::reportBox()
{
    ScriptedPrompts prompts;
    ErrorReport(prompts, QStringLiteral("in X "), 108, QStringLiteral("boom"));
    QCOMPARE(prompts.shown.size(), 1);
    const auto &box = prompts.shown.first();
    QCOMPARE(box.title, QStringLiteral("Application Error"));
    QCOMPARE(box.icon, MsgIcon::Warning);
    QCOMPARE(box.buttons, MsgButtons::Ok);
}

// Each row runs one guarded statement that fails or not, and records where the
// command went on.
void TestGuard::continuation_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("outcome");   // of the statement: ok, fails, cancelled
    QTest::addColumn<bool>("testHolds");
    QTest::addColumn<QString>("path");

    QTest::newRow("run ok") << "run" << "ok" << false << "body,next";
    QTest::newRow("run fails: next statement") << "run" << "fails" << false << "report,next";
    QTest::newRow("stopIf holds: stop") << "stopIf" << "ok" << true << "stop";
    QTest::newRow("stopIf not: go on") << "stopIf" << "ok" << false << "next";
    QTest::newRow("stopIf fails: go on") << "stopIf" << "fails" << true << "report,next";
    QTest::newRow("enterIf holds: block") << "enterIf" << "ok" << true << "block,next";
    QTest::newRow("enterIf not: skip") << "enterIf" << "ok" << false << "next";
    QTest::newRow("enterIf fails: block") << "enterIf" << "fails" << false << "report,block,next";
    // The user stopped the command's work: nothing to report, nothing more to do.
    QTest::newRow("run cancelled: command ends") << "run" << "cancelled" << false << "ended";
    QTest::newRow("stopIf cancelled: command ends") << "stopIf" << "cancelled" << false << "ended";
    QTest::newRow("enterIf cancelled: command ends") << "enterIf" << "cancelled" << true << "ended";
}

void TestGuard::continuation()
{
    QFETCH(QString, kind);
    QFETCH(QString, outcome);
    QFETCH(bool, testHolds);
    QFETCH(QString, path);

    ScriptedPrompts prompts;
    Guard g(prompts, QStringLiteral("in T "));
    QStringList trail;
    const bool fails = outcome == QLatin1String("fails");
    auto statement = [&] {
        if (fails)
            throw Failure(QStringLiteral("failed"));
        if (outcome == QLatin1String("cancelled"))
            throw JobCancelled();
        return testHolds;
    };
    const auto command = [&] {
        if (kind == QLatin1String("run")) {
            g.run(100, [&] { statement(); trail << QStringLiteral("body"); });
        } else if (kind == QLatin1String("stopIf")) {
            if (g.stopIf(100, statement)) {
                trail << QStringLiteral("stop");
                return;
            }
        } else if (g.enterIf(100, statement)) {
            trail << QStringLiteral("block");
        }
        trail << QStringLiteral("next");
    };
    try {
        command();
    } catch (const JobCancelled &) {
        trail << QStringLiteral("ended");
    }
    if (fails)
        trail.prepend(QStringLiteral("report"));
    QCOMPARE(trail.join(QLatin1Char(',')), path);
    QCOMPARE(prompts.errorReports().size(), fails ? 1 : 0);
    if (fails)
        QVERIFY(prompts.errorReports().first().contains(QStringLiteral("in T at line 100\r\r")));
}

void TestGuard::severalReportsInOneCommand()
{
    ScriptedPrompts prompts;
    Guard g(prompts, QStringLiteral("in T "));
    g.run(108, [] { throw std::runtime_error("first"); });
    g.run(110, [] { throw std::out_of_range("second"); });
    g.run(112, [] {});
    const QStringList reports = prompts.errorReports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0].startsWith(QStringLiteral("first\r\nin T at line 108")));
    QVERIFY(reports[1].startsWith(QStringLiteral("second\r\nin T at line 110")));
}

QTEST_MAIN(TestGuard)
#include "tst_guard.moc"
