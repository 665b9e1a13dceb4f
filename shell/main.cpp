#include "chart/libreofficeserver.h"
#include "shell/form1.h"
#include "shell/qtprompts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The preview window and the dialogs carry the program's icon too.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quintarra.png")));
    QtPrompts prompts;
    LibreOfficeServer server;
    Form1 form(prompts, server);
    form.show();
    server.startSparesAfterFirstPaint();
    return app.exec();
}
