#pragma once

#include "entries/layer.h"

#include "entries/incomingrows.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class EntryListView;
class Prompts;
class QAction;

// What the list offers beside the buttons: undo and redo, pasting rows from
// the clipboard, importing a file's rows (chosen, or dropped on the list) and
// exporting the list as CSV. Each is in the list's context menu, which the
// right button or the Menu key opens, and on its shortcut, which works
// anywhere in the window. Pasted and imported rows are appended as "Add New"
// appends, after the same checks, as one step to undo.
class ListActions : public QObject
{
    Q_OBJECT

public:
    // Lives as long as the list; the prompts must outlive it.
    ListActions(Prompts &prompts, EntryListView &list);

    QAction *undoAction() const { return mUndo; }
    QAction *redoAction() const { return mRedo; }
    QAction *pasteAction() const { return mPaste; }
    QAction *importAction() const { return mImport; }
    QAction *exportAction() const { return mExport; }

    void pasteRows();
    void importRows();                       // asks for the file
    // False when the user cancelled the import.
    bool importFile(const QString &path);
    void exportList();

    // Reads a workbook's rows (.xls, .xlsx, .ods); throws what it cannot read,
    // or JobCancelled when the user stopped it, which ends the import quietly.
    // Without one, only text files are imported.
    using WorkbookReader = std::function<ReadTable(const QString &path)>;
    void setWorkbookReader(WorkbookReader reader) { mReadWorkbook = std::move(reader); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addAction(const QString &text, const QList<QKeySequence> &shortcuts);
    ReadTable readFile(const QString &path);
    void addRows(const ReadTable &table, const QString &change);

    Prompts &mPrompts;
    EntryListView &mList;
    QAction *mUndo;
    QAction *mRedo;
    QAction *mPaste;
    QAction *mImport;
    QAction *mExport;
    WorkbookReader mReadWorkbook;
};
