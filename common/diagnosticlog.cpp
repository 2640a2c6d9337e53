#include "diagnosticlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>

#include <cstdint>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Written once by install() before any other thread exists, read-only after.
QtMessageHandler previousHandler = nullptr;
DiagnosticLog::Profile activeProfile;

QChar levelLetter(QtMsgType type)
{
    static const char letters[] = "DWCF";
    const int level = static_cast<int>(type);
    return level >= 0 && level < 4 ? QChar::fromLatin1(letters[level]) : QChar('?');
}

// Qt parses the user's directory settings file anew on every call, which
// would cost each log line a file read; the answer is kept for as long as
// the home and configuration directories stay the same.
QString documentsLocation()
{
    static QMutex mutex;
    static QByteArray locatedFor;
    static QString located;
    const QByteArray environment = qgetenv("HOME") + '\0' + qgetenv("XDG_CONFIG_HOME");
    QMutexLocker locker(&mutex);
    if (located.isNull() || environment != locatedFor) {
        located = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        locatedFor = environment;
    }
    return located;
}

QString documentsDirectory()
{
    const QString documents = documentsLocation();
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QString();
}

QString threadNumber()
{
    return QString::number(static_cast<qint64>(reinterpret_cast<std::intptr_t>(QThread::currentThreadId())));
}

// The log directory may be a link the user made to another disk, but the link,
// the directory and the file must all be the user's own and the file no link
// at all: otherwise whoever planted them picks the file our lines go into.
bool isOwnDirectory(const QString &directory)
{
    const QByteArray path = QFile::encodeName(directory);
    struct stat link;
    struct stat target;
    return ::lstat(path.constData(), &link) == 0 && link.st_uid == ::geteuid()
           && ::stat(path.constData(), &target) == 0 && S_ISDIR(target.st_mode)
           && target.st_uid == ::geteuid();
}

// A descriptor for appending to the log file, or -1 while logging is off.
// O_NONBLOCK keeps a planted FIFO from stalling the program; it changes
// nothing for a regular file.
int openOwnLogFile(const QString &path)
{
    if (!isOwnDirectory(QFileInfo(path).path()))
        return -1;
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    struct stat file;
    if (::fstat(descriptor, &file) != 0 || !S_ISREG(file.st_mode) || file.st_uid != ::geteuid()) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

DiagnosticLog::Profile DiagnosticLog::profile(Program program)
{
    switch (program) {
    case Program::Quillmark:
        return {QStringLiteral("quillmarklog.txt"),
                QStringLiteral("%1 - %7 - %2 - %3 - at %4 in %5 line %6"), true, true};
    case Program::Updater:
        return {QStringLiteral("quillmarkupdaterlog.txt"),
                QStringLiteral("%1 - %2 - %3 - at %4 in %5 line %6"), false, false};
    case Program::Tray:
        break;
    }
    return {QStringLiteral("quillmarktraylog.txt"),
            QStringLiteral("%1 - %2 - %3 - at %4 in %5 line %6"), false, false};
}

void DiagnosticLog::install(Program program)
{
    activeProfile = profile(program);
    previousHandler = qInstallMessageHandler(&DiagnosticLog::handleMessage);
}

QString DiagnosticLog::logDirectoryName()
{
    return QStringLiteral("QuillmarkLogs");
}

QString DiagnosticLog::logDirectory()
{
    // Without a documents directory the tray's menu works in its own
    // directory, never in the file-system root.
    const QString documents = documentsDirectory();
    if (documents.isEmpty())
        return logDirectoryName() + QLatin1Char('/');
    return QDir::cleanPath(documents + QLatin1Char('/') + logDirectoryName()) + QLatin1Char('/');
}

QString DiagnosticLog::logFilePath(const QString &fileName)
{
    return QDir::cleanPath(documentsDirectory() + QLatin1Char('/') + logDirectoryName()
                           + QLatin1Char('/') + fileName);
}

bool DiagnosticLog::createLogDirectory(const QString &path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0;
}

bool DiagnosticLog::createLogFile(const QString &path)
{
    // O_EXCL: a file that appeared meanwhile keeps what it holds, and a
    // planted link is not followed.
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    ::close(descriptor);
    return true;
}

QString DiagnosticLog::composeLine(const Profile &profile, QtMsgType type,
                                   const QMessageLogContext &context,
                                   const QString &message, const QDateTime &utcNow)
{
    const QString time = utcNow.toString(Qt::ISODate);
    const QString function = context.function ? QString::fromUtf8(context.function) : QString();
    const QString file = context.file ? QString::fromUtf8(context.file) : QString();
    const QString line = QString::number(context.line);
    // All placeholders are filled in one pass: a message that itself contains
    // "%2" or a URL with "%20" must come out exactly as it was logged.
    if (profile.withThreadId) {
        return profile.lineFormat.arg(time, QString(levelLetter(type)), message, function, file,
                                      line, threadNumber());
    }
    return profile.lineFormat.arg(time, QString(levelLetter(type)), message, function, file, line);
}

void DiagnosticLog::handleMessage(QtMsgType type, const QMessageLogContext &context,
                                  const QString &message)
{
    try {
        const int descriptor = openOwnLogFile(logFilePath(activeProfile.fileName));
        if (descriptor < 0) {
            if (activeProfile.fallBackToPrevious && previousHandler)
                previousHandler(type, context, message);
            return;
        }
        QFile file;
        if (!file.open(descriptor, QIODevice::WriteOnly | QIODevice::Append,
                       QFileDevice::AutoCloseHandle)) {
            ::close(descriptor);
            if (type == QtFatalMsg)
                std::abort();
            return;
        }
        {
            QTextStream stream(&file);
            stream << composeLine(activeProfile, type, context, message,
                                  QDateTime::currentDateTimeUtc())
                   << '\n';
            stream.flush();
        }
        file.close();
    } catch (...) {
        // A log line is never worth more than the program that writes it.
    }
    if (type == QtFatalMsg)
        std::abort();
}
