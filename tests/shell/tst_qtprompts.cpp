#include "shell/qtprompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The real message box, driven while it is open.
class TestQtPrompts : public QObject
{
    Q_OBJECT

private slots:
    void messageShowsTextAsWritten_data();
    void messageShowsTextAsWritten();
    void dialogsSitOverTheShownWindow();
};

void TestQtPrompts::messageShowsTextAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("path with a tag") << "Are you sure you wish to overwrite /tmp/<b>x.xls ?";
    QTest::newRow("description with a line break tag")
            << "Cannot write /tmp/<br>.xls: denied\r\nin Quintarra7/29/2014.Form2.PushButton6_Click at line 130";
}

void TestQtPrompts::messageShowsTextAsWritten()
{
    QFETCH(QString, text);
    QVERIFY(Qt::mightBeRichText(text));   // what Qt would otherwise render as markup
    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QLabel *label : box->findChildren<QLabel *>()) {
            if (label->text() == text && label->textFormat() == Qt::PlainText)
                shown = label->text();
        }
        box->button(QMessageBox::Yes)->click();
    });
    QtPrompts prompts;
    QCOMPARE(prompts.message(text, MsgButtons::YesNo, MsgIcon::None, kAppTitle), MsgAnswer::Yes);
    QCOMPARE(shown, text);
}

void TestQtPrompts::dialogsSitOverTheShownWindow()
{
    // The shown window is not the active one: its activation has not arrived,
    // as after another dialog closes or without a window manager.
    QWidget hidden;
    QWidget window;
    window.setAttribute(Qt::WA_ShowWithoutActivating);
    window.show();
    QVERIFY(QApplication::activeWindow() != &window);

    QWidget *parent = &hidden;
    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        parent = box->parentWidget();
        box->close();
    });
    QtPrompts().message(QStringLiteral("Done."), MsgButtons::Ok, MsgIcon::None, kAppTitle);
    QCOMPARE(parent, &window);
}

QTEST_MAIN(TestQtPrompts)
#include "tst_qtprompts.moc"
