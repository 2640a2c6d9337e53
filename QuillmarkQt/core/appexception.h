#pragma once

#include <QException>
#include <QSharedPointer>
#include <QString>

// Source location of a raising site: file, line and full function signature.
#define APP_LOCATION QStringLiteral(__FILE__), __LINE__, QString::fromUtf8(Q_FUNC_INFO)

// The one exception type of quillmark. Thrown by value, caught by reference.
class AppException : public QException
{
public:
    AppException(const QString &message, const QString &file, int line,
                 const QString &function, bool userMessage);
    AppException(const QString &message, const AppException &cause, const QString &file,
                 int line, const QString &function, bool userMessage);
    ~AppException() override;

    void raise() const override;
    AppException *clone() const override;
    virtual QString typeName() const;
    virtual QString toString(bool withLocation) const;

    QString message() const;
    QSharedPointer<const AppException> innerException() const;
    bool isUserMessage() const;

private:
    QString m_message;
    QSharedPointer<const AppException> m_innerException;
    QString m_file;
    int m_line;
    QString m_function;
    bool m_userMessage;
};
