#include "chart/spreadsheetserver.h"
#include "shell/form1.h"
#include "shell/qtprompts.h"

#include <QApplication>

namespace {
// Stands in for the spreadsheet engine until the program is built with it.
class UnavailableServer : public SpreadsheetServer
{
public:
    std::unique_ptr<Application> create() override { throw unavailable(); }
    std::unique_ptr<Application> getRunning() override { throw unavailable(); }
    QString expectedProductName() const override { return QStringLiteral("LibreOffice"); }

private:
    static SpreadsheetError unavailable()
    {
        return SpreadsheetError(QStringLiteral("The spreadsheet engine is not available yet."));
    }
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPrompts prompts;
    UnavailableServer server;
    Form1 form(prompts, server);
    form.show();
    return app.exec();
}
