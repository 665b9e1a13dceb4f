#include "fakeconverter.h"
#include "isolatedenvironment.h"
#include "mouseevents.h"
#include "preview/form2.h"
#include "widgets/progressjob.h"
#include "scriptedprompts.h"
#include "smallfilesystem.h"
#include "testfiles.h"
#include "unprivilegeduser.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kWorkbook = QByteArrayLiteral("the workbook's own bytes");
const QString kSvg = QStringLiteral("SVG Image (*.svg)");
const QString kPng = QStringLiteral("PNG Image (*.png)");
const QString kXlsx = QStringLiteral("Excel Workbook (*.xlsx)");
const QString kOds = QStringLiteral("OpenDocument Spreadsheet (*.ods)");
const QString kXls = QStringLiteral("Excel 97-2003 Workbook (*.xls)");
const QString kPdf = QStringLiteral("PDF Document (*.pdf)");

// Larger than the viewport: the first view is not at 1.0, and one "Zoom In"
// lets it overhang both ways.
QImage sheetPicture()
{
    QImage picture(900, 900, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setBrush(Qt::blue);
    painter.drawEllipse(300, 250, 400, 400);
    return picture;
}

struct Preview {
    Preview()
    {
        WriteFileBytes(workbook, kWorkbook);
        form.setEndProgram([] {});
        form.mExcelFile = workbook;
        form.setPicture(sheetPicture());
        form.show();
    }
    QWidget *picture() const { return form.findChild<QWidget *>(QStringLiteral("Picture1")); }
    QMenu *openMenu() const { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }
    void choose(const QString &entry) const
    {
        for (QAction *action : form.findChild<QMenu *>(QStringLiteral("PictureMenu"))->actions()) {
            if (action->text() == entry)
                action->trigger();
        }
    }

    IsolatedEnvironment env;
    QString workbook = env.tempFolder() + QStringLiteral("/tervik12345678.xls");
    ScriptedPrompts prompts;
    FakeConverter engine;
    QWidget mainWindow;
    Form2 form{prompts, engine, &mainWindow};
};

} // namespace

class TestPictureActions : public QObject
{
    Q_OBJECT

private slots:
    void wholeAfterTop();
    void entries_data();
    void entries();
    void opening_data();
    void opening();
    void saveAs_data();
    void saveAs();
    void overExistingFile_data();
    void overExistingFile();
    void cancelledConversion_data();
    void cancelledConversion();
    void plantedLink_data();
    void plantedLink();
};

void TestPictureActions::entries_data()
{
    QTest::addColumn<int>("place");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("dialog");   // the save dialog's title; empty: none
    QTest::addColumn<QStringList>("filters");

    QTest::newRow("Copy Picture") << 0 << "Copy Picture" << QKeySequence("Ctrl+C") << "" << QStringList();
    QTest::newRow("Save Picture As") << 1 << "Save Picture As…" << QKeySequence("Ctrl+Shift+P")
                                     << "Save Picture As" << QStringList{kPng};
    QTest::newRow("Save Chart As") << 2 << "Save Chart As…" << QKeySequence("Ctrl+Shift+C") << "Save Chart As"
                                   << QStringList{kSvg, kPng};
    QTest::newRow("Export As PDF") << 3 << "Export As PDF…" << QKeySequence("Ctrl+Shift+E") << "Export As PDF"
                                   << QStringList{kPdf};
    QTest::newRow("Save Workbook As") << 4 << "Save Workbook As…" << QKeySequence("Ctrl+Shift+S")
                                      << "Save Workbook As" << QStringList{kXlsx, kOds, kXls};
}

// Each entry in its place with its shortcut beside it, and the shortcut works
// anywhere in the window.
void TestPictureActions::entries()
{
    QFETCH(int, place);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, dialog);
    QFETCH(QStringList, filters);

    Preview p;
    QVERIFY(QTest::qWaitForWindowActive(&p.form));
    const QList<QAction *> actions = p.form.findChild<QMenu *>(QStringLiteral("PictureMenu"))->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions.at(place)->text(), text);
    QCOMPARE(actions.at(place)->shortcut(), shortcut);
    QVERIFY(actions.at(place)->isShortcutVisibleInContextMenu());

    QApplication::clipboard()->clear();
    if (!dialog.isEmpty())
        p.prompts.answerSaveFileAs(QString(), QString());
    QTest::keySequence(p.form.findChild<QWidget *>(QStringLiteral("PushButton1")), shortcut);
    QVERIFY(p.prompts.allAnswered());
    if (dialog.isEmpty()) {
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), sheetPicture());
        QCOMPARE(p.prompts.shown.size(), 0);
    } else {
        QCOMPARE(p.prompts.shown.size(), 1);
        QCOMPARE(p.prompts.shown.first().title, dialog);
        QCOMPARE(p.prompts.shown.first().filters, filters);
    }
}

