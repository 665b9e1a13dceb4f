#include "widgets/qtprompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
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
    void inputKeepsLongTextWhole_data();
    void inputKeepsLongTextWhole();
    void saveAsAnswersNameAsTypedAndChosenFilter();
    void fileDialogsOpenAtHomeThenWhereLastChosen();
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

void TestQtPrompts::inputKeepsLongTextWhole_data()
{
    QTest::addColumn<bool>("pasted");   // else given as the default
    QTest::newRow("default") << false;
    QTest::newRow("pasted") << true;
}

void TestQtPrompts::inputKeepsLongTextWhole()
{
    QFETCH(bool, pasted);
    const QString longText = QString(100000, QLatin1Char('a')) + QStringLiteral("end");
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto *field = dialog->findChild<QLineEdit *>();
        QVERIFY(field);
        if (pasted) {
            field->selectAll();
            field->insert(longText);
        }
        dialog->accept();
    });
    const QString answer = QtPrompts().input(QStringLiteral("Enter Asset Type:"), QStringLiteral("Input Asset Type"),
                                             pasted ? QStringLiteral("Savings") : longText);
    QCOMPARE(answer.size(), longText.size());
    QCOMPARE(answer, longText);
}

// The caller adds the suffix and asks about replacing a file, by the filter
// chosen: the dialog does neither and tells the filter.
void TestQtPrompts::saveAsAnswersNameAsTypedAndChosenFilter()
{
    QTemporaryDir folder;
    const QStringList filters{QStringLiteral("SVG Image (*.svg)"), QStringLiteral("PNG Image (*.png)")};
    const QString typed = folder.filePath(QStringLiteral("chart"));
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->nameFilters(), filters);
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->selectNameFilter(filters.at(1));
        dialog->selectFile(typed);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const SaveChoice choice = QtPrompts().saveFileAs(QStringLiteral("Save Chart As"), filters);
    QCOMPARE(choice.path, typed);
    QCOMPARE(choice.filter, filters.at(1));
}

// Not in the folder the program was started from: at home first, then where
// a file was last chosen, whether opened or saved; a cancel moves nothing.
void TestQtPrompts::fileDialogsOpenAtHomeThenWhereLastChosen()
{
    QTemporaryDir home;
    QTemporaryDir elsewhere;
    qputenv("HOME", home.path().toLocal8Bit());
    QtPrompts prompts;
    QStringList openedIn;
    const auto answerWith = [&](const QString &chosen) {
        QTimer::singleShot(0, this, [&openedIn, chosen] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            openedIn << QFileInfo(dialog->directory().absolutePath()).canonicalFilePath();
            if (chosen.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(chosen);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    };
    const QString rows = elsewhere.filePath(QStringLiteral("rows.csv"));
    QFile(rows).open(QIODevice::WriteOnly);
    answerWith(rows);
    QCOMPARE(prompts.openFileName(QStringLiteral("Import Rows"), QStringLiteral("CSV (*.csv)")), rows);
    answerWith(QString());
    prompts.saveFileAs(QStringLiteral("Export List As CSV"), {QStringLiteral("CSV (*.csv)")});
    answerWith(home.filePath(QStringLiteral("chart.svg")));
    prompts.saveFileAs(QStringLiteral("Save Chart As"), {QStringLiteral("SVG Image (*.svg)")});
    answerWith(QString());
    prompts.saveFileName(QStringLiteral("Save File"), QStringLiteral("Excel Files (*.xls)"));

    const QString homeFolder = QFileInfo(home.path()).canonicalFilePath();
    const QString otherFolder = QFileInfo(elsewhere.path()).canonicalFilePath();
    QCOMPARE(openedIn, (QStringList{homeFolder, otherFolder, otherFolder, homeFolder}));
}

QTEST_MAIN(TestQtPrompts)
#include "tst_qtprompts.moc"
