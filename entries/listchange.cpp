#include "entries/listchange.h"

#include "entries/entrylistview.h"

ListChange::ListChange(EntryListView &list, const QString &name, ListState before, ListState after)
    : QUndoCommand(name)
    , mList(list)
    , mBefore(std::move(before))
    , mAfter(std::move(after))
{
}

void ListChange::undo()
{
    mList.replaceEntries(mBefore.rows, mBefore.current);
}

void ListChange::redo()
{
    if (mDone) {
        mDone = false;
        return;
    }
    mList.replaceEntries(mAfter.rows, mAfter.current);
}

ListState CurrentListState(const EntryListView &list)
{
    return {list.entries(), list.indexOfTopLevelItem(list.currentItem())};
}
