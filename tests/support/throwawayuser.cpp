#include "throwawayuser.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtDebug>

namespace {
bool succeeds(const QString &program, const QStringList &arguments,
              const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}
} // namespace

ThrowAwayUser::ThrowAwayUser()
    : m_name(QStringLiteral("qmtest%1").arg(QCoreApplication::applicationPid()))
{
    m_valid = succeeds(QStringLiteral("useradd"),
                       {QStringLiteral("--no-create-home"), QStringLiteral("--user-group"),
                        QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), m_name});
    if (!m_valid)
        qWarning().noquote() << "Could not create the user " + m_name;
}

ThrowAwayUser::~ThrowAwayUser()
{
    if (m_valid)
        succeeds(QStringLiteral("userdel"), {m_name});
}

bool ThrowAwayUser::isValid() const
{
    return m_valid;
}

QString ThrowAwayUser::name() const
{
    return m_name;
}

QStringList ThrowAwayUser::commandAs(const QStringList &command) const
{
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=") + m_name,
                       QStringLiteral("--regid=") + m_name, QStringLiteral("--clear-groups")}
           + command;
}

bool ThrowAwayUser::run(const QStringList &command, const QProcessEnvironment &environment) const
{
    const QStringList full = commandAs(command);
    return succeeds(full.first(), full.mid(1), environment);
}
