#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A throw-away home directory with a Documents folder, so that the log
// directory of the programs can be switched on and off without touching the
// real user's files.
class TestHome
{
public:
    TestHome();

    bool isValid() const;
    QString path() const;
    QString documentsPath() const;
    QString logDirectory() const;
    QString logFile(const QString &fileName) const;

    // Creates the log directory and an empty log file: logging switched on.
    bool switchLoggingOn(const QString &fileName) const;

    // Environment for a child process living in this home.
    QProcessEnvironment environment() const;
    // Points the current process at this home (for in-process tests).
    void applyToCurrentProcess() const;

private:
    QTemporaryDir m_dir;
};
