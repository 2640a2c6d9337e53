#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

TestHome::TestHome()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("Documents"));
}

bool TestHome::isValid() const
{
    return m_dir.isValid();
}

QString TestHome::path() const
{
    return m_dir.path();
}

QString TestHome::documentsPath() const
{
    return m_dir.path() + QStringLiteral("/Documents");
}

QString TestHome::logDirectory() const
{
    return documentsPath() + QStringLiteral("/QuillmarkLogs");
}

QString TestHome::logFile(const QString &fileName) const
{
    return logDirectory() + QLatin1Char('/') + fileName;
}

bool TestHome::switchLoggingOn(const QString &fileName) const
{
    QDir().mkpath(logDirectory());
    QFile file(logFile(fileName));
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

QProcessEnvironment TestHome::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path() + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

void TestHome::applyToCurrentProcess() const
{
    qputenv("HOME", QFile::encodeName(path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path() + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path() + QStringLiteral("/.local/share")));
}
