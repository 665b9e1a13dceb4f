#pragma once

#include "entries/entry.h"

#include <QTreeWidget>

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

    // The steps the editing commands are made of. Each throws Failure when it
    // cannot be done, so the command's report names the statement.
    virtual QTreeWidgetItem *appendRow(const QString &label);
    virtual void setAmount(QTreeWidgetItem *row, const QString &amount);
    void setLabel(QTreeWidgetItem *row, const QString &label);
    QTreeWidgetItem *selectedRow() const;
    void removeRow(QTreeWidgetItem *row);

    static QString label(const QTreeWidgetItem *row);
    static QString amount(const QTreeWidgetItem *row);
};
