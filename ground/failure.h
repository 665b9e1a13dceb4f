#pragma once

#include <QString>

#include <cstring>
#include <stdexcept>

// A failed statement: what() holds the description the error report shows (UTF-8).
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &description)
        : std::runtime_error(description.toStdString()) {}

    QString description() const { return QString::fromUtf8(what()); }
};

// The system's own words for an errno value ("No space left on device").
inline QString SystemWords(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
