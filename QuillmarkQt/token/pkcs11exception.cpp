#include "pkcs11exception.h"

Pkcs11Exception::Pkcs11Exception(const QString &message, const QString &file, int line,
                                 const QString &function)
    : AppException(message, file, line, function, true)
{
}

Pkcs11Exception::Pkcs11Exception(const QString &message, const AppException &cause,
                                 const QString &file, int line, const QString &function)
    : AppException(message, cause, file, line, function, true)
{
}

QString Pkcs11Exception::typeName() const
{
    return QStringLiteral("Pkcs11Exception");
}