void TestPictureActions::opening_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QPoint>("move");      // of the pointer while the button is held
    QTest::addColumn<QPoint>("moved");     // of the picture before the release
    QTest::addColumn<bool>("menu");

    QTest::newRow("right click with a tremble") << "right" << QPoint(2, -1) << QPoint(0, 0) << true;
    QTest::newRow("right drag pans") << "right" << QPoint(-40, -3) << QPoint(-40, -3) << false;
    QTest::newRow("left drag pans at once") << "left" << QPoint(-3, 0) << QPoint(-3, 0) << false;
    QTest::newRow("left click") << "left" << QPoint(0, 0) << QPoint(0, 0) << false;
    QTest::newRow("Menu key on a button") << "PushButton6" << QPoint() << QPoint() << true;
    QTest::newRow("Menu key on a bar") << "HScroll1" << QPoint() << QPoint() << true;
}

void TestPictureActions::opening()
{
    QFETCH(QString, how);
    QFETCH(QPoint, move);
    QFETCH(QPoint, moved);
    QFETCH(bool, menu);

    Preview p;
    // At 0.75 the picture overhangs the viewport both ways.
    p.form.findChild<QAbstractButton *>(QStringLiteral("PushButton1"))->click();
    QWidget *picture = p.picture();
    const QPoint before = picture->pos();
    QString opened;   // the first entry of the menu that opened
    const auto takeMenu = [&] {
        if (QMenu *shown = p.openMenu()) {
            opened = shown->actions().value(0)->text();
            shown->close();
        }
    };
    // A control's own menu would run modally: closed at once, the test goes on.
    QTimer closer;
    closer.setSingleShot(true);
    closer.callOnTimeout(takeMenu);
    closer.start(0);

    if (how == "right" || how == "left") {
        const Qt::MouseButton button = how == "right" ? Qt::RightButton : Qt::LeftButton;
        const QPointF grab(40, 40);
        SendMouse(picture, QEvent::MouseButtonPress, grab, button, button);
        SendMouse(picture, QEvent::MouseMove, grab + move, Qt::NoButton, button);
        QCOMPARE(picture->pos() - before, moved);
        SendMouse(picture, QEvent::MouseButtonRelease, grab + move - moved, button, Qt::NoButton);
    } else {
        QWidget *control = p.form.findChild<QWidget *>(how);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, {2, 2}, control->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(control, &event);
    }
    takeMenu();
    QCOMPARE(opened, menu ? QStringLiteral("Copy Picture") : QString());
    if (menu)
        QCOMPARE(picture->pos(), before);
}

// A long list's preview shows the top of its picture first. Copied and saved
// meanwhile, the picture waits for the whole, which comes where the user has
// scrolled to, still told as text.
void TestPictureActions::wholeAfterTop()
{
    QImage whole(600, 3000, QImage::Format_RGB32);
    whole.fill(Qt::white);
    QPainter(&whole).fillRect(0, 2500, 600, 500, Qt::darkGreen);
    Preview p;
    p.form.setPictureTop(whole.copy(0, 0, 600, 800), whole.size());
    auto *bar = p.form.findChild<QScrollBar *>(QStringLiteral("VScroll1"));
    QVERIFY(bar && bar->isEnabled());
    bar->setValue(bar->maximum() / 2);
    const QPoint scrolled = p.picture()->pos();
    QVERIFY(scrolled.y() < 0);

    QGuiApplication::clipboard()->clear();
    const QString saved = p.env.tempFolder() + QStringLiteral("/whole.png");
    p.prompts.answerSaveFileAs(saved, kPng);
    p.choose(QStringLiteral("Copy Picture"));
    p.choose(QStringLiteral("Save Picture As…"));
    QVERIFY(QGuiApplication::clipboard()->image().isNull());
    QVERIFY(!QFile::exists(saved));

    p.form.describeChart(QStringLiteral("My Assets"), QStringLiteral("My Assets. Savings: 25000, 100%."));
    p.form.completePicture(whole);
    QCOMPARE(p.picture()->pos(), scrolled);
    QCOMPARE(p.picture()->accessibleDescription(), QStringLiteral("My Assets. Savings: 25000, 100%."));
    QTRY_VERIFY(QFile::exists(saved));
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), whole);
    QCOMPARE(QImage(saved).convertToFormat(QImage::Format_RGB32), whole);
    QVERIFY(p.prompts.allAnswered());
}

