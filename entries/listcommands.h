#pragma once

#include "entries/layer.h"

class EntryListModel;
class EntryListView;
class Prompts;

// The main window's five editing commands. Each is a guarded command: its
// statements carry the numbers the error report shows, and a refused input
// (Cancel, an empty label, an amount that is not a number) ends it quietly.
// What a command changes can be undone, as one step named by its button.
class ListCommands
{
public:
    ListCommands(Prompts &prompts, EntryListView &list) : mPrompts(prompts), mList(list) {}

    void addNew();            // "Add New", PushButton2
    void deleteSelected();    // "Delete Selected Entry", PushButton3
    void editSelected();      // "Edit Selected Entry", PushButton4
    void clear();             // "Clear List", PushButton5
    void loadSample();        // "Load Sample/Example Data", PushButton7

private:
    void addNewSteps();
    void deleteSelectedSteps();
    void editSelectedSteps();
    void clearSteps();
    void loadSampleSteps();
    EntryListModel &entries();

    Prompts &mPrompts;
    EntryListView &mList;
};
