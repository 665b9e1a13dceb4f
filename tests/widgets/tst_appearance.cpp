#include "ground/mainroutines.h"
#include "scriptedprompts.h"
#include "testfiles.h"
#include "widgets/applyskin.h"
#include "widgets/formcolors.h"
#include "widgets/mousepointer.h"
#include "widgets/skinframework.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Records every call the window makes on its skin component.
class RecordingSkin : public SkinComponent
{
public:
    QVariant invoke(int id, const QVariantList &arguments) override
    {
        calls << QStringLiteral("invoke %1").arg(id);
        this->arguments << QVariant(arguments);
        if (id == 2)
            faceAtLoad = window->palette().color(QPalette::Window);
        return false;   // rejects the skin: nothing else may depend on that
    }
    QVariant property(int id) const override
    {
        calls << QStringLiteral("get %1").arg(id);
        return id == 1 ? QVariant(qint32(0x40)) : QVariant();
    }
    void setProperty(int id, const QVariant &value) override
    {
        calls << QStringLiteral("put %1").arg(id);
        arguments << value;
    }

    QWidget *window = nullptr;
    mutable QStringList calls;
    QVariantList arguments;
    QColor faceAtLoad;
};

struct WhiteWindow : QWidget {
    WhiteWindow()
    {
        SetBackColor(this, Qt::white);
        new QPushButton(QStringLiteral("Go"), this);
        picture = new QLabel(this);
    }
    QLabel *picture;
};
} // namespace

class TestAppearance : public QObject
{
    Q_OBJECT

private slots:
    void skinCallsInOrder();
    void noSkinWithoutOrdinaryFile_data();
    void noSkinWithoutOrdinaryFile();
    void skinFrameworkAppliesSheet();
    void handCursorFile();
    void cursorFilesThatAreNotCursors_data();
    void cursorFilesThatAreNotCursors();
    void webPageAtRandom_data();
    void webPageAtRandom();
    void webPageLaunchFailureIsIgnored();
};

void TestAppearance::skinCallsInOrder()
{
    QTemporaryDir folder;
    WriteFileBytes(folder.filePath("x/o.cjs"), "QPushButton { color: red; }");
    WhiteWindow window;
    QVERIFY(ButtonFaceColor() != QColor(Qt::white));
    RecordingSkin skin;
    skin.window = &window;
    ApplySkin(&window, skin, folder.path());

    QCOMPARE(skin.calls, (QStringList{"invoke 2", "get 1", "put 1", "put 5", "put 10", "invoke 3"}));
    QCOMPARE(skin.faceAtLoad, ButtonFaceColor());
    QCOMPARE(skin.arguments[0].toList(), (QVariantList{folder.path() + "/x/o.cjs", QString()}));
    QCOMPARE(skin.arguments[1].typeId(), QMetaType::Int);
    QCOMPARE(skin.arguments[1].toInt(), 0x41);
    QCOMPARE(skin.arguments[2], QVariant(true));
    QCOMPARE(skin.arguments[3], QVariant(true));
    QCOMPARE(skin.arguments[4].toList().value(0).value<WId>(), window.winId());
    QCOMPARE(window.palette().color(QPalette::Window), ButtonFaceColor());
    QCOMPARE(window.picture->palette().color(QPalette::Window), ButtonFaceColor());
}

void TestAppearance::noSkinWithoutOrdinaryFile_data()
{
    QTest::addColumn<bool>("folderNamedLikeSkin");
    QTest::newRow("no skin file") << false;
    QTest::newRow("folder named o.cjs") << true;
}

void TestAppearance::noSkinWithoutOrdinaryFile()
{
    QFETCH(bool, folderNamedLikeSkin);
    QTemporaryDir folder;
    if (folderNamedLikeSkin)
        QVERIFY(QDir(folder.path()).mkpath("x/o.cjs"));
    WhiteWindow window;
    RecordingSkin skin;
    skin.window = &window;
    ApplySkin(&window, skin, folder.path());
    QVERIFY(skin.calls.isEmpty());
    QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));
}