void TestPictureActions::saveAs_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("format");   // what the file holds: a ResultFormat, or -1 the
                                       // workbook's bytes, -2 the picture as PNG

    const int xls = -1, picture = -2;
    QTest::newRow("picture: suffix added") << "Save Picture As…" << "sheet" << kPng << "sheet.png" << picture;
    QTest::newRow("chart: typed .svg under the PNG filter")
            << "Save Chart As…" << "chart.svg" << kPng << "chart.svg" << int(ResultFormat::ChartSvg);
    QTest::newRow("chart: typed .PNG kept as typed")
            << "Save Chart As…" << "chart.PNG" << kSvg << "chart.PNG" << int(ResultFormat::ChartPng);
    QTest::newRow("chart: no suffix takes the filter's")
            << "Save Chart As…" << "chart" << kSvg << "chart.svg" << int(ResultFormat::ChartSvg);
    QTest::newRow("chart: another suffix gets the filter's too")
            << "Save Chart As…" << "chart.jpg" << kPng << "chart.jpg.png" << int(ResultFormat::ChartPng);
    QTest::newRow("chart: a trailing dot takes the suffix alone")
            << "Save Chart As…" << "chart." << kSvg << "chart.svg" << int(ResultFormat::ChartSvg);
    QTest::newRow("pdf") << "Export As PDF…" << "assets" << kPdf << "assets.pdf" << int(ResultFormat::Pdf);
    QTest::newRow("workbook: .ods typed under the .xlsx filter")
            << "Save Workbook As…" << "book.ods" << kXlsx << "book.ods" << int(ResultFormat::Ods);
    QTest::newRow("workbook: .xlsx by its filter")
            << "Save Workbook As…" << "book" << kXlsx << "book.xlsx" << int(ResultFormat::Xlsx);
    QTest::newRow("workbook: .xls is a copy") << "Save Workbook As…" << "book" << kXls << "book.xls" << xls;
}

void TestPictureActions::saveAs()
{
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QFETCH(int, format);

    Preview p;
    const QString folder = p.env.tempFolder() + QStringLiteral("/out/");
    QDir().mkpath(folder);
    p.prompts.answerSaveFileAs(folder + typed, filter);
    p.choose(entry);
    QVERIFY(p.prompts.allAnswered());
    QCOMPARE(p.prompts.shown.size(), 1);   // no question, no "Done.", no failure
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{written});

    const QByteArray bytes = ReadFileBytes(folder + written);
    if (format == -2) {
        const QImage png = QImage::fromData(bytes, "PNG");
        QCOMPARE(png.convertToFormat(QImage::Format_RGB32), sheetPicture());
    } else {
        QCOMPARE(bytes, format == -1 ? kWorkbook : FakeConverter::bytesOf(ResultFormat(format)));
    }
    const bool converts = format >= 0;
    QCOMPARE(p.engine.converted, converts ? QStringList{p.workbook} : QStringList());
    for (const QString &made : p.engine.made)
        QVERIFY2(!QFile::exists(made), "the converter's file is left");
    QCOMPARE(ReadFileBytes(p.workbook), kWorkbook);
}

