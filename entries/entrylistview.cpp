#include "entries/entrylistview.h"

#include "entries/entrylistmodel.h"
#include "ground/failure.h"

#include <QHeaderView>

EntryListView::EntryListView(EntryListModel &entries, QWidget *parent)
    : QTreeView(parent)
    , mEntries(entries)
{
    setModel(&entries);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    // Every row has one line of text; knowing that keeps tens of thousands of rows cheap.
    setUniformRowHeights(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    // Moving over the list changes no pointer: without this, Qt would hand
    // the untracked movement on to the window's own surface.
    setAttribute(Qt::WA_NoMousePropagation);
    connect(&entries, &EntryListModel::currentRowRestored, this, &EntryListView::setCurrentRow);
}

int EntryListView::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty())
        throw Failure(QStringLiteral("Object variable not set: no row is selected."));
    return selected.constFirst().row();
}

int EntryListView::currentRow() const
{
    return currentIndex().row();
}

void EntryListView::setCurrentRow(int row)
{
    if (row >= 0 && row < mEntries.rowCount()) {
        setCurrentIndex(mEntries.index(row, 0));
        return;
    }
    selectionModel()->clear();
}
