#include "app/form1.h"

#include "chart/ownedworkbooks.h"
#include "chart/workbookrows.h"
#include "entries/chartsummary.h"
#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/listactions.h"
#include "entries/sampleentries.h"
#include "ground/applicationidentity.h"
#include "ground/failure.h"
#include "ground/guard.h"
#include "ground/prompts.h"
#include "ground/settingsstore.h"
#include "preview/form2.h"
#include "widgets/applyskin.h"
#include "widgets/centerform.h"
#include "widgets/formcolors.h"
#include "widgets/progressjob.h"
#include "widgets/pushbutton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScopedValueRollback>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QIcon>

using namespace Qt::StringLiterals;

namespace {
const QString kContactPage = u"https://www.marlowic.com/contact"_s;
} // namespace

Form1::Environment Form1::Environment::real()
{
    return {ProgramFolder(), ClockSeededDraw(), StartDetached, [] { QCoreApplication::exit(0); }};
}

Form1::Form1(Prompts &prompts, SpreadsheetServer &server, QWidget *parent)
    : Form1(prompts, server, Environment::real(), parent)
{
}

Form1::~Form1()
{
    // The list's rows go after this window's own part is gone: their removal
    // must not call back into it.
    QObject::disconnect(ListView1->model(), nullptr, this, nullptr);
}

Form1::Form1(Prompts &prompts, SpreadsheetServer &server, const Environment &environment,
             QWidget *parent)
    : QWidget(parent, Qt::Window)
    , mPrompts(prompts)
    , mServer(server)
    , mEnvironment(environment)
    , mChartCommand(prompts, server)
    , mMousePointer(this)
{
    const Environment real = Environment::real();
    if (mEnvironment.programFolder.isEmpty())
        mEnvironment.programFolder = real.programFolder;
    if (!mEnvironment.draw)
        mEnvironment.draw = real.draw;
    if (!mEnvironment.launch)
        mEnvironment.launch = real.launch;
    if (!mEnvironment.endProgram)
        mEnvironment.endProgram = real.endProgram;

    // A fixed single border: minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(TwipsToPixels(8040), TwipsToPixels(4800));
    SetBackColor(this, Qt::white);
    setMouseTracking(true);

    createControls();
    mListCommands = std::make_unique<ListCommands>(mPrompts, *ListView1);
    auto *listActions = new ListActions(mPrompts, *ListView1);   // owned by the list
    listActions->setWorkbookReader([this, &server, locale = QLocale()](const QString &path) {
        // The engine takes a while to open a workbook: the window goes on meanwhile.
        ProgressJob job(this, u"Reading %1…"_s.arg(QFileInfo(path).fileName()));
        return job.run<ReadTable>([&server, path, locale](std::stop_token stop) {
            return ReadWorkbookRows(server, path, locale, std::move(stop));
        });
    });
    // The engine takes seconds over a long list: the windows go on meanwhile.
    mChartCommand.setJobMaker([this] { return std::make_unique<ProgressJob>(this, u"Making the chart…"_s); });
    Form_Load();
    // Loading is no change; from here on each change is stored as it is
    // made, so that nothing typed is lost however the program ends.
    mEntries.storeEachChange(mPrompts);
}

// Created in tab order; the positions are the designed ones, in twips.
void Form1::createControls()
{
    ListView1 = new EntryListView(mEntries, this);
    ListView1->setGeometry(TwipsRect(120, 1140, 7800, 2535));
    QFont listFont(u"Arial"_s);
    listFont.setPointSizeF(9);
    listFont.setWeight(QFont::Bold);
    ListView1->setFont(listFont);
    // Some desktops give headers a font of their own; the column titles match the rows.
    ListView1->header()->setFont(listFont);
    // The list has no caption a screen reader could take its name from.
    ListView1->setAccessibleName(u"Entries"_s);
    // Only the editing commands change the list; keys only move through it.
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    PushButton1 = addButton(u"Start Creating Template"_s, 120, 120, 7800, 405);
    PushButton2 = addButton(u"Add New"_s, 120, 3780, 3840, 405);
    PushButton3 = addButton(u"Delete Selected Entry"_s, 4080, 3780, 3840, 405);
    PushButton4 = addButton(u"Edit Selected Entry"_s, 120, 4290, 3840, 405);
    PushButton5 = addButton(u"Clear List"_s, 4080, 4290, 3840, 405);
    PushButton6 = addButton(u"Help"_s, 120, 630, 3840, 405);
    PushButton7 = addButton(u"Load Sample/Example Data"_s, 4080, 630, 3840, 405);
    ListView1->setObjectName(u"ListView1"_s);
    const QList<PushButton *> buttons{PushButton1, PushButton2, PushButton3, PushButton4,
                                      PushButton5, PushButton6, PushButton7};
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setObjectName(u"PushButton%1"_s.arg(i + 1));

    setTabOrder(ListView1, PushButton1);
    setTabOrder(PushButton1, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, PushButton4);
    setTabOrder(PushButton4, PushButton5);
    setTabOrder(PushButton5, PushButton6);
    setTabOrder(PushButton6, PushButton7);

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
}

PushButton *Form1::addButton(const QString &caption, int left, int top, int width, int height)
{
    auto *button = new PushButton(caption, this);
    button->setGeometry(TwipsRect(left, top, width, height));
    connect(button, &PushButton::mouseMoved, this, [this] { mMousePointer.buttonHovered(); });
    return button;
}