void TestPictureActions::overExistingFile_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("format");   // of the conversion; -1: none
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("said");   // in the one failure message; empty: none

    struct Type {
        const char *entry, *name;
        QString filter;
        int format;
    };
    const Type types[] = {
        {"Save Picture As…", "sheet.png", kPng, -1},
        {"Save Chart As…", "chart.svg", kSvg, int(ResultFormat::ChartSvg)},
        {"Save Chart As…", "chart.png", kPng, int(ResultFormat::ChartPng)},
        {"Export As PDF…", "sheet.pdf", kPdf, int(ResultFormat::Pdf)},
        {"Save Workbook As…", "book.xlsx", kXlsx, int(ResultFormat::Xlsx)},
        {"Save Workbook As…", "book.ods", kOds, int(ResultFormat::Ods)},
        {"Save Workbook As…", "book.xls", kXls, -1},
    };
    const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No);
    const QString fullDisk = QString::fromLocal8Bit(std::strerror(ENOSPC));
    for (const Type &t : types) {
        const auto row = [&](const char *what) {
            return &(QTest::addRow("%s %s", t.name, what) << QString::fromUtf8(t.entry)
                                                           << QString::fromLatin1(t.name) << t.filter << t.format);
        };
        *row("No keeps the old file") << "" << no << false << "";
        *row("Yes replaces it") << "" << yes << true << "";
        *row("a link stays a link to the new content") << "link" << yes << true << "";
        if (t.format >= 0)
            *row("a failing conversion keeps it") << "engine fails" << yes << false << "the engine said no";
        *row("a full disk keeps it") << "full disk" << yes << false << fullDisk;
    }
}

void TestPictureActions::overExistingFile()
{
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(int, format);
    QFETCH(QString, situation);
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    QFETCH(QString, said);

    Preview p;
    const QByteArray old(3000, 'o');
    QString folder = p.env.tempFolder();
    std::unique_ptr<SmallFileSystem> fs;
    if (situation == "full disk") {
        fs = std::make_unique<SmallFileSystem>(64 << 10);
        if (!fs->mounted())
            QSKIP(qPrintable(fs->why()));
        folder = fs->path();
    }
    const QString chosen = folder + QLatin1Char('/') + name;
    QString file = chosen;
    if (situation == "link") {
        file = p.env.tempFolder() + QStringLiteral("/kept/") + name;
        WriteFileBytes(file, old);
        QVERIFY(QFile::link(file, chosen));
    } else {
        WriteFileBytes(file, old);
    }
    if (fs)
        fs->fill();
    if (situation == "engine fails")
        p.engine.failure = QStringLiteral("the engine said no");

    p.prompts.answerSaveFileAs(chosen, filter);
    p.prompts.answerMessage(MsgAnswer(answer));
    p.choose(entry);
    QVERIFY(p.prompts.allAnswered());
    const auto &shown = p.prompts.shown;
    QCOMPARE(shown.at(1).buttons, MsgButtons::YesNo);
    QVERIFY2(shown.at(1).text.contains(chosen), qPrintable(shown.at(1).text));
    QCOMPARE(shown.size(), said.isEmpty() ? 2 : 3);
    if (!said.isEmpty()) {
        QVERIFY2(shown.at(2).text.contains(said) && shown.at(2).text.contains(chosen), qPrintable(shown.at(2).text));
        QCOMPARE(shown.at(2).icon, MsgIcon::Warning);
    }
    const QByteArray now = ReadFileBytes(file);
    if (!replaced)
        QCOMPARE(now, old);
    else if (format >= 0)
        QCOMPARE(now, FakeConverter::bytesOf(ResultFormat(format)));
    else if (name.endsWith(QLatin1String(".xls")))
        QCOMPARE(now, ReadFileBytes(p.workbook));
    else
        QCOMPARE(QImage::fromData(now, "PNG").size(), sheetPicture().size());
    QCOMPARE(QFileInfo(chosen).isSymLink(), situation == "link");
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);
}

void TestPictureActions::cancelledConversion_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("existing");
    QTest::newRow("Cancel, new file") << "Cancel" << false;
    QTest::newRow("Escape, over an existing file") << "Escape" << true;
    QTest::newRow("the session ends") << "session" << false;
}

