#include "hostdriver.h"

#include "fixturepaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

HostDriver::HostDriver(const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(binaryPath());
}

HostDriver::~HostDriver()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

QString HostDriver::binaryPath()
{
    return QStringLiteral(QUILLMARK_STAGE_BIN "/quillmark");
}

QString HostDriver::qualified(const QString &shortName, const QString &platform)
{
    return QStringLiteral("Quillmark.1.0.7.%1.QES.%2").arg(platform, shortName);
}

QByteArray HostDriver::frame(const QByteArray &payload)
{
    const auto length = static_cast<quint32>(payload.size());
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((length >> shift) & 0xFFu));
    return bytes + payload;
}

QByteArray HostDriver::emptyAnswer(const QString &shortName)
{
    return "{\"error\":null,\"method\":\"" + qualified(shortName).toUtf8() + "\",\"result\":null}";
}

QByteArray HostDriver::event(const QString &shortName, const QByteArray &jsonArgs)
{
    return "{\"args\":" + jsonArgs + ",\"event\":\"" + qualified(shortName).toUtf8() + "\"}";
}

bool HostDriver::start(const QStringList &arguments, const QString &workingDirectory)
{
    m_process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        m_process.setWorkingDirectory(workingDirectory);
    m_process.start();
    return m_process.waitForStarted(defaultTimeout);
}

QProcess &HostDriver::process()
{
    return m_process;
}

void HostDriver::writeRaw(const QByteArray &bytes)
{
    m_process.write(bytes);
    m_process.waitForBytesWritten(defaultTimeout);
}

void HostDriver::send(const QJsonObject &message)
{
    writeRaw(frame(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void HostDriver::callMethod(const QString &shortName, const QJsonArray &args)
{
    callQualified(qualified(shortName, m_platform), args);
}

void HostDriver::callQualified(const QString &qualifiedName, const QJsonArray &args)
{
    send(QJsonObject{{QStringLiteral("method"), qualifiedName}, {QStringLiteral("args"), args}});
}

void HostDriver::answerEvent(const QString &shortName, const QJsonValue &result)
{
    send(QJsonObject{{QStringLiteral("event"), qualified(shortName, m_platform)},
                     {QStringLiteral("result"), result}});
}

void HostDriver::readAvailable()
{
    const QByteArray output = m_process.readAllStandardOutput();
    m_standardOutput += output;
    m_buffer += output;
    m_stderr += m_process.readAllStandardError();
    while (m_buffer.size() >= 4) {
        const auto byte = [this](int index) {
            return static_cast<quint32>(static_cast<unsigned char>(m_buffer.at(index)));
        };
        const quint32 length = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        if (static_cast<quint32>(m_buffer.size() - 4) < length)
            break;
        const QByteArray payload = m_buffer.mid(4, static_cast<int>(length));
        m_buffer.remove(0, static_cast<int>(length) + 4);
        m_frames.append(payload);
        m_unconsumed.append(QJsonDocument::fromJson(payload).object());
    }
}

std::optional<QJsonObject> HostDriver::takeFirst(const QString &memberName, const QString &value)
{
    for (int i = 0; i < m_unconsumed.size(); ++i) {
        const QJsonObject &message = m_unconsumed.at(i);
        const bool matches = memberName.isEmpty()
                             || message.value(memberName).toString().endsWith(
                                 QStringLiteral(".QES.") + value);
        if (matches)
            return m_unconsumed.takeAt(i);
    }
    return std::nullopt;
}

std::optional<QJsonObject> HostDriver::await(const QString &memberName, const QString &value,
                                             int timeout)
{
    QDeadlineTimer deadline(timeout);
    for (;;) {
        readAvailable();
        if (auto found = takeFirst(memberName, value))
            return found;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return std::nullopt;
        m_process.waitForReadyRead(static_cast<int>(qMin<qint64>(50, deadline.remainingTime())));
        QCoreApplication::processEvents();
    }
}

std::optional<QJsonObject> HostDriver::awaitAnswer(const QString &shortName, int timeout)
{
    return await(QStringLiteral("method"), shortName, timeout);
}

std::optional<QJsonObject> HostDriver::awaitEvent(const QString &shortName, int timeout)
{
    return await(QStringLiteral("event"), shortName, timeout);
}

std::optional<QJsonObject> HostDriver::awaitMessage(int timeout)
{
    return await(QString(), QString(), timeout);
}

std::optional<QJsonObject> HostDriver::call(const QString &shortName, const QJsonArray &args,
                                            int timeout)
{
    callMethod(shortName, args);
    return awaitAnswer(shortName, timeout);
}

QList<QByteArray> HostDriver::rawFrames() const
{
    return m_frames;
}

QByteArray HostDriver::pendingBytes() const
{
    return m_buffer;
}

QByteArray HostDriver::rawStandardOutput() const
{
    return m_standardOutput;
}

QByteArray HostDriver::standardError()
{
    readAvailable();
    return m_stderr;
}

void HostDriver::setPlatform(const QString &platform)
{
    m_platform = platform;
}

bool HostDriver::closeInputAndWait(int timeout)
{
    m_process.closeWriteChannel();
    const bool finished = m_process.waitForFinished(timeout);
    readAvailable();
    return finished;
}

qint64 HostDriver::statusKiB(const QByteArray &field) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
