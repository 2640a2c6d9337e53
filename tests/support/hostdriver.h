#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

#include <optional>

// The page side of the native-messaging channel for tests: starts the real
// quillmark binary, writes framed JSON to its standard input and decodes the
// frames it writes, in order.
class HostDriver
{
public:
    static constexpr int defaultTimeout = 10000;

    explicit HostDriver(const QProcessEnvironment &environment);
    ~HostDriver();

    static QString binaryPath();
    // "Quillmark.1.0.7.<platform>.QES.<shortName>"
    static QString qualified(const QString &shortName, const QString &platform = QStringLiteral("qt"));
    static QByteArray frame(const QByteArray &payload);
    // Payloads byte for byte as the host writes them: the answer of a call
    // that succeeded without a result, and an event with its JSON arguments.
    static QByteArray emptyAnswer(const QString &shortName);
    static QByteArray event(const QString &shortName, const QByteArray &jsonArgs);

    bool start(const QStringList &arguments = {}, const QString &workingDirectory = {});
    QProcess &process();

    // Sending.
    void writeRaw(const QByteArray &bytes);
    void send(const QJsonObject &message);
    void callMethod(const QString &shortName, const QJsonArray &args = {});
    void callQualified(const QString &qualifiedName, const QJsonArray &args = {});
    void answerEvent(const QString &shortName, const QJsonValue &result);

    // Receiving. Each await consumes the first matching message not yet
    // consumed; messages skipped over stay available.
    std::optional<QJsonObject> awaitAnswer(const QString &shortName, int timeout = defaultTimeout);
    std::optional<QJsonObject> awaitEvent(const QString &shortName, int timeout = defaultTimeout);
    std::optional<QJsonObject> awaitMessage(int timeout = defaultTimeout);
    // Sends the method and waits for its answer.
    std::optional<QJsonObject> call(const QString &shortName, const QJsonArray &args = {},
                                    int timeout = defaultTimeout);

    // Every frame payload received so far, exactly as written by the host.
    QList<QByteArray> rawFrames() const;
    // Bytes on standard output that did not form a complete frame.
    QByteArray pendingBytes() const;
    // Everything read from standard output so far, length prefixes included.
    QByteArray rawStandardOutput() const;
    QByteArray standardError();

    void setPlatform(const QString &platform);

    // A value of the host's /proc/<pid>/status in KiB ("VmRSS", "VmHWM",
    // "VmSize"), or -1.
    qint64 statusKiB(const QByteArray &field) const;

    // Closes standard input (the browser disconnecting) and waits for exit.
    bool closeInputAndWait(int timeout = defaultTimeout);

private:
    void readAvailable();
    std::optional<QJsonObject> takeFirst(const QString &memberName, const QString &value);
    std::optional<QJsonObject> await(const QString &memberName, const QString &value, int timeout);

    QProcess m_process;
    QByteArray m_buffer;
    QByteArray m_standardOutput;
    QList<QByteArray> m_frames;
    QList<QJsonObject> m_unconsumed;
    QByteArray m_stderr;
    QString m_platform = QStringLiteral("qt");
};
