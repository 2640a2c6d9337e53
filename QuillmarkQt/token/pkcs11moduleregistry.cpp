#include "pkcs11moduleregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace {

// Configuration files are a few lines; anything beyond this is not read.
constexpr qint64 largestConfigFile = 64 * 1024;
const QString configSuffix = QStringLiteral(".module");

} // namespace

Pkcs11ModuleRegistry::Pkcs11ModuleRegistry(const QStringList &configDirectories, const QString &moduleDirectory)
    : m_configDirectories(configDirectories), m_moduleDirectory(moduleDirectory)
{
}

Pkcs11ModuleRegistry Pkcs11ModuleRegistry::system()
{
    return Pkcs11ModuleRegistry({QStringLiteral(P11KIT_PACKAGE_MODULE_CONFIGS), QStringLiteral(P11KIT_SYSTEM_MODULE_CONFIGS)},
                                QStringLiteral(P11KIT_MODULE_PATH));
}

QList<Pkcs11ModuleRegistry::Module> Pkcs11ModuleRegistry::modules() const
{
    QMap<QString, QString> byName;
    for (const QString &directory : m_configDirectories) {
        const QFileInfoList files =
            QDir(directory).entryInfoList({QLatin1Char('*') + configSuffix}, QDir::Files | QDir::Readable);
        for (const QFileInfo &file : files)
            byName.insert(file.completeBaseName(), modulePath(file.filePath()));
    }
    QList<Module> result;
    for (auto entry = byName.cbegin(); entry != byName.cend(); ++entry) {
        if (!entry.value().isEmpty() && QFileInfo(entry.value()).isFile())
            result.append({entry.key(), entry.value()});
    }
    return result;
}

QString Pkcs11ModuleRegistry::modulePath(const QString &configFile) const
{
    QFile file(configFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    // "key: value" lines; "#" starts a comment.
    const QList<QByteArray> lines = file.read(largestConfigFile).split('\n');
    for (const QByteArray &line : lines) {
        const int comment = line.indexOf('#');
        const QByteArray content = (comment < 0 ? line : line.left(comment)).trimmed();
        const int colon = content.indexOf(':');
        if (colon < 0 || content.left(colon).trimmed() != "module")
            continue;
        const QString module = QFile::decodeName(content.mid(colon + 1).trimmed());
        if (module.isEmpty())
            return QString();
        return QDir::isAbsolutePath(module) ? module : QDir(m_moduleDirectory).filePath(module);
    }
    return QString();
}
