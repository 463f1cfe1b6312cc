#pragma once

#include <QString>
#include <stdexcept>

// An error that leaves an event handler and reaches the error reporter.
// The text is what the user is shown.
class EAppError : public std::runtime_error
{
public:
    explicit EAppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// A file could not be opened, read, created or written.
class EFileError : public EAppError
{
public:
    using EAppError::EAppError;
};
