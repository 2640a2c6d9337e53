#include "appexception.h"

AppException::AppException(const QString &message, const QString &file, int line,
                           const QString &function, bool userMessage)
    : m_message(message), m_file(file), m_line(line), m_function(function),
      m_userMessage(userMessage)
{
}

AppException::AppException(const QString &message, const AppException &cause,
                           const QString &file, int line, const QString &function,
                           bool userMessage)
    : m_message(message), m_innerException(cause.clone()), m_file(file), m_line(line),
      m_function(function), m_userMessage(userMessage)
{
}

AppException::~AppException() = default;

void AppException::raise() const
{
    throw AppException(*this);
}

AppException *AppException::clone() const
{
    // Slicing is deliberate: a clone is always a plain AppException.
    auto *copy = new AppException(*this);
    if (m_innerException)
        copy->m_innerException.reset(m_innerException->clone());
    return copy;
}

QString AppException::typeName() const
{
    return QStringLiteral("AppException");
}

QString AppException::toString(bool withLocation) const
{
    QString text = typeName() + QStringLiteral(": ")
                   + (m_message.isEmpty() ? QStringLiteral("<No message available>") : m_message);
    if (withLocation) {
        text += QStringLiteral("\n  at ") + m_function + QStringLiteral(" in ") + m_file
                + QStringLiteral(" line ") + QString::number(m_line);
    }
    if (m_innerException)
        text += QStringLiteral("\ncaused by ") + m_innerException->toString(withLocation);
    return text;
}

QString AppException::message() const
{
    return m_message;
}

QSharedPointer<const AppException> AppException::innerException() const
{
    return m_innerException;
}

bool AppException::isUserMessage() const
{
    return m_userMessage;
}
