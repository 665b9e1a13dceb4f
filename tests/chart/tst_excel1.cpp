// The automation procedures' own decisions, on a fake engine, and the pure
// helpers of the adapter.

#include "isolatedenvironment.h"
#include "scriptedprompts.h"

#include "chart/excel1.h"
#include "libreoffice/libreofficeserver.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTest>

namespace {

enum class Running { None, Ours, OtherProduct, Unreachable };

class FakeSheet : public Worksheet
{
public:
    QString name() override { return QStringLiteral("Assets"); }
    void setCellText(int, int, const QString &) override {}
    void setCellValue(int, int, const QString &) override {}
    void setCellNumberFormat(int, int, const QString &) override {}
    QVariant cellValue(int, int) override { return {}; }
    QString cellNumberFormat(int, int) override { return {}; }
    void extendChartsTo(int) override {}
    void drawChartsFlat(int) override {}
    QImage usedRangePictureDroppingDrawings(const PictureFirstView &) override { return usedRangePicture(); }
    QImage usedRangePicture() override
    {
        if (failPicture)
            throw SpreadsheetError(QStringLiteral("no picture"));
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        return image;
    }
    bool failPicture = false;
};

class FakeBook : public Workbook
{
public:
    std::shared_ptr<Worksheet> activeSheet() override { return sheet; }
    void saveAs(const QString &) override {}
    void close() override {}
    std::shared_ptr<FakeSheet> sheet = std::make_shared<FakeSheet>();
};

class FakeApplication : public Application, public Workbooks
{
public:
    FakeApplication(QString product, bool unreachable, int *alive)
        : mProduct(std::move(product)), mUnreachable(unreachable), mAlive(alive) { ++*mAlive; }
    ~FakeApplication() override { --*mAlive; }

    QString defaultValue() override
    {
        if (mUnreachable)
            throw SpreadsheetError(QStringLiteral("unreachable"));
        return mProduct;
    }
    Workbooks &workbooks() override { return *this; }
    void setDisplayAlerts(bool) override {}
    void quit() override {}

    std::shared_ptr<Workbook> open(const QString &path) override
    {
        if (!QFileInfo::exists(path))
            throw SpreadsheetError(QStringLiteral("Cannot open ") + path);
        opened.append(path);
        return std::make_shared<FakeBook>();
    }
    int count() override { return int(opened.size()); }
    std::shared_ptr<Workbook> item(int) override { return std::make_shared<FakeBook>(); }

    QStringList opened;

private:
    QString mProduct;
    bool mUnreachable;
    int *mAlive;
};

class FakeServer : public SpreadsheetServer
{
public:
    std::unique_ptr<Application> create() override
    {
        return std::make_unique<FakeApplication>(QStringLiteral("LibreOffice"), false, &alive);
    }
    std::unique_ptr<Application> getRunning() override
    {
        switch (running) {
        case Running::None:
            throw SpreadsheetError(QStringLiteral("none running"));
        case Running::Ours:
            return std::make_unique<FakeApplication>(QStringLiteral("LibreOffice"), false, &alive);
        case Running::OtherProduct:
            return std::make_unique<FakeApplication>(QStringLiteral("OpenOffice"), false, &alive);
        case Running::Unreachable:
            return std::make_unique<FakeApplication>(QStringLiteral("LibreOffice"), true, &alive);
        }
        return nullptr;
    }
    QString expectedProductName() const override { return QStringLiteral("LibreOffice"); }

    Running running = Running::None;
    int alive = 0;   // fake instances not yet released
};

} // namespace

Q_DECLARE_METATYPE(Running)
Q_DECLARE_METATYPE(MsgAnswer)

class TestExcel1 : public QObject
{
    Q_OBJECT

private slots:
    void warnIfExcelRunning_data();
    void warnIfExcelRunning();
    void openFailureEndsTheNewInstance();
    void pictureFileAndClipboard();
    void pictureFailurePassesOn();
};

void TestExcel1::warnIfExcelRunning_data()
{
    QTest::addColumn<Running>("running");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("stop");

    QTest::newRow("none running") << Running::None << false << MsgAnswer::Ok << false;
    QTest::newRow("running, Yes") << Running::Ours << true << MsgAnswer::Yes << false;
    QTest::newRow("running, No") << Running::Ours << true << MsgAnswer::No << true;
    QTest::newRow("running, box closed") << Running::Ours << true << MsgAnswer::Closed << true;
    QTest::newRow("another product") << Running::OtherProduct << false << MsgAnswer::Ok << false;
    QTest::newRow("running but unreachable") << Running::Unreachable << false << MsgAnswer::Ok << false;
}

void TestExcel1::warnIfExcelRunning()
{
    QFETCH(Running, running);
    QFETCH(bool, asks);
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, stop);

    FakeServer server;
    server.running = running;
    ScriptedPrompts prompts;
    if (asks)
        prompts.answerMessage(answer);

    QCOMPARE(WarnIfExcelRunning(server, prompts), stop);
    QCOMPARE(server.alive, 0);
    QCOMPARE(prompts.shown.size(), asks ? 1 : 0);
    if (asks) {
        const auto &box = prompts.shown.first();
        QCOMPARE(box.text, QStringLiteral("Excel may be open. It is recommended that you close Excel first.\r"
                                          "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
                                          "Would you like to proceed anyway?"));
        QCOMPARE(box.buttons, MsgButtons::YesNo);
        QCOMPARE(box.icon, MsgIcon::None);
        QCOMPARE(box.title, QStringLiteral("Quintarra"));
    }
}

void TestExcel1::openFailureEndsTheNewInstance()
{
    IsolatedEnvironment environment;
    FakeServer server;
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError,
                             OpenWorkbookInNewExcel(server, environment.tempFolder() + QStringLiteral("/none.xls")));
    // Nobody could quit an instance the caller never received.
    QCOMPARE(server.alive, 0);

    const QString path = environment.tempFolder() + QStringLiteral("/book.xls");
    QFile(path).open(QIODevice::WriteOnly);
    auto application = OpenWorkbookInNewExcel(server, path);
    QCOMPARE(application->workbooks().count(), 1);
    QCOMPARE(static_cast<FakeApplication &>(*application).opened, QStringList{path});
}

void TestExcel1::pictureFileAndClipboard()
{
    IsolatedEnvironment environment;
    const QString path = environment.tempFolder() + QStringLiteral("/temp.bmp");
    // Something planted at the final name must be replaced, not written through.
    const QString elsewhere = environment.tempFolder() + QStringLiteral("/elsewhere");
    QFile(elsewhere).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(elsewhere, path));

    QGuiApplication::clipboard()->setText(QStringLiteral("what the user copied"));
    FakeBook book;
    SaveUsedRangePicture(book, path);

    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(QFileInfo(elsewhere).size(), 0);
    QCOMPARE(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    const QImage written(path);
    QCOMPARE(written.size(), QSize(40, 20));
    QCOMPARE(written.pixelColor(5, 5), QColor(Qt::darkGreen));
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(40, 20));
}

void TestExcel1::pictureFailurePassesOn()
{
    IsolatedEnvironment environment;
    const QString path = environment.tempFolder() + QStringLiteral("/temp.bmp");
    FakeBook book;
    book.sheet->failPicture = true;
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, SaveUsedRangePicture(book, path));
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_MAIN(TestExcel1)
#include "tst_excel1.moc"
