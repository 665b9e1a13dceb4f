#include "chart/libreofficeserver.h"
#include "shell/form1.h"
#include "shell/qtprompts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPrompts prompts;
    LibreOfficeServer server;
    Form1 form(prompts, server);
    form.show();
    return app.exec();
}
