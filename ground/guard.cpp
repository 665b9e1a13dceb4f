#include "ground/guard.h"

#include "ground/prompts.h"

QString ErrorReportText(const QString &location, int statement, const QString &description)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
            + QString::number(statement) + QStringLiteral("\r\r")
            + QStringLiteral("Please email screenshot of this message to ") + kSupportMailAddress;
}

void ErrorReport(Prompts &prompts, const QString &location, int statement, const QString &description)
{
    prompts.message(ErrorReportText(location, statement, description), MsgButtons::Ok,
                    MsgIcon::Warning, QStringLiteral("Application Error"));
}

void Guard::report(int statement, const std::exception &e)
{
    ErrorReport(mPrompts, mLocation, statement, QString::fromUtf8(e.what()));
}
