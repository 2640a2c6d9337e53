#include "updaterstandin.h"

#include <QFile>

namespace {

const char script[] = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/updater-calls.txt"
if [ "$1" = "-s" ]; then mode=silent; else mode=gui; fi
[ -f "$here/$mode-hangs" ] && exec sleep 600
signal=$(cat "$here/$mode-signal" 2>/dev/null)
[ -n "$signal" ] && kill -s "$signal" $$
code=$(cat "$here/$mode-exit-code" 2>/dev/null)
exit "${code:-0}"
)";

const QString scriptName = QStringLiteral("QuillmarkUpdater.sh");
const QString callsName = QStringLiteral("updater-calls.txt");
const QString silentCodeName = QStringLiteral("silent-exit-code");
const QString guiCodeName = QStringLiteral("gui-exit-code");
const QString silentSignalName = QStringLiteral("silent-signal");
const QString guiSignalName = QStringLiteral("gui-signal");
const QString silentHangsName = QStringLiteral("silent-hangs");

} // namespace

UpdaterStandIn::UpdaterStandIn(const QString &binDirectory) : m_directory(binDirectory) {}

bool UpdaterStandIn::install() const
{
    remove();
    QFile file(path(scriptName));
    if (!file.open(QIODevice::WriteOnly) || file.write(script) < 0)
        return false;
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void UpdaterStandIn::remove() const
{
    for (const QString &name : {scriptName, callsName, silentCodeName, guiCodeName, silentSignalName,
                                guiSignalName, silentHangsName})
        QFile::remove(path(name));
}

void UpdaterStandIn::setSilentExitCode(int code) const
{
    writeCode(silentCodeName, code);
}

void UpdaterStandIn::setGuiExitCode(int code) const
{
    writeCode(guiCodeName, code);
}

void UpdaterStandIn::setSilentSignal(const QString &signal) const
{
    writeText(silentSignalName, signal.toLatin1());
}

void UpdaterStandIn::setGuiSignal(const QString &signal) const
{
    writeText(guiSignalName, signal.toLatin1());
}

void UpdaterStandIn::setSilentHangs() const
{
    writeText(silentHangsName, QByteArray());
}

QStringList UpdaterStandIn::calls() const
{
    QFile file(path(callsName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString UpdaterStandIn::path(const QString &fileName) const
{
    return m_directory + QLatin1Char('/') + fileName;
}

void UpdaterStandIn::writeCode(const QString &fileName, int code) const
{
    writeText(fileName, QByteArray::number(code));
}

void UpdaterStandIn::writeText(const QString &fileName, const QByteArray &text) const
{
    QFile file(path(fileName));
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}
