#include "authproxy.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {
int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
} // namespace

AuthProxy::AuthProxy(const QString &user, const QString &password, int upstreamPort)
    : m_user(user)
    , m_password(password)
    , m_upstreamPort(upstreamPort)
{
}

AuthProxy::~AuthProxy()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString AuthProxy::hiddenSite()
{
    return QStringLiteral("http://updates.quillmark.test");
}

bool AuthProxy::start()
{
    m_port = freePort();
    if (!m_dir.isValid() || m_port == 0)
        return false;
    const QString configPath = m_dir.filePath(QStringLiteral("tinyproxy.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                                "LogLevel Info\nLogFile \"%2\"\nBasicAuth %3 %4\n"
                                "Upstream http 127.0.0.1:%5\n")
                     .arg(m_port)
                     .arg(m_dir.filePath(QStringLiteral("tinyproxy.log")), m_user, m_password)
                     .arg(m_upstreamPort)
                     .toUtf8());
    config.close();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), configPath});
    if (!m_process.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QString AuthProxy::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

int AuthProxy::requestsSeen() const
{
    QFile log(m_dir.filePath(QStringLiteral("tinyproxy.log")));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return log.readAll().count("Request (file descriptor");
}
