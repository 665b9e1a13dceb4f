#pragma once

#include "app/layer.h"

#include "chart/chartcommand.h"
#include "chart/charthost.h"
#include "entries/entrylistmodel.h"
#include "entries/listcommands.h"
#include "ground/mainroutines.h"
#include "widgets/mousepointer.h"
#include "widgets/skinframework.h"

class Form2;

#include <QWidget>

#include <functional>
#include <memory>

class EntryListView;
class Prompts;
class PushButton;
class SpreadsheetServer;

// The main window: the list of entries, its editing commands, "Help" and
// "Start Creating Template". Closing it stores the list and ends the program.
class Form1 : public QWidget, public ChartHost
{
    Q_OBJECT

public:
    // What start-up takes from outside the window; tests put their own in.
    // Whatever is left empty is taken from real().
    struct Environment {
        QString programFolder;          // where "x/o.cjs" and "HAND-M.CUR" are looked for
        RandomDraw draw;                // for OpenWebPageAtRandom
        DetachedLauncher launch;        // for OpenWebPageAtRandom
        std::function<void()> endProgram;

        static Environment real();
    };

    Form1(Prompts &prompts, SpreadsheetServer &server, QWidget *parent = nullptr);
    Form1(Prompts &prompts, SpreadsheetServer &server, const Environment &environment,
          QWidget *parent = nullptr);

    ~Form1() override;

    MousePointer &mousePointer() { return mMousePointer; }
    // The preview window, when a chart has made it.
    Form2 *previewWindow() const { return mForm2.get(); }

    // Stores the list as closing does, without closing and without a word.
    // Answers why the list could not be stored, as the user is to be told, or
    // nothing.
    QString storeList();
    // Brings the window the user works in to the front: an open dialog, else
    // the preview when it shows, else this window.
    void bringToFront();

    // ChartHost
    int entryCount() override;
    Entry entryAt(int position) override;
    void storeEntries() override;
    void setMousePointer(qint16 value) override;
    void setPreviewPicture(const QImage &picture) override;
    void setPreviewWorkbook(const QString &path) override;
    void showPreview() override;
    bool showsPictureTop() const override { return true; }
    void setPreviewPictureTop(const QImage &top, QSize whole) override;
    void completePreviewPicture(const QImage &whole) override;
    void withdrawPreview() override;
    void hideMainWindow() override;

    EntryListView *ListView1;
    PushButton *PushButton1;   // "Start Creating Template"
    PushButton *PushButton2;   // "Add New"
    PushButton *PushButton3;   // "Delete Selected Entry"
    PushButton *PushButton4;   // "Edit Selected Entry"
    PushButton *PushButton5;   // "Clear List"
    PushButton *PushButton6;   // "Help"
    PushButton *PushButton7;   // "Load Sample/Example Data"
    SkinFramework SkinFramework1;

public slots:
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void describeChart(const QImage &picture);
    PushButton *addButton(const QString &caption, int left, int top, int width, int height);
    void createControls();
    void Form_Load();
    QString ReadStoredList();
    void Form_QueryUnload();
    void Form_Unload();

    Prompts &mPrompts;
    // The preview's conversions run on it as well.
    SpreadsheetServer &mServer;
    Environment mEnvironment;
    // The list itself; ListView1 shows it.
    EntryListModel mEntries;
    ChartCommand mChartCommand;
    bool mChartRunning = false;
    MousePointer mMousePointer;
    std::unique_ptr<ListCommands> mListCommands;
    // The preview window; made at the first hand-over, hidden and reused after "< Back".
    Form2 &preview();
    std::unique_ptr<Form2> mForm2;
};