// A slow conversion runs beside the window: the dialog comes after half a
// second, the window paints meanwhile, and a cancel ends the work at once
// and leaves the disk as it was.
void TestPictureActions::cancelledConversion()
{
    QFETCH(QString, how);
    QFETCH(bool, existing);
    Preview p;
    p.engine.slow = true;
    const QString folder = p.env.tempFolder() + QStringLiteral("/out/");
    QDir().mkpath(folder);
    if (existing)
        WriteFileBytes(folder + "sheet.pdf", "old");
    p.prompts.answerSaveFileAs(folder + "sheet.pdf", kPdf);
    if (existing)
        p.prompts.answerMessage(MsgAnswer::Yes);

    struct Paints : QObject {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } paints;
    p.form.installEventFilter(&paints);
    QElapsedTimer clock, sinceCancel;
    qint64 shownAt = -1;
    int paintsBefore = -1;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        p.form.update();
        const auto *dialog = p.form.findChild<QProgressDialog *>(QStringLiteral("ProgressDialog"));
        if (shownAt >= 0 || !dialog || !dialog->isVisible())
            return;
        shownAt = clock.elapsed();
        paintsBefore = paints.count;
        sinceCancel.start();
        if (how == "Escape")
            QTest::keyClick(const_cast<QProgressDialog *>(dialog), Qt::Key_Escape);
        else if (how == "Cancel")
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        else
            ProgressJob::cancelRunning();
    });
    poll.start(10);
    clock.start();
    p.choose(QStringLiteral("Export As PDF…"));
    const qint64 ended = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;

    QVERIFY2(shownAt >= 450, qPrintable(QString::number(shownAt)));
    QVERIFY2(paintsBefore > 0, "the window did not paint while the engine worked");
    QVERIFY2(ended < 1000, qPrintable(QString::number(ended)));
    QVERIFY(p.prompts.allAnswered());
    QCOMPARE(p.prompts.shown.size(), existing ? 2 : 1);   // no failure message
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), existing ? QStringList{"sheet.pdf"} : QStringList());
    if (existing)
        QCOMPARE(ReadFileBytes(folder + "sheet.pdf"), QByteArray("old"));
}

void TestPictureActions::plantedLink_data()
{
    QTest::addColumn<bool>("byRoot");        // who saves: root, or a user
    QTest::addColumn<bool>("othersLink");    // whose the link is: another user's, or the saver's
    QTest::addColumn<QString>("outcome");
    QTest::newRow("a user at another's link") << false << true << "refused";
    QTest::newRow("root at another's link") << true << true << "link replaced";
    QTest::newRow("a user at their own link") << false << false << "written through";
}

// In a sticky folder that everyone may write (/tmp), another user can plant a
// link at the name about to be chosen; followed, it would have the saver
// replace whatever file it leads to, with the saver's rights.
void TestPictureActions::plantedLink()
{
    QFETCH(bool, byRoot);
    QFETCH(bool, othersLink);
    QFETCH(QString, outcome);
    const UnprivilegedUser user;
    const UnprivilegedUser other("qt-other", true);
    if (!user.available() || !other.available())
        QSKIP(qPrintable(user.why() + other.why()));
    QTemporaryDir base;
    const QString shared = base.filePath("shared");
    const QString target = base.filePath("mine/precious.ods");
    const QString chosen = shared + "/chart.png";
    WriteFileBytes(target, "precious");
    QVERIFY(QDir().mkpath(shared) && QFile::link(target, chosen));
    QVERIFY(byRoot || user.give(base.filePath("mine")));
    const UnprivilegedUser &linker = othersLink ? other : user;
    QVERIFY(::lchown(QFile::encodeName(chosen).constData(), linker.uid(), linker.gid()) == 0);
    QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);

    QProcess child;
    if (byRoot)
        child.start(QStringLiteral(SAVING_CHILD), {chosen});
    else
        user.start(child, QStringLiteral(SAVING_CHILD), {chosen}, QProcessEnvironment::systemEnvironment());
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(said.startsWith(chosen + " already exists."), qPrintable(said));

    QCOMPARE(ReadFileBytes(target), outcome == "written through" ? "the new picture" : "precious");
    QCOMPARE(QFileInfo(chosen).isSymLink(), outcome != "link replaced");
    if (outcome == "link replaced")
        QCOMPARE(ReadFileBytes(chosen), "the new picture");
    if (outcome == "refused")
        QVERIFY2(said.contains(chosen + " could not be saved.") && said.contains(QString::fromLocal8Bit(std::strerror(EPERM))),
                 qPrintable(said));
}

QTEST_MAIN(TestPictureActions)
#include "tst_pictureactions.moc"
