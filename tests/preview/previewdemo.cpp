// Shows the preview window with a drawn chart-like picture, for a look at its
// layout. With --grab FILE it saves a picture of the window and quits.

#include "preview/form2.h"
#include "spreadsheet/spreadsheetserver.h"
#include "widgets/qtprompts.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>

namespace {
QImage chartPicture()
{
    QImage picture(900, 700, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QStringList labels{"Savings", "Retirement", "Stocks", "House", "Bonds", "Car"};
    const QList<int> amounts{12000, 45000, 23000, 180000, 15000, 9000};
    const QList<QColor> colors{Qt::blue, Qt::red, Qt::darkGreen, Qt::darkMagenta, Qt::darkCyan, Qt::darkYellow};
    painter.setPen(Qt::lightGray);
    for (int row = 0; row <= 10; ++row)
        painter.drawLine(0, row * 20, 260, row * 20);
    painter.drawLine(130, 0, 130, 200);
    painter.setPen(Qt::black);
    painter.drawText(4, 15, "Assets");
    int total = 0;
    for (int amount : amounts)
        total += amount;
    for (int i = 0; i < labels.size(); ++i) {
        painter.drawText(4, 75 + 20 * i, labels[i]);
        painter.drawText(134, 75 + 20 * i, QStringLiteral("$ %L1.00").arg(amounts[i]));
    }
    const QRect pie(300, 120, 520, 360);
    int start = 90 * 16;
    for (int i = 0; i < amounts.size(); ++i) {
        const int span = amounts[i] * 360 * 16 / total;
        painter.setBrush(colors[i]);
        painter.drawPie(pie, start, span);
        start += span;
    }
    painter.setFont(QFont("Arial", 18, QFont::Bold));
    painter.drawText(QRect(300, 40, 520, 50), Qt::AlignCenter, "Assets");
    return picture;
}
// The demo has no engine: the menu's conversions say so.
class NoEngine : public SpreadsheetServer
{
public:
    std::unique_ptr<Application> create() override { throw SpreadsheetError(QStringLiteral("no engine")); }
    std::unique_ptr<Application> getRunning() override { throw SpreadsheetError(QStringLiteral("no engine")); }
    QString expectedProductName() const override { return QStringLiteral("none"); }
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtPrompts prompts;
    QWidget mainWindow;
    NoEngine engine;
    Form2 form(prompts, engine, &mainWindow);
    form.setPicture(chartPicture());
    form.show();
    const QStringList args = app.arguments();
    const int grab = args.indexOf("--grab");
    if (grab > 0 && grab + 1 < args.size()) {
        QTimer::singleShot(1500, &form, [&] {
            form.grab().save(args[grab + 1]);
            app.quit();
        });
    }
    return app.exec();
}
