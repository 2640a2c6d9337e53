#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// A program started with plain pipes on its standard input and output, the
// way a browser starts a native-messaging host: no event loop and no buffering
// between the measurement and the descriptors. Standard error goes to a file,
// or stays ours when no path is given. Every failure throws std::runtime_error.
class ChildProcess
{
public:
    // The child gets our environment.
    ChildProcess(const QString &program, const QStringList &arguments,
                 const QString &errorLogPath);
    ~ChildProcess();

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The native-messaging frame of a payload: 32-bit little-endian length first.
    static QByteArray frame(const QByteArray &payload);

    void write(const QByteArray &bytes);
    QByteArray readExactly(int count);
    QByteArray readFramePayload();
    void closeInput();
    // The exit status; after it the process is gone.
    int wait();

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
};
