#include "signingidentity.h"

#include "fixturepaths.h"

#include <QFile>

#include <stdexcept>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

} // namespace

SigningIdentity SigningIdentity::fromFiles(const QString &certificatePath, const QString &keyPath)
{
    return {readFile(certificatePath), readFile(keyPath)};
}

SigningIdentity SigningIdentity::development(const QString &role)
{
    const QString directory = QStringLiteral(QUILLMARK_DEVPKI_DIR);
    return fromFiles(directory + QStringLiteral("/certs/") + role + QStringLiteral(".pem"),
                     directory + QStringLiteral("/keys/") + role
                         + QStringLiteral(".DEVELOPMENT-KEY.pem"));
}
