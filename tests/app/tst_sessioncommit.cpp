#include "app/sessioncommit.h"

#include "scriptedprompts.h"

#include <QTest>

class TestSessionCommit : public QObject
{
    Q_OBJECT

private slots:
    void commit_data();
    void commit();
};

void TestSessionCommit::commit_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("boxes");
    QTest::newRow("stored: the session is not asked") << QString() << true << 0 << 0;
    QTest::newRow("failed, boxes allowed") << QStringLiteral("Your list could not be saved.") << true << 1 << 1;
    QTest::newRow("failed, no boxes allowed") << QStringLiteral("Your list could not be saved.") << false << 1 << 0;
}

// The list is stored whatever the session allows; a box comes only after the
// session allowed it, and the session is released after it.
void TestSessionCommit::commit()
{
    QFETCH(QString, failure);
    QFETCH(bool, allowed);
    QFETCH(int, asked);
    QFETCH(int, boxes);
    ScriptedPrompts prompts;
    int stores = 0;
    int askedCount = 0;
    int boxesWhenAsked = 0;
    int boxesWhenReleased = -1;
    const SessionRules session{[&] {
                                   ++askedCount;
                                   boxesWhenAsked += int(prompts.shown.size());
                                   return allowed;
                               },
                               [&] { boxesWhenReleased = int(prompts.shown.size()); }};
    CommitForSession(session, prompts, [&] {
        ++stores;
        return failure;
    });
    QCOMPARE(stores, 1);
    QCOMPARE(askedCount, asked);
    QCOMPARE(boxesWhenAsked, 0);
    QCOMPARE(prompts.shown.size(), boxes);
    if (boxes > 0) {
        QCOMPARE(prompts.shown.at(0).text, failure);
        QCOMPARE(boxesWhenReleased, boxes);
    }
}

QTEST_GUILESS_MAIN(TestSessionCommit)
#include "tst_sessioncommit.moc"
