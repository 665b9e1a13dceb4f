#pragma once

class ChartHost;
class Prompts;
class SpreadsheetServer;

// "Start Creating Template": the list becomes a filled chart workbook and a
// picture of it in the preview window.
class ChartCommand
{
public:
    ChartCommand(Prompts &prompts, SpreadsheetServer &server)
        : mPrompts(prompts), mServer(server) {}

    void run(ChartHost &host);

private:
    Prompts &mPrompts;
    SpreadsheetServer &mServer;
};
