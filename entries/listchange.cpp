#include "entries/listchange.h"

namespace {

// Rows added at row; undone, they go again.
class InsertedRows : public QUndoCommand
{
public:
    InsertedRows(EntryListModel &model, int row, const EntryList &rows, QUndoCommand *parent)
        : QUndoCommand(parent), mModel(model), mRow(row), mRows(rows) {}
    void undo() override { mModel.removeEntries(mRow, int(mRows.size())); }
    void redo() override { mModel.insertEntries(mRow, mRows); }

private:
    EntryListModel &mModel;
    int mRow;
    EntryList mRows;
};

// Rows taken out at row; undone, they come back in their place.
class RemovedRows : public QUndoCommand
{
public:
    RemovedRows(EntryListModel &model, int row, const EntryList &rows, QUndoCommand *parent)
        : QUndoCommand(parent), mModel(model), mRow(row), mRows(rows) {}
    void undo() override { mModel.insertEntries(mRow, mRows); }
    void redo() override { mModel.removeEntries(mRow, int(mRows.size())); }

private:
    EntryListModel &mModel;
    int mRow;
    EntryList mRows;
};

class EditedRow : public QUndoCommand
{
public:
    EditedRow(EntryListModel &model, int row, const Entry &before, const Entry &after, QUndoCommand *parent)
        : QUndoCommand(parent), mModel(model), mRow(row), mBefore(before), mAfter(after) {}
    void undo() override { mModel.replaceEntry(mRow, mBefore); }
    void redo() override { mModel.replaceEntry(mRow, mAfter); }

private:
    EntryListModel &mModel;
    int mRow;
    Entry mBefore;
    Entry mAfter;
};

class ReplacedList : public QUndoCommand
{
public:
    ReplacedList(EntryListModel &model, const EntryList &before, const EntryList &after, QUndoCommand *parent)
        : QUndoCommand(parent), mModel(model), mBefore(before), mAfter(after) {}
    void undo() override { mModel.resetEntries(mBefore); }
    void redo() override { mModel.resetEntries(mAfter); }
    const EntryList &before() const { return mBefore; }

private:
    EntryListModel &mModel;
    EntryList mBefore;
    EntryList mAfter;
};

} // namespace

ListChange::ListChange(EntryListModel &model, const QString &name, int currentBefore)
    : QUndoCommand(name)
    , mModel(model)
    , mCurrentBefore(currentBefore)
{
}

void ListChange::undo()
{
    QUndoCommand::undo();
    emit mModel.currentRowRestored(mCurrentBefore);
}

void ListChange::redo()
{
    if (mDone) {
        mDone = false;
        return;
    }
    QUndoCommand::redo();
    emit mModel.currentRowRestored(mCurrentAfter);
}

void ListChange::rowsInserted(int row, const EntryList &rows)
{
    new InsertedRows(mModel, row, rows, this);
}

void ListChange::rowsRemoved(int row, const EntryList &rows)
{
    new RemovedRows(mModel, row, rows, this);
}

void ListChange::rowEdited(int row, const Entry &before, const Entry &after)
{
    new EditedRow(mModel, row, before, after, this);
}

void ListChange::listReplaced(const EntryList &before, const EntryList &after)
{
    auto *replaced = new ReplacedList(mModel, before, after, this);
    if (childCount() == 1)
        mListBefore = &replaced->before();
}

bool ListChange::changedAnyRow() const
{
    // Each part but a replacement changes a row, and no command takes back
    // what it did itself; after a replacement, the whole list tells.
    if (mListBefore)
        return mModel.entries() != *mListBefore;
    return childCount() > 0;
}
