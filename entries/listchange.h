#pragma once

#include "entries/layer.h"

#include "entries/entry.h"
#include "entries/entrylistview.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <utility>

// The rows as the user sees them, and the row the keyboard is on (-1: none).
struct ListState {
    EntryList rows;
    int current = -1;
};

// One change of the list, kept whole: the rows before it and after it. The
// rows share their text with the list, so keeping them costs little, and an
// undo brings back every row as it was, in order.
class ListChange : public QUndoCommand
{
public:
    ListChange(EntryListView &list, const QString &name, ListState before, ListState after);

    void undo() override;
    void redo() override;

private:
    EntryListView &mList;
    ListState mBefore;
    ListState mAfter;
    bool mDone = true;   // made before it was pushed: the first redo has nothing to do
};

ListState CurrentListState(const EntryListView &list);

// Makes a change to the list and puts it on the list's undo stack under name,
// when it changed any row.
template<typename F>
void RecordListChange(EntryListView &list, const QString &name, F &&change)
{
    ListState before = CurrentListState(list);
    std::forward<F>(change)();
    ListState after = CurrentListState(list);
    if (after.rows != before.rows)
        list.undoStack()->push(new ListChange(list, name, std::move(before), std::move(after)));
}
