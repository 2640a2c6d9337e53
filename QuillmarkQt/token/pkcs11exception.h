#pragma once

#include "appexception.h"

// A failure reported by a PKCS#11 module. Its copies (raise, clone, a cause)
// are plain AppExceptions.
class Pkcs11Exception : public AppException
{
public:
    Pkcs11Exception(const QString &message, const QString &file, int line,
                    const QString &function);
    Pkcs11Exception(const QString &message, const AppException &cause, const QString &file,
                    int line, const QString &function);

    QString typeName() const override;
};