void Form1::Form_Load()
{
    CenterForm(this);
    ApplySkin(this, SkinFramework1, mEnvironment.programFolder);
    setWindowTitle(kAppTitle);
    setWindowIcon(ProgramIcon());
    LoadHandCursor(mMousePointer, mEnvironment.programFolder);
    OpenWebPageAtRandom(mEnvironment.draw, mEnvironment.launch);

    mEntries.setHeaderLabels({u"Label"_s, u"Number (Value)"_s});
    ListView1->setColumnWidth(0, TwipsToPixels(5000));
    ListView1->setColumnWidth(1, TwipsToPixels(2000));

    mEntries.appendEntries(DecodeEntryList(ReadStoredList()));
}

// The stored list, or the sample when none can be read. A settings file that
// cannot be read is never stored over unseen: it is set aside first, and the user
// is told where.
QString Form1::ReadStoredList()
{
    const QString path = QDir::toNativeSeparators(SettingsFilePath(kSettingsApp));
    try {
        const QString copy = SetAsideUnreadableSettings(kSettingsApp);
        if (!copy.isEmpty()) {
            mPrompts.message(u"The settings file %1 could not be read as settings, so the sample list "
                             "is shown. The file as it was is kept in %2."_s
                                     .arg(path, QDir::toNativeSeparators(copy)),
                             MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
        }
    } catch (const std::exception &e) {
        mPrompts.message(u"The settings file %1 could not be read, so the sample list is shown. "
                         "The file is left as it is, and your list will not be stored over it.\r\n"_s
                                 .arg(path)
                                 + QString::fromUtf8(e.what()),
                         MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    }
    return GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, kDefaultAssetsText);
}

QString Form1::storeList()
{
    try {
        mEntries.store();
        return {};
    } catch (const std::exception &e) {
        return EntryListModel::notStoredText(e);
    }
}

void Form1::bringToFront()
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        window = mForm2 && mForm2->isVisible() ? static_cast<QWidget *>(mForm2.get()) : this;
    // Only a window the program shows itself: the main window stays hidden
    // while the preview is up.
    if (!window->isVisible())
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

void Form1::Form_QueryUnload()
{
    // Closing cannot be refused, but the user must know the list was not kept.
    if (const QString failure = storeList(); !failure.isEmpty())
        mPrompts.message(failure, MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
}

void Form1::Form_Unload()
{
    // Ends at once: the preview window goes too, without its closing handler.
    // The workbook it holds would be left in the temporary folder for good, so
    // it goes with it.
    if (mForm2)
        OwnedWorkbooks::remove(mForm2->mExcelFile);
    mEnvironment.endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    // Form_MouseMove: the window's own surface.
    mMousePointer.surfaceHovered();
    QWidget::mouseMoveEvent(event);
}

void Form1::PushButton1_Click()
{
    // A long list's preview shows while the rest of its picture is drawn, and
    // "< Back" leads here meanwhile: one chart at a time.
    if (mChartRunning)
        return;
    const QScopedValueRollback running(mChartRunning, true);
    mChartCommand.run(*this);
}

void Form1::PushButton2_Click()
{
    mListCommands->addNew();
}

void Form1::PushButton3_Click()
{
    mListCommands->deleteSelected();
}

void Form1::PushButton4_Click()
{
    mListCommands->editSelected();
}

void Form1::PushButton5_Click()
{
    mListCommands->clear();
}

void Form1::PushButton6_Click()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton6_Click "_s);
    g.run(100, [&] {
        mPrompts.message(u"Questions? Please contact Team Marlowic at "_s + kContactPage,
                         MsgButtons::Ok, MsgIcon::None, kAppTitle);
    });
}

void Form1::PushButton7_Click()
{
    mListCommands->loadSample();
}

int Form1::entryCount()
{
    return mEntries.rowCount();
}

Entry Form1::entryAt(int position)
{
    return mEntries.entryAt(position);
}

void Form1::storeEntries()
{
    mEntries.store();
}

void Form1::setMousePointer(qint16 value)
{
    mMousePointer.setValue(value);
}

Form2 &Form1::preview()
{
    if (!mForm2) {
        // A window of its own, not a child: the preview has no owner window.
        mForm2 = std::make_unique<Form2>(mPrompts, mServer, this);
        mForm2->setEndProgram(mEnvironment.endProgram);
    }
    return *mForm2;
}

void Form1::setPreviewPicture(const QImage &picture)
{
    preview().setPicture(picture);
    describeChart(picture);
}

void Form1::setPreviewPictureTop(const QImage &top, QSize whole)
{
    preview().setPictureTop(top, whole);
    describeChart(top);
}

void Form1::completePreviewPicture(const QImage &whole)
{
    preview().completePicture(whole);
}

// What the picture shows, told from the rows it was made of (the list does
// not change while the chart is made).
void Form1::describeChart(const QImage &picture)
{
    if (!picture.isNull())
        preview().describeChart(kChartTitle, ChartSummary(kChartTitle, ChartSlices(mEntries.entries())));
}

void Form1::withdrawPreview()
{
    show();
    preview().hide();
    preview().setPicture(QImage());
}

void Form1::setPreviewWorkbook(const QString &path)
{
    preview().mExcelFile = path;
}

void Form1::showPreview()
{
    preview().show();
}

void Form1::hideMainWindow()
{
    hide();
}
