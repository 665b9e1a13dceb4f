#pragma once

#include <exception>

// What work the user cancelled throws: the command ends quietly, with
// nothing written and nothing to say.
class JobCancelled : public std::exception
{
public:
    const char *what() const noexcept override { return "The work was cancelled."; }
};
