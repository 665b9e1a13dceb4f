#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QAbstractTableModel>
#include <QStringList>

class ListChange;
class Prompts;
class QUndoStack;

// The list of entries while the program runs, its one owner: the rows in the
// order they were added (column 0 the label, column 1 the amount), the steps
// to undo and redo, and the one place that stores them under "Assets". Rows
// count from 0 here, as Qt counts them; entryAt() counts from 1, as the list
// control's positions do.
class EntryListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit EntryListModel(QObject *parent = nullptr);
    ~EntryListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The column titles are given by whoever shows the list.
    void setHeaderLabels(const QStringList &labels);

    const EntryList &entries() const { return mRows; }
    Entry entryAt(int position) const;   // throws Failure when there is no such row

    // Adds the rows at the end in one go, so that a long stored list loads quickly.
    void appendEntries(const EntryList &entries);

    // The steps the editing commands are made of. Each throws Failure when it
    // cannot be done, so the command's report names the statement. Made
    // inside a change (RecordListChange), each is kept as a step to undo.
    virtual int appendRow(const QString &label);   // answers the new row
    void setAmount(int row, const QString &amount);
    void setLabel(int row, const QString &label);
    void removeEntry(int row);
    void clear();

    // Every change made through the editing commands, paste and import, to undo and redo.
    QUndoStack *undoStack() const { return mUndoStack; }

    // Encodes the rows and writes them under "Assets" now; throws Failure
    // when they could not be stored. Closing and the chart command store so.
    void store();
    // From now on each change is stored once the event-loop turn that made it
    // ends, so that many changes at once are one store. A failed store is told
    // through prompts once, until a store succeeds again; the next change
    // tries again.
    void storeEachChange(Prompts &prompts);
    // What the user is told when the list could not be stored: why, and
    // whether the list stored before is kept.
    static QString notStoredText(const std::exception &why);

    // The change being recorded (RecordListChange): ended, it goes on the
    // undo stack when it changed any row, with the row the keyboard is on.
    void beginChange(ListChange *change);
    void endChange(int currentRow);

    // What undo and redo apply. They record nothing.
    void insertEntries(int row, const EntryList &entries);
    void removeEntries(int row, int count);
    void replaceEntry(int row, const Entry &entry);
    void resetEntries(const EntryList &entries);

signals:
    // Undo or redo brings back the row the keyboard was on (-1: none).
    void currentRowRestored(int row);
    // The rows are in the settings store as they are now.
    void stored();

private:
    void checkRow(int row) const;
    void changed();
    void storeWhatChanged();

    EntryList mRows;
    QStringList mHeaderLabels;
    QUndoStack *mUndoStack;
    ListChange *mChange = nullptr;
    Prompts *mPrompts = nullptr;
    bool mStorePending = false;
    bool mFailureTold = false;
};
