#pragma once

#include "app/form1.h"
#include "isolatedenvironment.h"
#include "noserver.h"
#include "preview/form2.h"
#include "scriptedprompts.h"

#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

// The main window with the sample list and a preview showing a plain picture
// of the size given, in a settings store of their own and without an engine.
struct BothWindows {
    explicit BothWindows(QSize picture)
    {
        form2.setEndProgram([] {});
        QImage shown(picture, QImage::Format_RGB32);
        shown.fill(Qt::gray);
        form2.setPicture(shown);
    }

    IsolatedEnvironment env;
    ScriptedPrompts prompts;
    NoServer server;
    QTemporaryDir programFolder;
    Form1 form1{prompts, server,
                {programFolder.path(), [] { return 0.5; },
                 [](const QString &, const QStringList &) { return true; }, [] {}}};
    QWidget mainStandIn;
    Form2 form2{prompts, server, &mainStandIn};
};
