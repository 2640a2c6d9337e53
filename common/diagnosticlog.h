#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// Process-wide diagnostic log: one line per message into the program's log
// file, but only while that file exists. Creating or deleting the file is the
// on/off switch, checked anew for every message. A log file or directory that
// another user owns, or a log file that is a symbolic link, counts as absent.
class DiagnosticLog
{
public:
    enum class Program { Quillmark, Updater, Tray };

    struct Profile
    {
        QString fileName;
        QString lineFormat;
        bool fallBackToPrevious; // pass messages to the previous handler while logging is off
        bool withThreadId;       // fill %7 with the native thread identifier
    };

    static Profile profile(Program program);

    // Installs the handler for the whole process, keeping the previous one
    // for fall-back. Call once, first thing in main().
    static void install(Program program);

    static QString logDirectoryName();
    // Documents directory + "QuillmarkLogs/" (with a trailing separator); the
    // relative "QuillmarkLogs/" when there is no documents directory.
    static QString logDirectory();
    static QString logFilePath(const QString &fileName);
    // What the diagnostic switch creates is the user's alone (directory
    // 0700, files 0600): the host's log names the user's certificate,
    // sessions and documents. Existing ones are left as they are; false when
    // nothing could be created.
    static bool createLogDirectory(const QString &path);
    static bool createLogFile(const QString &path);

    static QString composeLine(const Profile &profile, QtMsgType type,
                               const QMessageLogContext &context,
                               const QString &message, const QDateTime &utcNow);

private:
    static void handleMessage(QtMsgType type, const QMessageLogContext &context,
                              const QString &message);
};
