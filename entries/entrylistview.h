#pragma once

#include "entries/layer.h"

#include <QTreeView>

class EntryListModel;

// ListView1: the list in report mode, a view of the entries' model. The
// user's selection is its own: the editing commands work on the selected row.
class EntryListView : public QTreeView
{
    Q_OBJECT

public:
    explicit EntryListView(EntryListModel &entries, QWidget *parent = nullptr);

    EntryListModel &entryModel() const { return mEntries; }

    // The selected row, counted from 0; throws Failure when none is selected.
    int selectedRow() const;
    // The row the keyboard is on, -1 when none; setting -1 leaves none selected.
    int currentRow() const;
    void setCurrentRow(int row);

private:
    EntryListModel &mEntries;
};
