#include "data/QuorvaneError.h"

QuorvaneError::QuorvaneError(const QString &message)
    : std::runtime_error(message.toStdString()), m_message(message)
{}
