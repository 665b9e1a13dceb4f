#pragma once

#include "entries/layer.h"

#include "entries/entry.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"

#include <QScopeGuard>
#include <QUndoCommand>
#include <QUndoStack>

#include <utility>

// One change of the list as one step to undo, named by what made it. It keeps
// only what changed: the rows added or removed, a row before and after an
// edit; the whole list only when the list was replaced (cleared, the sample
// loaded). Its parts are its child commands, which Qt undoes last first.
class ListChange : public QUndoCommand
{
public:
    ListChange(EntryListModel &model, const QString &name, int currentBefore);

    void undo() override;
    void redo() override;

    // What the model records while the change is being made.
    void rowsInserted(int row, const EntryList &rows);
    void rowsRemoved(int row, const EntryList &rows);
    void rowEdited(int row, const Entry &before, const Entry &after);
    void listReplaced(const EntryList &before, const EntryList &after);

    // Whether the rows differ from those before the change.
    bool changedAnyRow() const;
    void setCurrentAfter(int row) { mCurrentAfter = row; }

private:
    EntryListModel &mModel;
    int mCurrentBefore;
    int mCurrentAfter = -1;
    // The whole list before the change, when the change began by replacing
    // it: a change that puts back the same rows (the sample loaded over
    // itself) is none.
    const EntryList *mListBefore = nullptr;
    bool mDone = true;   // made before it was pushed: the first redo has nothing to do
};

// Makes a change to the list through the model's steps and puts it on the
// model's undo stack under name, when it changed any row. The list view's
// current row is brought back with it. The steps change the list as they go,
// each a numbered statement that may fail on its own; what they did is what
// the change keeps.
template<typename F>
void RecordListChange(EntryListView &view, const QString &name, F &&steps)
{
    EntryListModel &model = view.entryModel();
    model.beginChange(new ListChange(model, name, view.currentRow()));
    const auto end = qScopeGuard([&] { model.endChange(view.currentRow()); });
    std::forward<F>(steps)();
}
