// Saves "the new picture" with the preview's "Save As" at the path given,
// answering Yes to every question, and prints each message shown. Run as
// another user by the tests where whose links and folders they are matters.

#include "ground/prompts.h"
#include "preview/saveascommand.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
class AnsweringPrompts : public Prompts
{
public:
    explicit AnsweringPrompts(QString path) : mPath(std::move(path)) {}
    MsgAnswer message(const QString &text, MsgButtons, MsgIcon, const QString &) override
    {
        std::printf("%s\n", qPrintable(text));
        return MsgAnswer::Yes;
    }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &) override { return mPath; }
    SaveChoice saveFileAs(const QString &, const QStringList &filters) override { return {mPath, filters.value(0)}; }
    QString openFileName(const QString &, const QString &) override { return {}; }

private:
    QString mPath;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    AnsweringPrompts prompts(QString::fromLocal8Bit(argv[1]));
    SaveAsCommand(prompts).run(QStringLiteral("Save Picture As"),
                               {{QStringLiteral("PNG Image (*.png)"), QStringLiteral("png"),
                                 [] { return QByteArray("the new picture"); }}});
    return 0;
}
