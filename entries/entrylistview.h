#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QTreeWidget>

class QUndoStack;

// ListView1: the list in report mode, the only copy of the entries while the
// program runs. Column 0 holds the label, column 1 the amount; rows stay in
// the order they were added. Positions count from 1.
class EntryListView : public QTreeWidget
{
    Q_OBJECT

public:
    explicit EntryListView(QWidget *parent = nullptr);

    int rowCount() const { return topLevelItemCount(); }
    Entry entryAt(int position) const;   // throws Failure when there is no such row
    EntryList entries() const;

    // Adds the rows at the end in one go, so that a long stored list loads quickly.
    void appendEntries(const EntryList &entries);
    // Puts these rows in place of all rows, with the keyboard on the row at
    // index current (none when it is -1): what undo and redo bring back.
    void replaceEntries(const EntryList &entries, int current);

    // Every change made through the editing commands, paste and import, to undo and redo.
    QUndoStack *undoStack() const { return mUndoStack; }

    // The steps the editing commands are made of. Each throws Failure when it
    // cannot be done, so the command's report names the statement.
    virtual QTreeWidgetItem *appendRow(const QString &label);
    virtual void setAmount(QTreeWidgetItem *row, const QString &amount);
    void setLabel(QTreeWidgetItem *row, const QString &label);
    QTreeWidgetItem *selectedRow() const;
    void removeRow(QTreeWidgetItem *row);

    static QString label(const QTreeWidgetItem *row);
    static QString amount(const QTreeWidgetItem *row);

private:
    QUndoStack *mUndoStack;
};
