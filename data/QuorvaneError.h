#pragma once

#include <QString>

#include <stdexcept>

// Every failure of the program travels as this exception, up to the one
// place that shows it to the user. The message is ready for display.
class QuorvaneError : public std::runtime_error
{
public:
    explicit QuorvaneError(const QString &message);

    QString message() const { return m_message; }

private:
    QString m_message;
};