void TestAppearance::skinFrameworkAppliesSheet()
{
    QTemporaryDir folder;
    const QByteArray sheet = "QWidget { background-image: url(back.png); }\n"
                             "QPushButton { border-image: url(':/icons/b.png'); image: url(\"/abs/c.png\"); }\n";
    WriteFileBytes(folder.filePath("x/o.cjs"), sheet);
    QImage back(4, 4, QImage::Format_RGB32);
    back.fill(Qt::gray);
    QVERIFY(back.save(folder.filePath("x/back.png")));
    WhiteWindow window;
    SkinFramework skin;
    ApplySkin(&window, skin, folder.path());

    QCOMPARE(skin.styleSheet(), QString::fromUtf8(sheet));
    QCOMPARE(window.styleSheet(),
             QStringLiteral("QWidget { background-image: url(\"%1/x/back.png\"); }\n"
                            "QPushButton { border-image: url(':/icons/b.png'); image: url(\"/abs/c.png\"); }\n")
                     .arg(folder.path()));
    // The sheet's own style wraps the one the skin chose for the window.
    QVERIFY(window.findChild<QStyle *>());
    QCOMPARE(window.findChild<QStyle *>()->name(), QStringLiteral("fusion"));
    QCOMPARE(skin.property(SkinFramework::Options).toInt(), int(SkinFramework::ResolveUrls));
}

void TestAppearance::handCursorFile()
{
    const auto cursor = LoadCursorFile(QStringLiteral(QUINTARRA_RESOURCES "/HAND-M.CUR"));
    QVERIFY(cursor.has_value());
    QCOMPARE(cursor->hotSpot(), QPoint(7, 1));
    const QImage image = cursor->pixmap().toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    // The hotspot is the fingertip's outline; the corners are see-through.
    QCOMPARE(image.pixelColor(7, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(31, 31).alpha(), 0);
    QCOMPARE(image.pixelColor(8, 3), QColor(Qt::white));
}

void TestAppearance::cursorFilesThatAreNotCursors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a cursor at all, just some text");
    QTest::newRow("icon header, truncated") << QByteArray("\0\0\2\0\1\0 \0\0\0\7\0\1\0", 14);
}

void TestAppearance::cursorFilesThatAreNotCursors()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    WriteFileBytes(folder.filePath("HAND-M.CUR"), bytes);
    QVERIFY(!LoadCursorFile(folder.filePath("HAND-M.CUR")).has_value());
    QWidget window;
    MousePointer pointer(&window);
    LoadHandCursor(pointer, folder.path());
    QVERIFY(!pointer.hasMouseIcon());
    pointer.buttonHovered();
    QCOMPARE(pointer.value(), 99);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

void TestAppearance::webPageAtRandom_data()
{
    QTest::addColumn<double>("draw");
    QTest::addColumn<bool>("opens");
    QTest::newRow("n = 1") << 0.0 << false;
    QTest::newRow("n = 6") << 0.0599 << false;
    QTest::newRow("n = 7, low end") << 0.06 << true;
    QTest::newRow("n = 7, high end") << 0.0699 << true;
    QTest::newRow("n = 8") << 0.07 << false;
    QTest::newRow("n = 100") << 0.9999 << false;
}

void TestAppearance::webPageAtRandom()
{
    QFETCH(double, draw);
    QFETCH(bool, opens);
    QStringList started;
    OpenWebPageAtRandom([draw] { return draw; }, [&](const QString &program, const QStringList &args) {
        started << program << args;
        return true;
    });
    const QStringList expected = opens ? QStringList{"xdg-open", "https://www.marlowic.com/"} : QStringList();
    QCOMPARE(started, expected);
}

void TestAppearance::webPageLaunchFailureIsIgnored()
{
    OpenWebPageAtRandom([] { return 0.065; }, [](const QString &, const QStringList &) { return false; });
    OpenWebPageAtRandom([] { return 0.065; }, [](const QString &, const QStringList &) -> bool {
        throw std::runtime_error("no opener");
    });
    const RandomDraw draw = ClockSeededDraw();
    for (int i = 0; i < 1000; ++i) {
        const double r = draw();
        QVERIFY(r >= 0.0 && r < 1.0);
    }
}

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
