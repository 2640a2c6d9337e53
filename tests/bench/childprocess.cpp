#include "childprocess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (std::string &text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

void closeDescriptor(int &descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

} // namespace

ChildProcess::ChildProcess(const QString &program, const QStringList &arguments,
                           const QString &errorLogPath)
{
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        fail("pipe");
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        fail("pipe");
    }

    std::vector<std::string> argumentStrings{program.toStdString()};
    for (const QString &argument : arguments)
        argumentStrings.push_back(argument.toStdString());
    std::vector<char *> argv = pointersTo(argumentStrings);
    const QByteArray errorLog = QFile::encodeName(errorLogPath);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (!errorLog.isEmpty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorLog.constData(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    const int spawned = ::posix_spawn(&m_pid, argv.front(), &actions, nullptr, argv.data(),
                                      environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    m_input = input[1];
    m_output = output[0];
    if (spawned != 0) {
        m_pid = -1;
        closeDescriptor(m_input);
        closeDescriptor(m_output);
        errno = spawned;
        fail("posix_spawn " + program.toStdString());
    }
}

ChildProcess::~ChildProcess()
{
    closeDescriptor(m_input);
    closeDescriptor(m_output);
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

QByteArray ChildProcess::frame(const QByteArray &payload)
{
    const auto length = static_cast<quint32>(payload.size());
    QByteArray bytes;
    bytes.reserve(payload.size() + 4);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((length >> shift) & 0xFFu));
    return bytes + payload;
}

void ChildProcess::write(const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t now = ::write(m_input, bytes.constData() + written,
                                    static_cast<size_t>(bytes.size() - written));
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0)
            fail("write to child");
        written += now;
    }
}

QByteArray ChildProcess::readExactly(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    int stored = 0;
    while (stored < count) {
        const ssize_t now = ::read(m_output, bytes.data() + stored, static_cast<size_t>(count - stored));
        if (now < 0 && errno == EINTR)
            continue;
        if (now == 0)
            throw std::runtime_error("child closed its output");
        if (now < 0)
            fail("read from child");
        stored += static_cast<int>(now);
    }
    return bytes;
}

QByteArray ChildProcess::readFramePayload()
{
    const QByteArray header = readExactly(4);
    quint32 length = 0;
    for (int i = 3; i >= 0; --i)
        length = length << 8 | static_cast<unsigned char>(header.at(i));
    return readExactly(static_cast<int>(length));
}

void ChildProcess::closeInput()
{
    closeDescriptor(m_input);
}

int ChildProcess::wait()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR)
            fail("waitpid");
    }
    m_pid = -1;
    return status;
}
