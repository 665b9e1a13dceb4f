#pragma once

#include "ground/jobcancelled.h"

#include <QString>

#include <exception>
#include <utility>

class Prompts;

// Shows the "Application Error" box for a failed statement of a button command.
void ErrorReport(Prompts &prompts, const QString &location, int statement, const QString &description);

// The text of that box: description, CR LF, location, "at line ", number, CR CR, support request.
QString ErrorReportText(const QString &location, int statement, const QString &description);

inline const QString kSupportMailAddress = QStringLiteral("support@marlowic.com");

// Runs the numbered statements of one button command. A statement that throws
// (anything derived from std::exception; what() is the description) is reported,
// and the command carries on where its kind of statement says. Work the user
// cancelled is no failure: JobCancelled goes on up, unreported, to end the
// command.
class Guard
{
public:
    Guard(Prompts &prompts, QString location)
        : mPrompts(prompts), mLocation(std::move(location)) {}

    // A plain statement: after a failure the next statement runs.
    template<typename F>
    void run(int statement, F &&body)
    {
        try {
            std::forward<F>(body)();
        } catch (const JobCancelled &) {
            throw;
        } catch (const std::exception &e) {
            report(statement, e);
        }
    }

    // A test whose only action is to stop the command: after a failure the
    // command goes on as if the test had not held.
    template<typename F>
    bool stopIf(int statement, F &&test)
    {
        try {
            return std::forward<F>(test)();
        } catch (const JobCancelled &) {
            throw;
        } catch (const std::exception &e) {
            report(statement, e);
            return false;
        }
    }

    // A test that governs a block: after a failure the block is entered as if
    // the test had held.
    template<typename F>
    bool enterIf(int statement, F &&test)
    {
        try {
            return std::forward<F>(test)();
        } catch (const JobCancelled &) {
            throw;
        } catch (const std::exception &e) {
            report(statement, e);
            return true;
        }
    }

    const QString &location() const { return mLocation; }

private:
    void report(int statement, const std::exception &e);

    Prompts &mPrompts;
    QString mLocation;
};
